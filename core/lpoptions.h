#ifndef CUPS_LPOPTIONS_H
#define CUPS_LPOPTIONS_H

#include <QString>

// The lpoptions files, where libcups keeps each user's default destination
// and options: ~/.cups/lpoptions over the server root's lpoptions. Internal
// to the core library.
namespace CUPS::Lpoptions
{
/// The destination name of the user's "Default" line, or an empty string.
QString defaultDestination();
/// Makes name the "Default" of the user's own file, as "lpoptions -d" does;
/// every option, instance and comment stays. Records an error on failure.
bool setDefaultDestination(const QString &name);
} // namespace CUPS::Lpoptions

#endif
