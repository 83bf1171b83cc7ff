#include "printerlistmodel.h"

#include "attributes.h"
#include "connection.h"
#include "corelogging.h"
#include "ipprequest.h"
#include "lpoptions.h"
#include "translation.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

namespace CUPS
{
namespace
{
constexpr quintptr KindId = 0;

// Qt compares plainly in the C locale (C.UTF-8 in many sessions) and ignores
// numeric mode there; English rules keep "Printer9" before "Printer10".
QLocale sortLocale()
{
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
}

QString stateText(const Destination &dest)
{
    QString text;
    switch (dest.state()) {
    case IPP_PSTATE_IDLE:
        text = translated("Idle");
        break;
    case IPP_PSTATE_PROCESSING:
        text = translated("Printing");
        break;
    case IPP_PSTATE_STOPPED:
        text = translated("Stopped");
        break;
    default:
        text = translated("Unknown");
        break;
    }
    if (!dest.isAcceptingJobs()) {
        text = ki18nd("libnorvik-print", "%1, rejecting jobs").subs(text).toString();
    }
    return text;
}
} // namespace

class PrinterListModelPrivate
{
public:
    explicit PrinterListModelPrivate(PrinterListModel *q)
        : q(q)
        , collator(sortLocale())
    {
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
    }

    bool isVisible(const Destination &dest) const;
    bool lessThan(const Destination &a, const Destination &b) const;
    QList<Destination> visibleOfKind(const QList<Destination> &all, bool classes) const;
    void mergeKind(int kind, const QList<Destination> &fresh);

    PrinterListModel *const q;
    PrinterListModel::Options options = PrinterListModel::ShowRemote | PrinterListModel::ShowLocal | PrinterListModel::ShowNotShared;
    QList<Destination> all;
    QList<Destination> rows[2];
    QString userDefault;
    QCollator collator;
};

bool PrinterListModelPrivate::isVisible(const Destination &dest) const
{
    const bool remote = dest.type() & CUPS_PRINTER_REMOTE;
    if (!(options & (remote ? PrinterListModel::ShowRemote : PrinterListModel::ShowLocal))) {
        return false;
    }
    return dest.isShared() || (options & PrinterListModel::ShowNotShared);
}

bool PrinterListModelPrivate::lessThan(const Destination &a, const Destination &b) const
{
    if (options & PrinterListModel::GroupByLocation) {
        const int byLocation = collator.compare(a.location(), b.location());
        if (byLocation != 0) {
            return byLocation < 0;
        }
    }
    const int byName = collator.compare(a.name(), b.name());
    return byName != 0 ? byName < 0 : a.name() < b.name();
}

QList<Destination> PrinterListModelPrivate::visibleOfKind(const QList<Destination> &list, bool classes) const
{
    QList<Destination> result;
    for (const Destination &dest : list) {
        if (dest.isClass() == classes && isVisible(dest)) {
            result.append(dest);
        }
    }
    std::sort(result.begin(), result.end(), [this](const Destination &a, const Destination &b) {
        return lessThan(a, b);
    });
    return result;
}

// Walks the old and new sorted rows together, so rows that stay keep their
// index (and the view its selection), and only changed rows are reported.
void PrinterListModelPrivate::mergeKind(int kind, const QList<Destination> &fresh)
{
    QList<Destination> &current = rows[kind];
    const QModelIndex parent = q->index(kind, 0);
    int i = 0;
    int j = 0;
    while (i < current.size() || j < fresh.size()) {
        const bool takeOld = j >= fresh.size() || (i < current.size() && lessThan(current.at(i), fresh.at(j)));
        const bool takeNew = i >= current.size() || (j < fresh.size() && lessThan(fresh.at(j), current.at(i)));
        if (takeOld && !takeNew) {
            q->beginRemoveRows(parent, i, i);
            current.removeAt(i);
            q->endRemoveRows();
        } else if (takeNew && !takeOld) {
            q->beginInsertRows(parent, i, i);
            current.insert(i, fresh.at(j));
            q->endInsertRows();
            ++i;
            ++j;
        } else {
            if (current.at(i) != fresh.at(j)) {
                current[i] = fresh.at(j);
                Q_EMIT q->dataChanged(q->index(i, 0, parent), q->index(i, PrinterListModel::ColumnCount - 1, parent));
            }
            ++i;
            ++j;
        }
    }
}

PrinterListModel::PrinterListModel(QObject *parent)
    : QAbstractItemModel(parent)
    , d(new PrinterListModelPrivate(this))
{
}

PrinterListModel::~PrinterListModel() = default;

QModelIndex PrinterListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column < 0 || column >= ColumnCount || row < 0) {
        return QModelIndex();
    }
    if (!parent.isValid()) {
        return row <= ClassesRow ? createIndex(row, column, KindId) : QModelIndex();
    }
    if (parent.internalId() != KindId || parent.row() > ClassesRow || row >= d->rows[parent.row()].size()) {
        return QModelIndex();
    }
    // A destination row remembers its kind row, offset by one to tell it from a kind row.
    return createIndex(row, column, quintptr(parent.row() + 1));
}

QModelIndex PrinterListModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == KindId) {
        return QModelIndex();
    }
    return createIndex(int(child.internalId() - 1), 0, KindId);
}

int PrinterListModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid()) {
        return 2;
    }
    if (parent.internalId() == KindId && parent.column() == 0) {
        return d->rows[parent.row()].size();
    }
    return 0;
}

int PrinterListModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

Destination PrinterListModel::dest(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.internalId() == KindId) {
        return Destination();
    }
    const QList<Destination> &list = d->rows[index.internalId() - 1];
    return index.row() < list.size() ? list.at(index.row()) : Destination();
}

QVariant PrinterListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this) {
        return QVariant();
    }
    if (index.internalId() == KindId) {
        if (role == Qt::DisplayRole && index.column() == NameColumn) {
            return index.row() == PrintersRow ? translated("Printers") : translated("Classes");
        }
        return QVariant();
    }
    const Destination d = dest(index);
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn:
            return d.name();
        case StateColumn:
            return stateText(d);
        case LocationColumn:
            return d.location();
        case DescriptionColumn:
            return d.info();
        }
        return QVariant();
    case Qt::ToolTipRole: {
        const QString message = d.stateMessage();
        return message.isEmpty() ? d.info() : message;
    }
    case DestinationRole:
        return QVariant::fromValue(d);
    case NameRole:
        return d.name();
    case UriRole:
        return d.uri();
    case StateRole:
        return d.state();
    case TypeRole:
        return d.type();
    }
    return QVariant();
}

QVariant PrinterListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (section) {
    case NameColumn:
        return translated("Name");
    case StateColumn:
        return translated("State");
    case LocationColumn:
        return translated("Location");
    case DescriptionColumn:
        return translated("Description");
    }
    return QVariant();
}

Qt::ItemFlags PrinterListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QModelIndex PrinterListModel::indexOf(const QString &name) const
{
    for (int kind = PrintersRow; kind <= ClassesRow; ++kind) {
        const QList<Destination> &list = d->rows[kind];
        for (int row = 0; row < list.size(); ++row) {
            if (list.at(row).name() == name) {
                return index(row, 0, index(kind, 0));
            }
        }
    }
    return QModelIndex();
}

QString PrinterListModel::userDefaultDestination() const
{
    return d->userDefault;
}

PrinterListModel::Options PrinterListModel::options() const
{
    return d->options;
}

void PrinterListModel::setOptions(const QFlags<Option> &options)
{
    if (options == d->options) {
        return;
    }
    // The order may change with grouping, so rebuild instead of merging.
    beginResetModel();
    d->options = options;
    d->rows[PrintersRow] = d->visibleOfKind(d->all, false);
    d->rows[ClassesRow] = d->visibleOfKind(d->all, true);
    endResetModel();
}

void PrinterListModel::setDestinations(const QList<Destination> &destinations, const QString &userDefault)
{
    const bool defaultChanged = userDefault != d->userDefault;
    d->all = destinations;
    d->userDefault = userDefault;
    d->mergeKind(PrintersRow, d->visibleOfKind(destinations, false));
    d->mergeKind(ClassesRow, d->visibleOfKind(destinations, true));
    if (defaultChanged) {
        // The user's default is drawn on rows whose own data did not change.
        for (int kind = PrintersRow; kind <= ClassesRow; ++kind) {
            const QModelIndex parent = index(kind, 0);
            const int count = d->rows[kind].size();
            if (count > 0) {
                Q_EMIT dataChanged(index(0, 0, parent), index(count - 1, ColumnCount - 1, parent));
            }
        }
    }
}

// Only what the list shows and filters on: the whole attribute set would
// make every reload several times slower on a large server.
QStringList PrinterListModel::requestedAttributes()
{
    return {
        Attr::PrinterName,
        Attr::PrinterUriSupported,
        Attr::DeviceUri,
        Attr::PrinterInfo,
        Attr::PrinterLocation,
        Attr::PrinterOrganization,
        Attr::PrinterOrganizationalUnit,
        Attr::PrinterMakeAndModel,
        Attr::PrinterState,
        Attr::PrinterStateMessage,
        Attr::PrinterStateReasons,
        Attr::PrinterType,
        Attr::PrinterIsShared,
        Attr::PrinterIsAcceptingJobs,
        Attr::MemberUris,
        Attr::MemberNames,
    };
}

bool PrinterListModel::load()
{
    IppRequest request(CUPS_GET_PRINTERS);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_KEYWORD, Attr::RequestedAttributes.data(), requestedAttributes());
    const IppResponse response = request.doRequest(Connection::instance(), QStringLiteral("/"));

    QList<Destination> destinations;
    // A server without any queue answers "not found"; that is an empty list, not a failure.
    const bool ok = response.isOk() || response.statusCode() == IPP_STATUS_ERROR_NOT_FOUND;
    if (response.isOk()) {
        const QList<AttributeHash> groups = response.attributeGroups(IPP_TAG_PRINTER);
        destinations.reserve(groups.size());
        for (const AttributeHash &group : groups) {
            destinations.append(Destination(group));
        }
    } else if (ok) {
        Connection::setLastError(IPP_STATUS_OK, QString());
    } else {
        qCWarning(CUPS_CORE) << "could not list destinations:" << Connection::lastErrorString();
    }
    setDestinations(destinations, Lpoptions::defaultDestination());
    Q_EMIT loaded(ok);
    return ok;
}
} // namespace CUPS
