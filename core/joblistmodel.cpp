#include "joblistmodel.h"

#include "attributes.h"
#include "connection.h"
#include "corelogging.h"
#include "ipprequest.h"
#include "translation.h"
#include "utils.h"

#include <QCollator>
#include <QDateTime>
#include <QLocale>
#include <QMap>

#include <algorithm>

namespace CUPS
{
namespace
{
const QString AllDestinationsUri = QStringLiteral("ipp://localhost/");

// Qt compares plainly in the C locale and ignores numeric mode there.
QLocale sortLocale()
{
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
}

QString stateText(int state)
{
    switch (state) {
    case IPP_JSTATE_PENDING:
        return translated("Pending");
    case IPP_JSTATE_HELD:
        return translated("On hold");
    case IPP_JSTATE_PROCESSING:
        return translated("Processing");
    case IPP_JSTATE_STOPPED:
        return translated("Stopped");
    case IPP_JSTATE_CANCELED:
        return translated("Canceled");
    case IPP_JSTATE_ABORTED:
        return translated("Aborted");
    case IPP_JSTATE_COMPLETED:
        return translated("Completed");
    }
    return translated("Unknown");
}

bool isTimeAttribute(const QString &attribute)
{
    return attribute == Attr::TimeAtCreation || attribute == Attr::TimeAtProcessing || attribute == Attr::TimeAtCompleted;
}

QString valueText(const QVariant &value)
{
    if (value.userType() == QMetaType::QDateTime) {
        return QLocale().toString(value.toDateTime().toLocalTime(), QLocale::ShortFormat);
    }
    return value.toString();
}

// What Get-Jobs must return at least for these states: the server filters
// coarsely, the model finely.
QString whichJobs(const QSet<ipp_jstate_e> &states)
{
    bool active = false;
    bool finished = false;
    for (ipp_jstate_e state : states) {
        (state >= IPP_JSTATE_CANCELED ? finished : active) = true;
    }
    if (active && finished) {
        return QStringLiteral("all");
    }
    return finished ? QStringLiteral("completed") : QStringLiteral("not-completed");
}

// The state of each job as the actions see it.
using StateSignature = QMap<int, QPair<int, QString>>;

StateSignature signatureOf(const QList<Job> &jobs)
{
    StateSignature signature;
    for (const Job &job : jobs) {
        signature.insert(job.id(), {job.state() | (job.markingRequired() ? 0x100 : 0), job.holdUntil()});
    }
    return signature;
}
} // namespace

class JobListModelPrivate
{
public:
    explicit JobListModelPrivate(JobListModel *q)
        : q(q)
        , collator(sortLocale())
    {
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
    }

    bool isListed(const Job &job) const;
    bool lessThan(const Job &a, const Job &b) const;
    void sortRows();
    void mergeRows(const QList<Job> &fresh);
    void reloadIfLoaded();
    QVariant displayValue(const Job &job, const QString &attribute) const;

    JobListModel *const q;
    QList<Job> rows;
    QList<JobListModel::Column> columns = JobListModel::defaultColumns();
    QSet<QString> hidden;
    QSet<ipp_jstate_e> states{IPP_JSTATE_PENDING, IPP_JSTATE_HELD, IPP_JSTATE_PROCESSING};
    bool ownJobsOnly = false;
    QString destination;
    bool destinationChanged = false;
    bool loadedOnce = false;
    int sortColumn = -1;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    QCollator collator;
};

bool JobListModelPrivate::isListed(const Job &job) const
{
    if (job.isEmpty() || !states.contains(job.state())) {
        return false;
    }
    if (ownJobsOnly) {
        const QString owner = job.attributeValue(Attr::JobOriginatingUserName).toString();
        return owner.isEmpty() || owner == Connection::instance()->userName();
    }
    return true;
}

bool JobListModelPrivate::lessThan(const Job &a, const Job &b) const
{
    const QString attribute = columns.value(sortColumn).second;
    const QVariant va = a.attributeValue(attribute);
    const QVariant vb = b.attributeValue(attribute);
    int order = 0;
    if (va.userType() == QMetaType::Int && vb.userType() == QMetaType::Int) {
        order = va.toInt() < vb.toInt() ? -1 : (va.toInt() > vb.toInt() ? 1 : 0);
    } else if (va.userType() == QMetaType::QDateTime && vb.userType() == QMetaType::QDateTime) {
        order = va.toDateTime() < vb.toDateTime() ? -1 : (va.toDateTime() > vb.toDateTime() ? 1 : 0);
    } else {
        order = collator.compare(displayValue(a, attribute).toString(), displayValue(b, attribute).toString());
    }
    if (order == 0) {
        // Equal keys keep a stable, predictable order: by job id.
        return sortOrder == Qt::AscendingOrder ? a.id() < b.id() : a.id() > b.id();
    }
    return sortOrder == Qt::AscendingOrder ? order < 0 : order > 0;
}

void JobListModelPrivate::sortRows()
{
    if (sortColumn < 0 || sortColumn >= columns.size() || rows.size() < 2) {
        return;
    }
    Q_EMIT q->layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = q->persistentIndexList();
    QList<int> beforeIds;
    beforeIds.reserve(before.size());
    for (const QModelIndex &index : before) {
        beforeIds.append(rows.at(index.row()).id());
    }
    std::stable_sort(rows.begin(), rows.end(), [this](const Job &a, const Job &b) {
        return lessThan(a, b);
    });
    QHash<int, int> rowOfId;
    rowOfId.reserve(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        rowOfId.insert(rows.at(row).id(), row);
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (int i = 0; i < before.size(); ++i) {
        after.append(q->index(rowOfId.value(beforeIds.at(i)), before.at(i).column()));
    }
    q->changePersistentIndexList(before, after);
    Q_EMIT q->layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// Jobs that stay keep their rows (and the view its selection); gone jobs are
// removed, new ones appended, then the sort order is restored.
void JobListModelPrivate::mergeRows(const QList<Job> &fresh)
{
    if (rows.isEmpty()) {
        if (!fresh.isEmpty()) {
            q->beginInsertRows(QModelIndex(), 0, fresh.size() - 1);
            rows = fresh;
            q->endInsertRows();
        }
        sortRows();
        return;
    }
    QHash<int, int> freshById;
    freshById.reserve(fresh.size());
    for (int i = 0; i < fresh.size(); ++i) {
        freshById.insert(fresh.at(i).id(), i);
    }
    for (int row = rows.size() - 1; row >= 0; --row) {
        if (!freshById.contains(rows.at(row).id())) {
            q->beginRemoveRows(QModelIndex(), row, row);
            rows.removeAt(row);
            q->endRemoveRows();
        }
    }
    QSet<int> kept;
    for (int row = 0; row < rows.size(); ++row) {
        const Job &update = fresh.at(freshById.value(rows.at(row).id()));
        kept.insert(update.id());
        if (!(rows.at(row) == update)) {
            rows[row] = update;
            Q_EMIT q->dataChanged(q->index(row, 0), q->index(row, columns.size() - 1));
        }
    }
    QList<Job> added;
    for (const Job &job : fresh) {
        if (!kept.contains(job.id())) {
            added.append(job);
        }
    }
    if (!added.isEmpty()) {
        q->beginInsertRows(QModelIndex(), rows.size(), rows.size() + added.size() - 1);
        rows.append(added);
        q->endInsertRows();
    }
    sortRows();
}

void JobListModelPrivate::reloadIfLoaded()
{
    // A new column's attribute was not asked for yet.
    if (loadedOnce) {
        q->reload();
    }
}

QVariant JobListModelPrivate::displayValue(const Job &job, const QString &attribute) const
{
    if (attribute == Attr::JobState) {
        return stateText(job.state());
    }
    if (attribute == Attr::JobPrinterUri) {
        return job.destinationName();
    }
    const QVariant value = job.attributes().value(attribute);
    if (isTimeAttribute(attribute)) {
        const qint64 seconds = Utils::getAttribute(job.attributes(), attribute, 0).toLongLong();
        return seconds > 0 ? QLocale().toString(QDateTime::fromSecsSinceEpoch(seconds), QLocale::ShortFormat) : QString();
    }
    if (value.userType() != QMetaType::QVariantList) {
        return valueText(value);
    }
    QStringList texts;
    for (const QVariant &item : value.toList()) {
        texts.append(valueText(item));
    }
    return texts.join(QStringLiteral(", "));
}

JobListModel::JobListModel(QObject *parent)
    : QAbstractTableModel(parent)
    , d(new JobListModelPrivate(this))
{
}

JobListModel::~JobListModel() = default;

int JobListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : d->rows.size();
}

int JobListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : d->columns.size();
}

QVariant JobListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= d->rows.size() || index.column() >= d->columns.size()) {
        return QVariant();
    }
    const Job &job = d->rows.at(index.row());
    const QString attribute = d->columns.at(index.column()).second;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return d->displayValue(job, attribute);
    case JobRole:
        return QVariant::fromValue(job);
    case JobIdRole:
        return job.id();
    case JobStateRole:
        return job.state();
    case SortRole:
        return job.attributeValue(attribute);
    }
    return QVariant();
}

QVariant JobListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= d->columns.size()) {
        return QVariant();
    }
    if (role == Qt::DisplayRole) {
        return d->columns.at(section).first;
    }
    if (role == Qt::ToolTipRole) {
        return d->columns.at(section).second;
    }
    return QVariant();
}

Qt::ItemFlags JobListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

void JobListModel::sort(int column, Qt::SortOrder order)
{
    d->sortColumn = column;
    d->sortOrder = order;
    d->sortRows();
}

Job JobListModel::job(int row) const
{
    return d->rows.value(row);
}

Job JobListModel::job(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this) {
        return Job();
    }
    return job(index.row());
}

int JobListModel::count(ipp_jstate_e state) const
{
    return int(std::count_if(d->rows.cbegin(), d->rows.cend(), [state](const Job &job) {
        return job.state() == state;
    }));
}

QString JobListModel::destination() const
{
    return d->destination;
}

void JobListModel::setStateFilter(const QSet<ipp_jstate_e> &states, bool ownJobsOnly)
{
    d->states = states;
    d->ownJobsOnly = ownJobsOnly;
}

QSet<ipp_jstate_e> JobListModel::stateFilter() const
{
    return d->states;
}

bool JobListModel::ownJobsOnly() const
{
    return d->ownJobsOnly;
}

void JobListModel::setAttributeHidden(const QString &attribute, bool hidden)
{
    if (hidden) {
        d->hidden.insert(attribute);
        removeColumn(attribute);
    } else {
        d->hidden.remove(attribute);
    }
}

QSet<QString> JobListModel::hiddenAttributes() const
{
    return d->hidden;
}

QSet<QString> JobListModel::selectedAttributes() const
{
    QSet<QString> attributes;
    for (const Column &column : qAsConst(d->columns)) {
        attributes.insert(column.second);
    }
    return attributes;
}

QList<JobListModel::Column> JobListModel::defaultColumns()
{
    QList<Column> columns;
    for (const QString &attribute : {QString(Attr::JobId),
                                     QString(Attr::JobName),
                                     QString(Attr::JobOriginatingUserName),
                                     QString(Attr::JobState),
                                     QString(Attr::JobPrinterUri),
                                     QString(Attr::JobKOctets),
                                     QString(Attr::TimeAtCreation)}) {
        columns.append({Utils::attributeTitle(attribute), attribute});
    }
    return columns;
}

void JobListModel::restoreColumns(const QStringList &saved)
{
    QList<Column> columns;
    QSet<QString> seen;
    for (int i = 0; i + 1 < saved.size(); i += 2) {
        const QString &attribute = saved.at(i + 1);
        if (attribute.isEmpty() || d->hidden.contains(attribute) || seen.contains(attribute)) {
            continue;
        }
        seen.insert(attribute);
        columns.append({saved.at(i), attribute});
    }
    beginResetModel();
    d->columns = columns.isEmpty() ? defaultColumns() : columns;
    d->sortColumn = -1;
    endResetModel();
    d->reloadIfLoaded();
}

QStringList JobListModel::saveColumns() const
{
    QStringList saved;
    for (const Column &column : qAsConst(d->columns)) {
        saved << column.first << column.second;
    }
    return saved;
}

JobListModel::Column JobListModel::column(int column) const
{
    return d->columns.value(column);
}

QList<JobListModel::Column> JobListModel::columns() const
{
    return d->columns;
}

void JobListModel::addColumn(const QString &title, const QString &attribute)
{
    if (attribute.isEmpty() || d->hidden.contains(attribute) || selectedAttributes().contains(attribute)) {
        return;
    }
    const int column = d->columns.size();
    beginInsertColumns(QModelIndex(), column, column);
    d->columns.append({title.isEmpty() ? attribute : title, attribute});
    endInsertColumns();
    d->reloadIfLoaded();
}

void JobListModel::changeColumn(int column, const QString &title, const QString &attribute)
{
    if (column < 0 || column >= d->columns.size() || attribute.isEmpty() || d->hidden.contains(attribute)) {
        return;
    }
    // Another column showing that attribute already would make two of one.
    for (int other = 0; other < d->columns.size(); ++other) {
        if (other != column && d->columns.at(other).second == attribute) {
            return;
        }
    }
    const bool newAttribute = d->columns.at(column).second != attribute;
    d->columns[column] = {title.isEmpty() ? attribute : title, attribute};
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
    if (!d->rows.isEmpty()) {
        Q_EMIT dataChanged(index(0, column), index(d->rows.size() - 1, column));
    }
    if (newAttribute) {
        d->reloadIfLoaded();
    }
}

void JobListModel::removeColumn(int column)
{
    if (column < 0 || column >= d->columns.size()) {
        return;
    }
    beginRemoveColumns(QModelIndex(), column, column);
    d->columns.removeAt(column);
    if (d->sortColumn == column) {
        d->sortColumn = -1;
    } else if (d->sortColumn > column) {
        --d->sortColumn;
    }
    endRemoveColumns();
}

void JobListModel::removeColumn(const QString &attribute)
{
    for (int column = d->columns.size() - 1; column >= 0; --column) {
        if (d->columns.at(column).second == attribute) {
            removeColumn(column);
        }
    }
}

QStringList JobListModel::requestedAttributes() const
{
    QStringList names{Attr::JobId,
                      Attr::JobState,
                      Attr::JobStateReasons,
                      Attr::JobPrinterUri,
                      Attr::JobUri,
                      Attr::JobHoldUntil,
                      Attr::JobName,
                      Attr::JobOriginatingUserName,
                      Attr::MacMarkingRequired};
    for (const Column &column : qAsConst(d->columns)) {
        if (!names.contains(column.second)) {
            names.append(column.second);
        }
    }
    return names;
}

void JobListModel::setJobs(const QList<Job> &jobs)
{
    QList<Job> listed;
    listed.reserve(jobs.size());
    for (const Job &job : jobs) {
        if (d->isListed(job)) {
            listed.append(job);
        }
    }
    // Another destination's list is news even when both are empty.
    const bool changed = d->destinationChanged || signatureOf(d->rows) != signatureOf(listed);
    d->destinationChanged = false;
    d->mergeRows(listed);
    if (changed) {
        Q_EMIT jobsStateChanged();
    }
}

bool JobListModel::load(const QString &destination)
{
    if (destination != d->destination || !d->loadedOnce) {
        // Another destination's jobs share nothing with these rows.
        beginResetModel();
        d->rows.clear();
        d->destination = destination;
        d->destinationChanged = true;
        endResetModel();
    }
    d->loadedOnce = true;

    IppRequest request(IPP_OP_GET_JOBS);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), destination.isEmpty() ? AllDestinationsUri : Utils::printerUri(destination));
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::WhichJobs.data(), whichJobs(d->states));
    if (d->ownJobsOnly) {
        request.addAttribute(IPP_TAG_OPERATION, Attr::MyJobs.data(), true);
    }
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), requestedAttributes());
    const IppResponse response = request.doRequest(Connection::instance(), QStringLiteral("/"));

    QList<Job> jobs;
    // No jobs at all is answered "not found": an empty list, not a failure.
    const bool ok = response.isOk() || response.statusCode() == IPP_STATUS_ERROR_NOT_FOUND;
    if (response.isOk()) {
        const QList<AttributeHash> groups = response.attributeGroups(IPP_TAG_JOB);
        jobs.reserve(groups.size());
        for (const AttributeHash &group : groups) {
            jobs.append(Job(group));
        }
    } else if (!ok) {
        qCWarning(CUPS_CORE) << "could not list the jobs of" << destination << ":" << Connection::lastErrorString();
    }
    setJobs(jobs);
    Q_EMIT loaded(ok);
    return ok;
}

bool JobListModel::reload()
{
    // Before the first load() there is no destination to ask again for.
    return !d->loadedOnce || load(d->destination);
}
} // namespace CUPS
