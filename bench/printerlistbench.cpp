// Compares PrinterListModel::load() with the least any libcups client has to
// do for the same list: one CUPS-Get-Printers and copying the values out.

#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <printerlistmodel.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace CUPS;

namespace
{
constexpr int PrinterCount = 200;
constexpr int ClassCount = 10;
constexpr int MembersPerClass = 5;
constexpr int Runs = 30;
constexpr int WarmUpRuns = 3;

QString printerName(int i)
{
    // Mixed case and numbers, so the sort does real work.
    return QStringLiteral("%1_Printer%2").arg(i % 3 == 0 ? QStringLiteral("office") : QStringLiteral("Lab")).arg(i);
}

QString queueUri(const QString &kind, const QString &name)
{
    return QStringLiteral("ipp://localhost/%1/%2").arg(kind, name);
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

struct PlainAttribute {
    std::string name;
    std::vector<std::string> strings;
    std::vector<int> numbers;
};
using PlainPrinter = std::vector<PlainAttribute>;

// Connection's default: the time a request may wait for the server.
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

// The floor: the same request straight through libcups, every value copied out.
std::vector<PlainPrinter> plainLoad(http_t *http)
{
    // What the model asks for, so the floor fetches the same bytes.
    static const QList<QByteArray> attributes = [] {
        QList<QByteArray> list;
        for (const QString &name : PrinterListModel::requestedAttributes()) {
            list.append(name.toLatin1());
        }
        return list;
    }();
    std::vector<const char *> names;
    for (const QByteArray &name : attributes) {
        names.push_back(name.constData());
    }
    ipp_t *request = ippNewRequest(CUPS_GET_PRINTERS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), nullptr, cupsUser());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), int(names.size()), nullptr, names.data());
    std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http, request, "/"));

    std::vector<PlainPrinter> printers;
    bool inPrinter = false;
    for (ipp_attribute_t *attribute = ippFirstAttribute(response.get()); attribute; attribute = ippNextAttribute(response.get())) {
        const char *name = ippGetName(attribute);
        if (!name || ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
            inPrinter = false;
            continue;
        }
        if (!inPrinter) {
            printers.emplace_back();
            inPrinter = true;
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
        printers.back().push_back(std::move(plain));
    }
    return printers;
}

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

qint64 threadCpuNsecs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double medianMs(std::vector<qint64> nsecs)
{
    std::sort(nsecs.begin(), nsecs.end());
    return nsecs[nsecs.size() / 2] / 1e6;
}

// Runs the cases in turns, so a server or machine that slows down over time
// weighs on all of them alike.
void measure(std::vector<Case> &cases)
{
    QElapsedTimer timer;
    for (int i = 0; i < WarmUpRuns + Runs; ++i) {
        for (Case &c : cases) {
            const qint64 cpuBefore = threadCpuNsecs();
            timer.start();
            c.rows = c.run();
            const qint64 wall = timer.nsecsElapsed();
            const qint64 cpu = threadCpuNsecs() - cpuBefore;
            if (i >= WarmUpRuns) {
                c.wallNsecs.push_back(wall);
                c.cpuNsecs.push_back(cpu);
            }
        }
    }
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
    if (!sandbox.start()) {
        std::fprintf(stderr, "could not start the sandbox: %s\n", qPrintable(sandbox.errorString()));
        return 1;
    }
    const double startMs = timer.nsecsElapsed() / 1e6;

    timer.restart();
    for (int i = 0; i < PrinterCount; ++i) {
        if (!addPrinter(i)) {
            std::fprintf(stderr, "adding printer %d failed: %s\n", i, qPrintable(Connection::lastErrorString()));
            return 1;
        }
    }
    for (int c = 0; c < ClassCount; ++c) {
        if (!addClass(c)) {
            std::fprintf(stderr, "adding class %d failed: %s\n", c, qPrintable(Connection::lastErrorString()));
            return 1;
        }
    }
    const double setupMs = timer.nsecsElapsed() / 1e6;

    const QByteArray host = sandbox.server().section(QLatin1Char(':'), 0, 0).toLatin1();
    const int port = sandbox.server().section(QLatin1Char(':'), 1).toInt();
    const auto connectPlain = [&host, port] {
        return std::unique_ptr<http_t, HttpCloser>(httpConnect2(host.constData(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr));
    };
    const auto http = connectPlain();
    // Connection gives its socket a timeout so a silent server cannot hang a
    // request; libcups then waits in poll() before each read of a response.
    const auto httpWithTimeout = connectPlain();
    if (!http || !httpWithTimeout) {
        std::fprintf(stderr, "could not connect to %s\n", qPrintable(sandbox.server()));
        return 1;
    }
    httpSetTimeout(httpWithTimeout.get(), ConnectionTimeoutSeconds, giveUp, nullptr);

    PrinterListModel kept;
    kept.setOptions(kept.options() | PrinterListModel::ShowNotShared);
    PrinterListModel grouped;
    grouped.setOptions(grouped.options() | PrinterListModel::ShowNotShared | PrinterListModel::GroupByLocation);

    std::vector<Case> cases;
    cases.push_back({"(a) libcups floor: request + copy values", [&http] {
                         return int(plainLoad(http.get()).size());
                     }});
    cases.push_back({"(a') the same with a read timeout", [&httpWithTimeout] {
                         return int(plainLoad(httpWithTimeout.get()).size());
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
    measure(cases);

    std::printf("sandbox start: %.0f ms; %d printers + %d classes added over IPP in %.0f ms (%.1f ms each)\n",
                startMs,
                PrinterCount,
                ClassCount,
                setupMs,
                setupMs / (PrinterCount + ClassCount));
    std::printf("medians of %d runs after %d warm-up runs; cpu = this process' thread time\n\n", Runs, WarmUpRuns);
    std::printf("%-44s %5s %9s %9s %8s %8s %8s\n", "case", "rows", "wall ms", "cpu ms", "wall/a", "cpu/a", "cpu/a'");
    const double floorWall = medianMs(cases.front().wallNsecs);
    const double floorCpu = medianMs(cases.front().cpuNsecs);
    const double timeoutFloorCpu = medianMs(cases.at(1).cpuNsecs);
    for (const Case &c : cases) {
        const double wall = medianMs(c.wallNsecs);
        const double cpu = medianMs(c.cpuNsecs);
        std::printf("%-44s %5d %9.2f %9.2f %8.2f %8.2f %8.2f\n", c.name, c.rows, wall, cpu, wall / floorWall, cpu / floorCpu, cpu / timeoutFloorCpu);
    }
    return 0;
}
