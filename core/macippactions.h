#ifndef CUPS_MACIPPACTIONS_H
#define CUPS_MACIPPACTIONS_H

#include "norvikprintcore_export.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace CUPS
{
class MacIppActionsPrivate;

/// One mandatory attribute of a job as the server lists it.
struct MacAttributeEntry {
    enum Mode {
        Hidden = 0,
        Optional = 2, ///< shown, may stay empty; every other mode is shown and required
    };

    QString name;
    QString title;
    QString value;
    int mode = Hidden;
};

/// What the server tells about a job's mandatory attributes and the user's rights on it.
struct MacJobInfo {
    enum Permission {
        ChangeAttributes = 0x5000,
        Mark = 0x5001,
    };

    /// False when the server could not be asked; everything else is empty then.
    bool valid = false;
    QList<MacAttributeEntry> entries;
    QString markerFont;
    QStringList fonts;
    QSet<int> permissions;
};

/**
 * Server operations of mandatory access control (MAC). Stock CUPS has none
 * of the job operations: they are vendor operations of a MAC-enabled
 * scheduler, in the vendor range above CUPS' own (0x4001-0x4030).
 *
 * Every request carries "requesting-user-name" (the connection's user) and
 * goes through the core Connection. A job is named by "job-uri"
 * ("ipp://localhost/jobs/ID"); a printer argument is a queue name or a
 * printer URI. Each call returns false (or an empty result) on failure, and
 * then Connection::lastErrorString() holds the server's message (its
 * "status-message") or why no answer came.
 *
 * | Code   | Operation              | Resource | Attributes in                                       | Attributes out |
 * |--------|------------------------|----------|-----------------------------------------------------|----------------|
 * | 0x4100 | MAC-Lock-Job           | /jobs/   | op: job-uri                                         | - |
 * | 0x4101 | MAC-Unlock-Job         | /jobs/   | op: job-uri                                         | - |
 * | 0x4102 | MAC-Get-Job-Info       | /jobs/   | op: job-uri                                         | job group: mac-attribute-entry (1setOf collection of mac-attribute-name name, mac-attribute-title text, mac-attribute-value text, mac-attribute-mode integer), mac-marker-font (name, absent when none), mac-marker-fonts-supported (1setOf name), mac-user-permissions (1setOf integer, see MacJobInfo::Permission) |
 * | 0x4103 | MAC-Set-Job-Attributes | /jobs/   | op: job-uri; job group: one text attribute per mandatory attribute name, and mac-marker-font | - |
 * | 0x4104 | MAC-Mark-Job           | /jobs/   | op: job-uri; job group: as MAC-Set-Job-Attributes, plus page-ranges (1setOf rangeOfInteger) when pages were chosen | job group: mac-derived-job-ids (1setOf integer) |
 * | 0x4105 | MAC-Get-Journal        | /admin/  | op: the search keys: job-id and first-index (integer, 1-based, 30 records a page), operator (keyword AND or OR), every other key (an attribute name or a time-at-...-range of "FROM-TO" epoch seconds) as text | op: mac-journal-count (integer, the number of matches in all); one job group per record of the page |
 *
 * The server answers each with a status: successful-ok, or an error status
 * with a "status-message" (client-error-not-found for an unknown job or
 * printer, client-error-forbidden when the user's permissions forbid it,
 * client-error-not-possible for a job that is already locked or not locked).
 */
class NORVIKPRINTCORE_EXPORT MacIppActions
{
public:
    enum Operation {
        LockJob = 0x4100,
        UnlockJob = 0x4101,
        GetJobInfo = 0x4102,
        SetJobAttributes = 0x4103,
        MarkJob = 0x4104,
        GetJournal = 0x4105,
    };

    static MacIppActions *instance();
    ~MacIppActions();

    MacIppActions(const MacIppActions &) = delete;
    MacIppActions &operator=(const MacIppActions &) = delete;

    /// Keeps others from changing or marking the job until it is unlocked; fails when it is locked already.
    bool lockJob(int jobId);
    bool unlockJob(int jobId);
    MacJobInfo getMacInfo(int jobId);
    bool setJobMacAttrs(int jobId, const QHash<QString, QString> &attributes);
    /**
     * Marks the job's document with the attributes, printing pageRanges
     * ("1-5,8"; empty for all pages). Returns the IDs of the jobs the server
     * derived from it, or an empty list on failure (a malformed page range
     * fails before anything is sent).
     */
    QList<int> markJob(int jobId, const QHash<QString, QString> &attributes, const QString &pageRanges);
    /**
     * Searches the marking journal. request holds the search keys (see the
     * table above), "first-index" for a later page. Fills records with one
     * attribute hash per record, at most one page; the first record also
     * carries "count", the number of matches in all.
     */
    bool getJournal(const QHash<QString, QString> &request, QList<QHash<QString, QVariant>> *records);

    /// Parses "1-5,8" into (first, last) pairs; false for anything else but an empty text.
    static bool parsePageRanges(const QString &text, QList<QPair<int, int>> *ranges);

private:
    MacIppActions();
    std::unique_ptr<MacIppActionsPrivate> const d;
};
} // namespace CUPS

#endif
