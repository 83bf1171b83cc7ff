#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <printerippactions.h>
#include <utils.h>

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <functional>

using CUPS::Connection;

namespace
{
// One Get-Printer-Attributes straight through libcups, as the options dialog's worker sends its look-ups.
QString rawPrinterName(http_t *http, const QString &server, const char *printer)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    const QByteArray uri = QStringLiteral("ipp://%1/printers/%2").arg(server, QLatin1String(printer)).toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    const std::unique_ptr<ipp_t, decltype(&ippDelete)> response(cupsDoRequest(http, request, "/"), ippDelete);
    ipp_attribute_t *name = response ? ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME) : nullptr;
    return name ? QString::fromUtf8(ippGetString(name, 0, nullptr)) : QString();
}

// Accepts, reads the request, sends what it was given, then stays silent.
class SilentServer : public QTcpServer
{
public:
    SilentServer(const QByteArray &answer, QObject *parent)
        : QTcpServer(parent)
        , m_answer(answer)
    {
        connect(this, &QTcpServer::newConnection, this, &SilentServer::takeConnections);
    }

    // Closes every connection, which frees a client still waiting for an answer.
    void hangUp()
    {
        close();
        qDeleteAll(findChildren<QTcpSocket *>());
    }

private:
    void takeConnections()
    {
        while (QTcpSocket *socket = nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                socket->readAll();
                if (!m_answer.isEmpty() && !socket->property("answered").toBool()) {
                    socket->setProperty("answered", true);
                    socket->write(m_answer);
                }
            });
        }
    }

    const QByteArray m_answer;
};

struct TimedOutcome {
    bool succeeded = false;
    bool hung = false;
    qint64 msecs = 0;
};

// Runs call in a worker while this thread's event loop serves the silent server.
TimedOutcome runWhileServing(SilentServer *server, const std::function<bool()> &call, int deadlineMsecs)
{
    TimedOutcome outcome;
    QAtomicInt done(0);
    QThread *worker = QThread::create([&] {
        QElapsedTimer clock;
        clock.start();
        outcome.succeeded = call();
        outcome.msecs = clock.elapsed();
        done.storeRelease(1);
    });
    worker->start();
    QDeadlineTimer deadline(deadlineMsecs);
    while (!done.loadAcquire() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (!done.loadAcquire()) {
        outcome.hung = true;
        server->hangUp();
    }
    worker->wait();
    delete worker;
    return outcome;
}
} // namespace

/**
 * Connection::IoLocker: raw libcups calls on the shared connection take
 * turns with the requests other threads of the same session send, and give
 * up on a silent server within about the connection's timeout.
 */
class IoLockerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void rawCallsOfAJoinedWorkerTakeTurnsWithRequests();
    void rawCallsOutsideTheSessionWaitForIt();
    void aSilentServerFailsRawCallsAndLaterRequestsInTime_data();
    void aSilentServerFailsRawCallsAndLaterRequestsInTime();

private:
    CupsSandbox m_sandbox;
};

void IoLockerTest::initTestCase()
{
    QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
}

void IoLockerTest::rawCallsOfAJoinedWorkerTakeTurnsWithRequests()
{
    Connection *connection = Connection::instance();
    connection->lock();
    QThread *const gui = QThread::currentThread();
    const QString server = m_sandbox.server();
    QAtomicInt done(0);
    int rawFailures = 0;
    QThread *worker = QThread::create([&] {
        connection->lockOnBehalfOf(gui);
        for (int i = 0; i < 60; ++i) {
            Connection::IoLocker io;
            if (rawPrinterName(io.handle(), server, "Office_PS") != QLatin1String("Office_PS")) {
                ++rawFailures;
            }
        }
        connection->unlock();
        done.storeRelease(1);
    });
    worker->start();
    // Meanwhile the GUI thread keeps the same connection busy with its own requests.
    int requests = 0;
    int requestFailures = 0;
    QDeadlineTimer deadline(60000);
    while (!done.loadAcquire() && !deadline.hasExpired()) {
        const QHash<QString, QVariant> attributes = CUPS::PrinterIppActions::instance()->destAttrs(QStringLiteral("Raw_Queue"), {CUPS::Attr::PrinterName});
        if (CUPS::Utils::getAttribute(attributes, CUPS::Attr::PrinterName).toString() != QLatin1String("Raw_Queue")) {
            ++requestFailures;
        }
        ++requests;
    }
    QVERIFY(worker->wait(30000));
    delete worker;
    connection->unlock();
    QCOMPARE(rawFailures, 0);
    QCOMPARE(requestFailures, 0);
    QVERIFY(requests > 0);
    QVERIFY(!connection->isLockedByCallingThread());
}

void IoLockerTest::rawCallsOutsideTheSessionWaitForIt()
{
    Connection *connection = Connection::instance();
    connection->lock();
    bool held = true;
    // Released on every way out: a later test would wait for it forever.
    auto release = qScopeGuard([&] {
        if (held) {
            connection->unlock();
        }
    });
    QAtomicInt got(0);
    QThread *outsider = QThread::create([&] {
        Connection::IoLocker io;
        got.storeRelease(io.handle() ? 1 : -1);
    });
    outsider->start();
    // Not admitted to the session: it must still be waiting while this thread holds it.
    QVERIFY(!outsider->wait(300));
    QCOMPARE(got.loadAcquire(), 0);
    connection->unlock();
    held = false;
    QVERIFY(outsider->wait(10000));
    delete outsider;
    QCOMPARE(got.loadAcquire(), 1);
}

void IoLockerTest::aSilentServerFailsRawCallsAndLaterRequestsInTime_data()
{
    static const char partialAnswer[] =
        "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: 2000\r\n\r\n"
        "\x02\x00\x00\x00\x00\x00\x00\x01\x01";
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("never answers") << QByteArray();
    // The wait falls in the body reads, where libcups reads one field at a time.
    QTest::newRow("stops in the body") << QByteArray(partialAnswer, sizeof(partialAnswer) - 1);
}

void IoLockerTest::aSilentServerFailsRawCallsAndLaterRequestsInTime()
{
    QFETCH(QByteArray, answer);
    SilentServer silent(answer, this);
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const QString server = QStringLiteral("127.0.0.1:%1").arg(silent.serverPort());
    Connection *connection = Connection::instance();
    auto restore = qScopeGuard([this, connection] {
        m_sandbox.use();
        connection->setTimeout(30000);
        connection->reconnect(true);
    });
    constexpr int timeoutMsecs = 1000;
    connection->setTimeout(timeoutMsecs);
    cupsSetServer(server.toUtf8().constData());
    QVERIFY(connection->reconnect(true));
    // libcups may wait more than once in one call; without a bound it waits until the server goes.
    constexpr int boundMsecs = 6 * timeoutMsecs;

    const QVector<QPair<const char *, std::function<bool()>>> calls{
        {"a raw call under IoLocker",
         [&] {
             Connection::IoLocker io;
             return !rawPrinterName(io.handle(), server, "Office_PS").isEmpty();
         }},
        {"a request after an IoLocker",
         [] {
             return CUPS::IppRequest(IPP_OP_GET_PRINTER_ATTRIBUTES).doRequest(Connection::instance(), QStringLiteral("/")).isOk();
         }},
    };
    for (const auto &call : calls) {
        const TimedOutcome outcome = runWhileServing(&silent, call.second, boundMsecs);
        QVERIFY2(!outcome.hung, call.first);
        QVERIFY2(!outcome.succeeded, call.first);
        // Gives up on the timeout, not before.
        QVERIFY2(outcome.msecs >= timeoutMsecs * 9 / 10, qPrintable(QStringLiteral("%1 gave up after %2 ms").arg(QLatin1String(call.first)).arg(outcome.msecs)));
    }
}

QTEST_GUILESS_MAIN(IoLockerTest)

#include "iolockertest.moc"
