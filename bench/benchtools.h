// What the benchmarks share: the raw libcups floor's value copying, a plain
// connection to the sandbox, and timing cases in turns.
#ifndef BENCHTOOLS_H
#define BENCHTOOLS_H

#include <cresource.h>

#include <QString>
#include <QStringList>

#include <cups/cups.h>

#include <functional>
#include <string>
#include <vector>

class CupsSandbox;

namespace Bench
{
/// One attribute's values copied out of libcups, as any client has to.
struct PlainAttribute {
    std::string name;
    std::vector<std::string> strings;
    std::vector<int> numbers;
};
using PlainObject = std::vector<PlainAttribute>;

/// Every attribute of the response's groups tagged `group`, one object a group.
std::vector<PlainObject> plainGroups(ipp_t *response, ipp_tag_t group);

using HttpPtr = CUPS::CResource<http_t, httpClose>;
/// A connection of its own to `server` ("HOST:PORT"), without the core's read timeout.
HttpPtr connectPlain(const QString &server);
/// Gives `http` the read timeout the core's Connection uses by default (30 s,
/// giving up when it passes); libcups then polls before each read.
void setCoreReadTimeout(http_t *http);
/// The floor's two connections to server: plain, and with the core's read
/// timeout (libcups then polls before each of its many small reads). False,
/// with a message on stderr, when either fails.
bool connectFloor(const QString &server, HttpPtr &plain, HttpPtr &withTimeout);

/// The name of the benchmarks' i-th printer: mixed case and numbers, so a sort does real work.
QString printerName(int i);
/// ipp://localhost/KIND/NAME, KIND being "printers" or "classes".
QString queueUri(const QString &kind, const QString &name);
/// Adds printers 0 to count - 1 over IPP (to /dev/null, their info, location and sharing
/// varying). False, with a message on stderr, when one could not be added.
bool addPrinters(int count);
/// Starts the sandbox (with the sample set when asked); says why on stderr when it cannot.
bool startSandbox(CupsSandbox &sandbox, bool sample = false);

/// Lets the sandbox's cupsd keep any number of jobs (500 by default); it restarts for that.
bool keepAllJobs(const CupsSandbox &sandbox);
/// Adds the stopped queue `printer` and submits `count` short jobs to it over IPP, every
/// third one held. False, with a message on stderr, when one failed.
bool addJobs(const CupsSandbox &sandbox, const QString &printer, int count);

/// The floors of the two lists: PrinterListModel's request for every printer, and
/// JobListModel's for the not completed jobs of one printer, values copied out.
std::vector<PlainObject> plainPrinters(http_t *http);
std::vector<PlainObject> plainJobs(http_t *http, const QString &printer, const QStringList &requested);

/// Lines in the sandbox's access log: one a request.
int accessLogLines(const CupsSandbox &sandbox);
/// The same once the log has stopped growing, since cupsd logs a request after answering it.
int settledAccessLogLines(const CupsSandbox &sandbox);

/// CPU time of the calling thread.
qint64 threadCpuNsecs();

struct Case {
    Case(const char *name, std::function<int()> run, std::function<void()> prepare = {})
        : name(name)
        , run(std::move(run))
        , prepare(std::move(prepare))
    {
    }
    const char *name;
    std::function<int()> run;
    /// Runs before each run of `run`, untimed (a fresh dialog, a free queue name...).
    std::function<void()> prepare;
    std::vector<qint64> wallNsecs;
    std::vector<qint64> cpuNsecs;
    int rows = 0;
};

/// Runs the cases in turns, so a server or machine that slows down over time
/// weighs on all of them alike; only the runs after the warm-up are kept.
/// Each case's prepare, if any, runs untimed just before its run.
void measure(std::vector<Case> &cases, int warmUpRuns, int runs);

double medianMs(std::vector<qint64> nsecs);

/// Prints each case's rows, median wall and cpu times and their ratios to the
/// first case (the floor), then one more column: `extra` of the case.
void printTable(const std::vector<Case> &cases, const char *extraHeader, const std::function<double(const Case &)> &extra);

/// The tag that starts a summary line.
constexpr const char *SummaryTag = "BENCH-SUMMARY";
/**
 * One row of scripts/bench's table, after the program's own tables, as one
 * line of tab-separated fields:
 *     BENCH-SUMMARY, operation, size, our median ms, floor median ms or "-",
 *     runs, note
 * floorMs < 0 means there is no libcups floor to compare with. The note says
 * what was measured where the operation and size do not; it may be empty.
 * Tabs and line breaks in the texts become spaces.
 */
void printSummary(const QString &operation, const QString &size, double oursMs, double floorMs, int runs, const QString &note = {});
} // namespace Bench

#endif
