#include "macippserverprocess.h"

#include "macippserver/macippcontrol.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <cups/cups.h>

#include <memory>
#include <vector>

namespace
{
constexpr int StartTimeoutMsecs = 20000;

struct HttpDeleter {
    void operator()(http_t *http) const
    {
        httpClose(http);
    }
};
} // namespace

MacIppServerProcess::~MacIppServerProcess()
{
    stop();
}

bool MacIppServerProcess::start(const QStringList &options)
{
    if (!m_directory.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_directory.errorString();
        return false;
    }
    const QStringList arguments = QStringList{QStringLiteral("--port"),
                                              QStringLiteral("0"),
                                              QStringLiteral("--owner"),
                                              QString::number(QCoreApplication::applicationPid()),
                                              QStringLiteral("--log"),
                                              m_directory.filePath(QStringLiteral("requests.log"))}
        + options;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MACIPPSERVER_PATH), arguments);
    const QDeadlineTimer deadline(StartTimeoutMsecs);
    while (!m_process.canReadLine() && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            break;
        }
    }
    const QByteArray line = m_process.readLine().trimmed();
    if (!line.startsWith("PORT=")) {
        m_error = QStringLiteral("macippserver did not report a port: ") + QString::fromLocal8Bit(line) + m_process.errorString();
        stop();
        return false;
    }
    m_port = line.mid(5).toInt();
    return m_port > 0;
}

void MacIppServerProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    m_port = 0;
}

void MacIppServerProcess::use() const
{
    // No client.conf of the machine may redirect or encrypt anything.
    qputenv("CUPS_SERVERROOT", QFile::encodeName(m_directory.path()));
    qputenv("CUPS_SERVER", server().toLocal8Bit());
    cupsSetServer(server().toLocal8Bit().constData());
    CUPS::Connection::instance()->reconnect(true);
}

QString MacIppServerProcess::errorString() const
{
    return m_error;
}

QString MacIppServerProcess::server() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

QStringList MacIppServerProcess::requestLog() const
{
    QFile log(m_directory.filePath(QStringLiteral("requests.log")));
    if (!log.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

namespace
{
// Sends request to the server on a connection of its own; null when nothing came back.
CUPS::IppResponse exchange(int port, ipp_t *request, const char *resource)
{
    std::unique_ptr<http_t, HttpDeleter> http(httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 10000, nullptr));
    if (!http) {
        ippDelete(request);
        return CUPS::IppResponse();
    }
    return CUPS::IppResponse(cupsDoRequest(http.get(), request, resource));
}

ipp_t *controlRequest()
{
    ipp_t *request = ippNewRequest(static_cast<ipp_op_t>(MacIppControl::Operation));
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, CUPS::Attr::RequestingUserName.data(), nullptr, "test-control");
    return request;
}
} // namespace

bool MacIppServerProcess::reset()
{
    ipp_t *request = controlRequest();
    ippAddBoolean(request, IPP_TAG_OPERATION, MacIppControl::Reset, 1);
    return exchange(m_port, request, "/").isOk();
}

bool MacIppServerProcess::failOperation(const QString &operation, const QString &message)
{
    ipp_t *request = controlRequest();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, MacIppControl::FailOperation, nullptr, operation.toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_TEXT, MacIppControl::FailMessage, nullptr, message.toUtf8().constData());
    return exchange(m_port, request, "/").isOk();
}

bool MacIppServerProcess::clearFailures()
{
    ipp_t *request = controlRequest();
    ippAddBoolean(request, IPP_TAG_OPERATION, MacIppControl::ClearFailures, 1);
    return exchange(m_port, request, "/").isOk();
}

bool MacIppServerProcess::setPermissions(const QList<int> &codes)
{
    ipp_t *request = controlRequest();
    if (codes.isEmpty()) {
        ippAddOutOfBand(request, IPP_TAG_OPERATION, IPP_TAG_NOVALUE, MacIppControl::Permissions);
    } else {
        const std::vector<int> values(codes.cbegin(), codes.cend());
        ippAddIntegers(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, MacIppControl::Permissions, int(values.size()), values.data());
    }
    return exchange(m_port, request, "/").isOk();
}

bool MacIppServerProcess::requireAuthentication(const QString &operation, const QString &password)
{
    ipp_t *request = controlRequest();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, MacIppControl::AuthOperation, nullptr, operation.toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_TEXT, MacIppControl::AuthPassword, nullptr, password.toUtf8().constData());
    return exchange(m_port, request, "/").isOk();
}

QString MacIppServerProcess::lastUser()
{
    const CUPS::IppResponse response = exchange(m_port, controlRequest(), "/");
    return response.attributes().value(QLatin1String(MacIppControl::LastUser)).toList().value(0).toString();
}

QHash<QString, QVariant> MacIppServerProcess::printerAttributes(const QString &name)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    const QByteArray uri = "ipp://localhost/printers/" + name.toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, CUPS::Attr::PrinterUri.data(), nullptr, uri.constData());
    const CUPS::IppResponse response = exchange(m_port, request, "/");
    return response.isOk() ? response.attributeGroups(IPP_TAG_PRINTER).value(0) : QHash<QString, QVariant>();
}

bool MacIppServerProcess::forcePrinterPolicy(const QString &printer, const QString &policy)
{
    ipp_t *request = controlRequest();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, MacIppControl::PolicyPrinter, nullptr, printer.toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, MacIppControl::Policy, nullptr, policy.toUtf8().constData());
    return exchange(m_port, request, "/").isOk();
}

QHash<QString, QString> MacIppServerProcess::lastJournalRequest()
{
    const CUPS::IppResponse response = exchange(m_port, controlRequest(), "/");
    QHash<QString, QString> keys;
    const QVariantList values = response.attributes().value(QLatin1String(MacIppControl::LastJournalRequest)).toList();
    for (const QVariant &value : values) {
        const QString text = value.toString();
        const int equals = text.indexOf(QLatin1Char('='));
        keys.insert(text.left(equals), text.mid(equals + 1));
    }
    return keys;
}
