#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <printerippactions.h>
#include <utils.h>

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

using CUPS::Connection;

namespace
{
struct IppDeleter {
    void operator()(ipp_t *ipp) const
    {
        ippDelete(ipp);
    }
};

// One Get-Printer-Attributes straight through libcups, as the options dialog's worker sends its look-ups.
QString rawPrinterName(http_t *http, const QString &server, const char *printer)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    const QByteArray uri = QStringLiteral("ipp://%1/printers/%2").arg(server, QLatin1String(printer)).toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http, request, "/"));
    ipp_attribute_t *name = response ? ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME) : nullptr;
    return name ? QString::fromUtf8(ippGetString(name, 0, nullptr)) : QString();
}
} // namespace

/**
 * Connection::IoLocker: raw libcups calls on the shared connection take
 * turns with the requests other threads of the same session send.
 */
class IoLockerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void rawCallsOfAJoinedWorkerTakeTurnsWithRequests();
    void rawCallsOutsideTheSessionWaitForIt();

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
    QVERIFY(outsider->wait(10000));
    delete outsider;
    QCOMPARE(got.loadAcquire(), 1);
}

QTEST_GUILESS_MAIN(IoLockerTest)

#include "iolockertest.moc"
