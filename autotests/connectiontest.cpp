#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <utils.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cups/cups.h>

#include <atomic>
#include <functional>
#include <memory>

using namespace CUPS;

namespace
{
// Polls until flag is set; false when the deadline passes first.
bool waitFor(const std::atomic<bool> &flag, int msecs = 10000)
{
    const QDeadlineTimer deadline(msecs);
    while (!flag && !deadline.hasExpired()) {
        QThread::yieldCurrentThread();
    }
    return flag;
}

// Polls for a while; false as soon as flag gets set.
bool staysUnset(const std::atomic<bool> &flag)
{
    return !waitFor(flag, 200);
}

// A thread joined when the test leaves; one that is stuck is leaked, as destroying a running thread aborts.
struct Thread {
    explicit Thread(const std::function<void()> &work)
        : thread(QThread::create(work))
    {
    }
    ~Thread()
    {
        if (!thread->wait(60000)) {
            thread.release();
        }
    }
    std::unique_ptr<QThread> thread;
};

QString threadServer()
{
    return QString::fromUtf8(cupsServer()) + QLatin1Char(':') + QString::number(ippPort());
}

} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        // Only the main thread's libcups knows the sandbox: neither the environment
        // nor a client.conf leads another thread to it, only the connection does.
        QVERIFY(m_emptyServerRoot.isValid());
        qunsetenv("CUPS_SERVER");
        qputenv("CUPS_SERVERROOT", QFile::encodeName(m_emptyServerRoot.path()));
        cupsSetServer(m_sandbox.server().toLocal8Bit().constData());
        QVERIFY(Connection::instance()->reconnect(true));
    }

    void lockIsReentrantAndExcludesOtherThreads()
    {
        Connection *connection = Connection::instance();
        std::atomic<bool> heldTwice{false}, releaseOnce{false}, releasedOnce{false}, releaseAll{false};
        std::atomic<bool> contenderHolds{false};
        Thread holder([&] {
            connection->lock();
            connection->lock();
            heldTwice = true;
            waitFor(releaseOnce);
            connection->unlock();
            releasedOnce = true;
            waitFor(releaseAll);
            connection->unlock();
        });
        // The main thread holds nothing: joining it is an ordinary lock() that waits like any other.
        QThread *const mainThread = QThread::currentThread();
        Thread contender([&] {
            connection->lockOnBehalfOf(mainThread);
            contenderHolds = true;
            connection->unlock();
        });
        auto finish = qScopeGuard([&] {
            releaseOnce = releaseAll = true;
        });
        holder.thread->start();
        QVERIFY2(waitFor(heldTwice), "locking twice in one thread blocked");
        contender.thread->start();
        QVERIFY2(staysUnset(contenderHolds), "another thread got the lock while it was held");
        releaseOnce = true;
        QVERIFY(waitFor(releasedOnce));
        QVERIFY2(staysUnset(contenderHolds), "one unlock freed a lock taken twice");
        releaseAll = true;
        QVERIFY2(waitFor(contenderHolds), "the waiting thread never got the lock");
    }

    void aWorkerJoinsTheHoldersSessionAndOthersWaitForBoth()
    {
        Connection *connection = Connection::instance();
        QThread *const mainThread = QThread::currentThread();
        std::atomic<bool> workerRequested{false}, workerMayLeave{false}, workerLeft{false}, otherHolds{false};
        QString workerServer;
        bool requestOk = false;
        connection->lock();
        bool mainHolds = true;
        Thread worker([&] {
            connection->lockOnBehalfOf(mainThread);
            workerServer = threadServer();
            // Core requests lock again inside: the admitted worker must not block on itself.
            requestOk = IppRequest(CUPS_GET_PRINTERS).doRequest(connection, QStringLiteral("/")).isOk();
            workerRequested = true;
            waitFor(workerMayLeave);
            connection->unlock();
            workerLeft = true;
        });
        Thread other([&] {
            connection->lock();
            otherHolds = true;
            connection->unlock();
        });
        auto finish = qScopeGuard([&] {
            workerMayLeave = true;
            if (mainHolds) {
                connection->unlock();
            }
        });
        worker.thread->start();
        QVERIFY2(waitFor(workerRequested, 30000), "the worker was not admitted, or blocked on its request");
        QVERIFY2(requestOk, qPrintable(Connection::lastErrorString()));
        QCOMPARE(workerServer, m_sandbox.server());
        other.thread->start();
        QVERIFY2(staysUnset(otherHolds), "a third thread got in while the session was held");
        connection->unlock();
        mainHolds = false;
        QVERIFY2(staysUnset(otherHolds), "the holder's unlock freed the lock while the worker was still in");
        workerMayLeave = true;
        QVERIFY(waitFor(workerLeft));
        QVERIFY2(waitFor(otherHolds), "the lock stayed taken after everyone left");
    }

    void aFreshThreadTakesTheMainThreadsServerAndUser()
    {
        const QString user = QStringLiteral("alice");
        const QString before = Connection::instance()->userName();
        QVERIFY(before != user);
        auto restore = qScopeGuard([before] {
            Connection::instance()->setUser(before);
        });
        Connection::instance()->setUser(user);
        QString unaided, aided, threadUser;
        int jobId = 0;
        Thread fresh([&] {
            unaided = threadServer();
            ConnectionLocker locker;
            aided = threadServer();
            threadUser = QString::fromUtf8(cupsUser());
            IppRequest request(IPP_OP_PRINT_JOB);
            const QString uri = Utils::printerUri(m_queue);
            request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), uri);
            const QString file = QStringLiteral("/usr/share/cups/data/testprint");
            const QString resource = QStringLiteral("/printers/") + m_queue;
            const IppResponse response = request.doFileRequest(Connection::instance(), resource, file);
            jobId = Utils::getAttribute(response.attributes(), Attr::JobId, 0).toInt();
        });
        fresh.thread->start();
        QVERIFY(fresh.thread->wait(60000));
        QVERIFY2(unaided != m_sandbox.server(), "a fresh thread finds the sandbox alone: nothing to prove");
        QCOMPARE(aided, m_sandbox.server());
        QCOMPARE(threadUser, user);
        QVERIFY2(jobId > 0, qPrintable(Connection::lastErrorString()));
        // The scheduler files the job under that user: "QUEUE-ID USER SIZE DATE".
        const QStringList jobs{QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), m_queue};
        const QString lpstat = m_sandbox.output(QStringLiteral("lpstat"), jobs);
        const QString filed = QStringLiteral("%1-%2 %3 ").arg(m_queue).arg(jobId).arg(user);
        QVERIFY2(lpstat.simplified().contains(filed), qPrintable(lpstat));
    }

    void responseGroupsKeepEachPrintersValues()
    {
        IppRequest request(CUPS_GET_PRINTERS);
        const IppResponse response = request.doRequest(Connection::instance(), QStringLiteral("/"));
        QVERIFY2(response.isOk(), qPrintable(Connection::lastErrorString()));
        QHash<QString, AttributeHash> printers;
        for (const AttributeHash &group : response.attributeGroups(IPP_TAG_PRINTER)) {
            printers.insert(Utils::getAttribute(group, Attr::PrinterName).toString(), group);
        }
        // What add_sample in scripts/cups-sandbox set up.
        QCOMPARE(printers.value(QStringLiteral("Stopped_Printer")).value(Attr::PrinterStateMessage),
                 QVariant(QVariantList{QStringLiteral("Paper jam in tray 2")}));
        QCOMPARE(printers.value(m_queue).value(Attr::PrinterState), QVariant(QVariantList{IPP_PSTATE_IDLE}));
        QCOMPARE(printers.value(QStringLiteral("Office_Class")).value(Attr::MemberNames),
                 QVariant(QVariantList{QStringLiteral("Office_PS"), QStringLiteral("Lobby_Printer")}));
    }

    void serverRefusalsCarryTheServersStatusAndText()
    {
        IppRequest missing(IPP_OP_GET_PRINTER_ATTRIBUTES);
        const QString uri = Utils::printerUri(QStringLiteral("No_Such"));
        missing.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), uri);
        const IppResponse refused = missing.doRequest(Connection::instance(), QStringLiteral("/"));
        QVERIFY(!refused.isNull()); // an answer, not a broken exchange
        QCOMPARE(refused.statusCode(), IPP_STATUS_ERROR_NOT_FOUND);
        QCOMPARE(Connection::lastError(), IPP_STATUS_ERROR_NOT_FOUND);
        // The scheduler's own words, not the generic name of the status.
        const QString serverText = Utils::getAttribute(refused.attributes(), Attr::StatusMessage).toString();
        QVERIFY(!serverText.isEmpty() && serverText != QLatin1String(ippErrorString(refused.statusCode())));
        QCOMPARE(Connection::lastErrorString(), serverText);
        // A request goes out once.
        QVERIFY(!missing.doRequest(Connection::instance(), QStringLiteral("/")).isOk());
        // The next success clears the error, so callers never show a stale one.
        QVERIFY(IppRequest(CUPS_GET_PRINTERS).doRequest(Connection::instance(), QStringLiteral("/")).isOk());
        QCOMPARE(Connection::lastError(), IPP_STATUS_OK);
        QVERIFY(Connection::lastErrorString().isEmpty());
    }

private:
    CupsSandbox m_sandbox;
    QTemporaryDir m_emptyServerRoot;
    const QString m_queue = QStringLiteral("Raw_Queue");
};

QTEST_GUILESS_MAIN(ConnectionTest)

#include "connectiontest.moc"
