// Compares the options dialog's loading (load() until the options page shows)
// for the HP-driver printer with what any libcups client has to do for the
// same data: cupsGetNamedDest, cupsCopyDestInfo, the media enumeration, the
// supported and default look-ups and one Get-Printer-Attributes for "all".

#include "cupssandbox.h"

#include <attributes.h>
#include <busyindicator.h>
#include <connection.h>
#include <destoptionsdialog.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QStackedWidget>

#include <cups/cups.h>
#include <cups/ppd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

QT_WARNING_DISABLE_DEPRECATED

using namespace CUPS;

namespace
{
constexpr int Runs = 30;
constexpr int WarmUpRuns = 3;
const char *const Printer = "HP_LaserJet";
constexpr double ConnectionTimeoutSeconds = 30.0;

int giveUp(http_t *, void *)
{
    return 0;
}

struct HttpCloser {
    void operator()(http_t *http) const
    {
        httpClose(http);
    }
};
struct DestDeleter {
    void operator()(cups_dest_t *dest) const
    {
        cupsFreeDests(1, dest);
    }
};
struct DestInfoDeleter {
    void operator()(cups_dinfo_t *dinfo) const
    {
        cupsFreeDestInfo(dinfo);
    }
};
struct IppDeleter {
    void operator()(ipp_t *ipp) const
    {
        ippDelete(ipp);
    }
};
struct PpdCloser {
    void operator()(ppd_file_t *ppd) const
    {
        ppdClose(ppd);
    }
};

// The floor: the dialog's look-ups straight through libcups on one connection. Returns the media count.
int plainLoad(http_t *http, bool withPpd)
{
    std::unique_ptr<cups_dest_t, DestDeleter> dest(cupsGetNamedDest(http, Printer, nullptr));
    if (!dest) {
        return -1;
    }
    std::unique_ptr<cups_dinfo_t, DestInfoDeleter> dinfo(cupsCopyDestInfo(http, dest.get()));
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
    std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http, request, "/"));
    if (!response) {
        return -1;
    }
    if (withPpd) {
        char file[1024] = {0};
        time_t modtime = 0;
        if (cupsGetPPD3(http, Printer, &modtime, file, sizeof(file)) != HTTP_STATUS_OK) {
            return -1;
        }
        std::unique_ptr<ppd_file_t, PpdCloser> ppd(ppdOpenFile(file));
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
    QElapsedTimer timer;
    timer.start();
    if (!dialog.load(QString::fromLatin1(Printer), false)) {
        return -1;
    }
    while (busy->isRunning() || pages->currentIndex() != 1) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 100);
    }
    return 1;
}

struct Case {
    const char *name;
    std::function<qint64()> run; // wall nanoseconds of the measured part
    std::vector<qint64> nsecs;
};

double medianMs(std::vector<qint64> nsecs)
{
    std::sort(nsecs.begin(), nsecs.end());
    return nsecs[nsecs.size() / 2] / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CupsSandbox sandbox;
    if (!sandbox.start(true)) {
        std::fprintf(stderr, "could not start the sandbox: %s\n", qPrintable(sandbox.errorString()));
        return 1;
    }
    const QByteArray host = sandbox.server().section(QLatin1Char(':'), 0, 0).toLatin1();
    const int port = sandbox.server().section(QLatin1Char(':'), 1).toInt();
    std::unique_ptr<http_t, HttpCloser> http(httpConnect2(host.constData(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr));
    if (!http) {
        std::fprintf(stderr, "could not connect to %s\n", qPrintable(sandbox.server()));
        return 1;
    }

    const auto timed = [](const std::function<int()> &work) {
        return [work]() -> qint64 {
            QElapsedTimer timer;
            timer.start();
            if (work() < 0) {
                std::fprintf(stderr, "a run failed\n");
                std::exit(1);
            }
            return timer.nsecsElapsed();
        };
    };
    std::vector<Case> cases;
    cases.push_back({"(a) libcups floor: dest info, media, attributes", timed([&http] {
                         return plainLoad(http.get(), false);
                     }), {}});
    cases.push_back({"(a') floor + PPD fetch and parse", timed([&http] {
                         return plainLoad(http.get(), true);
                     }), {}});
    // The core connection gives its socket a read timeout (httpSetTimeout), so a silent
    // server cannot hang a request; libcups then polls before each of its many small reads.
    std::unique_ptr<http_t, HttpCloser> httpWithTimeout(
        httpConnect2(host.constData(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr));
    if (!httpWithTimeout) {
        return 1;
    }
    httpSetTimeout(httpWithTimeout.get(), ConnectionTimeoutSeconds, giveUp, nullptr);
    cases.push_back({"(a'') floor + PPD, read timeout as the core's", timed([&httpWithTimeout] {
                         return plainLoad(httpWithTimeout.get(), true);
                     }), {}});
    cases.push_back({"(b) dialog: load() to options page", timed(dialogLoad), {}});

    // In turns, so a server that slows down over time weighs on all alike.
    for (int i = 0; i < WarmUpRuns + Runs; ++i) {
        for (Case &c : cases) {
            const qint64 nsecs = c.run();
            if (i >= WarmUpRuns) {
                c.nsecs.push_back(nsecs);
            }
        }
    }

    std::printf("printer %s; medians of %d runs after %d warm-up runs\n\n", Printer, Runs, WarmUpRuns);
    std::printf("%-50s %9s %8s %8s %8s\n", "case", "wall ms", "x (a)", "x (a')", "x (a'')");
    const double floorMs = medianMs(cases.at(0).nsecs);
    const double floorPpdMs = medianMs(cases.at(1).nsecs);
    const double floorTimeoutMs = medianMs(cases.at(2).nsecs);
    for (const Case &c : cases) {
        const double ms = medianMs(c.nsecs);
        std::printf("%-50s %9.2f %8.2f %8.2f %8.2f\n", c.name, ms, ms / floorMs, ms / floorPpdMs, ms / floorTimeoutMs);
    }
    return 0;
}
