#ifndef CUPS_PRINTERLISTMODEL_H
#define CUPS_PRINTERLISTMODEL_H

#include "destination.h"
#include "norvikprintcore_export.h"

#include <QAbstractItemModel>
#include <QList>

#include <memory>

namespace CUPS
{
class PrinterListModelPrivate;

/**
 * The server's printers and classes as a two-level tree: row 0 holds the
 * printers, row 1 the classes, each destination a child of its kind.
 */
class NORVIKPRINTCORE_EXPORT PrinterListModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Option {
        ShowRemote = 0x1,
        ShowLocal = 0x2,
        ShowNotShared = 0x4,
        GroupByLocation = 0x8,
    };
    Q_DECLARE_FLAGS(Options, Option)
    Q_FLAG(Options)

    enum Column {
        NameColumn,
        StateColumn,
        LocationColumn,
        DescriptionColumn,
        ColumnCount
    };

    enum Role {
        DestinationRole = Qt::UserRole + 1,
        NameRole,
        UriRole,
        StateRole,
        TypeRole,
    };

    enum Kind {
        PrintersRow = 0,
        ClassesRow = 1,
    };

    explicit PrinterListModel(QObject *parent = nullptr);
    ~PrinterListModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    /// The destination of a row; an empty one for the kind rows and invalid indexes.
    Destination dest(const QModelIndex &index) const;
    /// The row of the destination with that name, or an invalid index when it is not shown.
    QModelIndex indexOf(const QString &name) const;
    /// The current user's own default destination (lpoptions), not the server's.
    QString userDefaultDestination() const;

    Options options() const;
    void setOptions(const QFlags<Option> &options);

    /// The attributes load() asks the server for.
    static QStringList requestedAttributes();

    /// Replaces the destinations as load() does after asking the server.
    /// Rows that stay keep their place; a changed row emits dataChanged.
    void setDestinations(const QList<Destination> &destinations, const QString &userDefault);

public Q_SLOTS:
    /// Asks the server for its destinations; false (and an empty list) on failure.
    bool load();

Q_SIGNALS:
    /// Emitted after every load(), successful or not.
    void loaded(bool ok);

private:
    friend class PrinterListModelPrivate;
    std::unique_ptr<PrinterListModelPrivate> const d;
};
} // namespace CUPS

Q_DECLARE_OPERATORS_FOR_FLAGS(CUPS::PrinterListModel::Options)

#endif
