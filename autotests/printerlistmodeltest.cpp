#include "cupssandbox.h"

#include <attributes.h>
#include <connection.h>
#include <destination.h>
#include <printerlistmodel.h>

#include <QAbstractItemModelTester>
#include <QDeadlineTimer>
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

    void filtersAndOrderChooseTheRows_data()
    {
        QTest::addColumn<int>("options");
        QTest::addColumn<QStringList>("rows"); // the printers, "|", the classes
        // Names sort as people read them: numbers by value, case ignored.
        const int all = Model::ShowRemote | Model::ShowLocal | Model::ShowNotShared;
        QTest::newRow("everything") << all << names("local1-priv Local9 local10 remote remote-priv | class");
        QTest::newRow("no remote") << (all & ~Model::ShowRemote) << names("local1-priv Local9 local10 |");
        QTest::newRow("no local") << (all & ~Model::ShowLocal) << names("remote remote-priv | class");
        QTest::newRow("shared") << (all & ~Model::ShowNotShared) << names("Local9 local10 remote | class");
        QTest::newRow("by location") << (all | Model::GroupByLocation)
                                     << names("remote-priv Local9 local1-priv local10 remote | class");
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
            made("class", CUPS_PRINTER_REMOTE | CUPS_PRINTER_CLASS),
            made("local1-priv", CUPS_PRINTER_LOCAL, false, floor10)};
        // Filtered before and after the rows came.
        Model filteredFirst;
        filteredFirst.setOptions(Model::Options(options));
        filteredFirst.setDestinations(destinations, QString());
        Model filteredLater;
        filteredLater.setDestinations(destinations, QString());
        filteredLater.setOptions(Model::Options(options));
        for (const Model *model : {&filteredFirst, &filteredLater}) {
            QTEST(rowNames(*model) << QStringLiteral("|") << rowNames(*model, Model::ClassesRow), "rows");
        }
    }

    void loadShowsTheServerAndReloadsReportOnlyWhatChanged()
    {
        const QString rawQueue = QStringLiteral("Raw_Queue"); // the sample user's own default
        const QString added = QStringLiteral("Mail_Room"); // between Lobby_Printer and Office_PS
        auto restore = qScopeGuard([&] {
            m_sandbox.run(QStringLiteral("cupsenable"), {rawQueue});
            m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), added});
            m_sandbox.run(QStringLiteral("lpoptions"), {QStringLiteral("-d"), rawQueue});
        });
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.load());
        // What add_sample in scripts/cups-sandbox sets up.
        const QStringList before = rowNames(model);
        QCOMPARE(before, names("AuthPrinter HP_LaserJet Lobby_Printer Office_PS Private_Printer "
                               "Raw_Queue Rejecting_Printer Stopped_Printer"));
        QCOMPARE(rowNames(model, Model::ClassesRow), names("Office_Class"));
        QCOMPARE(model.dest(model.indexOf(QStringLiteral("Office_Class"))).memberNames(),
                 names("Office_PS Lobby_Printer"));
        // The user's own (lpoptions -d), not the server's Office_PS.
        QCOMPARE(model.userDefaultDestination(), rawQueue);
        // lpadmin -D "Bürodrucker" -L "Raum Ø 2.17".
        const QModelIndex office = model.indexOf(QStringLiteral("Office_PS"));
        const auto text = [&office](int column) { return office.siblingAtColumn(column).data().toString(); };
        QCOMPARE(text(Model::DescriptionColumn), QStringLiteral("Bürodrucker"));
        QCOMPARE(text(Model::LocationColumn), QStringLiteral("Raum Ø 2.17"));
        QSignalSpy changed(&model, &Model::dataChanged);
        QSignalSpy inserted(&model, &Model::rowsInserted);
        QSignalSpy removed(&model, &Model::rowsRemoved);
        QSignalSpy reset(&model, &Model::modelReset);
        QVERIFY(model.load());
        QCOMPARE(changed.count(), 0); // an unchanged server, nothing to report
        const QModelIndex row = model.indexOf(rawQueue);
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {rawQueue}) && model.load());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).mid(0, 2), QVariantList({row, row.siblingAtColumn(Model::ColumnCount - 1)}));
        QCOMPARE(model.dest(row).state(), int(IPP_PSTATE_STOPPED));
        QVERIFY(m_sandbox.addPrinter(added) && model.load());
        QCOMPARE(rowNames(model).value(inserted.value(0).value(1).toInt()), added);
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), added}) && model.load());
        QCOMPARE(rowNames(model), before);
        QVERIFY(changed.count() == 1 && inserted.count() == 1 && removed.count() == 1 && reset.isEmpty());
        // Without a choice of the user's own there is no default, whatever the server's. Rows draw
        // the default: they are repainted although their own data stayed.
        QVERIFY(QFile::remove(m_sandbox.home() + QStringLiteral("/.cups/lpoptions")) && model.load());
        QCOMPARE(model.userDefaultDestination(), QString());
        QVERIFY(changed.count() > 1);
    }

    void badServerGivesAnEmptyListAndAReadableError_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QByteArray>("reply"); // none: never answers
        QTest::addColumn<bool>("namesServer");
        QTest::newRow("nobody listens") << false << QByteArray() << true;
        QTest::newRow("never answers") << true << QByteArray() << true;
        QTest::newRow("not IPP") << true << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n"
                                                       "Content-Length: 7\r\n\r\ngarbage") << true;
        QTest::newRow("not HTTP") << true << QByteArrayLiteral("SSH-2.0-OpenSSH_9.2p1\r\n") << true;
        QTest::newRow("HTTP error") << true << QByteArrayLiteral("HTTP/1.1 500 No\r\n\r\n") << false;
    }
    void badServerGivesAnEmptyListAndAReadableError()
    {
        QFETCH(bool, listening);
        QFETCH(QByteArray, reply);
        QFETCH(bool, namesServer);
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.load() && !rowNames(model).isEmpty());
        QProcess fake;
        const QString server = startFakeServer(fake, reply, true);
        QVERIFY(!server.isEmpty());
        if (!listening) {
            fake.close(); // kills it: nobody listens on its port any more
        }
        Connection::instance()->setTimeout(ShortTimeoutMsecs);
        cupsSetServer(server.toLatin1().constData());
        Connection::instance()->reconnect(true);
        QSignalSpy loaded(&model, &Model::loaded);
        const QDeadlineTimer deadline(3 * ShortTimeoutMsecs);
        QVERIFY(!model.load());
        // Gives up after the timeout it was given, not libcups' own minutes.
        QVERIFY2(!deadline.hasExpired(), "took longer than three timeouts");
        QVERIFY(loaded.count() == 1 && !loaded.at(0).at(0).toBool());
        QCOMPARE(rowNames(model) + rowNames(model, Model::ClassesRow), QStringList());
        // libcups tends to leave a success text behind when the transport failed.
        const QString message = Connection::lastErrorString();
        QVERIFY(Connection::lastError() != IPP_STATUS_OK);
        QVERIFY2(!message.isEmpty() && message != QString::fromLocal8Bit(strerror(0))
                     && message != QLatin1String(ippErrorString(IPP_STATUS_OK)), qPrintable(message));
        QVERIFY2(!namesServer || message.contains(server), qPrintable(message));
        fake.close();
        m_sandbox.use(); // the real server again: the list comes back
        QVERIFY(model.load() && !rowNames(model).isEmpty());
    }

private:
    CupsSandbox m_sandbox;
};

QTEST_GUILESS_MAIN(PrinterListModelTest)

#include "printerlistmodeltest.moc"
