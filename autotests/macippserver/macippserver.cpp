// A small IPP server for the tests and scripts/demo --mac: the MAC operations
// of a MAC-enabled scheduler (jobs locked, changed and marked, a marking
// journal, printers with an operation policy and label range), plus Get-Jobs,
// CUPS-Get-Printers and Get-Printer-Attributes so that a printer manager can
// be pointed at it. Listens on 127.0.0.1 only, one request at a time, state in
// memory; the control operation of macippcontrol.h changes it at run time.
//
// Usage: macippserver [--port N] [--owner PID] [--log FILE] [--fail OP[:MESSAGE]]...
//                     [--permissions CODES|none]
//   Prints "PORT=N" once it listens; exits when process --owner is gone; --log
//   appends a line per request: operation and status in hex, and the user.
//
// Starting state: held jobs 1 ("contract.pdf", alice, Office), 2 ("memo.txt",
// bob, Archive) and 3 ("draft.ps", alice, Office, its distribution list
// hidden); derived job IDs count from 12; printers Office and Archive with
// policy "default"; 45 journal records, job IDs 101 to 145, 30 to a page.
// A journal search by "job-id" ignores every other key; "time-at-...-range"
// takes "FROM-TO"; other keys match their attribute's text case-insensitively,
// joined by "operator" (AND, the default, or OR).

#include <attributes.h>
#include <macippactions.h>
#include "macippcontrol.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>

#include <cups/cups.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <memory>
#include <vector>

using CUPS::MacIppActions;
namespace Attr = CUPS::Attr;

namespace
{
constexpr int PageSize = 30;
constexpr int FirstDerivedJobId = 12;
constexpr int ChangePermission = CUPS::MacJobInfo::ChangeAttributes;
constexpr int MarkPermission = CUPS::MacJobInfo::Mark;

struct IppDeleter {
    void operator()(ipp_t *ipp) const
    {
        ippDelete(ipp);
    }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

struct HttpDeleter {
    void operator()(http_t *http) const
    {
        httpClose(http);
    }
};
using HttpPtr = std::unique_ptr<http_t, HttpDeleter>;

struct Entry {
    QByteArray name;
    QByteArray title;
    QByteArray value;
    int mode = 1;
};

struct Job {
    int id = 0;
    QByteArray name;
    QByteArray printer;
    QByteArray user;
    QList<Entry> entries;
    QByteArray font;
    int kOctets = 0;
    int created = 0;
    int completed = 0; // when it was marked
    bool locked = false;
    bool marked = false;
};

struct Printer {
    QByteArray policy = "default";
    QByteArray macMin = "0:0:0x0000000000000000";
    QByteArray macMax = "0:0:0x0000000000000000";
};

// Integers (job-id, time-at-...) and texts of one journal record.
struct Record {
    QMap<QByteArray, int> numbers;
    QMap<QByteArray, QByteArray> texts;
};

// An error answer: status and status-message.
struct Failure {
    ipp_status_t status = IPP_STATUS_OK;
    QByteArray message;
    explicit operator bool() const
    {
        return status != IPP_STATUS_OK;
    }
};

const QList<QByteArray> s_policies{"default", "authenticated", "mac-strict"};
const char *const s_fonts[] = {"DejaVu Sans", "Liberation Mono", "Liberation Serif"};

const QMap<QByteArray, int> s_operationNames{
    {"lock-job", MacIppActions::LockJob},
    {"unlock-job", MacIppActions::UnlockJob},
    {"get-job-info", MacIppActions::GetJobInfo},
    {"set-job-attributes", MacIppActions::SetJobAttributes},
    {"mark-job", MacIppActions::MarkJob},
    {"get-journal", MacIppActions::GetJournal},
    {"add-modify-printer", IPP_OP_CUPS_ADD_MODIFY_PRINTER},
    {"get-printer-attributes", IPP_OP_GET_PRINTER_ATTRIBUTES},
};

QByteArray printerUriOf(const QByteArray &name)
{
    return "ipp://localhost/printers/" + name;
}

class Server
{
public:
    Server()
    {
        reset();
    }

    void reset()
    {
        const int now = int(time(nullptr));
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
            {Attr::MacOwnerPhone.data(), "Job owner phone", "555-0100", 2},
        };
        // Job 3's distribution list is the department's, kept out of the user's sight.
        QList<Entry> draft = contract;
        draft[3].mode = 0;
        m_jobs = {{1, Job{1, "contract.pdf", "Office", "alice", contract, "Liberation Serif", 120, now - 30 * 60}},
                  {2, Job{2, "memo.txt", "Archive", "bob", memo, "", 4, now - 20 * 60}},
                  {3, Job{3, "draft.ps", "Office", "alice", draft, "Liberation Serif", 96, now - 10 * 60}}};

        m_printers = {{"Office", Printer()}, {"Archive", Printer()}};

        m_journal.clear();
        for (int i = 1; i <= 45; ++i) {
            Record record;
            const int created = 1700000000 + i * 3600;
            record.numbers = {{Attr::JobId.data(), 100 + i},
                              {Attr::TimeAtCreation.data(), created},
                              {Attr::TimeAtProcessing.data(), created + 60},
                              {Attr::TimeAtCompleted.data(), created + 120}};
            record.texts = {{Attr::JobName.data(), "report-" + QByteArray::number(i)},
                            {Attr::JobOriginatingUserName.data(), i % 2 ? "alice" : "bob"},
                            {Attr::JobPrinterUri.data(), printerUriOf(i % 2 ? "Office" : "Archive")},
                            {Attr::MacInvNum.data(), "INV-" + QByteArray::number(100 + i)},
                            {Attr::MacJobMacLevelName.data(), i % 3 ? "Public" : "Secret"},
                            {Attr::MacDistribution.data(), "Office 1^Archive"},
                            {Attr::MacJobUserName.data(), "marker"}};
            m_journal.append(record);
        }
        m_nextJobId = FirstDerivedJobId;
        m_lastJournalRequest.clear();
        failures.clear();
        permissions = {ChangePermission, MarkPermission};
        authOperation = 0;
        authPassword.clear();
    }

    /// The answer, or null when the request must authenticate first.
    IppPtr handle(ipp_t *request, const QByteArray &authorization)
    {
        const int operation = ippGetOperation(request);
        QByteArray authenticatedUser;
        if (operation == authOperation) {
            const QByteArray credentials = authorization.startsWith("Basic ") ? QByteArray::fromBase64(authorization.mid(6)) : QByteArray();
            const int colon = credentials.indexOf(':');
            if (colon <= 0 || credentials.mid(colon + 1) != authPassword) {
                if (log.isOpen()) {
                    log.write(QByteArray::number(operation, 16) + " 401\n");
                    log.flush();
                }
                return nullptr;
            }
            authenticatedUser = credentials.left(colon);
        }
        IppPtr response(ippNewResponse(request));
        ipp_attribute_t *user = ippFindAttribute(request, Attr::RequestingUserName.data(), IPP_TAG_NAME);
        m_lastUser = m_user;
        m_user = !authenticatedUser.isEmpty() ? authenticatedUser : user ? ippGetString(user, 0, nullptr) : "anonymous";
        Failure failure;
        if (failures.contains(operation)) {
            failure = {IPP_STATUS_ERROR_INTERNAL, failures.value(operation)};
        } else {
            failure = dispatch(request, response.get());
        }
        if (failure) {
            // Only the status travels with an error: drop any partial answer.
            response.reset(ippNewResponse(request));
            ippSetStatusCode(response.get(), failure.status);
            ippAddString(response.get(), IPP_TAG_OPERATION, IPP_TAG_TEXT, Attr::StatusMessage.data(), nullptr, failure.message.constData());
        }
        if (log.isOpen()) {
            log.write(QByteArray::number(operation, 16) + ' ' + QByteArray::number(int(failure.status), 16) + ' ' + m_user + '\n');
            log.flush();
        }
        return response;
    }

    QMap<int, QByteArray> failures;
    QSet<int> permissions{ChangePermission, MarkPermission};
    int authOperation = 0;
    QByteArray authPassword;
    QFile log;

private:
    Failure dispatch(ipp_t *request, ipp_t *response)
    {
        const int operation = ippGetOperation(request);
        Failure failure;
        switch (operation) {
        case MacIppActions::LockJob:
        case MacIppActions::UnlockJob:
        case MacIppActions::GetJobInfo:
        case MacIppActions::SetJobAttributes:
        case MacIppActions::MarkJob: {
            Job *job = findJob(request, &failure);
            if (!job) {
                return failure;
            }
            if (operation == MacIppActions::LockJob || operation == MacIppActions::UnlockJob) {
                return lockJob(job, operation == MacIppActions::LockJob);
            }
            if (operation == MacIppActions::GetJobInfo) {
                return getJobInfo(*job, response);
            }
            if (operation == MacIppActions::SetJobAttributes) {
                if (!permissions.contains(ChangePermission)) {
                    return {IPP_STATUS_ERROR_FORBIDDEN, "Changing mandatory attributes is not allowed for " + m_user};
                }
                if (!job->locked) {
                    return {IPP_STATUS_ERROR_NOT_POSSIBLE, "Job #" + QByteArray::number(job->id) + " is not locked"};
                }
                return applyAttributes(job, request);
            }
            return markJob(job, request, response);
        }
        case MacIppActions::GetJournal:
            return getJournal(request, response);
        case IPP_OP_CUPS_ADD_MODIFY_PRINTER:
            return modifyPrinter(request);
        case IPP_OP_GET_JOBS:
            return getJobs(request, response);
        case IPP_OP_GET_PRINTER_ATTRIBUTES:
            return getPrinterAttributes(request, response);
        case IPP_OP_CUPS_GET_PRINTERS:
            return getPrinters(response);
        case MacIppControl::Operation:
            return control(request, response);
        default:
            return {IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED, "Operation 0x" + QByteArray::number(operation, 16) + " is not supported"};
        }
    }

    Failure lockJob(Job *job, bool lock)
    {
        const QByteArray name = "Job #" + QByteArray::number(job->id);
        if (job->marked) {
            return {IPP_STATUS_ERROR_NOT_POSSIBLE, name + " is already marked"};
        }
        if (lock && job->locked) {
            return {IPP_STATUS_ERROR_NOT_POSSIBLE, name + " is locked by another user"};
        }
        if (!lock && !job->locked) {
            return {IPP_STATUS_ERROR_NOT_POSSIBLE, name + " is not locked"};
        }
        job->locked = lock;
        return {};
    }

    Failure getJobInfo(const Job &job, ipp_t *response)
    {
        std::vector<IppPtr> entries;
        for (const Entry &entry : job.entries) {
            IppPtr member(ippNew());
            ippAddString(member.get(), IPP_TAG_ZERO, IPP_TAG_NAME, Attr::MacAttributeName.data(), nullptr, entry.name.constData());
            ippAddString(member.get(), IPP_TAG_ZERO, IPP_TAG_TEXT, Attr::MacAttributeTitle.data(), nullptr, entry.title.constData());
            ippAddString(member.get(), IPP_TAG_ZERO, IPP_TAG_TEXT, Attr::MacAttributeValue.data(), nullptr, entry.value.constData());
            ippAddInteger(member.get(), IPP_TAG_ZERO, IPP_TAG_INTEGER, Attr::MacAttributeMode.data(), entry.mode);
            entries.push_back(std::move(member));
        }
        ippAddSeparator(response);
        ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, Attr::JobId.data(), job.id);
        if (!entries.empty()) {
            ipp_attribute_t *attribute = ippAddCollection(response, IPP_TAG_JOB, Attr::MacAttributeEntry.data(), entries.front().get());
            for (size_t i = 1; i < entries.size(); ++i) {
                ippSetCollection(response, &attribute, int(i), entries[i].get());
            }
        }
        if (!job.font.isEmpty()) {
            ippAddString(response, IPP_TAG_JOB, IPP_TAG_NAME, Attr::MacMarkerFont.data(), nullptr, job.font.constData());
        }
        ippAddStrings(response, IPP_TAG_JOB, IPP_TAG_NAME, Attr::MacMarkerFontsSupported.data(), 3, nullptr, s_fonts);
        if (!permissions.isEmpty()) {
            std::vector<int> codes(permissions.cbegin(), permissions.cend());
            ippAddIntegers(response, IPP_TAG_JOB, IPP_TAG_INTEGER, Attr::MacUserPermissions.data(), int(codes.size()), codes.data());
        }
        return {};
    }

    Failure applyAttributes(Job *job, ipp_t *request)
    {
        Job changed = *job;
        for (ipp_attribute_t *attribute = ippFirstAttribute(request); attribute; attribute = ippNextAttribute(request)) {
            const char *name = ippGetName(attribute);
            if (!name || ippGetGroupTag(attribute) != IPP_TAG_JOB || Attr::PageRanges == QLatin1String(name)) {
                continue;
            }
            const QByteArray value = ippGetString(attribute, 0, nullptr);
            if (Attr::MacMarkerFont == QLatin1String(name)) {
                if (std::find(std::begin(s_fonts), std::end(s_fonts), value) == std::end(s_fonts)) {
                    return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "Unknown font \"" + value + "\""};
                }
                changed.font = value;
                continue;
            }
            auto entry = std::find_if(changed.entries.begin(), changed.entries.end(), [name](const Entry &e) {
                return e.name == name;
            });
            if (entry == changed.entries.end()) {
                return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, QByteArray("Unknown attribute \"") + name + "\""};
            }
            entry->value = value;
        }
        *job = changed;
        return {};
    }

    Failure markJob(Job *job, ipp_t *request, ipp_t *response)
    {
        if (!permissions.contains(MarkPermission)) {
            return {IPP_STATUS_ERROR_FORBIDDEN, "Marking is not allowed for " + m_user};
        }
        if (!job->locked) {
            return {IPP_STATUS_ERROR_NOT_POSSIBLE, "Job #" + QByteArray::number(job->id) + " is not locked"};
        }
        Job marked = *job;
        if (Failure failure = applyAttributes(&marked, request)) {
            return failure;
        }
        for (const Entry &entry : qAsConst(marked.entries)) {
            if (entry.mode != 0 && entry.mode != 2 && entry.value.isEmpty()) {
                return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "\"" + entry.title + "\" is required"};
            }
        }
        QByteArray pages;
        if (ipp_attribute_t *ranges = ippFindAttribute(request, Attr::PageRanges.data(), IPP_TAG_RANGE)) {
            for (int i = 0; i < ippGetCount(ranges); ++i) {
                int upper = 0;
                const int lower = ippGetRange(ranges, i, &upper);
                if (lower < 1 || upper < lower) {
                    return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "Bad page range " + QByteArray::number(lower) + "-" + QByteArray::number(upper)};
                }
                pages += (pages.isEmpty() ? "" : ",") + QByteArray::number(lower) + "-" + QByteArray::number(upper);
            }
        }
        marked.marked = true;
        marked.locked = false;
        marked.completed = int(time(nullptr));
        *job = marked;

        // The marked document and its registration sheet.
        const int derived[] = {m_nextJobId, m_nextJobId + 1};
        m_nextJobId += 2;
        ippAddIntegers(response, IPP_TAG_JOB, IPP_TAG_INTEGER, Attr::MacDerivedJobIds.data(), 2, derived);

        Record record;
        const int now = job->completed;
        record.numbers = {{Attr::JobId.data(), job->id}, {Attr::TimeAtCreation.data(), now}, {Attr::TimeAtProcessing.data(), now}, {Attr::TimeAtCompleted.data(), now}};
        record.texts = {{Attr::JobName.data(), job->name},
                        {Attr::JobOriginatingUserName.data(), job->user},
                        {Attr::JobPrinterUri.data(), printerUriOf(job->printer)},
                        {Attr::MacJobUserName.data(), m_user},
                        {Attr::MacMarkerFont.data(), job->font},
                        {Attr::PageRanges.data(), pages}};
        for (const Entry &entry : qAsConst(job->entries)) {
            record.texts.insert(entry.name, entry.value);
        }
        m_journal.append(record);
        return {};
    }

    Failure getJournal(ipp_t *request, ipp_t *response)
    {
        int firstIndex = 1;
        int jobId = 0;
        bool any = false;
        QList<QPair<QByteArray, QByteArray>> conditions;
        QList<QPair<QByteArray, QByteArray>> timeRanges;
        m_lastJournalRequest.clear();
        for (ipp_attribute_t *attribute = ippFirstAttribute(request); attribute; attribute = ippNextAttribute(request)) {
            const QByteArray name = ippGetName(attribute);
            if (ippGetGroupTag(attribute) != IPP_TAG_OPERATION || name.startsWith("attributes-") || name == Attr::RequestingUserName.data()) {
                continue;
            }
            const bool number = ippGetValueTag(attribute) == IPP_TAG_INTEGER;
            m_lastJournalRequest.append(name + '=' + (number ? QByteArray::number(ippGetInteger(attribute, 0)) : QByteArray(ippGetString(attribute, 0, nullptr))));
            if (name == Attr::FirstIndex.data()) {
                firstIndex = ippGetInteger(attribute, 0);
            } else if (name == Attr::JobId.data()) {
                jobId = ippGetInteger(attribute, 0);
            } else if (name == Attr::Operator.data()) {
                const QByteArray op = ippGetString(attribute, 0, nullptr);
                if (op != "AND" && op != "OR") {
                    return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "Unknown operator \"" + op + "\""};
                }
                any = op == "OR";
            } else if (name.startsWith("time-at-")) {
                timeRanges.append({name, ippGetString(attribute, 0, nullptr)});
            } else {
                conditions.append({name, ippGetString(attribute, 0, nullptr)});
            }
        }
        if (firstIndex < 1) {
            return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "first-index must be 1 or more"};
        }
        QList<const Record *> found;
        for (const Record &record : qAsConst(m_journal)) {
            bool keep = true;
            if (jobId > 0) {
                keep = record.numbers.value(Attr::JobId.data()) == jobId;
            } else {
                for (const auto &range : qAsConst(timeRanges)) {
                    keep = keep && matches(record, range.first, range.second);
                }
                if (!conditions.isEmpty()) {
                    bool matched = !any;
                    for (const auto &condition : qAsConst(conditions)) {
                        const bool one = matches(record, condition.first, condition.second);
                        matched = any ? (matched || one) : (matched && one);
                    }
                    keep = keep && matched;
                }
            }
            if (keep) {
                found.append(&record);
            }
        }
        ippAddInteger(response, IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::MacJournalCount.data(), found.size());
        for (int i = firstIndex - 1; i < found.size() && i < firstIndex - 1 + PageSize; ++i) {
            addRecord(response, *found.at(i));
        }
        return {};
    }

    Failure modifyPrinter(ipp_t *request)
    {
        Failure failure;
        const QByteArray name = printerName(request, &failure);
        if (failure) {
            return failure;
        }
        Printer changed = m_printers.value(name);
        for (ipp_attribute_t *attribute = ippFirstAttribute(request); attribute; attribute = ippNextAttribute(request)) {
            const char *attributeName = ippGetName(attribute);
            if (!attributeName || ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
                continue;
            }
            const QByteArray value = ippGetString(attribute, 0, nullptr);
            if (Attr::PrinterOpPolicy == QLatin1String(attributeName)) {
                if (!s_policies.contains(value)) {
                    return {IPP_STATUS_ERROR_NOT_POSSIBLE, "Bad policy \"" + value + "\""};
                }
                changed.policy = value;
            } else if (Attr::MacPrinterMacMin == QLatin1String(attributeName)) {
                changed.macMin = value;
            } else if (Attr::MacPrinterMacMax == QLatin1String(attributeName)) {
                changed.macMax = value;
            }
        }
        m_printers.insert(name, changed);
        return {};
    }

    Failure getPrinterAttributes(ipp_t *request, ipp_t *response)
    {
        Failure failure;
        const QByteArray name = printerName(request, &failure);
        if (failure) {
            return failure;
        }
        addPrinter(response, name, m_printers.value(name));
        return {};
    }

    Failure getPrinters(ipp_t *response)
    {
        for (auto it = m_printers.cbegin(); it != m_printers.cend(); ++it) {
            addPrinter(response, it.key(), it.value());
        }
        return {};
    }

    Failure control(ipp_t *request, ipp_t *response)
    {
        ipp_attribute_t *attribute = ippFindAttribute(request, MacIppControl::Reset, IPP_TAG_BOOLEAN);
        if (attribute && ippGetBoolean(attribute, 0)) {
            reset();
        }
        if ((attribute = ippFindAttribute(request, MacIppControl::FailOperation, IPP_TAG_KEYWORD))) {
            const QByteArray name = ippGetString(attribute, 0, nullptr);
            if (!s_operationNames.contains(name)) {
                return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "Unknown operation \"" + name + "\""};
            }
            ipp_attribute_t *message = ippFindAttribute(request, MacIppControl::FailMessage, IPP_TAG_TEXT);
            failures.insert(s_operationNames.value(name), message ? QByteArray(ippGetString(message, 0, nullptr)) : QByteArray("Simulated failure of " + name));
        }
        attribute = ippFindAttribute(request, MacIppControl::ClearFailures, IPP_TAG_BOOLEAN);
        if (attribute && ippGetBoolean(attribute, 0)) {
            failures.clear();
        }
        if ((attribute = ippFindAttribute(request, MacIppControl::Permissions, IPP_TAG_ZERO))) {
            permissions.clear();
            if (ippGetValueTag(attribute) == IPP_TAG_INTEGER) {
                for (int i = 0; i < ippGetCount(attribute); ++i) {
                    permissions.insert(ippGetInteger(attribute, i));
                }
            }
        }
        if ((attribute = ippFindAttribute(request, MacIppControl::AuthOperation, IPP_TAG_KEYWORD))) {
            const QByteArray name = ippGetString(attribute, 0, nullptr);
            ipp_attribute_t *password = ippFindAttribute(request, MacIppControl::AuthPassword, IPP_TAG_TEXT);
            authOperation = s_operationNames.value(name, 0);
            authPassword = password ? ippGetString(password, 0, nullptr) : "";
        }
        if ((attribute = ippFindAttribute(request, MacIppControl::PolicyPrinter, IPP_TAG_NAME))) {
            ipp_attribute_t *policy = ippFindAttribute(request, MacIppControl::Policy, IPP_TAG_NAME);
            const QByteArray name = ippGetString(attribute, 0, nullptr);
            if (!m_printers.contains(name) || !policy) {
                return {IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "Unknown printer \"" + name + "\" or no policy"};
            }
            m_printers[name].policy = ippGetString(policy, 0, nullptr);
        }
        ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_NAME, MacIppControl::LastUser, nullptr, m_lastUser.constData());
        if (!m_lastJournalRequest.isEmpty()) {
            std::vector<const char *> keys;
            for (const QByteArray &key : qAsConst(m_lastJournalRequest)) {
                keys.push_back(key.constData());
            }
            ippAddStrings(response, IPP_TAG_OPERATION, IPP_TAG_TEXT, MacIppControl::LastJournalRequest, int(keys.size()), nullptr, keys.data());
        }
        return {};
    }

    Job *findJob(ipp_t *request, Failure *failure)
    {
        ipp_attribute_t *uri = ippFindAttribute(request, Attr::JobUri.data(), IPP_TAG_URI);
        const QByteArray text = uri ? ippGetString(uri, 0, nullptr) : "";
        const int slash = text.lastIndexOf('/');
        bool ok = false;
        const int id = slash >= 0 && text.contains("/jobs/") ? text.mid(slash + 1).toInt(&ok) : 0;
        if (!ok) {
            *failure = {IPP_STATUS_ERROR_BAD_REQUEST, "Missing or bad job-uri \"" + text + "\""};
            return nullptr;
        }
        auto it = m_jobs.find(id);
        if (it == m_jobs.end()) {
            *failure = {IPP_STATUS_ERROR_NOT_FOUND, "Job #" + QByteArray::number(id) + " does not exist"};
            return nullptr;
        }
        return &it.value();
    }

    QByteArray printerName(ipp_t *request, Failure *failure)
    {
        ipp_attribute_t *uri = ippFindAttribute(request, Attr::PrinterUri.data(), IPP_TAG_URI);
        const QByteArray text = uri ? ippGetString(uri, 0, nullptr) : "";
        const int at = text.indexOf("/printers/");
        const QByteArray name = at >= 0 ? QByteArray::fromPercentEncoding(text.mid(at + int(strlen("/printers/")))) : QByteArray();
        if (!m_printers.contains(name)) {
            *failure = {IPP_STATUS_ERROR_NOT_FOUND, "The printer or class does not exist."};
            return {};
        }
        return name;
    }

    static bool matches(const Record &record, const QByteArray &key, const QByteArray &value)
    {
        if (key.startsWith("time-at-") && key.endsWith("-range")) {
            const QList<QByteArray> bounds = value.split('-');
            const QByteArray attribute = key.left(key.size() - int(strlen("-range")));
            const int time = record.numbers.value(attribute, -1);
            return bounds.size() == 2 && time >= bounds[0].toLongLong() && time <= bounds[1].toLongLong();
        }
        if (record.numbers.contains(key)) {
            return QByteArray::number(record.numbers.value(key)) == value;
        }
        return record.texts.value(key).toLower().contains(value.toLower());
    }

    static void addRecord(ipp_t *response, const Record &record)
    {
        ippAddSeparator(response);
        for (auto it = record.numbers.cbegin(); it != record.numbers.cend(); ++it) {
            ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, it.key().constData(), it.value());
        }
        for (auto it = record.texts.cbegin(); it != record.texts.cend(); ++it) {
            const ipp_tag_t tag = it.key() == Attr::JobPrinterUri.data() ? IPP_TAG_URI : IPP_TAG_TEXT;
            ippAddString(response, IPP_TAG_JOB, tag, it.key().constData(), nullptr, it.value().constData());
        }
    }

    Failure getJobs(ipp_t *request, ipp_t *response)
    {
        Failure failure;
        ipp_attribute_t *uri = ippFindAttribute(request, Attr::PrinterUri.data(), IPP_TAG_URI);
        // Any URI but a printer's stands for the whole server.
        const bool onePrinter = uri && strstr(ippGetString(uri, 0, nullptr), "/printers/");
        const QByteArray printer = onePrinter ? printerName(request, &failure) : QByteArray();
        if (failure) {
            return failure;
        }
        ipp_attribute_t *which = ippFindAttribute(request, Attr::WhichJobs.data(), IPP_TAG_KEYWORD);
        const QByteArray whichJobs = which ? ippGetString(which, 0, nullptr) : "not-completed";
        ipp_attribute_t *mine = ippFindAttribute(request, Attr::MyJobs.data(), IPP_TAG_BOOLEAN);
        const bool myJobs = mine && ippGetBoolean(mine, 0);
        for (const Job &job : qAsConst(m_jobs)) {
            const bool ofState = whichJobs == "all" || job.marked == (whichJobs == "completed");
            if (ofState && (!onePrinter || job.printer == printer) && (!myJobs || job.user == m_user)) {
                addJob(response, job);
            }
        }
        return {};
    }

    static void addJob(ipp_t *response, const Job &job)
    {
        const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(job.id);
        ippAddSeparator(response);
        ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, Attr::JobId.data(), job.id);
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_URI, Attr::JobUri.data(), nullptr, uri.constData());
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_NAME, Attr::JobName.data(), nullptr, job.name.constData());
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_NAME, Attr::JobOriginatingUserName.data(), nullptr, job.user.constData());
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_URI, Attr::JobPrinterUri.data(), nullptr, printerUriOf(job.printer).constData());
        ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, Attr::JobKOctets.data(), job.kOctets);
        ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, Attr::TimeAtCreation.data(), job.created);
        ippAddBoolean(response, IPP_TAG_JOB, Attr::MacMarkingRequired.data(), !job.marked);
        ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, Attr::JobState.data(), job.marked ? IPP_JSTATE_COMPLETED : IPP_JSTATE_HELD);
        const char *reason = job.marked ? "job-completed-successfully" : "job-hold-until-specified";
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, Attr::JobStateReasons.data(), nullptr, reason);
        if (job.marked) {
            ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, Attr::TimeAtCompleted.data(), job.completed);
        } else {
            ippAddString(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, Attr::JobHoldUntil.data(), nullptr, "indefinite");
        }
        // Hidden mandatory attributes stay the scheduler's.
        for (const Entry &entry : job.entries) {
            if (entry.mode != 0) {
                ippAddString(response, IPP_TAG_JOB, IPP_TAG_TEXT, entry.name.constData(), nullptr, entry.value.constData());
            }
        }
    }

    static void addPrinter(ipp_t *response, const QByteArray &name, const Printer &printer)
    {
        ippAddSeparator(response);
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_NAME, Attr::PrinterName.data(), nullptr, name.constData());
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_URI, Attr::PrinterUriSupported.data(), nullptr, printerUriOf(name).constData());
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, Attr::PrinterInfo.data(), nullptr, "MAC test printer");
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, Attr::PrinterLocation.data(), nullptr, "MAC test server");
        ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_ENUM, Attr::PrinterState.data(), IPP_PSTATE_IDLE);
        ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_ENUM, Attr::PrinterType.data(), CUPS_PRINTER_LOCAL);
        ippAddBoolean(response, IPP_TAG_PRINTER, Attr::PrinterIsAcceptingJobs.data(), 1);
        ippAddBoolean(response, IPP_TAG_PRINTER, Attr::PrinterIsShared.data(), 1);
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_NAME, Attr::PrinterOpPolicy.data(), nullptr, printer.policy.constData());
        const char *policies[] = {s_policies[0].constData(), s_policies[1].constData(), s_policies[2].constData()};
        ippAddStrings(response, IPP_TAG_PRINTER, IPP_TAG_NAME, Attr::PrinterOpPolicySupported.data(), 3, nullptr, policies);
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, Attr::MacPrinterMacMin.data(), nullptr, printer.macMin.constData());
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, Attr::MacPrinterMacMax.data(), nullptr, printer.macMax.constData());
    }
    QMap<int, Job> m_jobs;
    QMap<QByteArray, Printer> m_printers;
    QList<Record> m_journal;
    int m_nextJobId = FirstDerivedJobId;
    QByteArray m_user;
    QByteArray m_lastUser;
    QList<QByteArray> m_lastJournalRequest;
};

// Reads one request from the client and answers it; false when the connection is done.
bool serveOne(Server *server, http_t *client)
{
    char resource[1024];
    const http_state_t state = httpReadRequest(client, resource, sizeof(resource));
    if (state == HTTP_STATE_WAITING) {
        return true; // a blank line between requests
    }
    if (state == HTTP_STATE_ERROR) {
        return false;
    }
    http_status_t status;
    while ((status = httpUpdate(client)) == HTTP_STATUS_CONTINUE) {
    }
    if (status != HTTP_STATUS_OK) {
        return false;
    }
    // Every answer but 100 carries a body: without a length libcups would send it chunked and never end it.
    auto respond = [client](http_status_t code, ipp_t *ipp) {
        if (code == HTTP_STATUS_CONTINUE) {
            return httpWriteResponse(client, HTTP_STATUS_CONTINUE) == 0;
        }
        const QByteArray text = QByteArray::number(int(code)) + " - " + httpStatus(code) + "\n";
        httpClearFields(client);
        if (code == HTTP_STATUS_UNAUTHORIZED) {
            httpSetField(client, HTTP_FIELD_WWW_AUTHENTICATE, "Basic realm=\"MAC\"");
        }
        httpSetField(client, HTTP_FIELD_CONTENT_TYPE, ipp ? "application/ipp" : "text/plain");
        httpSetLength(client, ipp ? ippLength(ipp) : size_t(text.size()));
        if (httpWriteResponse(client, code) < 0) {
            return false;
        }
        if (ipp) {
            ippSetState(ipp, IPP_STATE_IDLE);
            return ippWrite(client, ipp) == IPP_STATE_DATA;
        }
        return httpWrite2(client, text.constData(), size_t(text.size())) == ssize_t(text.size());
    };
    if (state != HTTP_STATE_POST) {
        httpFlush(client);
        return respond(HTTP_STATUS_METHOD_NOT_ALLOWED, nullptr);
    }
    if (httpGetExpect(client) == HTTP_STATUS_CONTINUE && !respond(HTTP_STATUS_CONTINUE, nullptr)) {
        return false;
    }
    IppPtr request(ippNew());
    ipp_state_t ippState;
    while ((ippState = ippRead(client, request.get())) != IPP_STATE_DATA) {
        if (ippState == IPP_STATE_ERROR) {
            respond(HTTP_STATUS_BAD_REQUEST, nullptr);
            return false;
        }
    }
    // Whatever follows the message (a document) is not used.
    char buffer[8192];
    while (httpRead2(client, buffer, sizeof(buffer)) > 0) {
    }
    const QByteArray authorization = httpGetField(client, HTTP_FIELD_AUTHORIZATION);
    IppPtr response = server->handle(request.get(), authorization);
    if (!response) {
        return respond(HTTP_STATUS_UNAUTHORIZED, nullptr);
    }
    return respond(HTTP_STATUS_OK, response.get());
}

int listenOn(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return -1;
    }
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) < 0 || listen(fd, 16) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int boundPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    return ntohs(address.sin_port);
}

int usage(const char *message)
{
    fprintf(stderr, "macippserver: %s\n", message);
    return 2;
}
} // namespace

int main(int argc, char **argv)
{
    signal(SIGPIPE, SIG_IGN);
    Server server;
    int port = 0;
    pid_t owner = 0;
    for (int i = 1; i < argc; ++i) {
        const QByteArray option = argv[i];
        if (i + 1 >= argc) {
            return usage("every option takes a value");
        }
        const QByteArray value = argv[++i];
        if (option == "--port") {
            port = value.toInt();
        } else if (option == "--owner") {
            owner = pid_t(value.toInt());
        } else if (option == "--log") {
            server.log.setFileName(QString::fromLocal8Bit(value));
            if (!server.log.open(QIODevice::Append)) {
                return usage("cannot open the log");
            }
        } else if (option == "--fail") {
            const QByteArray name = value.split(':').value(0);
            if (!s_operationNames.contains(name)) {
                return usage("unknown operation for --fail");
            }
            const QByteArray message = value.contains(':') ? value.mid(value.indexOf(':') + 1) : "Simulated failure of " + name;
            server.failures.insert(s_operationNames.value(name), message);
        } else if (option == "--permissions") {
            server.permissions.clear();
            if (value != "none") {
                for (const QByteArray &code : value.split(',')) {
                    bool ok = false;
                    server.permissions.insert(code.toInt(&ok, 0));
                    if (!ok) {
                        return usage("bad permission code");
                    }
                }
            }
        } else {
            return usage("unknown option");
        }
    }

    const int listener = listenOn(port);
    if (listener < 0) {
        perror("macippserver: listen");
        return 1;
    }
    printf("PORT=%d\n", boundPort(listener));
    fflush(stdout);

    std::vector<HttpPtr> clients;
    for (;;) {
        if (owner > 0 && kill(owner, 0) != 0) {
            return 0; // the test that started us is gone
        }
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const HttpPtr &client : clients) {
            fds.push_back({httpGetFd(client.get()), POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), 500) <= 0) {
            continue;
        }
        std::vector<HttpPtr> open;
        for (size_t i = 1; i < fds.size(); ++i) {
            HttpPtr &client = clients[i - 1];
            if (fds[i].revents && !serveOne(&server, client.get())) {
                continue; // closed with the unique_ptr
            }
            open.push_back(std::move(client));
        }
        clients = std::move(open);
        if (fds[0].revents & POLLIN) {
            if (http_t *client = httpAcceptConnection(listener, 1)) {
                clients.emplace_back(client);
            }
        }
    }
}
