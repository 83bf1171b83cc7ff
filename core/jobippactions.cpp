#include "jobippactions.h"

#include "printerrequest.h"

namespace CUPS
{
JobIppActions *JobIppActions::instance()
{
    static JobIppActions actions;
    return &actions;
}

bool JobIppActions::purgeJobs(const QString &printerUri)
{
    return sendAdminRequest(IPP_OP_PURGE_JOBS, printerUri);
}
} // namespace CUPS
