// Compares the options dialog's loading (load() until the options page shows)
// for the HP-driver printer with what any libcups client has to do for the
// same data: cupsGetNamedDest, cupsCopyDestInfo, the media enumeration, the
// supported and default look-ups and one Get-Printer-Attributes for "all".

#include "benchtools.h"
#include "cupssandbox.h"

#include <attributes.h>
#include <busyindicator.h>
#include <connection.h>
#include <cresource.h>
#include <destoptionsdialog.h>
#include <ipprequest.h>

#include <QApplication>
#include <QStackedWidget>

#include <cups/cups.h>
#include <cups/ppd.h>

#include <cstdio>
#include <unistd.h>

QT_WARNING_DISABLE_DEPRECATED

using namespace Bench;
using namespace CUPS;

namespace
{
constexpr int Runs = 30;
constexpr int WarmUpRuns = 3;
const char *const Printer = "HP_LaserJet";

void freeDest(cups_dest_t *dest)
{
    cupsFreeDests(1, dest);
}

// Called here, where the PPD API's deprecation warnings are off.
void closePpd(ppd_file_t *ppd)
{
    ppdClose(ppd);
}

// The floor: the dialog's look-ups straight through libcups on one connection. Returns the media count.
int plainLoad(http_t *http, bool withPpd)
{
    const CResource<cups_dest_t, freeDest> dest(cupsGetNamedDest(http, Printer, nullptr));
    if (!dest) {
        return -1;
    }
    const CResource<cups_dinfo_t, cupsFreeDestInfo> dinfo(cupsCopyDestInfo(http, dest.get()));
    if (!dinfo) {
        return -1;
    }
    const int count = cupsGetDestMediaCount(http, dest.get(), dinfo.get(), 0);
    int media = 0;
    for (int i = 0; i < count; ++i) {
        cups_size_t size;
        if (cupsGetDestMediaByIndex(http, dest.get(), dinfo.get(), i, 0, &size) && strncmp(size.media, "custom", 6) != 0) {
            const char *label = cupsLocalizeDestMedia(http, dest.get(), dinfo.get(), 0, &size);
            media += label ? 1 : 0;
        }
    }
    for (const char *name : {"media", "number-up", "sides", "orientation-requested", "job-priority", "copies", "job-hold-until", "job-sheets", "finishings"}) {
        cupsFindDestSupported(http, dest.get(), dinfo.get(), name);
        cupsFindDestDefault(http, dest.get(), dinfo.get(), name);
    }
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    const char *uri = cupsGetOption("printer-uri-supported", dest->num_options, dest->options);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
    const IppPtr response(cupsDoRequest(http, request, "/"));
    if (!response) {
        return -1;
    }
    if (withPpd) {
        char file[1024] = {0};
        time_t modtime = 0;
        if (cupsGetPPD3(http, Printer, &modtime, file, sizeof(file)) != HTTP_STATUS_OK) {
            return -1;
        }
        const CResource<ppd_file_t, closePpd> ppd(ppdOpenFile(file));
        unlink(file);
        if (!ppd) {
            return -1;
        }
        ppdMarkDefaults(ppd.get());
    }
    return media;
}

int dialogLoad()
{
    DestOptionsDialog dialog;
    auto *busy = dialog.findChild<Tolva::BusyIndicator *>(QStringLiteral("busyIndicator"));
    auto *pages = dialog.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    if (!dialog.load(QString::fromLatin1(Printer), false)) {
        return -1;
    }
    while (busy->isRunning() || pages->currentIndex() != 1) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 100);
    }
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CupsSandbox sandbox;
    if (!startSandbox(sandbox, true)) {
        return 1;
    }
    HttpPtr http;
    HttpPtr httpWithTimeout;
    if (!connectFloor(sandbox.server(), http, httpWithTimeout)) {
        return 1;
    }

    std::vector<Case> cases;
    cases.push_back({"(a) libcups floor: dest info, media, attributes", [&http] {
                         return plainLoad(http.get(), false);
                     }});
    cases.push_back({"(a') floor + PPD fetch and parse", [&http] {
                         return plainLoad(http.get(), true);
                     }});
    cases.push_back({"(a'') floor + PPD, read timeout as the core's", [&httpWithTimeout] {
                         return plainLoad(httpWithTimeout.get(), true);
                     }});
    cases.push_back({"(b) dialog: load() to options page", dialogLoad});
    measure(cases, WarmUpRuns, Runs);
    for (const Case &c : cases) {
        if (c.rows < 0) {
            std::fprintf(stderr, "%s failed\n", c.name);
            return 1;
        }
    }

    std::printf("printer %s; medians of %d runs after %d warm-up runs\n\n", Printer, Runs, WarmUpRuns);
    std::printf("%-50s %9s %8s %8s %8s\n", "case", "wall ms", "x (a)", "x (a')", "x (a'')");
    const double floorMs = medianMs(cases.at(0).wallNsecs);
    const double floorPpdMs = medianMs(cases.at(1).wallNsecs);
    const double floorTimeoutMs = medianMs(cases.at(2).wallNsecs);
    for (const Case &c : cases) {
        const double ms = medianMs(c.wallNsecs);
        std::printf("%-50s %9.2f %8.2f %8.2f %8.2f\n", c.name, ms, ms / floorMs, ms / floorPpdMs, ms / floorTimeoutMs);
    }
    std::printf("\n");
    printSummary(QStringLiteral("Options: DestOptionsDialog load()"),
                 QStringLiteral("1 printer, HP PPD, %1 media").arg(cases.at(0).rows),
                 medianMs(cases.at(3).wallNsecs),
                 floorPpdMs,
                 Runs,
                 QStringLiteral("The floor makes the dialog's look-ups (destination, its info, media, supported and default values, "
                                "all attributes) and fetches and parses the PPD, as the dialog's Driver Settings tab does."));
    return 0;
}
