#ifndef CUPS_JOB_H
#define CUPS_JOB_H

#include "norvikprintcore_export.h"

#include <QHash>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <cups/ipp.h>

namespace CUPS
{
/// One print job, as its IPP attributes describe it.
class NORVIKPRINTCORE_EXPORT Job
{
public:
    Job() = default;
    explicit Job(const QHash<QString, QVariant> &attributes);

    int id() const;
    /// IPP_JSTATE_PENDING (3) ... IPP_JSTATE_COMPLETED (9); 0 when unknown.
    ipp_jstate_t state() const;
    QString destinationUri() const;
    /// The last path element of the destination URI.
    QString destinationName() const;
    QString holdUntil() const;
    bool markingRequired() const;
    bool isEmpty() const;
    QVariant attributeValue(const QString &name, const QVariant &defaultValue = QVariant()) const;
    QHash<QString, QVariant> attributes() const;

    bool operator==(const Job &other) const;

private:
    QHash<QString, QVariant> m_attributes;
};
} // namespace CUPS

Q_DECLARE_METATYPE(CUPS::Job)

#endif
