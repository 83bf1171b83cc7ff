#ifndef TELMAR_MACCONFIG_H
#define TELMAR_MACCONFIG_H

#include <QMap>
#include <QString>

namespace TelmarQt5
{
namespace MacConfig
{
enum class Kind { Level, Integrity, Category };

/// The configuration file in use: TELMAR_MAC_CONFIG or the system one.
QString filePath();

/// The enabled= setting of the configuration file; false when the file is
/// missing, unreadable or malformed.
bool fileEnablesMac();

/// The named values of @p kind, from the file's section for it, or the
/// built-in table when the file has none or cannot be used.
QMap<quint64, QString> names(Kind kind);

/// What a value that has no name shows.
QString unnamed(Kind kind, quint64 value);
} // namespace MacConfig
} // namespace TelmarQt5

#endif
