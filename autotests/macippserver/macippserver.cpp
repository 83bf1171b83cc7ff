// A small IPP server for the tests and scripts/demo --mac: the MAC operations of a MAC-enabled
// scheduler (jobs locked, changed and marked, a marking journal, printers with an operation policy
// and a label range), and Get-Jobs, CUPS-Get-Printers and Get-Printer-Attributes for a printer
// manager to show. On 127.0.0.1, state in memory; macippcontrol.h's operation changes it.
// Usage: macippserver [--owner PID] [--log FILE]: prints "PORT=N" once it listens, exits when PID is
// gone; the log gets a line per request: operation and status in hex, and the user.
// Held jobs 1 ("contract.pdf", alice, Office), 2 ("memo.txt", bob, Archive) and 3 (as 1, its
// distribution list hidden); derived job IDs count from 12; 45 journal records, job IDs 101 to
// 145, 30 to a page. Journal search keys, joined by "operator", match their attribute's text in any
// case, but "job-id" matches exactly and "time-at-...-range" takes "FROM-TO".

#include <attributes.h>
#include <cresource.h>
#include <macippactions.h>
#include "macippcontrol.h"

#include <QFile>
#include <QMap>
#include <QSet>
#include <QVariant>

#include <cups/cups.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

using CUPS::MacIppActions;
namespace Attr = CUPS::Attr;

namespace
{
constexpr int PageSize = 30;
constexpr int ChangePermission = CUPS::MacJobInfo::ChangeAttributes;
constexpr int MarkPermission = CUPS::MacJobInfo::Mark;
using IppPtr = CUPS::CResource<ipp_t, ippDelete>;
using HttpPtr = CUPS::CResource<http_t, httpClose>;
// Attributes by name: an int goes out as an integer, a bool as a boolean, a name ending in "uri"
// as a URI, the rest as text.
using Values = QMap<QByteArray, QVariant>;

struct Entry {
    QByteArray name;
    QByteArray title;
    QByteArray value;
    int mode;
};

struct Job {
    QByteArray name;
    QByteArray printer;
    QByteArray user;
    QList<Entry> entries;
    QByteArray font;
    bool locked = false;
    bool marked = false;
};

// An error answer: status and status-message.
struct Failure {
    ipp_status_t status = IPP_STATUS_OK;
    QByteArray message;
};

const char *const s_policies[] = {"default", "authenticated", "mac-strict"};
const char *const s_fonts[] = {"DejaVu Sans", "Liberation Mono", "Liberation Serif"};

const QMap<QByteArray, int> s_operationNames{
    {"get-job-info", MacIppActions::GetJobInfo},
    {"set-job-attributes", MacIppActions::SetJobAttributes},
    {"mark-job", MacIppActions::MarkJob},
    {"get-journal", MacIppActions::GetJournal},
    {"add-modify-printer", IPP_OP_CUPS_ADD_MODIFY_PRINTER},
};

QByteArray printerUriOf(const QByteArray &name)
{
    return "ipp://localhost/printers/" + name;
}

QByteArray stringOf(ipp_t *ipp, const char *name, ipp_tag_t tag = IPP_TAG_ZERO)
{
    ipp_attribute_t *attribute = ippFindAttribute(ipp, name, tag);
    return attribute ? ippGetString(attribute, 0, nullptr) : "";
}

void addText(ipp_t *ipp, ipp_tag_t group, ipp_tag_t tag, const char *name, const QByteArray &value)
{
    ippAddString(ipp, group, tag, name, nullptr, value.constData());
}

void addValues(ipp_t *ipp, ipp_tag_t group, const Values &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const char *name = it.key().constData();
        if (it.value().type() == QVariant::Int) {
            ippAddInteger(ipp, group, IPP_TAG_INTEGER, name, it.value().toInt());
        } else if (it.value().type() == QVariant::Bool) {
            ippAddBoolean(ipp, group, name, it.value().toBool());
        } else {
            const ipp_tag_t tag = it.key().endsWith("uri") ? IPP_TAG_URI : IPP_TAG_TEXT;
            addText(ipp, group, tag, name, it.value().toByteArray());
        }
    }
}

class Server
{
public:
    /// The answer, or null when the request must authenticate first.
    IppPtr handle(ipp_t *request, const QByteArray &authorization)
    {
        const int operation = ippGetOperation(request);
        m_user = stringOf(request, Attr::RequestingUserName.data(), IPP_TAG_NAME);
        if (operation == m_authOperation) {
            const QByteArray credentials = QByteArray::fromBase64(authorization.mid(int(strlen("Basic "))));
            const int colon = credentials.indexOf(':');
            if (colon <= 0 || credentials.mid(colon + 1) != m_authPassword) {
                logRequest(operation, "401");
                return nullptr;
            }
            m_user = credentials.left(colon);
        }
        IppPtr response(ippNewResponse(request));
        Failure failure{IPP_STATUS_ERROR_INTERNAL, m_failures.value(operation)};
        if (!m_failures.contains(operation)) {
            failure = dispatch(operation, request, response.get());
        }
        if (failure.status != IPP_STATUS_OK) {
            // Only the status travels with an error: drop any partial answer.
            response.reset(ippNewResponse(request));
            ippSetStatusCode(response.get(), failure.status);
            const char *name = Attr::StatusMessage.data();
            addText(response.get(), IPP_TAG_OPERATION, IPP_TAG_TEXT, name, failure.message);
        }
        logRequest(operation, QByteArray::number(int(failure.status), 16) + ' ' + m_user);
        return response;
    }

    QFile log;

    void reset()
    {
        const QList<Entry> contract{
            {Attr::MacJobMacLevelName.data(), "Confidentiality level name", "Secret", 1},
            {Attr::MacInvNum.data(), "Inventory number", "INV-7", 1},
            {Attr::MacOwnerPhone.data(), "Job owner phone", "", 2},
            {Attr::MacDistribution.data(), "Distribution list", "Office 1^Office 2^^Archive", 1},
            {Attr::MacWorkplaceId.data(), "Workplace ID", "WS-7", 0},
        };
        const QList<Entry> memo{
            {Attr::MacInvNum.data(), "Inventory number", "", 1},
            {Attr::MacDistribution.data(), "Distribution list", "", 2},
        };
        // Job 3's distribution list is the department's, kept out of the user's sight.
        QList<Entry> draft = contract;
        draft[3].mode = 0;
        m_jobs = {{1, Job{"contract.pdf", "Office", "alice", contract, "Liberation Serif"}},
                  {2, Job{"memo.txt", "Archive", "bob", memo, ""}},
                  {3, Job{"draft.ps", "Office", "alice", draft, "Liberation Serif"}}};
        const QByteArray zero = "0:0:0x0000000000000000";
        const Values settings{{Attr::PrinterOpPolicy.data(), QByteArray("default")},
                              {Attr::MacPrinterMacMin.data(), zero},
                              {Attr::MacPrinterMacMax.data(), zero}};
        m_printers = {{"Office", settings}, {"Archive", settings}};
        m_journal.clear();
        for (int i = 1; i <= 45; ++i) {
            const QByteArray printer = i % 2 ? "Office" : "Archive";
            m_journal.append({{Attr::JobId.data(), 100 + i},
                              {Attr::TimeAtCreation.data(), 1700000000 + i * 3600},
                              {Attr::JobName.data(), QByteArray("report-" + QByteArray::number(i))},
                              {Attr::JobOriginatingUserName.data(), QByteArray(i % 2 ? "alice" : "bob")},
                              {Attr::JobPrinterUri.data(), printerUriOf(printer)},
                              {Attr::MacInvNum.data(), QByteArray("INV-" + QByteArray::number(100 + i))},
                              {Attr::MacJobMacLevelName.data(), QByteArray(i % 3 ? "Public" : "Secret")},
                              {Attr::MacDistribution.data(), QByteArray("Office 1^Archive")},
                              {Attr::MacJobUserName.data(), QByteArray("marker")}});
        }
        m_nextJobId = 12;
        m_failures.clear();
        m_permissions = {ChangePermission, MarkPermission};
        m_authOperation = 0;
    }

private:
    void logRequest(int operation, const QByteArray &outcome)
    {
        if (log.isOpen()) {
            log.write(QByteArray::number(operation, 16) + ' ' + outcome + '\n');
            log.flush();
        }
    }

    Failure dispatch(int operation, ipp_t *request, ipp_t *response)
    {
        if (operation >= MacIppActions::LockJob && operation <= MacIppActions::MarkJob) {
            return jobOperation(operation, request, response);
        }
        switch (operation) {
        case MacIppActions::GetJournal:
            getJournal(request, response);
            return {};
        case IPP_OP_CUPS_ADD_MODIFY_PRINTER:
            return modifyPrinter(request);
        case IPP_OP_GET_JOBS:
            getJobs(request, response);
            return {};
        case IPP_OP_GET_PRINTER_ATTRIBUTES:
        case IPP_OP_CUPS_GET_PRINTERS:
            getPrinters(printerName(request), response);
            return {};
        case MacIppControl::Operation:
            control(request);
            return {};
        default:
            return {IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED, "No operation " + QByteArray::number(operation, 16)};
        }
    }

    Failure jobOperation(int operation, ipp_t *request, ipp_t *response)
    {
        const QByteArray uri = stringOf(request, Attr::JobUri.data(), IPP_TAG_URI);
        const int id = uri.contains("/jobs/") ? uri.mid(uri.lastIndexOf('/') + 1).toInt() : 0;
        const QByteArray name = "Job #" + QByteArray::number(id);
        if (!m_jobs.contains(id)) {
            return {IPP_STATUS_ERROR_NOT_FOUND, name + " does not exist"};
        }
        Job &job = m_jobs[id];
        const bool lock = operation == MacIppActions::LockJob;
        const bool mark = operation == MacIppActions::MarkJob;
        if (operation == MacIppActions::GetJobInfo) {
            getJobInfo(job, response);
            return {};
        }
        if (lock || operation == MacIppActions::UnlockJob) {
            if (job.locked == lock) {
                const char *why = lock ? " is locked by another user" : " is not locked";
                return {IPP_STATUS_ERROR_NOT_POSSIBLE, name + why};
            }
            job.locked = lock;
            return {};
        }
        if (!m_permissions.contains(mark ? MarkPermission : ChangePermission)) {
            return {IPP_STATUS_ERROR_FORBIDDEN, "Not allowed for " + m_user};
        }
        if (!job.locked) {
            return {IPP_STATUS_ERROR_NOT_POSSIBLE, name + " is not locked"};
        }
        Job changed = job;
        for (ipp_attribute_t *a = ippFirstAttribute(request); a; a = ippNextAttribute(request)) {
            const QByteArray attribute = ippGetName(a);
            const QByteArray value = ippGetString(a, 0, nullptr);
            auto entry = std::find_if(changed.entries.begin(), changed.entries.end(), [&](const Entry &e) {
                return e.name == attribute;
            });
            if (ippGetGroupTag(a) != IPP_TAG_JOB || attribute == Attr::PageRanges.data()) {
                continue;
            } else if (attribute == Attr::MacMarkerFont.data() && std::count(s_fonts, s_fonts + 3, value)) {
                changed.font = value;
            } else if (entry != changed.entries.end()) {
                entry->value = value;
            } else {
                return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "Unknown attribute or font " + attribute};
            }
        }
        job = changed;
        if (mark) {
            markJob(id, &job, request, response);
        }
        return {};
    }

    void getJobInfo(const Job &job, ipp_t *response)
    {
        std::vector<IppPtr> entries;
        for (const Entry &entry : job.entries) {
            entries.emplace_back(ippNew());
            addValues(entries.back().get(), IPP_TAG_ZERO, {{Attr::MacAttributeName.data(), entry.name},
                                                          {Attr::MacAttributeTitle.data(), entry.title},
                                                          {Attr::MacAttributeValue.data(), entry.value},
                                                          {Attr::MacAttributeMode.data(), entry.mode}});
        }
        const char *name = Attr::MacAttributeEntry.data();
        ipp_attribute_t *list = ippAddCollection(response, IPP_TAG_JOB, name, entries[0].get());
        for (size_t i = 1; i < entries.size(); ++i) {
            ippSetCollection(response, &list, int(i), entries[i].get());
        }
        if (!job.font.isEmpty()) {
            addText(response, IPP_TAG_JOB, IPP_TAG_NAME, Attr::MacMarkerFont.data(), job.font);
        }
        name = Attr::MacMarkerFontsSupported.data();
        ippAddStrings(response, IPP_TAG_JOB, IPP_TAG_NAME, name, 3, nullptr, s_fonts);
        if (!m_permissions.isEmpty()) {
            const std::vector<int> codes(m_permissions.cbegin(), m_permissions.cend());
            name = Attr::MacUserPermissions.data();
            ippAddIntegers(response, IPP_TAG_JOB, IPP_TAG_INTEGER, name, int(codes.size()), codes.data());
        }
    }

    // Marks the job as it now is and journals it.
    void markJob(int id, Job *job, ipp_t *request, ipp_t *response)
    {
        char pages[256] = ""; // "1-5,8-8"
        if (ipp_attribute_t *ranges = ippFindAttribute(request, Attr::PageRanges.data(), IPP_TAG_RANGE)) {
            ippAttributeString(ranges, pages, sizeof(pages));
        }
        job->marked = true;
        job->locked = false;
        // The marked document and its registration sheet.
        const int derived[] = {m_nextJobId, m_nextJobId + 1};
        m_nextJobId += 2;
        ippAddIntegers(response, IPP_TAG_JOB, IPP_TAG_INTEGER, Attr::MacDerivedJobIds.data(), 2, derived);

        Values record{{Attr::JobId.data(), id},
                      {Attr::TimeAtCreation.data(), int(time(nullptr))},
                      {Attr::JobName.data(), job->name},
                      {Attr::JobOriginatingUserName.data(), job->user},
                      {Attr::JobPrinterUri.data(), printerUriOf(job->printer)},
                      {Attr::MacJobUserName.data(), m_user},
                      {Attr::MacMarkerFont.data(), job->font},
                      {Attr::PageRanges.data(), QByteArray(pages)}};
        for (const Entry &entry : qAsConst(job->entries)) {
            record.insert(entry.name, entry.value);
        }
        m_journal.append(record);
    }

    void getJournal(ipp_t *request, ipp_t *response)
    {
        int firstIndex = 1;
        bool any = false;
        QMap<QByteArray, QByteArray> conditions;
        for (ipp_attribute_t *a = ippFirstAttribute(request); a; a = ippNextAttribute(request)) {
            const QByteArray name = ippGetName(a);
            const bool number = ippGetValueTag(a) == IPP_TAG_INTEGER;
            const QByteArray value = number ? QByteArray::number(ippGetInteger(a, 0))
                                            : QByteArray(ippGetString(a, 0, nullptr));
            if (ippGetGroupTag(a) != IPP_TAG_OPERATION || name.startsWith("attributes-")
                || name == Attr::RequestingUserName.data()) {
                continue;
            } else if (name == Attr::FirstIndex.data()) {
                firstIndex = value.toInt();
            } else if (name == Attr::Operator.data()) {
                any = value == "OR";
            } else {
                conditions.insert(name, value);
            }
        }
        QList<const Values *> found;
        for (const Values &record : qAsConst(m_journal)) {
            bool matched = !any || conditions.isEmpty();
            for (auto it = conditions.cbegin(); it != conditions.cend(); ++it) {
                const bool one = matches(record, it.key(), it.value());
                matched = any ? (matched || one) : (matched && one);
            }
            if (matched) {
                found.append(&record);
            }
        }
        ippAddInteger(response, IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::MacJournalCount.data(), found.size());
        for (int i = firstIndex - 1; i < found.size() && i < firstIndex - 1 + PageSize; ++i) {
            ippAddSeparator(response);
            addValues(response, IPP_TAG_JOB, *found.at(i));
        }
    }

    static bool matches(const Values &record, const QByteArray &key, const QByteArray &value)
    {
        if (key.startsWith("time-at-") && key.endsWith("-range")) {
            const QList<QByteArray> bounds = value.split('-');
            const qint64 time = record.value(key.left(key.size() - int(strlen("-range"))), -1).toLongLong();
            return bounds.size() == 2 && time >= bounds[0].toLongLong() && time <= bounds[1].toLongLong();
        }
        if (key == Attr::JobId.data()) {
            return record.value(key).toByteArray() == value;
        }
        return record.value(key).toByteArray().toLower().contains(value.toLower());
    }

    // The printer a request names; empty when there is no such printer.
    QByteArray printerName(ipp_t *request) const
    {
        const QByteArray uri = stringOf(request, Attr::PrinterUri.data(), IPP_TAG_URI);
        const QByteArray name = QByteArray::fromPercentEncoding(uri.mid(uri.indexOf("/printers/") + 10));
        return uri.contains("/printers/") && m_printers.contains(name) ? name : QByteArray();
    }

    Failure modifyPrinter(ipp_t *request)
    {
        const QByteArray name = printerName(request);
        if (name.isEmpty()) {
            return {IPP_STATUS_ERROR_NOT_FOUND, "The printer or class does not exist."};
        }
        Values changed = m_printers.value(name);
        for (ipp_attribute_t *a = ippFirstAttribute(request); a; a = ippNextAttribute(request)) {
            const QByteArray attribute = ippGetName(a);
            const QByteArray value = ippGetString(a, 0, nullptr);
            if (ippGetGroupTag(a) != IPP_TAG_PRINTER || !changed.contains(attribute)) {
                continue;
            }
            if (attribute == Attr::PrinterOpPolicy.data() && !std::count(s_policies, s_policies + 3, value)) {
                return {IPP_STATUS_ERROR_NOT_POSSIBLE, "Bad policy \"" + value + "\""};
            }
            changed.insert(attribute, value);
        }
        m_printers.insert(name, changed);
        return {};
    }

    // The printer named, or all of them.
    void getPrinters(const QByteArray &only, ipp_t *response)
    {
        for (auto it = m_printers.cbegin(); it != m_printers.cend(); ++it) {
            if (!only.isEmpty() && it.key() != only) {
                continue;
            }
            Values printer = it.value();
            printer.insert(Attr::PrinterName.data(), it.key());
            printer.insert(Attr::PrinterUriSupported.data(), printerUriOf(it.key()));
            printer.insert(Attr::PrinterInfo.data(), QByteArray("MAC test printer"));
            printer.insert(Attr::PrinterState.data(), int(IPP_PSTATE_IDLE));
            printer.insert(Attr::PrinterType.data(), int(CUPS_PRINTER_LOCAL));
            printer.insert(Attr::PrinterIsAcceptingJobs.data(), true);
            ippAddSeparator(response);
            addValues(response, IPP_TAG_PRINTER, printer);
            const char *supported = Attr::PrinterOpPolicySupported.data();
            ippAddStrings(response, IPP_TAG_PRINTER, IPP_TAG_NAME, supported, 3, nullptr, s_policies);
        }
    }

    void getJobs(ipp_t *request, ipp_t *response)
    {
        const QByteArray printer = printerName(request); // any other URI stands for the whole server
        const QByteArray which = stringOf(request, Attr::WhichJobs.data(), IPP_TAG_KEYWORD);
        for (auto it = m_jobs.cbegin(); it != m_jobs.cend(); ++it) {
            const Job &job = it.value();
            const bool ofState = which == "all" || job.marked == (which == "completed");
            if (!ofState || (!printer.isEmpty() && job.printer != printer)) {
                continue;
            }
            const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(it.key());
            Values values{{Attr::JobId.data(), it.key()},
                          {Attr::JobUri.data(), uri},
                          {Attr::JobName.data(), job.name},
                          {Attr::JobOriginatingUserName.data(), job.user},
                          {Attr::JobPrinterUri.data(), printerUriOf(job.printer)},
                          {Attr::JobKOctets.data(), 40 * it.key()},
                          {Attr::TimeAtCreation.data(), int(time(nullptr)) - 600 * (4 - it.key())},
                          {Attr::MacMarkingRequired.data(), !job.marked},
                          {Attr::JobState.data(), int(job.marked ? IPP_JSTATE_COMPLETED : IPP_JSTATE_HELD)},
                          {Attr::JobHoldUntil.data(), QByteArray("indefinite")}};
            // Hidden mandatory attributes stay the scheduler's.
            for (const Entry &entry : job.entries) {
                if (entry.mode != 0) {
                    values.insert(entry.name, entry.value);
                }
            }
            ippAddSeparator(response);
            addValues(response, IPP_TAG_JOB, values);
        }
    }

    void control(ipp_t *request)
    {
        if (ippFindAttribute(request, MacIppControl::Reset, IPP_TAG_ZERO)) {
            reset();
        }
        const QByteArray fail = stringOf(request, MacIppControl::FailOperation);
        if (!fail.isEmpty()) {
            m_failures.insert(s_operationNames.value(fail), stringOf(request, MacIppControl::FailMessage));
        }
        if (ippFindAttribute(request, MacIppControl::Permissions, IPP_TAG_ZERO)) {
            m_permissions.clear();
            for (const QByteArray &code : stringOf(request, MacIppControl::Permissions).split(',')) {
                m_permissions.insert(code.toInt());
            }
            m_permissions.remove(0);
        }
        if (ippFindAttribute(request, MacIppControl::AuthOperation, IPP_TAG_ZERO)) {
            m_authOperation = s_operationNames.value(stringOf(request, MacIppControl::AuthOperation));
            m_authPassword = stringOf(request, MacIppControl::AuthPassword);
        }
    }

    QMap<int, Job> m_jobs;
    QMap<QByteArray, Values> m_printers;
    QList<Values> m_journal;
    int m_nextJobId;
    QByteArray m_user;
    QMap<int, QByteArray> m_failures;
    QSet<int> m_permissions;
    int m_authOperation;
    QByteArray m_authPassword;
};

// Reads one request from the client and answers it; false when the connection is done.
bool serveOne(Server *server, http_t *client)
{
    char resource[1024];
    const http_state_t state = httpReadRequest(client, resource, sizeof(resource));
    if (state == HTTP_STATE_WAITING) {
        return true; // a blank line between requests
    }
    if (state != HTTP_STATE_POST) {
        return false;
    }
    http_status_t status;
    while ((status = httpUpdate(client)) == HTTP_STATUS_CONTINUE) {
    }
    if (status != HTTP_STATUS_OK) {
        return false;
    }
    if (httpGetExpect(client) == HTTP_STATUS_CONTINUE && httpWriteResponse(client, HTTP_STATUS_CONTINUE) != 0) {
        return false;
    }
    const IppPtr request(ippNew());
    ipp_state_t ippState;
    while ((ippState = ippRead(client, request.get())) != IPP_STATE_DATA) {
        if (ippState == IPP_STATE_ERROR) {
            return false;
        }
    }
    // Whatever follows the message (a document) is not used.
    char buffer[8192];
    while (httpRead2(client, buffer, sizeof(buffer)) > 0) {
    }
    const IppPtr response = server->handle(request.get(), httpGetField(client, HTTP_FIELD_AUTHORIZATION));
    // A body of known length: without one libcups would send it chunked and never end it.
    httpClearFields(client);
    if (!response) {
        httpSetField(client, HTTP_FIELD_WWW_AUTHENTICATE, "Basic realm=\"MAC\"");
    }
    httpSetField(client, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
    httpSetLength(client, response ? ippLength(response.get()) : 0);
    if (httpWriteResponse(client, response ? HTTP_STATUS_OK : HTTP_STATUS_UNAUTHORIZED) < 0 || !response) {
        return response != nullptr;
    }
    ippSetState(response.get(), IPP_STATE_IDLE);
    return ippWrite(client, response.get()) == IPP_STATE_DATA;
}
} // namespace

int main(int argc, char **argv)
{
    signal(SIGPIPE, SIG_IGN);
    Server server;
    server.reset();
    pid_t owner = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--owner") == 0) {
            owner = pid_t(atoi(argv[i + 1]));
        } else if (qstrcmp(argv[i], "--log") == 0) {
            server.log.setFileName(QString::fromLocal8Bit(argv[i + 1]));
            server.log.open(QIODevice::Append);
        }
    }
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), length) < 0 || listen(listener, 16) < 0
        || getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) < 0) {
        perror("macippserver: listen");
        return 1;
    }
    printf("PORT=%d\n", ntohs(address.sin_port));
    fflush(stdout);

    std::vector<HttpPtr> clients;
    while (owner <= 0 || kill(owner, 0) == 0) { // gone with the test or script that started it
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const HttpPtr &client : clients) {
            fds.push_back({httpGetFd(client.get()), POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), 500) <= 0) {
            continue;
        }
        std::vector<HttpPtr> open;
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents || serveOne(&server, clients[i - 1].get())) {
                open.push_back(std::move(clients[i - 1]));
            }
        }
        clients = std::move(open);
        if (fds[0].revents & POLLIN) {
            if (http_t *client = httpAcceptConnection(listener, 1)) {
                clients.emplace_back(client);
            }
        }
    }
    return 0;
}
