/* The label interface is C: this must compile and link as C code. */
#include "kvtl.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void)
{
    const char *const expected = "255:4294967295:0x8000000000000000";
    kvtl_t *label = kvtl_get_from_text(expected);
    char *text = kvtl_get_text(label, KVTL_TEXT_NUMERIC);
    int ok = text && strcmp(text, expected) == 0 && kvtl_cat(label) == (mac_cat_t)1 << 63;

    if (!ok) {
        fprintf(stderr, "round trip through C failed: %s\n", text ? text : "(null)");
    }
    free(text);
    kvtl_put(label);
    return ok ? 0 : 1;
}
