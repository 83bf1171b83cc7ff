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
} // namespace

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
        // Wrong names from either side: answers read by the other's exchange.
        std::atomic<int> wrongNames{0};
        std::unique_ptr<QThread> worker(QThread::create([&, gui = QThread::currentThread()] {
            connection->lockOnBehalfOf(gui);
            for (int i = 0; i < 60; ++i) {
                Connection::IoLocker io;
                wrongNames += rawPrinterName(io.handle(), m_sandbox.server()) != QLatin1String("Office_PS");
            }
            connection->unlock();
        }));
        worker->start();
        // Meanwhile the GUI thread keeps the same connection busy with its own requests.
        int requests = 0;
        for (const QDeadlineTimer limit(60000); !worker->isFinished() && !limit.hasExpired(); ++requests) {
            const AttributeHash name = PrinterIppActions::instance()->destAttrs(m_queue, {Attr::PrinterName});
            wrongNames += Utils::getAttribute(name, Attr::PrinterName).toString() != m_queue;
        }
        QVERIFY(worker->wait(30000));
        connection->unlock();
        QCOMPARE(wrongNames.load(), 0);
        QVERIFY(requests > 0);
    }

    void aSilentServerFailsRawCallsAndLaterRequestsInTime_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("never answers") << QByteArray();
        // The wait falls in the body reads, where libcups reads one field at a time.
        const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: 2000\r\n";
        QTest::newRow("stops in the body") << head + "\r\n" + QByteArray::fromHex("020000000000000101");
    }
    void aSilentServerFailsRawCallsAndLaterRequestsInTime()
    {
        QFETCH(QByteArray, answer);
        QProcess silent;
        const QString server = startFakeServer(silent, answer, false);
        QVERIFY(!server.isEmpty());
        auto restore = qScopeGuard([this, &silent] {
            silent.close();
            m_sandbox.use();
            Connection::instance()->setTimeout(30000);
        });
        constexpr int timeoutMsecs = 1000;
        Connection::instance()->setTimeout(timeoutMsecs);
        cupsSetServer(server.toUtf8().constData());
        QVERIFY(Connection::instance()->reconnect(true));
        QElapsedTimer clock;
        clock.start();
        {
            Connection::IoLocker io;
            QVERIFY2(rawPrinterName(io.handle(), server).isEmpty(), "a raw call got an answer");
        }
        const qint64 rawMsecs = clock.restart();
        IppRequest request(IPP_OP_GET_PRINTER_ATTRIBUTES);
        QVERIFY2(!request.doRequest(Connection::instance(), QStringLiteral("/")).isOk(), "a request got one");
        const qint64 requestMsecs = clock.elapsed();
        // Each gives up on the timeout, not before; libcups may wait more than once in a call, not for ever.
        const QString took = QStringLiteral("%1 ms, then %2 ms").arg(rawMsecs).arg(requestMsecs);
        QVERIFY2(qMin(rawMsecs, requestMsecs) >= timeoutMsecs * 9 / 10, qPrintable(took));
        QVERIFY2(qMax(rawMsecs, requestMsecs) < 6 * timeoutMsecs, qPrintable(took));
    }

private:
    CupsSandbox m_sandbox;
    const QString m_queue = QStringLiteral("Raw_Queue");
};

QTEST_GUILESS_MAIN(IoLockerTest)

#include "iolockertest.moc"
