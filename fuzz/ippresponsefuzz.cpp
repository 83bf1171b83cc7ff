// An answer's bytes as the core reads them from the server, then everything
// the models and dialogs take from it: the flat hash, each group of each
// kind, every value as text and as a Qt value.
#include "fuzztarget.h"

#include <ippmessage.h>
#include <utils.h>

#include <QSet>

using namespace CUPS;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const IppResponse response(readIppMessage(Fuzz::bytes(data, size)).release());
    if (response.isNull()) {
        return 0;
    }
    // A failed answer is reported with the name libcups gives its status.
    if (!response.isOk()) {
        ippErrorString(response.statusCode());
    }
    const AttributeHash all = response.attributes();
    QSet<QString> seen;
    ipp_t *message = response.handle();
    for (ipp_attribute_t *attribute = ippFirstAttribute(message); attribute; attribute = ippNextAttribute(message)) {
        const int count = ippGetCount(attribute);
        for (int i = 0; i < count; ++i) {
            const IppValue value(attribute, i);
            value.toString();
            value.toVariant();
        }
        // The flat view holds the values of the first attribute of each name.
        const char *name = ippGetName(attribute);
        if (name && !seen.contains(QString::fromUtf8(name))) {
            const QString key = QString::fromUtf8(name);
            seen.insert(key);
            FUZZ_CHECK(all.value(key).toList().size() == count);
        }
    }

    for (const ipp_tag_t group : {IPP_TAG_OPERATION, IPP_TAG_JOB, IPP_TAG_PRINTER, IPP_TAG_SUBSCRIPTION, IPP_TAG_EVENT_NOTIFICATION}) {
        for (const AttributeHash &attributes : response.attributeGroups(group)) {
            FUZZ_CHECK(!attributes.isEmpty());
            for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
                Utils::getAttribute(attributes, it.key());
            }
        }
    }
    return 0;
}
