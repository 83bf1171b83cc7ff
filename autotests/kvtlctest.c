/* The label interface is C: this must compile and link as C code. */
#include "kvtl.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void)
{
    kvtl_t *label = kvtl_dup(KVTL_ZERO);
    char *text;
    kvtl_t *read;
    int ok;

    kvtl_set_lev(label, 255);
    kvtl_set_ilev(label, 4294967295u);
    kvtl_set_cat(label, (mac_cat_t)1 << 63);
    text = kvtl_get_text(label, KVTL_TEXT_NUMERIC);
    read = kvtl_get_from_text(text);
    ok = text && strcmp(text, "255:4294967295:0x8000000000000000") == 0 && read && kvtl_lev(read) == 255
        && kvtl_ilev(read) == 4294967295u && kvtl_cat(read) == (mac_cat_t)1 << 63;
    if (!ok) {
        fprintf(stderr, "round trip through C failed: %s\n", text ? text : "(null)");
    }
    free(text);
    kvtl_put(read);
    kvtl_put(label);
    return ok ? 0 : 1;
}
