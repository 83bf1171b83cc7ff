#ifndef CUPS_WIZARDFIELDS_H
#define CUPS_WIZARDFIELDS_H

#include <QLatin1String>

// The setup wizard's pages never call each other: they hand data on through
// these named fields, and the frame picks the next page from them. Each field
// is registered by exactly one page; the comment names it.
namespace CUPS::Wizard
{
/// Page ids, given to QWizard::setPage() in this order.
enum PageId {
    PrinterClassPageId = 0,
    InfoDriverPageId = 1,
    AutodetectSelectionPageId = 2,
    ClassMembersPageId = 3,
    SelectBackendPageId = 4,
};

namespace Field
{
// PrinterClassPage
constexpr QLatin1String IsPrinterQueue("isPrinterQueue");
constexpr QLatin1String IsPrinterManualQueue("isPrinterManualQueue");
constexpr QLatin1String IsClassQueue("isClassQueue");
// AutodetectSelectionPage
constexpr QLatin1String IsAutodetectedPrinterSelected("isAutodetectedPrinterSelected");
constexpr QLatin1String PrinterMakeAndModel("printerMakeAndModel");
constexpr QLatin1String DeviceId("deviceId");
// ClassMembersPage
constexpr QLatin1String ClassMembers("classMembers");
constexpr QLatin1String MembersEdit("membersEdit");
// InfoDriverPage; the queue name is registered with the mandatory mark.
constexpr QLatin1String QueueName("queueName");
constexpr QLatin1String QueueDescription("queueDescription");
constexpr QLatin1String DeviceUri("deviceURI");
constexpr QLatin1String QueueLocation("queueLocation");
constexpr QLatin1String QueueOrganization("queueOrganization");
constexpr QLatin1String QueueOrganizationalUnit("queueOrganizationalUnit");
constexpr QLatin1String DeviceDriver("deviceDriver");
constexpr QLatin1String QueueShared("queueShared");
constexpr QLatin1String GeneralEdit("generalEdit");
constexpr QLatin1String BackendEdit("backendEdit");
constexpr QLatin1String DriverEdit("driverEdit");
} // namespace Field

/// The mark that makes a registered field mandatory.
constexpr QLatin1Char Mandatory('*');
} // namespace CUPS::Wizard

#endif
