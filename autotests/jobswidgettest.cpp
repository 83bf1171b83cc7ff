#include "cupssandbox.h"
#include "jobauthdialog.h"
#include "jobtools.h"
#include "modalanswerer.h"

#include <attributes.h>
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

QMenu *contextMenu(JobsWidget *widget)
{
    for (QMenu *menu : widget->findChildren<QMenu *>()) {
        if (menu->actions().contains(widget->action(JobsWidget::Cancel))) {
            return menu;
        }
    }
    return nullptr;
}

QMenu *headerMenu(JobsWidget *widget)
{
    for (QMenu *menu : widget->findChildren<QMenu *>()) {
        if (menu != contextMenu(widget)) {
            return menu;
        }
    }
    return nullptr;
}

JobListModel *modelOf(JobsWidget *widget)
{
    return static_cast<JobListModel *>(widget->model());
}

// The handlers are slots of the widget's private object, called by name as the menu would.
void invoke(JobsWidget *widget, const char *slot)
{
    for (QObject *child : widget->children()) {
        if (qstrcmp(child->metaObject()->className(), "CUPS::JobsWidgetPrivate") == 0) {
            QVERIFY(QMetaObject::invokeMethod(child, slot));
            return;
        }
    }
    QFAIL("the widget has no private object");
}

/// Answers the popup menus (choosing the entry with that text, or none) and
/// message boxes (pressing the button) that open while it lives, in order.
class MenuAnswerer : public QObject
{
public:
    explicit MenuAnswerer(QStringList steps)
        : m_steps(std::move(steps))
    {
        connect(&m_timer, &QTimer::timeout, this, &MenuAnswerer::poll);
        m_timer.start(5);
    }
    QStringList seen;
    int pending() const
    {
        return m_steps.size();
    }

private:
    void poll()
    {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            if (m_steps.isEmpty()) {
                menu->close();
                return;
            }
            const QString step = m_steps.takeFirst();
            for (QAction *action : menu->actions()) {
                if (action->text() == step && action->isEnabled()) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
            }
            seen << QStringLiteral("no entry ") + step;
            menu->close();
        } else if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            if (box == m_lastBox) {
                return;
            }
            m_lastBox = box;
            seen << box->text();
            box->button(m_steps.isEmpty() || m_steps.takeFirst() == QLatin1String("Yes") ? QMessageBox::Yes : QMessageBox::No)->click();
        }
    }

    QStringList m_steps;
    QPointer<QMessageBox> m_lastBox;
    QTimer m_timer;
};

Job syntheticJob(int id, int state, const QString &holdUntil, bool marking, const QString &printerUri)
{
    return Job({{CUPS::Attr::JobId, QVariantList{id}},
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
        QMenu *menu = contextMenu(&widget);
        QVERIFY(menu);
        QStringList shown;
        for (QAction *action : menu->actions()) {
            if (action->isVisible()) {
                shown << (action->isSeparator() ? QStringLiteral("|") : action->text());
            }
        }
        QCOMPARE(shown,
                 QStringList({QStringLiteral("Hold/release"), QStringLiteral("Cancel"), QStringLiteral("Restart"), QStringLiteral("Authenticate"),
                              QStringLiteral("Move"), QStringLiteral("|"), QStringLiteral("Purge"), QStringLiteral("|"),
                              QStringLiteral("Show completed jobs"), QStringLiteral("Show canceled jobs"), QStringLiteral("Show aborted jobs"),
                              QStringLiteral("Owned by current user"), QStringLiteral("|"), QStringLiteral("Attributes")}));
        QVERIFY(!widget.action(JobsWidget::Mark)->isVisible());
        QCOMPARE(widget.action(JobsWidget::Cancel)->shortcut(), QKeySequence(Qt::Key_Delete));
        QVERIFY(!widget.action(static_cast<Action>(12)));

        const QSet<QString> hidden = modelOf(&widget)->hiddenAttributes();
        QCOMPARE(hidden.size(), 10);
        for (const char *attribute : {"mac-job-mac-level-name", "mac-distribution", "mac-inv-num", "mac-job-originating-user-full-name"}) {
            QVERIFY2(hidden.contains(QLatin1String(attribute)), attribute);
        }
        for (QAction *entry : headerMenu(&widget)->actions()) {
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
        QVERIFY(canceled() > 0);
        QVERIFY(held() > 0);
        auto widget = widgetFor(QString());
        for (int key : checked) {
            widget->action(static_cast<Action>(key))->trigger();
        }
        static const QStringList names{QStringLiteral("pending"), QStringLiteral("pending-held"), QStringLiteral("processing"),
                                       QStringLiteral("processing-stopped"), QStringLiteral("canceled"), QStringLiteral("aborted"), QStringLiteral("completed")};
        QSet<ipp_jstate_e> expected;
        QStringList keywords;
        for (int state : states) {
            expected.insert(static_cast<ipp_jstate_e>(state));
            keywords << names.at(state - 3);
        }
        QCOMPARE(modelOf(widget.get())->stateFilter(), expected);
        // The server's word on each listed job, not the model's.
        QVERIFY(widget->model()->rowCount() > 0);
        bool sawExtra = false;
        for (int row = 0; row < widget->model()->rowCount(); ++row) {
            const QString state = JobTools::state(m_sandbox, modelOf(widget.get())->job(row).id());
            QVERIFY2(keywords.contains(state), qPrintable(state));
            sawExtra = sawExtra || state == QLatin1String("completed") || state == QLatin1String("canceled");
        }
        QCOMPARE(sawExtra, states.contains(9) || states.contains(7));
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
        modelOf(&widget)->setJobs({syntheticJob(7, state, holdUntil, marking, QStringLiteral("ipp://localhost/printers/WQ_Stopped"))});
        QCOMPARE(widget.model()->rowCount(), 1);
        const QVariant background = widget.model()->index(0, 1).data(Qt::BackgroundRole);
        QCOMPARE(background.isValid() && background.value<QColor>() == Attention, coloured);
    }

    void actionsFollowTheSelectedJobs_data()
    {
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QSet<int>>("enabled");
        const QStringList heldOne{QStringLiteral("held")};
        QTest::newRow("nothing") << QStringList() << QStringLiteral("Hold/release") << QSet<int>();
        QTest::newRow("one held") << heldOne << QStringLiteral("Release")
                                  << QSet<int>{JobsWidget::HoldRelease, JobsWidget::Cancel, JobsWidget::Purge, JobsWidget::Move, JobsWidget::ShowAttributes};
        QTest::newRow("one pending: no purge") << QStringList{QStringLiteral("pending")} << QStringLiteral("Hold")
                                               << QSet<int>{JobsWidget::HoldRelease, JobsWidget::Cancel, JobsWidget::ShowAttributes};
        QTest::newRow("one canceled") << QStringList{QStringLiteral("canceled")} << QStringLiteral("Hold/release")
                                      << QSet<int>{JobsWidget::Restart, JobsWidget::Purge, JobsWidget::ShowAttributes};
        // Several jobs: the single-job actions go, even where each job alone allows them.
        QTest::newRow("two held") << heldOne + heldOne << QStringLiteral("Release") << QSet<int>{JobsWidget::HoldRelease, JobsWidget::Cancel, JobsWidget::Purge};
        QTest::newRow("pending and held") << QStringList{QStringLiteral("held"), QStringLiteral("pending")} << QStringLiteral("Hold")
                                          << QSet<int>{JobsWidget::HoldRelease, JobsWidget::Cancel, JobsWidget::Purge};
        QTest::newRow("canceled and held") << QStringList{QStringLiteral("canceled"), QStringLiteral("held")} << QStringLiteral("Release")
                                           << QSet<int>{JobsWidget::HoldRelease, JobsWidget::Cancel, JobsWidget::Restart, JobsWidget::Purge};
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

    void cancelPurgeAndRestartAskForTheEligibleJobs()
    {
        const int pending1 = pending();
        const int pending2 = pending();
        const int canceledJob = canceled();
        const int heldJob = held();
        auto widget = widgetFor(QStringLiteral("WQ_Stopped"));
        widget->action(JobsWidget::ShowCanceled)->trigger();

        // Cancel: the canceled job is not eligible, so two jobs are asked for.
        QVERIFY(select(widget.get(), {pending1, canceledJob, pending2}));
        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
            invoke(widget.get(), "cancelJob");
            QCOMPARE(answerer.pending(), 0);
        }
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().title, QStringLiteral("Confirmation"));
        QCOMPARE(seen.first().text, QStringLiteral("Cancel 2 jobs?"));
        QCOMPARE(seen.first().buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(JobTools::state(m_sandbox, pending1), QStringLiteral("canceled"));
        QCOMPARE(JobTools::state(m_sandbox, pending2), QStringLiteral("canceled"));

        // Purge: one held job, asked for in the singular.
        QVERIFY(select(widget.get(), {heldJob}));
        seen.clear();
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
            invoke(widget.get(), "purgeJob");
        }
        QCOMPARE(seen.value(0).text, QStringLiteral("Purge 1 job?"));
        QCOMPARE(JobTools::state(m_sandbox, heldJob), QString());
        QCOMPARE(JobTools::state(m_sandbox, canceledJob), QStringLiteral("canceled"));
        QCOMPARE(rowOf(widget.get(), heldJob), -1);
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
        {
            ModalAnswerer answerer({});
            invoke(widget.get(), "purgeJob");
            QCOMPARE(answerer.unexpected(), 0);
        }
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
        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
            invoke(widget.get(), "restartJob");
        }
        QCOMPARE(seen.value(0).text, QStringLiteral("Restart 1 job?"));
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
        {
            ModalAnswerer answerer({});
            invoke(widget.get(), "holdReleaseJob");
            QCOMPARE(answerer.unexpected(), 0);
        }
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
        const int movesBefore = accessLogCount(QStringLiteral("CUPS-Move-Job"));
        QString preselected;
        QStringList offered;
        {
            ModalAnswerer answerer({[&](QWidget *modal) {
                auto *dialog = qobject_cast<QInputDialog *>(modal);
                QVERIFY(dialog);
                QCOMPARE(dialog->windowTitle(), QStringLiteral("Select printer"));
                QCOMPARE(dialog->labelText(), QStringLiteral("Move to printer:"));
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
        QCOMPARE(accessLogCount(QStringLiteral("CUPS-Move-Job")) - movesBefore, expected == QLatin1String("WQ_Stopped") ? 0 : 1);
        QCOMPARE(rowOf(widget.get(), id) >= 0, expected == QLatin1String("WQ_Stopped"));
    }

    void theAuthenticationDialogShowsTheRequiredFields_data()
    {
        QTest::addColumn<QStringList>("required");
        QTest::addColumn<QList<bool>>("visible"); // domain, user, password
        QTest::addColumn<QStringList>("sent"); // what the server receives, in its own order
        QTest::newRow("user and password") << QStringList{QStringLiteral("username"), QStringLiteral("password")} << QList<bool>{false, true, true}
                                           << QStringList{QStringLiteral("bob"), QStringLiteral("pw")};
        QTest::newRow("domain, user and password")
            << QStringList{QStringLiteral("domain"), QStringLiteral("username"), QStringLiteral("password")} << QList<bool>{true, true, true}
            << QStringList{QStringLiteral("WORK"), QStringLiteral("bob"), QStringLiteral("pw")};
        QTest::newRow("server lists the password first")
            << QStringList{QStringLiteral("password"), QStringLiteral("domain"), QStringLiteral("username")} << QList<bool>{true, true, true}
            << QStringList{QStringLiteral("pw"), QStringLiteral("WORK"), QStringLiteral("bob")};
        QTest::newRow("names are case-sensitive") << QStringList{QStringLiteral("Username"), QStringLiteral("password")} << QList<bool>{false, false, true}
                                                  << QStringList{QStringLiteral("pw")};
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
        QList<SeenBox> seen;
        {
            ModalAnswerer answerer(ModalAnswerer::pressing({QMessageBox::Ok}, &seen));
            invoke(widget.get(), "showAttributes");
        }
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen.first().text.startsWith(QStringLiteral("Unable to get job attributes.<br>CUPS error: ")), qPrintable(seen.first().text));
        QCOMPARE(rowOf(widget.get(), id), -1);
    }

    void settingsAndHeaderSurviveANewWidget()
    {
        QByteArray headerState;
        QStringList columns;
        {
            JobsWidget widget;
            widget.action(JobsWidget::ShowCompleted)->trigger();
            widget.action(JobsWidget::ShowMyJobsOnly)->trigger();
            // The header menu's entry adds the column as the user would.
            for (QAction *entry : headerMenu(&widget)->actions()) {
                if (entry->data().toString() == QLatin1String("job-priority")) {
                    entry->trigger();
                }
            }
            widget.header()->resizeSection(1, 211);
            widget.header()->moveSection(0, 2);
            headerState = widget.header()->saveState();
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
        for (QAction *entry : headerMenu(&again)->actions()) {
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
            MenuAnswerer answerer({QStringLiteral("Show canceled jobs")});
            QContextMenuEvent event(QContextMenuEvent::Mouse, empty, widget->viewport()->mapToGlobal(empty));
            QApplication::sendEvent(widget->viewport(), &event);
            QCOMPARE(answerer.pending(), 0);
        }
        QVERIFY(widget->selectedJobs().isEmpty());
        QVERIFY(!widget->action(JobsWidget::Cancel)->isEnabled());
        QVERIFY(!widget->action(JobsWidget::ShowAttributes)->isEnabled());
        // The filter entries stayed usable in that menu.
        QVERIFY(widget->action(JobsWidget::ShowCanceled)->isChecked());
    }

    void theHeaderMenuRemovesAColumnAfterAsking_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("removed");
        QTest::newRow("yes") << QStringLiteral("Yes") << true;
        QTest::newRow("no") << QStringLiteral("No") << false;
    }

    void theHeaderMenuRemovesAColumnAfterAsking()
    {
        QFETCH(QString, answer);
        QFETCH(bool, removed);
        JobsWidget widget;
        widget.resize(800, 300);
        widget.show();
        const JobListModel::Column second = modelOf(&widget)->column(1);
        const QPoint pos(widget.header()->sectionViewportPosition(1) + 5, 5);
        {
            MenuAnswerer answerer({QStringLiteral("Remove column"), answer});
            Q_EMIT widget.header()->customContextMenuRequested(pos);
            QCOMPARE(answerer.pending(), 0);
            QCOMPARE(answerer.seen, QStringList{QStringLiteral("Remove column?")});
        }
        QCOMPARE(modelOf(&widget)->columns().contains(second), !removed);
    }

};

QTEST_MAIN(JobsWidgetTest)
#include "jobswidgettest.moc"
