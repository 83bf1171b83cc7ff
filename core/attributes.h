#ifndef CUPS_ATTRIBUTES_H
#define CUPS_ATTRIBUTES_H

#include <QLatin1String>

namespace CUPS
{
/// A text constant as QLatin1String. Its own constructor measures the text
/// with strlen(), which only GCC evaluates at compile time; this also builds with clang.
template<int Size>
constexpr QLatin1String latin1(const char (&text)[Size])
{
    return QLatin1String(text, Size - 1);
}
} // namespace CUPS

// IPP attribute names, spelled once for the whole tree.
namespace CUPS::Attr
{
// Printers and classes
constexpr QLatin1String PrinterName = latin1("printer-name");
constexpr QLatin1String PrinterUriSupported = latin1("printer-uri-supported");
constexpr QLatin1String PrinterUri = latin1("printer-uri");
constexpr QLatin1String DeviceUri = latin1("device-uri");
constexpr QLatin1String PrinterInfo = latin1("printer-info");
constexpr QLatin1String PrinterLocation = latin1("printer-location");
constexpr QLatin1String PrinterOrganization = latin1("printer-organization");
constexpr QLatin1String PrinterOrganizationalUnit = latin1("printer-organizational-unit");
constexpr QLatin1String PrinterMakeAndModel = latin1("printer-make-and-model");
constexpr QLatin1String PrinterState = latin1("printer-state");
constexpr QLatin1String PrinterStateMessage = latin1("printer-state-message");
constexpr QLatin1String PrinterStateReasons = latin1("printer-state-reasons");
constexpr QLatin1String PrinterType = latin1("printer-type");
constexpr QLatin1String PrinterIsShared = latin1("printer-is-shared");
constexpr QLatin1String PrinterIsAcceptingJobs = latin1("printer-is-accepting-jobs");
constexpr QLatin1String MemberUris = latin1("member-uris");
constexpr QLatin1String MemberNames = latin1("member-names");
constexpr QLatin1String PrinterOpPolicy = latin1("printer-op-policy");
constexpr QLatin1String PrinterOpPolicySupported = latin1("printer-op-policy-supported");
constexpr QLatin1String MacPrinterMacMin = latin1("mac-printer-mac-min");
constexpr QLatin1String MacPrinterMacMax = latin1("mac-printer-mac-max");

// Jobs
constexpr QLatin1String JobId = latin1("job-id");
constexpr QLatin1String JobName = latin1("job-name");
constexpr QLatin1String JobState = latin1("job-state");
constexpr QLatin1String JobStateReasons = latin1("job-state-reasons");
constexpr QLatin1String JobPrinterUri = latin1("job-printer-uri");
constexpr QLatin1String JobOriginatingUserName = latin1("job-originating-user-name");
constexpr QLatin1String JobHoldUntil = latin1("job-hold-until");
constexpr QLatin1String JobPriority = latin1("job-priority");
constexpr QLatin1String JobKOctets = latin1("job-k-octets");
constexpr QLatin1String JobMediaSheetsCompleted = latin1("job-media-sheets-completed");
constexpr QLatin1String TimeAtCreation = latin1("time-at-creation");
constexpr QLatin1String TimeAtProcessing = latin1("time-at-processing");
constexpr QLatin1String TimeAtCompleted = latin1("time-at-completed");
constexpr QLatin1String MacMarkingRequired = latin1("mac-marking-required");
constexpr QLatin1String JobUri = latin1("job-uri");
constexpr QLatin1String PageRanges = latin1("page-ranges");

// Mandatory access control of jobs: marking and its journal
constexpr QLatin1String MacDistribution = latin1("mac-distribution");
constexpr QLatin1String MacInvNum = latin1("mac-inv-num");
constexpr QLatin1String MacOwnerPhone = latin1("mac-owner-phone");
constexpr QLatin1String MacWorkplaceId = latin1("mac-workplace-id");
constexpr QLatin1String MacJobMacLevelName = latin1("mac-job-mac-level-name");
constexpr QLatin1String MacJobMacLevelReason = latin1("mac-job-mac-level-reason");
constexpr QLatin1String MacJobUserName = latin1("mac-job-user-name");
constexpr QLatin1String MacMarkerFont = latin1("mac-marker-font");
constexpr QLatin1String MacMarkerFontsSupported = latin1("mac-marker-fonts-supported");
constexpr QLatin1String MacAttributeEntry = latin1("mac-attribute-entry");
constexpr QLatin1String MacAttributeName = latin1("mac-attribute-name");
constexpr QLatin1String MacAttributeTitle = latin1("mac-attribute-title");
constexpr QLatin1String MacAttributeValue = latin1("mac-attribute-value");
constexpr QLatin1String MacAttributeMode = latin1("mac-attribute-mode");
constexpr QLatin1String MacUserPermissions = latin1("mac-user-permissions");
constexpr QLatin1String MacDerivedJobIds = latin1("mac-derived-job-ids");
constexpr QLatin1String MacJournalCount = latin1("mac-journal-count");
// Keys of a journal search besides the attribute names it searches
constexpr QLatin1String FirstIndex = latin1("first-index");
constexpr QLatin1String Operator = latin1("operator");
// Set on the first journal record handed to callers: the number of matches in all
constexpr QLatin1String Count = latin1("count");

// Requests
constexpr QLatin1String RequestedAttributes = latin1("requested-attributes");
constexpr QLatin1String RequestingUserName = latin1("requesting-user-name");
constexpr QLatin1String StatusMessage = latin1("status-message");

// Devices and drivers
constexpr QLatin1String DeviceClass = latin1("device-class");
constexpr QLatin1String DeviceId = latin1("device-id");
constexpr QLatin1String DeviceInfo = latin1("device-info");
constexpr QLatin1String DeviceMakeAndModel = latin1("device-make-and-model");
constexpr QLatin1String DeviceLocation = latin1("device-location");
constexpr QLatin1String PpdDeviceId = latin1("ppd-device-id");
constexpr QLatin1String PpdName = latin1("ppd-name");
constexpr QLatin1String PpdMake = latin1("ppd-make");
constexpr QLatin1String PpdMakeAndModel = latin1("ppd-make-and-model");
constexpr QLatin1String PpdNaturalLanguage = latin1("ppd-natural-language");
constexpr QLatin1String Limit = latin1("limit");
constexpr QLatin1String Timeout = latin1("timeout");

// Job list and job operations
constexpr QLatin1String WhichJobs = latin1("which-jobs");
constexpr QLatin1String MyJobs = latin1("my-jobs");
constexpr QLatin1String PurgeJob = latin1("purge-job");
constexpr QLatin1String AuthInfo = latin1("auth-info");
constexpr QLatin1String AuthInfoRequired = latin1("auth-info-required");
constexpr QLatin1String OperationsSupported = latin1("operations-supported");
constexpr QLatin1String JobOriginatingHostName = latin1("job-originating-host-name");
constexpr QLatin1String Copies = latin1("copies");
constexpr QLatin1String NumberUp = latin1("number-up");
constexpr QLatin1String Sides = latin1("sides");
constexpr QLatin1String Media = latin1("media");
constexpr QLatin1String JobImpressionsCompleted = latin1("job-impressions-completed");

// Job attributes of systems with mandatory access control, besides the MAC names above
constexpr QLatin1String MacJobMacIlevelName = latin1("mac-job-mac-ilevel-name");
constexpr QLatin1String MacJobMacCategoryName = latin1("mac-job-mac-category-name");
constexpr QLatin1String MacJobUserFullName = latin1("mac-job-user-full-name");
constexpr QLatin1String MacJobOriginatingUserFullName = latin1("mac-job-originating-user-full-name");

// Marking journal search: time ranges and the paper size column
constexpr QLatin1String TimeAtCompletedRange = latin1("time-at-completed-range");
constexpr QLatin1String TimeAtCreationRange = latin1("time-at-creation-range");
constexpr QLatin1String TimeAtProcessingRange = latin1("time-at-processing-range");
constexpr QLatin1String PageSize = latin1("PageSize");
// Job-template defaults and policies of the destination options
constexpr QLatin1String MediaDefault = latin1("media-default");
constexpr QLatin1String NumberUpDefault = latin1("number-up-default");
constexpr QLatin1String SidesDefault = latin1("sides-default");
constexpr QLatin1String OrientationRequested = latin1("orientation-requested");
constexpr QLatin1String OrientationRequestedDefault = latin1("orientation-requested-default");
constexpr QLatin1String CopiesDefault = latin1("copies-default");
constexpr QLatin1String JobHoldUntilDefault = latin1("job-hold-until-default");
constexpr QLatin1String JobSheets = latin1("job-sheets");
constexpr QLatin1String JobSheetsDefault = latin1("job-sheets-default");
constexpr QLatin1String JobPriorityDefault = latin1("job-priority-default");
constexpr QLatin1String Finishings = latin1("finishings");
constexpr QLatin1String FinishingsDefault = latin1("finishings-default");
constexpr QLatin1String PageTopDefault = latin1("page-top-default");
constexpr QLatin1String PageBottomDefault = latin1("page-bottom-default");
constexpr QLatin1String PageLeftDefault = latin1("page-left-default");
constexpr QLatin1String PageRightDefault = latin1("page-right-default");
constexpr QLatin1String FitToPageDefault = latin1("fit-to-page-default");
constexpr QLatin1String RequestingUserNameAllowed = latin1("requesting-user-name-allowed");
constexpr QLatin1String RequestingUserNameDenied = latin1("requesting-user-name-denied");
constexpr QLatin1String PrinterErrorPolicy = latin1("printer-error-policy");
constexpr QLatin1String PrinterErrorPolicySupported = latin1("printer-error-policy-supported");
constexpr QLatin1String PdftopsRendererDefault = latin1("pdftops-renderer-default");

// Event subscriptions and their notifications
constexpr QLatin1String NotifyPullMethod = latin1("notify-pull-method");
constexpr QLatin1String NotifyEvents = latin1("notify-events");
constexpr QLatin1String NotifyLeaseDuration = latin1("notify-lease-duration");
constexpr QLatin1String NotifySubscriptionId = latin1("notify-subscription-id");
constexpr QLatin1String NotifySubscriptionIds = latin1("notify-subscription-ids");
constexpr QLatin1String NotifySequenceNumber = latin1("notify-sequence-number");
constexpr QLatin1String NotifySequenceNumbers = latin1("notify-sequence-numbers");
constexpr QLatin1String NotifySubscribedEvent = latin1("notify-subscribed-event");
constexpr QLatin1String MySubscriptions = latin1("my-subscriptions");
} // namespace CUPS::Attr

#endif
