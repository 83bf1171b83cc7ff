#include "cupssandbox.h"
#include "jobtools.h"
#include "macippserverprocess.h"
#include "modalanswerer.h"
#include "testppd.h"

#include <connection.h>
#include <destination.h>
#include <destoptionsdialog.h>
#include <jobswidget.h>
#include <macattributesdialog.h>
#include <macippactions.h>
#include <printerippactions.h>
#include <printerlistmodel.h>
#include <printerswidget.h>
#include <printerwizard.h>
#include <wizard/wizardfields.h>

#include <KPasswordDialog>

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

using namespace CUPS;

namespace
{
const QString Printer = QStringLiteral("Death_Printer");
const QString Queue = QStringLiteral("Death_Queue"); // stopped: its jobs stay pending
const QString Class = QStringLiteral("Death_Class");

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

QPushButton *button(QDialog *dialog, QDialogButtonBox::StandardButton which)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which);
}

// True when another thread can take the connection lock: nothing was left holding it.
bool lockIsFree()
{
    std::unique_ptr<QThread> probe(QThread::create([] {
        Connection::instance()->lock();
        Connection::instance()->unlock();
    }));
    probe->start();
    if (!probe->wait(5000)) {
        probe.release(); // blocked for good: leaking it beats aborting
        return false;
    }
    return true;
}

// Later, so that the answerer, whose handler calls this, can answer the boxes Finish opens.
void clickFinish(QWidget *wizard)
{
    QTimer::singleShot(0, static_cast<QWizard *>(wizard)->button(QWizard::FinishButton), &QAbstractButton::click);
}
} // namespace

/**
 * The print server dies while the widgets are in use: each one says so in
 * words, keeps nothing half done and works again once the server is back.
 */
class ServerDeathTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(m_sandbox.start(), qPrintable(m_sandbox.errorString()));
        const QString ppd = m_ppds.filePath(QStringLiteral("test.ppd"));
        QVERIFY(TestPpd().write(ppd));
        QVERIFY(m_sandbox.addPrinter(Printer, {QStringLiteral("-P"), ppd}));
        QVERIFY(m_sandbox.addPrinter(Queue) && m_sandbox.run(QStringLiteral("cupsdisable"), {Queue}));
        for (const QString &member : {Printer, Queue}) {
            QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), member, QStringLiteral("-c"), Class}));
        }
    }

    void cleanup()
    {
        if (m_paused) {
            QVERIFY(m_sandbox.resume());
            m_paused = false;
        }
    }

    void listActionsFailInWordsAndWorkOnceTheServerIsBack_data()
    {
        QTest::addColumn<int>("action"); // a printers' list action, or a jobs' list one when negative
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("program"); // the server's truth once the action worked, by a client of its own
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("done");
        QTest::newRow("pause") << int(PrintersWidget::PauseResume) << QStringLiteral("Unable to pause printer.") << QStringLiteral("lpstat")
                               << QStringList{QStringLiteral("-p"), Printer} << QStringLiteral("disabled");
        QTest::newRow("user default") << int(PrintersWidget::SetUserDefault) << QStringLiteral("Unable to set default printer.") << QStringLiteral("lpstat")
                                      << QStringList{QStringLiteral("-d")} << QStringLiteral("destination: ") + Printer;
        // Without a program the job's state tells.
        QTest::newRow("hold job") << -1 - int(JobsWidget::HoldRelease) << QStringLiteral("Unable to hold job") << QString() << QStringList()
                                  << QStringLiteral("pending-held");
    }
    void listActionsFailInWordsAndWorkOnceTheServerIsBack()
    {
        QFETCH(int, action);
        QFETCH(QString, box);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, done);
        const bool jobsList = action < 0;
        const int job = jobsList ? JobTools::submit(m_sandbox, Queue, QStringLiteral("pending")) : 0;
        QVERIFY(!jobsList || job > 0);
        PrintersWidget printers;
        JobsWidget jobs;
        QAction *trigger = jobsList ? jobs.action(JobsWidget::Action(-1 - action)) : printers.action(PrintersWidget::Action(action));
        const auto show = [&] {
            if (jobsList) {
                jobs.load(Queue);
                const QModelIndex first = jobs.model()->index(0, 0);
                jobs.selectionModel()->setCurrentIndex(first, QItemSelectionModel::Select | QItemSelectionModel::Rows);
                return first.isValid();
            }
            const bool loaded = printers.model()->load();
            printers.setCurrentIndex(printers.model()->indexOf(Printer));
            return loaded && printers.currentIndex().isValid();
        };
        QVERIFY(show());
        const QString lpoptions = m_sandbox.home() + QStringLiteral("/.cups/lpoptions");
        const QByteArray lpoptionsBefore = contents(lpoptions);

        QVERIFY(pause());
        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
            trigger->trigger();
            QCOMPARE(answerer.unexpected(), 0);
        }
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen.first().text.startsWith(box) && seen.first().text.contains(QStringLiteral("Unable to connect to ") + m_sandbox.server()),
                 qPrintable(seen.first().text));
        QCOMPARE(contents(lpoptions), lpoptionsBefore);

        QVERIFY(m_sandbox.resume());
        m_paused = false;
        QVERIFY(show());
        ModalAnswerer none({});
        trigger->trigger();
        QCOMPARE(none.unexpected(), 0);
        QString output = JobTools::state(m_sandbox, job);
        QVERIFY(program.isEmpty() || m_sandbox.run(program, arguments, &output));
        QVERIFY2(output.contains(done), qPrintable(output));
    }

    void theOptionsDialogReportsALostServerAndUploadsNothing_data()
    {
        QTest::addColumn<int>("when"); // 0: before the load, 1: during the worker's load, 2: before saving
        QTest::addColumn<QString>("box");
        QTest::newRow("before loading") << 0 << QStringLiteral("cupsGetNamedDest failed: Unable to connect to ");
        QTest::newRow("while loading") << 1 << QStringLiteral("Unable to get printer attributes.<br>CUPS error: Unable to connect to ");
        QTest::newRow("while saving") << 2 << QStringLiteral("Unable to set printer attributes.<br>CUPS error: Unable to connect to ");
    }
    void theOptionsDialogReportsALostServerAndUploadsNothing()
    {
        QFETCH(int, when);
        QFETCH(QString, box);
        const QString serverPpd = m_sandbox.directory() + QStringLiteral("/ppd/") + Printer + QStringLiteral(".ppd");
        const QByteArray ppdBefore = contents(serverPpd);
        QVERIFY(ppdBefore.contains("*DefaultToner: False"));
        QList<SeenBox> seen;
        ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
        DestOptionsDialog dialog;
        dialog.show();
        const auto waitLoaded = [&dialog] {
            return QTest::qWaitFor(
                [&dialog] {
                    return dialog.findChildren<QThread *>().isEmpty() && !dialog.findChild<QWidget *>(QStringLiteral("loadingPage"))->isVisible();
                },
                30000);
        };
        if (when == 0) {
            QVERIFY(pause());
            QVERIFY(!dialog.load(Printer, false));
        } else if (when == 1) {
            // Holding the connection keeps the worker from the server until it is gone.
            auto io = std::make_unique<Connection::IoLocker>();
            QVERIFY(dialog.load(Printer, false));
            QVERIFY(pause());
            io.reset();
        } else {
            QVERIFY(dialog.load(Printer, false) && waitLoaded());
            auto *toner = dialog.findChild<QComboBox *>(QStringLiteral("Toner"));
            QVERIFY(toner);
            toner->setCurrentIndex(toner->findText(QStringLiteral("On")));
            QVERIFY(pause());
            QVERIFY(!dialog.save());
        }
        QVERIFY(waitLoaded());
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen.first().text.startsWith(box), qPrintable(seen.first().text));
        // A failed load says so in words and leaves nothing to save; a failed save may be tried again.
        QCOMPARE(dialog.findChild<QWidget *>(QStringLiteral("loadErrorMessage"))->isVisible(), when < 2);
        QCOMPARE(button(&dialog, QDialogButtonBox::Ok)->isEnabled(), when == 2);
        QVERIFY(dialog.isVisible());

        QVERIFY(m_sandbox.resume());
        m_paused = false;
        QCOMPARE(contents(serverPpd), ppdBefore);
        if (when < 2) {
            QVERIFY(!dialog.save());
            QVERIFY(dialog.load(Printer, false) && waitLoaded());
        }
        QVERIFY(dialog.save());
        QCOMPARE(seen.size(), 1);
        QCOMPARE(contents(serverPpd).contains("*DefaultToner: True"), when == 2);
        button(&dialog, QDialogButtonBox::Cancel)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(answerer.unexpected(), 0);
    }

    void theWizardsFinishLeavesNoHalfQueue()
    {
        const QString name = QStringLiteral("Death_New");
        QList<SeenBox> seen;
        auto answerer = std::make_unique<ModalAnswerer>(ModalAnswerer::pressing({QMessageBox::Yes}, &seen));
        PrinterWizard wizard;
        wizard.show();
        wizard.findChild<QRadioButton *>(QStringLiteral("classRadioButton"))->setChecked(true);
        wizard.next();
        auto *available = wizard.findChild<QTreeWidget *>(QStringLiteral("availableTree"));
        available->findItems(Queue, Qt::MatchExactly).value(0)->setSelected(true);
        wizard.findChild<QAbstractButton *>(QStringLiteral("addButton"))->click();
        wizard.next();
        wizard.setField(Wizard::Field::QueueName, name);
        QVERIFY(pause());
        wizard.button(QWizard::FinishButton)->click();
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen.first().text.startsWith(QLatin1String("Unable to add class.<br>CUPS error: Unable to connect to ")), qPrintable(seen.first().text));
        QVERIFY(wizard.isVisible()); // "try again"
        QVERIFY(m_sandbox.resume());
        m_paused = false;
        QVERIFY(!m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-c"), name}));
        wizard.button(QWizard::FinishButton)->click();
        QVERIFY(!wizard.isVisible());
        QVERIFY(m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-c"), name}));
        answerer.reset();

        // Rewriting a class's members: the class keeps its old ones.
        const Destination before(PrinterIppActions::instance()->destAttrs(Class, {}));
        QCOMPARE(before.memberUris().size(), 2);
        ModalAnswerer editing({[this](QWidget *dialog) {
                                   auto *members = dialog->findChild<QTreeWidget *>(QStringLiteral("membersTree"));
                                   members->findItems(Queue, Qt::MatchExactly).value(0)->setSelected(true);
                                   dialog->findChild<QAbstractButton *>(QStringLiteral("removeButton"))->click();
                                   QVERIFY(pause());
                                   clickFinish(dialog);
                               },
                               ModalAnswerer::pressing({QMessageBox::Ok}, &seen).value(0)});
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::MembersEdit, before), 0);
        QCOMPARE(seen.size(), 2);
        QVERIFY2(seen.last().text.startsWith(QLatin1String("Unable to update class.<br>CUPS error: Unable to connect to ")), qPrintable(seen.last().text));
        QVERIFY(m_sandbox.resume());
        m_paused = false;
        QCOMPARE(Destination(PrinterIppActions::instance()->destAttrs(Class, {})).memberUris(), before.memberUris());
    }

    // Last: the MAC server takes the connection away from the sandbox.
    void markingReportsADeadMacServer()
    {
        MacIppServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        server.use();
        // The password prompt holds marking half way: the server dies under it.
        QVERIFY(server.requireAuthentication(QStringLiteral("mark-job"), QStringLiteral("s3cret")));
        QStringList boxes;
        int prompts = 0;
        QTimer user;
        connect(&user, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                boxes.append(box->text());
                box->button(QMessageBox::Ok)->click();
            } else if (auto *dialog = qobject_cast<MacAttributesDialog *>(modal); dialog && dialog->isVisible()) {
                dialog->accept();
            } else if (auto *prompt = qobject_cast<KPasswordDialog *>(modal)) {
                ++prompts;
                server.stop();
                prompt->setUsername(QStringLiteral("carol"));
                prompt->setPassword(QStringLiteral("s3cret"));
                prompt->accept();
            }
        });
        user.start(10);
        MacAttributesDialog().exec(1);
        QCOMPARE(prompts, 1);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().startsWith(QLatin1String("Unable to mark job 1<br>CUPS error: ")), qPrintable(boxes.first()));
        QVERIFY(lockIsFree());

        // A new server process: marking works again without restarting anything.
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        server.use();
        boxes.clear();
        MacAttributesDialog().exec(1);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().contains(QLatin1String("Marking has been completed")), qPrintable(boxes.first()));
    }

private:
    bool pause()
    {
        m_paused = m_sandbox.pause();
        return m_paused;
    }

    CupsSandbox m_sandbox;
    QTemporaryDir m_ppds;
    bool m_paused = false;
};

QTEST_MAIN(ServerDeathTest)

#include "serverdeathtest.moc"
