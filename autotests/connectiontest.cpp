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
const QString s_hpDeviceId = QStringLiteral("MFG:Hewlett-Packard;MDL:HP LaserJet P2055dn;CMD:PJL,PCL,POSTSCRIPT;CLS:PRINTER;SN:TEST0001;");

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
    return !waitFor(flag, msecs);
}

// A thread started on demand and joined when the test leaves; one that is
// stuck is leaked, since destroying a running thread would abort.
class Thread
{
public:
    explicit Thread(const std::function<void()> &work)
        : m_thread(QThread::create(work))
    {
    }
    ~Thread()
    {
        if (!join(60000)) {
            m_thread.release();
        }
    }
    void start()
    {
        m_thread->start();
    }
    bool join(int msecs = 10000)
    {
        return m_thread->wait(QDeadlineTimer(msecs));
    }

private:
    std::unique_ptr<QThread> m_thread;
};

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

// One column of every line of lpinfo or lpstat output.
QStringList words(const QString &output, int column = 0)
{
    QStringList result;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        result.append(line.simplified().section(QLatin1Char(' '), column, column));
    }
    return result;
}
} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void lockIsReentrantAndExcludesOtherThreads();
    void aWorkerJoinsTheHoldersSessionAndOthersWaitForBoth();
    void holderAndJoinedWorkerTakeTurnsOnTheConnection();
    void aFreshThreadTakesTheMainThreadsServerAndUser();
    void devicesListTheBackendsDevices_data();
    void devicesListTheBackendsDevices();
    void ppdsListAllDriversOrThoseForOneDevice();
    void changedServerSettingSurvivesTheRestart();
    void responseGroupsKeepEachPrintersValues_data();
    void responseGroupsKeepEachPrintersValues();
    void serverRefusalsCarryTheServersStatusAndText();

private:
    QString run(const QString &program, const QStringList &arguments) const;
    QByteArray listeningSocket() const;
    bool changeSettingAndAwaitRestart(const QString &key, const QString &value) const;

    CupsSandbox m_sandbox;
    QTemporaryDir m_emptyServerRoot;
};

void ConnectionTest::initTestCase()
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

QString ConnectionTest::run(const QString &program, const QStringList &arguments) const
{
    QString output;
    return m_sandbox.run(program, arguments, &output) ? output : QStringLiteral("(%1 failed) %2").arg(program, output);
}

QByteArray ConnectionTest::listeningSocket() const
{
    // A line of /proc/net/tcp: slot, local address, remote address, state (0A
    // is LISTEN), queues, timer, retransmits, uid, timeout, inode.
    const QByteArray local = "0100007F:" + QByteArray::number(m_sandbox.server().section(QLatin1Char(':'), 1).toInt(), 16).toUpper().rightJustified(4, '0');
    QFile table(QStringLiteral("/proc/net/tcp"));
    const QList<QByteArray> lines = table.open(QIODevice::ReadOnly) ? table.readAll().split('\n') : QList<QByteArray>();
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 9 && fields.at(1) == local && fields.at(3) == "0A") {
            return fields.at(9);
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
    return QTest::qWaitFor(
        [&] {
            const QByteArray now = listeningSocket();
            return !now.isEmpty() && now != before && run(QStringLiteral("lpstat"), {QStringLiteral("-r")}).contains(QLatin1String("scheduler is running"));
        },
        60000);
}

void ConnectionTest::lockIsReentrantAndExcludesOtherThreads()
{
    Connection *connection = Connection::instance();
    std::atomic<bool> heldTwice{false}, releaseOnce{false}, releasedOnce{false}, releaseAll{false}, contenderHolds{false};
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

    holder.start();
    QVERIFY2(waitFor(heldTwice), "locking twice in one thread blocked");
    contender.start();
    QVERIFY2(staysUnset(contenderHolds), "another thread got the lock while it was held");
    releaseOnce = true;
    QVERIFY(waitFor(releasedOnce));
    QVERIFY2(staysUnset(contenderHolds), "one unlock freed a lock taken twice");
    releaseAll = true;
    QVERIFY2(waitFor(contenderHolds), "the waiting thread never got the lock");
    QVERIFY(contender.join());
    QVERIFY(!connection->isLockedByCallingThread());
}

void ConnectionTest::aWorkerJoinsTheHoldersSessionAndOthersWaitForBoth()
{
    Connection *connection = Connection::instance();
    QThread *const mainThread = QThread::currentThread();
    std::atomic<bool> workerLocksAgain{false}, workerMayLeave{false}, workerLeft{false}, otherHolds{false};
    QString workerServer;
    bool requestOk = false;

    connection->lock();
    bool mainHolds = true;
    Thread worker([&] {
        connection->lockOnBehalfOf(mainThread);
        workerServer = threadServer();
        // Core requests lock again inside: the admitted worker must not block on itself.
        connection->lock();
        requestOk = IppRequest(CUPS_GET_PRINTERS).doRequest(connection, QStringLiteral("/")).isOk();
        connection->unlock();
        workerLocksAgain = true;
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

    worker.start();
    QVERIFY2(waitFor(workerLocksAgain, 30000), "the worker was not admitted to the holder's session, or blocked on its own request");
    QVERIFY2(requestOk, qPrintable(Connection::lastErrorString()));
    QCOMPARE(workerServer, m_sandbox.server());

    other.start();
    QVERIFY2(staysUnset(otherHolds), "a third thread got in while the session was held");
    connection->unlock();
    mainHolds = false;
    QVERIFY2(staysUnset(otherHolds), "the holder's unlock freed the lock while the worker was still in");
    workerMayLeave = true;
    QVERIFY(waitFor(workerLeft));
    QVERIFY2(waitFor(otherHolds), "the lock stayed taken after everyone left");
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
    int workerOk = 0;
    connection->lock();
    Thread worker([&] {
        connection->lockOnBehalfOf(mainThread);
        workerOk = sendRounds();
        connection->unlock();
    });
    worker.start();
    const int mainOk = sendRounds();
    const bool finished = worker.join(60000);
    connection->unlock();
    QVERIFY(finished);
    QCOMPARE(mainOk, Rounds);
    QCOMPARE(workerOk, Rounds);
}

void ConnectionTest::aFreshThreadTakesTheMainThreadsServerAndUser()
{
    const QString user = QStringLiteral("alice");
    const QString queue = QStringLiteral("Raw_Queue");
    const QString before = Connection::instance()->userName();
    QVERIFY(before != user);
    auto restore = qScopeGuard([before] {
        Connection::instance()->setUser(before);
    });
    Connection::instance()->setUser(user);

    QString unaided, aided, threadUser;
    QVariant requestUser;
    int jobId = 0;
    Thread fresh([&] {
        unaided = threadServer();
        ConnectionLocker locker;
        aided = threadServer();
        threadUser = QString::fromUtf8(cupsUser());
        IppRequest request(IPP_OP_PRINT_JOB);
        request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), QStringLiteral("ipp://localhost/printers/") + queue);
        requestUser = request.attributes().value(Attr::RequestingUserName);
        const IppResponse response = request.doFileRequest(Connection::instance(), QStringLiteral("/printers/") + queue, QStringLiteral("/usr/share/cups/data/testprint"));
        jobId = Utils::getAttribute(response.attributes(), Attr::JobId, 0).toInt();
    });
    fresh.start();
    QVERIFY(fresh.join(60000));
    QVERIFY2(unaided != m_sandbox.server(), "a fresh thread finds the sandbox by itself, so this proves nothing");
    QCOMPARE(aided, m_sandbox.server());
    QCOMPARE(threadUser, user);
    QCOMPARE(requestUser, QVariant(QVariantList{user}));
    QVERIFY2(jobId > 0, qPrintable(Connection::lastErrorString()));

    // The scheduler files the job under that user: "QUEUE-ID USER SIZE DATE".
    const QString lpstat = run(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), queue});
    const int line = words(lpstat).indexOf(queue + QLatin1Char('-') + QString::number(jobId));
    QVERIFY2(line >= 0, qPrintable(lpstat));
    QCOMPARE(words(lpstat, 1).at(line), user);
}

void ConnectionTest::devicesListTheBackendsDevices_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QStringList>("expected"); // class, make and model, info, device id, location

    // The norvik-test backend of scripts/cups-sandbox reports these; the HP one twice.
    QTest::newRow("USB printer") << QStringLiteral("norvik-test://hp-usb/HP_LaserJet_P2055dn?serial=TEST0001")
                                 << QStringList{QStringLiteral("direct"), QStringLiteral("HP LaserJet P2055dn"), QStringLiteral("HP LaserJet P2055dn (USB)"), s_hpDeviceId, QString()};
    QTest::newRow("network printer") << QStringLiteral("socket://127.0.0.1:9101")
                                     << QStringList{QStringLiteral("network"), QStringLiteral("Generic PostScript Printer"), QStringLiteral("Network printer 127.0.0.1:9101"),
                                                    QStringLiteral("MFG:Generic;MDL:PostScript Printer;CMD:POSTSCRIPT;CLS:PRINTER;"), QStringLiteral("Test bench")};
    QTest::newRow("unknown device") << QStringLiteral("norvik-test://unknown/device?serial=TEST0002")
                                    << QStringList{QStringLiteral("direct"), QStringLiteral("Unknown"), QStringLiteral("Unknown USB device"), QString(), QString()};
}

void ConnectionTest::devicesListTheBackendsDevices()
{
    QFETCH(QString, uri);
    QFETCH(QStringList, expected);

    // cupsd's device helper now and then loses one backend's line, for lpinfo
    // as much as for us; a difference that stays over three rounds is ours.
    QList<AttributeHash> devices;
    QStringList uris;
    QString lpinfo;
    for (int round = 0; round < 3 && (round == 0 || sorted(uris) != sorted(words(lpinfo, 1))); ++round) {
        devices = Connection::instance()->devices(5);
        uris.clear();
        for (const AttributeHash &device : qAsConst(devices)) {
            uris.append(text(device, Attr::DeviceUri));
        }
        lpinfo = run(QStringLiteral("lpinfo"), {QStringLiteral("-v")});
    }
    QVERIFY2(!devices.isEmpty(), qPrintable(Connection::lastErrorString()));
    QCOMPARE(sorted(uris), sorted(words(lpinfo, 1)));

    QCOMPARE(uris.count(uri), 1);
    const AttributeHash device = devices.at(uris.indexOf(uri));
    const QStringList seen{text(device, Attr::DeviceClass), text(device, Attr::DeviceMakeAndModel), text(device, Attr::DeviceInfo), text(device, Attr::DeviceId),
                           text(device, Attr::DeviceLocation)};
    QCOMPARE(seen, expected);
}

void ConnectionTest::ppdsListAllDriversOrThoseForOneDevice()
{
    const auto names = [](const QList<AttributeHash> &ppds) {
        QStringList result;
        for (const AttributeHash &ppd : ppds) {
            result.append(text(ppd, Attr::PpdMakeAndModel).isEmpty() ? QString() : text(ppd, Attr::PpdName));
        }
        return sorted(result);
    };
    // lpinfo -m adds the driverless "everywhere" model itself; the scheduler does not list it.
    const auto lpinfoNames = [this](const QStringList &arguments) {
        QStringList result = words(run(QStringLiteral("lpinfo"), arguments));
        result.removeAll(QStringLiteral("everywhere"));
        return sorted(result);
    };
    const QStringList all = names(Connection::instance()->PPDs());
    QVERIFY2(all.size() > 1000, qPrintable(QString::number(all.size())));
    QCOMPARE(all, lpinfoNames({QStringLiteral("-m")}));

    const QStringList forHp = names(Connection::instance()->PPDs(s_hpDeviceId));
    QVERIFY(forHp.contains(QStringLiteral("drv:///hpcups.drv/hp-laserjet_p2055dn-pcl3.ppd")));
    QVERIFY(forHp.size() < all.size());
    QCOMPARE(forHp, lpinfoNames({QStringLiteral("--device-id"), s_hpDeviceId, QStringLiteral("-m")}));
}

void ConnectionTest::changedServerSettingSurvivesTheRestart()
{
    // Every setting as cupsctl shows it, "KEY=VALUE" a line.
    const auto cupsctl = [this] {
        QHash<QString, QString> settings;
        for (const QString &line : run(QStringLiteral("cupsctl"), {}).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            settings.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
        }
        return settings;
    };
    const QString key = QStringLiteral("_debug_logging");
    const QString before = Connection::instance()->getServerSettings().value(key);
    QCOMPARE(Connection::instance()->getServerSettings(), cupsctl());
    QVERIFY(before == QLatin1String("0") || before == QLatin1String("1"));
    const QString changed = before == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1");
    auto restore = qScopeGuard([this, key, before] {
        changeSettingAndAwaitRestart(key, before);
    });

    QVERIFY2(changeSettingAndAwaitRestart(key, changed), qPrintable(Connection::lastErrorString()));
    QCOMPARE(cupsctl().value(key), changed);
    QCOMPARE(Connection::instance()->getServerSettings().value(key), changed);
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
    QCOMPARE(sorted(names), sorted(words(run(QStringLiteral("lpstat"), {QStringLiteral("-e")}))));
    QCOMPARE(groups.value(names.indexOf(printer)).value(attribute).toList(), values);
}

void ConnectionTest::serverRefusalsCarryTheServersStatusAndText()
{
    IppRequest missing(IPP_OP_GET_PRINTER_ATTRIBUTES);
    missing.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", QStringLiteral("ipp://localhost/printers/No_Such_Queue"));
    const IppResponse refused = missing.doRequest(Connection::instance(), QStringLiteral("/"));
    QVERIFY(!refused.isNull()); // an answer, not a broken exchange
    QCOMPARE(refused.statusCode(), IPP_STATUS_ERROR_NOT_FOUND);
    QCOMPARE(Connection::lastError(), IPP_STATUS_ERROR_NOT_FOUND);
    // The scheduler's own words, not the generic name of the status.
    const QString serverText = refused.attributes().value(QStringLiteral("status-message")).toList().value(0).toString();
    QVERIFY(!serverText.isEmpty() && serverText != QLatin1String(ippErrorString(IPP_STATUS_ERROR_NOT_FOUND)));
    QCOMPARE(Connection::lastErrorString(), serverText);
    QVERIFY(!missing.doRequest(Connection::instance(), QStringLiteral("/")).isOk()); // a request goes out once

    // The next success clears the error, so callers never show a stale one.
    QVERIFY(IppRequest(CUPS_GET_PRINTERS).doRequest(Connection::instance(), QStringLiteral("/")).isOk());
    QCOMPARE(Connection::lastError(), IPP_STATUS_OK);
    QVERIFY(Connection::lastErrorString().isEmpty());
}

QTEST_GUILESS_MAIN(ConnectionTest)

#include "connectiontest.moc"
