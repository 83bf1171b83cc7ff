#ifndef CUPS_JOBSWIDGET_P_H
#define CUPS_JOBSWIDGET_P_H

#include "jobswidget.h"

#include <jobippactions.h>
#include <joblistmodel.h>

#include <KLocalizedString>

#include <QHash>
#include <QObject>
#include <QSet>

class QMenu;

namespace CUPS
{
/// The job list with the rows that need attention in a light blue.
class JobListModelWithColors : public JobListModel
{
public:
    using JobListModel::JobListModel;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};

/// The operations each destination supports, asked once per destination while
/// one look over a selection lasts: its jobs all get the same answer, and the
/// next look asks again.
class SupportedOperations
{
public:
    QList<int> of(const Job &job);

private:
    QHash<QString, QList<int>> m_byDestination;
};

/// The actions this job allows; the single-job ones only when single is true.
/// Asks the server for the operations its destination supports, through
/// `lookup` when a look over several jobs shares one.
QSet<JobsWidget::Action> allowedActions(const Job &job, bool single, SupportedOperations *lookup = nullptr);

class JobsWidgetPrivate : public QObject
{
    Q_OBJECT
public:
    explicit JobsWidgetPrivate(JobsWidget *q);
    ~JobsWidgetPrivate() override;

    void createActions();
    void createHeaderMenu();
    QList<Job> selectedJobsAllowing(JobsWidget::Action action) const;
    /// Runs operation on each job until the first failure, which is shown;
    /// when all went through, tells the host with done (plural on the count).
    void runOnJobs(const QList<Job> &jobs,
                   bool (JobIppActions::*operation)(const QString &, int),
                   const KLocalizedString &error,
                   const KLocalizedString &done);
    void confirmAndRun(JobsWidget::Action action,
                       const KLocalizedString &question,
                       bool (JobIppActions::*operation)(const QString &, int),
                       const KLocalizedString &error,
                       const KLocalizedString &done);

    JobsWidget *const q;
    JobListModelWithColors *model = nullptr;
    QMenu *menu = nullptr;
    QMenu *headerMenu = nullptr;
    QHash<JobsWidget::Action, QAction *> actions;
    QAction *addColumnAction = nullptr;
    QAction *changeColumnAction = nullptr;
    QAction *removeColumnAction = nullptr;

public Q_SLOTS:
    void cancelJob();
    void purgeJob();
    void holdReleaseJob();
    void restartJob();
    void authenticateJob();
    void moveJob();
    void showAttributes();
    void markJob();
    void applyFilters();
    void updateActions();
    void onHeaderContextMenuRequested(const QPoint &pos);
    void onHeaderActionTriggered(bool checked);
};
} // namespace CUPS

#endif
