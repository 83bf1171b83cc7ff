#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <destination.h>
#include <printerlistmodel.h>

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <cups/cups.h>

using namespace CUPS;
using Model = PrinterListModel;

namespace
{
constexpr int ShortTimeoutMsecs = 3000;
constexpr auto ShowAll = Model::ShowRemote | Model::ShowLocal | Model::ShowNotShared;

QStringList rowNames(const Model &model, int kind = Model::PrintersRow)
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

Destination made(const char *name, uint type, bool shared = true, const QString &location = QString())
{
    return Destination(QHash<QString, QVariant>{{Attr::PrinterName, QVariantList{QString::fromLatin1(name)}},
                                     {Attr::PrinterType, QVariantList{int(type)}},
                                     {Attr::PrinterIsShared, QVariantList{shared}},
                                     {Attr::PrinterLocation, QVariantList{location}}});
}

// A broken or foreign service on the print server's port: answers every connection with the bytes given
// in hex on its command line and hangs up, or without them never answers. Python, as the sandbox's scripts.
const char FakeServer[] = R"(import socket, sys
listener = socket.create_server(('127.0.0.1', 0))
print(listener.getsockname()[1], flush=True)
silent = []
while True:
    client = listener.accept()[0]
    client.recv(4096)
    if len(sys.argv) < 2:
        silent.append(client)
        continue
    client.sendall(bytes.fromhex(sys.argv[1]))
    client.close()
)";
} // namespace

class PrinterListModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
    }

    void cleanup()
    {
        m_sandbox.use();
        Connection::instance()->setTimeout(30000);
    }

    void loadPutsPrintersAndClassesUnderTheirKindRows()
    {
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.load());
        QCOMPARE(model.rowCount(), 2);
        // What add_sample in scripts/cups-sandbox sets up.
        QCOMPARE(rowNames(model), names("AuthPrinter HP_LaserJet Lobby_Printer Office_PS Private_Printer "
                                        "Raw_Queue Rejecting_Printer Stopped_Printer"));
        QCOMPARE(rowNames(model, Model::ClassesRow), names("Office_Class"));
        const Destination theClass = model.dest(model.indexOf(QStringLiteral("Office_Class")));
        QVERIFY(theClass.isClass() && !model.dest(model.indexOf(QStringLiteral("Office_PS"))).isClass());
        QCOMPARE(theClass.memberNames(), names("Office_PS Lobby_Printer"));
        // lpadmin -D "Bürodrucker" -L "Raum Ø 2.17".
        const QModelIndex office = model.indexOf(QStringLiteral("Office_PS"));
        QCOMPARE(office.siblingAtColumn(Model::DescriptionColumn).data().toString(),
                 QString::fromUtf8("Bürodrucker"));
        QCOMPARE(office.siblingAtColumn(Model::LocationColumn).data().toString(),
                 QString::fromUtf8("Raum Ø 2.17"));
    }

    void filtersAndOrderChooseTheRows_data()
    {
        QTest::addColumn<int>("options");
        QTest::addColumn<QStringList>("printers");
        QTest::addColumn<QStringList>("classes");
        // Names sort as people read them: numbers by value, case ignored.
        const QStringList remoteClass = names("remote-class");
        const int all = ShowAll;
        QTest::newRow("everything") << all << names("local1-priv Local9 local10 remote remote-priv")
                                    << remoteClass;
        QTest::newRow("no remote") << (all & ~Model::ShowRemote) << names("local1-priv Local9 local10")
                                   << QStringList();
        QTest::newRow("no local") << (all & ~Model::ShowLocal) << names("remote remote-priv") << remoteClass;
        QTest::newRow("shared only") << (all & ~Model::ShowNotShared) << names("Local9 local10 remote")
                                     << remoteClass;
        QTest::newRow("by location") << (all | Model::GroupByLocation)
                                     << names("remote-priv Local9 local1-priv local10 remote") << remoteClass;
    }
    void filtersAndOrderChooseTheRows()
    {
        QFETCH(int, options);
        // A scheduler without browsing never reports remote queues, so they are made up.
        const QString floor10 = QStringLiteral("Floor 10");
        const QList<Destination> destinations{
            made("remote", CUPS_PRINTER_REMOTE, true, floor10),
            made("local10", CUPS_PRINTER_LOCAL, true, floor10),
            made("Local9", CUPS_PRINTER_LOCAL, true, QStringLiteral("Floor 2")),
            made("remote-priv", CUPS_PRINTER_REMOTE, false),
            made("remote-class", CUPS_PRINTER_REMOTE | CUPS_PRINTER_CLASS),
            made("local1-priv", CUPS_PRINTER_LOCAL, false, floor10)};
        // Filtered before and after the rows came.
        Model filteredFirst;
        filteredFirst.setOptions(Model::Options(options));
        filteredFirst.setDestinations(destinations, QString());
        Model filteredLater;
        filteredLater.setDestinations(destinations, QString());
        filteredLater.setOptions(Model::Options(options));
        for (const Model *model : {&filteredFirst, &filteredLater}) {
            QTEST(rowNames(*model), "printers");
            QTEST(rowNames(*model, Model::ClassesRow), "classes");
        }
    }

    void reloadingReportsOnlyTheRowsThatChanged()
    {
        const QString disabled = QStringLiteral("Raw_Queue");
        const QString added = QStringLiteral("Mail_Room"); // between Lobby_Printer and Office_PS
        auto restore = qScopeGuard([&] {
            m_sandbox.run(QStringLiteral("cupsenable"), {disabled});
            m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), added});
        });
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.load());
        const QStringList before = rowNames(model);
        QSignalSpy changed(&model, &Model::dataChanged);
        QSignalSpy inserted(&model, &Model::rowsInserted);
        QSignalSpy removed(&model, &Model::rowsRemoved);
        QSignalSpy reset(&model, &Model::modelReset);
        QVERIFY(model.load());
        QCOMPARE(changed.count(), 0); // an unchanged server, nothing to report

        const QModelIndex row = model.indexOf(disabled);
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {disabled}) && model.load());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), row);
        QCOMPARE(changed.at(0).at(1).toModelIndex(), row.siblingAtColumn(Model::ColumnCount - 1));
        QCOMPARE(model.dest(row).state(), int(IPP_PSTATE_STOPPED));

        QVERIFY(m_sandbox.addPrinter(added) && model.load());
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(rowNames(model).value(inserted.at(0).at(1).toInt()), added);
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), added}) && model.load());
        QCOMPARE(removed.count(), 1);
        QCOMPARE(rowNames(model), before);
        QVERIFY(changed.count() == 1 && inserted.count() == 1 && reset.isEmpty());
    }

    void userDefaultFollowsLpoptionsNotTheServerDefault()
    {
        const QString userChoice = QStringLiteral("Lobby_Printer");
        auto restore = qScopeGuard([&] {
            m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-d"), QStringLiteral("Raw_Queue")});
            m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Office_PS")});
        });
        Model model;
        const QString serverChoice = QStringLiteral("Raw_Queue");
        QVERIFY(m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-d"), userChoice}));
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), serverChoice}));
        QVERIFY(model.load());
        QCOMPARE(model.userDefaultDestination(), userChoice);
        // Without a choice of the user's own there is none, whatever the server's.
        QVERIFY(QFile::remove(m_sandbox.home() + QStringLiteral("/.cups/lpoptions")));
        QSignalSpy changed(&model, &Model::dataChanged);
        QVERIFY(model.load());
        QCOMPARE(model.userDefaultDestination(), QString());
        QVERIFY(changed.count() > 0); // rows draw the default: repainted although their own data stayed
    }

    void badServerGivesAnEmptyListAndAReadableError_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<bool>("answers");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("namesServer");
        const QByteArray ipp = QByteArrayLiteral("HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n");
        const QByteArray cut = ipp + QByteArrayLiteral("Content-Length: 900\r\n\r\n\x02\x00\x00\x00");
        QTest::newRow("nobody listens") << false << false << QByteArray() << true;
        QTest::newRow("never answers") << true << false << QByteArray() << true;
        QTest::newRow("not IPP") << true << true << ipp + "Content-Length: 7\r\n\r\ngarbage" << true;
        QTest::newRow("cut short") << true << true << cut << true;
        QTest::newRow("not HTTP") << true << true << QByteArrayLiteral("SSH-2.0-OpenSSH_9.2p1\r\n") << true;
        QTest::newRow("hangs up") << true << true << QByteArray() << true;
        QTest::newRow("HTTP error") << true << true << QByteArrayLiteral("HTTP/1.1 500 No\r\n\r\n") << false;
    }
    void badServerGivesAnEmptyListAndAReadableError()
    {
        QFETCH(bool, listening);
        QFETCH(bool, answers);
        QFETCH(QByteArray, reply);
        QFETCH(bool, namesServer);
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.load() && model.rowCount(model.index(Model::PrintersRow, 0)) > 0);

        QProcess fake;
        QStringList arguments{QStringLiteral("-c"), QString::fromLatin1(FakeServer)};
        if (answers) {
            arguments.append(QString::fromLatin1(reply.toHex()));
        }
        fake.start(QStringLiteral("python3"), arguments);
        QVERIFY(fake.waitForReadyRead(10000));
        const QString server = QLatin1String("127.0.0.1:") + QString::fromLatin1(fake.readLine().trimmed());
        if (!listening) {
            fake.kill(); // nobody listens on its port any more
            fake.waitForFinished();
        }
        Connection::instance()->setTimeout(ShortTimeoutMsecs);
        cupsSetServer(server.toLatin1().constData());
        Connection::instance()->reconnect(true);

        QSignalSpy loaded(&model, &Model::loaded);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!model.load());
        // Gives up after the timeout it was given, not libcups' own minutes.
        QVERIFY2(clock.elapsed() < 3 * ShortTimeoutMsecs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(loaded.count(), 1);
        QVERIFY(!loaded.at(0).at(0).toBool());
        QCOMPARE(rowNames(model) + rowNames(model, Model::ClassesRow), QStringList());
        // libcups tends to leave a success text behind when the transport failed.
        const QString message = Connection::lastErrorString();
        QVERIFY(Connection::lastError() != IPP_STATUS_OK);
        QVERIFY2(!message.isEmpty() && message != QString::fromLocal8Bit(strerror(0))
                     && message != QLatin1String(ippErrorString(IPP_STATUS_OK)), qPrintable(message));
        QVERIFY2(!namesServer || message.contains(server), qPrintable(message));
        fake.kill();
        fake.waitForFinished();

        m_sandbox.use(); // the real server again: the list comes back
        QVERIFY(model.load() && !rowNames(model).isEmpty());
    }

private:
    CupsSandbox m_sandbox;
};

QTEST_GUILESS_MAIN(PrinterListModelTest)

#include "printerlistmodeltest.moc"
