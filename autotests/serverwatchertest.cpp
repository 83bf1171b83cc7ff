#include "cupssandbox.h"
#include "jobtools.h"
#include "macippserverprocess.h"

#include <connection.h>
#include <serverwatcher.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>

using namespace CUPS;

class ServerWatcherTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
    }

    void theSubscriptionIsRenewedAndCancelledAtTheEnd()
    {
        ServerWatcher watcher;
        watcher.setPollInterval(100);
        watcher.setLeaseDuration(4); // renewed at half of it: two seconds of slack for a slow (sanitized) run
        const int renewals = logged("Renew-Subscription successful-ok");
        const int cancels = logged("Cancel-Subscription successful-ok");
        watcher.start();
        // The third renewal comes after the first lease would have ended.
        QTRY_VERIFY_WITH_TIMEOUT(logged("Renew-Subscription successful-ok") >= renewals + 3, 20000);
        watcher.stop();
        QTRY_COMPARE(logged("Cancel-Subscription successful-ok"), cancels + 1);
    }

    // The watcher never waits for the connection: it skips its poll and the event loop goes on.
    void aBusyConnectionSkipsThePollWithoutBlocking_data()
    {
        QTest::addColumn<bool>("otherThread");
        QTest::newRow("another thread holds it") << true;
        QTest::newRow("a nested loop of this thread holds it") << false;
    }
    void aBusyConnectionSkipsThePollWithoutBlocking()
    {
        QFETCH(bool, otherThread);
        ServerWatcher watcher;
        watcher.setPollInterval(50);
        watcher.start();
        QSignalSpy printers(&watcher, &ServerWatcher::printersChanged);
        QSignalSpy jobs(&watcher, &ServerWatcher::jobsChanged);
        QSemaphore held, done;
        std::unique_ptr<QThread> holder(QThread::create([&] {
            Connection::instance()->lock();
            held.release();
            done.tryAcquire(1, 10000); // a blocked GUI thread cannot release it; fail rather than hang
            Connection::instance()->unlock();
        }));
        otherThread ? (holder->start(), held.acquire()) : Connection::instance()->lock();
        // Changes by another client, told once the connection is free.
        QVERIFY(JobTools::submit(m_sandbox, QStringLiteral("Raw_Queue"), QStringLiteral("watched")) > 0);
        QVERIFY(m_sandbox.run(otherThread ? QStringLiteral("cupsdisable") : QStringLiteral("cupsenable"),
                              {QStringLiteral("Office_PS")}));
        const QDeadlineTimer busy(300);
        QTRY_VERIFY(busy.hasExpired()); // the event loop runs on while several polls are due
        QVERIFY(jobs.isEmpty() && printers.isEmpty());
        otherThread ? done.release() : Connection::instance()->unlock();
        QVERIFY(!otherThread || holder->wait(10000));
        QTRY_VERIFY(!jobs.isEmpty() && !printers.isEmpty());
    }

    // Last: it points libcups elsewhere. Without subscriptions all is reloaded now and then; a server
    // that does not answer is asked less and less often; once it is back the watcher subscribes again.
    void aServerRefusingOrSilentIsReloadedOrAskedLessOften()
    {
        MacIppServerProcess refusing;
        QVERIFY2(refusing.start(), qPrintable(refusing.errorString()));
        refusing.use();
        ServerWatcher watcher;
        watcher.setPollInterval(50);
        watcher.setFallbackInterval(100);
        watcher.setResubscribeInterval(300);
        watcher.setRequestTimeout(100); // far below Connection's 30 s timeout
        watcher.setMaxBackoffInterval(800);
        QSignalSpy printers(&watcher, &ServerWatcher::printersChanged);
        watcher.start();
        QTRY_VERIFY(printers.count() >= 3);
        QTcpServer silent; // takes the connections and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        cupsSetServer(QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()).toLatin1().constData());
        printers.clear();
        QTRY_COMPARE(watcher.currentInterval(), 800); // doubled after each request without an answer
        QVERIFY(printers.isEmpty());
        m_sandbox.use();
        QTRY_COMPARE(watcher.currentInterval(), 50);
        QVERIFY(watcher.isSubscribed() && !printers.isEmpty());
    }

private:
    // Requests in cupsd's access log.
    int logged(const char *operationAndStatus) const
    {
        QFile log(m_sandbox.directory() + QStringLiteral("/log/access_log"));
        return log.open(QIODevice::ReadOnly) ? log.readAll().count(operationAndStatus) : -1;
    }

    CupsSandbox m_sandbox;
};

QTEST_GUILESS_MAIN(ServerWatcherTest)
#include "serverwatchertest.moc"
