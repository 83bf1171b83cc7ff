#include "optionsdata.h"

#include <attributes.h>

using namespace CUPS;

class OptionsDataPrivate
{
public:
    QHash<QString, QVariant> available;
    QHash<QString, QVariant> current;
};

OptionsData::OptionsData()
    : d(new OptionsDataPrivate)
{
}

OptionsData::OptionsData(const OptionsData &other)
    : d(new OptionsDataPrivate(*other.d))
{
}

OptionsData &OptionsData::operator=(const OptionsData &other)
{
    if (this != &other) {
        *d = *other.d;
    }
    return *this;
}

OptionsData::~OptionsData() = default;

QVariant OptionsData::currentData(const QString &name) const
{
    return d->current.value(name);
}

QVariant OptionsData::availableData(const QString &name) const
{
    return d->available.value(name);
}

void OptionsData::setCurrentData(const QString &name, const QVariant &value)
{
    d->current.insert(name, value);
}

void OptionsData::setAvailableData(const QString &name, const QVariant &value)
{
    d->available.insert(name, value);
}

QHash<QString, QVariant> OptionsData::currentHashData() const
{
    return d->current;
}

QHash<QString, QVariant> OptionsData::availableHashData() const
{
    return d->available;
}

#define OPTIONS_NAME(accessor, attribute)                                                                                                            \
    QString OptionsData::accessor()                                                                                                                  \
    {                                                                                                                                                \
        return QString(attribute);                                                                                                                   \
    }

OPTIONS_NAME(pageSizePropertyName, Attr::Media)
OPTIONS_NAME(pageSizeDefaultPropertyName, Attr::MediaDefault)
OPTIONS_NAME(pagesPerSheetPropertyName, Attr::NumberUp)
OPTIONS_NAME(pagesPerSheetDefaultPropertyName, Attr::NumberUpDefault)
OPTIONS_NAME(duplexPropertyName, Attr::Sides)
OPTIONS_NAME(duplexDefaultPropertyName, Attr::SidesDefault)
OPTIONS_NAME(orientationPropertyName, Attr::OrientationRequested)
OPTIONS_NAME(orientationDefaultPropertyName, Attr::OrientationRequestedDefault)
OPTIONS_NAME(jobPriorityPropertyName, Attr::JobPriority)
OPTIONS_NAME(copiesPropertyName, Attr::Copies)
OPTIONS_NAME(copiesDefaultPropertyName, Attr::CopiesDefault)
OPTIONS_NAME(jobHoldUntilPropertyName, Attr::JobHoldUntil)
OPTIONS_NAME(jobHoldUntilDefaultPropertyName, Attr::JobHoldUntilDefault)
OPTIONS_NAME(jobSheetsPropertyName, Attr::JobSheets)
OPTIONS_NAME(jobSheetsDefaultPropertyName, Attr::JobSheetsDefault)
OPTIONS_NAME(jobSheetsStartPropertyName, QLatin1String("job-sheets-start"))
OPTIONS_NAME(jobSheetsEndPropertyName, QLatin1String("job-sheets-end"))
OPTIONS_NAME(kvtFilenamePropertyName, QLatin1String("kvt-filename"))
OPTIONS_NAME(finishingsPropertyName, Attr::Finishings)
OPTIONS_NAME(finishingsDefaultPropertyName, Attr::FinishingsDefault)
OPTIONS_NAME(pageTopDefaultAttributeName, Attr::PageTopDefault)
OPTIONS_NAME(pageBottomDefaultAttributeName, Attr::PageBottomDefault)
OPTIONS_NAME(pageLeftDefaultAttributeName, Attr::PageLeftDefault)
OPTIONS_NAME(pageRightDefaultAttributeName, Attr::PageRightDefault)
OPTIONS_NAME(fitToPageDefaultAttributeName, Attr::FitToPageDefault)
OPTIONS_NAME(userNameAllowedAttributeName, Attr::RequestingUserNameAllowed)
OPTIONS_NAME(userNameDeniedAttributeName, Attr::RequestingUserNameDenied)
OPTIONS_NAME(jobPriorityAttributeName, Attr::JobPriority)
OPTIONS_NAME(jobPriorityDefaultAttributeName, Attr::JobPriorityDefault)
OPTIONS_NAME(errorPolicySupportedAttributeName, Attr::PrinterErrorPolicySupported)
OPTIONS_NAME(errorPolicyAttributeName, Attr::PrinterErrorPolicy)
OPTIONS_NAME(opPolicySupportedAttributeName, Attr::PrinterOpPolicySupported)
OPTIONS_NAME(opPolicyAttributeName, Attr::PrinterOpPolicy)
OPTIONS_NAME(uriSupportedAttributeName, Attr::PrinterUriSupported)
OPTIONS_NAME(authInfoRequiredAttributeName, Attr::AuthInfoRequired)
OPTIONS_NAME(pdfTopsRendererDefaultAttributeName, Attr::PdftopsRendererDefault)
OPTIONS_NAME(uriAttributeName, Attr::PrinterUri)

#undef OPTIONS_NAME
