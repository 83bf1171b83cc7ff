#include "destination.h"

#include "attributes.h"
#include "utils.h"

#include <cups/cups.h>

namespace CUPS
{
namespace
{
QStringList stringList(const QVariant &values)
{
    QStringList list;
    const QVariantList items = values.toList();
    list.reserve(items.size());
    for (const QVariant &item : items) {
        list.append(item.toString());
    }
    return list;
}
} // namespace

Destination::Destination(const QHash<QString, QVariant> &attributes)
    : m_attributes(attributes)
{
}

QVariant Destination::value(const QString &attribute, const QVariant &defaultValue) const
{
    return Utils::getAttribute(m_attributes, attribute, defaultValue);
}

QString Destination::name() const
{
    return value(Attr::PrinterName).toString();
}

QString Destination::uri() const
{
    return value(Attr::PrinterUriSupported).toString();
}

QString Destination::deviceUri() const
{
    return value(Attr::DeviceUri).toString();
}

QString Destination::info() const
{
    return value(Attr::PrinterInfo).toString();
}

QString Destination::location() const
{
    return value(Attr::PrinterLocation).toString();
}

QString Destination::organization() const
{
    return value(Attr::PrinterOrganization).toString();
}

QString Destination::organizationalUnit() const
{
    return value(Attr::PrinterOrganizationalUnit).toString();
}

QString Destination::makeAndModel() const
{
    return value(Attr::PrinterMakeAndModel).toString();
}

QString Destination::stateMessage() const
{
    return value(Attr::PrinterStateMessage).toString();
}

QStringList Destination::stateReasons() const
{
    return stringList(m_attributes.value(Attr::PrinterStateReasons));
}

bool Destination::isClass() const
{
    return type() & CUPS_PRINTER_CLASS;
}

bool Destination::isShared() const
{
    return value(Attr::PrinterIsShared, false).toBool();
}

bool Destination::isAcceptingJobs() const
{
    return value(Attr::PrinterIsAcceptingJobs, false).toBool();
}

bool Destination::isEmpty() const
{
    return name().isEmpty();
}

int Destination::state() const
{
    return value(Attr::PrinterState, 0).toInt();
}

uint Destination::type() const
{
    return value(Attr::PrinterType, 0).toUInt();
}

QStringList Destination::memberUris() const
{
    return stringList(m_attributes.value(Attr::MemberUris));
}

QStringList Destination::memberNames() const
{
    return stringList(m_attributes.value(Attr::MemberNames));
}

QHash<QString, QVariant> Destination::attributes() const
{
    return m_attributes;
}

bool Destination::operator==(const Destination &other) const
{
    return m_attributes == other.m_attributes;
}
} // namespace CUPS
