/* libFuzzer target for the 12-byte stored block of the grain levels.  The
 * frame restores only a block of exactly 12 bytes; every such block must
 * encode back to the same bytes and give squared levels within 0..65536. */
#include <stdint.h>
#include <string.h>

#include "grain_core.h"

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size != GRAIN_PARAMS_BYTES)
        return 0; /* ignored by the frame before decoding */
    GrainParams p;
    grain_params_from_bytes(&p, data);
    uint8_t again[GRAIN_PARAMS_BYTES];
    grain_params_to_bytes(&p, again);
    if (memcmp(again, data, sizeof again) != 0)
        __builtin_trap();
    const int32_t levels[3] = {p.red, p.green, p.blue};
    for (int c = 0; c < 3; c++) {
        int32_t l2 = grain_level_square(levels[c]);
        if (l2 < 0 || l2 > 65536)
            __builtin_trap();
    }
    return 0;
}
