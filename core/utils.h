#ifndef CUPS_UTILS_H
#define CUPS_UTILS_H

#include "norvikprintcore_export.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

namespace CUPS::Utils
{
/// Known IPP attributes as (name, translated title) pairs, in a fixed order.
NORVIKPRINTCORE_EXPORT const QList<QPair<QString, QString>> &attributeNames();
/// The translated title of an attribute, or the name itself when it has none.
NORVIKPRINTCORE_EXPORT QString attributeTitle(const QString &name);
/// The server's URI of a printer or class given by name; a URI is kept as it is.
NORVIKPRINTCORE_EXPORT QString printerUri(const QString &nameOrUri);
/// libcups' configuration folder, as libcups finds it: CUPS_SERVERROOT, else /etc/cups.
NORVIKPRINTCORE_EXPORT QString serverRoot();
/// The first value of an attribute in an attribute hash, or defaultValue.
NORVIKPRINTCORE_EXPORT QVariant getAttribute(const QHash<QString, QVariant> &attributes,
                                             const QString &name,
                                             const QVariant &defaultValue = QVariant());
} // namespace CUPS::Utils

#endif
