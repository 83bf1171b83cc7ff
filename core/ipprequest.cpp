#include "ipprequest.h"

#include "attributes.h"
#include "connection.h"
#include "corelogging.h"
#include "ippmessage.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <tuple>

namespace CUPS
{
namespace
{
// IPP status and text libcups reports for an HTTP failure.
std::pair<ipp_status_t, QString> ippErrorFor(http_status_t status)
{
    const QString text = QString::fromUtf8(httpStatus(status));
    switch (status) {
    case HTTP_STATUS_NOT_FOUND:
        return {IPP_STATUS_ERROR_NOT_FOUND, text};
    case HTTP_STATUS_UNAUTHORIZED:
        return {IPP_STATUS_ERROR_NOT_AUTHENTICATED, text};
    case HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED:
        return {IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED, text};
    case HTTP_STATUS_FORBIDDEN:
        return {IPP_STATUS_ERROR_FORBIDDEN, text};
    case HTTP_STATUS_BAD_REQUEST:
        return {IPP_STATUS_ERROR_BAD_REQUEST, text};
    case HTTP_STATUS_REQUEST_TOO_LARGE:
        return {IPP_STATUS_ERROR_REQUEST_VALUE, text};
    case HTTP_STATUS_NOT_IMPLEMENTED:
        return {IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED, text};
    case HTTP_STATUS_NOT_SUPPORTED:
        return {IPP_STATUS_ERROR_VERSION_NOT_SUPPORTED, text};
    case HTTP_STATUS_UPGRADE_REQUIRED:
        return {IPP_STATUS_ERROR_CUPS_UPGRADE_REQUIRED, text};
    case HTTP_STATUS_ERROR:
        return {IPP_STATUS_ERROR_INTERNAL, text};
    default:
        return {IPP_STATUS_ERROR_SERVICE_UNAVAILABLE, text};
    }
}

// Socket errors of a server that closed the connection or takes none: it is
// gone (stopped, restarted), which is not the same as a broken answer.
bool isLostConnection(int error)
{
    switch (error) {
    case EPIPE:
    case ECONNRESET:
    case ECONNREFUSED:
    case ECONNABORTED:
    case ENOTCONN:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

// Far above any real answer (a big system's PPD list is a few MB), far below what would exhaust memory.
constexpr qint64 DefaultAnswerSizeLimit = 128 * 1024 * 1024;

qint64 &answerSizeLimit()
{
    static qint64 bytes = DefaultAnswerSizeLimit;
    return bytes;
}

constexpr int ReadSlackMsecs = 50;

QString sizeText(qint64 bytes)
{
    return bytes >= 1024 * 1024 ? QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024)) : QStringLiteral("%1 bytes").arg(bytes);
}

struct MemoryReader {
    const QByteArray &data;
    int offset = 0;
};

ssize_t readFromMemory(void *context, ipp_uchar_t *buffer, size_t bytes)
{
    auto *reader = static_cast<MemoryReader *>(context);
    const size_t count = qMin(bytes, size_t(reader->data.size() - reader->offset));
    memcpy(buffer, reader->data.constData() + reader->offset, count);
    reader->offset += int(count);
    return ssize_t(count);
}

/*
 * One request and its answer, as cupsDoIORequest() exchanges them (the same
 * authentication, encryption upgrade and retry rules), except that the answer
 * is read in large blocks and parsed from memory: libcups reads it a field at
 * a time, and with a read timeout set every one of those thousands of reads
 * costs a poll() as well.
 */
class Exchange
{
public:
    Exchange(http_t *http, ipp_t *request, const QByteArray &resource, QFile *document, int timeoutMsecs)
        : http(http)
        , request(request)
        , resource(resource)
        , document(document)
        , timeoutMsecs(timeoutMsecs)
    {
    }

    ipp_t *run();

    ipp_status_t errorCode = IPP_STATUS_ERROR_INTERNAL;
    QString errorMessage;
    // The server was reached but what came back was cut short or not IPP.
    bool brokenAnswer = false;
    // The connection was lost and could not be made again.
    bool unreachable = false;
    // The answer was given up unread to its end: the connection is unusable.
    bool abandoned = false;

private:
    http_status_t sendDocument();
    ipp_t *readResponse(http_status_t *status);
    bool readBody(QByteArray &body);
    QString unfinishedText() const
    {
        return QStringLiteral("the server did not finish its answer within %1 seconds").arg(timeoutMsecs / 1000.0);
    }
    void fail(http_status_t status);

    http_t *const http;
    ipp_t *const request;
    const QByteArray resource;
    QFile *const document;
    const int timeoutMsecs;
    int readError = 0;
};

ipp_t *Exchange::run()
{
    const size_t length = ippLength(request) + size_t(document ? document->size() : 0);
    bool reconnected = false;
    // Each round either answers, fails, or has just authenticated or upgraded and sends again.
    for (;;) {
        http_status_t status = cupsSendRequest(http, request, resource.constData(), length);
        if (status == HTTP_STATUS_CONTINUE && document && ippGetState(request) == IPP_STATE_DATA) {
            status = sendDocument();
        }
        // A server that restarted since the last request dropped this connection; the request
        // did not get through, so it is sent once more on a new one.
        if (status == HTTP_STATUS_ERROR && !reconnected && isLostConnection(httpError(http))) {
            reconnected = true;
            ippSetState(request, IPP_STATE_IDLE);
            if (httpReconnect2(http, 30000, nullptr) == 0) {
                continue;
            }
        }
        if (status != HTTP_STATUS_CONTINUE && status != HTTP_STATUS_OK) {
            // cupsSendRequest() authenticates and upgrades by itself; anything else ends here.
            fail(status);
            return nullptr;
        }
        ipp_t *response = readResponse(&status);
        if (status == HTTP_STATUS_ERROR || (status >= HTTP_STATUS_BAD_REQUEST && status != HTTP_STATUS_UNAUTHORIZED && status != HTTP_STATUS_UPGRADE_REQUIRED)) {
            ippDelete(response);
            fail(status);
            return nullptr;
        }
        if (httpGetState(http) != HTTP_STATE_WAITING) {
            httpFlush(http);
        }
        if (response) {
            return response;
        }
    }
}

http_status_t Exchange::sendDocument()
{
    document->seek(0);
    char buffer[32768];
    http_status_t status = HTTP_STATUS_CONTINUE;
    qint64 bytes = 0;
    while (status == HTTP_STATUS_CONTINUE && (bytes = document->read(buffer, sizeof(buffer))) > 0) {
        status = cupsWriteRequestData(http, buffer, size_t(bytes));
    }
    return status;
}

ipp_t *Exchange::readResponse(http_status_t *status)
{
    do {
        *status = httpUpdate(http);
    } while (*status == HTTP_STATUS_CONTINUE);

    if (*status == HTTP_STATUS_OK) {
        QByteArray body;
        if (!readBody(body)) {
            brokenAnswer = true;
            abandoned = true;
            *status = HTTP_STATUS_ERROR;
            return nullptr;
        }
        IppPtr response = readIppMessage(body);
        if (!response) {
            brokenAnswer = true;
            errorMessage = readError ? QString::fromLocal8Bit(strerror(readError)) : QStringLiteral("not an IPP message");
            *status = HTTP_STATUS_ERROR;
            return nullptr;
        }
        return response.release();
    }
    if (*status == HTTP_STATUS_ERROR) {
        const int error = httpError(http);
        unreachable = isLostConnection(error);
        brokenAnswer = !unreachable;
        errorMessage = error ? QString::fromLocal8Bit(strerror(error)) : QStringLiteral("no HTTP answer");
        return nullptr;
    }
    httpFlush(http);
    if (*status == HTTP_STATUS_UNAUTHORIZED) {
        // Asks through the password callback; a cancel ends the exchange.
        if (cupsDoAuthentication(http, "POST", resource.constData()) == 0) {
            httpReconnect2(http, 30000, nullptr);
        } else {
            *status = HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED;
        }
    } else if (*status == HTTP_STATUS_UPGRADE_REQUIRED) {
        if (httpReconnect2(http, 30000, nullptr) == 0) {
            httpEncryption(http, HTTP_ENCRYPTION_REQUIRED);
        }
    }
    return nullptr;
}

/*
 * The whole body, bounded in size and in time: libcups bounds each read by the
 * connection's timeout, but a server that keeps sending, or trickles, would
 * otherwise hold the caller and fill memory for ever.
 */
bool Exchange::readBody(QByteArray &body)
{
    const QDeadlineTimer deadline(timeoutMsecs);
    const qint64 limit = answerSizeLimit();
    char buffer[32768];
    ssize_t bytes = 0;
    do {
        if (deadline.hasExpired()) {
            errorMessage = unfinishedText();
            return false;
        }
        // Each read waits only for what is left of the whole answer's time, and a little more, so a
        // read that timed out is always seen as the deadline (libcups rounds its wait down).
        setReadTimeout(http, qMax<qint64>(deadline.remainingTime(), 0) + ReadSlackMsecs);
        bytes = httpRead2(http, buffer, sizeof(buffer));
        if (bytes > 0) {
            if (body.size() + bytes > limit) {
                errorMessage = QStringLiteral("the answer is larger than %1, more than any print server sends").arg(sizeText(limit));
                return false;
            }
            body.append(buffer, int(bytes));
        }
    } while (bytes > 0);
    setReadTimeout(http, timeoutMsecs);
    if (bytes <= 0 && deadline.hasExpired()) {
        errorMessage = unfinishedText();
        return false;
    }
    // A broken connection may still have delivered a whole message; parsing tells.
    readError = bytes < 0 ? httpError(http) : (httpGetRemaining(http) > 0 ? ECONNRESET : 0);
    return true;
}

void Exchange::fail(http_status_t status)
{
    if (brokenAnswer) {
        errorCode = IPP_STATUS_ERROR_INTERNAL;
        return;
    }
    std::tie(errorCode, errorMessage) = ippErrorFor(status);
    // A broken or refused connection says more through the socket's error than through the status.
    const int socketError = httpError(http);
    if (unreachable || (status == HTTP_STATUS_ERROR && isLostConnection(socketError))) {
        unreachable = true;
        errorCode = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
        errorMessage = QString::fromLocal8Bit(strerror(socketError ? socketError : ECONNRESET));
    } else if (status == HTTP_STATUS_ERROR) {
        brokenAnswer = true;
        errorMessage = socketError ? QString::fromLocal8Bit(strerror(socketError)) : QStringLiteral("no HTTP answer");
    } else if (status == HTTP_STATUS_SERVICE_UNAVAILABLE && socketError) {
        unreachable = true;
        errorMessage = QString::fromLocal8Bit(strerror(socketError));
    }
}

// libcups hands a server's numbers on in its enums as they came, though an
// enum holds only the values its own constants need: such a number is read
// as an int, never loaded as the enum.
template<typename Enum>
int numberIn(const Enum &value)
{
    static_assert(sizeof(Enum) == sizeof(int), "libcups' enums are int-sized");
    int number = 0;
    memcpy(&number, &value, sizeof(number));
    return number;
}

// The unit of a resolution; none for a units byte the server made up.
QString resolutionUnit(const ipp_res_t &units)
{
    switch (numberIn(units)) {
    case IPP_RES_PER_INCH:
        return QStringLiteral("dpi");
    case IPP_RES_PER_CM:
        return QStringLiteral("dpcm");
    default:
        return QString();
    }
}

// An answer's status; past libcups' own statuses no answer is one this client
// understands, and it counts as broken, as an answer that is no IPP message does.
ipp_status_t statusOf(ipp_t *ipp)
{
    const ipp_status_t status = ippGetStatusCode(ipp);
    const int number = numberIn(status);
    return number >= IPP_STATUS_OK && number <= IPP_STATUS_ERROR_CUPS_UPGRADE_REQUIRED ? status : IPP_STATUS_ERROR_INTERNAL;
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

IppPtr readIppMessage(const QByteArray &bytes)
{
    IppPtr message(ippNew());
    MemoryReader reader{bytes};
    ipp_state_t state = IPP_STATE_IDLE;
    do {
        state = ippReadIO(&reader, readFromMemory, 1, nullptr, message.get());
    } while (state != IPP_STATE_DATA && state != IPP_STATE_ERROR);
    if (state == IPP_STATE_ERROR) {
        return nullptr;
    }
    return message;
}

void setReadTimeout(http_t *http, qint64 msecs)
{
    const auto giveUp = [](http_t *, void *) {
        return 0;
    };
    httpSetTimeout(http, double(msecs) / 1000.0, giveUp, nullptr);
}

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
        const QString unit = resolutionUnit(units);
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
    ippAddString(m_ipp.get(), group, valueTag, name, nullptr, value.toUtf8().constData());
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
        encoded.append(value.toUtf8());
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
    , m_status(ipp ? statusOf(ipp) : status)
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
    // The lock brings the process' current user into this thread's view first.
    ConnectionLocker locker;
    const QString user = Connection::instance()->userName();
    if (!user.isEmpty()) {
        addAttribute(IPP_TAG_OPERATION, IPP_TAG_NAME, Attr::RequestingUserName.data(), user);
    }
}

void IppRequest::setAnswerSizeLimit(qint64 bytes)
{
    answerSizeLimit() = bytes > 0 ? bytes : DefaultAnswerSizeLimit;
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
    // Threads admitted to one session share the lock; their requests still take turns. Its watchdog
    // bounds the whole exchange, also where libcups loops by itself (an endless header).
    Connection::IoLocker io(connection);
    if (!m_ipp) {
        Connection::setLastError(IPP_STATUS_ERROR_INTERNAL, QStringLiteral("The request was already sent"));
        return IppResponse();
    }
    IppPtr request = std::move(m_ipp);
    http_t *http = connection->handle();
    if (!http) {
        // handle() recorded why the server could not be reached.
        return IppResponse(nullptr, Connection::lastError());
    }
    QFile document(file);
    if (!file.isEmpty() && !document.open(QIODevice::ReadOnly)) {
        Connection::setLastError(IPP_STATUS_ERROR_NOT_FOUND, document.errorString());
        return IppResponse(nullptr, IPP_STATUS_ERROR_NOT_FOUND);
    }

    Exchange exchange(http, request.get(), resource.toUtf8(), file.isEmpty() ? nullptr : &document, connection->timeout());
    IppResponse response(exchange.run(), IPP_STATUS_ERROR_INTERNAL);
    if (exchange.abandoned) {
        // The rest of that answer would still arrive on it.
        connection->dropHttp();
    }
    if (response.isNull()) {
        QString message = exchange.errorMessage;
        if (exchange.brokenAnswer) {
            message = QStringLiteral("No valid answer from %1 (%2)").arg(connection->serverName(), message);
        } else if (exchange.unreachable) {
            message = QStringLiteral("Unable to connect to %1 (%2)").arg(connection->serverName(), message);
        }
        Connection::setLastError(exchange.errorCode, message);
        response = IppResponse(nullptr, exchange.errorCode);
    } else if (response.isOk()) {
        Connection::setLastError(IPP_STATUS_OK, QString());
    } else {
        // The scheduler's own words, as cupsGetResponse() records them.
        ipp_attribute_t *message = ippFindAttribute(response.handle(), Attr::StatusMessage.data(), IPP_TAG_TEXT);
        Connection::setLastError(response.statusCode(),
                                 QString::fromUtf8(message ? ippGetString(message, 0, nullptr) : ippErrorString(response.statusCode())));
    }
    if (!response.isOk()) {
        qCDebug(CUPS_CORE) << "request to" << resource << "failed:" << Connection::lastErrorString();
    }
    return response;
}
} // namespace CUPS
