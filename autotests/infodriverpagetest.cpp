#include "cupssandbox.h"
#include "modalanswerer.h"

#include <connection.h>
#include <infodriverpage.h>
#include <packagemanager.h>
#include <printerippactions.h>
#include <utils.h>
#include <wizardfields.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTest>
#include <QWizard>

using namespace CUPS;

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace
{
const QString HpDeviceId = QStringLiteral("MFG:Hewlett-Packard;MDL:HP LaserJet P2055dn;CMD:PJL,PCL,POSTSCRIPT;CLS:PRINTER;");
const QString GenericPpd = QStringLiteral("drv:///sample.drv/generic.ppd");
} // namespace

// Stands in for the pages that register the fields the information page reads.
struct FieldsPage : QWizardPage {
    FieldsPage()
    {
        using namespace Wizard::Field;
        for (const QLatin1String &name : {IsPrinterQueue, IsPrinterManualQueue, IsAutodetectedPrinterSelected}) {
            registerField(name, new QCheckBox(this));
        }
        registerField(DeviceId, new QLineEdit(this));
    }
};

// A wizard with the information page as its second page, entered as a user would.
struct TestWizard
{
    explicit TestWizard(bool printer, const QHash<QString, QVariant> &fields = {}, const QString &editMode = {})
    {
        wizard.setPage(0, first);
        wizard.setPage(Wizard::InfoDriverPageId, page);
        wizard.setField(Wizard::Field::IsPrinterQueue, printer);
        if (!editMode.isEmpty()) {
            page->setProperty(editMode.toLatin1().constData(), true);
        }
        wizard.show();
        for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
            wizard.setField(it.key(), it.value());
        }
        wizard.next();
    }
    template<typename T = QLineEdit>
    T *child(const char *name) const
    {
        return page->findChild<T *>(QLatin1String(name));
    }
    bool finish()
    {
        wizard.button(QWizard::FinishButton)->click();
        return !wizard.isVisible();
    }
    QWizard wizard;
    FieldsPage *first = new FieldsPage;
    InfoDriverPage *page = new InfoDriverPage;
};

class InfoDriverPageTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("office")));
        QVERIFY(m_dpkgStatus.open());
        VeskAdmin::PackageManager::setStatusFile(m_dpkgStatus.fileName());
    }
    void finishNeedsAValidNameUriAndDriver_data()
    {
        QTest::addColumn<bool>("printer");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<bool>("complete");
        const QString socket = QStringLiteral("socket://127.0.0.1:9100");
        QTest::newRow("printer") << true << "Office" << socket << GenericPpd << true;
        QTest::newRow("space") << true << "My Office" << socket << GenericPpd << false;
        QTest::newRow("no uri") << true << "Office" << "" << GenericPpd << false;
        QTest::newRow("no driver") << true << "Office" << socket << "" << false;
        QTest::newRow("valid with localhost") << true << "Office" << "ipp://:631/printers/x" << GenericPpd << true;
        QTest::newRow("class without uri or driver") << false << "Team" << "" << "" << true;
    }
    void finishNeedsAValidNameUriAndDriver()
    {
        QFETCH(bool, printer);
        QFETCH(QString, name);
        QFETCH(QString, uri);
        QFETCH(QString, driver);
        QFETCH(bool, complete);
        TestWizard wizard(printer, {{Wizard::Field::DeviceUri, uri}, {Wizard::Field::DeviceDriver, driver}, {Wizard::Field::QueueName, name}});
        QCOMPARE(wizard.wizard.button(QWizard::FinishButton)->isEnabled(), complete);
        QCOMPARE(wizard.child("deviceUriEdit")->isHidden(), !printer);
    }
    void aTakenNameGetsTheNextFreeNumber()
    {
        const QHash<QString, QVariant> fields {{Wizard::Field::QueueName, QStringLiteral("Office")},
            {Wizard::Field::DeviceUri, QStringLiteral("socket://127.0.0.1:9100")}, {Wizard::Field::DeviceDriver, GenericPpd},
            {Wizard::Field::QueueLocation, QStringLiteral("Floor 2")}};
        for (const QString &expected : {QStringLiteral("Office(2)"), QStringLiteral("Office(3)")}) {
            TestWizard wizard(true, fields);
            QVERIFY(wizard.finish());
            QCOMPARE(destAttribute(expected, QStringLiteral("device-uri")), QStringLiteral("socket://127.0.0.1:9100"));
            QCOMPARE(destAttribute(expected, QStringLiteral("printer-location")), QStringLiteral("Floor 2"));
            QVERIFY(QFile::exists(m_sandbox.directory() + QStringLiteral("/ppd/") + expected + QStringLiteral(".ppd")));
        }
    }
    void driverEditKeepsTheQueuesDriver()
    {
        // A raw queue has no PPD of its own, so sending the path below would fail.
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Edited"), {QStringLiteral("-m"), QStringLiteral("raw")}));
        ModalAnswerer answerer({});
        TestWizard wizard(true,
            {{Wizard::Field::QueueName, QStringLiteral("Edited")}, {Wizard::Field::DeviceUri, QStringLiteral("socket://127.0.0.1:9102")},
                {Wizard::Field::DeviceDriver, QString(Utils::serverRoot() + QStringLiteral("/ppd/Edited.ppd"))}},
            QStringLiteral("driverEditOnly"));
        QVERIFY(!wizard.child("nameEdit")->isEnabled() && wizard.child("driverLineEdit")->isEnabled());
        QVERIFY(!wizard.child<QCheckBox>("shareCheckBox")->isEnabled());
        QVERIFY(wizard.finish());
        QCOMPARE(answerer.unexpected(), 0);
        QCOMPARE(destAttribute(QStringLiteral("Edited"), QStringLiteral("printer-make-and-model")), QStringLiteral("Local Raw Printer"));
        QVERIFY(destAttribute(QStringLiteral("Edited(2)"), QStringLiteral("printer-name")).isEmpty());
    }
    void aFailedAddAsksWhetherToTryAgain_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("closed");
        QTest::newRow("yes stays") << QMessageBox::Yes << false;
        QTest::newRow("no closes") << QMessageBox::No << true;
    }
    void aFailedAddAsksWhetherToTryAgain()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, closed);
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({answer}, &seen));
        TestWizard wizard(true,
            {{Wizard::Field::QueueName, QStringLiteral("Broken")}, {Wizard::Field::DeviceUri, QStringLiteral("socket://127.0.0.1:9100")},
                {Wizard::Field::DeviceDriver, QStringLiteral("drv:///no-such.drv/none.ppd")}});
        QCOMPARE(wizard.finish(), closed);
        QCOMPARE(wizard.wizard.result(), int(QDialog::Rejected));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().icon, QMessageBox::Critical);
        QVERIFY2(seen.first().text.startsWith(QLatin1String("Unable to add printer.<br>CUPS error: "))
                && seen.first().text.endsWith(QLatin1String("<br>Try Again?")),
            qPrintable(seen.first().text));
        QCOMPARE(seen.first().defaultButton, QMessageBox::No);
        QVERIFY(!Connection::instance()->isLockedByCallingThread());
        QVERIFY(destAttribute(QStringLiteral("Broken"), QStringLiteral("printer-name")).isEmpty());
    }
    void ippEverywhereAsksTheDeviceForItsDriver()
    {
        // ippeveprinter needs a bus even when it announces nothing; a private one stands in for the system's.
        QProcess bus;
        bus.start(QStringLiteral("/usr/bin/dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        QTRY_VERIFY(bus.canReadLine());
        QTcpServer freePort;
        QVERIFY(freePort.listen(QHostAddress::LocalHost));
        const QString port = QString::number(freePort.serverPort());
        freePort.close();
        QProcess printer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QString::fromUtf8(bus.readLine().trimmed()));
        printer.setProcessEnvironment(environment);
        printer.start(QStringLiteral("/usr/sbin/ippeveprinter"),
            {QStringLiteral("-r"), QStringLiteral("off"), QStringLiteral("-n"), QStringLiteral("localhost"), QStringLiteral("-p"), port,
                QStringLiteral("Loopback")});
        const QString uri = QStringLiteral("ipp://127.0.0.1:%1/ipp/print").arg(port);
        QTRY_VERIFY_WITH_TIMEOUT(m_sandbox.run(QStringLiteral("ipptool"), {QStringLiteral("-q"), uri, QStringLiteral("get-printer-attributes.test")}), 10000);

        TestWizard wizard(true,
            {{Wizard::Field::QueueName, QStringLiteral("Everywhere")}, {Wizard::Field::DeviceUri, uri},
                {Wizard::Field::DeviceDriver, QStringLiteral("everywhere")}});
        QVERIFY(wizard.finish());
        // The scheduler asks the device after it answered.
        QTRY_VERIFY_WITH_TIMEOUT(
            destAttribute(QStringLiteral("Everywhere"), QStringLiteral("printer-make-and-model")).contains(QLatin1String("IPP Everywhere")), 20000);
    }
    void aDetectedDeviceGetsADriverProposedFromOneListFetch()
    {
        const QString accessLog = m_sandbox.directory() + QStringLiteral("/log/access_log");
        const auto listFetches = [&accessLog] {
            QFile log(accessLog);
            return log.open(QIODevice::ReadOnly) ? log.readAll().count("CUPS-Get-PPDs") : -1;
        };
        const int before = listFetches();
        TestWizard wizard(true,
            {{Wizard::Field::IsAutodetectedPrinterSelected, true}, {Wizard::Field::QueueName, QStringLiteral("Detected")},
                {Wizard::Field::DeviceId, HpDeviceId}, {Wizard::Field::DeviceUri, QStringLiteral("norvik-test://hp-usb/HP_LaserJet_P2055dn?serial=TEST0001")}});
        const QList<QHash<QString, QVariant>> forDevice = Connection::instance()->PPDs(HpDeviceId);
        QVERIFY(!forDevice.isEmpty());
        QCOMPARE(wizard.child("driverLineEdit")->text(), Utils::getAttribute(forDevice.first(), QStringLiteral("ppd-name")).toString());
        QVERIFY(wizard.wizard.button(QWizard::FinishButton)->isEnabled());

        // The Drivers dialog reuses the list fetched for the proposal and keeps its size.
        QStandardPaths::setTestModeEnabled(true);
        QSettings().remove(QStringLiteral("DriverDialog"));
        QList<SeenBox> seen;
        ModalAnswerer answerer({[](QWidget *dialog) {
            dialog->resize(640, 480);
            dialog->close();
        }});
        wizard.child<QPushButton>("selectDriverButton")->click();
        QCOMPARE(answerer.pending(), 0);
        QVERIFY(!QSettings().value(QStringLiteral("DriverDialog/geometry")).toByteArray().isEmpty());
        // The full list once for the proposal, the device's list once, none for the dialog (one more here).
        QCOMPARE(listFetches() - before, 3);
    }
    void afterCreationTheQueuesNeedsAreOffered_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("shared");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QByteArray>("dpkgStatus");
        QTest::addColumn<QString>("question");
        const QString socket = QStringLiteral("socket://127.0.0.1:9100");
        const QString dnssd = QStringLiteral("dnssd://Office%20Jet._ipp._tcp.local/");
        const QByteArray installed = "Package: libnss-mdns\nStatus: install ok installed\n\n";
        QTest::newRow("shared on a local server") << "Shared" << true << socket << QByteArray() << "Remote Access";
        QTest::newRow("dnssd without the package") << "Bonjour" << false << dnssd << QByteArray() << "libnss-mdns installation";
        QTest::newRow("dnssd with the package") << "Bonjour2" << false << dnssd << installed << "";
    }
    void afterCreationTheQueuesNeedsAreOffered()
    {
        QFETCH(QString, name);
        QFETCH(bool, shared);
        QFETCH(QString, uri);
        QFETCH(QByteArray, dpkgStatus);
        QFETCH(QString, question);
        QVERIFY(m_dpkgStatus.resize(0) && m_dpkgStatus.write(dpkgStatus) == dpkgStatus.size() && m_dpkgStatus.flush());
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::No}, &seen));
        TestWizard wizard(true, {{Wizard::Field::QueueName, name}, {Wizard::Field::DeviceUri, uri}, {Wizard::Field::DeviceDriver, GenericPpd}});
        wizard.child<QCheckBox>("shareCheckBox")->setChecked(shared);
        QVERIFY(wizard.finish());
        QCOMPARE(destAttribute(name, QStringLiteral("printer-is-shared")), shared ? QStringLiteral("true") : QStringLiteral("false"));
        QCOMPARE(seen.isEmpty() ? QString() : seen.first().title, question);
        QCOMPARE(answerer.unexpected(), 0);
    }

private:
    QString destAttribute(const QString &name, const QString &attribute) const
    {
        return Utils::getAttribute(PrinterIppActions::instance()->destAttrs(name, {attribute}), attribute).toString();
    }
    CupsSandbox m_sandbox;
    QTemporaryFile m_dpkgStatus;
};

QTEST_MAIN(InfoDriverPageTest)
#include "infodriverpagetest.moc"
