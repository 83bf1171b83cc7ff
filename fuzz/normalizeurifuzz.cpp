// A device URI as typed into the setup wizard.
#include "fuzztarget.h"

#include <selectbackendpage.h>

using CUPS::SelectBackendPage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString accepted = SelectBackendPage::normalizeUri(Fuzz::text(data, size));
    // The accepted form is what the page hands on and shows again: accepted as it is.
    FUZZ_CHECK(accepted.isEmpty() || SelectBackendPage::normalizeUri(accepted) == accepted);
    return 0;
}
