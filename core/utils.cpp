#include "utils.h"

#include "attributes.h"
#include "translation.h"

#include <cups/cups.h>

namespace CUPS::Utils
{
const QList<QPair<QString, QString>> &attributeNames()
{
    // Built once, on first use, after the application's language is known.
    static const QList<QPair<QString, QString>> names = {
        {Attr::JobId, translated("Job ID")},
        {Attr::JobName, translated("Name")},
        {Attr::JobOriginatingUserName, translated("User")},
        {Attr::JobState, translated("Status")},
        {Attr::JobStateReasons, translated("Status reasons")},
        {Attr::JobPrinterUri, translated("Printer")},
        {Attr::JobPriority, translated("Priority")},
        {Attr::JobKOctets, translated("Size (KB)")},
        {Attr::JobMediaSheetsCompleted, translated("Sheets printed")},
        {Attr::JobHoldUntil, translated("Hold until")},
        {Attr::TimeAtCreation, translated("Created")},
        {Attr::TimeAtProcessing, translated("Processing started")},
        {Attr::TimeAtCompleted, translated("Completed")},
        {Attr::Copies, translated("Copies")},
        {Attr::NumberUp, translated("Pages per sheet")},
        {Attr::Sides, translated("Sides")},
        {Attr::Media, translated("Media")},
        {Attr::PageRanges, translated("Page ranges")},
        {Attr::JobOriginatingHostName, translated("Host")},
        {Attr::PrinterName, translated("Printer name")},
        {Attr::PrinterInfo, translated("Description")},
        {Attr::PrinterLocation, translated("Location")},
        {Attr::PrinterMakeAndModel, translated("Make and model")},
        {Attr::PrinterState, translated("Printer state")},
        {Attr::PrinterStateMessage, translated("State message")},
        {Attr::DeviceUri, translated("Device URI")},
        {Attr::PrinterIsShared, translated("Shared")},
        {Attr::PrinterIsAcceptingJobs, translated("Accepting jobs")},
        {Attr::JobUri, translated("Job URI")},
        {Attr::JobImpressionsCompleted, translated("Pages printed")},
        {Attr::MacMarkingRequired, translated("Marking required")},
        // The job attributes of systems with mandatory access control.
        {Attr::MacJobMacLevelName, translated("Level")},
        {Attr::MacJobMacIlevelName, translated("Integrity level")},
        {Attr::MacJobMacCategoryName, translated("Categories")},
        {Attr::MacDistribution, translated("Distribution")},
        {Attr::MacInvNum, translated("Inventory number")},
        {Attr::MacOwnerPhone, translated("Owner phone")},
        {Attr::MacWorkplaceId, translated("Workplace")},
        {Attr::MacJobMacLevelReason, translated("Level reason")},
        {Attr::MacJobUserFullName, translated("User full name")},
        {Attr::MacJobOriginatingUserFullName, translated("Originating user full name")},
    };
    return names;
}

QString attributeTitle(const QString &name)
{
    for (const auto &pair : attributeNames()) {
        if (pair.first == name) {
            return pair.second;
        }
    }
    return name;
}

QString printerUri(const QString &nameOrUri)
{
    if (nameOrUri.contains(QLatin1String("://"))) {
        return nameOrUri;
    }
    // cupsd finds classes under /printers/ as well and looks only at the path,
    // so no server or port (which libcups keeps per thread) goes in.
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", 0, "/printers/%s", nameOrUri.toUtf8().constData());
    return QString::fromUtf8(uri);
}

QString serverRoot()
{
    const QString root = qEnvironmentVariable("CUPS_SERVERROOT");
    return root.isEmpty() ? QStringLiteral("/etc/cups") : root;
}

QVariant getAttribute(const QHash<QString, QVariant> &attributes, const QString &name, const QVariant &defaultValue)
{
    const auto it = attributes.constFind(name);
    if (it == attributes.cend()) {
        return defaultValue;
    }
    if (it->userType() != QMetaType::QVariantList) {
        return *it; // a single value stored as such
    }
    const QVariantList values = it->toList();
    return values.isEmpty() ? defaultValue : values.first();
}
} // namespace CUPS::Utils
