#include "macippactions.h"

#include "attributes.h"
#include "connection.h"
#include "corelogging.h"
#include "ipprequest.h"
#include "printerrequest.h"
#include "utils.h"

#include <QRegularExpression>

#include <vector>

namespace CUPS
{
namespace
{
const QString JobsResource = QStringLiteral("/jobs/");

QString jobUri(int jobId)
{
    return QStringLiteral("ipp://localhost/jobs/") + QString::number(jobId);
}

// A job ID the server could never have given: refused before anything is sent.
bool checkJobId(int jobId)
{
    if (jobId > 0) {
        return true;
    }
    Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("Invalid job ID %1").arg(jobId));
    return false;
}

IppRequest jobRequest(int operation, int jobId)
{
    IppRequest request(static_cast<ipp_op_e>(operation));
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::JobUri.data(), jobUri(jobId));
    return request;
}

void addJobAttributes(IppRequest *request, const QHash<QString, QString> &attributes)
{
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        const QByteArray name = it.key().toUtf8();
        const ipp_tag_t tag = it.key() == Attr::MacMarkerFont ? IPP_TAG_NAME : IPP_TAG_TEXT;
        request->addAttribute(IPP_TAG_JOB, tag, name.constData(), it.value());
    }
}

bool sendJobRequest(IppRequest request)
{
    return request.doRequest(Connection::instance(), JobsResource).isOk();
}

MacAttributeEntry entryFrom(const QVariantHash &members)
{
    MacAttributeEntry entry;
    entry.name = Utils::getAttribute(members, Attr::MacAttributeName).toString();
    entry.title = Utils::getAttribute(members, Attr::MacAttributeTitle).toString();
    entry.value = Utils::getAttribute(members, Attr::MacAttributeValue).toString();
    entry.mode = Utils::getAttribute(members, Attr::MacAttributeMode, 0).toInt();
    return entry;
}
} // namespace

class MacIppActionsPrivate
{
public:
    Connection *const connection = Connection::instance();
};

MacIppActions::MacIppActions()
    : d(new MacIppActionsPrivate)
{
}

MacIppActions::~MacIppActions() = default;

MacIppActions *MacIppActions::instance()
{
    static MacIppActions actions;
    return &actions;
}

bool MacIppActions::parsePageRanges(const QString &text, QList<QPair<int, int>> *ranges)
{
    static const QRegularExpression part(QStringLiteral("^(\\d+)(?:-(\\d+))?$"));
    ranges->clear();
    if (text.isEmpty()) {
        return true;
    }
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &p : parts) {
        const QRegularExpressionMatch match = part.match(p);
        if (!match.hasMatch()) {
            return false;
        }
        bool firstOk = false;
        bool lastOk = true;
        const int first = match.captured(1).toInt(&firstOk);
        const int last = match.captured(2).isEmpty() ? first : match.captured(2).toInt(&lastOk);
        // Pages count from 1, and a range never runs backwards.
        if (!firstOk || !lastOk || first < 1 || last < first) {
            return false;
        }
        ranges->append({first, last});
    }
    return true;
}

bool MacIppActions::lockJob(int jobId)
{
    return checkJobId(jobId) && sendJobRequest(jobRequest(LockJob, jobId));
}

bool MacIppActions::unlockJob(int jobId)
{
    return checkJobId(jobId) && sendJobRequest(jobRequest(UnlockJob, jobId));
}

MacJobInfo MacIppActions::getMacInfo(int jobId)
{
    MacJobInfo info;
    if (!checkJobId(jobId)) {
        return info;
    }
    const IppResponse response = jobRequest(GetJobInfo, jobId).doRequest(d->connection, JobsResource);
    if (!response.isOk()) {
        return info;
    }
    const QList<AttributeHash> groups = response.attributeGroups(IPP_TAG_JOB);
    const AttributeHash job = groups.value(0);
    const QVariantList entries = job.value(Attr::MacAttributeEntry).toList();
    for (const QVariant &entry : entries) {
        info.entries.append(entryFrom(entry.toHash()));
    }
    info.markerFont = Utils::getAttribute(job, Attr::MacMarkerFont).toString();
    const QVariantList fonts = job.value(Attr::MacMarkerFontsSupported).toList();
    for (const QVariant &font : fonts) {
        info.fonts.append(font.toString());
    }
    const QVariantList permissions = job.value(Attr::MacUserPermissions).toList();
    for (const QVariant &permission : permissions) {
        info.permissions.insert(permission.toInt());
    }
    info.valid = true;
    return info;
}

bool MacIppActions::setJobMacAttrs(int jobId, const QHash<QString, QString> &attributes)
{
    if (!checkJobId(jobId)) {
        return false;
    }
    IppRequest request = jobRequest(SetJobAttributes, jobId);
    addJobAttributes(&request, attributes);
    return sendJobRequest(std::move(request));
}

QList<int> MacIppActions::markJob(int jobId, const QHash<QString, QString> &attributes, const QString &pageRanges)
{
    if (!checkJobId(jobId)) {
        return {};
    }
    QList<QPair<int, int>> ranges;
    if (!parsePageRanges(pageRanges, &ranges)) {
        Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("Invalid page ranges \"%1\"").arg(pageRanges));
        return {};
    }
    IppRequest request = jobRequest(MarkJob, jobId);
    addJobAttributes(&request, attributes);
    if (!ranges.isEmpty()) {
        std::vector<int> lower;
        std::vector<int> upper;
        for (const auto &range : qAsConst(ranges)) {
            lower.push_back(range.first);
            upper.push_back(range.second);
        }
        ippAddRanges(request.handle(), IPP_TAG_JOB, Attr::PageRanges.data(), int(ranges.size()), lower.data(), upper.data());
    }
    const IppResponse response = request.doRequest(d->connection, JobsResource);
    if (!response.isOk()) {
        return {};
    }
    QList<int> derived;
    const QVariantList ids = response.attributes().value(Attr::MacDerivedJobIds).toList();
    for (const QVariant &id : ids) {
        derived.append(id.toInt());
    }
    if (derived.isEmpty()) {
        // Marked but nothing to show for it: report it rather than pass it off as success.
        Connection::setLastError(IPP_STATUS_ERROR_INTERNAL, QStringLiteral("The server reported no derived jobs"));
    }
    return derived;
}

bool MacIppActions::getJournal(const QHash<QString, QString> &request, QList<QHash<QString, QVariant>> *records)
{
    records->clear();
    IppRequest ipp(static_cast<ipp_op_e>(GetJournal));
    for (auto it = request.cbegin(); it != request.cend(); ++it) {
        const QByteArray name = it.key().toUtf8();
        if (it.key() == Attr::JobId || it.key() == Attr::FirstIndex) {
            bool ok = false;
            const int number = it.value().toInt(&ok);
            if (!ok) {
                Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("\"%1\" is not a number: %2").arg(it.key(), it.value()));
                return false;
            }
            ipp.addAttribute(IPP_TAG_OPERATION, IPP_TAG_INTEGER, name.constData(), number);
        } else if (it.key() == Attr::Operator) {
            ipp.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, name.constData(), it.value());
        } else {
            ipp.addAttribute(IPP_TAG_OPERATION, IPP_TAG_TEXT, name.constData(), it.value());
        }
    }
    const IppResponse response = ipp.doRequest(d->connection, AdminResource);
    if (!response.isOk()) {
        return false;
    }
    *records = response.attributeGroups(IPP_TAG_JOB);
    if (!records->isEmpty()) {
        const QVariant count = Utils::getAttribute(response.attributes(), Attr::MacJournalCount, records->size());
        records->first().insert(Attr::Count, QVariantList{count});
    }
    return true;
}
} // namespace CUPS
