#include "cupssandbox.h"
#include "testppd.h"

#include <attributes.h>
#include <connection.h>
#include <printerippactions.h>
#include <utils.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace CUPS;

class PrinterIppActionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        QVERIFY(TestPpd().write(m_files.filePath(QStringLiteral("test.ppd"))));
        const QString paused = QStringLiteral("Paused_Queue");
        QVERIFY(m_sandbox.addPrinter(paused, {QStringLiteral("-m"), m_generic}));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {paused}));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsreject"), {paused}));
        QVERIFY(QDir().mkpath(QDir::homePath() + QStringLiteral("/.cups"))); // the sandbox's home
        m_lpoptions.setFileName(QDir::homePath() + QStringLiteral("/.cups/lpoptions"));
    }

    // Accepting and test pages are covered through the printers' list; what it does not show is here.
    void theRejectReasonAndThePolicyReachTheServer()
    {
        const QString gate = QStringLiteral("Gate");
        QVERIFY(m_sandbox.addPrinter(gate));
        const QString uri = Utils::printerUri(gate);
        QVERIFY(m_actions->rejectJobs(uri, QStringLiteral("Toner «leer»")));
        const QString lpstat = m_sandbox.output(QStringLiteral("lpstat"), {QStringLiteral("-a"), gate});
        QVERIFY2(lpstat.contains(QStringLiteral("Toner «leer»")), qPrintable(lpstat));
        // cupsd checks the policy's name.
        QVERIFY(m_actions->setPrinterPolicy(uri, QStringLiteral("default")));
        QVERIFY(!m_actions->setPrinterPolicy(uri, QStringLiteral("no-such-policy")));
    }

    void userDefaultRewritesOnlyTheDefaultLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("before"); // null: no file
        QTest::addColumn<QString>("after"); // null: refused, the file stays as it was
        const QString office = QStringLiteral("Office_PS");
        QTest::newRow("no file") << office << QString() << QStringLiteral("Default Office_PS\n");
        QTest::newRow("options of both kept, in place")
            << office << QStringLiteral("# mine\nDefault Raw_Queue media=A4\nDest Office_PS copies=2\n")
            << QStringLiteral("# mine\nDest Raw_Queue media=A4\nDefault Office_PS copies=2\n");
        // An instance stays one; the name is written as the server lists it (the lists compare exactly).
        QTest::newRow("names match without case")
            << office << QStringLiteral("dest office_ps copies=3\nDefault OFfice_PS/draft media=A4\n")
            << QStringLiteral("Default Office_PS copies=3\nDest OFfice_PS/draft media=A4\n");
        const QString raw = QStringLiteral("Default Raw_Queue\n");
        QTest::newRow("unknown") << QStringLiteral("No_Such_Printer") << raw << QString();
        // A space or a line break would smuggle options or lines in.
        QTest::newRow("space") << QStringLiteral("Raw_Queue copies=99") << raw << QString();
        QTest::newRow("newline") << QStringLiteral("Raw_Queue\nDefault Office_PS") << raw << QString();
    }

    void userDefaultRewritesOnlyTheDefaultLine()
    {
        QFETCH(QString, name);
        QFETCH(QString, before);
        QFETCH(QString, after);
        m_lpoptions.remove();
        if (!before.isNull()) {
            QVERIFY(m_lpoptions.open(QIODevice::WriteOnly) && m_lpoptions.write(before.toUtf8()) > 0);
            m_lpoptions.close();
        }
        QCOMPARE(m_actions->setUserDefaultDestination(name), !after.isNull());
        QVERIFY(!after.isNull() || !Connection::lastErrorString().isEmpty());
        QVERIFY(m_lpoptions.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(m_lpoptions.readAll()), after.isNull() ? before : after);
        m_lpoptions.close();
        // libcups reads it back as this user's default.
        const QString lpstat = m_sandbox.output(QStringLiteral("lpstat"), {QStringLiteral("-d")});
        QVERIFY2(after.isNull() || lpstat.contains(name, Qt::CaseInsensitive), qPrintable(lpstat));
    }

    void addedPrintersTakeTheDriverAndNewOnesStartEnabled_data()
    {
        QTest::addColumn<QString>("deviceUri");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("makeAndModel");
        const QString generic = QStringLiteral("Generic PostScript Printer");
        const QString testPpd = m_files.filePath(QStringLiteral("test.ppd"));
        // Rows are named after their queues.
        QTest::newRow("From_List") << m_null << m_generic << generic;
        QTest::newRow("From_File") << m_null << testPpd << QStringLiteral("Norvik Test Printer");
        QTest::newRow("Paused_Queue") << QStringLiteral("socket://127.0.0.1:9101") << QString() << generic;
    }

    void addedPrintersTakeTheDriverAndNewOnesStartEnabled()
    {
        QFETCH(QString, deviceUri);
        QFETCH(QString, driver);
        QFETCH(QString, makeAndModel);
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        const bool existing = name == QLatin1String("Paused_Queue");
        QVERIFY2(m_actions->addPrinter(name, deviceUri, driver, QStringLiteral("Lab"), {}, {}, {}, true),
                 qPrintable(Connection::lastErrorString()));
        // A new queue gets cupsd's description (its name) and starts; an existing one has it cleared
        // and keeps its state.
        const QString expected = QStringLiteral(
            "printer-info%1 printer-is-accepting-jobs=%2 printer-is-shared=true printer-is-temporary=false "
            "printer-location=Lab printer-make-and-model='%3' printer-state=%4 ")
            .arg(existing ? QString() : QLatin1Char('=') + name, QLatin1String(existing ? "false" : "true"),
                 makeAndModel, QLatin1String(existing ? "5" : "3"));
        const QString options = m_sandbox.output(QStringLiteral("lpoptions"), {QStringLiteral("-p"), name});
        QVERIFY2(options.contains(expected), qPrintable(options));
        QVERIFY2(options.contains(QStringLiteral("device-uri=%1 ").arg(deviceUri)), qPrintable(options));
    }

    // The error is the core's own: no request reached the server after the check.
    void badQueuesAreRefusedBeforeTheServerIsAsked()
    {
        QVERIFY(!m_actions->addPrinter(QStringLiteral("Two words"), m_null, {}, {}, {}, {}, {}, false));
        QVERIFY(Connection::lastErrorString().contains(QLatin1String("Invalid destination name")));
        QVERIFY(!m_actions->addClass(QStringLiteral("No_Members"), {}, {}, {}, {}, {}, false));
        QVERIFY(Connection::lastErrorString().contains(QLatin1String("has no members")));
    }

private:
    CupsSandbox m_sandbox;
    QTemporaryDir m_files;
    QFile m_lpoptions;
    const QString m_null = QStringLiteral("file:///dev/null");
    const QString m_generic = QStringLiteral("drv:///sample.drv/generic.ppd");
    PrinterIppActions *const m_actions = PrinterIppActions::instance();
};

QTEST_GUILESS_MAIN(PrinterIppActionsTest)

#include "printerippactionstest.moc"
