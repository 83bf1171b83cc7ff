#ifndef OPTIONSDATA_H
#define OPTIONSDATA_H

#include "norvikprintwidgets_export.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>

class OptionsDataPrivate;

/**
 * What the destination options dialog knows about a printer or class: what
 * the server supports (available data) and what is set now (current data),
 * each keyed by attribute name. A copy owns copies of both.
 *
 * The static accessors are the only spelling of the attribute names the
 * dialog reads and writes.
 */
class NORVIKPRINTWIDGETS_EXPORT OptionsData
{
public:
    OptionsData();
    OptionsData(const OptionsData &other);
    OptionsData &operator=(const OptionsData &other);
    ~OptionsData();

    /// The value under name, or an invalid QVariant.
    QVariant currentData(const QString &name) const;
    QVariant availableData(const QString &name) const;
    void setCurrentData(const QString &name, const QVariant &value);
    void setAvailableData(const QString &name, const QVariant &value);
    QHash<QString, QVariant> currentHashData() const;
    QHash<QString, QVariant> availableHashData() const;

    static QString pageSizePropertyName();
    static QString pageSizeDefaultPropertyName();
    static QString pagesPerSheetPropertyName();
    static QString pagesPerSheetDefaultPropertyName();
    static QString duplexPropertyName();
    static QString duplexDefaultPropertyName();
    static QString orientationPropertyName();
    static QString orientationDefaultPropertyName();
    static QString jobPriorityPropertyName();
    static QString copiesPropertyName();
    static QString copiesDefaultPropertyName();
    static QString jobHoldUntilPropertyName();
    static QString jobHoldUntilDefaultPropertyName();
    static QString jobSheetsPropertyName();
    static QString jobSheetsDefaultPropertyName();
    static QString jobSheetsStartPropertyName();
    static QString jobSheetsEndPropertyName();
    /// Not an IPP name: the key of the local copy of the printer's PPD file.
    static QString kvtFilenamePropertyName();
    static QString finishingsPropertyName();
    static QString finishingsDefaultPropertyName();
    static QString pageTopDefaultAttributeName();
    static QString pageBottomDefaultAttributeName();
    static QString pageLeftDefaultAttributeName();
    static QString pageRightDefaultAttributeName();
    static QString fitToPageDefaultAttributeName();
    static QString userNameAllowedAttributeName();
    static QString userNameDeniedAttributeName();
    static QString jobPriorityAttributeName();
    static QString jobPriorityDefaultAttributeName();
    static QString errorPolicySupportedAttributeName();
    static QString errorPolicyAttributeName();
    static QString opPolicySupportedAttributeName();
    static QString opPolicyAttributeName();
    static QString uriSupportedAttributeName();
    static QString authInfoRequiredAttributeName();
    static QString pdfTopsRendererDefaultAttributeName();
    static QString uriAttributeName();

private:
    std::unique_ptr<OptionsDataPrivate> d;
};

Q_DECLARE_METATYPE(OptionsData)

#endif
