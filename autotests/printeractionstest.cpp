#include "cupssandbox.h"
#include "modalanswerer.h"

#include <printerlistmodel.h>
#include <printerswidget.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cups/cups.h>

using CUPS::PrintersWidget;
using Button = QMessageBox::StandardButton;

/// The printer actions as the printers widget triggers them, checked with the CUPS command-line tools.
class PrinterActionsTest : public QObject
{
    Q_OBJECT

    CupsSandbox m_sandbox;
    std::unique_ptr<PrintersWidget> m_widget;

    // Adds the printer (when named) and makes it current in a new widget's list.
    void select(const QString &name, const QStringList &addedPrinters = {})
    {
        for (const QString &added : addedPrinters) {
            QVERIFY(m_sandbox.addPrinter(added));
        }
        m_widget.reset(new PrintersWidget);
        QVERIFY(m_widget->model()->load());
        m_widget->setCurrentIndex(m_widget->model()->indexOf(name));
        QCOMPARE(m_widget->currentDestination().name(), name);
    }
    bool exists(const QString &name) const
    {
        return m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-v"), name});
    }
    QString lpstat(const QStringList &arguments) const
    {
        return m_sandbox.output(QStringLiteral("lpstat"), arguments);
    }
    bool lpadmin(const QString &arguments)
    {
        return m_sandbox.run(QStringLiteral("lpadmin"), arguments.split(QLatin1Char(' ')));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
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
        QVERIFY(!isClass || lpadmin(QStringLiteral("-p Delete_Printer -c Delete_Class")));
        select(name);
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({Button(answer)}, &seen));
        m_widget->action(PrintersWidget::DeleteDestination)->trigger();

        QCOMPARE(seen.size(), 1);
        const QString kind = isClass ? QStringLiteral("class") : QStringLiteral("printer");
        QCOMPARE(seen[0].text, QStringLiteral("Deleting %1 %2. Are you sure?").arg(kind, name));
        QCOMPARE(seen[0].defaultButton, Button::No); // a slip of the Enter key deletes nothing
        const bool deleted = answer == Button::Yes;
        QCOMPARE(exists(name), !deleted);
        QCOMPARE(m_widget->model()->indexOf(name).isValid(), !deleted);
        // Deleting the class leaves its member.
        QCOMPARE(exists(printer), isClass || !deleted);
    }

    void pausingActsOnTheServersStateNotTheList_data()
    {
        QTest::addColumn<bool>("stoppedOnServer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("offered"); // by the reloaded list
        QTest::newRow("idle is paused") << false << "Pausable paused" << "disabled" << "Resume";
        QTest::newRow("stopped elsewhere is resumed") << true << "Pausable resumed" << "is idle" << "Pause";
    }

    void pausingActsOnTheServersStateNotTheList()
    {
        QFETCH(bool, stoppedOnServer);
        const QString name = QStringLiteral("Pausable");
        select(name, {name});
        if (stoppedOnServer) {
            // Another client stops it; the list still says idle.
            QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {name}));
        }
        QSignalSpy messages(m_widget.get(), &PrintersWidget::statusMessage);
        m_widget->action(PrintersWidget::PauseResume)->trigger();
        QTEST(messages.value(0).value(0).toString(), "message");
        QFETCH(QString, state);
        const QString shown = lpstat({QStringLiteral("-p"), name});
        QVERIFY2(shown.contains(state), qPrintable(shown));
        QTEST(m_widget->action(PrintersWidget::PauseResume)->text(), "offered");
        QVERIFY(lpadmin(QStringLiteral("-x ") + name));
    }

    void acceptingFollowsTheListedType()
    {
        const QString name = QStringLiteral("Gatekeeper");
        select(name, {name});
        QAction *action = m_widget->action(PrintersWidget::AcceptRejectJobs);
        action->trigger();
        QVERIFY(lpstat({QStringLiteral("-a"), name}).contains(QLatin1String("not accepting")));
        QCOMPARE(action->text(), QStringLiteral("Accept jobs"));
        action->trigger();
        QVERIFY(lpstat({QStringLiteral("-a"), name}).contains(QLatin1String("accepting requests")));
        QCOMPARE(action->text(), QStringLiteral("Reject jobs"));
        QVERIFY(lpadmin(QStringLiteral("-x ") + name));
    }

    void purgingAsksAndEmptiesTheQueue()
    {
        const QString name = QStringLiteral("Busy_Queue");
        QVERIFY(m_sandbox.addPrinter(name) && m_sandbox.run(QStringLiteral("cupsdisable"), {name}));
        const QStringList lp{QStringLiteral("-d"), name, QStringLiteral("/usr/share/cups/data/testprint")};
        QVERIFY(m_sandbox.run(QStringLiteral("lp"), lp) && m_sandbox.run(QStringLiteral("lp"), lp));
        select(name);
        QList<SeenBox> seen;
        for (Button answer : {Button::Cancel, Button::Ok}) {
            ModalAnswerer answerer(ModalAnswerer::pressing({answer}, &seen));
            m_widget->action(PrintersWidget::Purge)->trigger();
            const int jobs = lpstat({QStringLiteral("-o"), name}).count(name + QLatin1Char('-'));
            QCOMPARE(jobs, answer == Button::Ok ? 0 : 2);
        }
        QCOMPARE(seen.value(1).text, QStringLiteral("All printer's jobs will be purged. Continue?"));
        QVERIFY(lpadmin(QStringLiteral("-x ") + name));
    }

    void defaultForMeChangesOnlyMine()
    {
        select(QStringLiteral("Lobby_Printer"));
        m_widget->action(PrintersWidget::SetUserDefault)->trigger();
        QCOMPARE(m_widget->model()->userDefaultDestination(), QStringLiteral("Lobby_Printer"));
        QVERIFY(lpstat({QStringLiteral("-d")}).contains(QLatin1String("Lobby_Printer")));
        // The server's default is untouched.
        const QModelIndex office = m_widget->model()->indexOf(QStringLiteral("Office_PS"));
        QVERIFY(m_widget->model()->dest(office).type() & CUPS_PRINTER_DEFAULT);
    }

    void defaultForAllAlsoBecomesMine()
    {
        select(QStringLiteral("Raw_Queue"));
        m_widget->action(PrintersWidget::SetSystemDefault)->trigger();
        select(QStringLiteral("Raw_Queue"));
        QVERIFY(m_widget->currentDestination().type() & CUPS_PRINTER_DEFAULT);
        QCOMPARE(m_widget->model()->userDefaultDestination(), QStringLiteral("Raw_Queue"));
        QFile lpoptions(QDir::homePath() + QStringLiteral("/.cups/lpoptions"));
        QVERIFY(lpoptions.open(QIODevice::ReadOnly) && lpoptions.readAll().contains("Default Raw_Queue"));
        // Give the sample its server default back for the other cases.
        QVERIFY(lpadmin(QStringLiteral("-d Office_PS")));
    }

    void actingOnAPrinterDeletedElsewhereShowsTheServerAndReloads_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("message");
        using W = PrintersWidget;
        QTest::newRow("delete") << int(W::DeleteDestination) << 1 << "Unable to delete printer.";
        QTest::newRow("pause") << int(W::PauseResume) << 0 << "Unable to pause printer.";
        QTest::newRow("reject") << int(W::AcceptRejectJobs) << 0 << "Unable to enable/disable job acception.";
        QTest::newRow("default for all") << int(W::SetSystemDefault) << 0 << "Unable to set default printer.";
        QTest::newRow("test page") << int(W::PrintTestPage) << 0
                                   << "Failed to print Test Page on Gone_Printer!";
    }

    void actingOnAPrinterDeletedElsewhereShowsTheServerAndReloads()
    {
        QFETCH(int, action);
        QFETCH(int, questions);
        QFETCH(QString, message);
        const QString name = QStringLiteral("Gone_Printer");
        select(name, {name});
        QVERIFY(lpadmin(QStringLiteral("-x ") + name));
        QList<SeenBox> seen;
        // Yes to the question, then Ok on the error.
        const QList<Button> answers{Button::Yes, Button::Ok};
        ModalAnswerer answerer(ModalAnswerer::pressing(answers.mid(1 - questions), &seen));
        m_widget->action(PrintersWidget::Action(action))->trigger();

        QCOMPARE(seen.size(), questions + 1);
        const SeenBox &error = seen.constLast();
        QCOMPARE(error.title, QStringLiteral("Error"));
        QVERIFY2(error.text.startsWith(message + QStringLiteral("<br>CUPS error: ")), qPrintable(error.text));
        // The server's own words follow, escaped: its message quotes the name.
        QVERIFY2(error.text.endsWith(QStringLiteral("does not exist.")), qPrintable(error.text));
        QVERIFY(!m_widget->model()->indexOf(name).isValid());
    }
};

QTEST_MAIN(PrinterActionsTest)

#include "printeractionstest.moc"
