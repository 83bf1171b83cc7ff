// A NetBIOS node status reply as it arrives from the network.
#include "fuzztarget.h"

#include <kapsmbutil.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString workgroup;
    QString server;
    const bool found = CUPS::KapSmbUtil::parseNodeStatus(Fuzz::bytes(data, size), workgroup, server);
    // Both names or none come back, each from one 15-byte name field.
    FUZZ_CHECK(found == (!workgroup.isEmpty() && !server.isEmpty()));
    FUZZ_CHECK(workgroup.size() <= 15 && server.size() <= 15);
    return 0;
}
