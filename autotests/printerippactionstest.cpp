#include "cupssandbox.h"
#include "testppd.h"

#include <attributes.h>
#include <connection.h>
#include <jobippactions.h>
#include <printerippactions.h>
#include <utils.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using CUPS::Connection;
using CUPS::JobIppActions;
using CUPS::PrinterIppActions;

namespace
{
QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool writeFile(const QString &path, const QString &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content.toUtf8()) == content.toUtf8().size();
}
} // namespace

class PrinterIppActionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void rejectingRecordsTheReasonAcceptingClearsItAndPoliciesAreTheServers();
    void attributesComeAllOrByName();
    void userDefaultRewritesOnlyTheDefaultLine_data();
    void userDefaultRewritesOnlyTheDefaultLine();
    void userDefaultRefusesUnknownDestinations_data();
    void userDefaultRefusesUnknownDestinations();
    void testPageBecomesAJob_data();
    void testPageBecomesAJob();
    void purgingRemovesActiveAndFinishedJobs();
    void addedPrintersTakeTheDriverAndNewOnesStartEnabled_data();
    void addedPrintersTakeTheDriverAndNewOnesStartEnabled();
    void badQueuesAreRefusedBeforeTheServerIsAsked();

private:
    QString uriOf(const QString &name) const;
    QString run(const QString &program, const QStringList &arguments) const;
    QString lpoptionsPath() const;

    CupsSandbox m_sandbox;
    QTemporaryDir m_files;
};

void PrinterIppActionsTest::initTestCase()
{
    QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
    QVERIFY(TestPpd().write(m_files.filePath(QStringLiteral("test.ppd")))
        && m_sandbox.addPrinter(QStringLiteral("Paused_Queue"), {QStringLiteral("-m"), QStringLiteral("drv:///sample.drv/generic.ppd")}));
    QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {QStringLiteral("Paused_Queue")})
        && m_sandbox.run(QStringLiteral("cupsreject"), {QStringLiteral("Paused_Queue")}));
}

QString PrinterIppActionsTest::uriOf(const QString &name) const
{
    return QStringLiteral("ipp://%1/printers/%2").arg(m_sandbox.server(), name);
}

QString PrinterIppActionsTest::run(const QString &program, const QStringList &arguments) const
{
    QString output;
    m_sandbox.run(program, arguments, &output);
    return output;
}

QString PrinterIppActionsTest::lpoptionsPath() const
{
    return QDir::homePath() + QStringLiteral("/.cups/lpoptions");
}

void PrinterIppActionsTest::rejectingRecordsTheReasonAcceptingClearsItAndPoliciesAreTheServers()
{
    QVERIFY(m_sandbox.addPrinter(QStringLiteral("Gate")));
    const QString uri = uriOf(QStringLiteral("Gate"));
    PrinterIppActions *actions = PrinterIppActions::instance();
    const auto accepting = [&] {
        return CUPS::Utils::getAttribute(actions->destAttrs(uri, {CUPS::Attr::PrinterIsAcceptingJobs}), CUPS::Attr::PrinterIsAcceptingJobs).toBool();
    };
    QVERIFY(actions->rejectJobs(uri, QStringLiteral("Toner «leer»")) && !accepting());
    QVERIFY(run(QStringLiteral("lpstat"), {QStringLiteral("-a"), QStringLiteral("Gate")}).contains(QStringLiteral("Toner «leer»")));
    QVERIFY(actions->acceptJobs(uri) && accepting());
    // An empty reason leaves cupsd's own wording.
    QVERIFY(actions->rejectJobs(uri, QString()) && !accepting());

    // cupsd checks the policy's name; it keeps no label range (see macippactionstest for that).
    QVERIFY(actions->setPrinterPolicy(uri, QStringLiteral("default")) && !actions->setPrinterPolicy(uri, QStringLiteral("no-such-policy")));
}

void PrinterIppActionsTest::attributesComeAllOrByName()
{
    PrinterIppActions *actions = PrinterIppActions::instance();
    const QString uri = uriOf(QStringLiteral("Office_PS"));

    const QHash<QString, QVariant> all = actions->destAttrs(uri, {});
    QCOMPARE(CUPS::Utils::getAttribute(all, QStringLiteral("printer-name")).toString(), QStringLiteral("Office_PS"));
    QCOMPARE(CUPS::Utils::getAttribute(all, QStringLiteral("printer-location")).toString(), QStringLiteral("Raum Ø 2.17"));
    QVERIFY2(all.size() > 50, qPrintable(QString::number(all.size())));
    // Every value is a list, also for single values.
    QCOMPARE(all.value(QStringLiteral("printer-name")).userType(), int(QMetaType::QVariantList));

    const QHash<QString, QVariant> some = actions->destAttrs(uri, {QStringLiteral("printer-name"), QStringLiteral("printer-state")});
    QCOMPARE(QSet<QString>(some.keyBegin(), some.keyEnd()), (QSet<QString>{QStringLiteral("printer-name"), QStringLiteral("printer-state")}));

    // A class answers under its own name.
    const QHash<QString, QVariant> members = actions->destAttrs(QStringLiteral("ipp://%1/classes/Office_Class").arg(m_sandbox.server()), {QStringLiteral("member-names")});
    QCOMPARE(members.value(QStringLiteral("member-names")).toList().size(), 2);
}

void PrinterIppActionsTest::userDefaultRewritesOnlyTheDefaultLine_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow("no file") << QString() << QStringLiteral("Default Lobby_Printer\n");
    QTest::newRow("old default without options")
        << QStringLiteral("Default Raw_Queue\n") << QStringLiteral("Dest Raw_Queue\nDefault Lobby_Printer\n");
    QTest::newRow("options of both kept, in place")
        << QStringLiteral("# mine\nDefault Raw_Queue sides=two-sided-long-edge\nDest Lobby_Printer copies=2 media=A4\n")
        << QStringLiteral("# mine\nDest Raw_Queue sides=two-sided-long-edge\nDefault Lobby_Printer copies=2 media=A4\n");
    QTest::newRow("instances stay instances")
        << QStringLiteral("Dest Lobby_Printer/draft print-quality=3\nDefault Lobby_Printer/draft\n")
        << QStringLiteral("Dest Lobby_Printer/draft print-quality=3\nDest Lobby_Printer/draft\nDefault Lobby_Printer\n");
    // The line takes the name as the server lists it: the printer lists compare names exactly.
    QTest::newRow("names match without case") << QStringLiteral("dest lobby_printer copies=3\n") << QStringLiteral("Default Lobby_Printer copies=3\n");
    QTest::newRow("other letters, an instance the old default")
        << QStringLiteral("Dest LObby_Printer job-hold-until=night\nDest Office_PS media=A4\nDefault LObby_Printer/draft media=A4 nides=two-sided-long-edge\n")
        << QStringLiteral("Default Lobby_Printer job-hold-until=night\nDest Office_PS media=A4\nDest LObby_Printer/draft media=A4 nides=two-sided-long-edge\n");
}

void PrinterIppActionsTest::userDefaultRewritesOnlyTheDefaultLine()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFile::remove(lpoptionsPath());
    if (!before.isNull()) {
        QVERIFY(writeFile(lpoptionsPath(), before));
    }

    QVERIFY2(PrinterIppActions::instance()->setUserDefaultDestination(QStringLiteral("Lobby_Printer")), qPrintable(Connection::lastErrorString()));
    QCOMPARE(readFile(lpoptionsPath()), after);
    // libcups reads it back as this user's default.
    QString output;
    QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-d")}, &output));
    QVERIFY2(output.contains(QLatin1String("Lobby_Printer")) || output.contains(QLatin1String("lobby_printer")), qPrintable(output));
}

void PrinterIppActionsTest::userDefaultRefusesUnknownDestinations_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("unknown") << QStringLiteral("No_Such_Printer");
    QTest::newRow("empty") << QString();
    QTest::newRow("space would split the line") << QStringLiteral("Raw_Queue copies=99");
    QTest::newRow("newline would add a line") << QStringLiteral("Raw_Queue\nDefault Office_PS");
}

void PrinterIppActionsTest::userDefaultRefusesUnknownDestinations()
{
    QFETCH(QString, name);
    const QString before = QStringLiteral("Default Raw_Queue\n");
    QVERIFY(writeFile(lpoptionsPath(), before));
    QVERIFY(!PrinterIppActions::instance()->setUserDefaultDestination(name));
    QVERIFY(!Connection::lastErrorString().isEmpty());
    QCOMPARE(readFile(lpoptionsPath()), before);
}

void PrinterIppActionsTest::testPageBecomesAJob_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("printer") << QStringLiteral("Raw_Queue");
    QTest::newRow("class") << QStringLiteral("Office_Class");
}

void PrinterIppActionsTest::testPageBecomesAJob()
{
    QFETCH(QString, name);
    QString error;
    const int jobId = PrinterIppActions::instance()->printTestPage(name, error);
    QVERIFY2(jobId > 0, qPrintable(error));
    QVERIFY(error.isEmpty());

    QString jobs;
    QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), name}, &jobs));
    QVERIFY2(jobs.contains(QStringLiteral("%1-%2 ").arg(name).arg(jobId)), qPrintable(jobs));
}

void PrinterIppActionsTest::purgingRemovesActiveAndFinishedJobs()
{
    QVERIFY(m_sandbox.addPrinter(QStringLiteral("Purge_Me")));
    QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {QStringLiteral("Purge_Me")}));
    for (const QString &hold : {QStringLiteral("hold"), QStringLiteral("no-hold")}) {
        QVERIFY(m_sandbox.run(QStringLiteral("lp"), {QStringLiteral("-d"), QStringLiteral("Purge_Me"), QStringLiteral("-H"), hold, QStringLiteral("/usr/share/cups/data/testprint")}));
    }
    QString jobs;
    QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-o"), QStringLiteral("Purge_Me")}, &jobs));
    QCOMPARE(jobs.count(QStringLiteral("Purge_Me-")), 2);

    QVERIFY2(JobIppActions::instance()->purgeJobs(uriOf(QStringLiteral("Purge_Me"))), qPrintable(Connection::lastErrorString()));
    QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), QStringLiteral("Purge_Me")}, &jobs));
    QCOMPARE(jobs.trimmed(), QString());
}

void PrinterIppActionsTest::addedPrintersTakeTheDriverAndNewOnesStartEnabled_data()
{
    QTest::addColumn<QString>("deviceUri");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("makeAndModel");
    const QString null = QStringLiteral("file:///dev/null");
    QTest::newRow("From_List") << null << QStringLiteral("drv:///sample.drv/generic.ppd") << QStringLiteral("Generic PostScript Printer");
    QTest::newRow("From_File") << null << m_files.filePath(QStringLiteral("test.ppd")) << QStringLiteral("Norvik Test Printer");
    QTest::newRow("Paused_Queue") << QStringLiteral("socket://127.0.0.1:9101") << QString() << QStringLiteral("Generic PostScript Printer");
}

void PrinterIppActionsTest::addedPrintersTakeTheDriverAndNewOnesStartEnabled()
{
    QFETCH(QString, deviceUri);
    QFETCH(QString, driver);
    QFETCH(QString, makeAndModel);
    const QString name = QString::fromLatin1(QTest::currentDataTag()); // rows are named after their queues
    const bool existing = name == QLatin1String("Paused_Queue");
    QVERIFY2(
        PrinterIppActions::instance()->addPrinter(name, deviceUri, driver, QStringLiteral("Lab"), {}, {}, {}, true), qPrintable(Connection::lastErrorString()));
    // A new queue gets cupsd's description (its name) and starts; an existing one has it cleared and keeps its state.
    const QString expected
        = QStringLiteral("printer-info%1 printer-is-accepting-jobs=%2 printer-is-shared=true printer-is-temporary=false printer-location=Lab "
                         "printer-make-and-model='%3' printer-state=%4 ")
              .arg(existing ? QString() : QLatin1Char('=') + name, QLatin1String(existing ? "false" : "true"), makeAndModel,
                  QLatin1String(existing ? "5" : "3"));
    const QString options = run(QStringLiteral("lpoptions"), {QStringLiteral("-p"), name});
    QVERIFY2(options.contains(expected), qPrintable(options));
    QVERIFY2(options.contains(QStringLiteral("device-uri=%1 ").arg(deviceUri)), qPrintable(options));
}

// The error is the core's own: no request reached the server after the check.
void PrinterIppActionsTest::badQueuesAreRefusedBeforeTheServerIsAsked()
{
    PrinterIppActions *actions = PrinterIppActions::instance();
    const auto refused = [](bool ok, const char *error) {
        return !ok && Connection::lastErrorString().contains(QLatin1String(error));
    };
    QVERIFY(
        refused(actions->addPrinter(QStringLiteral("Two words"), QStringLiteral("file:///dev/null"), {}, {}, {}, {}, {}, false), "Invalid destination name"));
    QVERIFY(
        refused(actions->addPrinter(QStringLiteral("No_Ppd"), QStringLiteral("file:///dev/null"), QStringLiteral("/nonexistent.ppd"), {}, {}, {}, {}, false),
            "Cannot read the PPD file"));
    QVERIFY(refused(actions->addPrinter(QStringLiteral("No_Device"), QString(), {}, {}, {}, {}, {}, false), "has no device URI"));
    QVERIFY(refused(actions->addClass(QStringLiteral("Empty_Class"), {}, {}, {}, {}, {}, false), "has no members"));
}

QTEST_GUILESS_MAIN(PrinterIppActionsTest)

#include "printerippactionstest.moc"
