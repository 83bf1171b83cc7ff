#ifndef CUPS_JOBIPPACTIONS_H
#define CUPS_JOBIPPACTIONS_H

#include "norvikprintcore_export.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

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

    /// Cancel-Job: the job stops and stays in the history.
    bool cancelJob(const QString &printerUri, int jobId);
    /// Cancel-Job with purge-job: the job, its files and its history entry go.
    bool purgeJob(const QString &printerUri, int jobId);
    /// Restart-Job: a finished job prints again from its preserved files.
    bool restartJob(const QString &printerUri, int jobId);
    /// Hold-Job: the job waits until released.
    bool holdJob(const QString &printerUri, int jobId);
    /// Release-Job.
    bool releaseJob(const QString &printerUri, int jobId);
    /// CUPS-Move-Job: the job (by its "job-uri") moves to another destination.
    bool moveJob(const QString &jobUri, const QString &printerUri);
    /// Get-Job-Attributes for the named attributes, or all when names is empty.
    /// Empty after a failure.
    QHash<QString, QVariant> jobAttrs(const QString &printerUri, int jobId, const QStringList &names) const;
    /// Set-Job-Attributes: each value is sent with the type the job has for
    /// that attribute, a new one as integer, boolean or name by its text.
    /// Nothing to set is success without a request.
    bool setJobAttrs(const QString &printerUri, int jobId, const QHash<QString, QString> &attrs);
    /// CUPS-Authenticate-Job: credentials in the order the destination's
    /// "auth-info-required" names them; the job is released.
    bool authenticateJob(const QString &printerUri, int jobId, const QStringList &authInfo);

private:
    JobIppActions() = default;
};
} // namespace CUPS

#endif
