#include "cupssandbox.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <autodetectselectionpage.h>
#include <connection.h>
#include <printerclasspage.h>
#include <wizardfields.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <QWizard>

using namespace CUPS;
using namespace CUPS::Wizard;

// Stands in for the information page, whose fields the two pages write.
struct FieldsPage : public QWizardPage
{
    using QWizardPage::registerField;
};

// The automatic flow: printer-or-class page, device page, then the stand-in (a higher id, so the device page shows Next).
struct TestWizard
{
    explicit TestWizard(bool backendEdit = false)
    {
        auto *info = new FieldsPage;
        for (const QLatin1String &name : {Field::QueueName, Field::QueueDescription, Field::DeviceUri, Field::QueueLocation}) {
            info->registerField(name, new QLineEdit(info));
        }
        info->registerField(Field::BackendEdit, new QCheckBox(info));
        wizard.setPage(PrinterClassPageId, first);
        wizard.setPage(AutodetectSelectionPageId, devices);
        wizard.setPage(ClassMembersPageId, info);
        wizard.setField(Field::BackendEdit, backendEdit);
        wizard.setField(Field::QueueName, QStringLiteral("Kept"));
        wizard.show();
    }
    QWizard wizard;
    PrinterClassPage *first = new PrinterClassPage;
    AutodetectSelectionPage *devices = new AutodetectSelectionPage;
    QTreeWidget *tree = devices->findChild<QTreeWidget *>(QStringLiteral("deviceTree"));
};

class AutodetectPageTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
    }
    void aClassGetsItsDefaultNameAndLocation()
    {
        TestWizard wizard;
        wizard.first->findChild<QRadioButton *>(QStringLiteral("classRadioButton"))->click();
        wizard.wizard.next();
        QVERIFY(wizard.wizard.field(Field::IsClassQueue).toBool() && !wizard.wizard.field(Field::IsPrinterQueue).toBool());
        QCOMPARE(wizard.wizard.field(Field::QueueName).toString(), QStringLiteral("Name_of_class"));
        QCOMPARE(wizard.wizard.field(Field::QueueLocation).toString(), QStringLiteral("Location"));
    }
    void choosingADetectedDeviceWritesItsFields_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<bool>("backendEdit");
        QTest::addColumn<QString>("deviceClass");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("deviceId");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        const QString hpId = QStringLiteral("MFG:Hewlett-Packard;MDL:HP LaserJet P2055dn;CMD:PJL,PCL,POSTSCRIPT;CLS:PRINTER;SN:TEST0001;");
        const QString network = QStringLiteral("Generic PostScript Printer");
        const QString networkId = QStringLiteral("MFG:Generic;MDL:PostScript Printer;CMD:POSTSCRIPT;CLS:PRINTER;");
        const QString socket = QStringLiteral("socket://127.0.0.1:9101");
        const QString hpUri = QStringLiteral("norvik-test://hp-usb/HP_LaserJet_P2055dn?serial=TEST0001");
        QTest::newRow("usb by next") << "HP LaserJet P2055dn" << false << false << "Direct printer" << hpUri << hpId << "HP_LaserJet_P2055dn"
                                     << "HP LaserJet P2055dn (USB)";
        QTest::newRow("network by double click") << network << true << false << "Network printer" << socket << networkId << "Generic_PostScript_Printer"
                                                 << "Network printer 127.0.0.1:9101";
        QTest::newRow("backend edit: only the uri") << network << false << true << "Network printer" << socket << networkId << "Kept" << "";
    }
    void choosingADetectedDeviceWritesItsFields()
    {
        QFETCH(QString, model);
        QFETCH(bool, doubleClick);
        QFETCH(bool, backendEdit);
        QFETCH(QString, uri);
        TestWizard wizard(backendEdit);
        QCOMPARE(wizard.first->findChild<QRadioButton *>(QStringLiteral("classRadioButton"))->isHidden(), backendEdit);
        wizard.wizard.next();
        // A printer is the first page's default choice; it names it unless only the device changes.
        QVERIFY(wizard.wizard.field(Field::IsPrinterQueue).toBool() && !wizard.wizard.field(Field::IsPrinterManualQueue).toBool());
        QCOMPARE(wizard.wizard.field(Field::QueueName).toString(), backendEdit ? QStringLiteral("Kept") : QStringLiteral("Name_of_printer"));
        // Four of the server's devices are "Unknown".
        QTRY_COMPARE(wizard.tree->topLevelItemCount(), 2);
        wizard.tree->setCurrentItem(nullptr);
        QVERIFY(!wizard.wizard.button(QWizard::NextButton)->isEnabled());
        QTreeWidgetItem *item = wizard.tree->findItems(model, Qt::MatchExactly).value(0);
        QVERIFY(item);
        QTEST(item->text(1), "deviceClass");
        if (doubleClick) {
            // As a mouse sends it: the first click, then the double click.
            const QPoint onItem(5, wizard.tree->visualItemRect(item).center().y());
            QTest::mouseClick(wizard.tree->viewport(), Qt::LeftButton, {}, onItem);
            QTest::mouseDClick(wizard.tree->viewport(), Qt::LeftButton, {}, onItem);
        } else {
            wizard.tree->setCurrentItem(item);
            wizard.wizard.next();
        }
        QCOMPARE(wizard.wizard.currentId(), int(ClassMembersPageId));
        QCOMPARE(wizard.wizard.field(Field::DeviceUri).toString(), uri);
        QTEST(wizard.wizard.field(Field::DeviceId).toString(), "deviceId");
        QTEST(wizard.wizard.field(Field::QueueName).toString(), "name");
        QTEST(wizard.wizard.field(Field::QueueDescription).toString(), "description");
        QCOMPARE(wizard.wizard.field(Field::PrinterMakeAndModel).toString(), backendEdit ? QString() : model);
    }
    void repeatedAndUnusableDevicesAreSkipped()
    {
        const auto device = [](const QString &uri, const QString &model) {
            return QHash<QString, QVariant> {{Attr::DeviceUri, QVariantList {uri}}, {Attr::DeviceMakeAndModel, QVariantList {model}}};
        };
        AutodetectSelectionPage page;
        page.showDevices({device(QStringLiteral("socket://host%2D1:9100"), QStringLiteral("First")),
                          device(QStringLiteral("socket://host-1:9100"), QStringLiteral("Again")), device(QStringLiteral("usb://A"), QStringLiteral("UNKNOWN")),
                          device(QStringLiteral("usb://B"), QString()), device(QString(), QStringLiteral("No URI"))});
        const QTreeWidget *tree = page.findChild<QTreeWidget *>(QStringLiteral("deviceTree"));
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->text(3), QStringLiteral("socket://host-1:9100"));
        QCOMPARE(tree->topLevelItem(0)->data(0, AutodetectSelectionPage::DeviceUriRole).toString(), QStringLiteral("socket://host%2D1:9100"));
        QCOMPARE(AutodetectSelectionPage::defaultQueueName(QStringLiteral("HP LaserJet 1020 #2/USB|x")), QStringLiteral("HP_LaserJet_1020__2_USB_x"));
    }
    // Last: it stops the server.
    void aFailedDeviceRequestClosesTheWizard()
    {
        m_sandbox.stop();
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
        TestWizard wizard;
        wizard.wizard.next();
        QTRY_VERIFY(!wizard.wizard.isVisible());
        QCOMPARE(wizard.wizard.result(), int(QDialog::Rejected));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().title, QStringLiteral("Cups-Get-Devices failed!"));
        QVERIFY(Connection::lastError() != IPP_STATUS_OK);
        QCOMPARE(seen.first().text, QStringLiteral("Can not get devices information from CUPS server!<b>CUPS error: %1").arg(Connection::lastError()));
    }

private:
    CupsSandbox m_sandbox;
};

QTEST_MAIN(AutodetectPageTest)
#include "autodetectpagetest.moc"
