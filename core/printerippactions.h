#ifndef CUPS_PRINTERIPPACTIONS_H
#define CUPS_PRINTERIPPACTIONS_H

#include "destination.h"
#include "norvikprintcore_export.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace CUPS
{
/**
 * Operations on the server's printers and classes, each one IPP request
 * through Connection. Changing operations return true on success; after a
 * failure Connection::lastErrorString() holds the server's message.
 *
 * Destinations are named by their URI on the server (Destination::uri());
 * a bare name is taken as well.
 */
class NORVIKPRINTCORE_EXPORT PrinterIppActions
{
public:
    static PrinterIppActions *instance();

    PrinterIppActions(const PrinterIppActions &) = delete;
    PrinterIppActions &operator=(const PrinterIppActions &) = delete;

    /// CUPS-Delete-Printer.
    bool deletePrinter(const QString &uri);
    /// CUPS-Delete-Class.
    bool deleteClass(const QString &uri);

    /// Get-Printer-Attributes for the named attributes, or every attribute when
    /// names is empty. Empty after a failure.
    QHash<QString, QVariant> destAttrs(const QString &uri, const QStringList &names) const;
    /// The printer's current IPP state (3 idle, 4 processing, 5 stopped) as the
    /// server reports it now; 0 when it cannot be asked.
    int destState(const QString &uri) const;

    /// Pause-Printer: the printer stops processing jobs.
    bool pausePrinter(const QString &uri);
    /// Resume-Printer.
    bool resumePrinter(const QString &uri);
    /// CUPS-Accept-Jobs.
    bool acceptJobs(const QString &uri);
    /// CUPS-Reject-Jobs; a non-empty reason becomes the printer's state message.
    bool rejectJobs(const QString &uri, const QString &reason);

    /// Makes the destination the calling user's default, as "lpoptions -d" does:
    /// the "Default" line of ~/.cups/lpoptions, every other line kept. Fails for
    /// a destination the server does not know.
    bool setUserDefaultDestination(const QString &name);
    /// CUPS-Set-Default: the server's default for everybody.
    bool setServerDefaultDestination(const QString &uri);

    /// The printer's operation policy ("printer-op-policy"), one of the
    /// server's policies.
    bool setPrinterPolicy(const QString &uri, const QString &policy);
    /// The lowest and highest security label of the jobs the printer takes,
    /// as label texts ("mac-printer-mac-min", "mac-printer-mac-max"); only a
    /// scheduler with mandatory access control knows them.
    bool setPrinterMac(const QString &uri, const QString &min, const QString &max);

    /// Prints CUPS's standard test page on the named destination. Returns the
    /// job id, or -1 with error filled with the reason.
    int printTestPage(const QString &name, QString &error);

    /// The server's printers and classes (CUPS-Get-Printers), in the server's
    /// order. ok, when given, says whether the server answered; a server
    /// without queues answers with an empty list.
    QList<Destination> getDestinations(bool *ok) const;
    /**
     * CUPS-Add-Modify-Printer: creates the printer, or updates the queue of
     * that name. driver is a PPD name from the server's list, "everywhere"
     * for IPP Everywhere, the absolute path of a local PPD file (sent along),
     * or empty to keep the queue's present driver (a new queue without one is
     * a raw queue). A new queue is enabled and accepts jobs and needs a device
     * URI; an existing one keeps its state, its device when deviceUri is
     * empty, and takes every text given, an empty one clearing the server's.
     * Fails without a request for an invalid name or an unreadable PPD file.
     */
    bool addPrinter(const QString &name,
                    const QString &deviceUri,
                    const QString &driver,
                    const QString &location,
                    const QString &description,
                    const QString &organization,
                    const QString &organizationalUnit,
                    bool shared);
    /// CUPS-Add-Modify-Class: creates the class, or updates the class of that
    /// name, with the given member printer URIs (or names), at least one. New
    /// and existing classes are treated as addPrinter() treats queues.
    bool addClass(const QString &name,
                  const QStringList &memberUris,
                  const QString &location,
                  const QString &description,
                  const QString &organization,
                  const QString &organizationalUnit,
                  bool shared);

    /// A local copy of the named printer's PPD file, which the caller owns and
    /// deletes; empty when the printer has none or it cannot be fetched.
    QString getPPD(const QString &name) const;
    /// Gives the printer newName a copy of oldName's PPD (a rename keeps its driver).
    bool copyPPD(const QString &oldName, const QString &newName);

private:
    PrinterIppActions() = default;
};
} // namespace CUPS

#endif
