/* libFuzzer target for the 72-byte stored block of the refocus values: a
 * block of another size is refused with the record untouched; a 72-byte
 * block decodes to a record that encodes back to the same bytes (the four
 * trailing bytes as zeros), and its check gives one of the known outcomes. */
#include <stdint.h>
#include <string.h>

#include "refocus_vals.h"

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RefocusVals vals, before;
    memset(&vals, 0xa5, sizeof vals);
    before = vals;
    if (refocus_vals_from_block(&vals, data, size) != 0) {
        if (size == REFOCUS_VALS_BLOCK_SIZE || memcmp(&vals, &before, sizeof vals) != 0)
            __builtin_trap();
        return 0;
    }
    if (size != REFOCUS_VALS_BLOCK_SIZE)
        __builtin_trap();
    unsigned char again[REFOCUS_VALS_BLOCK_SIZE];
    refocus_vals_to_block(&vals, again);
    static const unsigned char zeros[4];
    if (memcmp(again, data, 68) != 0 || memcmp(again + 68, zeros, 4) != 0)
        __builtin_trap();
    /* A stored block goes through the same checks as a script's values. */
    for (int side = 1; side <= 4096; side *= 64) {
        RefocusValsCheck check = refocus_vals_check(&vals, side, side);
        if ((unsigned)check > REFOCUS_VALS_TOO_MANY_ITERATIONS || !refocus_vals_check_message(check))
            __builtin_trap();
    }
    return 0;
}
