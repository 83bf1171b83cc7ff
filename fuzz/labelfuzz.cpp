// The text form of a security label both ways: every text the parser takes
// is the one text of its label, and every label reads back from its text.
#include "fuzztarget.h"

#include <kvtl.h>

#include <cstring>
#include <memory>

namespace
{
struct LabelDeleter {
    void operator()(kvtl_t *label) const
    {
        kvtl_put(label);
    }
};
using LabelPtr = std::unique_ptr<kvtl_t, LabelDeleter>;
using TextPtr = std::unique_ptr<char, decltype(&std::free)>;

TextPtr textOf(const kvtl_t *label)
{
    return TextPtr(kvtl_get_text(label, KVTL_TEXT_NUMERIC), &std::free);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = Fuzz::bytes(data, size); // NUL-terminated, as a C string reaches the parser
    if (const LabelPtr parsed{kvtl_get_from_text(text.constData())}) {
        const TextPtr written = textOf(parsed.get());
        FUZZ_CHECK(written && qstrcmp(text.constData(), written.get()) == 0);
    }

    // The first 13 bytes as a label's parts.
    if (size < 13) {
        return 0;
    }
    uint32_t ilevel;
    mac_cat_t categories;
    std::memcpy(&ilevel, data + 1, sizeof ilevel);
    std::memcpy(&categories, data + 5, sizeof categories);
    const LabelPtr label{kvtl_dup(KVTL_ZERO)};
    FUZZ_CHECK(label && kvtl_set_lev(label.get(), data[0]) == 0 && kvtl_set_ilev(label.get(), ilevel) == 0 && kvtl_set_cat(label.get(), categories) == 0);
    const TextPtr written = textOf(label.get());
    FUZZ_CHECK(written);
    const LabelPtr reread{kvtl_get_from_text(written.get())};
    FUZZ_CHECK(reread && kvtl_lev(reread.get()) == data[0] && kvtl_ilev(reread.get()) == ilevel && kvtl_cat(reread.get()) == categories);
    return 0;
}
