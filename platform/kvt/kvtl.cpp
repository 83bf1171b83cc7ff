#include "kvtl.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

struct kvtl {
    unsigned char level;
    uint32_t ilevel;
    mac_cat_t categories;
};

namespace
{
const kvtl s_zero = {0, 0, 0};

constexpr std::size_t s_categoryDigits = 16;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads a decimal field up to @end with no sign, no spaces and no
// leading zeros, so each value has a single spelling.
bool readDecimal(const char *begin, const char *end, uint64_t limit, uint64_t *value)
{
    if (begin == end || (*begin == '0' && end - begin > 1)) {
        return false;
    }
    uint64_t result = 0;
    for (const char *p = begin; p != end; ++p) {
        if (!isDigit(*p)) {
            return false;
        }
        result = result * 10 + static_cast<uint64_t>(*p - '0');
        // Checked per digit: the limits are far below where 64 bits wrap.
        if (result > limit) {
            return false;
        }
    }
    *value = result;
    return true;
}

bool readCategories(const char *text, mac_cat_t *categories)
{
    if (std::strncmp(text, "0x", 2) != 0 || std::strlen(text + 2) != s_categoryDigits) {
        return false;
    }
    mac_cat_t result = 0;
    for (const char *p = text + 2; *p; ++p) {
        unsigned digit;
        if (isDigit(*p)) {
            digit = static_cast<unsigned>(*p - '0');
        } else if (*p >= 'a' && *p <= 'f') {
            digit = static_cast<unsigned>(*p - 'a' + 10);
        } else {
            return false;
        }
        result = (result << 4) | digit;
    }
    *categories = result;
    return true;
}

bool parse(const char *text, kvtl *label)
{
    const char *firstColon = std::strchr(text, ':');
    if (!firstColon) {
        return false;
    }
    const char *secondColon = std::strchr(firstColon + 1, ':');
    if (!secondColon) {
        return false;
    }
    uint64_t level;
    uint64_t ilevel;
    if (!readDecimal(text, firstColon, 0xFF, &level) || !readDecimal(firstColon + 1, secondColon, 0xFFFFFFFF, &ilevel)
        || !readCategories(secondColon + 1, &label->categories)) {
        return false;
    }
    label->level = static_cast<unsigned char>(level);
    label->ilevel = static_cast<uint32_t>(ilevel);
    return true;
}

kvtl *newLabel(const kvtl &from)
{
    kvtl *label = new (std::nothrow) kvtl(from);
    if (!label) {
        errno = ENOMEM;
    }
    return label;
}

const kvtl &orZero(const kvtl *label)
{
    return label ? *label : s_zero;
}

int invalid()
{
    errno = EINVAL;
    return -1;
}
} // namespace

extern "C" {

const kvtl_t *const KVTL_ZERO = &s_zero;

kvtl_t *kvtl_get_from_text(const char *text)
{
    kvtl parsed;
    if (!text || !parse(text, &parsed)) {
        errno = EINVAL;
        return nullptr;
    }
    return newLabel(parsed);
}

kvtl_t *kvtl_dup(const kvtl_t *label)
{
    if (!label) {
        errno = EINVAL;
        return nullptr;
    }
    return newLabel(*label);
}

void kvtl_put(kvtl_t *label)
{
    // The shared zero label reaches here through a cast now and then; it
    // was never allocated and must outlive every caller.
    if (label != &s_zero) {
        delete label;
    }
}

unsigned char kvtl_lev(const kvtl_t *label)
{
    return orZero(label).level;
}

uint32_t kvtl_ilev(const kvtl_t *label)
{
    return orZero(label).ilevel;
}

mac_cat_t kvtl_cat(const kvtl_t *label)
{
    return orZero(label).categories;
}

int kvtl_set_lev(kvtl_t *label, unsigned char level)
{
    if (!label || label == &s_zero) {
        return invalid();
    }
    label->level = level;
    return 0;
}

int kvtl_set_ilev(kvtl_t *label, uint32_t ilevel)
{
    if (!label || label == &s_zero) {
        return invalid();
    }
    label->ilevel = ilevel;
    return 0;
}

int kvtl_set_cat(kvtl_t *label, mac_cat_t categories)
{
    if (!label || label == &s_zero) {
        return invalid();
    }
    label->categories = categories;
    return 0;
}

char *kvtl_get_text(const kvtl_t *label, int form)
{
    if (!label || form != KVTL_TEXT_NUMERIC) {
        errno = EINVAL;
        return nullptr;
    }
    // "255:4294967295:0x" and 16 digits with the terminator fit with room to spare.
    constexpr std::size_t size = 3 + 1 + 10 + 1 + 2 + s_categoryDigits + 1;
    char *text = static_cast<char *>(std::malloc(size));
    if (!text) {
        errno = ENOMEM;
        return nullptr;
    }
    std::snprintf(text, size, "%u:%lu:0x%016llx", static_cast<unsigned>(label->level), static_cast<unsigned long>(label->ilevel),
                  static_cast<unsigned long long>(label->categories));
    return text;
}

} // extern "C"
