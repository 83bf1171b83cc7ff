#include "cupssandbox.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <destination.h>
#include <printerippactions.h>
#include <printerwizard.h>
#include <wizard/wizardfields.h>

#include <QLineEdit>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include <cups/cups.h>

using namespace CUPS;
using Fields = QHash<QString, QVariant>;
namespace Field = CUPS::Wizard::Field;

namespace
{
Destination destination(const QString &name)
{
    return Destination(PrinterIppActions::instance()->destAttrs(name, {}));
}

// Makes a tree's row current and adds it to the selection; false while there is no such row.
bool choose(QWidget *wizard, const char *tree, const QString &text)
{
    auto *view = wizard->findChild<QTreeWidget *>(QLatin1String(tree));
    QTreeWidgetItem *item = view->findItems(text, Qt::MatchExactly).value(0);
    view->setCurrentItem(item, 0, QItemSelectionModel::Select);
    return item;
}

// Sets the fields, then clicks Finish later, so that the answerer can answer the boxes Finish opens.
ModalAnswerer::Handler finishing(const Fields &fields)
{
    return [fields](QWidget *dialog) {
        auto *wizard = static_cast<QWizard *>(dialog);
        for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
            wizard->setField(it.key(), it.value());
        }
        QMetaObject::invokeMethod(wizard->button(QWizard::FinishButton), "click", Qt::QueuedConnection);
    };
}
} // namespace

class PrinterWizardTest : public QObject
{
    Q_OBJECT
    CupsSandbox m_sandbox;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("First")));
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Second")));
    }

    void aNewClassGetsTheChosenMembers()
    {
        PrinterWizard wizard;
        wizard.show();
        wizard.findChild<QRadioButton *>(QStringLiteral("classRadioButton"))->setChecked(true);
        wizard.next();
        QVERIFY(choose(&wizard, "availableTree", QStringLiteral("First")));
        QVERIFY(choose(&wizard, "availableTree", QStringLiteral("Second")));
        wizard.findChild<QAbstractButton *>(QStringLiteral("addButton"))->click();
        wizard.next();
        wizard.setField(Field::QueueName, QStringLiteral("Pair"));
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(destination(QStringLiteral("Pair")).memberNames(),
                 QStringList({QStringLiteral("First"), QStringLiteral("Second")}));
    }

    void aNewPrinterGetsTheDetectedDeviceOrOneChosenByHand()
    {
        PrinterWizard wizard;
        wizard.show();
        wizard.next();
        QCOMPARE(wizard.nextId(), int(Wizard::SelectBackendPageId));
        QTRY_VERIFY(choose(&wizard, "deviceTree", QStringLiteral("HP LaserJet P2055dn")));
        wizard.next();
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(destination(wizard.printerName()).deviceUri(),
                 QStringLiteral("norvik-test://hp-usb/HP_LaserJet_P2055dn?serial=TEST0001"));
    }

    void aRenameNeverLosesThePrinter_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("deviceUri"); // the queue's own, or one with no backend: the create fails
        QTest::addColumn<QString>("kept");
        QTest::newRow("renamed") << "Renamed" << "file:///dev/null" << "Renamed";
        QTest::newRow("letter case only") << "RENAME_ME" << "file:///dev/null" << "Rename_Me";
        QTest::newRow("failed create") << "Elsewhere" << "nosuch:/x" << "Rename_Me";
    }
    void aRenameNeverLosesThePrinter()
    {
        QFETCH(QString, newName);
        QFETCH(QString, deviceUri);
        QFETCH(QString, kept);
        const QString name = QStringLiteral("Rename_Me");
        // Unshared: sharing it on this server would raise the remote-access question.
        const QString options = QStringLiteral("-m drv:///sample.drv/generic.ppd -o printer-is-shared=false");
        QVERIFY(m_sandbox.addPrinter(name, options.split(QLatin1Char(' '))));
        QList<SeenBox> seen; // "Try Again?" after a failed create
        const Fields fields{{Field::QueueName, newName}, {Field::DeviceUri, deviceUri}};
        ModalAnswerer answerer({finishing(fields), ModalAnswerer::pressing({QMessageBox::No}, &seen)[0]});
        const int created = deviceUri.startsWith(QLatin1String("file:"));
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::GeneralEdit, destination(name)), created);
        QCOMPARE(seen.size(), 1 - created);
        for (const QString &queue : {name, QStringLiteral("Renamed"), QStringLiteral("Elsewhere")}) {
            QCOMPARE(!destination(queue).isEmpty(), queue == kept);
        }
        // The driver goes along, though the edit had none to choose.
        QCOMPARE(destination(kept).makeAndModel(), QStringLiteral("Generic PostScript Printer"));
        QVERIFY(PrinterIppActions::instance()->deletePrinter(kept));
    }

    void membersEditRewritesTheClassOrSaysWhyNot()
    {
        QList<SeenBox> seen;
        const auto removeSecond = [](QWidget *wizard) {
            QVERIFY(choose(wizard, "membersTree", QStringLiteral("Second")));
            wizard->findChild<QAbstractButton *>(QStringLiteral("removeButton"))->click();
            finishing({})(wizard);
        };
        const auto error = ModalAnswerer::pressing({QMessageBox::Ok}, &seen).value(0);
        ModalAnswerer answerer({removeSecond, finishing({}), error});
        const Destination pair = destination(QStringLiteral("Pair"));
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::MembersEdit, pair), 1);
        QCOMPARE(destination(QStringLiteral("Pair")).memberNames(), QStringList{QStringLiteral("First")});

        // A class the server can't take under that name: the rewrite fails and says so.
        const Fields attributes{{Attr::PrinterName, QVariantList{QStringLiteral("No such/class")}},
                                {Attr::PrinterType, QVariantList{int(CUPS_PRINTER_CLASS)}},
                                {Attr::MemberUris, QVariant(pair.memberUris()).toList()}};
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::MembersEdit, Destination(attributes)), 0);
        QVERIFY(seen.value(0).text.startsWith(QLatin1String("Unable to update class.<br>CUPS error: ")));
    }
};

QTEST_MAIN(PrinterWizardTest)
#include "printerwizardtest.moc"
