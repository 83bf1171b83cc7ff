#include "cupssandbox.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <destination.h>
#include <printerippactions.h>
#include <printerlistmodel.h>
#include <printerswidget.h>
#include <printerwizard.h>
#include <utils.h>
#include <wizard/wizardfields.h>

#include <QAction>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cups/cups.h>

using namespace CUPS;
using Task = PrinterWizard::Task;
namespace Field = CUPS::Wizard::Field;

Q_DECLARE_METATYPE(CUPS::PrinterWizard::Task)

namespace
{
const QString GenericPpd = QStringLiteral("drv:///sample.drv/generic.ppd");
// Unshared queues: sharing one on this server would raise the remote-access question.
const QStringList Unshared{QStringLiteral("-o"), QStringLiteral("printer-is-shared=false")};

QString attribute(const QString &name, const QLatin1String &attribute)
{
    return Utils::getAttribute(PrinterIppActions::instance()->destAttrs(name, {attribute}), attribute).toString();
}

Destination destination(const QString &name)
{
    return Destination(PrinterIppActions::instance()->destAttrs(name, {}));
}

template<typename T>
T *child(QWidget *wizard, const char *name)
{
    return wizard->findChild<T *>(QLatin1String(name));
}

// An answerer's handler: sets the fields, then clicks Finish later, so that the answerer can answer the boxes Finish opens.
ModalAnswerer::Handler finishing(const QHash<QString, QVariant> &fields)
{
    return [fields](QWidget *dialog) {
        for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
            static_cast<QWizard *>(dialog)->setField(it.key(), it.value());
        }
        QTimer::singleShot(0, static_cast<QWizard *>(dialog)->button(QWizard::FinishButton), &QAbstractButton::click);
    };
}

QString classMembers(const CupsSandbox &sandbox)
{
    QString members;
    return sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-c"), QStringLiteral("Pair")}, &members) ? members : QString();
}
} // namespace

class PrinterWizardTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
    }

    void addNewWithAnEmptyListAndCancelReloadsNothing()
    {
        PrintersWidget printers;
        printers.model()->load();
        QSignalSpy loaded(printers.model(), &PrinterListModel::loaded);
        ModalAnswerer answerer({[](QWidget *wizard) {
            QVERIFY(qobject_cast<PrinterWizard *>(wizard));
            static_cast<QDialog *>(wizard)->reject();
        }});
        printers.action(PrintersWidget::AddDestination)->trigger();
        QCOMPARE(answerer.pending(), 0);
        QCOMPARE(loaded.count(), 0);
    }

    void aDetectedDeviceBecomesAQueue()
    {
        PrinterWizard wizard;
        wizard.show();
        wizard.next();
        auto *devices = child<QTreeWidget>(&wizard, "deviceTree");
        QTRY_VERIFY(devices->topLevelItemCount() > 0);
        devices->setCurrentItem(devices->findItems(QStringLiteral("HP LaserJet P2055dn"), Qt::MatchStartsWith).value(0));
        wizard.next();
        QCOMPARE(wizard.currentId(), int(Wizard::InfoDriverPageId));
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(attribute(wizard.printerName(), Attr::DeviceUri), QStringLiteral("norvik-test://hp-usb/HP_LaserJet_P2055dn?serial=TEST0001"));
    }

    void aClassAndAPrinterChosenByHand()
    {
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("First"), Unshared) && m_sandbox.addPrinter(QStringLiteral("Second"), Unshared));
        PrinterWizard wizard;
        wizard.show();
        child<QRadioButton>(&wizard, "classRadioButton")->setChecked(true);
        wizard.next();
        for (const char *name : {"First", "Second"}) {
            child<QTreeWidget>(&wizard, "availableTree")->findItems(QLatin1String(name), Qt::MatchExactly).value(0)->setSelected(true);
        }
        child<QAbstractButton>(&wizard, "addButton")->click();
        wizard.next();
        wizard.setField(Field::QueueName, QStringLiteral("Pair"));
        wizard.button(QWizard::FinishButton)->click();
        QVERIFY2(classMembers(m_sandbox).contains(QLatin1String("First")) && classMembers(m_sandbox).contains(QLatin1String("Second")),
                 qPrintable(classMembers(m_sandbox)));
        // A new class takes jobs at once.
        QString accepting;
        QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-a"), QStringLiteral("Pair")}, &accepting));
        QVERIFY(accepting.contains(QLatin1String("Pair accepting")));

        // Without a detected device the device is chosen by hand, here a typed URI, then a driver.
        PrinterWizard manual;
        manual.show();
        manual.next();
        QCOMPARE(manual.nextId(), int(Wizard::SelectBackendPageId));
        manual.back();
        child<QRadioButton>(&manual, "manualRadioButton")->setChecked(true);
        manual.next();
        auto *backends = child<QTreeWidget>(&manual, "backendTree");
        backends->setCurrentItem(backends->findItems(QStringLiteral("Custom device URI"), Qt::MatchExactly).value(0));
        QTest::keyClicks(child<QLineEdit>(&manual, "m_uriEdit"), QStringLiteral("socket://127.0.0.1:9100"));
        manual.next();
        manual.setField(Field::QueueName, QStringLiteral("Typed"));
        manual.setField(Field::DeviceDriver, GenericPpd);
        manual.button(QWizard::FinishButton)->click();
        QCOMPARE(attribute(QStringLiteral("Typed"), Attr::PrinterMakeAndModel), QStringLiteral("Generic PostScript Printer"));
    }

    void tasksThatDoNotApplyAreRefused_data()
    {
        QTest::addColumn<Task>("task");
        QTest::addColumn<QString>("name");
        QTest::newRow("device of a class") << PrinterWizard::BackendEdit << "Pair";
        QTest::newRow("driver of a class") << PrinterWizard::DriverEdit << "Pair";
        QTest::newRow("members of a printer") << PrinterWizard::MembersEdit << "First";
    }
    void tasksThatDoNotApplyAreRefused()
    {
        QFETCH(Task, task);
        QFETCH(QString, name);
        ModalAnswerer answerer({});
        QCOMPARE(PrinterWizard().execSpecialTask(task, destination(name)), 0);
        QCOMPARE(answerer.unexpected(), 0);
    }

    void aRenameNeverLosesThePrinter_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("deviceUri"); // a scheme cupsd has no backend for fails the create
        QTest::addColumn<QString>("kept");
        QTest::newRow("renamed") << "Renamed" << "" << "Renamed";
        QTest::newRow("letter case only") << "RENAME_ME" << "" << "Rename_Me";
        QTest::newRow("failed create") << "Elsewhere" << "nosuch:/x" << "Rename_Me";
    }
    void aRenameNeverLosesThePrinter()
    {
        QFETCH(QString, newName);
        QFETCH(QString, deviceUri);
        QFETCH(QString, kept);
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Rename_Me"), QStringList{QStringLiteral("-m"), GenericPpd} + Unshared));
        QList<SeenBox> seen; // "Try Again?" after a failed create
        QHash<QString, QVariant> fields{{Field::QueueName, newName}};
        if (!deviceUri.isEmpty()) {
            fields.insert(Field::DeviceUri, deviceUri);
        }
        ModalAnswerer answerer({finishing(fields), ModalAnswerer::pressing({QMessageBox::No}, &seen).value(0)});
        const bool created = deviceUri.isEmpty();
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::GeneralEdit, destination(QStringLiteral("Rename_Me"))), int(created));
        QCOMPARE(seen.size(), int(!created));
        for (const QString &name : {QStringLiteral("Rename_Me"), QStringLiteral("Renamed"), QStringLiteral("Elsewhere")}) {
            QCOMPARE(!attribute(name, Attr::PrinterName).isEmpty(), name == kept);
        }
        QCOMPARE(attribute(kept, Attr::PrinterMakeAndModel), QStringLiteral("Generic PostScript Printer"));
        QVERIFY(PrinterIppActions::instance()->deletePrinter(kept));
    }

    void editsKeepWhatTheyDoNotChange()
    {
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Kept"), QStringList{QStringLiteral("-m"), GenericPpd} + Unshared));
        // Its PPD can't be seen here, as with a remote server: the general edit still keeps the driver.
        QTemporaryDir elsewhere;
        const QByteArray serverRoot = qgetenv("CUPS_SERVERROOT");
        qputenv("CUPS_SERVERROOT", QFile::encodeName(elsewhere.path()));
        ModalAnswerer answerer({finishing({{Field::QueueLocation, QStringLiteral("Hall")}}),
                                finishing({{Field::DeviceDriver, QStringLiteral("drv:///sample.drv/laserjet.ppd")}})});
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::GeneralEdit, destination(QStringLiteral("Kept"))), 1);
        qputenv("CUPS_SERVERROOT", serverRoot);
        QCOMPARE(attribute(QStringLiteral("Kept"), Attr::PrinterLocation), QStringLiteral("Hall"));
        QCOMPARE(attribute(QStringLiteral("Kept"), Attr::PrinterMakeAndModel), QStringLiteral("Generic PostScript Printer"));
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::DriverEdit, destination(QStringLiteral("Kept"))), 1);
        QVERIFY(attribute(QStringLiteral("Kept"), Attr::PrinterMakeAndModel).startsWith(QLatin1String("HP LaserJet")));
        QVERIFY(attribute(QStringLiteral("Kept(2)"), Attr::PrinterName).isEmpty());
    }

    void membersEditRewritesTheClassOrSaysWhyNot()
    {
        QList<SeenBox> seen;
        ModalAnswerer answerer({[](QWidget *dialog) {
                                    child<QTreeWidget>(dialog, "membersTree")->findItems(QStringLiteral("Second"), Qt::MatchExactly).value(0)->setSelected(true);
                                    child<QAbstractButton>(dialog, "removeButton")->click();
                                    finishing({})(dialog);
                                },
                                finishing({}), ModalAnswerer::pressing({QMessageBox::Ok}, &seen).value(0)});
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::MembersEdit, destination(QStringLiteral("Pair"))), 1);
        QVERIFY2(classMembers(m_sandbox).contains(QLatin1String("First")) && !classMembers(m_sandbox).contains(QLatin1String("Second")),
                 qPrintable(classMembers(m_sandbox)));

        // A class the server can't take under that name: the rewrite fails and says so.
        const QHash<QString, QVariant> attributes{{Attr::PrinterName, QVariantList{QStringLiteral("No such/class")}},
                                                  {Attr::PrinterType, QVariantList{int(CUPS_PRINTER_CLASS)}},
                                                  {Attr::MemberUris, QVariant(destination(QStringLiteral("Pair")).memberUris()).toList()}};
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::MembersEdit, Destination(attributes)), 0);
        QCOMPARE(seen.size(), 1);
        QVERIFY(seen.first().text.startsWith(QLatin1String("Unable to update class.<br>CUPS error: ")));
    }

    void theWindowSizeIsKept()
    {
        PrinterWizard().resize(702, 503); // stored as the wizard goes
        QCOMPARE(PrinterWizard().size(), QSize(702, 503));
    }

private:
    CupsSandbox m_sandbox;
};

QTEST_MAIN(PrinterWizardTest)
#include "printerwizardtest.moc"
