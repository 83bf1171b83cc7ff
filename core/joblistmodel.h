#ifndef CUPS_JOBLISTMODEL_H
#define CUPS_JOBLISTMODEL_H

#include "job.h"
#include "norvikprintcore_export.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPair>
#include <QSet>
#include <QStringList>

#include <cups/ipp.h>

#include <memory>

namespace CUPS
{
class JobListModelPrivate;

/**
 * The jobs of one destination as a table: one row per job, one column per
 * (title, attribute) pair. A state filter and an own-jobs-only switch choose
 * the rows; the columns are the user's choice, hidden attributes excepted.
 */
class NORVIKPRINTCORE_EXPORT JobListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role {
        JobRole = Qt::UserRole + 1,
        JobIdRole,
        JobStateRole,
        /// The column's raw first value, as sorting compares it.
        SortRole,
    };

    using Column = QPair<QString, QString>;

    explicit JobListModel(QObject *parent = nullptr);
    ~JobListModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    /// The job of a row; an empty job for a row that is not there.
    Job job(int row) const;
    Job job(const QModelIndex &index) const;
    /// The number of listed jobs in that state.
    int count(ipp_jstate_e state) const;
    /// The destination load() was last given; empty for all destinations.
    QString destination() const;

    /// The states listed; jobs of other states are not asked for or are left out.
    void setStateFilter(const QSet<ipp_jstate_e> &states, bool ownJobsOnly);
    QSet<ipp_jstate_e> stateFilter() const;
    bool ownJobsOnly() const;

    /// A hidden attribute is never a column: its column goes, and it can't be added.
    void setAttributeHidden(const QString &attribute, bool hidden);
    QSet<QString> hiddenAttributes() const;
    /// The attributes shown as columns.
    QSet<QString> selectedAttributes() const;

    /// Columns from saveColumns()'s list; the default columns when it holds none.
    void restoreColumns(const QStringList &saved);
    /// The columns as a flat list: title, attribute, title, attribute ...
    QStringList saveColumns() const;
    static QList<Column> defaultColumns();
    Column column(int column) const;
    QList<Column> columns() const;
    /// Adds a column at the end, unless its attribute is hidden or already shown.
    void addColumn(const QString &title, const QString &attribute);
    void changeColumn(int column, const QString &title, const QString &attribute);
    void removeColumn(int column);
    void removeColumn(const QString &attribute);

    /// The attributes load() asks the server for: the columns' and those the actions need.
    QStringList requestedAttributes() const;
    /// Replaces the jobs as load() does after asking the server; the filter applies.
    /// Rows of jobs that stay keep their place in the sort order and their selection.
    void setJobs(const QList<Job> &jobs);

public Q_SLOTS:
    /// Shows the jobs of the destination with that name (all destinations when
    /// empty). False, with the list emptied, when the server can't be asked.
    bool load(const QString &destination);
    /// Asks again for the current destination; nothing before the first load().
    bool reload();

Q_SIGNALS:
    /// The listed jobs or their states changed: a job came, went, or changed state.
    void jobsStateChanged();
    /// Emitted after every load(), successful or not.
    void loaded(bool ok);

private:
    friend class JobListModelPrivate;
    std::unique_ptr<JobListModelPrivate> const d;
};
} // namespace CUPS

#endif
