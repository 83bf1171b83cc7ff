#include "benchtools.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace Bench
{
namespace
{
int giveUp(http_t *, void *)
{
    return 0;
}

qint64 threadCpuNsecs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}
} // namespace

std::vector<PlainObject> plainGroups(ipp_t *response, ipp_tag_t group)
{
    std::vector<PlainObject> objects;
    bool inGroup = false;
    for (ipp_attribute_t *attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        const char *name = ippGetName(attribute);
        if (!name || ippGetGroupTag(attribute) != group) {
            inGroup = false;
            continue;
        }
        if (!inGroup) {
            objects.emplace_back();
            inGroup = true;
        }
        PlainAttribute plain;
        plain.name = name;
        const int count = ippGetCount(attribute);
        for (int i = 0; i < count; ++i) {
            switch (ippGetValueTag(attribute)) {
            case IPP_TAG_INTEGER:
            case IPP_TAG_ENUM:
                plain.numbers.push_back(ippGetInteger(attribute, i));
                break;
            case IPP_TAG_BOOLEAN:
                plain.numbers.push_back(ippGetBoolean(attribute, i));
                break;
            default:
                if (const char *text = ippGetString(attribute, i, nullptr)) {
                    plain.strings.emplace_back(text);
                }
            }
        }
        objects.back().push_back(std::move(plain));
    }
    return objects;
}

HttpPtr connectPlain(const QString &server)
{
    const QByteArray host = server.section(QLatin1Char(':'), 0, 0).toLatin1();
    const int port = server.section(QLatin1Char(':'), 1).toInt();
    return HttpPtr(httpConnect2(host.constData(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr));
}

void setCoreReadTimeout(http_t *http)
{
    httpSetTimeout(http, 30.0, giveUp, nullptr);
}

bool connectFloor(const QString &server, HttpPtr &plain, HttpPtr &withTimeout)
{
    plain = connectPlain(server);
    withTimeout = connectPlain(server);
    if (!plain || !withTimeout) {
        std::fprintf(stderr, "could not connect to %s\n", qPrintable(server));
        return false;
    }
    setCoreReadTimeout(withTimeout.get());
    return true;
}

void measure(std::vector<Case> &cases, int warmUpRuns, int runs)
{
    QElapsedTimer timer;
    for (int i = 0; i < warmUpRuns + runs; ++i) {
        for (Case &c : cases) {
            const qint64 cpuBefore = threadCpuNsecs();
            timer.start();
            c.rows = c.run();
            const qint64 wall = timer.nsecsElapsed();
            const qint64 cpu = threadCpuNsecs() - cpuBefore;
            if (i >= warmUpRuns) {
                c.wallNsecs.push_back(wall);
                c.cpuNsecs.push_back(cpu);
            }
        }
    }
}

double medianMs(std::vector<qint64> nsecs)
{
    std::sort(nsecs.begin(), nsecs.end());
    return nsecs[nsecs.size() / 2] / 1e6;
}
void printTable(const std::vector<Case> &cases, const char *extraHeader, const std::function<double(const Case &)> &extra)
{
    std::printf("%-44s %5s %9s %9s %8s %8s %8s\n", "case", "rows", "wall ms", "cpu ms", "wall/a", "cpu/a", extraHeader);
    const double floorWall = medianMs(cases.front().wallNsecs);
    const double floorCpu = medianMs(cases.front().cpuNsecs);
    for (const Case &c : cases) {
        const double wall = medianMs(c.wallNsecs);
        const double cpu = medianMs(c.cpuNsecs);
        std::printf("%-44s %5d %9.2f %9.2f %8.2f %8.2f %8.2f\n", c.name, c.rows, wall, cpu, wall / floorWall, cpu / floorCpu, extra(c));
    }
}
} // namespace Bench
