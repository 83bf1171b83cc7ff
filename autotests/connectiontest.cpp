#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <destination.h>
#include <ipprequest.h>
#include <utils.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cups/cups.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

using namespace CUPS;

namespace
{
const QString s_hpDeviceId = QStringLiteral("MFG:Hewlett-Packard;MDL:HP LaserJet P2055dn;CMD:PJL,PCL,POSTSCRIPT;CLS:PRINTER;SN:TEST0001;");
const QString s_testPage = QStringLiteral("/usr/share/cups/data/testprint");

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
bool staysUnset(const std::atomic<bool> &flag, int msecs = 200)
{
    const QDeadlineTimer window(msecs);
    while (!window.hasExpired()) {
        if (flag) {
            return false;
        }
        QThread::yieldCurrentThread();
    }
    return !flag;
}

// Runs work in a fresh thread, so its libcups state starts from nothing.
bool runInNewThread(const std::function<void()> &work)
{
    std::unique_ptr<QThread> thread(QThread::create(work));
    thread->start();
    if (!thread->wait(QDeadlineTimer(60000))) {
        thread.release(); // still running: leaking it beats crashing the test
        return false;
    }
    return true;
}

QString threadServer()
{
    return QString::fromUtf8(cupsServer()) + QLatin1Char(':') + QString::number(ippPort());
}

QString text(const AttributeHash &attributes, QLatin1String name)
{
    return Utils::getAttribute(attributes, name).toString();
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// One column of every line of lpinfo or lpstat -e output.
QStringList words(const QString &output, int column = 0)
{
    QStringList result;
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        result.append(line.section(QLatin1Char(' '), column, column));
    }
    return result;
}

// lpinfo -m adds the driverless "everywhere" model itself; the scheduler does not list it.
QStringList ppdNames(const QString &lpinfoOutput)
{
    QStringList names = words(lpinfoOutput);
    names.removeAll(QStringLiteral("everywhere"));
    return names;
}
} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void lockIsReentrantAndExcludesOtherThreads();
    void aWorkerJoinsTheHoldersSessionAndOthersWaitForBoth();
    void joiningAThreadThatHoldsNothingWaitsLikeLock();
    void holderAndJoinedWorkerTakeTurnsOnTheConnection();
    void devicesListTheBackendsDevices_data();
    void devicesListTheBackendsDevices();
    void ppdsListAllDriversOrThoseForOneDevice();
    void serverSettingsMatchCupsctl();
    void changedServerSettingSurvivesTheRestart();
    void workerThreadsReachTheMainThreadsServer();
    void workerRequestsCarryTheUserSetInTheMainThread();
    void responseGroupsKeepEachPrintersValues_data();
    void responseGroupsKeepEachPrintersValues();
    void serverRefusalsCarryTheServersStatusAndText();

private:
    bool serverAnswers(int msecs = 30000) const;
    QByteArray listeningSocket() const;
    bool changeSettingAndAwaitRestart(const QString &key, const QString &value) const;

    CupsSandbox m_sandbox;
};

void ConnectionTest::initTestCase()
{
    const bool ok = m_sandbox.start(true);
    QVERIFY2(ok, qPrintable(m_sandbox.errorString()));
}

bool ConnectionTest::serverAnswers(int msecs) const
{
    const QDeadlineTimer deadline(msecs);
    QString output;
    do {
        if (m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-r")}, &output) && !output.contains(QLatin1String("not running"))) {
            return true;
        }
        QThread::yieldCurrentThread();
    } while (!deadline.hasExpired());
    return false;
}

QByteArray ConnectionTest::listeningSocket() const
{
    // A line of /proc/net/tcp: slot, local address, remote address, state (0A
    // is LISTEN), queues, timer, retransmits, uid, timeout, inode.
    const QByteArray local = "0100007F:" + QByteArray::number(m_sandbox.server().section(QLatin1Char(':'), 1).toInt(), 16).toUpper().rightJustified(4, '0');
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (table.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = table.readAll().split('\n');
        for (const QByteArray &line : lines) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 9 && fields.at(1) == local && fields.at(3) == "0A") {
                return fields.at(9);
            }
        }
    }
    return {};
}

bool ConnectionTest::changeSettingAndAwaitRestart(const QString &key, const QString &value) const
{
    // The scheduler reloads its configuration some time after it answered,
    // and may answer in between; its new listening socket tells it is done.
    const QByteArray before = listeningSocket();
    if (before.isEmpty() || !Connection::instance()->setServerSettings({{key, value}})) {
        return false;
    }
    const QDeadlineTimer deadline(60000);
    QByteArray now;
    while (((now = listeningSocket()).isEmpty() || now == before) && !deadline.hasExpired()) {
        QThread::msleep(20);
    }
    return !now.isEmpty() && now != before && serverAnswers();
}

void ConnectionTest::lockIsReentrantAndExcludesOtherThreads()
{
    Connection *connection = Connection::instance();
    std::atomic<bool> heldTwice{false};
    std::atomic<bool> releaseOnce{false};
    std::atomic<bool> releasedOnce{false};
    std::atomic<bool> releaseAll{false};
    std::atomic<bool> contenderWaits{false};
    std::atomic<bool> contenderHolds{false};

    std::unique_ptr<QThread> holder(QThread::create([&] {
        connection->lock();
        connection->lock();
        heldTwice = true;
        waitFor(releaseOnce);
        connection->unlock();
        releasedOnce = true;
        waitFor(releaseAll);
        connection->unlock();
    }));
    std::unique_ptr<QThread> contender(QThread::create([&] {
        contenderWaits = true;
        connection->lock();
        contenderHolds = true;
        connection->unlock();
    }));
    auto finish = qScopeGuard([&] {
        releaseOnce = true;
        releaseAll = true;
        if (!holder->wait(QDeadlineTimer(10000))) {
            holder.release();
        }
        if (contender->isRunning() && !contender->wait(QDeadlineTimer(10000))) {
            contender.release();
        }
    });

    holder->start();
    QVERIFY2(waitFor(heldTwice), "locking twice in one thread blocked");
    contender->start();
    QVERIFY(waitFor(contenderWaits));
    QVERIFY2(staysUnset(contenderHolds), "another thread got the lock while it was held");
    releaseOnce = true;
    QVERIFY(waitFor(releasedOnce));
    QVERIFY2(staysUnset(contenderHolds), "one unlock freed a lock taken twice");
    releaseAll = true;
    QVERIFY2(waitFor(contenderHolds), "the waiting thread never got the lock");
}

void ConnectionTest::aWorkerJoinsTheHoldersSessionAndOthersWaitForBoth()
{
    Connection *connection = Connection::instance();
    // Only the main thread's libcups knows the sandbox, so the worker can only reach it through the session.
    QTemporaryDir emptyServerRoot;
    QVERIFY(emptyServerRoot.isValid());
    auto restoreServer = qScopeGuard([this] {
        m_sandbox.use();
    });
    qunsetenv("CUPS_SERVER");
    qputenv("CUPS_SERVERROOT", QFile::encodeName(emptyServerRoot.path()));
    cupsSetServer(m_sandbox.server().toLocal8Bit().constData());

    QThread *const mainThread = QThread::currentThread();
    std::atomic<bool> workerIn{false};
    std::atomic<bool> workerLocksAgain{false};
    std::atomic<bool> workerMayLeave{false};
    std::atomic<bool> workerLeft{false};
    std::atomic<bool> otherWaits{false};
    std::atomic<bool> otherHolds{false};
    QString workerServer;
    bool requestOk = false;

    connection->lock();
    bool mainHolds = true;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        connection->lockOnBehalfOf(mainThread);
        workerIn = true;
        workerServer = threadServer();
        // Core requests lock again inside: the admitted worker must not block on itself.
        connection->lock();
        requestOk = IppRequest(CUPS_GET_PRINTERS).doRequest(connection, QStringLiteral("/")).isOk();
        connection->unlock();
        workerLocksAgain = true;
        waitFor(workerMayLeave);
        connection->unlock();
        workerLeft = true;
    }));
    std::unique_ptr<QThread> other(QThread::create([&] {
        otherWaits = true;
        connection->lock();
        otherHolds = true;
        connection->unlock();
    }));
    auto finish = qScopeGuard([&] {
        workerMayLeave = true;
        if (mainHolds) {
            connection->unlock();
        }
        for (auto *thread : {&worker, &other}) {
            if ((*thread)->isRunning() && !(*thread)->wait(QDeadlineTimer(10000))) {
                thread->release();
            }
        }
    });

    worker->start();
    QVERIFY2(waitFor(workerIn), "the worker was not admitted to the holder's session");
    QVERIFY2(waitFor(workerLocksAgain, 30000), "the admitted worker blocked on its own request");
    QVERIFY2(requestOk, qPrintable(Connection::lastErrorString()));
    QCOMPARE(workerServer, m_sandbox.server());

    other->start();
    QVERIFY(waitFor(otherWaits));
    QVERIFY2(staysUnset(otherHolds), "a third thread got in while the session was held");
    connection->unlock();
    mainHolds = false;
    QVERIFY2(staysUnset(otherHolds), "the holder's unlock freed the lock while the worker was still in");
    workerMayLeave = true;
    QVERIFY(waitFor(workerLeft));
    QVERIFY2(waitFor(otherHolds), "the lock stayed taken after everyone left");
}

void ConnectionTest::joiningAThreadThatHoldsNothingWaitsLikeLock()
{
    Connection *connection = Connection::instance();
    std::atomic<bool> ownerHolds{false};
    std::atomic<bool> ownerMayLeave{false};
    std::atomic<bool> joinerIn{false};
    QThread *const mainThread = QThread::currentThread();

    // The main thread holds nothing: joining it is an ordinary lock() behind the owner.
    std::unique_ptr<QThread> owner(QThread::create([&] {
        connection->lock();
        ownerHolds = true;
        waitFor(ownerMayLeave);
        connection->unlock();
    }));
    std::unique_ptr<QThread> joiner(QThread::create([&] {
        connection->lockOnBehalfOf(mainThread);
        joinerIn = true;
        connection->unlock();
    }));
    auto finish = qScopeGuard([&] {
        ownerMayLeave = true;
        for (auto *thread : {&owner, &joiner}) {
            if ((*thread)->isRunning() && !(*thread)->wait(QDeadlineTimer(10000))) {
                thread->release();
            }
        }
    });
    owner->start();
    QVERIFY(waitFor(ownerHolds));
    joiner->start();
    QVERIFY2(staysUnset(joinerIn), "joining a thread without the lock skipped the queue");
    ownerMayLeave = true;
    QVERIFY(waitFor(joinerIn));
    QVERIFY(joiner->wait(QDeadlineTimer(10000)));
    QVERIFY(!connection->isLockedByCallingThread());
}

void ConnectionTest::holderAndJoinedWorkerTakeTurnsOnTheConnection()
{
    // Both send on the one shared http connection at the same time; interleaved they would break each other's answers.
    constexpr int Rounds = 25;
    Connection *connection = Connection::instance();
    QThread *const mainThread = QThread::currentThread();
    auto sendRounds = [connection] {
        int ok = 0;
        for (int i = 0; i < Rounds; ++i) {
            const IppResponse response = IppRequest(CUPS_GET_PRINTERS).doRequest(connection, QStringLiteral("/"));
            ok += response.isOk() && !response.attributeGroups(IPP_TAG_PRINTER).isEmpty() ? 1 : 0;
        }
        return ok;
    };
    std::atomic<bool> workerIn{false};
    int workerOk = 0;
    connection->lock();
    std::unique_ptr<QThread> worker(QThread::create([&] {
        connection->lockOnBehalfOf(mainThread);
        workerIn = true;
        workerOk = sendRounds();
        connection->unlock();
    }));
    worker->start();
    const bool admitted = waitFor(workerIn);
    const int mainOk = sendRounds();
    const bool finished = worker->wait(QDeadlineTimer(60000));
    connection->unlock();
    if (!finished) {
        worker.release();
    }
    QVERIFY2(admitted, "the worker was not admitted");
    QVERIFY(finished);
    QCOMPARE(mainOk, Rounds);
    QCOMPARE(workerOk, Rounds);
}

void ConnectionTest::devicesListTheBackendsDevices_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("deviceClass");
    QTest::addColumn<QString>("makeAndModel");
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("deviceId");
    QTest::addColumn<QString>("location");

    // The norvik-test backend of scripts/cups-sandbox reports these; the HP one twice.
    QTest::newRow("USB printer") << QStringLiteral("norvik-test://hp-usb/HP_LaserJet_P2055dn?serial=TEST0001") << QStringLiteral("direct")
                                 << QStringLiteral("HP LaserJet P2055dn") << QStringLiteral("HP LaserJet P2055dn (USB)") << s_hpDeviceId << QString();
    QTest::newRow("network printer") << QStringLiteral("socket://127.0.0.1:9101") << QStringLiteral("network") << QStringLiteral("Generic PostScript Printer")
                                     << QStringLiteral("Network printer 127.0.0.1:9101")
                                     << QStringLiteral("MFG:Generic;MDL:PostScript Printer;CMD:POSTSCRIPT;CLS:PRINTER;") << QStringLiteral("Test bench");
    QTest::newRow("unknown device") << QStringLiteral("norvik-test://unknown/device?serial=TEST0002") << QStringLiteral("direct") << QStringLiteral("Unknown")
                                    << QStringLiteral("Unknown USB device") << QString() << QString();
}

void ConnectionTest::devicesListTheBackendsDevices()
{
    QFETCH(QString, uri);
    QFETCH(QString, deviceClass);
    QFETCH(QString, makeAndModel);
    QFETCH(QString, info);
    QFETCH(QString, deviceId);
    QFETCH(QString, location);

    // cupsd's device helper now and then loses one backend's line, for lpinfo
    // as much as for us; a difference that stays over three rounds is ours.
    QList<AttributeHash> devices;
    QStringList uris;
    QString lpinfo;
    for (int round = 0; round < 3; ++round) {
        devices = Connection::instance()->devices(5);
        QVERIFY2(!devices.isEmpty(), qPrintable(Connection::lastErrorString()));
        uris.clear();
        for (const AttributeHash &device : qAsConst(devices)) {
            uris.append(text(device, Attr::DeviceUri));
        }
        QVERIFY(m_sandbox.run(QStringLiteral("lpinfo"), {QStringLiteral("-v")}, &lpinfo));
        if (sorted(uris) == sorted(words(lpinfo, 1))) {
            break;
        }
    }
    QVERIFY2(sorted(uris) == sorted(words(lpinfo, 1)), qPrintable(sorted(uris).join(QLatin1Char(' ')) + QStringLiteral(" | lpinfo: ") + lpinfo));

    QCOMPARE(uris.count(uri), 1);
    const AttributeHash device = devices.at(uris.indexOf(uri));
    QCOMPARE(text(device, Attr::DeviceClass), deviceClass);
    QCOMPARE(text(device, Attr::DeviceMakeAndModel), makeAndModel);
    QCOMPARE(text(device, Attr::DeviceInfo), info);
    QCOMPARE(text(device, Attr::DeviceId), deviceId);
    QCOMPARE(text(device, Attr::DeviceLocation), location);
}

void ConnectionTest::ppdsListAllDriversOrThoseForOneDevice()
{
    const QList<AttributeHash> all = Connection::instance()->PPDs();
    QString lpinfo;
    QVERIFY(m_sandbox.run(QStringLiteral("lpinfo"), {QStringLiteral("-m")}, &lpinfo));
    QCOMPARE(all.size(), ppdNames(lpinfo).size());
    QVERIFY2(all.size() > 1000, qPrintable(QString::number(all.size())));
    for (const AttributeHash &ppd : all) {
        QVERIFY2(!text(ppd, Attr::PpdName).isEmpty() && !text(ppd, Attr::PpdMakeAndModel).isEmpty(), qPrintable(text(ppd, Attr::PpdName)));
    }

    const QList<AttributeHash> forHp = Connection::instance()->PPDs(s_hpDeviceId);
    QVERIFY(!forHp.isEmpty());
    QVERIFY(forHp.size() < all.size());
    QStringList names;
    for (const AttributeHash &ppd : forHp) {
        names.append(text(ppd, Attr::PpdName));
    }
    QVERIFY(names.contains(QStringLiteral("drv:///hpcups.drv/hp-laserjet_p2055dn-pcl3.ppd")));
    QVERIFY(m_sandbox.run(QStringLiteral("lpinfo"), {QStringLiteral("--device-id"), s_hpDeviceId, QStringLiteral("-m")}, &lpinfo));
    QCOMPARE(sorted(names), sorted(ppdNames(lpinfo)));
}

void ConnectionTest::serverSettingsMatchCupsctl()
{
    const QHash<QString, QString> settings = Connection::instance()->getServerSettings();
    QVERIFY2(!settings.isEmpty(), qPrintable(Connection::lastErrorString()));
    for (const char *key : {"_share_printers", "_remote_admin", "_remote_any", "_user_cancel_any", "_debug_logging"}) {
        QVERIFY2(settings.contains(QLatin1String(key)), key);
    }

    QString cupsctl;
    QVERIFY(m_sandbox.run(QStringLiteral("cupsctl"), {}, &cupsctl));
    QHash<QString, QString> expected;
    const QStringList lines = cupsctl.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        expected.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    }
    QCOMPARE(settings, expected);
}

void ConnectionTest::changedServerSettingSurvivesTheRestart()
{
    const QString key = QStringLiteral("_debug_logging");
    const QString before = Connection::instance()->getServerSettings().value(key);
    QVERIFY(before == QLatin1String("0") || before == QLatin1String("1"));
    const QString changed = before == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1");
    auto restore = qScopeGuard([this, key, before] {
        changeSettingAndAwaitRestart(key, before);
    });

    QVERIFY2(changeSettingAndAwaitRestart(key, changed), qPrintable(Connection::lastErrorString()));

    QString cupsctl;
    QVERIFY(m_sandbox.run(QStringLiteral("cupsctl"), {}, &cupsctl));
    QVERIFY2(cupsctl.contains(key + QLatin1Char('=') + changed), qPrintable(cupsctl));
    QCOMPARE(Connection::instance()->getServerSettings().value(key), changed);
}

void ConnectionTest::workerThreadsReachTheMainThreadsServer()
{
    // Only the main thread's libcups knows the sandbox: neither the
    // environment nor a client.conf may lead a fresh thread to it.
    QTemporaryDir emptyServerRoot;
    QVERIFY(emptyServerRoot.isValid());
    auto restore = qScopeGuard([this] {
        m_sandbox.use();
    });
    qunsetenv("CUPS_SERVER");
    qputenv("CUPS_SERVERROOT", QFile::encodeName(emptyServerRoot.path()));
    cupsSetServer(m_sandbox.server().toLocal8Bit().constData());
    QVERIFY(Connection::instance()->reconnect(true));

    QString unaided;
    QString aided;
    bool ok = false;
    QStringList names;
    QVERIFY(runInNewThread([&] {
        unaided = threadServer();
        ConnectionLocker locker;
        aided = threadServer();
        const IppResponse response = IppRequest(CUPS_GET_PRINTERS).doRequest(Connection::instance(), QStringLiteral("/"));
        ok = response.isOk();
        const QList<AttributeHash> groups = response.attributeGroups(IPP_TAG_PRINTER);
        for (const AttributeHash &group : groups) {
            names.append(Destination(group).name());
        }
    }));
    QVERIFY2(unaided != m_sandbox.server(), "a fresh thread finds the sandbox by itself, so this proves nothing");
    QCOMPARE(aided, m_sandbox.server());
    QVERIFY(ok);
    QString lpstat;
    QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-e")}, &lpstat));
    QCOMPARE(sorted(names), sorted(words(lpstat)));
}

void ConnectionTest::workerRequestsCarryTheUserSetInTheMainThread()
{
    const QString user = QStringLiteral("alice");
    const QString queue = QStringLiteral("Raw_Queue");
    const QString before = Connection::instance()->userName();
    QVERIFY(before != user);
    auto restore = qScopeGuard([before] {
        Connection::instance()->setUser(before);
    });
    Connection::instance()->setUser(user);

    QString threadUser;
    QVariant requestUser;
    int jobId = 0;
    QVERIFY(runInNewThread([&] {
        ConnectionLocker locker;
        threadUser = QString::fromUtf8(cupsUser());
        IppRequest request(IPP_OP_PRINT_JOB);
        request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), QStringLiteral("ipp://localhost/printers/") + queue);
        requestUser = request.attributes().value(Attr::RequestingUserName);
        const IppResponse response = request.doFileRequest(Connection::instance(), QStringLiteral("/printers/") + queue, s_testPage);
        jobId = Utils::getAttribute(response.attributes(), Attr::JobId, 0).toInt();
    }));
    QCOMPARE(threadUser, user);
    QCOMPARE(requestUser, QVariant(QVariantList{user}));
    QVERIFY2(jobId > 0, qPrintable(Connection::lastErrorString()));

    // The scheduler files the job under that user: "QUEUE-ID USER SIZE DATE".
    QString lpstat;
    QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), queue}, &lpstat));
    const QString jobName = queue + QLatin1Char('-') + QString::number(jobId);
    const QStringList lines = lpstat.split(QLatin1Char('\n'));
    const auto line = std::find_if(lines.cbegin(), lines.cend(), [&jobName](const QString &l) {
        return l.section(QLatin1Char(' '), 0, 0) == jobName;
    });
    QVERIFY2(line != lines.cend(), qPrintable(lpstat));
    QCOMPARE(line->simplified().section(QLatin1Char(' '), 1, 1), user);
}

void ConnectionTest::responseGroupsKeepEachPrintersValues_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QVariantList>("values");

    // What add_sample in scripts/cups-sandbox set up.
    QTest::newRow("stopped state") << QStringLiteral("Stopped_Printer") << QString(Attr::PrinterState) << QVariantList{int(IPP_PSTATE_STOPPED)};
    QTest::newRow("stop reason") << QStringLiteral("Stopped_Printer") << QString(Attr::PrinterStateMessage) << QVariantList{QStringLiteral("Paper jam in tray 2")};
    QTest::newRow("idle neighbour") << QStringLiteral("Raw_Queue") << QString(Attr::PrinterState) << QVariantList{int(IPP_PSTATE_IDLE)};
    QTest::newRow("class members") << QStringLiteral("Office_Class") << QString(Attr::MemberNames)
                                   << QVariantList{QStringLiteral("Office_PS"), QStringLiteral("Lobby_Printer")};
}

void ConnectionTest::responseGroupsKeepEachPrintersValues()
{
    QFETCH(QString, printer);
    QFETCH(QString, attribute);
    QFETCH(QVariantList, values);

    IppRequest request(CUPS_GET_PRINTERS);
    const IppResponse response = request.doRequest(Connection::instance(), QStringLiteral("/"));
    QVERIFY2(response.isOk(), qPrintable(Connection::lastErrorString()));
    QVERIFY(request.isNull());
    const QList<AttributeHash> groups = response.attributeGroups(IPP_TAG_PRINTER);
    QStringList names;
    for (const AttributeHash &group : groups) {
        QCOMPARE(group.value(Attr::PrinterName).toList().size(), 1);
        names.append(text(group, Attr::PrinterName));
    }
    QString lpstat;
    QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-e")}, &lpstat));
    QCOMPARE(sorted(names), sorted(words(lpstat)));

    QVERIFY(names.contains(printer));
    const AttributeHash group = groups.at(names.indexOf(printer));
    QCOMPARE(group.value(attribute).toList(), values);
}

QTEST_GUILESS_MAIN(ConnectionTest)

void ConnectionTest::serverRefusalsCarryTheServersStatusAndText()
{
    IppRequest missing(IPP_OP_GET_PRINTER_ATTRIBUTES);
    missing.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", QStringLiteral("ipp://localhost/printers/No_Such_Queue"));
    const IppResponse refused = missing.doRequest(Connection::instance(), QStringLiteral("/"));
    QVERIFY(!refused.isOk());
    QVERIFY(!refused.isNull()); // an answer, not a broken exchange
    QCOMPARE(refused.statusCode(), IPP_STATUS_ERROR_NOT_FOUND);
    QCOMPARE(Connection::lastError(), IPP_STATUS_ERROR_NOT_FOUND);
    // The scheduler's own words, not the generic name of the status.
    const QString serverText = refused.attributes().value(QStringLiteral("status-message")).toList().value(0).toString();
    QVERIFY(!serverText.isEmpty());
    QCOMPARE(Connection::lastErrorString(), serverText);
    QVERIFY(serverText != QLatin1String(ippErrorString(IPP_STATUS_ERROR_NOT_FOUND)));
    QVERIFY(missing.isNull());
    QVERIFY(!missing.doRequest(Connection::instance(), QStringLiteral("/")).isOk()); // a request goes out once

    // The next success clears the error, so callers never show a stale one.
    IppRequest fine(CUPS_GET_PRINTERS);
    QVERIFY(fine.doRequest(Connection::instance(), QStringLiteral("/")).isOk());
    QCOMPARE(Connection::lastError(), IPP_STATUS_OK);
    QVERIFY(Connection::lastErrorString().isEmpty());
}

#include "connectiontest.moc"
