#include "cupssandbox.h"
#include "wizardfieldspage.h"
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
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTest>
#include <QWizard>

using namespace CUPS;
using Fields = QHash<QString, QVariant>;

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace
{
const QString HpDeviceId = QStringLiteral("MFG:Hewlett-Packard;MDL:HP LaserJet P2055dn;CMD:PJL,PCL,POSTSCRIPT;CLS:PRINTER;");
const QString GenericPpd = QStringLiteral("drv:///sample.drv/generic.ppd");
const QString Socket = QStringLiteral("socket://127.0.0.1:9100");

Fields queue(const QString &name, const QString &uri = Socket, const QString &driver = GenericPpd)
{
    return {{Wizard::Field::QueueName, name}, {Wizard::Field::DeviceUri, uri}, {Wizard::Field::DeviceDriver, driver}};
}

QString destAttribute(const QString &name, const QString &attribute)
{
    return Utils::getAttribute(PrinterIppActions::instance()->destAttrs(name, {attribute}), attribute).toString();
}
} // namespace

// A wizard with the information page as its second page, entered as a user would.
struct TestWizard {
    explicit TestWizard(bool printer, const Fields &fields, const char *editMode = nullptr)
    {
        wizard.setPage(0, new FieldsPage);
        wizard.setPage(Wizard::InfoDriverPageId, page);
        wizard.setField(Wizard::Field::IsPrinterQueue, printer);
        if (editMode) {
            page->setProperty(editMode, true);
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
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<bool>("complete");
        QTest::newRow("printer") << true << queue(QStringLiteral("Office")) << true;
        QTest::newRow("space") << true << queue(QStringLiteral("My Office")) << false;
        QTest::newRow("no uri") << true << queue(QStringLiteral("Office"), QString()) << false;
        QTest::newRow("no driver") << true << queue(QStringLiteral("Office"), Socket, QString()) << false;
        QTest::newRow("valid with localhost") << true << queue(QStringLiteral("Office"), QStringLiteral("ipp://:631/printers/x")) << true;
        QTest::newRow("class without uri or driver") << false << queue(QStringLiteral("Team"), QString(), QString()) << true;
    }
    void finishNeedsAValidNameUriAndDriver()
    {
        QFETCH(bool, printer);
        QFETCH(Fields, fields);
        TestWizard wizard(printer, fields);
        QTEST(wizard.wizard.button(QWizard::FinishButton)->isEnabled(), "complete");
        QCOMPARE(wizard.child("deviceUriEdit")->isHidden(), !printer);
    }

    void aTakenNameGetsTheNextFreeNumber()
    {
        Fields fields = queue(QStringLiteral("Office"));
        fields.insert(Wizard::Field::QueueLocation, QStringLiteral("Floor 2"));
        for (const QString &expected : {QStringLiteral("Office(2)"), QStringLiteral("Office(3)")}) {
            QVERIFY(TestWizard(true, fields).finish());
            QCOMPARE(destAttribute(expected, QStringLiteral("device-uri")), Socket);
            QCOMPARE(destAttribute(expected, QStringLiteral("printer-location")), QStringLiteral("Floor 2"));
            QVERIFY(QFile::exists(m_sandbox.directory() + QStringLiteral("/ppd/") + expected + QStringLiteral(".ppd")));
        }
    }

    void driverEditKeepsTheQueuesDriver()
    {
        // A raw queue has no PPD of its own, so sending the path below would fail.
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Edited"), {QStringLiteral("-m"), QStringLiteral("raw")}));
        ModalAnswerer answerer({});
        TestWizard wizard(true, queue(QStringLiteral("Edited"), Socket, Utils::serverRoot() + QStringLiteral("/ppd/Edited.ppd")), "driverEditOnly");
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
        QTest::newRow("yes stays") << QMessageBox::Yes;
        QTest::newRow("no closes") << QMessageBox::No;
    }
    void aFailedAddAsksWhetherToTryAgain()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({answer}, &seen));
        TestWizard wizard(true, queue(QStringLiteral("Broken"), Socket, QStringLiteral("drv:///no-such.drv/none.ppd")));
        QCOMPARE(wizard.finish(), answer == QMessageBox::No);
        QCOMPARE(wizard.wizard.result(), int(QDialog::Rejected));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().icon, QMessageBox::Critical);
        QVERIFY2(QRegularExpression(QStringLiteral("^Unable to add printer.<br>CUPS error: .+<br>Try Again\\?$")).match(seen.first().text).hasMatch(),
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
        printer.start(QStringLiteral("/usr/sbin/ippeveprinter"), QStringLiteral("-r off -n localhost -p %1 Loopback").arg(port).split(QLatin1Char(' ')));
        const QString uri = QStringLiteral("ipp://127.0.0.1:%1/ipp/print").arg(port);
        QTRY_VERIFY_WITH_TIMEOUT(m_sandbox.run(QStringLiteral("ipptool"), {QStringLiteral("-q"), uri, QStringLiteral("get-printer-attributes.test")}), 10000);

        QVERIFY(TestWizard(true, queue(QStringLiteral("Everywhere"), uri, QStringLiteral("everywhere"))).finish());
        // The scheduler asks the device after it answered.
        QTRY_VERIFY_WITH_TIMEOUT(destAttribute(QStringLiteral("Everywhere"), QStringLiteral("printer-make-and-model")).contains(QLatin1String("IPP Everywhere")),
                                 20000);
    }

    void aDetectedDeviceGetsADriverProposedFromOneListFetch()
    {
        const auto listFetches = [this] {
            QFile log(m_sandbox.directory() + QStringLiteral("/log/access_log"));
            return log.open(QIODevice::ReadOnly) ? log.readAll().count("CUPS-Get-PPDs") : -1;
        };
        const int before = listFetches();
        TestWizard wizard(true,
                          {{Wizard::Field::IsAutodetectedPrinterSelected, true},
                           {Wizard::Field::QueueName, QStringLiteral("Detected")},
                           {Wizard::Field::DeviceId, HpDeviceId},
                           {Wizard::Field::DeviceUri, QStringLiteral("norvik-test://hp-usb/HP_LaserJet_P2055dn?serial=TEST0001")}});
        const QList<QHash<QString, QVariant>> forDevice = Connection::instance()->PPDs(HpDeviceId);
        QVERIFY(!forDevice.isEmpty());
        QCOMPARE(wizard.child("driverLineEdit")->text(), Utils::getAttribute(forDevice.first(), QStringLiteral("ppd-name")).toString());
        QVERIFY(wizard.wizard.button(QWizard::FinishButton)->isEnabled());

        // The Drivers dialog reuses the list fetched for the proposal and keeps its size.
        QSettings().remove(QStringLiteral("DriverDialog"));
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
        const QString dnssd = QStringLiteral("dnssd://Office%20Jet._ipp._tcp.local/");
        QTest::newRow("shared on a local server") << "Shared" << true << Socket << QByteArray() << "Remote Access";
        QTest::newRow("dnssd without the package") << "Bonjour" << false << dnssd << QByteArray() << "libnss-mdns installation";
        QTest::newRow("dnssd with the package") << "Bonjour2" << false << dnssd << QByteArray("Package: libnss-mdns\nStatus: install ok installed\n\n") << "";
    }
    void afterCreationTheQueuesNeedsAreOffered()
    {
        QFETCH(QString, name);
        QFETCH(bool, shared);
        QFETCH(QString, uri);
        QFETCH(QByteArray, dpkgStatus);
        QVERIFY(m_dpkgStatus.resize(0) && m_dpkgStatus.write(dpkgStatus) == dpkgStatus.size() && m_dpkgStatus.flush());
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::No}, &seen));
        TestWizard wizard(true, queue(name, uri));
        wizard.child<QCheckBox>("shareCheckBox")->setChecked(shared);
        QVERIFY(wizard.finish());
        QCOMPARE(destAttribute(name, QStringLiteral("printer-is-shared")), QVariant(shared).toString());
        QTEST(seen.isEmpty() ? QString() : seen.first().title, "question");
        QCOMPARE(answerer.unexpected(), 0);
    }

private:
    CupsSandbox m_sandbox;
    QTemporaryFile m_dpkgStatus;
};

QTEST_MAIN(InfoDriverPageTest)
#include "infodriverpagetest.moc"
