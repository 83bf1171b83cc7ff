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
#include <QStandardPaths>
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
        const QString ppd = m_sandbox.directory() + QStringLiteral("/test.ppd");
        QVERIFY(TestPpd().write(ppd) && m_sandbox.addPrinter(Printer, {QStringLiteral("-P"), ppd}));
        QVERIFY(m_sandbox.addPrinter(Queue) && m_sandbox.run(QStringLiteral("cupsdisable"), {Queue}));
        for (const QString &member : {Printer, Queue}) {
            const QStringList arguments{QStringLiteral("-p"), member, QStringLiteral("-c"), Class};
            QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), arguments));
        }
    }

    void cleanup()
    {
        QVERIFY(!m_paused || resume());
    }

    // A server that restarted between two requests dropped the connection: the next request goes out again.
    void aRestartedServerIsReachedAtOnce()
    {
        PrinterListModel model;
        QVERIFY(model.load() && pause() && resume());
        QVERIFY2(model.load(), qPrintable(Connection::lastErrorString()));
    }

    void listActionsFailInWordsAndWorkOnceTheServerIsBack_data()
    {
        QTest::addColumn<int>("action"); // a printers' list action, or a jobs' list one when negative
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("lpstat"); // the server's truth once the action worked
        QTest::addColumn<QString>("done");
        QTest::newRow("pause") << int(PrintersWidget::PauseResume) << QStringLiteral("Unable to pause")
                               << QStringList{QStringLiteral("-p"), Printer} << QStringLiteral("disabled");
        const QString userDefault = QStringLiteral("destination: ") + Printer;
        QTest::newRow("user default") << int(PrintersWidget::SetUserDefault) << QStringLiteral("Unable to set")
                                      << QStringList{QStringLiteral("-d")} << userDefault;
        // Without lpstat arguments the job's state tells.
        QTest::newRow("hold job") << -1 - int(JobsWidget::HoldRelease) << QStringLiteral("Unable to hold job")
                                  << QStringList() << QStringLiteral("pending-held");
    }
    void listActionsFailInWordsAndWorkOnceTheServerIsBack()
    {
        QFETCH(int, action);
        QFETCH(QString, box);
        QFETCH(QStringList, lpstat);
        QFETCH(QString, done);
        const int job = action < 0 ? JobTools::submit(m_sandbox, Queue, QStringLiteral("pending")) : 0;
        PrintersWidget printers;
        JobsWidget jobs;
        QAction *trigger = action < 0 ? jobs.action(JobsWidget::Action(-1 - action))
                                      : printers.action(PrintersWidget::Action(action));
        const auto show = [&] {
            jobs.load(Queue);
            const QModelIndex first = jobs.model()->index(0, 0);
            const auto rows = QItemSelectionModel::Select | QItemSelectionModel::Rows;
            jobs.selectionModel()->setCurrentIndex(first, rows);
            printers.model()->load();
            printers.setCurrentIndex(printers.model()->indexOf(Printer));
            return printers.currentIndex().isValid() && (!job || first.isValid());
        };
        QVERIFY(show());
        const QString lpoptions = m_sandbox.home() + QStringLiteral("/.cups/lpoptions");
        const QByteArray lpoptionsBefore = contents(lpoptions);
        const QString text = failsWhileTheServerIsGone([&] { trigger->trigger(); });
        QVERIFY2(text.startsWith(box) && text.contains(m_unreachable), qPrintable(text));
        QCOMPARE(contents(lpoptions), lpoptionsBefore);

        QVERIFY(show());
        ModalAnswerer none({});
        trigger->trigger();
        QCOMPARE(none.unexpected(), 0);
        QString output = JobTools::state(m_sandbox, job);
        QVERIFY(lpstat.isEmpty() || m_sandbox.run(QStringLiteral("lpstat"), lpstat, &output));
        QVERIFY2(output.contains(done), qPrintable(output));
    }

    void theOptionsDialogReportsALostServerAndUploadsNothing_data()
    {
        QTest::addColumn<int>("when"); // 0: before the load, 1: during the worker's load, 2: before saving
        QTest::addColumn<QString>("box");
        QTest::newRow("before loading") << 0 << QStringLiteral("cupsGetNamedDest failed: ");
        QTest::newRow("while loading") << 1 << QStringLiteral("Unable to get printer attributes.");
        QTest::newRow("while saving") << 2 << QStringLiteral("Unable to set printer attributes.");
    }
    void theOptionsDialogReportsALostServerAndUploadsNothing()
    {
        QFETCH(int, when);
        QFETCH(QString, box);
        const QString serverPpd = QStringLiteral("%1/ppd/%2.ppd").arg(m_sandbox.directory(), Printer);
        const QByteArray ppdBefore = contents(serverPpd);
        QVERIFY(ppdBefore.contains("*DefaultToner: False"));
        DestOptionsDialog dialog;
        dialog.show();
        const auto loaded = [&dialog] {
            return QTest::qWaitFor([&dialog] {
                return dialog.findChildren<QThread *>().isEmpty()
                    && !dialog.findChild<QWidget *>(QStringLiteral("loadingPage"))->isVisible();
            }, 30000);
        };
        // Holding the connection keeps the worker from the server until it is gone.
        auto io = when == 1 ? std::make_unique<Connection::IoLocker>() : nullptr;
        QVERIFY(when == 0 || dialog.load(Printer, false));
        if (when == 2) {
            QVERIFY(loaded());
            auto *toner = dialog.findChild<QComboBox *>(QStringLiteral("Toner"));
            QVERIFY(toner);
            toner->setCurrentIndex(toner->findText(QStringLiteral("On")));
        }
        const QString text = failsWhileTheServerIsGone([&] {
            QVERIFY(when != 0 || !dialog.load(Printer, false));
            io.reset();
            QVERIFY(when != 2 || !dialog.save());
            QVERIFY(loaded());
        });
        QVERIFY2(text.startsWith(box) && text.contains(m_unreachable), qPrintable(text));
        // A failed load says so and leaves nothing to save; a failed save may be tried again.
        QCOMPARE(dialog.findChild<QWidget *>(QStringLiteral("loadErrorMessage"))->isVisible(), when < 2);
        auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QCOMPARE(buttons->button(QDialogButtonBox::Ok)->isEnabled(), when == 2);
        QCOMPARE(contents(serverPpd), ppdBefore);

        ModalAnswerer none({});
        QVERIFY(when == 2 || (!dialog.save() && dialog.load(Printer, false) && loaded()));
        QVERIFY(dialog.save());
        QCOMPARE(contents(serverPpd).contains("*DefaultToner: True"), when == 2);
        QCOMPARE(none.unexpected(), 0);
    }

    void theWizardsFinishLeavesNoHalfQueueNorHalfClass()
    {
        const QString name = QStringLiteral("Death_New");
        PrinterWizard wizard;
        wizard.show();
        wizard.findChild<QAbstractButton *>(QStringLiteral("classRadioButton"))->setChecked(true);
        wizard.next();
        select(wizard.findChild<QTreeWidget *>(QStringLiteral("availableTree")), Queue);
        wizard.findChild<QAbstractButton *>(QStringLiteral("addButton"))->click();
        wizard.next();
        wizard.setField(Wizard::Field::QueueName, name);
        // "Try again?" Yes: the wizard stays.
        const QString text = failsWhileTheServerIsGone([&] { wizard.button(QWizard::FinishButton)->click(); },
                                                        QMessageBox::Yes);
        QVERIFY2(text.startsWith(QLatin1String("Unable to add class.<br>CUPS error: ") + m_unreachable),
                 qPrintable(text));
        QVERIFY(wizard.isVisible() && !m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-c"), name}));
        wizard.button(QWizard::FinishButton)->click();
        QVERIFY(!wizard.isVisible() && m_sandbox.run(QStringLiteral("lpstat"), {QStringLiteral("-c"), name}));

        // Rewriting a class's members: the class keeps its old ones.
        const Destination before(PrinterIppActions::instance()->destAttrs(Class, {}));
        QCOMPARE(before.memberUris().size(), 2);
        QList<SeenBox> seen;
        const ModalAnswerer::Handler removeQueueThenFinish = [this](QWidget *dialog) {
            select(dialog->findChild<QTreeWidget *>(QStringLiteral("membersTree")), Queue);
            dialog->findChild<QAbstractButton *>(QStringLiteral("removeButton"))->click();
            QVERIFY(pause());
            // Later, so that the answerer can answer the box Finish opens.
            QAbstractButton *finish = static_cast<QWizard *>(dialog)->button(QWizard::FinishButton);
            QTimer::singleShot(0, finish, &QAbstractButton::click);
        };
        const ModalAnswerer::Handler pressOk = ModalAnswerer::pressing({QMessageBox::Ok}, &seen).value(0);
        ModalAnswerer editing({removeQueueThenFinish, pressOk});
        QCOMPARE(PrinterWizard().execSpecialTask(PrinterWizard::MembersEdit, before), 0);
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen.first().text.startsWith(QLatin1String("Unable to update class.<br>CUPS error: ")),
                 qPrintable(seen.first().text));
        QVERIFY(resume());
        const Destination after(PrinterIppActions::instance()->destAttrs(Class, {}));
        QCOMPARE(after.memberUris(), before.memberUris());
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
            } else if (auto *dialog = qobject_cast<MacAttributesDialog *>(modal);
                       dialog && dialog->isVisible()) {
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
        QVERIFY2(boxes.first().startsWith(QLatin1String("Unable to mark job 1<br>CUPS error: ")),
                 qPrintable(boxes.first()));
        // Nothing was left holding the connection lock.
        QVERIFY(!Connection::instance()->isLockedByCallingThread() && Connection::instance()->tryLock());
        Connection::instance()->unlock();

        // A new server process: marking works again without restarting anything.
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        server.use();
        MacAttributesDialog().exec(1);
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes.last().contains(QLatin1String("Marking has been completed")), qPrintable(boxes[1]));
    }

private:
    bool pause()
    {
        m_paused = m_sandbox.pause();
        return m_paused;
    }
    bool resume()
    {
        m_paused = !m_sandbox.resume();
        return !m_paused;
    }
    // Runs what fails without the server, answers the one message box it opens and brings the server back;
    // the box's text.
    QString failsWhileTheServerIsGone(const std::function<void()> &act,
                                      QMessageBox::StandardButton answer = QMessageBox::Ok)
    {
        QList<SeenBox> seen;
        if (pause()) {
            ModalAnswerer answerer(ModalAnswerer::pressing({answer}, &seen));
            act();
        }
        const bool back = resume();
        return back && seen.size() == 1 ? seen.first().text : QStringLiteral("%1 boxes").arg(seen.size());
    }
    static void select(QTreeWidget *tree, const QString &name)
    {
        tree->findItems(name, Qt::MatchExactly).value(0)->setSelected(true);
    }

    CupsSandbox m_sandbox;
    bool m_paused = false;
    const QString m_unreachable = QStringLiteral("Unable to connect to ");
};

QTEST_MAIN(ServerDeathTest)

#include "serverdeathtest.moc"
