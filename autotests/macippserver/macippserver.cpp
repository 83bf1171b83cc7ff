// A small IPP server for the tests and scripts/demo --mac: a MAC-enabled scheduler's operations, and the
// jobs and printers a printer manager lists; on 127.0.0.1, state in memory, changed by macippcontrol.h.
// Usage: macippserver [--owner PID] [--log FILE]: prints "PORT=N" once it listens, exits when PID is
// gone; the log gets a line per request: operation and status in hex, and the user.

#include <attributes.h>
#include <cresource.h>
#include <macippactions.h>
#include "macippcontrol.h"

#include <QFile>
#include <QMap>
#include <QSet>
#include <QVariant>

#include <cups/cups.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
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
// Attributes by the core's names: an int goes out as an integer, a bool as a boolean, a name ending
// in "uri" as a URI, the rest as text.
using Values = QMap<QLatin1String, QVariant>;
using Texts = QMap<QByteArray, QByteArray>;

struct Entry {
    QLatin1String name;
    QByteArray title, value;
    int mode;
};

struct Job {
    QByteArray name, printer, user;
    QList<Entry> entries;
    QByteArray font;
    bool locked = false, marked = false;
};

struct Failure { // the answer's status and status-message
    ipp_status_t status = IPP_STATUS_OK;
    QByteArray message;
};

const char *const s_policies[] = {"default", "authenticated", "mac-strict"};
const char *const s_fonts[] = {"DejaVu Sans", "Liberation Mono", "Liberation Serif"};

const QMap<QByteArray, int> s_operationNames{
    {"get-job-info", MacIppActions::GetJobInfo}, {"set-job-attributes", MacIppActions::SetJobAttributes},
    {"mark-job", MacIppActions::MarkJob}, {"get-journal", MacIppActions::GetJournal},
    {"add-modify-printer", IPP_OP_CUPS_ADD_MODIFY_PRINTER}};

QByteArray printerUriOf(const QByteArray &name)
{
    return "ipp://localhost/printers/" + name;
}

// A group's attributes as text, but attributes-charset and -natural-language; of a name twice, the last.
Texts textsOf(ipp_t *ipp, ipp_tag_t group = IPP_TAG_OPERATION)
{
    Texts texts;
    for (ipp_attribute_t *a = ippFirstAttribute(ipp); a; a = ippNextAttribute(ipp)) {
        const QByteArray name = ippGetName(a);
        if (ippGetGroupTag(a) == group && !name.startsWith("attributes-")) {
            const bool number = ippGetValueTag(a) == IPP_TAG_INTEGER;
            texts[name] = number ? QByteArray::number(ippGetInteger(a, 0)) : ippGetString(a, 0, nullptr);
        }
    }
    return texts;
}

void addValues(ipp_t *ipp, ipp_tag_t group, const Values &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const char *name = it.key().data();
        if (it.value().type() == QVariant::Int) {
            ippAddInteger(ipp, group, IPP_TAG_INTEGER, name, it.value().toInt());
        } else if (it.value().type() == QVariant::Bool) {
            ippAddBoolean(ipp, group, name, it.value().toBool());
        } else {
            const ipp_tag_t tag = it.key().endsWith(QLatin1String("uri")) ? IPP_TAG_URI : IPP_TAG_TEXT;
            ippAddString(ipp, group, tag, name, nullptr, it.value().toByteArray().constData());
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
        m_user = textsOf(request).value(Attr::RequestingUserName.data());
        if (operation == m_authOperation) {
            const QByteArray credentials = QByteArray::fromBase64(authorization.split(' ').value(1));
            const int colon = credentials.indexOf(':');
            if (colon <= 0 || credentials.mid(colon + 1) != m_authPassword) {
                logRequest(operation, "401");
                return nullptr;
            }
            m_user = credentials.left(colon);
        }
        IppPtr response(ippNewResponse(request));
        const Failure failure = m_failures.contains(operation)
            ? Failure{IPP_STATUS_ERROR_INTERNAL, m_failures.value(operation)}
            : dispatch(operation, request, response.get());
        if (failure.status != IPP_STATUS_OK) {
            // Only the status travels with an error: drop any partial answer.
            response.reset(ippNewResponse(request));
            ippSetStatusCode(response.get(), failure.status);
            addValues(response.get(), IPP_TAG_OPERATION, {{Attr::StatusMessage, failure.message}});
        }
        logRequest(operation, QByteArray::number(int(failure.status), 16) + ' ' + m_user);
        return response;
    }

    QFile log;

    void reset()
    {
        const QList<Entry> contract{
            {Attr::MacJobMacLevelName, "Confidentiality level name", "Secret", 1},
            {Attr::MacInvNum, "Inventory number", "INV-7", 1},
            {Attr::MacOwnerPhone, "Job owner phone", "", 2},
            {Attr::MacDistribution, "Distribution list", "Office 1^Office 2^^Archive", 1},
            {Attr::MacWorkplaceId, "Workplace ID", "WS-7", 0},
        };
        const QList<Entry> memo{{Attr::MacInvNum, "Inventory number", "", 1},
                                {Attr::MacDistribution, "Distribution list", "", 2}};
        // Job 3's distribution list is the department's, kept out of the user's sight.
        QList<Entry> draft = contract;
        draft[3].mode = 0;
        m_jobs = {{1, Job{"contract.pdf", "Office", "alice", contract, "Liberation Serif"}},
                  {2, Job{"memo.txt", "Archive", "bob", memo, ""}},
                  {3, Job{"draft.ps", "Office", "alice", draft, "Liberation Serif"}}};
        const QByteArray zero = "0:0:0x0000000000000000";
        for (const QByteArray &name : {QByteArray("Office"), QByteArray("Archive")}) {
            m_printers[name] = {
                {Attr::PrinterName, name}, {Attr::PrinterUriSupported, printerUriOf(name)},
                {Attr::PrinterInfo, QByteArray("MAC test printer")}, {Attr::PrinterIsAcceptingJobs, true},
                {Attr::PrinterState, int(IPP_PSTATE_IDLE)}, {Attr::PrinterOpPolicy, QByteArray("default")},
                {Attr::MacPrinterMacMin, zero}, {Attr::MacPrinterMacMax, zero}};
        }
        m_journal.clear();
        for (int i = 1; i <= 45; ++i) {
            m_journal.append({{Attr::JobId, 100 + i}, {Attr::TimeAtCreation, 1700000000 + i * 3600},
                              {Attr::JobName, QByteArray("report-" + QByteArray::number(i))},
                              {Attr::JobOriginatingUserName, QByteArray(i % 2 ? "alice" : "bob")},
                              {Attr::JobPrinterUri, printerUriOf(i % 2 ? "Office" : "Archive")},
                              {Attr::MacInvNum, QByteArray("INV-" + QByteArray::number(100 + i))},
                              {Attr::MacJobMacLevelName, QByteArray(i % 3 ? "Public" : "Secret")},
                              {Attr::MacDistribution, QByteArray("Office 1^Archive")}});
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
        using Handler = Failure (Server::*)(ipp_t *request, ipp_t *response);
        static const QMap<int, Handler> handlers{
            {MacIppActions::GetJournal, &Server::getJournal}, {MacIppControl::Operation, &Server::control},
            {IPP_OP_CUPS_ADD_MODIFY_PRINTER, &Server::modifyPrinter}, {IPP_OP_GET_JOBS, &Server::getJobs},
            {IPP_OP_GET_PRINTER_ATTRIBUTES, &Server::getPrinters},
            {IPP_OP_CUPS_GET_PRINTERS, &Server::getPrinters}};
        const bool onJob = operation >= MacIppActions::LockJob && operation <= MacIppActions::MarkJob;
        if (const Handler handler = onJob ? &Server::jobOperation : handlers.value(operation)) {
            return (this->*handler)(request, response);
        }
        return {IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED, "No operation " + QByteArray::number(operation, 16)};
    }

    Failure jobOperation(ipp_t *request, ipp_t *response)
    {
        const int operation = ippGetOperation(request);
        const QByteArray uri = textsOf(request).value(Attr::JobUri.data());
        const int id = uri.contains("/jobs/") ? uri.mid(uri.lastIndexOf('/') + 1).toInt() : 0;
        const QByteArray name = "Job #" + QByteArray::number(id);
        if (!m_jobs.contains(id)) {
            return {IPP_STATUS_ERROR_NOT_FOUND, name + " does not exist"};
        }
        Job &job = m_jobs[id];
        if (operation == MacIppActions::GetJobInfo) {
            getJobInfo(job, response);
            return {};
        }
        const bool lock = operation == MacIppActions::LockJob;
        const bool unlock = operation == MacIppActions::UnlockJob;
        const bool mark = operation == MacIppActions::MarkJob;
        if (!lock && !unlock && !m_permissions.contains(mark ? MarkPermission : ChangePermission)) {
            return {IPP_STATUS_ERROR_FORBIDDEN, "Not allowed for " + m_user};
        }
        if (job.locked == lock) { // locking needs the job free, all else needs it locked
            const char *why = lock ? " is locked by another user" : " is not locked";
            return {IPP_STATUS_ERROR_NOT_POSSIBLE, name + why};
        }
        if (lock || unlock) {
            job.locked = lock;
            return {};
        }
        Texts changes = textsOf(request, IPP_TAG_JOB);
        changes.remove(Attr::PageRanges.data()); // the marking's, not the job's
        Job changed = job;
        if (std::count(s_fonts, s_fonts + 3, changes.value(Attr::MacMarkerFont.data()))) {
            changed.font = changes.take(Attr::MacMarkerFont.data());
        }
        for (Entry &entry : changed.entries) {
            entry.value = changes.contains(entry.name.data()) ? changes.take(entry.name.data()) : entry.value;
        }
        if (!changes.isEmpty()) {
            return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "Unknown attribute or font " + changes.firstKey()};
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
        std::vector<const ipp_t *> collections;
        for (const Entry &entry : job.entries) {
            entries.emplace_back(ippNew());
            collections.push_back(entries.back().get());
            addValues(entries.back().get(), IPP_TAG_ZERO,
                      {{Attr::MacAttributeName, entry.name}, {Attr::MacAttributeTitle, entry.title},
                       {Attr::MacAttributeValue, entry.value}, {Attr::MacAttributeMode, entry.mode}});
        }
        const char *name = Attr::MacAttributeEntry.data();
        ippAddCollections(response, IPP_TAG_JOB, name, int(collections.size()), collections.data());
        if (!job.font.isEmpty()) {
            name = Attr::MacMarkerFont.data();
            ippAddString(response, IPP_TAG_JOB, IPP_TAG_NAME, name, nullptr, job.font.constData());
        }
        name = Attr::MacMarkerFontsSupported.data();
        ippAddStrings(response, IPP_TAG_JOB, IPP_TAG_NAME, name, 3, nullptr, s_fonts);
        if (!m_permissions.isEmpty()) {
            const std::vector<int> codes(m_permissions.cbegin(), m_permissions.cend());
            name = Attr::MacUserPermissions.data();
            ippAddIntegers(response, IPP_TAG_JOB, IPP_TAG_INTEGER, name, int(codes.size()), codes.data());
        }
    }

    // What Get-Jobs and the journal tell of a job; the hidden entries only to the journal.
    static Values describe(int id, const Job &job, bool hidden)
    {
        Values values{{Attr::JobId, id}, {Attr::JobName, job.name}, {Attr::JobOriginatingUserName, job.user},
                      {Attr::JobPrinterUri, printerUriOf(job.printer)},
                      {Attr::TimeAtCreation, int(time(nullptr)) - 600 * (4 - id)}};
        for (const Entry &entry : job.entries) {
            if (hidden || entry.mode != 0) {
                values.insert(entry.name, entry.value);
            }
        }
        return values;
    }

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
        Values record = describe(id, *job, true);
        record.insert(Values{{Attr::MacJobUserName, m_user}, {Attr::MacMarkerFont, job->font},
                             {Attr::PageRanges, QByteArray(pages)}});
        m_journal.append(record);
    }

    Failure getJournal(ipp_t *request, ipp_t *response)
    {
        Texts conditions = textsOf(request);
        conditions.remove(Attr::RequestingUserName.data());
        const int first = qMax(1, conditions.take(Attr::FirstIndex.data()).toInt());
        const bool any = conditions.take(Attr::Operator.data()) == "OR";
        QList<const Values *> found;
        for (const Values &record : qAsConst(m_journal)) {
            int met = 0;
            for (auto it = conditions.cbegin(); it != conditions.cend(); ++it) {
                met += matches(record, it.key(), it.value());
            }
            if (met == conditions.size() || (any && met > 0)) {
                found.append(&record);
            }
        }
        addValues(response, IPP_TAG_OPERATION, {{Attr::MacJournalCount, found.size()}});
        for (const Values *record : found.mid(first - 1, PageSize)) {
            ippAddSeparator(response);
            addValues(response, IPP_TAG_JOB, *record);
        }
        return {};
    }

    // Any case of the attribute's text matches, but the job ID exactly; "time-at-...-range" takes "FROM-TO".
    static bool matches(const Values &record, const QByteArray &key, const QByteArray &value)
    {
        if (key.startsWith("time-at-") && key.endsWith("-range")) {
            const QList<QByteArray> bounds = value.split('-');
            const QByteArray attribute = key.left(key.lastIndexOf("-range"));
            const qint64 time = record.value(QLatin1String(attribute), -1).toLongLong();
            return bounds.size() == 2 && time >= bounds[0].toLongLong() && time <= bounds[1].toLongLong();
        }
        const QByteArray text = record.value(QLatin1String(key)).toByteArray();
        return key == Attr::JobId.data() ? text == value : text.toLower().contains(value.toLower());
    }

    // The printer a request names; empty when there is no such printer.
    QByteArray printerName(ipp_t *request) const
    {
        const QByteArray uri = textsOf(request).value(Attr::PrinterUri.data());
        const QByteArray name = QByteArray::fromPercentEncoding(uri.mid(uri.indexOf("/printers/") + 10));
        return uri.contains("/printers/") && m_printers.contains(name) ? name : QByteArray();
    }

    Failure modifyPrinter(ipp_t *request, ipp_t *)
    {
        const QByteArray name = printerName(request);
        if (name.isEmpty()) {
            return {IPP_STATUS_ERROR_NOT_FOUND, "The printer or class does not exist."};
        }
        const Texts changes = textsOf(request, IPP_TAG_PRINTER);
        Values &printer = m_printers[name];
        for (auto it = printer.begin(); it != printer.end(); ++it) {
            if (changes.contains(it.key().data())) {
                it.value() = changes.value(it.key().data());
            }
        }
        return {};
    }

    Failure getPrinters(ipp_t *request, ipp_t *response)
    {
        const QByteArray only = printerName(request);
        for (auto it = m_printers.cbegin(); it != m_printers.cend(); ++it) {
            if (only.isEmpty() || it.key() == only) {
                ippAddSeparator(response);
                addValues(response, IPP_TAG_PRINTER, it.value());
                const char *supported = Attr::PrinterOpPolicySupported.data();
                ippAddStrings(response, IPP_TAG_PRINTER, IPP_TAG_NAME, supported, 3, nullptr, s_policies);
            }
        }
        return {};
    }

    Failure getJobs(ipp_t *request, ipp_t *response)
    {
        const QByteArray printer = printerName(request); // any other URI stands for the whole server
        const QByteArray which = textsOf(request).value(Attr::WhichJobs.data());
        for (auto it = m_jobs.cbegin(); it != m_jobs.cend(); ++it) {
            const Job &job = it.value();
            const bool ofState = which == "all" || job.marked == (which == "completed");
            if (!ofState || (!printer.isEmpty() && job.printer != printer)) {
                continue;
            }
            const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(it.key());
            Values values = describe(it.key(), job, false);
            values.insert(Values{{Attr::JobUri, uri},
                                 {Attr::JobKOctets, 40 * it.key()}, {Attr::MacMarkingRequired, !job.marked},
                                 {Attr::JobState, int(job.marked ? IPP_JSTATE_COMPLETED : IPP_JSTATE_HELD)},
                                 {Attr::JobHoldUntil, QByteArray("indefinite")}});
            ippAddSeparator(response);
            addValues(response, IPP_TAG_JOB, values);
        }
        return {};
    }

    Failure control(ipp_t *request, ipp_t *)
    {
        const Texts texts = textsOf(request);
        if (texts.contains(MacIppControl::Reset)) {
            reset();
        }
        if (texts.contains(MacIppControl::FailOperation)) {
            const int failing = s_operationNames.value(texts.value(MacIppControl::FailOperation));
            m_failures.insert(failing, texts.value(MacIppControl::FailMessage));
        }
        if (texts.contains(MacIppControl::Permissions)) {
            m_permissions.clear();
            for (const QByteArray &code : texts.value(MacIppControl::Permissions).split(',')) {
                m_permissions.insert(code.toInt());
            }
            m_permissions.remove(0);
        }
        if (texts.contains(MacIppControl::AuthOperation)) {
            m_authOperation = s_operationNames.value(texts.value(MacIppControl::AuthOperation));
            m_authPassword = texts.value(MacIppControl::AuthPassword);
        }
        return {};
    }

    QMap<int, Job> m_jobs;
    QMap<QByteArray, Values> m_printers;
    QList<Values> m_journal;
    int m_nextJobId;
    QByteArray m_user;
    QMap<int, QByteArray> m_failures;
    QSet<int> m_permissions;
    int m_authOperation; // asks for m_authPassword
    QByteArray m_authPassword;
};

// Reads one request from the client and answers it; false when the connection is done.
bool serveOne(Server *server, http_t *client)
{
    char resource[1024];
    const http_state_t state = httpReadRequest(client, resource, sizeof(resource));
    if (state != HTTP_STATE_POST) {
        return state == HTTP_STATE_WAITING; // a blank line between requests
    }
    http_status_t status;
    while ((status = httpUpdate(client)) == HTTP_STATUS_CONTINUE) {
    }
    const bool expects = httpGetExpect(client) == HTTP_STATUS_CONTINUE;
    if (status != HTTP_STATUS_OK || (expects && httpWriteResponse(client, HTTP_STATUS_CONTINUE) != 0)) {
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
    http_addrlist_t *loopback = httpAddrGetList("127.0.0.1", AF_INET, "0");
    const int listener = loopback ? httpAddrListen(&loopback->addr, 0) : -1;
    socklen_t length = sizeof(loopback->addr);
    if (listener < 0 || getsockname(listener, &loopback->addr.addr, &length) < 0) {
        perror("macippserver: listen");
        return 1;
    }
    printf("PORT=%d\n", httpAddrPort(&loopback->addr));
    fflush(stdout);

    std::vector<HttpPtr> clients;
    while (owner <= 0 || kill(owner, 0) == 0) { // gone with the test or script that started it
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const HttpPtr &client : clients) {
            fds.push_back({httpGetFd(client.get()), POLLIN, 0});
        }
        poll(fds.data(), fds.size(), 500); // on a timeout or error no revents are set
        for (size_t i = fds.size() - 1; i > 0; --i) {
            if (fds[i].revents && !serveOne(&server, clients[i - 1].get())) {
                clients.erase(clients.begin() + long(i - 1));
            }
        }
        http_t *client = (fds[0].revents & POLLIN) ? httpAcceptConnection(listener, 1) : nullptr;
        if (client) {
            clients.emplace_back(client);
        }
    }
    return 0;
}
