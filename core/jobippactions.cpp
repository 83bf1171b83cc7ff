#include "jobippactions.h"

#include "attributes.h"
#include "connection.h"
#include "ipprequest.h"
#include "printerrequest.h"

namespace CUPS
{
namespace
{
// cupsd takes job operations at /jobs/, as libcups' own job calls send them.
const QString JobsResource = QStringLiteral("/jobs/");

bool checkJob(const QString &printerUri, int jobId)
{
    if (!checkPrinter(printerUri)) {
        return false;
    }
    if (jobId <= 0) {
        Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("No job given"));
        return false;
    }
    return true;
}

IppRequest jobRequest(ipp_op_t op, const QString &printerUri, int jobId)
{
    IppRequest request = printerRequest(op, printerUri);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_INTEGER, Attr::JobId.data(), jobId);
    return request;
}

bool sendJobRequest(ipp_op_t op, const QString &printerUri, int jobId)
{
    return checkJob(printerUri, jobId) && jobRequest(op, printerUri, jobId).doRequest(Connection::instance(), JobsResource).isOk();
}

// The value tag a new value of an attribute is sent with: the job's own for
// an attribute it has, else guessed from the text.
ipp_tag_t valueTagFor(ipp_t *job, const QString &name, const QString &value)
{
    if (ipp_attribute_t *attribute = job ? ippFindAttribute(job, name.toUtf8().constData(), IPP_TAG_ZERO) : nullptr) {
        const ipp_tag_t tag = ippGetValueTag(attribute);
        if (tag != IPP_TAG_NOVALUE && tag != IPP_TAG_UNKNOWN) {
            return tag;
        }
    }
    bool isNumber = false;
    value.toInt(&isNumber);
    if (isNumber) {
        return IPP_TAG_INTEGER;
    }
    if (value == QLatin1String("true") || value == QLatin1String("false")) {
        return IPP_TAG_BOOLEAN;
    }
    return IPP_TAG_NAME;
}
} // namespace

JobIppActions *JobIppActions::instance()
{
    static JobIppActions actions;
    return &actions;
}

bool JobIppActions::purgeJobs(const QString &printerUri)
{
    return sendAdminRequest(IPP_OP_PURGE_JOBS, printerUri);
}

bool JobIppActions::cancelJob(const QString &printerUri, int jobId)
{
    return sendJobRequest(IPP_OP_CANCEL_JOB, printerUri, jobId);
}

bool JobIppActions::purgeJob(const QString &printerUri, int jobId)
{
    if (!checkJob(printerUri, jobId)) {
        return false;
    }
    IppRequest request = jobRequest(IPP_OP_CANCEL_JOB, printerUri, jobId);
    request.addAttribute(IPP_TAG_OPERATION, Attr::PurgeJob.data(), true);
    return request.doRequest(Connection::instance(), JobsResource).isOk();
}

bool JobIppActions::restartJob(const QString &printerUri, int jobId)
{
    return sendJobRequest(IPP_OP_RESTART_JOB, printerUri, jobId);
}

bool JobIppActions::holdJob(const QString &printerUri, int jobId)
{
    return sendJobRequest(IPP_OP_HOLD_JOB, printerUri, jobId);
}

bool JobIppActions::releaseJob(const QString &printerUri, int jobId)
{
    return sendJobRequest(IPP_OP_RELEASE_JOB, printerUri, jobId);
}

bool JobIppActions::moveJob(const QString &jobUri, const QString &printerUri)
{
    if (jobUri.isEmpty()) {
        Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("No job given"));
        return false;
    }
    if (!checkPrinter(printerUri)) {
        return false;
    }
    IppRequest request(IPP_OP_CUPS_MOVE_JOB);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::JobUri.data(), jobUri);
    request.addAttribute(IPP_TAG_JOB, IPP_TAG_URI, Attr::JobPrinterUri.data(), printerUri);
    return request.doRequest(Connection::instance(), JobsResource).isOk();
}

QHash<QString, QVariant> JobIppActions::jobAttrs(const QString &printerUri, int jobId, const QStringList &names) const
{
    if (!checkJob(printerUri, jobId)) {
        return {};
    }
    IppRequest request = jobRequest(IPP_OP_GET_JOB_ATTRIBUTES, printerUri, jobId);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), names.isEmpty() ? QStringList{QStringLiteral("all")} : names);
    const IppResponse response = request.doRequest(Connection::instance(), QStringLiteral("/"));
    if (!response.isOk()) {
        return {};
    }
    const QList<AttributeHash> jobs = response.attributeGroups(IPP_TAG_JOB);
    return jobs.isEmpty() ? AttributeHash() : jobs.constFirst();
}

bool JobIppActions::setJobAttrs(const QString &printerUri, int jobId, const QHash<QString, QString> &attrs)
{
    if (!checkJob(printerUri, jobId)) {
        return false;
    }
    if (attrs.isEmpty()) {
        return true;
    }
    IppRequest query = jobRequest(IPP_OP_GET_JOB_ATTRIBUTES, printerUri, jobId);
    query.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), QStringList(attrs.keys()));
    const IppResponse current = query.doRequest(Connection::instance(), QStringLiteral("/"));
    if (!current.isOk()) {
        return false;
    }
    IppRequest request = jobRequest(IPP_OP_SET_JOB_ATTRIBUTES, printerUri, jobId);
    for (auto it = attrs.cbegin(); it != attrs.cend(); ++it) {
        const QByteArray name = it.key().toUtf8();
        const ipp_tag_t tag = valueTagFor(current.handle(), it.key(), it.value());
        switch (tag) {
        case IPP_TAG_INTEGER:
        case IPP_TAG_ENUM: {
            bool isNumber = false;
            const int number = it.value().toInt(&isNumber);
            if (!isNumber) {
                Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("%1 takes a number, not \"%2\"").arg(it.key(), it.value()));
                return false;
            }
            request.addAttribute(IPP_TAG_JOB, tag, name.constData(), number);
            break;
        }
        case IPP_TAG_BOOLEAN:
            request.addAttribute(IPP_TAG_JOB, name.constData(), it.value() == QLatin1String("true"));
            break;
        case IPP_TAG_TEXT:
        case IPP_TAG_TEXTLANG:
            request.addAttribute(IPP_TAG_JOB, IPP_TAG_TEXT, name.constData(), it.value());
            break;
        case IPP_TAG_NAME:
        case IPP_TAG_NAMELANG:
            request.addAttribute(IPP_TAG_JOB, IPP_TAG_NAME, name.constData(), it.value());
            break;
        case IPP_TAG_KEYWORD:
        case IPP_TAG_URI:
        case IPP_TAG_URISCHEME:
        case IPP_TAG_CHARSET:
        case IPP_TAG_LANGUAGE:
        case IPP_TAG_MIMETYPE:
            request.addAttribute(IPP_TAG_JOB, tag, name.constData(), it.value());
            break;
        default:
            // Ranges, dates, resolutions and collections have no plain text form to send.
            Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("%1 can't be set from text").arg(it.key()));
            return false;
        }
    }
    return request.doRequest(Connection::instance(), JobsResource).isOk();
}

bool JobIppActions::authenticateJob(const QString &printerUri, int jobId, const QStringList &authInfo)
{
    if (!checkJob(printerUri, jobId)) {
        return false;
    }
    IppRequest request = jobRequest(IPP_OP_CUPS_AUTHENTICATE_JOB, printerUri, jobId);
    if (!authInfo.isEmpty()) {
        request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_TEXT, Attr::AuthInfo.data(), authInfo);
    }
    return request.doRequest(Connection::instance(), JobsResource).isOk();
}
} // namespace CUPS
