#include "cupssandbox.h"
#include "modalanswerer.h"

#include <autodetectselectionpage.h>
#include <wizardfields.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <QWizard>

using namespace CUPS;
using namespace CUPS::Wizard;

// The device page as the wizard enters it, then a stand-in for the information page, whose fields it writes.
struct TestWizard : QWizard {
    struct FieldsPage : QWizardPage {
        using QWizardPage::registerField;
    };
    explicit TestWizard(bool backendEdit = false)
    {
        auto *info = new FieldsPage;
        for (const QLatin1String &name : {Field::QueueName, Field::QueueDescription, Field::DeviceUri}) {
            info->registerField(name, new QLineEdit(info));
        }
        info->registerField(Field::BackendEdit, new QCheckBox(info));
        setPage(AutodetectSelectionPageId, devices);
        setPage(AutodetectSelectionPageId + 1, info);
        setField(Field::BackendEdit, backendEdit);
        setField(Field::QueueName, QStringLiteral("Kept"));
        show();
    }
    AutodetectSelectionPage *devices = new AutodetectSelectionPage;
    QTreeWidget *tree = devices->findChild<QTreeWidget *>(QStringLiteral("deviceTree"));
};

class AutodetectPageTest : public QObject
{
    Q_OBJECT
    CupsSandbox m_sandbox;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
    }

    void choosingADetectedDeviceWritesItsFields_data()
    {
        QTest::addColumn<bool>("backendEdit"); // then chosen by double click, else by Next
        QTest::addColumn<QString>("fields"); // device URI, queue name, description, make and model
        const QString uri = QStringLiteral("norvik-test://hp-usb/HP_LaserJet_P2055dn?serial=TEST0001|%1");
        const auto hp = QStringLiteral("HP_LaserJet_P2055dn|HP LaserJet P2055dn (USB)|HP LaserJet P2055dn");
        QTest::newRow("new printer") << false << uri.arg(hp);
        QTest::newRow("new device only") << true << uri.arg(QStringLiteral("Kept||"));
    }
    void choosingADetectedDeviceWritesItsFields()
    {
        QFETCH(bool, backendEdit);
        TestWizard wizard(backendEdit);
        // Four of the server's devices are "Unknown".
        QTRY_COMPARE(wizard.tree->topLevelItemCount(), 2);
        QTreeWidgetItem *item =
            wizard.tree->findItems(QStringLiteral("HP LaserJet P2055dn"), Qt::MatchExactly).value(0);
        wizard.tree->setCurrentItem(item);
        if (backendEdit) {
            Q_EMIT wizard.tree->itemDoubleClicked(item, 0);
        } else {
            wizard.next();
        }
        QCOMPARE(wizard.currentId(), AutodetectSelectionPageId + 1);
        QStringList fields;
        for (const auto &name : {Field::DeviceUri, Field::QueueName, Field::QueueDescription,
                                 Field::PrinterMakeAndModel}) {
            fields << wizard.field(name).toString();
        }
        QTEST(fields.join(QLatin1Char('|')), "fields");
    }

    void aFailedDeviceRequestClosesTheWizard() // last: it stops the server
    {
        m_sandbox.stop();
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
        TestWizard wizard;
        QTRY_VERIFY(!wizard.isVisible());
        QCOMPARE(wizard.result(), int(QDialog::Rejected));
        QCOMPARE(seen.value(0).title, QStringLiteral("Cups-Get-Devices failed!"));
    }
};

QTEST_MAIN(AutodetectPageTest)
#include "autodetectpagetest.moc"
