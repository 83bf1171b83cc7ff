#ifndef CUPS_WIZARDFIELDS_H
#define CUPS_WIZARDFIELDS_H

#include <attributes.h>

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
constexpr QLatin1String IsPrinterQueue = latin1("isPrinterQueue");
constexpr QLatin1String IsPrinterManualQueue = latin1("isPrinterManualQueue");
constexpr QLatin1String IsClassQueue = latin1("isClassQueue");
// AutodetectSelectionPage
constexpr QLatin1String IsAutodetectedPrinterSelected = latin1("isAutodetectedPrinterSelected");
constexpr QLatin1String PrinterMakeAndModel = latin1("printerMakeAndModel");
constexpr QLatin1String DeviceId = latin1("deviceId");
// ClassMembersPage
constexpr QLatin1String ClassMembers = latin1("classMembers");
constexpr QLatin1String MembersEdit = latin1("membersEdit");
// InfoDriverPage; the queue name is registered with the mandatory mark.
constexpr QLatin1String QueueName = latin1("queueName");
constexpr QLatin1String QueueDescription = latin1("queueDescription");
constexpr QLatin1String DeviceUri = latin1("deviceURI");
constexpr QLatin1String QueueLocation = latin1("queueLocation");
constexpr QLatin1String QueueOrganization = latin1("queueOrganization");
constexpr QLatin1String QueueOrganizationalUnit = latin1("queueOrganizationalUnit");
constexpr QLatin1String DeviceDriver = latin1("deviceDriver");
constexpr QLatin1String QueueShared = latin1("queueShared");
constexpr QLatin1String GeneralEdit = latin1("generalEdit");
constexpr QLatin1String BackendEdit = latin1("backendEdit");
constexpr QLatin1String DriverEdit = latin1("driverEdit");
} // namespace Field

/// The mark that makes a registered field mandatory.
constexpr QLatin1Char Mandatory('*');
} // namespace CUPS::Wizard

#endif
