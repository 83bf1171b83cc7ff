// Compares JobListModel::load() for a printer with 2,000 jobs with the least
// any libcups client has to do for the same list: one Get-Jobs and copying
// the values out. Then times the jobs widget's action update for 1, 50 and
// 500 selected jobs and counts the requests it sends (cupsd's access log).

#include "benchtools.h"
#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <joblistmodel.h>
#include <jobswidget.h>
#include <utils.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <cups/cups.h>

#include <cstdio>

using namespace Bench;
using namespace CUPS;

namespace
{
constexpr int JobCount = 2000;
constexpr int Runs = 15;
constexpr int WarmUpRuns = 2;
const QString Printer = QStringLiteral("Bench_Queue");

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);

    CupsSandbox sandbox;
    if (!startSandbox(sandbox)) {
        return 1;
    }
    if (!keepAllJobs(sandbox)) {
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    if (!addJobs(sandbox, Printer, JobCount)) {
        return 1;
    }
    const double setupMs = timer.nsecsElapsed() / 1e6;

    const HttpPtr http = connectPlain(sandbox.server());
    if (!http) {
        return 1;
    }

    JobListModel kept;
    kept.load(Printer);
    const QStringList requested = kept.requestedAttributes();
    std::vector<Case> cases;
    cases.push_back({"(a) libcups floor: Get-Jobs + copy values", [&http, &requested] {
                         return int(plainJobs(http.get(), Printer, requested).size());
                     }});
    // The core's own request path, which reads the whole answer before parsing it.
    cases.push_back({"(a') core IppRequest: Get-Jobs + hashes", [&requested] {
                         IppRequest request(IPP_OP_GET_JOBS);
                         request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), Utils::printerUri(Printer));
                         request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::WhichJobs.data(), QStringLiteral("not-completed"));
                         request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), requested);
                         return int(request.doRequest(Connection::instance(), QStringLiteral("/")).attributeGroups(IPP_TAG_JOB).size());
                     }});
    cases.push_back({"(b) load(), same model, nothing changed", [&kept] {
                         kept.reload();
                         return kept.rowCount();
                     }});
    cases.push_back({"(b) load(), fresh model", [] {
                         JobListModel model;
                         model.load(Printer);
                         return model.rowCount();
                     }});
    cases.push_back({"(b) load(), fresh model sorted by name", [] {
                         JobListModel model;
                         model.sort(1, Qt::AscendingOrder);
                         model.load(Printer);
                         return model.rowCount();
                     }});
    measure(cases, WarmUpRuns, Runs);

    std::printf("%d jobs submitted over IPP in %.0f ms\n", JobCount, setupMs);
    std::printf("medians of %d runs after %d warm-up runs; cpu = this process' thread time\n\n", Runs, WarmUpRuns);
    const double coreWall = medianMs(cases.at(1).wallNsecs);
    printTable(cases, "wall/a'", [coreWall](const Case &c) {
        return medianMs(c.wallNsecs) / coreWall;
    });

    // The action update runs once per selection change.
    JobsWidget widget;
    widget.load(Printer);
    std::printf("\n%-44s %9s %9s\n", "updateActions for a selection of", "wall ms", "requests");
    for (int selected : {1, 50, 500}) {
        std::vector<qint64> wall;
        int requests = 0;
        for (int run = 0; run < 5; ++run) {
            widget.clearSelection();
            const QItemSelection rows(widget.model()->index(0, 0), widget.model()->index(selected - 1, widget.model()->columnCount() - 1));
            const int before = settledAccessLogLines(sandbox);
            timer.start();
            widget.selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
            wall.push_back(timer.nsecsElapsed());
            requests = settledAccessLogLines(sandbox) - before;
        }
        std::printf("%-44s %9.2f %9d\n", qPrintable(QStringLiteral("%1 jobs").arg(selected)), medianMs(wall), requests);
    }
    std::printf("\n");
    printSummary(QStringLiteral("Job list: JobListModel::load()"),
                 QStringLiteral("%1 jobs").arg(QLocale(QLocale::English).toString(JobCount)),
                 medianMs(cases.at(3).wallNsecs),
                 medianMs(cases.at(0).wallNsecs),
                 Runs,
                 QStringLiteral("load() of one queue's jobs into a fresh model; reloading a kept model in which nothing changed took %1 ms.")
                     .arg(medianMs(cases.at(2).wallNsecs), 0, 'f', 2));
    return 0;
}
