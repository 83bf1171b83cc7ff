#include "cupssandbox.h"
#include "modalanswerer.h"

#include <attributeviewer.h>
#include <connection.h>
#include <printerippactions.h>
#include <printerlistmodel.h>
#include <printerswidget.h>
#include <utils.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

using CUPS::PrintersWidget;
using Button = QMessageBox::StandardButton;

namespace
{
const QString ErrorTail = QStringLiteral("<br>CUPS error: ");

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

/**
 * The printer actions as a user triggers them from the printers widget, each
 * checked on the server with the CUPS command-line tools.
 */
class PrinterActionsTest : public QObject
{
    Q_OBJECT

    CupsSandbox m_sandbox;
    std::unique_ptr<PrintersWidget> m_widget;

    void select(const QString &name)
    {
        const QModelIndex index = m_widget->model()->indexOf(name);
        QVERIFY2(index.isValid(), qPrintable(name));
        m_widget->setCurrentIndex(index);
        QCOMPARE(m_widget->currentDestination().name(), name);
    }

    bool exists(const QString &name) const
    {
        return m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-v"), name});
    }

    QString lpstat(const QStringList &arguments) const
    {
        QString output;
        m_sandbox.run(QStringLiteral("lpstat"), arguments, &output);
        return output;
    }

    QString lpoptionsPath() const
    {
        return QDir::homePath() + QStringLiteral("/.cups/lpoptions");
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
    }

    void init()
    {
        m_widget.reset(new PrintersWidget);
        QVERIFY(m_widget->model()->load());
    }

    void deletingAsksFirst_data()
    {
        QTest::addColumn<bool>("isClass");
        QTest::addColumn<int>("answer");
        QTest::newRow("printer") << false << int(Button::Yes);
        QTest::newRow("class") << true << int(Button::Yes);
        QTest::newRow("declined") << false << int(Button::No);
    }

    void deletingAsksFirst()
    {
        QFETCH(bool, isClass);
        QFETCH(int, answer);
        const QString printer = QStringLiteral("Delete_Printer");
        const QString name = isClass ? QStringLiteral("Delete_Class") : printer;
        QVERIFY(m_sandbox.addPrinter(printer));
        QVERIFY(!isClass || m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), printer, QStringLiteral("-c"), name}));
        QVERIFY(m_widget->model()->load());
        select(name);
        QSignalSpy reloads(m_widget->model(), &CUPS::PrinterListModel::loaded);
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({Button(answer)}, &seen));
        m_widget->action(PrintersWidget::DeleteDestination)->trigger();

        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].icon, QMessageBox::Warning);
        QCOMPARE(seen[0].title, QStringLiteral("Warning"));
        QCOMPARE(seen[0].text, QStringLiteral("Deleting %1 %2. Are you sure?").arg(isClass ? QStringLiteral("class") : QStringLiteral("printer"), name));
        QCOMPARE(seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(seen[0].defaultButton, Button::No);
        const bool deleted = answer == Button::Yes;
        QCOMPARE(exists(name), !deleted);
        QCOMPARE(m_widget->model()->indexOf(name).isValid(), !deleted);
        QCOMPARE(reloads.isEmpty(), !deleted);
        // Deleting the class leaves its member.
        QVERIFY(exists(printer) == (isClass || !deleted));
        QVERIFY(!exists(printer) || m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), printer}));
    }

    void pausingActsOnTheServersStateNotTheList_data()
    {
        QTest::addColumn<bool>("stoppedOnServer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("idle is paused") << false << QStringLiteral("disabled");
        QTest::newRow("already stopped elsewhere is resumed") << true << QStringLiteral("is idle");
    }

    void pausingActsOnTheServersStateNotTheList()
    {
        QFETCH(bool, stoppedOnServer);
        QFETCH(QString, expected);
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Pausable")));
        QVERIFY(m_widget->model()->load());
        select(QStringLiteral("Pausable"));
        QCOMPARE(m_widget->currentDestination().state(), int(IPP_PSTATE_IDLE));
        if (stoppedOnServer) {
            // Another client stops it; the list still says idle.
            QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {QStringLiteral("Pausable")}));
        }

        QSignalSpy reloads(m_widget->model(), &CUPS::PrinterListModel::loaded);
        QSignalSpy messages(m_widget.get(), &PrintersWidget::statusMessage);
        m_widget->action(PrintersWidget::PauseResume)->trigger();
        QCOMPARE(messages.value(0).value(0).toString(), stoppedOnServer ? QStringLiteral("Pausable resumed") : QStringLiteral("Pausable paused"));
        QVERIFY2(lpstat({QStringLiteral("-p"), QStringLiteral("Pausable")}).contains(expected), qPrintable(lpstat({QStringLiteral("-p"), QStringLiteral("Pausable")})));
        QCOMPARE(reloads.count(), 1);
        // The reloaded list offers the opposite action.
        QCOMPARE(m_widget->action(PrintersWidget::PauseResume)->text(), stoppedOnServer ? QStringLiteral("Pause") : QStringLiteral("Resume"));
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Pausable")}));
    }

    void acceptingFollowsTheListedType()
    {
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Gatekeeper")));
        QVERIFY(m_widget->model()->load());
        select(QStringLiteral("Gatekeeper"));
        QAction *action = m_widget->action(PrintersWidget::AcceptRejectJobs);
        QSignalSpy messages(m_widget.get(), &PrintersWidget::statusMessage);

        action->trigger();
        QVERIFY(lpstat({QStringLiteral("-a"), QStringLiteral("Gatekeeper")}).contains(QLatin1String("not accepting")));
        QCOMPARE(action->text(), QStringLiteral("Accept jobs"));

        action->trigger();
        QVERIFY(lpstat({QStringLiteral("-a"), QStringLiteral("Gatekeeper")}).contains(QLatin1String("accepting requests")));
        QCOMPARE(action->text(), QStringLiteral("Reject jobs"));
        QCOMPARE(messages.value(0).value(0).toString() + QLatin1Char('|') + messages.value(1).value(0).toString(),
                 QStringLiteral("Gatekeeper rejects jobs|Gatekeeper accepts jobs"));
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Gatekeeper")}));
    }

    void purgingAsksAndEmptiesTheQueue_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("jobsLeft");
        QTest::newRow("Ok purges") << int(Button::Ok) << 0;
        QTest::newRow("Cancel keeps the jobs") << int(Button::Cancel) << 2;
    }

    void purgingAsksAndEmptiesTheQueue()
    {
        QFETCH(int, answer);
        QFETCH(int, jobsLeft);
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Busy_Queue")));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {QStringLiteral("Busy_Queue")}));
        for (int i = 0; i < 2; ++i) {
            QVERIFY(m_sandbox.run(QStringLiteral("lp"), {QStringLiteral("-d"), QStringLiteral("Busy_Queue"), QStringLiteral("/usr/share/cups/data/testprint")}));
        }
        QVERIFY(m_widget->model()->load());
        select(QStringLiteral("Busy_Queue"));

        QSignalSpy reloads(m_widget->model(), &CUPS::PrinterListModel::loaded);
        QList<SeenBox> seen;
        QSignalSpy messages(m_widget.get(), &PrintersWidget::statusMessage);
        ModalAnswerer answerer(ModalAnswerer::pressing({Button(answer)}, &seen));
        m_widget->action(PrintersWidget::Purge)->trigger();
        QCOMPARE(messages.count(), jobsLeft == 0 ? 1 : 0);

        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].icon, QMessageBox::Question);
        QCOMPARE(seen[0].title, QStringLiteral("Purge jobs confirmation"));
        QCOMPARE(seen[0].text, QStringLiteral("All printer's jobs will be purged. Continue?"));
        QCOMPARE(seen[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(lpstat({QStringLiteral("-o"), QStringLiteral("Busy_Queue")}).count(QStringLiteral("Busy_Queue-")), jobsLeft);
        QCOMPARE(reloads.count(), jobsLeft == 0 ? 1 : 0);
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Busy_Queue")}));
    }

    void defaultForMeChangesOnlyMine()
    {
        select(QStringLiteral("Lobby_Printer"));
        m_widget->action(PrintersWidget::SetUserDefault)->trigger();

        QCOMPARE(m_widget->model()->userDefaultDestination(), QStringLiteral("Lobby_Printer"));
        QVERIFY(lpstat({QStringLiteral("-d")}).contains(QLatin1String("Lobby_Printer")));
        // The server's default is untouched.
        const QHash<QString, QVariant> office = CUPS::PrinterIppActions::instance()->destAttrs(m_widget->model()->dest(m_widget->model()->indexOf(QStringLiteral("Office_PS"))).uri(), {QStringLiteral("printer-type")});
        QVERIFY(CUPS::Utils::getAttribute(office, QStringLiteral("printer-type")).toUInt() & CUPS_PRINTER_DEFAULT);
        // The list marks the new default at once.
        select(QStringLiteral("Lobby_Printer"));
        QVERIFY(m_widget->action(PrintersWidget::SetUserDefault)->isChecked());
    }

    void defaultForAllAlsoBecomesMine()
    {
        select(QStringLiteral("Raw_Queue"));
        m_widget->action(PrintersWidget::SetSystemDefault)->trigger();

        select(QStringLiteral("Raw_Queue"));
        QVERIFY(m_widget->currentDestination().type() & CUPS_PRINTER_DEFAULT);
        QVERIFY(m_widget->action(PrintersWidget::SetSystemDefault)->isChecked());
        QCOMPARE(m_widget->model()->userDefaultDestination(), QStringLiteral("Raw_Queue"));
        QVERIFY(readFile(lpoptionsPath()).contains(QLatin1String("Default Raw_Queue")));

        // Give the sample its server default back for the other cases.
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Office_PS")}));
    }

    void failedDefaultForAllKeepsMyDefault()
    {
        // A listed printer whose URI the server refuses, while its name is a real
        // printer: only the failed request stands between it and my default.
        QHash<QString, QVariant> attributes;
        attributes.insert(QStringLiteral("printer-name"), QVariantList{QStringLiteral("Lobby_Printer")});
        attributes.insert(QStringLiteral("printer-uri-supported"), QVariantList{QStringLiteral("ipp://%1/printers/Not_Here").arg(m_sandbox.server())});
        attributes.insert(QStringLiteral("printer-type"), QVariantList{0u});
        m_widget->model()->setDestinations({CUPS::Destination(attributes)}, m_widget->model()->userDefaultDestination());
        select(QStringLiteral("Lobby_Printer"));
        const QString lpoptionsBefore = readFile(lpoptionsPath());
        const QString userDefaultBefore = m_widget->model()->userDefaultDestination();
        QVERIFY(userDefaultBefore != QLatin1String("Lobby_Printer"));

        QList<SeenBox> seen;
        QSignalSpy messages(m_widget.get(), &PrintersWidget::statusMessage);
        ModalAnswerer answerer(ModalAnswerer::pressing({Button::Ok, Button::Ok}, &seen));
        m_widget->action(PrintersWidget::SetSystemDefault)->trigger();
        // Neither may the user's own default go to a destination the server no longer has.
        attributes.insert(QStringLiteral("printer-name"), QVariantList{QStringLiteral("Not_Here")});
        m_widget->model()->setDestinations({CUPS::Destination(attributes)}, userDefaultBefore);
        select(QStringLiteral("Not_Here"));
        m_widget->action(PrintersWidget::SetUserDefault)->trigger();

        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[1].text, seen[0].text);
        QVERIFY(messages.isEmpty());
        QCOMPARE(seen[0].icon, QMessageBox::Warning);
        QCOMPARE(seen[0].title, QStringLiteral("Error"));
        QVERIFY2(seen[0].text.startsWith(QStringLiteral("Unable to set default printer.") + ErrorTail), qPrintable(seen[0].text));
        QCOMPARE(readFile(lpoptionsPath()), lpoptionsBefore);
        QVERIFY(lpstat({QStringLiteral("-d")}).contains(userDefaultBefore));
    }

    void testPageReportsTheJob()
    {
        select(QStringLiteral("Raw_Queue"));
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({Button::Ok}, &seen));
        m_widget->action(PrintersWidget::PrintTestPage)->trigger();

        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].icon, QMessageBox::Information);
        QCOMPARE(seen[0].title, QStringLiteral("Test Page"));
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^Test Page sent to Raw_Queue,<br>Job ID: (\\d+)$")).match(seen[0].text);
        QVERIFY2(match.hasMatch(), qPrintable(seen[0].text));
        QVERIFY(lpstat({QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), QStringLiteral("Raw_Queue")}).contains(QStringLiteral("Raw_Queue-%1 ").arg(match.captured(1))));
    }

    void attributesShowReadOnlyAndAsText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("printer") << QStringLiteral("Markup_Printer") << QStringLiteral("Printer Attributes");
        QTest::newRow("class") << QStringLiteral("Office_Class") << QStringLiteral("Class Attributes");
    }

    void attributesShowReadOnlyAndAsText()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        const QString description = QStringLiteral("<b>Bold</b> & <img src=x>, Grüße");
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Markup_Printer"), {QStringLiteral("-D"), description}));
        QVERIFY(m_widget->model()->load());
        select(name);

        QString seenTitle;
        QString seenName;
        QString seenDescription;
        QString seenToolTip;
        bool editable = true;
        ModalAnswerer answerer({[&](QWidget *widget) {
            seenTitle = widget->windowTitle();
            auto *tree = widget->findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
            if (tree) {
                for (int row = 0; row < tree->topLevelItemCount(); ++row) {
                    const QTreeWidgetItem *item = tree->topLevelItem(row);
                    editable = editable && (item->flags() & Qt::ItemIsEditable);
                    if (item->text(0) == QLatin1String("printer-name")) {
                        seenName = item->text(1);
                    } else if (item->text(0) == QLatin1String("printer-info")) {
                        seenDescription = item->text(1);
                        seenToolTip = item->toolTip(1);
                    }
                }
            }
            widget->close();
        }});
        m_widget->action(PrintersWidget::ShowAttrs)->trigger();

        QCOMPARE(answerer.pending(), 0);
        QCOMPARE(seenTitle, title);
        QCOMPARE(seenName, name);
        QVERIFY(!editable);
        if (name == QLatin1String("Markup_Printer")) {
            QCOMPARE(seenDescription, description);
            QCOMPARE(seenToolTip, description);
        }
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Markup_Printer")}));
    }

    void actingOnAPrinterDeletedElsewhereShowsTheServerAndReloads_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("message");

        QTest::newRow("delete") << int(PrintersWidget::DeleteDestination) << QList<int>{Button::Yes, Button::Ok} << QStringLiteral("Unable to delete printer.");
        QTest::newRow("pause") << int(PrintersWidget::PauseResume) << QList<int>{Button::Ok} << QStringLiteral("Unable to pause printer.");
        QTest::newRow("reject") << int(PrintersWidget::AcceptRejectJobs) << QList<int>{Button::Ok} << QStringLiteral("Unable to enable/disable job acception.");
        QTest::newRow("purge") << int(PrintersWidget::Purge) << QList<int>{Button::Ok, Button::Ok} << QStringLiteral("Unable to purge jobs.");
        QTest::newRow("default for all") << int(PrintersWidget::SetSystemDefault) << QList<int>{Button::Ok} << QStringLiteral("Unable to set default printer.");
        QTest::newRow("attributes") << int(PrintersWidget::ShowAttrs) << QList<int>{Button::Ok} << QStringLiteral("Unable to get printer attributes.");
        QTest::newRow("test page") << int(PrintersWidget::PrintTestPage) << QList<int>{Button::Ok} << QStringLiteral("Failed to print Test Page on Gone_Printer!");
    }

    void actingOnAPrinterDeletedElsewhereShowsTheServerAndReloads()
    {
        QFETCH(int, action);
        QFETCH(QList<int>, answers);
        QFETCH(QString, message);
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("Gone_Printer")));
        QVERIFY(m_widget->model()->load());
        select(QStringLiteral("Gone_Printer"));
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("Gone_Printer")}));

        QList<Button> buttons;
        for (int answer : answers) {
            buttons << Button(answer);
        }
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing(buttons, &seen));
        m_widget->action(PrintersWidget::Action(action))->trigger();

        QCOMPARE(seen.size(), answers.size());
        const SeenBox &error = seen.constLast();
        QCOMPARE(error.title, QStringLiteral("Error"));
        QVERIFY2(error.text.startsWith(message + ErrorTail), qPrintable(error.text));
        // The server's own words follow, escaped: its message quotes the name.
        QVERIFY2(error.text.endsWith(QStringLiteral("does not exist.")), qPrintable(error.text));
        QVERIFY(!m_widget->model()->indexOf(QStringLiteral("Gone_Printer")).isValid());
        QVERIFY(m_widget->currentDestination().name() != QLatin1String("Gone_Printer"));
    }

    void withoutACurrentDestinationNothingHappens()
    {
        m_widget->setCurrentIndex(QModelIndex());
        QSignalSpy reloads(m_widget->model(), &CUPS::PrinterListModel::loaded);
        ModalAnswerer answerer({});
        // Triggered directly: the disabled actions would not even fire.
        const auto actions = m_widget->mainMenu()->actions();
        for (QAction *action : actions) {
            if (!action->menu() && !action->isSeparator() && action != m_widget->action(PrintersWidget::AddDestination)) {
                QMetaObject::invokeMethod(action, "triggered", Q_ARG(bool, false));
            }
        }
        QCoreApplication::processEvents();
        QCOMPARE(answerer.unexpected(), 0);
        QCOMPARE(reloads.count(), 0);
        QVERIFY(exists(QStringLiteral("Office_PS")));
    }
};

QTEST_MAIN(PrinterActionsTest)

#include "printeractionstest.moc"
