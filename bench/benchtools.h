// What the benchmarks share: the raw libcups floor's value copying, a plain
// connection to the sandbox, and timing cases in turns.
#ifndef BENCHTOOLS_H
#define BENCHTOOLS_H

#include <cresource.h>

#include <QString>

#include <cups/cups.h>

#include <functional>
#include <string>
#include <vector>

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

struct Case {
    Case(const char *name, std::function<int()> run)
        : name(name)
        , run(std::move(run))
    {
    }
    const char *name;
    std::function<int()> run;
    std::vector<qint64> wallNsecs;
    std::vector<qint64> cpuNsecs;
    int rows = 0;
};

/// Runs the cases in turns, so a server or machine that slows down over time
/// weighs on all of them alike; only the runs after the warm-up are kept.
void measure(std::vector<Case> &cases, int warmUpRuns, int runs);

double medianMs(std::vector<qint64> nsecs);

/// Prints each case's rows, median wall and cpu times and their ratios to the
/// first case (the floor), then one more column: `extra` of the case.
void printTable(const std::vector<Case> &cases, const char *extraHeader, const std::function<double(const Case &)> &extra);
} // namespace Bench

#endif
