// Compares PrinterListModel::load() with the least any libcups client has to
// do for the same list: one CUPS-Get-Printers and copying the values out.

#include "benchtools.h"
#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <printerlistmodel.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cups/cups.h>

#include <cstdio>

using namespace Bench;
using namespace CUPS;

namespace
{
constexpr int PrinterCount = 200;
constexpr int ClassCount = 10;
constexpr int MembersPerClass = 5;
constexpr int Runs = 30;
constexpr int WarmUpRuns = 3;

bool addClass(int c)
{
    QStringList members;
    for (int m = 0; m < MembersPerClass; ++m) {
        members.append(queueUri(QStringLiteral("printers"), printerName(c * MembersPerClass + m)));
    }
    IppRequest request(CUPS_ADD_MODIFY_CLASS);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), queueUri(QStringLiteral("classes"), QStringLiteral("Class%1").arg(c)));
    request.addPrinterAttribute(Attr::MemberUris.data(), members, IPP_TAG_URI);
    request.addPrinterAttribute(Attr::PrinterIsAcceptingJobs.data(), true);
    request.addPrinterAttribute(Attr::PrinterState.data(), int(IPP_PSTATE_IDLE), IPP_TAG_ENUM);
    return request.doRequest(Connection::instance(), QStringLiteral("/admin/")).isOk();
}

int modelRows(const PrinterListModel &model)
{
    return model.rowCount(model.index(PrinterListModel::PrintersRow, 0)) + model.rowCount(model.index(PrinterListModel::ClassesRow, 0));
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    CupsSandbox sandbox;
    QElapsedTimer timer;
    timer.start();
    if (!startSandbox(sandbox)) {
        return 1;
    }
    const double startMs = timer.nsecsElapsed() / 1e6;

    timer.restart();
    if (!addPrinters(PrinterCount)) {
        return 1;
    }
    for (int c = 0; c < ClassCount; ++c) {
        if (!addClass(c)) {
            std::fprintf(stderr, "adding class %d failed: %s\n", c, qPrintable(Connection::lastErrorString()));
            return 1;
        }
    }
    const double setupMs = timer.nsecsElapsed() / 1e6;

    HttpPtr http;
    HttpPtr httpWithTimeout;
    if (!connectFloor(sandbox.server(), http, httpWithTimeout)) {
        return 1;
    }

    PrinterListModel kept;
    kept.setOptions(kept.options() | PrinterListModel::ShowNotShared);
    PrinterListModel grouped;
    grouped.setOptions(grouped.options() | PrinterListModel::ShowNotShared | PrinterListModel::GroupByLocation);

    std::vector<Case> cases;
    cases.push_back({"(a) libcups floor: request + copy values", [&http] {
                         return int(plainPrinters(http.get()).size());
                     }});
    cases.push_back({"(a') the same with a read timeout", [&httpWithTimeout] {
                         return int(plainPrinters(httpWithTimeout.get()).size());
                     }});
    cases.push_back({"(b) load(), same model, nothing changed", [&kept] {
                         kept.load();
                         return modelRows(kept);
                     }});
    cases.push_back({"(b) load(), fresh model", [] {
                         PrinterListModel model;
                         model.setOptions(model.options() | PrinterListModel::ShowNotShared);
                         model.load();
                         return modelRows(model);
                     }});
    cases.push_back({"(b) load() into an emptied grouped model", [&grouped] {
                         grouped.setDestinations({}, QString());
                         grouped.load();
                         return modelRows(grouped);
                     }});
    measure(cases, WarmUpRuns, Runs);

    std::printf("sandbox start: %.0f ms; %d printers + %d classes added over IPP in %.0f ms (%.1f ms each)\n",
                startMs,
                PrinterCount,
                ClassCount,
                setupMs,
                setupMs / (PrinterCount + ClassCount));
    std::printf("medians of %d runs after %d warm-up runs; cpu = this process' thread time\n\n", Runs, WarmUpRuns);
    const double timeoutFloorCpu = medianMs(cases.at(1).cpuNsecs);
    printTable(cases, "cpu/a'", [timeoutFloorCpu](const Case &c) {
        return medianMs(c.cpuNsecs) / timeoutFloorCpu;
    });

    std::printf("\n");
    printSummary(QStringLiteral("Printer list: PrinterListModel::load()"),
                 QStringLiteral("%1 printers + %2 classes").arg(PrinterCount).arg(ClassCount),
                 medianMs(cases.at(3).wallNsecs),
                 medianMs(cases.at(0).wallNsecs),
                 Runs,
                 QStringLiteral("load() into a fresh model; reloading a kept model in which nothing changed took %1 ms.")
                     .arg(medianMs(cases.at(2).wallNsecs), 0, 'f', 2));
    return 0;
}
