#ifndef KVTL_H
#define KVTL_H

#include "kvt_export.h"

#include <stdint.h>

/*
 * Security labels for mandatory access control.
 *
 * A label has a confidentiality level (0-255), an integrity level
 * (0-4294967295) and a set of up to 64 categories, one bit each.
 *
 * Text form (selector KVTL_TEXT_NUMERIC, the value 1):
 *
 *     LEVEL:ILEVEL:0xCATEGORIES
 *
 *   LEVEL       the confidentiality level in decimal, 0 to 255
 *   ILEVEL      the integrity level in decimal, 0 to 4294967295
 *   CATEGORIES  the category mask as exactly 16 lower-case hexadecimal
 *               digits; bit n set means category n is in the set
 *
 * Decimal fields have no sign, no spaces and no leading zeros ("0" itself is
 * fine). Example: the label with level 2, integrity level 63 and the
 * categories 0 and 4 reads "2:63:0x0000000000000011".
 *
 * Every label has exactly one text and the parser accepts nothing else, so
 * two labels are equal exactly when their texts are: stored labels may be
 * compared as strings. Anything off the form (an empty or missing field, a
 * sign, white space, a leading zero, a level out of range, a short or long
 * or upper-case category field, trailing characters) is rejected.
 *
 * Ownership: kvtl_get_from_text() and kvtl_dup() return a new label that the
 * caller releases with kvtl_put(); kvtl_get_text() returns a string that the
 * caller releases with free(). KVTL_ZERO is a shared constant: copy it with
 * kvtl_dup() to get a label to change; kvtl_put(KVTL_ZERO) does nothing.
 * Functions that fail return a null pointer (or -1) and set errno: EINVAL
 * for a null label, a malformed text or an unknown text form, ENOMEM when
 * memory runs out.
 */

#ifdef __cplusplus
extern "C" {
#endif

/* A category set: bit n stands for category n. */
typedef uint64_t mac_cat_t;

/* Opaque; only the functions below look inside. */
typedef struct kvtl kvtl_t;

/* The label with level 0, integrity level 0 and no categories. */
KVT_EXPORT extern const kvtl_t *const KVTL_ZERO;

/* Text form selectors for kvtl_get_text(). */
enum {
    KVTL_TEXT_NUMERIC = 1 /* LEVEL:ILEVEL:0xCATEGORIES, see above */
};

/* Parses @text; null when @text is null or not a label in the text form. */
KVT_EXPORT kvtl_t *kvtl_get_from_text(const char *text);

/* A new copy of @label; null when @label is null or memory runs out. */
KVT_EXPORT kvtl_t *kvtl_dup(const kvtl_t *label);

/* Releases a label from kvtl_get_from_text() or kvtl_dup(); null is ignored. */
KVT_EXPORT void kvtl_put(kvtl_t *label);

/* The parts of @label; a null label reads as the zero label. */
KVT_EXPORT unsigned char kvtl_lev(const kvtl_t *label);
KVT_EXPORT uint32_t kvtl_ilev(const kvtl_t *label);
KVT_EXPORT mac_cat_t kvtl_cat(const kvtl_t *label);

/* Change one part of @label; 0 on success, -1 (EINVAL) for a null label. */
KVT_EXPORT int kvtl_set_lev(kvtl_t *label, unsigned char level);
KVT_EXPORT int kvtl_set_ilev(kvtl_t *label, uint32_t ilevel);
KVT_EXPORT int kvtl_set_cat(kvtl_t *label, mac_cat_t categories);

/*
 * The text of @label in the form @form selects (KVTL_TEXT_NUMERIC), newly
 * allocated and released by the caller with free(). Null when @label is
 * null, @form is unknown or memory runs out.
 */
KVT_EXPORT char *kvtl_get_text(const kvtl_t *label, int form);

#ifdef __cplusplus
}
#endif

#endif
