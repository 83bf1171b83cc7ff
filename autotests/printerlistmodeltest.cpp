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
constexpr auto ShowAll = PrinterListModel::ShowRemote | PrinterListModel::ShowLocal | PrinterListModel::ShowNotShared;

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
    return QString::fromLatin1(spaceSeparated).split(QLatin1Char(' '), Qt::SkipEmptyParts);
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

// A broken or foreign service on the print server's port: answers every
// connection with the same bytes and hangs up, or never answers at all.
class FakeServer : public QThread
{
public:
    FakeServer(const QByteArray &reply, bool answers)
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
    std::atomic<quint16> port{0};

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        port = server.serverPort();
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
    void filtersHideQueuesByKindAndSharing_data();
    void filtersHideQueuesByKindAndSharing();
    void rowsAreOrderedByNameOrLocation_data();
    void rowsAreOrderedByNameOrLocation();
    void reloadingReportsOnlyTheRowsThatChanged();
    void userDefaultFollowsLpoptionsNotTheServerDefault();
    void badServerGivesAnEmptyListAndAReadableError_data();
    void badServerGivesAnEmptyListAndAReadableError();

private:
    QStringList lpstat(const QString &option) const;

    CupsSandbox m_sandbox;
};

void PrinterListModelTest::initTestCase()
{
    QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
}

void PrinterListModelTest::cleanup()
{
    m_sandbox.use();
    Connection::instance()->setTimeout(30000);
}

QStringList PrinterListModelTest::lpstat(const QString &option) const
{
    QString output;
    m_sandbox.run(QStringLiteral("lpstat"), {option}, &output);
    return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void PrinterListModelTest::loadPutsPrintersAndClassesUnderTheirKindRows()
{
    // "members of class NAME:" followed by one indented line per member.
    QStringList classNames;
    QStringList memberNames;
    for (const QString &line : lpstat(QStringLiteral("-c"))) {
        if (line.at(0).isSpace()) {
            memberNames.append(line.trimmed());
        } else {
            classNames.append(line.section(QLatin1Char(' '), -1).chopped(1));
        }
    }
    QStringList printerNames = lpstat(QStringLiteral("-e"));
    for (const QString &name : qAsConst(classNames)) {
        printerNames.removeAll(name);
    }
    QCOMPARE(classNames.size(), 1);

    PrinterListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.load());
    QCOMPARE(model.rowCount(), 2);
    const QStringList printers = rowNames(model, PrinterListModel::PrintersRow);
    QCOMPARE(sorted(printers), sorted(printerNames));
    QCOMPARE(rowNames(model, PrinterListModel::ClassesRow), classNames);
    QVERIFY(!model.dest(model.indexOf(printerNames.first())).isClass());
    const Destination theClass = model.dest(model.indexOf(classNames.first()));
    QVERIFY(theClass.isClass());
    QCOMPARE(sorted(theClass.memberNames()), sorted(memberNames));

    // Office_PS of the sample: lpadmin -D "Bürodrucker" -L "Raum Ø 2.17".
    const QModelIndex office = model.indexOf(QStringLiteral("Office_PS"));
    QCOMPARE(model.data(office.siblingAtColumn(PrinterListModel::DescriptionColumn)).toString(), QString::fromUtf8("Bürodrucker"));
    QCOMPARE(model.data(office.siblingAtColumn(PrinterListModel::LocationColumn)).toString(), QString::fromUtf8("Raum Ø 2.17"));

    // The sample's one queue that is not shared.
    QVERIFY(printers.contains(QStringLiteral("Private_Printer")));
    model.setOptions(ShowAll & ~PrinterListModel::ShowNotShared);
    QVERIFY(!rowNames(model, PrinterListModel::PrintersRow).contains(QStringLiteral("Private_Printer")));
}

void PrinterListModelTest::filtersHideQueuesByKindAndSharing_data()
{
    QTest::addColumn<int>("options");
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<QStringList>("classes");

    QTest::newRow("everything") << int(ShowAll) << names("local local-private remote remote-private") << names("remote-class");
    QTest::newRow("no remote") << int(ShowAll & ~PrinterListModel::ShowRemote) << names("local local-private") << QStringList();
    QTest::newRow("no local") << int(ShowAll & ~PrinterListModel::ShowLocal) << names("remote remote-private") << names("remote-class");
    QTest::newRow("shared only") << int(ShowAll & ~PrinterListModel::ShowNotShared) << names("local remote") << names("remote-class");
    QTest::newRow("shared remote") << int(PrinterListModel::ShowRemote) << names("remote") << names("remote-class");
}

void PrinterListModelTest::filtersHideQueuesByKindAndSharing()
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
    // Filtered before and after the rows came.
    PrinterListModel filteredFirst;
    filteredFirst.setOptions(PrinterListModel::Options(options));
    filteredFirst.setDestinations(destinations, QString());
    PrinterListModel filteredLater;
    filteredLater.setDestinations(destinations, QString());
    filteredLater.setOptions(PrinterListModel::Options(options));
    for (const PrinterListModel *model : {&filteredFirst, &filteredLater}) {
        QCOMPARE(rowNames(*model, PrinterListModel::PrintersRow), printers);
        QCOMPARE(rowNames(*model, PrinterListModel::ClassesRow), classes);
    }
}

void PrinterListModelTest::rowsAreOrderedByNameOrLocation_data()
{
    QTest::addColumn<bool>("byLocation");
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<QStringList>("made");

    // Locations of the sample: Lobby_Printer "Lobby, ground floor", Office_PS
    // "Raum Ø 2.17", HP_LaserJet "Second floor"; the others have none.
    QTest::newRow("by name") << false << names("AuthPrinter HP_LaserJet Lobby_Printer Office_PS Private_Printer Raw_Queue Rejecting_Printer Stopped_Printer")
                             << names("queue1 Queue9 queue10");
    QTest::newRow("by location, then name") << true
                                            << names("AuthPrinter Private_Printer Raw_Queue Rejecting_Printer Stopped_Printer Lobby_Printer Office_PS HP_LaserJet")
                                            << names("Queue9 queue1 queue10");
}

void PrinterListModelTest::rowsAreOrderedByNameOrLocation()
{
    QFETCH(bool, byLocation);
    QFETCH(QStringList, printers);
    QFETCH(QStringList, made);

    PrinterListModel model;
    PrinterListModel::Options options = ShowAll;
    options.setFlag(PrinterListModel::GroupByLocation, byLocation);
    model.setOptions(options);
    QVERIFY(model.load());
    QCOMPARE(rowNames(model, PrinterListModel::PrintersRow), printers);

    // Names sort as people read them: numbers by value, case ignored.
    model.setDestinations({makeDestination(QStringLiteral("queue10"), CUPS_PRINTER_LOCAL, true, QStringLiteral("Floor 10")),
                           makeDestination(QStringLiteral("Queue9"), CUPS_PRINTER_LOCAL, true, QStringLiteral("floor 2")),
                           makeDestination(QStringLiteral("queue1"), CUPS_PRINTER_LOCAL, true, QStringLiteral("Floor 10"))},
                          QString());
    QCOMPARE(rowNames(model, PrinterListModel::PrintersRow), made);
}

void PrinterListModelTest::reloadingReportsOnlyTheRowsThatChanged()
{
    const QString disabled = QStringLiteral("Raw_Queue");
    // Sorts between Lobby_Printer and Office_PS, so rows move on both sides.
    const QString added = QStringLiteral("Mail_Room");
    auto restore = qScopeGuard([&] {
        m_sandbox.run(QStringLiteral("cupsenable"), {disabled});
        m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), added});
    });
    PrinterListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.load());
    const QStringList before = rowNames(model, PrinterListModel::PrintersRow);
    QList<QPersistentModelIndex> persistent;
    for (const QString &name : before) {
        persistent.append(model.indexOf(name));
    }
    const auto rowsKept = [&] {
        for (int i = 0; i < before.size(); ++i) {
            if (model.dest(persistent.at(i)).name() != before.at(i)) {
                return false;
            }
        }
        return true;
    };
    QSignalSpy changed(&model, &PrinterListModel::dataChanged);
    QSignalSpy reset(&model, &PrinterListModel::modelReset);
    QSignalSpy inserted(&model, &PrinterListModel::rowsInserted);
    QSignalSpy removed(&model, &PrinterListModel::rowsRemoved);

    // Reloading an unchanged server reports nothing.
    QVERIFY(model.load());
    QCOMPARE(changed.count(), 0);

    const QModelIndex row = model.indexOf(disabled);
    QCOMPARE(model.dest(row).state(), int(IPP_PSTATE_IDLE));
    QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {disabled}));
    QVERIFY(model.load());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), row);
    QCOMPARE(changed.at(0).at(1).toModelIndex(), row.siblingAtColumn(PrinterListModel::ColumnCount - 1));
    QCOMPARE(model.dest(row).state(), int(IPP_PSTATE_STOPPED));

    QVERIFY(m_sandbox.addPrinter(added));
    QVERIFY(model.load());
    const QPersistentModelIndex addedRow = model.indexOf(added);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(0).toModelIndex(), model.index(PrinterListModel::PrintersRow, 0));
    QCOMPARE(inserted.at(0).at(1).toInt(), addedRow.row());
    QCOMPARE(inserted.at(0).at(2).toInt(), addedRow.row());
    QVERIFY(rowsKept());

    QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), added}));
    QVERIFY(model.load());
    QCOMPARE(removed.count(), 1);
    QVERIFY(!addedRow.isValid());
    QVERIFY(rowsKept());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(reset.count(), 0);
}

void PrinterListModelTest::userDefaultFollowsLpoptionsNotTheServerDefault()
{
    const QString serverDefault = QStringLiteral("Office_PS"); // lpadmin -d in the sample
    const QString userChoice = QStringLiteral("Lobby_Printer");
    QFile lpoptions(m_sandbox.home() + QStringLiteral("/.cups/lpoptions"));
    auto restore = qScopeGuard([&] {
        m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-d"), QStringLiteral("Raw_Queue")}); // the sample's own choice
        m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), serverDefault});
    });

    PrinterListModel model;
    QVERIFY(m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-d"), userChoice}));
    QVERIFY(model.load());
    QCOMPARE(model.userDefaultDestination(), userChoice);
    QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("HP_LaserJet")}));
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

void PrinterListModelTest::badServerGivesAnEmptyListAndAReadableError_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("namesServer");

    const QByteArray ipp = QByteArrayLiteral("HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n");
    QTest::newRow("nobody listens") << false << false << QByteArray() << true;
    QTest::newRow("never answers") << true << false << QByteArray() << true;
    QTest::newRow("not IPP") << true << true << ipp + "Content-Length: 7\r\n\r\ngarbage" << true;
    QTest::newRow("cut short") << true << true << ipp + QByteArrayLiteral("Content-Length: 900\r\n\r\n\x02\x00\x00\x00") << true;
    QTest::newRow("not HTTP") << true << true << QByteArrayLiteral("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n") << true;
    QTest::newRow("hangs up") << true << true << QByteArray() << true;
    QTest::newRow("HTTP error") << true << true << QByteArrayLiteral("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n") << false;
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
    const auto printerCount = [&model] {
        return model.rowCount(model.index(PrinterListModel::PrintersRow, 0));
    };
    QVERIFY(printerCount() > 0);

    std::unique_ptr<FakeServer> fake;
    quint16 port = 0;
    if (listening) {
        fake = std::make_unique<FakeServer>(reply, answers);
        port = fake->port;
    } else {
        QTcpServer probe; // closed again at once: nobody listens on its port
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
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
    QCOMPARE(printerCount(), 0);
    QCOMPARE(model.rowCount(model.index(PrinterListModel::ClassesRow, 0)), 0);
    QVERIFY(Connection::lastError() != IPP_STATUS_OK);
    const QString message = Connection::lastErrorString();
    // libcups tends to leave a success text behind when the transport failed.
    QVERIFY2(!message.isEmpty() && message != QString::fromLocal8Bit(strerror(0)) && message != QLatin1String(ippErrorString(IPP_STATUS_OK)), qPrintable(message));
    QVERIFY2(!namesServer || message.contains(QLatin1String("127.0.0.1:") + QString::number(port)), qPrintable(message));

    // The real server again: the list comes back.
    m_sandbox.use();
    QVERIFY(model.load());
    QVERIFY(printerCount() > 0);
}

QTEST_GUILESS_MAIN(PrinterListModelTest)

#include "printerlistmodeltest.moc"
