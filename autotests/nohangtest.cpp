#include "passwordcbsetter.h"

#include <connection.h>
#include <ipprequest.h>
#include <printerippactions.h>
#include <kapsmbutil.h>

#include <KPasswordDialog>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using CUPS::Connection;

namespace
{
constexpr int ShortTimeoutMsecs = 2000;
// What returning after a deadline may take: one grace period, a kill, a little scheduling.
constexpr int MarginMsecs = 1500;

/*
 * A loopback server that answers every request with HTTP 200, announces an
 * 8 GiB IPP answer and then sends attributes until the client goes away, at
 * about 16 MB/s so the deadline rather than the size cap ends a full read.
 */
class EndlessServer
{
public:
    EndlessServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 4);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            serve();
        });
    }
    ~EndlessServer()
    {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    int port() const
    {
        return m_port;
    }

private:
    void serve()
    {
        QByteArray head("HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: 8589934592\r\n\r\n"
                        "\x02\x00\x00\x00\x00\x00\x00\x01\x01",
                        96);
        QByteArray attribute("\x41\x00\x01x\x03\xe8", 6);
        attribute.append(1000, 'a');
        const QByteArray block = attribute.repeated(16);
        int client = -1;
        while (!m_stopping && (client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0) {
            char request[4096];
            ::recv(client, request, sizeof request, 0);
            bool open = ::send(client, head.constData(), size_t(head.size()), MSG_NOSIGNAL) > 0;
            while (open && !m_stopping) {
                open = ::send(client, block.constData(), size_t(block.size()), MSG_NOSIGNAL) > 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ::close(client);
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

bool processGone(const QString &pidFile)
{
    QFile file(pidFile);
    const pid_t pid = file.open(QIODevice::ReadOnly) ? pid_t(file.readAll().trimmed().toInt()) : 0;
    return pid > 0 && ::kill(pid, 0) != 0;
}
} // namespace

class NoHangTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void anEndlessAnswerFailsWithinTheTimeout_data();
    void anEndlessAnswerFailsWithinTheTimeout();
    void stoppingAWorkerClosesItsPasswordPrompt();
    void aProgramIgnoringTermIsKilledAfterItsWait_data();
    void aProgramIgnoringTermIsKilledAfterItsWait();
};

void NoHangTest::anEndlessAnswerFailsWithinTheTimeout_data()
{
    QTest::addColumn<bool>("raw");
    QTest::addColumn<qint64>("sizeLimit");
    QTest::addColumn<QString>("error");
    QTest::newRow("request, over the size cap") << false << qint64(1024 * 1024) << QStringLiteral("larger than 1 MiB");
    QTest::newRow("request, past the deadline") << false << qint64(0) << QStringLiteral("did not finish its answer within 2 seconds");
    QTest::newRow("raw libcups call") << true << qint64(0) << QStringLiteral("did not finish its answer within 2 seconds");
}

void NoHangTest::anEndlessAnswerFailsWithinTheTimeout()
{
    QFETCH(bool, raw);
    QFETCH(qint64, sizeLimit);
    QFETCH(QString, error);
    EndlessServer server;
    cupsSetServer("127.0.0.1");
    ippSetPort(server.port());
    Connection *connection = Connection::instance();
    connection->setTimeout(ShortTimeoutMsecs);
    QVERIFY(connection->reconnect(true));
    CUPS::IppRequest::setAnswerSizeLimit(sizeLimit);
    auto restoreLimit = qScopeGuard([] {
        CUPS::IppRequest::setAnswerSizeLimit(0);
    });

    QElapsedTimer clock;
    clock.start();
    if (raw) {
        // cupsGetPPD3() first asks for the printer's attributes and reads the endless answer.
        QVERIFY(CUPS::PrinterIppActions::instance()->getPPD(QStringLiteral("endless")).isEmpty());
    } else {
        QVERIFY(CUPS::IppRequest(IPP_OP_GET_PRINTER_ATTRIBUTES).doRequest(connection, QStringLiteral("/")).isNull());
    }
    QVERIFY2(clock.elapsed() < ShortTimeoutMsecs + MarginMsecs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(Connection::lastErrorString().contains(error), qPrintable(Connection::lastErrorString()));
}

// A dialog closing while its worker waits for the user's password must not wait for that answer:
// the worker gives up, the prompt goes, and both threads carry on.
void NoHangTest::stoppingAWorkerClosesItsPasswordPrompt()
{
    const char *answer = "unset";
    std::unique_ptr<QThread> worker(QThread::create([&answer] {
        answer = CUPS::passwordCallback("Password:", nullptr, "POST", "/", nullptr);
    }));
    QPointer<KPasswordDialog> prompt;
    QTimer owner;
    connect(&owner, &QTimer::timeout, [&] {
        prompt = qobject_cast<KPasswordDialog *>(QApplication::activeModalWidget());
        if (prompt) {
            owner.stop();
            // As the owner's close does: from within the prompt's own event loop, blocking.
            worker->requestInterruption();
            QVERIFY(worker->wait(ShortTimeoutMsecs));
        }
    });
    owner.start(10);
    worker->start();
    QVERIFY(QTest::qWaitFor([&] { return worker->isFinished() && !prompt; }, 10000));
    QCOMPARE(answer, nullptr);
}

void NoHangTest::aProgramIgnoringTermIsKilledAfterItsWait_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("waitMsecs");
    QTest::newRow("smbclient") << QStringLiteral("smbclient") << 1000;
    QTest::newRow("testparm") << QStringLiteral("testparm") << 3000;
}

void NoHangTest::aProgramIgnoringTermIsKilledAfterItsWait()
{
    QFETCH(QString, program);
    QFETCH(int, waitMsecs);
    QTemporaryDir bin;
    const QString pidFile = bin.filePath(QStringLiteral("pid"));
    QFile stub(bin.filePath(program));
    QVERIFY(stub.open(QIODevice::WriteOnly));
    stub.write("#!/bin/sh\necho $$ > '" + QFile::encodeName(pidFile) + "'\ntrap '' TERM\nexec /bin/sleep 30\n");
    stub.close();
    stub.setPermissions(stub.permissions() | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()));
    auto restorePath = qScopeGuard([&path] {
        qputenv("PATH", path);
    });
    CUPS::KapSmbUtil::setSmbClientTimeout(waitMsecs);

    QElapsedTimer clock;
    clock.start();
    CUPS::KapSmbUtil util;
    if (program == QLatin1String("smbclient")) {
        CUPS::SmbInfo host{QStringLiteral("WORKGROUP"), QStringLiteral("SERVER"), QStringLiteral("127.0.0.1"), {}};
        QVERIFY(!util.getPrinters(&host, QString(), QString()));
    } else {
        QCOMPARE(util.getWorkgroup(), QStringLiteral("WORKGROUP"));
    }
    QVERIFY2(clock.elapsed() < waitMsecs + MarginMsecs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(processGone(pidFile));
}

QTEST_MAIN(NoHangTest)

#include "nohangtest.moc"
