#include "benchtools.h"
#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <printerlistmodel.h>
#include <utils.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

using namespace CUPS;

namespace Bench
{
namespace
{
int giveUp(http_t *, void *)
{
    return 0;
}

bool addPrinter(int i)
{
    IppRequest request(CUPS_ADD_MODIFY_PRINTER);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), queueUri(QStringLiteral("printers"), printerName(i)));
    request.addPrinterAttribute(Attr::DeviceUri.data(), QStringLiteral("file:///dev/null"), IPP_TAG_URI);
    request.addPrinterAttribute(Attr::PrinterInfo.data(), QStringLiteral("Printer number %1").arg(i));
    request.addPrinterAttribute(Attr::PrinterLocation.data(), QStringLiteral("Building %1, floor %2").arg(i % 7).arg(i % 5));
    request.addPrinterAttribute(Attr::PrinterIsShared.data(), i % 4 != 0);
    request.addPrinterAttribute(Attr::PrinterIsAcceptingJobs.data(), true);
    request.addPrinterAttribute(Attr::PrinterState.data(), int(IPP_PSTATE_IDLE), IPP_TAG_ENUM);
    return request.doRequest(Connection::instance(), QStringLiteral("/admin/")).isOk();
}

bool submitJob(const QString &printer, int i, const QString &file)
{
    IppRequest request(IPP_OP_PRINT_JOB);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), Utils::printerUri(printer));
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::JobName.data(), QStringLiteral("Report %1 – Entwurf").arg(i));
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", QStringLiteral("text/plain"));
    // Every third job held, the rest pending on the stopped queue.
    if (i % 3 == 0) {
        request.addAttribute(IPP_TAG_JOB, IPP_TAG_KEYWORD, Attr::JobHoldUntil.data(), QStringLiteral("indefinite"));
    }
    return request.doFileRequest(Connection::instance(), QStringLiteral("/printers/") + printer, file).isOk();
}

// cupsctl restarts the scheduler; wait until it answers again.
bool waitForServer()
{
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        Connection::instance()->reconnect(true);
        IppRequest request(CUPS_GET_PRINTERS);
        if (request.doRequest(Connection::instance(), QStringLiteral("/")).statusCode() <= IPP_STATUS_ERROR_NOT_FOUND) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

std::vector<const char *> pointers(const QList<QByteArray> &names)
{
    std::vector<const char *> list;
    for (const QByteArray &name : names) {
        list.push_back(name.constData());
    }
    return list;
}

QList<QByteArray> latin1(const QStringList &names)
{
    QList<QByteArray> list;
    for (const QString &name : names) {
        list.append(name.toLatin1());
    }
    return list;
}
} // namespace

qint64 threadCpuNsecs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

QString printerName(int i)
{
    return QStringLiteral("%1_Printer%2").arg(i % 3 == 0 ? QStringLiteral("office") : QStringLiteral("Lab")).arg(i);
}

QString queueUri(const QString &kind, const QString &name)
{
    return QStringLiteral("ipp://localhost/%1/%2").arg(kind, name);
}

bool addPrinters(int count)
{
    for (int i = 0; i < count; ++i) {
        if (!addPrinter(i)) {
            std::fprintf(stderr, "adding printer %d failed: %s\n", i, qPrintable(Connection::lastErrorString()));
            return false;
        }
    }
    return true;
}

bool startSandbox(CupsSandbox &sandbox, bool sample)
{
    if (sandbox.start(sample)) {
        return true;
    }
    std::fprintf(stderr, "could not start the sandbox: %s\n", qPrintable(sandbox.errorString()));
    return false;
}

bool keepAllJobs(const CupsSandbox &sandbox)
{
    if (!sandbox.run(QStringLiteral("cupsctl"), {QStringLiteral("MaxJobs=0")}) || !waitForServer()) {
        std::fprintf(stderr, "could not reconfigure the sandbox\n");
        return false;
    }
    return true;
}

bool addJobs(const CupsSandbox &sandbox, const QString &printer, int count)
{
    if (!sandbox.addPrinter(printer) || !sandbox.run(QStringLiteral("cupsdisable"), {printer})) {
        std::fprintf(stderr, "could not add the queue\n");
        return false;
    }
    QTemporaryFile document;
    if (!document.open() || document.write("A short document.\n") < 0 || !document.flush()) {
        std::fprintf(stderr, "could not write the document\n");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!submitJob(printer, i, document.fileName())) {
            std::fprintf(stderr, "job %d failed: %s\n", i, qPrintable(Connection::lastErrorString()));
            return false;
        }
    }
    return true;
}

std::vector<PlainObject> plainPrinters(http_t *http)
{
    // What the model asks for, so the floor fetches the same bytes.
    static const QList<QByteArray> attributes = latin1(PrinterListModel::requestedAttributes());
    const std::vector<const char *> names = pointers(attributes);
    ipp_t *request = ippNewRequest(CUPS_GET_PRINTERS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), nullptr, cupsUser());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), int(names.size()), nullptr, names.data());
    std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http, request, "/"));

    return plainGroups(response.get(), IPP_TAG_PRINTER);
}

std::vector<PlainObject> plainJobs(http_t *http, const QString &printer, const QStringList &requested)
{
    const QList<QByteArray> attributes = latin1(requested);
    const std::vector<const char *> names = pointers(attributes);
    const QByteArray uri = Utils::printerUri(printer).toUtf8();
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::WhichJobs.data(), nullptr, "not-completed");
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), int(names.size()), nullptr, names.data());
    std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http, request, "/"));

    return plainGroups(response.get(), IPP_TAG_JOB);
}

int accessLogLines(const CupsSandbox &sandbox)
{
    QFile log(sandbox.directory() + QStringLiteral("/log/access_log"));
    return log.open(QIODevice::ReadOnly) ? log.readAll().count('\n') : -1;
}

int settledAccessLogLines(const CupsSandbox &sandbox)
{
    int lines = accessLogLines(sandbox);
    QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired()) {
        QThread::msleep(100);
        const int now = accessLogLines(sandbox);
        if (now == lines) {
            break;
        }
        lines = now;
    }
    return lines;
}

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
            if (c.prepare) {
                c.prepare();
            }
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

void printSummary(const QString &operation, const QString &size, double oursMs, double floorMs, int runs, const QString &note)
{
    const auto field = [](QString text) {
        return text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8();
    };
    const QByteArray floor = floorMs < 0 ? QByteArray("-") : QByteArray::number(floorMs, 'f', 3);
    std::printf("%s\t%s\t%s\t%.3f\t%s\t%d\t%s\n",
                SummaryTag,
                field(operation).constData(),
                field(size).constData(),
                oursMs,
                floor.constData(),
                runs,
                field(note).constData());
    std::fflush(stdout);
}
} // namespace Bench
