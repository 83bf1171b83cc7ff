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
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <signal.h>

using namespace CUPS;

namespace
{
constexpr int ShortTimeoutMsecs = 2000;
// What returning after a deadline may take: one grace period, a kill, a little scheduling.
constexpr int MarginMsecs = 1500;

// HTTP 200 announcing 8 GiB of IPP, then attributes at ~16 MB/s (the deadline comes before the cap) for ever.
// A process of its own (in Python, as the sandbox's scripts): the test's thread is blocked in the call.
const char EndlessServer[] = R"(import socket, time
listener = socket.create_server(('127.0.0.1', 0))
print(listener.getsockname()[1], flush=True)
client = listener.accept()[0]
client.recv(4096)
client.sendall(b'HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: 8589934592\r\n\r\n'
               + bytes([2, 0, 0, 0, 0, 0, 0, 1, 1]))
while True:
    client.sendall((b'\x41\x00\x01x\x03\xe8' + b'a' * 1000) * 16)
    time.sleep(0.001)
)";
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
        QProcess server;
        server.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(EndlessServer)});
        QVERIFY(server.waitForReadyRead(10000));
        cupsSetServer("127.0.0.1");
        ippSetPort(server.readLine().trimmed().toInt());
        Connection::instance()->setTimeout(ShortTimeoutMsecs);
        QVERIFY(Connection::instance()->reconnect(true));
        IppRequest::setAnswerSizeLimit(sizeLimit);
        QElapsedTimer clock;
        clock.start();
        if (raw) { // cupsGetPPD3() first asks for the printer's attributes
            QVERIFY(PrinterIppActions::instance()->getPPD(QStringLiteral("endless")).isEmpty());
        } else {
            IppRequest request(IPP_OP_GET_PRINTER_ATTRIBUTES);
            QVERIFY(request.doRequest(Connection::instance(), QStringLiteral("/")).isNull());
        }
        const QString took = QString::number(clock.elapsed()) + QLatin1String(" ms");
        QVERIFY2(clock.elapsed() < ShortTimeoutMsecs + MarginMsecs, qPrintable(took));
        const QString error = QLatin1String(sizeLimit ? "larger than 1 MiB" : "within 2 seconds");
        QVERIFY2(Connection::lastErrorString().contains(error), qPrintable(Connection::lastErrorString()));
        server.kill();
        server.waitForFinished();
    }

    // As a dialog closing while its worker waits for a password: stopped from within the prompt's loop.
    void stoppingAWorkerClosesItsPasswordPrompt()
    {
        const char *answer = "unset";
        QScopedPointer<QThread> worker(QThread::create([&answer] {
            answer = passwordCallback("Password:", nullptr, "POST", "/", nullptr);
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
        QVERIFY(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\necho $$ > \"${0%/*}/pid\"\ntrap '' TERM\nexec /bin/sleep 30\n");
        stub.close();
        stub.setPermissions(stub.permissions() | QFileDevice::ExeOwner);
        qputenv("PATH", QFile::encodeName(bin.path()));
        KapSmbUtil::setSmbClientTimeout(1000);
        QElapsedTimer clock;
        clock.start();
        SmbInfo host{QStringLiteral("WORKGROUP"), QStringLiteral("SERVER"), QStringLiteral("127.0.0.1"), {}};
        QVERIFY(!KapSmbUtil().getPrinters(&host, QString(), QString()));
        QVERIFY2(clock.elapsed() < 1000 + MarginMsecs, qPrintable(QString::number(clock.elapsed())));
        QFile pid(bin.filePath(QStringLiteral("pid")));
        QVERIFY(pid.open(QIODevice::ReadOnly));
        QCOMPARE(::kill(pid_t(pid.readAll().trimmed().toInt()), 0), -1);
    }
};

QTEST_MAIN(NoHangTest)

#include "nohangtest.moc"
