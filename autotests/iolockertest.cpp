#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <printerippactions.h>
#include <utils.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

using namespace CUPS;

namespace
{
// Office_PS's name, asked straight through libcups as the options dialog's worker sends its look-ups.
QString rawPrinterName(http_t *http, const QString &server)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    const QByteArray uri = QStringLiteral("ipp://%1/printers/Office_PS").arg(server).toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    const IppResponse response(cupsDoRequest(http, request, "/"));
    return Utils::getAttribute(response.attributes(), Attr::PrinterName).toString();
}

// Accepts, reads the request, sends the bytes given in hex on its command line, then stays silent;
// a process of its own (in Python, as the sandbox's scripts) while the test's thread is in the call.
const char SilentServer[] = R"(import socket, sys
listener = socket.create_server(('127.0.0.1', 0))
print(listener.getsockname()[1], flush=True)
clients = []
while True:
    clients.append(listener.accept()[0])
    clients[-1].recv(4096)
    clients[-1].sendall(bytes.fromhex(sys.argv[1]))
)";
} // namespace

// Connection::IoLocker: raw libcups calls on the shared connection take turns with the requests of the
// session's other threads, and give up on a silent server within about the connection's timeout.
class IoLockerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
    }

    void rawCallsOfAJoinedWorkerTakeTurnsWithRequests()
    {
        Connection *connection = Connection::instance();
        connection->lock();
        QThread *const gui = QThread::currentThread();
        std::atomic<bool> done{false};
        int rawFailures = 0;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            connection->lockOnBehalfOf(gui);
            for (int i = 0; i < 60; ++i) {
                Connection::IoLocker io;
                rawFailures += rawPrinterName(io.handle(), m_sandbox.server()) != QLatin1String("Office_PS");
            }
            connection->unlock();
            done = true;
        }));
        worker->start();
        // Meanwhile the GUI thread keeps the same connection busy with its own requests.
        int requests = 0;
        int requestFailures = 0;
        for (const QDeadlineTimer deadline(60000); !done && !deadline.hasExpired(); ++requests) {
            const AttributeHash name = PrinterIppActions::instance()->destAttrs(m_queue, {Attr::PrinterName});
            requestFailures += Utils::getAttribute(name, Attr::PrinterName).toString() != m_queue;
        }
        QVERIFY(worker->wait(30000));
        connection->unlock();
        QCOMPARE(rawFailures, 0);
        QCOMPARE(requestFailures, 0);
        QVERIFY(requests > 0);
    }

    void aSilentServerFailsRawCallsAndLaterRequestsInTime_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("never answers") << QByteArray();
        // The wait falls in the body reads, where libcups reads one field at a time.
        QTest::newRow("stops in the body")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: 2000\r\n\r\n")
                   + QByteArray::fromHex("020000000000000101");
    }
    void aSilentServerFailsRawCallsAndLaterRequestsInTime()
    {
        QFETCH(QByteArray, answer);
        QProcess silent;
        silent.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(SilentServer),
                                                 QString::fromLatin1(answer.toHex())});
        QVERIFY(silent.waitForReadyRead(10000));
        const QString server = QLatin1String("127.0.0.1:") + QString::fromLatin1(silent.readLine().trimmed());
        Connection *connection = Connection::instance();
        auto restore = qScopeGuard([this, connection, &silent] {
            silent.kill();
            silent.waitForFinished();
            m_sandbox.use();
            connection->setTimeout(30000);
        });
        constexpr int timeoutMsecs = 1000;
        connection->setTimeout(timeoutMsecs);
        cupsSetServer(server.toUtf8().constData());
        QVERIFY(connection->reconnect(true));
        const QVector<QPair<const char *, std::function<bool()>>> calls{
            {"a raw call under IoLocker", [&] {
                 Connection::IoLocker io;
                 return !rawPrinterName(io.handle(), server).isEmpty();
             }},
            {"a request after an IoLocker", [] {
                 IppRequest request(IPP_OP_GET_PRINTER_ATTRIBUTES);
                 return request.doRequest(Connection::instance(), QStringLiteral("/")).isOk();
             }},
        };
        for (const auto &call : calls) {
            QElapsedTimer clock;
            clock.start();
            QVERIFY2(!call.second(), call.first);
            // Gives up on the timeout, not before; libcups may wait more than once in a call, not for ever.
            const qint64 took = clock.elapsed();
            const QString message = QString::number(took) + QLatin1String(" ms");
            QVERIFY2(took >= timeoutMsecs * 9 / 10 && took < 6 * timeoutMsecs, qPrintable(message));
        }
    }

private:
    CupsSandbox m_sandbox;
    const QString m_queue = QStringLiteral("Raw_Queue");
};

QTEST_GUILESS_MAIN(IoLockerTest)

#include "iolockertest.moc"
