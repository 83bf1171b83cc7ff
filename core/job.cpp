#include "job.h"

#include "attributes.h"
#include "utils.h"

namespace CUPS
{
Job::Job(const QHash<QString, QVariant> &attributes)
    : m_attributes(attributes)
{
}

QVariant Job::attributeValue(const QString &name, const QVariant &defaultValue) const
{
    return Utils::getAttribute(m_attributes, name, defaultValue);
}

int Job::id() const
{
    return attributeValue(Attr::JobId, 0).toInt();
}

ipp_jstate_t Job::state() const
{
    return static_cast<ipp_jstate_t>(attributeValue(Attr::JobState, 0).toInt());
}

QString Job::destinationUri() const
{
    return attributeValue(Attr::JobPrinterUri).toString();
}

QString Job::destinationName() const
{
    const QString uri = destinationUri();
    return uri.mid(uri.lastIndexOf(QLatin1Char('/')) + 1);
}

QString Job::holdUntil() const
{
    return attributeValue(Attr::JobHoldUntil).toString();
}

bool Job::markingRequired() const
{
    return attributeValue(Attr::MacMarkingRequired, false).toBool();
}

bool Job::isEmpty() const
{
    return id() <= 0;
}

QHash<QString, QVariant> Job::attributes() const
{
    return m_attributes;
}

bool Job::operator==(const Job &other) const
{
    return m_attributes == other.m_attributes;
}
} // namespace CUPS
