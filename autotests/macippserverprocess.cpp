#include "macippserverprocess.h"

#include "macippserver/macippcontrol.h"

#include <connection.h>
#include <cresource.h>
#include <ipprequest.h>

#include <QCoreApplication>
#include <QFile>

#include <cups/cups.h>

namespace
{
// Sends the request on a connection of its own; the answer, or none when nothing came back.
CUPS::IppResponse exchange(int port, ipp_t *request)
{
    const CUPS::CResource<http_t, httpClose> http(
        httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 10000, nullptr));
    if (!http) {
        ippDelete(request);
        return CUPS::IppResponse();
    }
    return CUPS::IppResponse(cupsDoRequest(http.get(), request, "/"));
}

using Texts = std::initializer_list<std::pair<const char *, QString>>;

CUPS::IppResponse control(int port, Texts texts)
{
    ipp_t *request = ippNewRequest(static_cast<ipp_op_t>(MacIppControl::Operation));
    for (const auto &text : texts) {
        const QByteArray value = text.second.toUtf8();
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_TEXT, text.first, nullptr, value.constData());
    }
    return exchange(port, request);
}
} // namespace

MacIppServerProcess::~MacIppServerProcess()
{
    stop();
}

bool MacIppServerProcess::start()
{
    const QStringList arguments{QStringLiteral("--owner"), QString::number(QCoreApplication::applicationPid()),
                                QStringLiteral("--log"), m_directory.filePath(QStringLiteral("requests.log"))};
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MACIPPSERVER_PATH), arguments);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(20000)) {
    }
    const QByteArray line = m_process.readLine().trimmed();
    m_port = line.startsWith("PORT=") ? line.mid(5).toInt() : 0;
    if (m_port <= 0) {
        m_error = QStringLiteral("macippserver did not report a port: ") + m_process.errorString();
        stop();
    }
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
    const QByteArray server = "127.0.0.1:" + QByteArray::number(m_port);
    // No client.conf of the machine may redirect or encrypt anything.
    qputenv("CUPS_SERVERROOT", QFile::encodeName(m_directory.path()));
    qputenv("CUPS_SERVER", server);
    cupsSetServer(server.constData());
    CUPS::Connection::instance()->reconnect(true);
}

QString MacIppServerProcess::errorString() const
{
    return m_error;
}

QStringList MacIppServerProcess::requestLog() const
{
    QFile log(m_directory.filePath(QStringLiteral("requests.log")));
    log.open(QIODevice::ReadOnly);
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool MacIppServerProcess::reset()
{
    return control(m_port, {{MacIppControl::Reset, QString()}}).isOk();
}

bool MacIppServerProcess::failOperation(const QString &operation, const QString &message)
{
    const Texts texts{{MacIppControl::FailOperation, operation}, {MacIppControl::FailMessage, message}};
    return control(m_port, texts).isOk();
}

bool MacIppServerProcess::setPermissions(const QList<int> &codes)
{
    QStringList texts;
    for (int code : codes) {
        texts.append(QString::number(code));
    }
    return control(m_port, {{MacIppControl::Permissions, texts.join(QLatin1Char(','))}}).isOk();
}

bool MacIppServerProcess::requireAuthentication(const QString &operation, const QString &password)
{
    const Texts texts{{MacIppControl::AuthOperation, operation}, {MacIppControl::AuthPassword, password}};
    return control(m_port, texts).isOk();
}
