#include "cupssandbox.h"

#include <connection.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <cups/cups.h>

namespace
{
QString script()
{
    return QStringLiteral(NORVIK_SOURCE_DIR "/scripts/cups-sandbox");
}

constexpr int StartTimeoutMsecs = 120000;

// In Python, as the sandbox's scripts: the bytes in hex, then "hang-up" or not.
const char FakeServerScript[] = R"(import socket, sys
listener = socket.create_server(('127.0.0.1', 0))
print(listener.getsockname()[1], flush=True)
clients = []
while True:
    clients.append(listener.accept()[0])
    clients[-1].recv(4096)
    if sys.argv[1]:
        clients[-1].sendall(bytes.fromhex(sys.argv[1]))
        if sys.argv[2] == 'hang-up':
            clients[-1].close()
)";
} // namespace

QString startFakeServer(QProcess &process, const QByteArray &answer, bool hangUp)
{
    process.start(QStringLiteral("python3"),
                  {QStringLiteral("-c"), QString::fromLatin1(FakeServerScript), QString::fromLatin1(answer.toHex()),
                   hangUp ? QStringLiteral("hang-up") : QStringLiteral("stay")});
    if (!process.waitForReadyRead(10000)) {
        return QString();
    }
    return QLatin1String("127.0.0.1:") + QString::fromLatin1(process.readLine().trimmed());
}

CupsSandbox::~CupsSandbox()
{
    stop();
}

bool CupsSandbox::start(bool sample)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // --owner: the server goes with this process even if a test crashes.
    QStringList arguments{QStringLiteral("start"), QStringLiteral("--owner"), QString::number(QCoreApplication::applicationPid())};
    if (sample) {
        arguments << QStringLiteral("--sample");
    }
    process.start(script(), arguments);
    if (!process.waitForFinished(StartTimeoutMsecs) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QString::fromLocal8Bit(process.readAllStandardError());
        process.kill();
        return false;
    }
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString value = line.section(QLatin1Char('='), 1);
        if (line.startsWith(QLatin1String("CUPS_SERVER="))) {
            m_server = value;
        } else if (line.startsWith(QLatin1String("CUPS_SANDBOX_DIR="))) {
            m_directory = value;
        } else if (line.startsWith(QLatin1String("CUPS_SANDBOX_HOME="))) {
            m_home = value;
        }
    }
    if (m_server.isEmpty() || m_directory.isEmpty()) {
        m_error = QStringLiteral("cups-sandbox printed no server: ") + lines.join(QLatin1Char('\n'));
        return false;
    }
    use();
    return true;
}

void CupsSandbox::use() const
{
    qputenv("CUPS_SERVER", m_server.toLocal8Bit());
    qputenv("CUPS_SERVERROOT", m_directory.toLocal8Bit());
    if (!m_home.isEmpty()) {
        qputenv("HOME", m_home.toLocal8Bit());
    }
    // libcups caches the server per thread once asked; tell it directly too.
    cupsSetServer(m_server.toLocal8Bit().constData());
    CUPS::Connection::instance()->reconnect(true);
}

void CupsSandbox::stop()
{
    if (m_directory.isEmpty()) {
        return;
    }
    QProcess::execute(script(), {QStringLiteral("stop"), QStringLiteral("--dir"), m_directory});
    m_directory.clear();
    m_server.clear();
}

bool CupsSandbox::pause()
{
    return !m_directory.isEmpty()
        && QProcess::execute(script(), {QStringLiteral("stop"), QStringLiteral("--keep"), QStringLiteral("--dir"), m_directory}) == 0;
}

bool CupsSandbox::resume()
{
    const QStringList arguments{QStringLiteral("resume"),
                                QStringLiteral("--dir"),
                                m_directory,
                                QStringLiteral("--owner"),
                                QString::number(QCoreApplication::applicationPid())};
    return !m_directory.isEmpty() && QProcess::execute(script(), arguments) == 0;
}

bool CupsSandbox::isRunning() const
{
    return !m_server.isEmpty();
}

QString CupsSandbox::errorString() const
{
    return m_error;
}

QString CupsSandbox::server() const
{
    return m_server;
}

QString CupsSandbox::directory() const
{
    return m_directory;
}

QString CupsSandbox::home() const
{
    return m_home;
}

bool CupsSandbox::run(const QString &program, const QStringList &arguments, QString *output) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), m_server);
    env.insert(QStringLiteral("CUPS_SERVERROOT"), m_directory);
    if (!m_home.isEmpty()) {
        env.insert(QStringLiteral("HOME"), m_home);
    }
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    if (output) {
        *output = QString::fromLocal8Bit(process.readAll());
    }
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString CupsSandbox::output(const QString &program, const QStringList &arguments) const
{
    QString text;
    run(program, arguments, &text);
    return text;
}

bool CupsSandbox::addPrinter(const QString &name, const QStringList &extraArguments) const
{
    return run(QStringLiteral("lpadmin"),
               QStringList{QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"), QStringLiteral("file:///dev/null")} + extraArguments);
}
