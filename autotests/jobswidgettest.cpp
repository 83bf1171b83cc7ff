#include "cupssandbox.h"
#include "jobauthdialog.h"
#include "jobtools.h"
#include "modalanswerer.h"

#include <attributes.h>
#include <connection.h>
#include <ipprequest.h>
#include <joblistmodel.h>
#include <jobswidget.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

using CUPS::Job;
using CUPS::JobListModel;
using CUPS::JobsWidget;
using Action = JobsWidget::Action;

namespace
{
const QColor Attention(181, 213, 242);

// The job menu holds Cancel; the header menu is the other one.
QMenu *menuOf(JobsWidget *widget, bool jobs)
{
    for (QMenu *menu : widget->findChildren<QMenu *>()) {
        if (menu->actions().contains(widget->action(JobsWidget::Cancel)) == jobs) {
            return menu;
        }
    }
    return nullptr;
}

QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

JobListModel *modelOf(JobsWidget *widget)
{
    return static_cast<JobListModel *>(widget->model());
}

// The handlers are slots of the widget's private object, called by name as the menu would.
void invoke(JobsWidget *widget, const char *slot)
{
    const auto children = widget->children();
    const auto d = std::find_if(children.cbegin(), children.cend(), [](const QObject *child) {
        return qstrcmp(child->metaObject()->className(), "CUPS::JobsWidgetPrivate") == 0;
    });
    QVERIFY2(d != children.cend(), "the widget has no private object");
    QVERIFY(QMetaObject::invokeMethod(*d, slot));
}

// Calls the handler, pressing the button on the message boxes it opens; what they showed.
QList<SeenBox> invokeAnswering(JobsWidget *widget, const char *slot, QMessageBox::StandardButton button = QMessageBox::Ok)
{
    QList<SeenBox> seen;
    ModalAnswerer answerer(ModalAnswerer::pressing({button, button}, &seen));
    invoke(widget, slot);
    return seen;
}

/// Chooses the entry with that text in the next popup menu, or closes the menu when it has no such enabled entry.
class MenuAnswerer : public QObject
{
public:
    explicit MenuAnswerer(QString entry)
        : m_entry(std::move(entry))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu || chosen) {
                return;
            }
            for (QAction *action : menu->actions()) {
                if (action->text() == m_entry && action->isEnabled()) {
                    chosen = true;
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            }
            menu->close();
        });
        m_timer.start(5);
    }
    bool chosen = false;

private:
    QString m_entry;
    QTimer m_timer;
};

Job syntheticJob(int state, const QString &holdUntil, bool marking)
{
    const QString printerUri = QStringLiteral("ipp://localhost/printers/WQ_Stopped");
    return Job({{CUPS::Attr::JobId, QVariantList{7}},
                {CUPS::Attr::JobState, QVariantList{state}},
                {CUPS::Attr::JobHoldUntil, QVariantList{holdUntil}},
                {CUPS::Attr::MacMarkingRequired, QVariantList{marking}},
                {CUPS::Attr::JobPrinterUri, QVariantList{printerUri}}});
}
} // namespace

class JobsWidgetTest : public QObject
{
    Q_OBJECT

private:
    CupsSandbox m_sandbox;

    std::unique_ptr<JobsWidget> widgetFor(const QString &printer)
    {
        auto widget = std::make_unique<JobsWidget>();
        widget->load(printer);
        return widget;
    }

    static int rowOf(JobsWidget *widget, int id)
    {
        for (int row = 0; row < widget->model()->rowCount(); ++row) {
            if (modelOf(widget)->job(row).id() == id) {
                return row;
            }
        }
        return -1;
    }

    // Selects the jobs' rows in this order; the first becomes the current row.
    static bool select(JobsWidget *widget, const QList<int> &ids)
    {
        widget->clearSelection();
        for (int id : ids) {
            const int row = rowOf(widget, id);
            if (row < 0) {
                return false;
            }
            const QModelIndex index = widget->model()->index(row, 0);
            if (id == ids.first()) {
                widget->selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            } else {
                widget->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        }
        return true;
    }

    int held(const QString &printer = QStringLiteral("WQ_Stopped"))
    {
        return JobTools::submitHeld(m_sandbox, printer);
    }
    int pending(const QString &printer = QStringLiteral("WQ_Stopped"))
    {
        return JobTools::submit(m_sandbox, printer, QStringLiteral("pending"));
    }
    int canceled()
    {
        const int id = held();
        return m_sandbox.run(QStringLiteral("cancel"), {QString::number(id)}) ? id : 0;
    }

    int accessLogCount(const QString &operation) const
    {
        QFile log(m_sandbox.directory() + QStringLiteral("/log/access_log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).count(operation) : -1;
    }
    // cupsd logs a request after answering it: once a marker request sent after
    // the others shows, everything the connection sent before it is logged too.
    int settledAccessLogCount(const QString &operation) const
    {
        const QString marker = QStringLiteral("CUPS-Get-Default");
        const int markers = accessLogCount(marker);
        CUPS::IppRequest(IPP_OP_CUPS_GET_DEFAULT).doRequest(CUPS::Connection::instance(), QStringLiteral("/"));
        return QTest::qWaitFor(
                   [&] {
                       return accessLogCount(marker) > markers;
                   },
                   5000)
            ? accessLogCount(operation)
            : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("norvik-test"));
        QCoreApplication::setApplicationName(QStringLiteral("jobswidgettest"));
        QVERIFY2(m_sandbox.start(true), qPrintable(m_sandbox.errorString()));
        for (const QString &name : {QStringLiteral("WQ_Stopped"), QStringLiteral("WQ_Other"), QStringLiteral("WQ_Restart")}) {
            QVERIFY(m_sandbox.addPrinter(name) && m_sandbox.run(QStringLiteral("cupsdisable"), {name}));
        }
    }

    void init()
    {
        QSettings().clear();
    }

    void withoutMacTheMenuHasNoMarkAndNoMacColumns()
    {
        JobsWidget widget;
        QMenu *menu = menuOf(&widget, true);
        QVERIFY(menu);
        QStringList shown;
        for (QAction *action : menu->actions()) {
            if (action->isVisible()) {
                shown << (action->isSeparator() ? QStringLiteral("|") : action->text());
            }
        }
        QCOMPARE(shown.join(QLatin1Char(',')),
                 QStringLiteral("Hold/release,Cancel,Restart,Authenticate,Move,|,Purge,|,Show completed jobs,Show canceled jobs,Show aborted jobs,"
                                "Owned by current user,|,Attributes"));
        QVERIFY(!widget.action(JobsWidget::Mark)->isVisible());
        QCOMPARE(widget.action(JobsWidget::Cancel)->shortcut(), QKeySequence(Qt::Key_Delete));
        QVERIFY(!widget.action(static_cast<Action>(12)));

        const QSet<QString> hidden = modelOf(&widget)->hiddenAttributes();
        QCOMPARE(hidden.size(), 10);
        QVERIFY(hidden.contains(QStringLiteral("mac-inv-num")));
        for (QAction *entry : menuOf(&widget, false)->actions()) {
            QVERIFY2(!entry->isVisible() || !hidden.contains(entry->data().toString()), qPrintable(entry->data().toString()));
        }
    }

    void filtersChooseTheListedStates_data()
    {
        QTest::addColumn<QList<int>>("checked");
        QTest::addColumn<QList<int>>("states");
        QTest::newRow("none") << QList<int>{} << QList<int>{3, 4, 5};
        QTest::newRow("completed") << QList<int>{JobsWidget::ShowCompleted} << QList<int>{3, 4, 5, 9};
        QTest::newRow("canceled") << QList<int>{JobsWidget::ShowCanceled} << QList<int>{3, 4, 5, 7};
        QTest::newRow("aborted brings stopped") << QList<int>{JobsWidget::ShowAborted} << QList<int>{3, 4, 5, 6, 8};
    }

    void filtersChooseTheListedStates()
    {
        QFETCH(QList<int>, checked);
        QFETCH(QList<int>, states);
        const int canceledJob = canceled();
        QVERIFY(canceledJob > 0 && held() > 0);
        auto widget = widgetFor(QString());
        for (int key : checked) {
            widget->action(static_cast<Action>(key))->trigger();
        }
        QSet<ipp_jstate_e> expected;
        for (int state : states) {
            expected.insert(static_cast<ipp_jstate_e>(state));
        }
        QCOMPARE(modelOf(widget.get())->stateFilter(), expected);
        // The list was reloaded with the filter (the model's own filtering is tested against the server elsewhere).
        QVERIFY(widget->model()->rowCount() > 0);
        QCOMPARE(rowOf(widget.get(), canceledJob) >= 0, states.contains(IPP_JSTATE_CANCELED));
    }

    void rowsNeedingAttentionAreLightBlue_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("holdUntil");
        QTest::addColumn<bool>("marking");
        QTest::addColumn<bool>("coloured");
        QTest::newRow("held for authentication") << 4 << QStringLiteral("auth-info-required") << false << true;
        QTest::newRow("held indefinitely") << 4 << QStringLiteral("indefinite") << false << false;
        QTest::newRow("pending with auth hold text") << 3 << QStringLiteral("auth-info-required") << false << false;
        QTest::newRow("marking, pending") << 3 << QStringLiteral("no-hold") << true << true;
        QTest::newRow("marking, completed") << 9 << QStringLiteral("no-hold") << true << true;
        QTest::newRow("plain pending") << 3 << QStringLiteral("no-hold") << false << false;
    }

    void rowsNeedingAttentionAreLightBlue()
    {
        QFETCH(int, state);
        QFETCH(QString, holdUntil);
        QFETCH(bool, marking);
        QFETCH(bool, coloured);
        JobsWidget widget;
        modelOf(&widget)->setStateFilter({IPP_JSTATE_PENDING, IPP_JSTATE_HELD, IPP_JSTATE_COMPLETED}, false);
        modelOf(&widget)->setJobs({syntheticJob(state, holdUntil, marking)});
        QCOMPARE(widget.model()->rowCount(), 1);
        const QVariant background = widget.model()->index(0, 1).data(Qt::BackgroundRole);
        QCOMPARE(background.isValid() && background.value<QColor>() == Attention, coloured);
    }

    void actionsFollowTheSelectedJobs_data()
    {
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QSet<int>>("enabled");
        using W = JobsWidget;
        QTest::newRow("nothing") << QStringList() << QStringLiteral("Hold/release") << QSet<int>();
        QTest::newRow("one held") << words("held") << QStringLiteral("Release") << QSet<int>{W::HoldRelease, W::Cancel, W::Purge, W::Move, W::ShowAttributes};
        QTest::newRow("one pending: no purge") << words("pending") << QStringLiteral("Hold") << QSet<int>{W::HoldRelease, W::Cancel, W::ShowAttributes};
        QTest::newRow("one canceled") << words("canceled") << QStringLiteral("Hold/release") << QSet<int>{W::Restart, W::Purge, W::ShowAttributes};
        // Several jobs: the single-job actions go, even where each job alone allows them.
        QTest::newRow("two held") << words("held held") << QStringLiteral("Release") << QSet<int>{W::HoldRelease, W::Cancel, W::Purge};
        QTest::newRow("pending and held") << words("held pending") << QStringLiteral("Hold") << QSet<int>{W::HoldRelease, W::Cancel, W::Purge};
        QTest::newRow("canceled and held") << words("canceled held") << QStringLiteral("Release") << QSet<int>{W::HoldRelease, W::Cancel, W::Restart, W::Purge};
    }

    void actionsFollowTheSelectedJobs()
    {
        QFETCH(QStringList, kinds);
        QFETCH(QString, text);
        QFETCH(QSet<int>, enabled);
        QList<int> ids;
        for (const QString &kind : kinds) {
            ids << (kind == QLatin1String("held") ? held() : kind == QLatin1String("pending") ? pending() : canceled());
            QVERIFY(ids.last() > 0);
        }
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        widget->action(JobsWidget::ShowCanceled)->trigger();
        QVERIFY(select(widget.get(), ids));
        QCOMPARE(widget->selectedJobs().size(), ids.size());
        QCOMPARE(widget->action(JobsWidget::HoldRelease)->text(), text);
        QSet<int> shown;
        for (Action key : {JobsWidget::HoldRelease, JobsWidget::Cancel, JobsWidget::Restart, JobsWidget::Authenticate, JobsWidget::Move, JobsWidget::Purge,
                           JobsWidget::Mark, JobsWidget::ShowAttributes}) {
            if (widget->action(key)->isEnabled()) {
                shown.insert(key);
            }
        }
        QCOMPARE(shown, enabled);
        // Filters stay usable whatever is selected.
        for (Action key : {JobsWidget::ShowCompleted, JobsWidget::ShowCanceled, JobsWidget::ShowAborted, JobsWidget::ShowMyJobsOnly}) {
            QVERIFY(widget->action(key)->isEnabled());
        }
    }

    void switchingToADestinationWithoutJobsDropsTheActionsAndTellsTheHost()
    {
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("WQ_Empty")));
        const int id = held();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        QVERIFY(select(widget.get(), {id}) && widget->action(JobsWidget::Cancel)->isEnabled());
        QSignalSpy changed(widget.get(), &JobsWidget::jobsStateChanged);
        widget->load(QStringLiteral("WQ_Empty"));
        QCOMPARE(changed.size(), 1);
        QVERIFY(!widget->action(JobsWidget::HoldRelease)->isEnabled() && !widget->action(JobsWidget::Cancel)->isEnabled());
    }

    void eachDestinationIsAskedOncePerUpdate()
    {
        const QList<int> ids{held(), pending(), held(), pending(QStringLiteral("WQ_Other"))};
        QVERIFY(!ids.contains(0));
        auto widget = widgetFor(QString());
        QVERIFY(select(widget.get(), ids));
        const int before = settledAccessLogCount(QStringLiteral("Get-Printer-Attributes"));
        QVERIFY(before >= 0);
        invoke(widget.get(), "updateActions");
        // Four jobs on two printers: one question for each printer, none for the other jobs.
        QCOMPARE(settledAccessLogCount(QStringLiteral("Get-Printer-Attributes")) - before, 2);
        QVERIFY(widget->action(JobsWidget::Cancel)->isEnabled());
    }

    void cancelPurgeAndRestartAskForTheEligibleJobs()
    {
        const int pending1 = pending();
        const int pending2 = pending();
        const int canceledJob = canceled();
        const int heldJob = held();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        widget->action(JobsWidget::ShowCanceled)->trigger();

        // Cancel: the canceled job is not eligible, so two jobs are asked for.
        QSignalSpy messages(widget.get(), &JobsWidget::statusMessage);
        QVERIFY(select(widget.get(), {pending1, canceledJob, pending2}));
        QList<SeenBox> seen = invokeAnswering(widget.get(), "cancelJob");
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().title + QLatin1Char('|') + seen.first().text, QStringLiteral("Confirmation|Cancel 2 jobs?"));
        QCOMPARE(seen.first().buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(JobTools::state(m_sandbox, pending1), QStringLiteral("canceled"));
        QCOMPARE(JobTools::state(m_sandbox, pending2), QStringLiteral("canceled"));

        // Purge: one held job, asked for in the singular.
        QVERIFY(select(widget.get(), {heldJob}));
        seen = invokeAnswering(widget.get(), "purgeJob");
        QCOMPARE(seen.value(0).text, QStringLiteral("Purge 1 job?"));
        QCOMPARE(JobTools::state(m_sandbox, heldJob), QString());
        QCOMPARE(JobTools::state(m_sandbox, canceledJob), QStringLiteral("canceled"));
        QCOMPARE(rowOf(widget.get(), heldJob), -1);
        QCOMPARE(messages.value(0).value(0).toString() + QLatin1Char('|') + messages.value(1).value(0).toString(),
                 QStringLiteral("2 jobs cancelled|1 job purged"));
    }

    void keysReloadAndDecliningStillReloadsWhileNoEligibleJobShowsNothing()
    {
        const int pendingJob = pending();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        QSignalSpy loaded(modelOf(widget.get()), &JobListModel::loaded);
        QAction *f5 = nullptr;
        for (QAction *action : widget->actions()) {
            f5 = action->shortcut() == QKeySequence(Qt::Key_F5) ? action : f5;
        }
        QVERIFY(f5);
        f5->trigger();
        QCOMPARE(loaded.count(), 1);

        // Delete is the widget's own shortcut for Cancel.
        QVERIFY(widget->actions().contains(widget->action(JobsWidget::Cancel)));
        QVERIFY(select(widget.get(), {pendingJob}));
        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Cancel}, &seen));
            widget->action(JobsWidget::Cancel)->trigger();
        }
        QCOMPARE(seen.value(0).text, QStringLiteral("Cancel 1 job?"));
        QCOMPARE(JobTools::state(m_sandbox, pendingJob), QStringLiteral("pending"));
        QCOMPARE(loaded.count(), 2);

        // Nothing to purge among pending jobs: no question, no reload.
        QVERIFY(invokeAnswering(widget.get(), "purgeJob").isEmpty());
        QCOMPARE(loaded.count(), 2);
    }

    void restartingAFinishedJobQueuesItAgain()
    {
        QVERIFY(m_sandbox.run(QStringLiteral("cupsenable"), {QStringLiteral("WQ_Restart")}));
        const int id = JobTools::submit(m_sandbox, QStringLiteral("WQ_Restart"), QStringLiteral("again"));
        QVERIFY(JobTools::waitForState(m_sandbox, id, QStringLiteral("completed")));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {QStringLiteral("WQ_Restart")}));
        auto widget = widgetFor(QStringLiteral("WQ_Restart"));
        widget->action(JobsWidget::ShowCompleted)->trigger();
        QVERIFY(select(widget.get(), {id}));
        QCOMPARE(invokeAnswering(widget.get(), "restartJob").value(0).text, QStringLiteral("Restart 1 job?"));
        QCOMPARE(JobTools::state(m_sandbox, id), QStringLiteral("pending"));
    }

    void theFirstFailureStopsTheRestAndShowsTheServersError()
    {
        const int first = pending();
        const int vanishing = pending();
        const int last = pending();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        QVERIFY(select(widget.get(), {first, vanishing, last}));
        QList<SeenBox> seen;
        QList<ModalAnswerer::Handler> handlers = ModalAnswerer::pressing({QMessageBox::Ok, QMessageBox::Ok}, &seen);
        // Another client cancels the second job while the question is open.
        const ModalAnswerer::Handler confirm = handlers.takeFirst();
        handlers.prepend([this, vanishing, confirm](QWidget *box) {
            m_sandbox.run(QStringLiteral("cancel"), {QString::number(vanishing)});
            confirm(box);
        });
        {
            ModalAnswerer answerer(handlers);
            invoke(widget.get(), "cancelJob");
            QCOMPARE(answerer.pending(), 0);
        }
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.at(1).title, QStringLiteral("Error"));
        QCOMPARE(seen.at(1).icon, QMessageBox::Warning);
        const QString error = QStringLiteral("Unable to cancel job %1.<br>CUPS error: ").arg(vanishing);
        QVERIFY2(seen.at(1).text.startsWith(error) && seen.at(1).text.size() > error.size(), qPrintable(seen.at(1).text));
        QCOMPARE(JobTools::state(m_sandbox, first), QStringLiteral("canceled"));
        QCOMPARE(JobTools::state(m_sandbox, last), QStringLiteral("pending"));
        // The list was reloaded: the vanished job is gone from it.
        QCOMPARE(rowOf(widget.get(), vanishing), -1);
    }

    void holdTakesPrecedenceOverRelease()
    {
        const int heldJob = held();
        const int pendingJob = pending();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        QVERIFY(select(widget.get(), {heldJob, pendingJob}));
        QVERIFY(invokeAnswering(widget.get(), "holdReleaseJob").isEmpty()); // no question
        QCOMPARE(JobTools::state(m_sandbox, pendingJob), QStringLiteral("pending-held"));
        QCOMPARE(JobTools::state(m_sandbox, heldJob), QStringLiteral("pending-held"));

        QVERIFY(select(widget.get(), {heldJob}));
        QCOMPARE(widget->action(JobsWidget::HoldRelease)->text(), QStringLiteral("Release"));
        invoke(widget.get(), "holdReleaseJob");
        QCOMPARE(JobTools::state(m_sandbox, heldJob), QStringLiteral("pending"));
        QCOMPARE(modelOf(widget.get())->job(rowOf(widget.get(), heldJob)).state(), int(IPP_JSTATE_PENDING));
    }

    void movingAHeldJob_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("expected");
        QTest::newRow("another printer") << QStringLiteral("WQ_Other") << QStringLiteral("WQ_Other");
        QTest::newRow("its own printer") << QStringLiteral("WQ_Stopped") << QStringLiteral("WQ_Stopped");
        QTest::newRow("cancelled") << QString() << QStringLiteral("WQ_Stopped");
    }

    void movingAHeldJob()
    {
        QFETCH(QString, target);
        QFETCH(QString, expected);
        const int id = held();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        QVERIFY(select(widget.get(), {id}));
        const int movesBefore = settledAccessLogCount(QStringLiteral("CUPS-Move-Job"));
        QString preselected;
        QStringList offered;
        {
            ModalAnswerer answerer({[&](QWidget *modal) {
                auto *dialog = qobject_cast<QInputDialog *>(modal);
                QVERIFY(dialog);
                QCOMPARE(dialog->windowTitle() + QLatin1Char('|') + dialog->labelText(), QStringLiteral("Select printer|Move to printer:"));
                offered = dialog->comboBoxItems();
                preselected = dialog->textValue();
                if (target.isEmpty()) {
                    dialog->reject();
                    return;
                }
                dialog->setTextValue(target);
                dialog->accept();
            }});
            invoke(widget.get(), "moveJob");
            QCOMPARE(answerer.pending(), 0);
        }
        QCOMPARE(preselected, QStringLiteral("WQ_Stopped"));
        QVERIFY(offered.contains(QStringLiteral("Office_Class")));
        const QString printer = JobTools::attribute(m_sandbox, id, QStringLiteral("job-printer-uri"));
        QVERIFY2(printer.endsWith(QLatin1Char('/') + expected), qPrintable(printer));
        QCOMPARE(settledAccessLogCount(QStringLiteral("CUPS-Move-Job")) - movesBefore, expected == QLatin1String("WQ_Stopped") ? 0 : 1);
        QCOMPARE(rowOf(widget.get(), id) >= 0, expected == QLatin1String("WQ_Stopped"));
    }

    void theAuthenticationDialogShowsTheRequiredFields_data()
    {
        QTest::addColumn<QStringList>("required");
        QTest::addColumn<QList<bool>>("visible"); // domain, user, password
        QTest::addColumn<QStringList>("sent"); // what the server receives, in its own order
        QTest::newRow("user and password") << words("username password") << QList<bool>{false, true, true} << words("bob pw");
        QTest::newRow("domain, user and password") << words("domain username password") << QList<bool>{true, true, true} << words("WORK bob pw");
        QTest::newRow("server lists the password first") << words("password domain username") << QList<bool>{true, true, true} << words("pw WORK bob");
        QTest::newRow("names are case-sensitive") << words("Username password") << QList<bool>{false, false, true} << words("pw");
    }

    void theAuthenticationDialogShowsTheRequiredFields()
    {
        QFETCH(QStringList, required);
        QFETCH(QList<bool>, visible);
        QFETCH(QStringList, sent);
        CUPS::JobAuthDialog dialog(required, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Job Authentication"));
        const QStringList fields{QStringLiteral("domain"), QStringLiteral("user"), QStringLiteral("password")};
        const QStringList texts{QStringLiteral("WORK"), QStringLiteral("bob"), QStringLiteral("pw")};
        QStringList dialogOrder; // the dialog answers domain, user, password
        for (int i = 0; i < 3; ++i) {
            auto *edit = dialog.findChild<QLineEdit *>(fields.at(i) + QStringLiteral("LineEdit"));
            QVERIFY(edit);
            QCOMPARE(edit->isVisibleTo(&dialog), visible.at(i));
            QCOMPARE(dialog.findChild<QLabel *>(fields.at(i) + QStringLiteral("Label"))->isVisibleTo(&dialog), visible.at(i));
            edit->setText(texts.at(i));
            if (visible.at(i)) {
                dialogOrder << texts.at(i);
            }
        }
        QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("passwordLineEdit"))->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.authInfo(), dialogOrder);
        QCOMPARE(CUPS::authInfoInServerOrder(required, dialog.authInfo()), sent);
    }

    void authenticationAsksWhatThePrinterRequires_data()
    {
        QTest::addColumn<QString>("authInfoRequired");
        QTest::addColumn<bool>("domainShown");
        QTest::newRow("negotiate") << QStringLiteral("negotiate") << false;
        // cupsd reports no "auth-info-required" for "none": the fallback asks for user and password.
        QTest::newRow("none") << QStringLiteral("none") << false;
        QTest::newRow("domain") << QStringLiteral("domain,username,password") << true;
    }

    void authenticationAsksWhatThePrinterRequires()
    {
        QFETCH(QString, authInfoRequired);
        QFETCH(bool, domainShown);
        const QString printer = QStringLiteral("WQ_Auth_") + QString::fromLatin1(QTest::currentDataTag());
        QVERIFY(m_sandbox.addPrinter(printer));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {printer}));
        // Submitted first: a "negotiate" queue takes jobs only with Kerberos.
        const int id = held(printer);
        QVERIFY(id > 0);
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), printer, QStringLiteral("-o"), QStringLiteral("auth-info-required=") + authInfoRequired}));
        auto widget = widgetFor(printer);
        QVERIFY(select(widget.get(), {id}));
        int dialogs = 0;
        bool domain = false;
        bool user = false;
        {
            ModalAnswerer answerer({[&](QWidget *modal) {
                ++dialogs;
                domain = modal->findChild<QLineEdit *>(QStringLiteral("domainLineEdit"))->isVisibleTo(modal);
                user = modal->findChild<QLineEdit *>(QStringLiteral("userLineEdit"))->isVisibleTo(modal);
                qobject_cast<QDialog *>(modal)->reject();
            }});
            invoke(widget.get(), "authenticateJob");
        }
        QCOMPARE(dialogs, 1);
        QCOMPARE(domain, domainShown);
        QVERIFY(user);
        QCOMPARE(JobTools::state(m_sandbox, id), QStringLiteral("pending-held"));
    }

    void aJobHeldForAuthenticationIsLightBlueAndTakesTheCredentials()
    {
        const int id = JobTools::submit(m_sandbox, QStringLiteral("AuthPrinter"), QStringLiteral("needs a password"));
        QVERIFY2(QTest::qWaitFor([&] { return JobTools::attribute(m_sandbox, id, QStringLiteral("job-hold-until")) == QLatin1String("auth-info-required"); }, 20000),
                 "the job was never held for authentication");
        auto widget = widgetFor(QStringLiteral("AuthPrinter"));
        QVERIFY(select(widget.get(), {id}));
        QCOMPARE(modelOf(widget.get())->job(rowOf(widget.get(), id)).holdUntil(), QStringLiteral("auth-info-required"));
        QCOMPARE(widget->model()->index(rowOf(widget.get(), id), 0).data(Qt::BackgroundRole).value<QColor>(), Attention);
        QVERIFY(widget->action(JobsWidget::Authenticate)->isEnabled());
        {
            ModalAnswerer answerer({[](QWidget *modal) {
                modal->findChild<QLineEdit *>(QStringLiteral("userLineEdit"))->setText(QStringLiteral("alice"));
                modal->findChild<QLineEdit *>(QStringLiteral("passwordLineEdit"))->setText(QStringLiteral("secret"));
                qobject_cast<QDialog *>(modal)->accept();
            }});
            invoke(widget.get(), "authenticateJob");
            QCOMPARE(answerer.pending(), 0);
        }
        QVERIFY(JobTools::waitForState(m_sandbox, id, QStringLiteral("completed")));
    }

    void attributesAreShownAndChangesSent()
    {
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("WQ_Gone")));
        QVERIFY(m_sandbox.run(QStringLiteral("cupsdisable"), {QStringLiteral("WQ_Gone")}));
        const int id = held(QStringLiteral("WQ_Gone"));
        auto widget = widgetFor(QStringLiteral("WQ_Gone"));
        QVERIFY(select(widget.get(), {id}));
        QString title;
        {
            ModalAnswerer answerer({[&title](QWidget *modal) {
                title = modal->windowTitle();
                auto *tree = modal->findChild<QTreeWidget *>(QStringLiteral("treeWidget"));
                const QList<QTreeWidgetItem *> items = tree->findItems(QStringLiteral("job-priority"), Qt::MatchExactly, 0);
                QCOMPARE(items.size(), 1);
                items.first()->setText(1, QStringLiteral("12"));
                qobject_cast<QDialog *>(modal)->accept();
            }});
            invoke(widget.get(), "showAttributes");
            QCOMPARE(answerer.pending(), 0);
        }
        QCOMPARE(title, QStringLiteral("Job Attributes"));
        QCOMPARE(JobTools::attribute(m_sandbox, id, QStringLiteral("job-priority")), QStringLiteral("12"));

        // Another client deleted the printer with its jobs meanwhile: the server's error, then the list without it.
        QVERIFY(m_sandbox.run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("WQ_Gone")}));
        QCOMPARE(JobTools::state(m_sandbox, id), QString());
        const QList<SeenBox> seen = invokeAnswering(widget.get(), "showAttributes");
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen.first().text.startsWith(QStringLiteral("Unable to get job attributes.<br>CUPS error: ")), qPrintable(seen.first().text));
        QCOMPARE(rowOf(widget.get(), id), -1);
    }

    void settingsAndHeaderSurviveANewWidget()
    {
        QStringList columns;
        {
            JobsWidget widget;
            widget.action(JobsWidget::ShowCompleted)->trigger();
            widget.action(JobsWidget::ShowMyJobsOnly)->trigger();
            // The header menu's entry adds the column as the user would.
            for (QAction *entry : menuOf(&widget, false)->actions()) {
                if (entry->data().toString() == QLatin1String("job-priority")) {
                    entry->trigger();
                }
            }
            widget.header()->resizeSection(1, 211);
            widget.header()->moveSection(0, 2);
            columns = modelOf(&widget)->saveColumns();
            QVERIFY(columns.contains(QStringLiteral("job-priority")));
        }
        QSettings settings;
        QCOMPARE(settings.value(QStringLiteral("Jobs/ShowCompleted")).toBool(), true);
        QCOMPARE(settings.value(QStringLiteral("Jobs/ShowCanceled")).toBool(), false);
        QCOMPARE(settings.value(QStringLiteral("Jobs/ShowMyJobsOnly")).toBool(), true);
        QCOMPARE(settings.value(QStringLiteral("Jobs/Columns")).toStringList(), columns);

        JobsWidget again;
        QVERIFY(again.action(JobsWidget::ShowCompleted)->isChecked());
        QVERIFY(!again.action(JobsWidget::ShowAborted)->isChecked());
        QVERIFY(modelOf(&again)->ownJobsOnly());
        QCOMPARE(modelOf(&again)->saveColumns(), columns);
        QCOMPARE(again.header()->sectionSize(1), 211);
        QCOMPARE(again.header()->visualIndex(0), 2);
        for (QAction *entry : menuOf(&again, false)->actions()) {
            if (entry->data().toString() == QLatin1String("job-priority")) {
                QVERIFY(entry->isChecked());
                entry->trigger();
            }
        }
        QVERIFY(!modelOf(&again)->selectedAttributes().contains(QStringLiteral("job-priority")));
    }

    void aRightClickOnEmptySpaceDisablesTheJobActions()
    {
        // A queue of its own, so one row leaves space below it.
        QVERIFY(m_sandbox.addPrinter(QStringLiteral("WQ_Click")));
        const int id = held(QStringLiteral("WQ_Click"));
        auto widget = widgetFor(QStringLiteral("WQ_Click"));
        widget->resize(600, 400);
        widget->show();
        QVERIFY(select(widget.get(), {id}));
        QVERIFY(widget->action(JobsWidget::Cancel)->isEnabled());
        const QPoint empty(10, widget->viewport()->height() - 5);
        QVERIFY(!widget->indexAt(empty).isValid());
        {
            MenuAnswerer answerer(QStringLiteral("Show canceled jobs"));
            QContextMenuEvent event(QContextMenuEvent::Mouse, empty, widget->viewport()->mapToGlobal(empty));
            QApplication::sendEvent(widget->viewport(), &event);
            QVERIFY(answerer.chosen);
        }
        QVERIFY(widget->selectedJobs().isEmpty());
        QVERIFY(!widget->action(JobsWidget::Cancel)->isEnabled());
        QVERIFY(!widget->action(JobsWidget::ShowAttributes)->isEnabled());
        // The filter entries stayed usable in that menu.
        QVERIFY(widget->action(JobsWidget::ShowCanceled)->isChecked());
    }

    void theHeaderMenuRemovesAColumnAfterAsking_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << int(QMessageBox::Yes);
        QTest::newRow("no") << int(QMessageBox::No);
    }

    void theHeaderMenuRemovesAColumnAfterAsking()
    {
        QFETCH(int, answer);
        JobsWidget widget;
        widget.resize(800, 300);
        widget.show();
        const JobListModel::Column second = modelOf(&widget)->column(1);
        const QPoint pos(widget.header()->sectionViewportPosition(1) + 5, 5);
        QList<SeenBox> seen;
        {
            MenuAnswerer menu(QStringLiteral("Remove column"));
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::StandardButton(answer)}, &seen));
            Q_EMIT widget.header()->customContextMenuRequested(pos);
            QVERIFY(menu.chosen);
        }
        QCOMPARE(seen.value(0).text, QStringLiteral("Remove column?"));
        QCOMPARE(modelOf(&widget)->columns().contains(second), answer == QMessageBox::No);
    }
};

QTEST_MAIN(JobsWidgetTest)
#include "jobswidgettest.moc"
