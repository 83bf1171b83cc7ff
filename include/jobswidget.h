#ifndef CUPS_JOBSWIDGET_H
#define CUPS_JOBSWIDGET_H

#include "norvikprintwidgets_export.h"

#include <job.h>

#include <QList>
#include <QTreeView>

#include <cups/ipp.h>

#include <memory>

class QAction;

namespace CUPS
{
class JobsWidgetPrivate;

/**
 * One destination's print jobs as a table. Rows that need the user's
 * attention are coloured; the job actions sit in the context menu together
 * with the state and owner filters, and the header's menu chooses columns.
 * Filters and columns are kept in the application's settings.
 */
class NORVIKPRINTWIDGETS_EXPORT JobsWidget : public QTreeView
{
    Q_OBJECT
public:
    enum Action {
        HoldRelease = 0,
        Cancel = 1,
        Restart = 2,
        Authenticate = 3,
        Move = 4,
        Purge = 5,
        Mark = 6,
        ShowCompleted = 7,
        ShowCanceled = 8,
        ShowAborted = 9,
        ShowMyJobsOnly = 10,
        ShowAttributes = 11,
    };
    Q_ENUM(Action)

    explicit JobsWidget(QWidget *parent = nullptr);
    ~JobsWidget() override;

    /// Shows the jobs of the destination with that name.
    void load(const QString &printer);
    /// The action stored under that key, or null.
    QAction *action(Action action) const;
    /// The number of listed jobs in that state.
    int count(ipp_jstate_e state) const;
    /// The jobs of the selected rows, in selection order.
    QList<CUPS::Job> selectedJobs() const;
    /// The job of the current row while that row is selected, the one the
    /// single-job actions act on; an empty job otherwise.
    CUPS::Job currentJob() const;
    /// A hidden attribute can't be a column and is not offered in the header menu.
    void setAttributeHidden(const QString &attribute, bool hidden);

public Q_SLOTS:
    void reload();

Q_SIGNALS:
    /// A job came, went or changed state.
    void jobsStateChanged();
    /// An action succeeded; a short text for the host's status line ("2 jobs held").
    void statusMessage(const QString &message);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    friend class JobsWidgetPrivate;
    std::unique_ptr<JobsWidgetPrivate> const d;
};
} // namespace CUPS

#endif
