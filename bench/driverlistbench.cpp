// The wizard's driver list: fetching the server's PPD list as the
// information page does, against the least any libcups client has to do for
// it; then the Drivers dialog's vendor list and one filter keystroke.

#include "benchtools.h"
#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <driverwidget.h>
#include <infodriverpage.h>
#include <ipprequest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>

#include <cups/cups.h>

#include <cstdio>
#include <memory>

using namespace Bench;
using namespace CUPS;

namespace
{
constexpr int Runs = 15;
constexpr int WarmUpRuns = 2;
constexpr int KeystrokeRuns = 25;

std::vector<PlainObject> plainPpds(http_t *http)
{
    ipp_t *request = ippNewRequest(CUPS_GET_PPDS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), nullptr, cupsUser());
    const IppPtr response(cupsDoRequest(http, request, "/"));
    return plainGroups(response.get(), IPP_TAG_PRINTER);
}

qint64 timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed();
}

int countRecords(const QMap<QString, QList<QVariant>> &byMake)
{
    int count = 0;
    for (const QList<QVariant> &records : byMake) {
        count += records.size();
    }
    return count;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CupsSandbox sandbox;
    if (!startSandbox(sandbox)) {
        return 1;
    }
    HttpPtr http;
    HttpPtr httpWithTimeout;
    if (!connectFloor(sandbox.server(), http, httpWithTimeout)) {
        return 1;
    }

    std::vector<Case> cases;
    cases.push_back({"(a) libcups floor: CUPS-Get-PPDs + copy values", [&http] {
                         return int(plainPpds(http.get()).size());
                     }});
    cases.push_back({"(a') the same with a read timeout", [&httpWithTimeout] {
                         return int(plainPpds(httpWithTimeout.get()).size());
                     }});
    cases.push_back({"(b) loadPpds: PPDs() grouped by make", [] {
                         return countRecords(InfoDriverPage::groupByMake(Connection::instance()->PPDs(QString())));
                     }});
    measure(cases, WarmUpRuns, Runs);
    std::printf("PPD list: medians of %d runs after %d warm-up runs; cpu = this process' thread time\n\n", Runs, WarmUpRuns);
    const double timeoutFloorWall = medianMs(cases.at(1).wallNsecs);
    printTable(cases, "wall/a'", [timeoutFloorWall](const Case &c) {
        return medianMs(c.wallNsecs) / timeoutFloorWall;
    });
    const int ppdCount = cases.at(0).rows;

    const QMap<QString, QList<QVariant>> ppdsByMake = InfoDriverPage::groupByMake(Connection::instance()->PPDs(QString()));
    std::vector<qint64> fills;
    for (int run = 0; run < Runs; ++run) {
        DriverWidget widget;
        fills.push_back(timed([&] {
            widget.setDeviceAndPpds(QStringLiteral("socket://127.0.0.1:9100"), ppdsByMake);
        }));
    }
    std::printf("\n%d PPDs of %d makes; filling the vendor list: median %.2f ms\n", countRecords(ppdsByMake), int(ppdsByMake.size()), medianMs(fills));

    // The largest vendor is current, so each keystroke refilters its models
    // too; the widget is shown, so layout and painting count.
    DriverWidget widget;
    widget.resize(800, 600);
    widget.show();
    widget.setDeviceAndPpds(QStringLiteral("socket://127.0.0.1:9100"), ppdsByMake);
    auto *filter = widget.findChild<QLineEdit *>(QStringLiteral("filterEdit"));
    auto *vendors = widget.findChild<QListWidget *>(QStringLiteral("vendorList"));
    auto *models = widget.findChild<QListWidget *>(QStringLiteral("modelList"));
    const QList<QListWidgetItem *> hp = vendors ? vendors->findItems(QStringLiteral("HP"), Qt::MatchExactly) : QList<QListWidgetItem *>();
    if (!filter || !models || hp.isEmpty()) {
        std::fprintf(stderr, "the driver widget has no filter or no HP vendor\n");
        return 1;
    }
    const QString typed = QStringLiteral("laserj");
    std::printf("one filter keystroke with HP current, until painted, medians of %d runs:\n", KeystrokeRuns);
    double firstKeystrokeMs = -1;
    int hpModels = -1;
    int firstKeystrokeModels = -1;
    for (int length : {1, 3, 6}) {
        std::vector<qint64> keystrokes;
        for (int run = 0; run < KeystrokeRuns; ++run) {
            filter->clear();
            vendors->setCurrentItem(hp.first());
            filter->setText(typed.left(length - 1));
            QCoreApplication::processEvents();
            if (length == 1) {
                hpModels = models->count();
            }
            keystrokes.push_back(timed([&] {
                filter->setText(typed.left(length));
                QCoreApplication::processEvents();
            }));
        }
        std::printf("  \"%s\": %.2f ms, %d models listed\n", qPrintable(typed.left(length)), medianMs(keystrokes), models->count());
        if (firstKeystrokeMs < 0) {
            firstKeystrokeMs = medianMs(keystrokes);
            firstKeystrokeModels = models->count();
        }
    }
    std::printf("\n");
    printSummary(QStringLiteral("PPD list: the wizard's driver list load"),
                 QStringLiteral("%1 PPDs").arg(QLocale(QLocale::English).toString(ppdCount)),
                 medianMs(cases.at(2).wallNsecs),
                 medianMs(cases.at(0).wallNsecs),
                 Runs);
    printSummary(QStringLiteral("Driver filter: one keystroke"),
                 QStringLiteral("%1 PPDs, %2 HP models").arg(QLocale(QLocale::English).toString(ppdCount), QLocale(QLocale::English).toString(hpModels)),
                 firstKeystrokeMs,
                 -1,
                 KeystrokeRuns,
                 QStringLiteral("Typing \"%1\" into the empty filter of the Drivers dialog (800x600, offscreen) with HP selected: vendors and "
                                "HP's models refiltered (%2 of %3 models left) and the dialog painted. Client-side work only; libcups has "
                                "nothing to compare it with.")
                     .arg(typed.left(1))
                     .arg(QLocale(QLocale::English).toString(firstKeystrokeModels), QLocale(QLocale::English).toString(hpModels)));
    return 0;
}
