#include "passwordcbsetter.h"

#include <connection.h>
#include <ipprequest.h>
#include <kapsmbutil.h>
#include <printerippactions.h>

#include <KPasswordDialog>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

using CUPS::Connection;

namespace
{
constexpr int ShortTimeoutMsecs = 2000;
// What returning after a deadline may take: one grace period, a kill, a little scheduling.
constexpr int MarginMsecs = 1500;
#define VERIFY_WITHIN(clock, msecs) QVERIFY2((clock).elapsed() < (msecs) + MarginMsecs, qPrintable(QString::number((clock).elapsed())))

// HTTP 200 announcing 8 GiB of IPP, then attributes at ~16 MB/s (the deadline comes before the cap) for ever.
struct EndlessServer {
    EndlessServer()
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 4);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            static const char headBytes[] = "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: 8589934592\r\n\r\n"
                                            "\x02\x00\x00\x00\x00\x00\x00\x01\x01";
            const QByteArray head(headBytes, sizeof headBytes - 1);
            const QByteArray block = QByteArray(QByteArray("\x41\x00\x01x\x03\xe8", 6) + QByteArray(1000, 'a')).repeated(16);
            for (int client; !m_stopping && (client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ::close(client)) {
                char request[4096];
                ::recv(client, request, sizeof request, 0);
                ::send(client, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
                while (!m_stopping && ::send(client, block.constData(), size_t(block.size()), MSG_NOSIGNAL) > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
        });
    }
    ~EndlessServer()
    {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    int port = 0;
    const int m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
} // namespace

class NoHangTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void anEndlessAnswerFailsWithinTheTimeout_data()
    {
        QTest::addColumn<bool>("raw");
        QTest::addColumn<qint64>("sizeLimit"); // 0: the default
        QTest::newRow("request, over the size cap") << false << qint64(1024 * 1024);
        QTest::newRow("request, past the deadline") << false << qint64(0);
        QTest::newRow("raw libcups call") << true << qint64(0);
    }
    void anEndlessAnswerFailsWithinTheTimeout()
    {
        QFETCH(bool, raw);
        QFETCH(qint64, sizeLimit);
        EndlessServer server;
        cupsSetServer("127.0.0.1");
        ippSetPort(server.port);
        Connection *connection = Connection::instance();
        connection->setTimeout(ShortTimeoutMsecs);
        QVERIFY(connection->reconnect(true));
        CUPS::IppRequest::setAnswerSizeLimit(sizeLimit);
        QElapsedTimer clock;
        clock.start();
        if (raw) { // cupsGetPPD3() first asks for the printer's attributes
            QVERIFY(CUPS::PrinterIppActions::instance()->getPPD(QStringLiteral("endless")).isEmpty());
        } else {
            QVERIFY(CUPS::IppRequest(IPP_OP_GET_PRINTER_ATTRIBUTES).doRequest(connection, QStringLiteral("/")).isNull());
        }
        VERIFY_WITHIN(clock, ShortTimeoutMsecs);
        const QString error = sizeLimit ? QStringLiteral("larger than 1 MiB") : QStringLiteral("did not finish its answer within 2 seconds");
        QVERIFY2(Connection::lastErrorString().contains(error), qPrintable(Connection::lastErrorString()));
    }

    // As a dialog closing while its worker waits for a password: stop the worker from within the prompt's loop.
    void stoppingAWorkerClosesItsPasswordPrompt()
    {
        const char *answer = "unset";
        QScopedPointer<QThread> worker(QThread::create([&answer] {
            answer = CUPS::passwordCallback("Password:", nullptr, "POST", "/", nullptr);
        }));
        QPointer<KPasswordDialog> prompt;
        QTimer owner;
        connect(&owner, &QTimer::timeout, [&] {
            if ((prompt = qobject_cast<KPasswordDialog *>(QApplication::activeModalWidget()))) {
                owner.stop();
                worker->requestInterruption();
                QVERIFY(worker->wait(ShortTimeoutMsecs));
            }
        });
        owner.start(10);
        worker->start();
        QVERIFY(QTest::qWaitFor([&] { return worker->isFinished() && !prompt; }, 10000));
        QCOMPARE(answer, nullptr);
    }

    // smbclient's own wait; every program of the wizard is stopped the same way.
    void aProgramIgnoringTermIsKilledAfterItsWait()
    {
        QTemporaryDir bin;
        QFile stub(bin.filePath(QStringLiteral("smbclient")));
        QVERIFY(stub.open(QIODevice::WriteOnly) && stub.write("#!/bin/sh\necho $$ > \"${0%/*}/pid\"\ntrap '' TERM\nexec /bin/sleep 30\n") > 0);
        stub.close();
        stub.setPermissions(stub.permissions() | QFileDevice::ExeOwner);
        qputenv("PATH", QFile::encodeName(bin.path()));
        CUPS::KapSmbUtil::setSmbClientTimeout(1000);
        QElapsedTimer clock;
        clock.start();
        CUPS::SmbInfo host{QStringLiteral("WORKGROUP"), QStringLiteral("SERVER"), QStringLiteral("127.0.0.1"), {}};
        QVERIFY(!CUPS::KapSmbUtil().getPrinters(&host, QString(), QString()));
        VERIFY_WITHIN(clock, 1000);
        QFile pid(bin.filePath(QStringLiteral("pid")));
        QVERIFY(pid.open(QIODevice::ReadOnly));
        QCOMPARE(::kill(pid_t(pid.readAll().trimmed().toInt()), 0), -1);
    }
};

QTEST_MAIN(NoHangTest)

#include "nohangtest.moc"
