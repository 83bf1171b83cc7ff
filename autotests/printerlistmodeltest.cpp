#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <destination.h>
#include <printerlistmodel.h>

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFile>
#include <QPersistentModelIndex>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <cups/cups.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

using CUPS::Connection;
using CUPS::Destination;
using CUPS::PrinterListModel;

namespace
{
constexpr int ShortTimeoutMsecs = 3000;
constexpr int DefaultTimeoutMsecs = 30000;

// The sample's one queue that is not shared (add_sample in scripts/cups-sandbox).
const QString s_notSharedSample = QStringLiteral("Private_Printer");

QStringList rowNames(const PrinterListModel &model, int kind)
{
    QStringList result;
    const QModelIndex parent = model.index(kind, 0);
    for (int row = 0; row < model.rowCount(parent); ++row) {
        result.append(model.dest(model.index(row, 0, parent)).name());
    }
    return result;
}

QStringList names(const char *spaceSeparated)
{
    return QString::fromLatin1(spaceSeparated).split(QLatin1Char(' '));
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

Destination makeDestination(const QString &name, uint type, bool shared, const QString &location = QString())
{
    return Destination(QHash<QString, QVariant>{
        {CUPS::Attr::PrinterName, QVariantList{name}},
        {CUPS::Attr::PrinterType, QVariantList{int(type)}},
        {CUPS::Attr::PrinterIsShared, QVariantList{shared}},
        {CUPS::Attr::PrinterLocation, QVariantList{location}},
    });
}

quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort(); // closed again when probe goes
}

// A broken or foreign service on the print server's port: answers every
// connection with the same bytes and hangs up, or never answers at all.
class FakeServer : public QThread
{
public:
    explicit FakeServer(const QByteArray &reply, bool answers)
        : m_reply(reply)
        , m_answers(answers)
    {
        start();
        m_ready.acquire();
    }
    ~FakeServer() override
    {
        m_stop = true;
        wait();
    }
    quint16 port() const
    {
        return m_port;
    }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        m_port = server.serverPort();
        m_ready.release();
        std::vector<std::unique_ptr<QTcpSocket>> silent;
        while (!m_stop) {
            if (!server.waitForNewConnection(20)) {
                continue;
            }
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            socket->waitForReadyRead(2000);
            socket->readAll();
            if (!m_answers) {
                silent.push_back(std::move(socket));
                continue;
            }
            socket->write(m_reply);
            socket->waitForBytesWritten(2000);
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState) {
                socket->waitForDisconnected(2000);
            }
        }
    }

private:
    const QByteArray m_reply;
    const bool m_answers;
    std::atomic<quint16> m_port{0};
    std::atomic<bool> m_stop{false};
    QSemaphore m_ready;
};
} // namespace

class PrinterListModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void loadPutsPrintersAndClassesUnderTheirKindRows();
    void filtersHideLocalAndNotSharedQueues_data();
    void filtersHideLocalAndNotSharedQueues();
    void filtersHideRemoteQueues_data();
    void filtersHideRemoteQueues();
    void rowsAreOrderedByNameOrLocation_data();
    void rowsAreOrderedByNameOrLocation();
    void aDisabledPrinterChangesOnlyItsRow();
    void addedAndDeletedQueuesInsertAndRemoveOneRow();
    void userDefaultFollowsLpoptionsNotTheServerDefault();
    void nonAsciiTextComesBackIntact();
    void badServerGivesAnEmptyListAndAReadableError_data();
    void badServerGivesAnEmptyListAndAReadableError();

private:
    bool lpstat(const QStringList &arguments, QStringList *lines);

    CupsSandbox m_sandbox;
};

void PrinterListModelTest::initTestCase()
{
    const bool ok = m_sandbox.start(true);
    QVERIFY2(ok, qPrintable(m_sandbox.errorString()));
}

void PrinterListModelTest::cleanup()
{
    m_sandbox.use();
    Connection::instance()->setTimeout(DefaultTimeoutMsecs);
}

bool PrinterListModelTest::lpstat(const QStringList &arguments, QStringList *lines)
{
    QString output;
    const bool ok = m_sandbox.run(QStringLiteral("lpstat"), arguments, &output);
    *lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return ok;
}

void PrinterListModelTest::loadPutsPrintersAndClassesUnderTheirKindRows()
{
    QStringList allNames;
    QStringList classLines;
    QVERIFY(lpstat({QStringLiteral("-e")}, &allNames));
    QVERIFY(lpstat({QStringLiteral("-c")}, &classLines));
    // "members of class NAME:" followed by one indented line per member.
    QStringList classNames;
    QStringList memberNames;
    for (const QString &line : qAsConst(classLines)) {
        if (line.at(0).isSpace()) {
            memberNames.append(line.trimmed());
        } else {
            classNames.append(line.section(QLatin1Char(' '), -1).chopped(1));
        }
    }
    QStringList printerNames = allNames;
    for (const QString &name : qAsConst(classNames)) {
        printerNames.removeAll(name);
    }
    QVERIFY(!printerNames.isEmpty());
    QCOMPARE(classNames.size(), 1);

    PrinterListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.load());

    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(sorted(rowNames(model, PrinterListModel::PrintersRow)), sorted(printerNames));
    QCOMPARE(sorted(rowNames(model, PrinterListModel::ClassesRow)), sorted(classNames));
    for (int kind : {PrinterListModel::PrintersRow, PrinterListModel::ClassesRow}) {
        const QModelIndex parent = model.index(kind, 0);
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const Destination dest = model.dest(model.index(row, 0, parent));
            QVERIFY2(dest.isClass() == (kind == PrinterListModel::ClassesRow), qPrintable(dest.name()));
        }
    }
    const Destination theClass = model.dest(model.indexOf(classNames.first()));
    QCOMPARE(sorted(theClass.memberNames()), sorted(memberNames));
}

void PrinterListModelTest::filtersHideLocalAndNotSharedQueues_data()
{
    QTest::addColumn<int>("options");
    QTest::addColumn<bool>("showsLocal");
    QTest::addColumn<bool>("showsNotShared");

    QTest::newRow("everything") << int(PrinterListModel::ShowRemote | PrinterListModel::ShowLocal | PrinterListModel::ShowNotShared) << true << true;
    QTest::newRow("shared only") << int(PrinterListModel::ShowRemote | PrinterListModel::ShowLocal) << true << false;
    QTest::newRow("remote only") << int(PrinterListModel::ShowRemote | PrinterListModel::ShowNotShared) << false << true;
    QTest::newRow("remote and shared only") << int(PrinterListModel::ShowRemote) << false << false;
}

void PrinterListModelTest::filtersHideLocalAndNotSharedQueues()
{
    QFETCH(int, options);
    QFETCH(bool, showsLocal);
    QFETCH(bool, showsNotShared);

    QString sharing;
    QVERIFY(m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-p"), s_notSharedSample}, &sharing));
    QVERIFY2(sharing.contains(CUPS::Attr::PrinterIsShared + QLatin1String("=false")), qPrintable(sharing));

    PrinterListModel everything;
    QVERIFY(everything.load());
    const QStringList allPrinters = rowNames(everything, PrinterListModel::PrintersRow);
    const QStringList allClasses = rowNames(everything, PrinterListModel::ClassesRow);
    QVERIFY(allPrinters.contains(s_notSharedSample));

    QStringList expectedPrinters = showsLocal ? allPrinters : QStringList();
    if (!showsNotShared) {
        expectedPrinters.removeAll(s_notSharedSample);
    }
    const QStringList expectedClasses = showsLocal ? allClasses : QStringList();

    PrinterListModel model;
    model.setOptions(PrinterListModel::Options(options));
    QVERIFY(model.load());
    QCOMPARE(rowNames(model, PrinterListModel::PrintersRow), expectedPrinters);
    QCOMPARE(rowNames(model, PrinterListModel::ClassesRow), expectedClasses);

    // Changing the options of a loaded model filters the same way.
    everything.setOptions(PrinterListModel::Options(options));
    QCOMPARE(rowNames(everything, PrinterListModel::PrintersRow), expectedPrinters);
    QCOMPARE(rowNames(everything, PrinterListModel::ClassesRow), expectedClasses);
}

void PrinterListModelTest::filtersHideRemoteQueues_data()
{
    QTest::addColumn<int>("options");
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<QStringList>("classes");

    const auto all = PrinterListModel::ShowRemote | PrinterListModel::ShowLocal | PrinterListModel::ShowNotShared;
    QTest::newRow("everything") << int(all) << names("local local-private remote remote-private") << names("remote-class");
    QTest::newRow("no remote") << int(all & ~PrinterListModel::ShowRemote) << names("local local-private") << QStringList();
    QTest::newRow("no local") << int(all & ~PrinterListModel::ShowLocal) << names("remote remote-private") << names("remote-class");
    QTest::newRow("shared remote") << int(PrinterListModel::ShowRemote) << names("remote") << names("remote-class");
}

void PrinterListModelTest::filtersHideRemoteQueues()
{
    QFETCH(int, options);
    QFETCH(QStringList, printers);
    QFETCH(QStringList, classes);

    // A scheduler without browsing never reports remote queues, so they are made up.
    const QList<Destination> destinations{
        makeDestination(QStringLiteral("remote"), CUPS_PRINTER_REMOTE, true),
        makeDestination(QStringLiteral("local"), CUPS_PRINTER_LOCAL, true),
        makeDestination(QStringLiteral("remote-private"), CUPS_PRINTER_REMOTE, false),
        makeDestination(QStringLiteral("remote-class"), CUPS_PRINTER_REMOTE | CUPS_PRINTER_CLASS, true),
        makeDestination(QStringLiteral("local-private"), CUPS_PRINTER_LOCAL, false),
    };

    PrinterListModel filteredFirst;
    filteredFirst.setOptions(PrinterListModel::Options(options));
    filteredFirst.setDestinations(destinations, QString());
    QCOMPARE(rowNames(filteredFirst, PrinterListModel::PrintersRow), printers);
    QCOMPARE(rowNames(filteredFirst, PrinterListModel::ClassesRow), classes);

    PrinterListModel filteredLater;
    filteredLater.setDestinations(destinations, QString());
    filteredLater.setOptions(PrinterListModel::Options(options));
    QCOMPARE(rowNames(filteredLater, PrinterListModel::PrintersRow), printers);
    QCOMPARE(rowNames(filteredLater, PrinterListModel::ClassesRow), classes);
}

void PrinterListModelTest::rowsAreOrderedByNameOrLocation_data()
{
    QTest::addColumn<bool>("byLocation");
    QTest::addColumn<QStringList>("printers");

    // Locations of the sample: Lobby_Printer "Lobby, ground floor", Office_PS
    // "Raum Ø 2.17", HP_LaserJet "Second floor"; the others have none.
    QTest::newRow("by name") << false << names("AuthPrinter HP_LaserJet Lobby_Printer Office_PS Private_Printer Raw_Queue Rejecting_Printer Stopped_Printer");
    QTest::newRow("by location, then name") << true
                                            << names("AuthPrinter Private_Printer Raw_Queue Rejecting_Printer Stopped_Printer Lobby_Printer Office_PS HP_LaserJet");
}

void PrinterListModelTest::rowsAreOrderedByNameOrLocation()
{
    QFETCH(bool, byLocation);
    QFETCH(QStringList, printers);

    PrinterListModel model;
    PrinterListModel::Options options = model.options() | PrinterListModel::ShowNotShared;
    options.setFlag(PrinterListModel::GroupByLocation, byLocation);
    model.setOptions(options);
    QVERIFY(model.load());
    QCOMPARE(rowNames(model, PrinterListModel::PrintersRow), printers);

    // Names sort as people read them: numbers by value, case ignored.
    PrinterListModel made;
    made.setOptions(options);
    made.setDestinations({makeDestination(QStringLiteral("queue10"), CUPS_PRINTER_LOCAL, true, QStringLiteral("Floor 10")),
                          makeDestination(QStringLiteral("Queue9"), CUPS_PRINTER_LOCAL, true, QStringLiteral("floor 2")),
                          makeDestination(QStringLiteral("queue1"), CUPS_PRINTER_LOCAL, true, QStringLiteral("Floor 10"))},
                         QString());
    const QStringList expected = byLocation ? names("Queue9 queue1 queue10") : names("queue1 Queue9 queue10");
    QCOMPARE(rowNames(made, PrinterListModel::PrintersRow), expected);
}

void PrinterListModelTest::aDisabledPrinterChangesOnlyItsRow()
{
    const QString name = QStringLiteral("Raw_Queue");
    PrinterListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.load());
    const QModelIndex before = model.indexOf(name);
    QVERIFY(before.isValid());
    QCOMPARE(model.dest(before).state(), int(IPP_PSTATE_IDLE));

    QSignalSpy changed(&model, &PrinterListModel::dataChanged);
    QSignalSpy reset(&model, &PrinterListModel::modelReset);
    QSignalSpy inserted(&model, &PrinterListModel::rowsInserted);
    QSignalSpy removed(&model, &PrinterListModel::rowsRemoved);

    // Reloading an unchanged server reports nothing.
    QVERIFY(model.load());
    QCOMPARE(changed.count(), 0);

    QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {name}));
    auto enableAgain = qScopeGuard([this, name] {
        m_sandbox.run(QStringLiteral("cupsenable"), {name});
    });
    QVERIFY(model.load());

    QCOMPARE(changed.count(), 1);
    const QModelIndex topLeft = changed.at(0).at(0).toModelIndex();
    const QModelIndex bottomRight = changed.at(0).at(1).toModelIndex();
    QCOMPARE(topLeft, model.index(before.row(), 0, before.parent()));
    QCOMPARE(bottomRight, model.index(before.row(), PrinterListModel::ColumnCount - 1, before.parent()));
    QCOMPARE(reset.count(), 0);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(model.indexOf(name), before);
    QCOMPARE(model.dest(before).state(), int(IPP_PSTATE_STOPPED));
}

void PrinterListModelTest::addedAndDeletedQueuesInsertAndRemoveOneRow()
{
    // Sorts between Lobby_Printer and Office_PS, so rows move on both sides.
    const QString name = QStringLiteral("Mail_Room");
    PrinterListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.load());
    const QStringList names = rowNames(model, PrinterListModel::PrintersRow);
    QList<QPersistentModelIndex> persistent;
    for (const QString &other : names) {
        persistent.append(model.indexOf(other));
    }

    QSignalSpy changed(&model, &PrinterListModel::dataChanged);
    QSignalSpy reset(&model, &PrinterListModel::modelReset);
    QSignalSpy inserted(&model, &PrinterListModel::rowsInserted);
    QSignalSpy removed(&model, &PrinterListModel::rowsRemoved);
    auto deleteQueue = qScopeGuard([this, name] {
        m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
    });

    QVERIFY(m_sandbox.addPrinter(name));
    QVERIFY(model.load());
    const QModelIndex added = model.indexOf(name);
    QVERIFY(added.isValid());
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(0).toModelIndex(), model.index(PrinterListModel::PrintersRow, 0));
    QCOMPARE(inserted.at(0).at(1).toInt(), added.row());
    QCOMPARE(inserted.at(0).at(2).toInt(), added.row());
    for (int i = 0; i < names.size(); ++i) {
        QVERIFY2(persistent.at(i).isValid(), qPrintable(names.at(i)));
        QCOMPARE(model.dest(persistent.at(i)).name(), names.at(i));
    }
    const QPersistentModelIndex addedPersistent(added);

    QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name}));
    QVERIFY(model.load());
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), added.row());
    QVERIFY(!addedPersistent.isValid());
    for (int i = 0; i < names.size(); ++i) {
        QVERIFY2(persistent.at(i).isValid(), qPrintable(names.at(i)));
        QCOMPARE(model.dest(persistent.at(i)).name(), names.at(i));
    }
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(reset.count(), 0);
}

void PrinterListModelTest::userDefaultFollowsLpoptionsNotTheServerDefault()
{
    const QString serverDefault = QStringLiteral("Office_PS"); // lpadmin -d in the sample
    const QString userChoice = QStringLiteral("Lobby_Printer");
    const QString otherServerDefault = QStringLiteral("HP_LaserJet");
    QFile lpoptions(m_sandbox.home() + QStringLiteral("/.cups/lpoptions"));
    QByteArray savedLpoptions;
    if (lpoptions.open(QIODevice::ReadOnly)) {
        savedLpoptions = lpoptions.readAll();
        lpoptions.close();
    }
    auto restore = qScopeGuard([&] {
        if (savedLpoptions.isNull()) {
            lpoptions.remove();
        } else if (lpoptions.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            lpoptions.write(savedLpoptions);
            lpoptions.close();
        }
        m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), serverDefault});
    });

    PrinterListModel model;
    QVERIFY(m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-d"), userChoice}));
    QVERIFY(model.load());
    QCOMPARE(model.userDefaultDestination(), userChoice);

    QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), otherServerDefault}));
    QVERIFY(model.load());
    QCOMPARE(model.userDefaultDestination(), userChoice);

    // Without a choice of the user's own there is none, whatever the server's.
    QVERIFY(lpoptions.remove());
    QSignalSpy changed(&model, &PrinterListModel::dataChanged);
    QVERIFY(model.load());
    QCOMPARE(model.userDefaultDestination(), QString());
    // Rows draw the default, so they are repainted although their own data stayed.
    QVERIFY(changed.count() > 0);
}

void PrinterListModelTest::nonAsciiTextComesBackIntact()
{
    // Office_PS of the sample: lpadmin -D "Bürodrucker" -L "Raum Ø 2.17".
    PrinterListModel model;
    QVERIFY(model.load());
    const QModelIndex index = model.indexOf(QStringLiteral("Office_PS"));
    QVERIFY(index.isValid());
    QCOMPARE(model.data(index.siblingAtColumn(PrinterListModel::DescriptionColumn)).toString(), QString::fromUtf8("Bürodrucker"));
    QCOMPARE(model.data(index.siblingAtColumn(PrinterListModel::LocationColumn)).toString(), QString::fromUtf8("Raum Ø 2.17"));
}

void PrinterListModelTest::badServerGivesAnEmptyListAndAReadableError_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("namesServer");

    const QByteArray notIpp = QByteArrayLiteral("HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: 7\r\n\r\ngarbage");
    const QByteArray cutShort = QByteArrayLiteral("HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: 900\r\n\r\n\x02\x00\x00\x00");
    const QByteArray httpError = QByteArrayLiteral("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
    QTest::newRow("nobody listens") << false << false << QByteArray() << true;
    QTest::newRow("never answers") << true << false << QByteArray() << true;
    QTest::newRow("not IPP") << true << true << notIpp << true;
    QTest::newRow("cut short") << true << true << cutShort << true;
    QTest::newRow("not HTTP") << true << true << QByteArrayLiteral("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n") << true;
    QTest::newRow("hangs up") << true << true << QByteArray() << true;
    QTest::newRow("HTTP error") << true << true << httpError << false;
}

void PrinterListModelTest::badServerGivesAnEmptyListAndAReadableError()
{
    QFETCH(bool, listening);
    QFETCH(bool, answers);
    QFETCH(QByteArray, reply);
    QFETCH(bool, namesServer);

    PrinterListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.load());
    QVERIFY(model.rowCount(model.index(PrinterListModel::PrintersRow, 0)) > 0);

    std::unique_ptr<FakeServer> fake;
    quint16 port = 0;
    if (listening) {
        fake = std::make_unique<FakeServer>(reply, answers);
        port = fake->port();
    } else {
        port = unusedPort();
    }
    QVERIFY(port != 0);
    Connection::instance()->setTimeout(ShortTimeoutMsecs);
    cupsSetServer(QByteArray("127.0.0.1:" + QByteArray::number(port)).constData());
    Connection::instance()->reconnect(true);

    QSignalSpy loaded(&model, &PrinterListModel::loaded);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!model.load());
    // Gives up after the timeout it was given, not libcups' own minutes.
    QVERIFY2(clock.elapsed() < 3 * ShortTimeoutMsecs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(loaded.at(0).at(0).toBool(), false);
    QCOMPARE(model.rowCount(model.index(PrinterListModel::PrintersRow, 0)), 0);
    QCOMPARE(model.rowCount(model.index(PrinterListModel::ClassesRow, 0)), 0);
    QVERIFY(Connection::lastError() != IPP_STATUS_OK);
    const QString message = Connection::lastErrorString();
    QVERIFY(!message.isEmpty());
    // libcups tends to leave a success text behind when the transport failed.
    QVERIFY2(message != QString::fromLocal8Bit(strerror(0)), qPrintable(message));
    QVERIFY2(message != QLatin1String(ippErrorString(IPP_STATUS_OK)), qPrintable(message));
    if (namesServer) {
        QVERIFY2(message.contains(QLatin1String("127.0.0.1:") + QString::number(port)), qPrintable(message));
    }

    // The real server again: the list comes back.
    m_sandbox.use();
    QVERIFY(model.load());
    QVERIFY(model.rowCount(model.index(PrinterListModel::PrintersRow, 0)) > 0);
}

QTEST_GUILESS_MAIN(PrinterListModelTest)

#include "printerlistmodeltest.moc"
