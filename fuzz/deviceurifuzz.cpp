// Device URIs as the server lists them: a DNS-SD service the wizard
// resolves, and an HPLIP URI it takes the model from.
#include "fuzztarget.h"

#include <driverwidget.h>
#include <hpmodels.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString uri = Fuzz::text(data, size);
    const QStringList parts = CUPS::DriverWidget::dnssdServiceParts(uri);
    FUZZ_CHECK(parts.isEmpty() || uri.startsWith(QLatin1String("dnssd://")));

    // Only HPLIP's own back ends make a device HP's.
    if (CUPS::HpModels(uri).isHpDevice()) {
        FUZZ_CHECK(uri.contains(QLatin1String("hp:/"), Qt::CaseInsensitive) || uri.contains(QLatin1String("hpfax:/"), Qt::CaseInsensitive)
                   || uri.contains(QLatin1String("hpaio:/"), Qt::CaseInsensitive));
    }
    return 0;
}
