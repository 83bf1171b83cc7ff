#ifndef CUPS_JOBIPPACTIONS_H
#define CUPS_JOBIPPACTIONS_H

#include "norvikprintcore_export.h"

#include <QString>

namespace CUPS
{
/**
 * Operations on the server's jobs, each one IPP request through Connection.
 * They return true on success; after a failure Connection::lastErrorString()
 * holds the server's message.
 */
class NORVIKPRINTCORE_EXPORT JobIppActions
{
public:
    static JobIppActions *instance();

    JobIppActions(const JobIppActions &) = delete;
    JobIppActions &operator=(const JobIppActions &) = delete;

    /// Purge-Jobs: cancels every job of the destination and drops its job history.
    bool purgeJobs(const QString &printerUri);

private:
    JobIppActions() = default;
};
} // namespace CUPS

#endif
