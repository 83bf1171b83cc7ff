#ifndef CUPS_JOB_H
#define CUPS_JOB_H

#include "norvikprintcore_export.h"

#include <QHash>
#include <QMetaType>
#include <QString>
#include <QVariant>

namespace CUPS
{
/// One print job, as its IPP attributes describe it.
class NORVIKPRINTCORE_EXPORT Job
{
public:
    Job() = default;
    explicit Job(const QHash<QString, QVariant> &attributes);

    int id() const;
    /// ipp_jstate_e: 3 pending ... 9 completed; 0 when unknown.
    int state() const;
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
