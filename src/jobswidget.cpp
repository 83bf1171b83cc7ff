#include "jobswidget.h"

#include "attributeviewer.h"
#include "columneditor.h"
#include "jobauthdialog.h"
#include "jobswidget_p.h"
#include "macattributesdialog.h"
#include "messagebox.h"
#include "widgetslogging.h"

#include <attributes.h>
#include <connection.h>
#include <printerippactions.h>
#include <telmarmac.h>
#include <translation.h>
#include <utils.h>

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QInputDialog>
#include <QMap>
#include <QMenu>
#include <QSettings>

namespace CUPS
{
namespace
{
const QColor AttentionColor(181, 213, 242);
const QString HeldForAuthentication = QStringLiteral("auth-info-required");

// The operation codes "operations-supported" lists for the enabling rules.
constexpr int CancelJobOperation = IPP_OP_CANCEL_JOB;
constexpr int RestartJobOperation = IPP_OP_RESTART_JOB;
constexpr int PurgeJobsOperation = IPP_OP_PURGE_JOBS;

const QList<JobsWidget::Action> JobActions = {JobsWidget::HoldRelease,
                                              JobsWidget::Cancel,
                                              JobsWidget::Restart,
                                              JobsWidget::Authenticate,
                                              JobsWidget::Move,
                                              JobsWidget::Purge,
                                              JobsWidget::Mark,
                                              JobsWidget::ShowAttributes};

const QList<JobsWidget::Action> FilterActions = {JobsWidget::ShowCompleted, JobsWidget::ShowCanceled, JobsWidget::ShowAborted, JobsWidget::ShowMyJobsOnly};

const QStringList MacAttributes = {Attr::MacJobMacLevelName,
                                   Attr::MacJobMacIlevelName,
                                   Attr::MacJobMacCategoryName,
                                   Attr::MacDistribution,
                                   Attr::MacInvNum,
                                   Attr::MacOwnerPhone,
                                   Attr::MacWorkplaceId,
                                   Attr::MacJobMacLevelReason,
                                   Attr::MacJobUserFullName,
                                   Attr::MacJobOriginatingUserFullName};

// Settings: read by their short names inside the group, written by their full names.
const QString SettingsGroup = QStringLiteral("Jobs");
const QString ShowCompletedKey = QStringLiteral("ShowCompleted");
const QString ShowCanceledKey = QStringLiteral("ShowCanceled");
const QString ShowAbortedKey = QStringLiteral("ShowAborted");
const QString ShowMyJobsOnlyKey = QStringLiteral("ShowMyJobsOnly");
const QString ColumnsKey = QStringLiteral("Columns");
const QString HeaderStateKey = QStringLiteral("HeaderState");

QString fullKey(const QString &key)
{
    return SettingsGroup + QLatin1Char('/') + key;
}

const QList<QPair<JobsWidget::Action, QString>> &filterKeys()
{
    static const QList<QPair<JobsWidget::Action, QString>> keys = {{JobsWidget::ShowCompleted, ShowCompletedKey},
                                                                   {JobsWidget::ShowCanceled, ShowCanceledKey},
                                                                   {JobsWidget::ShowAborted, ShowAbortedKey},
                                                                   {JobsWidget::ShowMyJobsOnly, ShowMyJobsOnlyKey}};
    return keys;
}

QIcon themeIcon(const char *name)
{
    return QIcon::fromTheme(QString::fromLatin1(name));
}

QList<int> supportedOperations(const Job &job)
{
    const QHash<QString, QVariant> attributes = PrinterIppActions::instance()->destAttrs(job.destinationUri(), {Attr::OperationsSupported});
    QList<int> operations;
    for (const QVariant &value : attributes.value(Attr::OperationsSupported).toList()) {
        operations.append(value.toInt());
    }
    return operations;
}

bool isHeldForAuthentication(const Job &job)
{
    return job.holdUntil() == HeldForAuthentication;
}
} // namespace

QVariant JobListModelWithColors::data(const QModelIndex &index, int role) const
{
    if (role == Qt::BackgroundRole) {
        const Job row = job(index);
        if (row.markingRequired() || (row.state() == IPP_JSTATE_HELD && isHeldForAuthentication(row))) {
            return AttentionColor;
        }
    }
    return JobListModel::data(index, role);
}

QList<int> SupportedOperations::of(const Job &job)
{
    auto it = m_byDestination.find(job.destinationUri());
    if (it == m_byDestination.end()) {
        it = m_byDestination.insert(job.destinationUri(), supportedOperations(job));
    }
    return it.value();
}

QSet<JobsWidget::Action> allowedActions(const Job &job, bool single, SupportedOperations *lookup)
{
    const QList<int> operations = lookup ? lookup->of(job) : supportedOperations(job);
    const int state = job.state();
    const bool markingRequired = job.markingRequired();

    QSet<JobsWidget::Action> allowed;
    if (!markingRequired && state < IPP_JSTATE_CANCELED) {
        allowed.insert(JobsWidget::HoldRelease);
    }
    if (operations.contains(CancelJobOperation) && state <= IPP_JSTATE_PROCESSING) {
        allowed.insert(JobsWidget::Cancel);
    }
    if (operations.contains(RestartJobOperation) && state > IPP_JSTATE_PROCESSING) {
        allowed.insert(JobsWidget::Restart);
    }
    if (operations.contains(PurgeJobsOperation) && state != IPP_JSTATE_PENDING && state != IPP_JSTATE_PROCESSING) {
        allowed.insert(JobsWidget::Purge);
    }
    if (single) {
        if (markingRequired) {
            allowed.insert(JobsWidget::Mark);
        }
        if (isHeldForAuthentication(job)) {
            allowed.insert(JobsWidget::Authenticate);
        }
        if (state == IPP_JSTATE_HELD) {
            allowed.insert(JobsWidget::Move);
        }
        allowed.insert(JobsWidget::ShowAttributes);
    }
    return allowed;
}

JobsWidgetPrivate::JobsWidgetPrivate(JobsWidget *q)
    : QObject(q)
    , q(q)
{
}

JobsWidgetPrivate::~JobsWidgetPrivate()
{
    QSettings settings;
    for (const auto &entry : filterKeys()) {
        settings.setValue(fullKey(entry.second), actions.value(entry.first)->isChecked());
    }
    settings.setValue(fullKey(HeaderStateKey), q->header()->saveState());
    settings.setValue(fullKey(ColumnsKey), model->saveColumns());
}

void JobsWidgetPrivate::createActions()
{
    using W = JobsWidget;
    using P = JobsWidgetPrivate;
    struct Entry {
        W::Action key;
        QString text;
        const char *icon;
        void (P::*slot)();
    };
    const Entry entries[] = {
        {W::HoldRelease, translated("Hold/Release"), "media-playback-pause", &P::holdReleaseJob},
        {W::Cancel, translated("Cancel"), "dialog-cancel", &P::cancelJob},
        {W::Restart, translated("Restart"), "view-refresh", &P::restartJob},
        {W::Authenticate, translated("Authenticate"), "preferences-system-login", &P::authenticateJob},
        {W::Move, translated("Move"), "go-next", &P::moveJob},
        {W::Purge, translated("Purge"), "edit-trash", &P::purgeJob},
        {W::Mark, translated("&Mark"), "dialog-ok-apply", &P::markJob},
        {W::ShowCompleted, translated("Show completed jobs"), "task-complete", &P::applyFilters},
        {W::ShowCanceled, translated("Show canceled jobs"), "task-reject", &P::applyFilters},
        {W::ShowAborted, translated("Show aborted jobs"), "dialog-error", &P::applyFilters},
        {W::ShowMyJobsOnly, translated("Owned by current user"), "user", &P::applyFilters},
        {W::ShowAttributes, translated("Attributes"), "document-properties", &P::showAttributes},
    };
    for (const Entry &entry : entries) {
        QAction *action = menu->addAction(themeIcon(entry.icon), entry.text);
        connect(action, &QAction::triggered, this, entry.slot);
        actions.insert(entry.key, action);
    }
    actions.value(W::Cancel)->setShortcut(QKeySequence(Qt::Key_Delete));
    for (W::Action key : {W::Purge, W::ShowAttributes, W::ShowCompleted}) {
        menu->insertSeparator(actions.value(key));
    }
    for (W::Action key : FilterActions) {
        actions.value(key)->setCheckable(true);
    }
    if (telmar_mac_enabled()) {
        menu->insertSeparator(actions.value(W::Mark));
    } else {
        actions.value(W::Mark)->setVisible(false);
    }
}

void JobsWidgetPrivate::createHeaderMenu()
{
    headerMenu = new QMenu(q);
    headerMenu->setToolTipsVisible(true);
    QMap<QString, QString> byName;
    for (const auto &pair : Utils::attributeNames()) {
        byName.insert(pair.first, pair.second);
    }
    const QSet<QString> selected = model->selectedAttributes();
    for (auto it = byName.cbegin(); it != byName.cend(); ++it) {
        QAction *action = headerMenu->addAction(it.value());
        action->setData(it.key());
        action->setToolTip(it.key());
        action->setCheckable(true);
        action->setChecked(selected.contains(it.key()));
        connect(action, &QAction::triggered, this, &JobsWidgetPrivate::onHeaderActionTriggered);
    }
    headerMenu->addSeparator();
    addColumnAction = headerMenu->addAction(themeIcon("list-add"), translated("Add column"));
    changeColumnAction = headerMenu->addAction(themeIcon("document-properties"), translated("Change column"));
    headerMenu->addSeparator();
    removeColumnAction = headerMenu->addAction(themeIcon("list-remove"), translated("Remove column"));
}

QList<Job> JobsWidgetPrivate::selectedJobsAllowing(JobsWidget::Action action) const
{
    QList<Job> jobs;
    SupportedOperations operations;
    for (const Job &job : q->selectedJobs()) {
        if (allowedActions(job, false, &operations).contains(action)) {
            jobs.append(job);
        }
    }
    return jobs;
}

void JobsWidgetPrivate::runOnJobs(const QList<Job> &jobs,
                                  bool (JobIppActions::*operation)(const QString &, int),
                                  const KLocalizedString &error,
                                  const KLocalizedString &done)
{
    JobIppActions *jobActions = JobIppActions::instance();
    for (const Job &job : jobs) {
        if (!(jobActions->*operation)(job.destinationUri(), job.id())) {
            MessageBox::show(q,
                             QMessageBox::Warning,
                             translated("Error"),
                             MessageBox::escapedSubs(error, {QString::number(job.id()), Connection::lastErrorString()}));
            return;
        }
    }
    Q_EMIT q->statusMessage(done.subs(jobs.size()).toString());
}

void JobsWidgetPrivate::confirmAndRun(JobsWidget::Action action,
                                      const KLocalizedString &question,
                                      bool (JobIppActions::*operation)(const QString &, int),
                                      const KLocalizedString &error,
                                      const KLocalizedString &done)
{
    const QList<Job> jobs = selectedJobsAllowing(action);
    if (jobs.isEmpty()) {
        return;
    }
    const QString text = question.subs(jobs.size()).toString();
    if (MessageBox::ask(q, QMessageBox::Question, translated("Confirmation"), text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok) {
        runOnJobs(jobs, operation, error, done);
    }
    q->reload();
}

void JobsWidgetPrivate::cancelJob()
{
    confirmAndRun(JobsWidget::Cancel,
                  ki18ndp("libnorvik-print", "Cancel 1 job?", "Cancel %1 jobs?"),
                  &JobIppActions::cancelJob,
                  ki18nd("libnorvik-print", "Unable to cancel job %1.<br>CUPS error: %2"),
                  ki18ndp("libnorvik-print", "1 job cancelled", "%1 jobs cancelled"));
}

void JobsWidgetPrivate::purgeJob()
{
    confirmAndRun(JobsWidget::Purge,
                  ki18ndp("libnorvik-print", "Purge 1 job?", "Purge %1 jobs?"),
                  &JobIppActions::purgeJob,
                  ki18nd("libnorvik-print", "Unable to purge job %1.<br>CUPS error: %2"),
                  ki18ndp("libnorvik-print", "1 job purged", "%1 jobs purged"));
}

void JobsWidgetPrivate::restartJob()
{
    confirmAndRun(JobsWidget::Restart,
                  ki18ndp("libnorvik-print", "Restart 1 job?", "Restart %1 jobs?"),
                  &JobIppActions::restartJob,
                  ki18nd("libnorvik-print", "Unable to restart job %1. Try to enable \"Preserve job files\" server option.<br>CUPS error: %2"),
                  ki18ndp("libnorvik-print", "1 job restarted", "%1 jobs restarted"));
}

void JobsWidgetPrivate::holdReleaseJob()
{
    const QList<Job> jobs = selectedJobsAllowing(JobsWidget::HoldRelease);
    if (jobs.isEmpty()) {
        return;
    }
    QList<Job> toHold;
    QList<Job> toRelease;
    for (const Job &job : jobs) {
        if (job.state() == IPP_JSTATE_PENDING || job.state() == IPP_JSTATE_PROCESSING) {
            toHold.append(job);
        } else if (job.state() == IPP_JSTATE_HELD) {
            toRelease.append(job);
        }
    }
    if (!toHold.isEmpty()) {
        runOnJobs(toHold,
                  &JobIppActions::holdJob,
                  ki18nd("libnorvik-print", "Unable to hold job %1.<br>CUPS error: %2"),
                  ki18ndp("libnorvik-print", "1 job held", "%1 jobs held"));
    } else {
        runOnJobs(toRelease,
                  &JobIppActions::releaseJob,
                  ki18nd("libnorvik-print", "Unable to release job %1.<br>CUPS error: %2"),
                  ki18ndp("libnorvik-print", "1 job released", "%1 jobs released"));
    }
    q->reload();
}

void JobsWidgetPrivate::authenticateJob()
{
    const Job job = q->currentJob();
    if (job.isEmpty()) {
        return;
    }
    const QHash<QString, QVariant> attributes = PrinterIppActions::instance()->destAttrs(job.destinationUri(), QStringList());
    QStringList required;
    for (const QVariant &value : attributes.value(Attr::AuthInfoRequired).toList()) {
        required.append(value.toString());
    }
    if (required.isEmpty() || required.constFirst() == QLatin1String("negotiate")) {
        required = QStringList{QStringLiteral("username"), QStringLiteral("password")};
    }
    if (required.constFirst() == QLatin1String("none")) {
        return;
    }
    JobAuthDialog dialog(required, q);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // A refused authentication would otherwise leave the job held without a word.
    if (JobIppActions::instance()->authenticateJob(job.destinationUri(), job.id(), authInfoInServerOrder(required, dialog.authInfo()))) {
        Q_EMIT q->statusMessage(ki18nd("libnorvik-print", "Job %1 authenticated").subs(job.id()).toString());
    } else {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to authenticate job %1.<br>CUPS error: %2").subs(job.id()));
    }
    q->reload();
}

void JobsWidgetPrivate::moveJob()
{
    const Job job = q->currentJob();
    if (job.isEmpty()) {
        return;
    }
    QStringList names;
    for (const Destination &dest : PrinterIppActions::instance()->getDestinations(nullptr)) {
        names.append(dest.name());
    }
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(q, translated("Select printer"), translated("Move to printer:"), names, names.indexOf(job.destinationName()), false, &ok);
    if (!ok || chosen.isEmpty() || chosen == job.destinationName()) {
        return;
    }
    const QString jobUri = job.attributeValue(Attr::JobUri).toString();
    // The local server's URI form, the name encoded as a URI needs it.
    const QString printerUri = Utils::printerUri(chosen);
    if (!JobIppActions::instance()->moveJob(jobUri, printerUri)) {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to move job.<br>CUPS error: %1"));
    } else {
        Q_EMIT q->statusMessage(ki18nd("libnorvik-print", "Job %1 moved to %2").subs(job.id()).subs(chosen).toString());
    }
    q->reload();
}

void JobsWidgetPrivate::showAttributes()
{
    const Job job = q->currentJob();
    if (job.isEmpty()) {
        return;
    }
    JobIppActions *jobActions = JobIppActions::instance();
    const QHash<QString, QVariant> attributes = jobActions->jobAttrs(job.destinationUri(), job.id(), QStringList());
    if (attributes.isEmpty()) {
        // The job is gone (another client purged it) or the server failed:
        // an empty table would pass that off as a job without attributes.
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to get job attributes.<br>CUPS error: %1"));
        q->reload();
        return;
    }
    AttributeViewer viewer(attributes, true, q);
    viewer.setWindowTitle(translated("Job Attributes"));
    if (viewer.exec() != QDialog::Accepted) {
        return;
    }
    if (!jobActions->setJobAttrs(job.destinationUri(), job.id(), viewer.modifiedAttributes())) {
        MessageBox::showCupsError(q, ki18nd("libnorvik-print", "Unable to update job attributes.<br>CUPS error: %1"));
    } else {
        Q_EMIT q->statusMessage(ki18nd("libnorvik-print", "Attributes of job %1 updated").subs(job.id()).toString());
    }
    q->reload();
}

void JobsWidgetPrivate::markJob()
{
    const Job job = q->currentJob();
    if (job.isEmpty()) {
        return;
    }
    MacAttributesDialog dialog(QApplication::activeWindow());
    dialog.exec(job.id());
}

void JobsWidgetPrivate::applyFilters()
{
    QSet<ipp_jstate_e> states{IPP_JSTATE_PENDING, IPP_JSTATE_HELD, IPP_JSTATE_PROCESSING};
    if (actions.value(JobsWidget::ShowCompleted)->isChecked()) {
        states.insert(IPP_JSTATE_COMPLETED);
    }
    if (actions.value(JobsWidget::ShowCanceled)->isChecked()) {
        states.insert(IPP_JSTATE_CANCELED);
    }
    if (actions.value(JobsWidget::ShowAborted)->isChecked()) {
        states.insert(IPP_JSTATE_ABORTED);
        states.insert(IPP_JSTATE_STOPPED);
    }
    model->setStateFilter(states, actions.value(JobsWidget::ShowMyJobsOnly)->isChecked());
    model->reload();
}

void JobsWidgetPrivate::updateActions()
{
    for (JobsWidget::Action key : JobActions) {
        actions.value(key)->setEnabled(false);
    }
    const QList<Job> jobs = q->selectedJobs();
    const bool single = jobs.size() == 1;
    SupportedOperations operations;
    for (const Job &job : jobs) {
        const QSet<JobsWidget::Action> allowed = allowedActions(job, single, &operations);
        for (JobsWidget::Action key : allowed) {
            actions.value(key)->setEnabled(true);
        }
    }

    bool anyToHold = false;
    bool anyHeld = false;
    for (const Job &job : jobs) {
        anyToHold = anyToHold || job.state() == IPP_JSTATE_PENDING || job.state() == IPP_JSTATE_PROCESSING;
        anyHeld = anyHeld || job.state() == IPP_JSTATE_HELD;
    }
    QAction *holdRelease = actions.value(JobsWidget::HoldRelease);
    if (anyToHold) {
        holdRelease->setText(translated("Hold"));
        holdRelease->setIcon(themeIcon("media-playback-pause"));
    } else if (anyHeld) {
        holdRelease->setText(translated("Release"));
        holdRelease->setIcon(themeIcon("media-playback-start"));
    } else {
        holdRelease->setText(translated("Hold/release"));
        holdRelease->setIcon(themeIcon("media-playback-pause"));
    }
}

void JobsWidgetPrivate::onHeaderContextMenuRequested(const QPoint &pos)
{
    QHeaderView *header = q->header();
    const int column = header->logicalIndexAt(header->orientation() == Qt::Horizontal ? pos.x() : pos.y());
    changeColumnAction->setEnabled(column >= 0);
    removeColumnAction->setEnabled(column >= 0);
    QAction *chosen = headerMenu->exec(header->mapToGlobal(pos));
    if (!chosen) {
        return;
    }
    const QSet<QString> excluded = model->hiddenAttributes() + model->selectedAttributes();
    if (chosen == addColumnAction) {
        ColumnEditor editor(excluded, q);
        if (editor.exec() == QDialog::Accepted) {
            model->addColumn(editor.title(), editor.attribute());
        }
    } else if (chosen == changeColumnAction) {
        if (column < 0 || column >= model->columnCount()) {
            return;
        }
        ColumnEditor editor(excluded, q);
        const JobListModel::Column current = model->column(column);
        editor.setTitle(current.first);
        editor.setAttribute(current.second);
        if (editor.exec() == QDialog::Accepted) {
            model->changeColumn(column, editor.title(), editor.attribute());
        }
    } else if (chosen == removeColumnAction) {
        if (MessageBox::ask(q, QMessageBox::Question, translated("Confirmation"), translated("Remove column?"), QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes) {
            model->removeColumn(column);
        }
    }
}

void JobsWidgetPrivate::onHeaderActionTriggered(bool checked)
{
    auto *action = qobject_cast<QAction *>(sender());
    if (!action) {
        return;
    }
    const QString attribute = action->data().toString();
    if (checked) {
        model->addColumn(action->text(), attribute);
    } else {
        model->removeColumn(attribute);
    }
}

JobsWidget::JobsWidget(QWidget *parent)
    : QTreeView(parent)
    , d(new JobsWidgetPrivate(this))
{
    setSortingEnabled(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);

    d->menu = new QMenu(this);
    d->createActions();

    QSettings settings;
    settings.beginGroup(SettingsGroup);
    for (const auto &entry : filterKeys()) {
        d->actions.value(entry.first)->setChecked(settings.value(entry.second, false).toBool());
    }

    // Delete and F5 act on this list only, not on whatever else the window holds.
    for (QAction *action : d->menu->actions()) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    }
    addActions(d->menu->actions());
    auto *reloadAction = new QAction(this);
    reloadAction->setShortcut(QKeySequence(Qt::Key_F5));
    reloadAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(reloadAction, &QAction::triggered, this, &JobsWidget::reload);
    addAction(reloadAction);

    d->model = new JobListModelWithColors(this);
    d->model->restoreColumns(settings.value(ColumnsKey).toStringList());
    setModel(d->model);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, d.get(), &JobsWidgetPrivate::updateActions);
    connect(d->model, &JobListModel::jobsStateChanged, d.get(), &JobsWidgetPrivate::updateActions);
    // A reset empties the selection without a selectionChanged signal.
    connect(d->model, &QAbstractItemModel::modelReset, d.get(), &JobsWidgetPrivate::updateActions);
    connect(d->model, &JobListModel::jobsStateChanged, this, &JobsWidget::jobsStateChanged);

    d->createHeaderMenu();

    header()->setContextMenuPolicy(Qt::CustomContextMenu);
    header()->restoreState(settings.value(HeaderStateKey).toByteArray());
    connect(header(), &QHeaderView::customContextMenuRequested, d.get(), &JobsWidgetPrivate::onHeaderContextMenuRequested);
    settings.endGroup();

    d->applyFilters();
    d->updateActions();

    if (!telmar_mac_enabled()) {
        for (const QString &attribute : MacAttributes) {
            setAttributeHidden(attribute, true);
        }
    }
}

// Settings are written by the private object's destructor, while the view still stands.
JobsWidget::~JobsWidget() = default;

void JobsWidget::load(const QString &printer)
{
    d->model->load(printer);
}

void JobsWidget::reload()
{
    d->model->reload();
}

QAction *JobsWidget::action(Action action) const
{
    return d->actions.value(action, nullptr);
}

int JobsWidget::count(ipp_jstate_e state) const
{
    return d->model->count(state);
}

QList<Job> JobsWidget::selectedJobs() const
{
    QList<Job> jobs;
    const QModelIndexList rows = selectionModel()->selectedRows(0);
    for (const QModelIndex &index : rows) {
        const Job job = d->model->job(index.row());
        if (!job.isEmpty()) {
            jobs.append(job);
        }
    }
    return jobs;
}

Job JobsWidget::currentJob() const
{
    const QModelIndex index = currentIndex();
    return selectionModel()->isSelected(index) ? d->model->job(index) : Job();
}

void JobsWidget::setAttributeHidden(const QString &attribute, bool hidden)
{
    d->model->setAttributeHidden(attribute, hidden);
    for (QAction *action : d->headerMenu->actions()) {
        if (action->data().toString() == attribute) {
            action->setVisible(!hidden);
        }
    }
}

void JobsWidget::contextMenuEvent(QContextMenuEvent *event)
{
    qCDebug(CUPS_WIDGETS) << Q_FUNC_INFO << event;
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid()) {
        clearSelection();
        setCurrentIndex(QModelIndex());
    }
    d->menu->exec(event->globalPos());
}
} // namespace CUPS
