#include "printerrequest.h"

#include "attributes.h"
#include "connection.h"
#include "utils.h"

namespace CUPS
{
const QString AdminResource = QStringLiteral("/admin/");

IppRequest printerRequest(ipp_op_t op, const QString &printer)
{
    IppRequest request(op);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), Utils::printerUri(printer));
    return request;
}

bool checkPrinter(const QString &printer)
{
    if (printer.isEmpty()) {
        Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("No printer or class given"));
        return false;
    }
    return true;
}

bool sendAdminRequest(ipp_op_t op, const QString &printer)
{
    return checkPrinter(printer) && printerRequest(op, printer).doRequest(Connection::instance(), AdminResource).isOk();
}
} // namespace CUPS
