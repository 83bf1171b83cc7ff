#include "printerlistmodelwithicons.h"

#include <veskicon.h>

#include <QIcon>

#include <cups/cups.h>

namespace CUPS
{
QVariant PrinterListModelWithIcons::data(const QModelIndex &index, int role) const
{
    // One state icon per row, in front of the name; the other columns are text.
    if (role != Qt::DecorationRole || index.column() != NameColumn) {
        return PrinterListModel::data(index, role);
    }
    const QModelIndex parent = index.parent();
    if (!parent.isValid()) {
        if (index.row() == PrintersRow) {
            return QIcon::fromTheme(QStringLiteral("printer"));
        }
        if (index.row() == ClassesRow) {
            return QIcon::fromTheme(QStringLiteral("printer-class"));
        }
    } else if (parent.row() == PrintersRow) {
        return destinationIcon(dest(index), QStringLiteral("printer"));
    } else if (parent.row() == ClassesRow) {
        return destinationIcon(dest(index), QStringLiteral("printer-class"));
    }
    return PrinterListModel::data(index, role);
}

QIcon PrinterListModelWithIcons::destinationIcon(const Destination &dest, const QString &themeName) const
{
    QMap<Qt::Corner, QString> emblems;
    if (dest.type() & CUPS_PRINTER_REMOTE) {
        emblems.insert(Qt::TopLeftCorner, QStringLiteral("emblem-symbolic-link"));
    }
    if (dest.state() == IPP_PSTATE_STOPPED) {
        emblems.insert(Qt::TopRightCorner, QStringLiteral("emblem-unreadable"));
    }
    if (dest.state() == IPP_PSTATE_PROCESSING) {
        emblems.insert(Qt::BottomLeftCorner, QStringLiteral("emblem-system"));
    }
    if (dest.type() & CUPS_PRINTER_DEFAULT) {
        emblems.insert(Qt::BottomRightCorner, QStringLiteral("emblem-mounted"));
    }
    QIcon icon = VeskIcon::fromTheme(themeName, emblems, QIcon());
    if (dest.name() == userDefaultDestination()) {
        icon = VeskIcon::withEmblems(icon, {Qt::TopLeftCorner, QStringLiteral("emblem-favorite")});
    }
    return icon;
}
} // namespace CUPS
