#ifndef VESKADMIN_PACKAGEMANAGER_H
#define VESKADMIN_PACKAGEMANAGER_H

#include "veskadminpackage_export.h"

#include <QString>

namespace VeskAdmin
{
/**
 * The system's packages: whether one is installed, read from the dpkg
 * database, and the package manager opened to install one.
 */
class VESKADMINPACKAGE_EXPORT PackageManager
{
public:
    /**
     * True when the package's line in the installed-package list matches
     * pattern, a regular expression in which %1 stands for the package name
     * ("ii\\s%1": wanted and installed). Each package is one line as
     * "dpkg -l" starts it: the wanted and current state letters, one blank,
     * the name. package may name an architecture ("libc6:i386"); without one,
     * a line of any architecture counts. False for an unknown package, an
     * unreadable database or a package argument that is no Debian package name.
     */
    static bool isPackageInstalled(const QString &package, const QString &pattern);
    /**
     * Opens the package manager (synaptic-pkexec, else synaptic) with package
     * marked for installation; with wait, returns only when it closed. False
     * when no package manager is installed, it could not be started, package
     * is no Debian package name, or, with wait, it ended with an error.
     */
    static bool runSynapticWithPackageSelected(const QString &package, bool wait);

    /// The dpkg status file read by isPackageInstalled(); tests point it
    /// elsewhere, an empty path restores /var/lib/dpkg/status.
    static void setStatusFile(const QString &path);
};
} // namespace VeskAdmin

#endif
