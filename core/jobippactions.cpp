#include "jobippactions.h"

#include "attributes.h"
#include "connection.h"
#include "ipprequest.h"

namespace CUPS
{
JobIppActions *JobIppActions::instance()
{
    static JobIppActions actions;
    return &actions;
}

bool JobIppActions::purgeJobs(const QString &printerUri)
{
    if (printerUri.isEmpty()) {
        Connection::setLastError(IPP_STATUS_ERROR_BAD_REQUEST, QStringLiteral("No printer or class given"));
        return false;
    }
    IppRequest request(IPP_OP_PURGE_JOBS);
    request.addAttribute(IPP_TAG_OPERATION, IPP_TAG_URI, Attr::PrinterUri.data(), printerUri);
    // An administrative operation, sent where cupsd's policy asks for the administrator.
    return request.doRequest(Connection::instance(), QStringLiteral("/admin/")).isOk();
}
} // namespace CUPS
