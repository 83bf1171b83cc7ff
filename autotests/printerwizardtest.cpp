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
#include <QPushButton>
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

// Later, so that the answerer, whose handler calls this, can answer the boxes Finish opens.
void clickFinish(QWidget *dialog)
{
    QTimer::singleShot(0, static_cast<QWizard *>(dialog)->button(QWizard::FinishButton), &QAbstractButton::click);
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
        QCOMPARE(wizard.currentId(), int(Wizard::AutodetectSelectionPageId));
        auto *devices = wizard.findChild<QTreeWidget *>(QStringLiteral("deviceTree"));
        QTRY_VERIFY(devices->topLevelItemCount() > 0);
        devices->setCurrentItem(devices->findItems(QStringLiteral("HP LaserJet P2055dn"), Qt::MatchStartsWith).value(0));
        wizard.next();
        QCOMPARE(wizard.currentId(), int(Wizard::InfoDriverPageId));
        QVERIFY(!wizard.field(Field::DeviceDriver).toString().isEmpty()); // proposed for the device id
        wizard.button(QWizard::FinishButton)->click();
        QVERIFY(!wizard.isVisible());
        QCOMPARE(attribute(wizard.printerName(), Attr::DeviceUri), QStringLiteral("norvik-test://hp-usb/HP_LaserJet_P2055dn?serial=TEST0001"));
    }

    void aClassAndAPrinterChosenByHand()
    {
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("First"), Unshared) && m_sandbox.addPrinter(QStringLiteral("Second"), Unshared));
        PrinterWizard wizard;
        wizard.show();
        wizard.findChild<QRadioButton *>(QStringLiteral("classRadioButton"))->setChecked(true);
        wizard.next();
        QCOMPARE(wizard.currentId(), int(Wizard::ClassMembersPageId));
        auto *available = wizard.findChild<QTreeWidget *>(QStringLiteral("availableTree"));
        for (const char *name : {"First", "Second"}) {
            available->findItems(QLatin1String(name), Qt::MatchExactly).value(0)->setSelected(true);
        }
        wizard.findChild<QAbstractButton *>(QStringLiteral("addButton"))->click();
        wizard.next();
        wizard.setField(Field::QueueName, QStringLiteral("Pair"));
        wizard.button(QWizard::FinishButton)->click();
        QString members;
        QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-c"), QStringLiteral("Pair")}, &members));
        QVERIFY2(members.contains(QLatin1String("First")) && members.contains(QLatin1String("Second")), qPrintable(members));
        // A new class takes jobs at once.
        QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-a"), QStringLiteral("Pair")}, &members) && members.contains(QLatin1String("Pair accepting")));

        // Without a detected device the device is chosen by hand, here a typed URI, then a driver.
        PrinterWizard manual;
        manual.show();
        manual.next();
        QCOMPARE(manual.nextId(), int(Wizard::SelectBackendPageId));
        manual.back();
        manual.findChild<QRadioButton *>(QStringLiteral("manualRadioButton"))->setChecked(true);
        manual.next();
        QCOMPARE(manual.currentId(), int(Wizard::SelectBackendPageId));
        auto *backends = manual.findChild<QTreeWidget *>(QStringLiteral("backendTree"));
        backends->setCurrentItem(backends->findItems(QStringLiteral("Custom device URI"), Qt::MatchExactly).value(0));
        QTest::keyClicks(manual.findChild<QLineEdit *>(QStringLiteral("m_uriEdit")), QStringLiteral("socket://127.0.0.1:9100"));
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
        PrinterWizard wizard;
        QCOMPARE(wizard.execSpecialTask(task, destination(name)), 0);
        QCOMPARE(answerer.unexpected(), 0);
    }

    void aRenameNeverLosesThePrinter_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("deviceUri"); // a scheme cupsd has no backend for fails the create
        QTest::addColumn<QStringList>("queues");
        QTest::newRow("renamed") << "Renamed" << "" << QStringList{QStringLiteral("Renamed")};
        QTest::newRow("letter case only") << "RENAME_ME" << "" << QStringList{QStringLiteral("Rename_Me")};
        QTest::newRow("failed create") << "Elsewhere" << "nosuch:/x" << QStringList{QStringLiteral("Rename_Me")};
    }
    void aRenameNeverLosesThePrinter()
    {
        QFETCH(QString, newName);
        QFETCH(QString, deviceUri);
        QFETCH(QStringList, queues);
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Rename_Me"), QStringList{QStringLiteral("-m"), GenericPpd} + Unshared));
        QList<SeenBox> seen;
        ModalAnswerer answerer({[&](QWidget *dialog) {
                                    static_cast<QWizard *>(dialog)->setField(Field::QueueName, newName);
                                    if (!deviceUri.isEmpty()) {
                                        static_cast<QWizard *>(dialog)->setField(Field::DeviceUri, deviceUri);
                                    }
                                    clickFinish(dialog);
                                },
                                ModalAnswerer::pressing({QMessageBox::No}, &seen).value(0)});
        PrinterWizard wizard;
        QCOMPARE(wizard.execSpecialTask(PrinterWizard::GeneralEdit, destination(QStringLiteral("Rename_Me"))), deviceUri.isEmpty() ? 1 : 0);
        QCOMPARE(seen.size(), deviceUri.isEmpty() ? 0 : 1); // "Try Again?"
        for (const QString &name : {QStringLiteral("Rename_Me"), QStringLiteral("Renamed"), QStringLiteral("Elsewhere")}) {
            QCOMPARE(!attribute(name, Attr::PrinterName).isEmpty(), queues.contains(name));
        }
        QCOMPARE(attribute(queues.first(), Attr::PrinterMakeAndModel), QStringLiteral("Generic PostScript Printer"));
        QVERIFY(PrinterIppActions::instance()->deletePrinter(queues.first()));
    }

    void editsKeepWhatTheyDoNotChange()
    {
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Kept"), QStringList{QStringLiteral("-m"), GenericPpd} + Unshared));
        // Its PPD can't be seen here, as with a remote server: the general edit still keeps the driver.
        QTemporaryDir elsewhere;
        const QByteArray serverRoot = qgetenv("CUPS_SERVERROOT");
        qputenv("CUPS_SERVERROOT", QFile::encodeName(elsewhere.path()));
        ModalAnswerer answerer({[](QWidget *dialog) {
                                    static_cast<QWizard *>(dialog)->setField(Field::QueueLocation, QStringLiteral("Hall"));
                                    clickFinish(dialog);
                                },
                                [](QWidget *dialog) {
                                    static_cast<QWizard *>(dialog)->setField(Field::DeviceDriver, QStringLiteral("drv:///sample.drv/laserjet.ppd"));
                                    clickFinish(dialog);
                                }});
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
                                    auto *members = dialog->findChild<QTreeWidget *>(QStringLiteral("membersTree"));
                                    members->findItems(QStringLiteral("Second"), Qt::MatchExactly).value(0)->setSelected(true);
                                    dialog->findChild<QAbstractButton *>(QStringLiteral("removeButton"))->click();
                                    clickFinish(dialog);
                                },
                                [](QWidget *dialog) {
                                    clickFinish(dialog);
                                },
                                ModalAnswerer::pressing({QMessageBox::Ok}, &seen).value(0)});
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::MembersEdit, destination(QStringLiteral("Pair"))), 1);
        QString members;
        QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-c"), QStringLiteral("Pair")}, &members));
        QVERIFY2(members.contains(QLatin1String("First")) && !members.contains(QLatin1String("Second")), qPrintable(members));

        // A class the server can't take under that name: the rewrite fails and says so.
        const Destination pair = destination(QStringLiteral("Pair"));
        QHash<QString, QVariant> attributes{{Attr::PrinterName, QVariantList{QStringLiteral("No such/class")}},
                                            {Attr::PrinterType, QVariantList{int(CUPS_PRINTER_CLASS)}},
                                            {Attr::MemberUris, QVariant(pair.memberUris()).toList()}};
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
