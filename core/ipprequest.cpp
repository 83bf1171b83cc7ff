#include "ipprequest.h"

#include "attributes.h"
#include "connection.h"
#include "corelogging.h"

#include <QDateTime>
#include <QFile>

#include <cstring>

namespace CUPS
{
namespace
{
QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

// libcups renders whole attributes only; one holding just this value renders that value.
QString renderedValue(ipp_attribute_t *attribute, int index)
{
    IppPtr holder(ippNew());
    const ipp_tag_t group = ippGetGroupTag(attribute);
    const char *name = ippGetName(attribute);
    ipp_attribute_t *single = nullptr;
    if (ippGetValueTag(attribute) == IPP_TAG_BEGIN_COLLECTION) {
        single = ippAddCollection(holder.get(), group, name, ippGetCollection(attribute, index));
    } else {
        int length = 0;
        const void *data = ippGetOctetString(attribute, index, &length);
        single = ippAddOctetString(holder.get(), group, name, data, length);
    }
    char buffer[2048];
    ippAttributeString(single, buffer, sizeof(buffer));
    return QString::fromUtf8(buffer);
}
} // namespace

IppValue::IppValue(ipp_attribute_t *attribute, int index)
    : m_attribute(attribute)
    , m_index(index)
{
}

QString IppValue::toString() const
{
    if (!m_attribute || m_index < 0 || m_index >= ippGetCount(m_attribute)) {
        return QString();
    }
    switch (ippGetValueTag(m_attribute)) {
    case IPP_TAG_INTEGER:
    case IPP_TAG_ENUM:
        return QString::number(ippGetInteger(m_attribute, m_index));
    case IPP_TAG_BOOLEAN:
        return ippGetBoolean(m_attribute, m_index) ? QStringLiteral("true") : QStringLiteral("false");
    case IPP_TAG_RANGE: {
        int upper = 0;
        const int lower = ippGetRange(m_attribute, m_index, &upper);
        return QString::number(lower) + QLatin1Char('-') + QString::number(upper);
    }
    case IPP_TAG_RESOLUTION: {
        int y = 0;
        ipp_res_t units = IPP_RES_PER_INCH;
        const int x = ippGetResolution(m_attribute, m_index, &y, &units);
        const QString unit = units == IPP_RES_PER_INCH ? QStringLiteral("dpi") : QStringLiteral("dpcm");
        if (x == y) {
            return QString::number(x) + unit;
        }
        return QString::number(x) + QLatin1Char('x') + QString::number(y) + unit;
    }
    case IPP_TAG_DATE:
        return toVariant().toDateTime().toString(Qt::ISODate);
    case IPP_TAG_BEGIN_COLLECTION:
    case IPP_TAG_STRING:
        // Collections and octet strings have no single text; use libcups' own rendering.
        return renderedValue(m_attribute, m_index);
    case IPP_TAG_NOVALUE:
    case IPP_TAG_UNKNOWN:
    case IPP_TAG_NOTSETTABLE:
    case IPP_TAG_DELETEATTR:
    case IPP_TAG_DEFAULT:
        return QString();
    default:
        return QString::fromUtf8(ippGetString(m_attribute, m_index, nullptr));
    }
}

QVariant IppValue::toVariant() const
{
    if (!m_attribute || m_index < 0 || m_index >= ippGetCount(m_attribute)) {
        return QVariant();
    }
    switch (ippGetValueTag(m_attribute)) {
    case IPP_TAG_INTEGER:
    case IPP_TAG_ENUM:
        return ippGetInteger(m_attribute, m_index);
    case IPP_TAG_BOOLEAN:
        return bool(ippGetBoolean(m_attribute, m_index));
    case IPP_TAG_DATE:
        return QDateTime::fromSecsSinceEpoch(ippDateToTime(ippGetDate(m_attribute, m_index)));
    case IPP_TAG_STRING: {
        int length = 0;
        const void *data = ippGetOctetString(m_attribute, m_index, &length);
        return QByteArray(static_cast<const char *>(data), length);
    }
    case IPP_TAG_BEGIN_COLLECTION: {
        QVariantHash members;
        ipp_t *collection = ippGetCollection(m_attribute, m_index);
        for (ipp_attribute_t *member = ippFirstAttribute(collection); member; member = ippNextAttribute(collection)) {
            if (const char *name = ippGetName(member)) {
                members.insert(QString::fromUtf8(name), IppBase::values(member));
            }
        }
        return members;
    }
    default:
        return toString();
    }
}

IppBase::IppBase(ipp_t *ipp)
    : m_ipp(ipp)
{
}

IppBase::~IppBase() = default;

ipp_t *IppBase::handle() const
{
    return m_ipp.get();
}

bool IppBase::isNull() const
{
    return !m_ipp;
}

void IppBase::addAttribute(ipp_tag_t group, ipp_tag_t valueTag, const char *name, const QString &value)
{
    ippAddString(m_ipp.get(), group, valueTag, name, nullptr, utf8(value).constData());
}

void IppBase::addAttribute(ipp_tag_t group, ipp_tag_t valueTag, const char *name, const QStringList &values)
{
    if (values.isEmpty()) {
        return;
    }
    QList<QByteArray> encoded;
    std::vector<const char *> pointers;
    encoded.reserve(values.size());
    for (const QString &value : values) {
        encoded.append(utf8(value));
    }
    for (const QByteArray &value : qAsConst(encoded)) {
        pointers.push_back(value.constData());
    }
    ippAddStrings(m_ipp.get(), group, valueTag, name, int(pointers.size()), nullptr, pointers.data());
}

void IppBase::addAttribute(ipp_tag_t group, ipp_tag_t valueTag, const char *name, int value)
{
    ippAddInteger(m_ipp.get(), group, valueTag, name, value);
}

void IppBase::addAttribute(ipp_tag_t group, const char *name, bool value)
{
    ippAddBoolean(m_ipp.get(), group, name, value);
}

void IppBase::addPrinterAttribute(const char *name, const QString &value, ipp_tag_t valueTag)
{
    addAttribute(IPP_TAG_PRINTER, valueTag, name, value);
}

void IppBase::addPrinterAttribute(const char *name, const QStringList &values, ipp_tag_t valueTag)
{
    addAttribute(IPP_TAG_PRINTER, valueTag, name, values);
}

void IppBase::addPrinterAttribute(const char *name, int value, ipp_tag_t valueTag)
{
    addAttribute(IPP_TAG_PRINTER, valueTag, name, value);
}

void IppBase::addPrinterAttribute(const char *name, bool value)
{
    addAttribute(IPP_TAG_PRINTER, name, value);
}

void IppBase::deletePrinterAttribute(const char *name)
{
    ippAddOutOfBand(m_ipp.get(), IPP_TAG_PRINTER, IPP_TAG_DELETEATTR, name);
}

QVariantList IppBase::values(ipp_attribute_t *attribute)
{
    QVariantList list;
    const int count = ippGetCount(attribute);
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        list.append(IppValue(attribute, i).toVariant());
    }
    return list;
}

AttributeHash IppBase::attributes() const
{
    AttributeHash hash;
    for (ipp_attribute_t *attribute = ippFirstAttribute(m_ipp.get()); attribute; attribute = ippNextAttribute(m_ipp.get())) {
        const char *name = ippGetName(attribute);
        if (!name) {
            continue;
        }
        const QString key = QString::fromUtf8(name);
        if (!hash.contains(key)) {
            hash.insert(key, values(attribute));
        }
    }
    return hash;
}

QList<AttributeHash> IppBase::attributeGroups(ipp_tag_t group) const
{
    QList<AttributeHash> groups;
    AttributeHash current;
    ipp_tag_t currentGroup = IPP_TAG_ZERO;
    for (ipp_attribute_t *attribute = ippFirstAttribute(m_ipp.get()); attribute; attribute = ippNextAttribute(m_ipp.get())) {
        const char *name = ippGetName(attribute);
        const ipp_tag_t attributeGroup = ippGetGroupTag(attribute);
        // A nameless attribute separates two groups of the same tag.
        if (!name || attributeGroup != currentGroup) {
            if (currentGroup == group && !current.isEmpty()) {
                groups.append(current);
            }
            current.clear();
            currentGroup = name ? attributeGroup : IPP_TAG_ZERO;
            if (!name) {
                continue;
            }
        }
        if (attributeGroup == group) {
            current.insert(QString::fromUtf8(name), values(attribute));
        }
    }
    if (currentGroup == group && !current.isEmpty()) {
        groups.append(current);
    }
    return groups;
}

IppResponse::IppResponse(ipp_t *ipp, ipp_status_t status)
    : IppBase(ipp)
    , m_status(ipp ? ippGetStatusCode(ipp) : status)
{
}

ipp_status_t IppResponse::statusCode() const
{
    return m_status;
}

bool IppResponse::isOk() const
{
    return m_ipp && m_status < IPP_STATUS_ERROR_BAD_REQUEST;
}

IppRequest::IppRequest(ipp_op_e op)
    : IppBase(ippNewRequest(op))
{
    const QString user = Connection::instance()->userName();
    if (!user.isEmpty()) {
        addAttribute(IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), user);
    }
}

IppResponse IppRequest::doRequest(Connection *connection, const QString &resource)
{
    return send(connection, resource, QString());
}

IppResponse IppRequest::doFileRequest(Connection *connection, const QString &resource, const QString &file)
{
    return send(connection, resource, file);
}

IppResponse IppRequest::send(Connection *connection, const QString &resource, const QString &file)
{
    ConnectionLocker locker(connection);
    if (!m_ipp) {
        Connection::setLastError(IPP_STATUS_ERROR_INTERNAL, QStringLiteral("The request was already sent"));
        return IppResponse();
    }
    http_t *http = connection->handle();
    if (!http) {
        // handle() recorded why the server could not be reached.
        m_ipp.reset();
        return IppResponse(nullptr, Connection::lastError());
    }
    const QByteArray path = resource.toUtf8();
    const QByteArray fileName = QFile::encodeName(file);
    ipp_t *answer = file.isEmpty() ? cupsDoRequest(http, m_ipp.release(), path.constData())
                                   : cupsDoFileRequest(http, m_ipp.release(), path.constData(), fileName.constData());
    IppResponse response(answer, cupsLastError());
    if (response.isOk()) {
        Connection::setLastError(IPP_STATUS_OK, QString());
    } else if (!answer && response.statusCode() == IPP_STATUS_ERROR_INTERNAL && httpGetStatus(http) == HTTP_STATUS_ERROR) {
        // libcups then leaves an unrelated text behind ("Success"); the socket's error is the real one.
        Connection::setLastError(response.statusCode(),
                                 QStringLiteral("No valid answer from %1 (%2)")
                                     .arg(connection->serverName(), QString::fromLocal8Bit(strerror(httpError(http)))));
    } else {
        QString message = QString::fromUtf8(cupsLastErrorString());
        if (message.isEmpty()) {
            message = QString::fromUtf8(ippErrorString(response.statusCode()));
        }
        Connection::setLastError(response.statusCode(), message);
    }
    if (!response.isOk()) {
        qCDebug(CUPS_CORE) << "request to" << resource << "failed:" << Connection::lastErrorString();
    }
    return response;
}
} // namespace CUPS
