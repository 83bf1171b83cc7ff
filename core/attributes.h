#ifndef CUPS_ATTRIBUTES_H
#define CUPS_ATTRIBUTES_H

#include <QLatin1String>

// IPP attribute names, spelled once for the whole tree.
namespace CUPS::Attr
{
// Printers and classes
constexpr QLatin1String PrinterName("printer-name");
constexpr QLatin1String PrinterUriSupported("printer-uri-supported");
constexpr QLatin1String PrinterUri("printer-uri");
constexpr QLatin1String DeviceUri("device-uri");
constexpr QLatin1String PrinterInfo("printer-info");
constexpr QLatin1String PrinterLocation("printer-location");
constexpr QLatin1String PrinterOrganization("printer-organization");
constexpr QLatin1String PrinterOrganizationalUnit("printer-organizational-unit");
constexpr QLatin1String PrinterMakeAndModel("printer-make-and-model");
constexpr QLatin1String PrinterState("printer-state");
constexpr QLatin1String PrinterStateMessage("printer-state-message");
constexpr QLatin1String PrinterStateReasons("printer-state-reasons");
constexpr QLatin1String PrinterType("printer-type");
constexpr QLatin1String PrinterIsShared("printer-is-shared");
constexpr QLatin1String PrinterIsAcceptingJobs("printer-is-accepting-jobs");
constexpr QLatin1String MemberUris("member-uris");
constexpr QLatin1String MemberNames("member-names");
constexpr QLatin1String PrinterOpPolicy("printer-op-policy");
constexpr QLatin1String PrinterOpPolicySupported("printer-op-policy-supported");
constexpr QLatin1String MacPrinterMacMin("mac-printer-mac-min");
constexpr QLatin1String MacPrinterMacMax("mac-printer-mac-max");

// Jobs
constexpr QLatin1String JobId("job-id");
constexpr QLatin1String JobName("job-name");
constexpr QLatin1String JobState("job-state");
constexpr QLatin1String JobStateReasons("job-state-reasons");
constexpr QLatin1String JobPrinterUri("job-printer-uri");
constexpr QLatin1String JobOriginatingUserName("job-originating-user-name");
constexpr QLatin1String JobHoldUntil("job-hold-until");
constexpr QLatin1String JobPriority("job-priority");
constexpr QLatin1String JobKOctets("job-k-octets");
constexpr QLatin1String JobMediaSheetsCompleted("job-media-sheets-completed");
constexpr QLatin1String TimeAtCreation("time-at-creation");
constexpr QLatin1String TimeAtProcessing("time-at-processing");
constexpr QLatin1String TimeAtCompleted("time-at-completed");
constexpr QLatin1String MacMarkingRequired("mac-marking-required");
constexpr QLatin1String JobUri("job-uri");
constexpr QLatin1String PageRanges("page-ranges");

// Mandatory access control of jobs: marking and its journal
constexpr QLatin1String MacDistribution("mac-distribution");
constexpr QLatin1String MacInvNum("mac-inv-num");
constexpr QLatin1String MacOwnerPhone("mac-owner-phone");
constexpr QLatin1String MacWorkplaceId("mac-workplace-id");
constexpr QLatin1String MacJobMacLevelName("mac-job-mac-level-name");
constexpr QLatin1String MacJobMacLevelReason("mac-job-mac-level-reason");
constexpr QLatin1String MacJobUserName("mac-job-user-name");
constexpr QLatin1String MacMarkerFont("mac-marker-font");
constexpr QLatin1String MacMarkerFontsSupported("mac-marker-fonts-supported");
constexpr QLatin1String MacAttributeEntry("mac-attribute-entry");
constexpr QLatin1String MacAttributeName("mac-attribute-name");
constexpr QLatin1String MacAttributeTitle("mac-attribute-title");
constexpr QLatin1String MacAttributeValue("mac-attribute-value");
constexpr QLatin1String MacAttributeMode("mac-attribute-mode");
constexpr QLatin1String MacUserPermissions("mac-user-permissions");
constexpr QLatin1String MacDerivedJobIds("mac-derived-job-ids");
constexpr QLatin1String MacJournalCount("mac-journal-count");
// Keys of a journal search besides the attribute names it searches
constexpr QLatin1String FirstIndex("first-index");
constexpr QLatin1String Operator("operator");
// Set on the first journal record handed to callers: the number of matches in all
constexpr QLatin1String Count("count");

// Requests
constexpr QLatin1String RequestedAttributes("requested-attributes");
constexpr QLatin1String RequestingUserName("requesting-user-name");
constexpr QLatin1String StatusMessage("status-message");

// Devices and drivers
constexpr QLatin1String DeviceClass("device-class");
constexpr QLatin1String DeviceId("device-id");
constexpr QLatin1String DeviceInfo("device-info");
constexpr QLatin1String DeviceMakeAndModel("device-make-and-model");
constexpr QLatin1String DeviceLocation("device-location");
constexpr QLatin1String PpdDeviceId("ppd-device-id");
constexpr QLatin1String PpdName("ppd-name");
constexpr QLatin1String PpdMake("ppd-make");
constexpr QLatin1String PpdMakeAndModel("ppd-make-and-model");
constexpr QLatin1String PpdNaturalLanguage("ppd-natural-language");
constexpr QLatin1String Limit("limit");
constexpr QLatin1String Timeout("timeout");

// Job list and job operations
constexpr QLatin1String WhichJobs("which-jobs");
constexpr QLatin1String MyJobs("my-jobs");
constexpr QLatin1String PurgeJob("purge-job");
constexpr QLatin1String AuthInfo("auth-info");
constexpr QLatin1String AuthInfoRequired("auth-info-required");
constexpr QLatin1String OperationsSupported("operations-supported");
constexpr QLatin1String JobOriginatingHostName("job-originating-host-name");
constexpr QLatin1String Copies("copies");
constexpr QLatin1String NumberUp("number-up");
constexpr QLatin1String Sides("sides");
constexpr QLatin1String Media("media");
constexpr QLatin1String JobImpressionsCompleted("job-impressions-completed");

// Job attributes of systems with mandatory access control, besides the MAC names above
constexpr QLatin1String MacJobMacIlevelName("mac-job-mac-ilevel-name");
constexpr QLatin1String MacJobMacCategoryName("mac-job-mac-category-name");
constexpr QLatin1String MacJobUserFullName("mac-job-user-full-name");
constexpr QLatin1String MacJobOriginatingUserFullName("mac-job-originating-user-full-name");

// Marking journal search: time ranges and the paper size column
constexpr QLatin1String TimeAtCompletedRange("time-at-completed-range");
constexpr QLatin1String TimeAtCreationRange("time-at-creation-range");
constexpr QLatin1String TimeAtProcessingRange("time-at-processing-range");
constexpr QLatin1String PageSize("PageSize");
// Job-template defaults and policies of the destination options
constexpr QLatin1String MediaDefault("media-default");
constexpr QLatin1String NumberUpDefault("number-up-default");
constexpr QLatin1String SidesDefault("sides-default");
constexpr QLatin1String OrientationRequested("orientation-requested");
constexpr QLatin1String OrientationRequestedDefault("orientation-requested-default");
constexpr QLatin1String CopiesDefault("copies-default");
constexpr QLatin1String JobHoldUntilDefault("job-hold-until-default");
constexpr QLatin1String JobSheets("job-sheets");
constexpr QLatin1String JobSheetsDefault("job-sheets-default");
constexpr QLatin1String JobPriorityDefault("job-priority-default");
constexpr QLatin1String Finishings("finishings");
constexpr QLatin1String FinishingsDefault("finishings-default");
constexpr QLatin1String PageTopDefault("page-top-default");
constexpr QLatin1String PageBottomDefault("page-bottom-default");
constexpr QLatin1String PageLeftDefault("page-left-default");
constexpr QLatin1String PageRightDefault("page-right-default");
constexpr QLatin1String FitToPageDefault("fit-to-page-default");
constexpr QLatin1String RequestingUserNameAllowed("requesting-user-name-allowed");
constexpr QLatin1String RequestingUserNameDenied("requesting-user-name-denied");
constexpr QLatin1String PrinterErrorPolicy("printer-error-policy");
constexpr QLatin1String PrinterErrorPolicySupported("printer-error-policy-supported");
constexpr QLatin1String PdftopsRendererDefault("pdftops-renderer-default");

// Event subscriptions and their notifications
constexpr QLatin1String NotifyPullMethod("notify-pull-method");
constexpr QLatin1String NotifyEvents("notify-events");
constexpr QLatin1String NotifyLeaseDuration("notify-lease-duration");
constexpr QLatin1String NotifySubscriptionId("notify-subscription-id");
constexpr QLatin1String NotifySubscriptionIds("notify-subscription-ids");
constexpr QLatin1String NotifySequenceNumber("notify-sequence-number");
constexpr QLatin1String NotifySequenceNumbers("notify-sequence-numbers");
constexpr QLatin1String NotifySubscribedEvent("notify-subscribed-event");
constexpr QLatin1String MySubscriptions("my-subscriptions");
} // namespace CUPS::Attr

#endif
