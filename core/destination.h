#ifndef CUPS_DESTINATION_H
#define CUPS_DESTINATION_H

#include "norvikprintcore_export.h"

#include <QHash>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace CUPS
{
/// One printer or class of the server, as its IPP attributes describe it.
class NORVIKPRINTCORE_EXPORT Destination
{
public:
    Destination() = default;
    explicit Destination(const QHash<QString, QVariant> &attributes);

    QString name() const;
    /// The printer or class URI on the server.
    QString uri() const;
    QString deviceUri() const;
    QString info() const;
    QString location() const;
    QString organization() const;
    QString organizationalUnit() const;
    QString makeAndModel() const;
    QString stateMessage() const;
    QStringList stateReasons() const;
    bool isClass() const;
    bool isShared() const;
    bool isAcceptingJobs() const;
    bool isEmpty() const;
    /// IPP printer state: 3 idle, 4 processing, 5 stopped; 0 when unknown.
    int state() const;
    /// libcups cups_ptype_t bits.
    uint type() const;
    QStringList memberUris() const;
    QStringList memberNames() const;

    QHash<QString, QVariant> attributes() const;
    /// First value of an attribute, or defaultValue.
    QVariant value(const QString &attribute, const QVariant &defaultValue = QVariant()) const;

    bool operator==(const Destination &other) const;
    bool operator!=(const Destination &other) const
    {
        return !(*this == other);
    }

private:
    QHash<QString, QVariant> m_attributes;
};
} // namespace CUPS

Q_DECLARE_METATYPE(CUPS::Destination)

#endif
