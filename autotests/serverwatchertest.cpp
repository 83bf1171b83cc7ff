#include "cupssandbox.h"
#include "macippserverprocess.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <serverwatcher.h>
#include <utils.h>

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>

using namespace CUPS;

class ServerWatcherTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        m_sandbox.use();
    }

    void aChangeByAnotherClientIsSignalled_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("printers");
        QTest::newRow("printer stopped") << QStringLiteral("cupsdisable") << QStringList{QStringLiteral("Office_PS")} << true;
        QTest::newRow("jobs cancelled") << QStringLiteral("cancel") << QStringList{QStringLiteral("-a"), QStringLiteral("Office_PS")} << false;
    }
    void aChangeByAnotherClientIsSignalled()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(bool, printers);
        ServerWatcher watcher;
        watcher.start();
        QVERIFY(watcher.isSubscribed());
        QSignalSpy spy(&watcher, printers ? &ServerWatcher::printersChanged : &ServerWatcher::jobsChanged);
        QVERIFY(m_sandbox.run(program, arguments));
        QTRY_VERIFY(!spy.isEmpty());
    }

    void theSubscriptionIsRenewedAndCancelledAtTheEnd_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("stopped") << false;
        QTest::newRow("destroyed") << true;
    }
    void theSubscriptionIsRenewedAndCancelledAtTheEnd()
    {
        QFETCH(bool, destroy);
        auto watcher = std::make_unique<ServerWatcher>();
        watcher->setPollInterval(100);
        watcher->setLeaseDuration(4); // renewed at half of it: two seconds of slack for a slow (sanitized) run
        const int renewals = logged(QStringLiteral("Renew-Subscription successful-ok"));
        watcher->start();
        const int id = watcher->subscriptionId();
        QVERIFY(serverHasSubscription(id));
        // Renewed every two seconds: the third renewal comes after the first lease would have ended.
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("Renew-Subscription successful-ok")) >= renewals + 3, 20000);
        QVERIFY(serverHasSubscription(id));
        destroy ? watcher.reset() : watcher->stop();
        QVERIFY(!serverHasSubscription(id));
    }

    void aServerRefusingSubscriptionsIsReloadedPeriodically()
    {
        MacIppServerProcess refusing;
        QVERIFY2(refusing.start(), qPrintable(refusing.errorString()));
        refusing.use();
        auto back = qScopeGuard([this] {
            m_sandbox.use();
        });
        ServerWatcher watcher;
        watcher.setFallbackInterval(100);
        watcher.setResubscribeInterval(300);
        QSignalSpy printers(&watcher, &ServerWatcher::printersChanged);
        QSignalSpy jobs(&watcher, &ServerWatcher::jobsChanged);
        watcher.start();
        QVERIFY(!watcher.isSubscribed());
        QTRY_VERIFY(printers.count() >= 3 && jobs.count() >= 3);
        // Asked again now and then: once at start and at least once since.
        QTRY_VERIFY(refusing.requestLog().filter(QRegularExpression(QStringLiteral("^16 501 "))).count() >= 2);
        refusing.stop(); // silent now: not reloaded, and asked less and less often
        QTRY_VERIFY(watcher.currentInterval() > 100);
    }

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
        QVERIFY(watcher.isSubscribed());
        QSignalSpy jobs(&watcher, &ServerWatcher::jobsChanged);
        Connection *connection = Connection::instance();
        QSemaphore held;
        QSemaphore done;
        std::unique_ptr<QThread> holder(QThread::create([&] {
            connection->lock();
            held.release();
            done.tryAcquire(1, 10000); // a blocked GUI thread cannot release it; fail rather than hang
            connection->unlock();
        }));
        if (otherThread) {
            holder->start();
            held.acquire();
        } else {
            connection->lock();
        }
        QVERIFY(m_sandbox.run(QStringLiteral("lp"), {QStringLiteral("-d"), QStringLiteral("Raw_Queue"), s_testPage}));
        QTimer counter;
        QSignalSpy ticks(&counter, &QTimer::timeout);
        counter.start(10);
        QTRY_VERIFY(ticks.count() >= 30); // the event loop keeps running through several skipped polls
        QVERIFY(jobs.isEmpty());
        otherThread ? done.release() : connection->unlock();
        QVERIFY(!otherThread || holder->wait(10000));
        QTRY_VERIFY(!jobs.isEmpty());
    }

    void aSilentServerIsAskedLessOftenUntilItAnswers()
    {
        QTcpServer silent; // takes the connections and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        cupsSetServer(QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()).toLatin1().constData());
        auto back = qScopeGuard([this] {
            m_sandbox.use();
        });
        ServerWatcher watcher;
        watcher.setPollInterval(50);
        watcher.setRequestTimeout(100);
        watcher.setMaxBackoffInterval(800);
        QSignalSpy printers(&watcher, &ServerWatcher::printersChanged);
        watcher.start();
        // Doubled after each request without an answer; the wall-time deadline is far below Connection's 30 s timeout.
        QVERIFY(QTest::qWaitFor([&watcher] { return watcher.currentInterval() == 800; }));
        QVERIFY(printers.isEmpty());
        m_sandbox.use();
        QTRY_COMPARE(watcher.currentInterval(), 50);
        QVERIFY(watcher.isSubscribed());
        QVERIFY(!printers.isEmpty());
    }

private:
    bool serverHasSubscription(int id) const
    {
        IppRequest request(IPP_OP_GET_SUBSCRIPTIONS);
        request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), QStringLiteral("ipp://localhost/"));
        const QList<AttributeHash> subscriptions = request.doRequest(Connection::instance(), QStringLiteral("/")).attributeGroups(IPP_TAG_SUBSCRIPTION);
        return std::any_of(subscriptions.cbegin(), subscriptions.cend(), [id](const AttributeHash &subscription) {
            return Utils::getAttribute(subscription, Attr::NotifySubscriptionId).toInt() == id;
        });
    }
    // Successful requests of one kind in cupsd's access log.
    int logged(const QString &operationAndStatus) const
    {
        QFile log(m_sandbox.directory() + QStringLiteral("/log/access_log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).count(operationAndStatus) : -1;
    }

    const QString s_testPage = QStringLiteral("/usr/share/cups/data/testprint");
    CupsSandbox m_sandbox;
};

QTEST_GUILESS_MAIN(ServerWatcherTest)
#include "serverwatchertest.moc"
