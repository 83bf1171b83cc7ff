// What the server watcher costs and what it brings, against a sandbox with
// 200 printers and 2,000 jobs:
// (a) the requests it sends while nothing changes (cupsd's access log) and
//     the GUI-thread time of one idle tick, next to a plain libcups
//     Get-Notifications;
// (b) how long after another client's change it reports it;
// (c) the reloads a host runs on its reports (PrinterListModel::load() and
//     JobListModel::load()), next to the same requests in plain libcups.

#include "benchtools.h"
#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <joblistmodel.h>
#include <printerlistmodel.h>
#include <serverwatcher.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

using namespace Bench;
using namespace CUPS;

namespace
{
constexpr int PrinterCount = 200;
constexpr int JobCount = 2000;
const QString JobQueue = QStringLiteral("Bench_Queue");
const char *const ServerUri = "ipp://localhost/";
// (a): requests counted over a window at the default pace, ticks timed at a fast one.
constexpr int IdleSeconds = 5;
constexpr int TickSamples = 200;
constexpr int FastPollMsecs = 10;
// (b): changes at varying points between two ticks.
constexpr int Changes = 10;

struct TickTimes {
    std::vector<qint64> wallNsecs;
    std::vector<qint64> cpuNsecs;
};

// Times every QTimer timeout this thread delivers: the watcher's ticks, as no other QTimer runs here
// (QTimer::singleShot and QEventLoop use timers of their own kind).
class TickTimingApplication : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!recordInto || event->type() != QEvent::Timer || !qobject_cast<QTimer *>(receiver)) {
            return QCoreApplication::notify(receiver, event);
        }
        const qint64 cpuBefore = threadCpuNsecs();
        QElapsedTimer timer;
        timer.start();
        const bool handled = QCoreApplication::notify(receiver, event);
        recordInto->wallNsecs.push_back(timer.nsecsElapsed());
        recordInto->cpuNsecs.push_back(threadCpuNsecs() - cpuBefore);
        return handled;
    }

    TickTimes *recordInto = nullptr;
};

// Runs the event loop, the watcher ticking meanwhile.
void runFor(int msecs)
{
    QEventLoop loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
}

using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

// A server-wide subscription of the floor's own, on its own connection; 0 when refused.
int plainSubscribe(http_t *http)
{
    ipp_t *request = ippNewRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), nullptr, ServerUri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), nullptr, cupsUser());
    ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, Attr::NotifyPullMethod.data(), nullptr, "ippget");
    const char *const events[] = {"printer-state-changed", "job-state-changed"};
    ippAddStrings(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, Attr::NotifyEvents.data(), 2, nullptr, events);
    const IppPtr response(cupsDoRequest(http, request, "/"));
    ipp_attribute_t *id = ippFindAttribute(response.get(), Attr::NotifySubscriptionId.data(), IPP_TAG_INTEGER);
    return id ? ippGetInteger(id, 0) : 0;
}

// The floor of an idle tick: one Get-Notifications that finds nothing new, values copied out.
int plainPoll(http_t *http, int subscriptionId)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_NOTIFICATIONS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), nullptr, ServerUri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), nullptr, cupsUser());
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::NotifySubscriptionIds.data(), subscriptionId);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::NotifySequenceNumbers.data(), 1);
    const IppPtr response(cupsDoRequest(http, request, "/"));
    return int(plainGroups(response.get(), IPP_TAG_EVENT_NOTIFICATION).size());
}

// Another client's change: a request on the floor's connection that returns once the server made it.
bool change(http_t *http, ipp_op_t op, const char *uriName, const QString &uri, const char *resource)
{
    const QByteArray uriBytes = uri.toUtf8();
    ipp_t *request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, uriName, nullptr, uriBytes.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), nullptr, cupsUser());
    const IppPtr response(cupsDoRequest(http, request, resource));
    return response && ippGetStatusCode(response.get()) < IPP_STATUS_ERROR_BAD_REQUEST;
}

// Nanoseconds from each change's answer to the watcher's signal; a change that failed or was not reported ends the list.
std::vector<qint64> latencies(ServerWatcher &watcher, void (ServerWatcher::*signal)(), const std::function<bool(int)> &makeChange)
{
    constexpr int SignalTimeoutMsecs = 10000;
    std::vector<qint64> nsecs;
    for (int k = 0; k < Changes; ++k) {
        // Changes fall at every point between two ticks.
        runFor(37 + (k * 97) % 1000);
        QEventLoop loop;
        QElapsedTimer timer;
        qint64 reportedAfter = -1;
        QObject::connect(&watcher, signal, &loop, [&] {
            reportedAfter = timer.nsecsElapsed();
            loop.quit();
        });
        QTimer::singleShot(SignalTimeoutMsecs, &loop, &QEventLoop::quit);
        if (!makeChange(k)) {
            std::fprintf(stderr, "change %d failed: %s\n", k, cupsLastErrorString());
            break;
        }
        timer.start();
        loop.exec();
        if (reportedAfter < 0) {
            std::fprintf(stderr, "change %d was not reported within %d ms\n", k, SignalTimeoutMsecs);
            break;
        }
        nsecs.push_back(reportedAfter);
    }
    return nsecs;
}

double maxMs(const std::vector<qint64> &nsecs)
{
    return nsecs.empty() ? 0 : *std::max_element(nsecs.begin(), nsecs.end()) / 1e6;
}

// One row of the table: a median and its maximum, and the ratio to a floor where there is one.
void printRow(const char *what, const std::vector<qint64> &nsecs, double floorMs = 0)
{
    if (nsecs.empty()) {
        std::printf("%-50s %9s\n", what, "failed");
        return;
    }
    const double median = medianMs(nsecs);
    std::printf("%-50s %9.2f %9.2f", what, median, maxMs(nsecs));
    if (floorMs > 0) {
        std::printf(" %9.2f %7.2f", floorMs, median / floorMs);
    } else {
        std::printf(" %9s %7s", "", "");
    }
    std::printf(" %7zu\n", nsecs.size());
}
} // namespace

int main(int argc, char **argv)
{
    TickTimingApplication app(argc, argv);
    // (c): the runs kept after the warm-up ones, which the idle tick's floor has too.
    constexpr int Runs = 15;
    constexpr int WarmUpRuns = 2;

    CupsSandbox sandbox;
    if (!startSandbox(sandbox)) {
        return 1;
    }
    QElapsedTimer setup;
    setup.start();
    if (!keepAllJobs(sandbox) || !addPrinters(PrinterCount) || !addJobs(sandbox, JobQueue, JobCount)) {
        return 1;
    }
    const double setupMs = setup.nsecsElapsed() / 1e6;
    const HttpPtr http = connectPlain(sandbox.server());
    const int floorSubscription = http ? plainSubscribe(http.get()) : 0;
    if (!floorSubscription) {
        std::fprintf(stderr, "the floor got no subscription: %s\n", cupsLastErrorString());
        return 1;
    }

    ServerWatcher watcher;
    watcher.start();
    if (!watcher.isSubscribed()) {
        std::fprintf(stderr, "the watcher got no subscription: %s\n", qPrintable(Connection::lastErrorString()));
        return 1;
    }

    // (a) At the default pace, nothing changing; then many ticks at a fast pace for their cost.
    const int defaultPace = watcher.currentInterval();
    runFor(1500);
    const int linesBefore = settledAccessLogLines(sandbox);
    runFor(IdleSeconds * 1000);
    const int idleRequests = settledAccessLogLines(sandbox) - linesBefore;
    watcher.setPollInterval(FastPollMsecs);
    TickTimes idleTicks;
    app.recordInto = &idleTicks;
    while (idleTicks.wallNsecs.size() < size_t(TickSamples)) {
        runFor(100);
    }
    app.recordInto = nullptr;
    watcher.setPollInterval(defaultPace);
    std::vector<Case> floorPoll{{"", [&http, floorSubscription] {
                                     return plainPoll(http.get(), floorSubscription);
                                 }}};
    measure(floorPoll, WarmUpRuns, TickSamples);

    // (b) The printer paused and resumed, the first job (held) released and held again; every tick meanwhile timed.
    TickTimes changeTicks;
    app.recordInto = &changeTicks;
    const QString printerUri = queueUri(QStringLiteral("printers"), printerName(1));
    const std::vector<qint64> printerLatency = latencies(watcher, &ServerWatcher::printersChanged, [&](int k) {
        return change(http.get(), k % 2 ? IPP_OP_RESUME_PRINTER : IPP_OP_PAUSE_PRINTER, Attr::PrinterUri.data(), printerUri, "/admin/");
    });
    const QString jobUri = QStringLiteral("ipp://localhost/jobs/1");
    const std::vector<qint64> jobLatency = latencies(watcher, &ServerWatcher::jobsChanged, [&](int k) {
        return change(http.get(), k % 2 ? IPP_OP_HOLD_JOB : IPP_OP_RELEASE_JOB, Attr::JobUri.data(), jobUri, "/jobs/");
    });
    app.recordInto = nullptr;
    watcher.stop();

    // (c) The reloads, each model kept as a host keeps it, in turns with their floors.
    PrinterListModel printers;
    printers.setOptions(printers.options() | PrinterListModel::ShowNotShared);
    JobListModel jobs;
    jobs.load(JobQueue);
    const QStringList requestedJobAttributes = jobs.requestedAttributes();
    const HttpPtr plain = connectPlain(sandbox.server());
    if (!plain) {
        return 1;
    }
    std::vector<Case> reloads;
    reloads.push_back({"", [&plain] {
                           return int(plainPrinters(plain.get()).size());
                       }});
    reloads.push_back({"", [&printers] {
                           printers.load();
                           return printers.rowCount(printers.index(PrinterListModel::PrintersRow, 0));
                       }});
    reloads.push_back({"", [&plain, &requestedJobAttributes] {
                           return int(plainJobs(plain.get(), JobQueue, requestedJobAttributes).size());
                       }});
    reloads.push_back({"", [&jobs] {
                           jobs.reload();
                           return jobs.rowCount();
                       }});
    measure(reloads, WarmUpRuns, Runs);

    std::printf("sandbox: %d printers, and %d jobs on a stopped queue of their own, set up over IPP in %.0f ms\n", PrinterCount, JobCount, setupMs);
    std::printf("(a) requests counted in cupsd's access log at the default %d ms pace; %d ticks timed at a %d ms pace\n", defaultPace, TickSamples, FastPollMsecs);
    std::printf("floor = the same request in plain libcups on a connection of its own; max of (b) after %d changes at varying points between ticks\n", Changes);
    std::printf("(c): medians of %d runs after %d warm-up runs, floor and model in turns; cpu = this process' thread time\n\n", Runs, WarmUpRuns);
    std::printf("%-50s %9s %9s %9s %7s %7s\n", "", "median", "max", "floor", "ratio", "samples");
    std::printf("%-50s %9.2f %9s %9s %7s %5d s\n",
                qPrintable(QStringLiteral("(a) idle requests per second (%1 in %2 s)").arg(idleRequests).arg(IdleSeconds)),
                double(idleRequests) / IdleSeconds,
                "",
                "",
                "",
                IdleSeconds);
    printRow("(a) idle tick, GUI-thread wall ms", idleTicks.wallNsecs, medianMs(floorPoll.front().wallNsecs));
    printRow("(a) idle tick, GUI-thread cpu ms", idleTicks.cpuNsecs, medianMs(floorPoll.front().cpuNsecs));
    printRow("(b) other client's change -> printersChanged, ms", printerLatency);
    printRow("(b) other client's change -> jobsChanged, ms", jobLatency);
    printRow("(b) any tick meanwhile, GUI-thread wall ms", changeTicks.wallNsecs);
    const QByteArray printerRow = "(c) PrinterListModel::load(), " + QByteArray::number(reloads.at(1).rows) + " rows, wall ms";
    const QByteArray jobRow = "(c) JobListModel::load(), " + QByteArray::number(reloads.at(3).rows) + " rows, wall ms";
    printRow(printerRow.constData(), reloads.at(1).wallNsecs, medianMs(reloads.at(0).wallNsecs));
    printRow("(c)   the same, cpu ms", reloads.at(1).cpuNsecs, medianMs(reloads.at(0).cpuNsecs));
    printRow(jobRow.constData(), reloads.at(3).wallNsecs, medianMs(reloads.at(2).wallNsecs));
    printRow("(c)   the same, cpu ms", reloads.at(3).cpuNsecs, medianMs(reloads.at(2).cpuNsecs));
    return 0;
}
