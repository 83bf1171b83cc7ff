#ifndef CUPS_PRINTERREQUEST_H
#define CUPS_PRINTERREQUEST_H

#include "ipprequest.h"

#include <QString>

// Requests addressed to one printer or class, shared by the core's printer,
// job and MAC operations. Internal to the core library.
namespace CUPS
{
/// Administrative operations go where cupsd's policy expects them, so a
/// remote server asks for the administrator's password.
extern const QString AdminResource;

/// A request for op with "printer-uri"; the URI may also be a bare name.
IppRequest printerRequest(ipp_op_t op, const QString &printer);
/// Records an error for an empty printer and returns false.
bool checkPrinter(const QString &printer);
/// Sends op for the printer to AdminResource; true on success.
bool sendAdminRequest(ipp_op_t op, const QString &printer);
} // namespace CUPS

#endif
