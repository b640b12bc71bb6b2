/* libFuzzer target for the 88-byte stored block of the camera-noise
 * values: another size is refused with the record untouched; an 88-byte
 * block decodes to a record that encodes back to the same bytes (the last
 * four as zeros).  A block that passes the check gives derived sample
 * counts that are not negative and within the margin limit. */
#include <stdint.h>
#include <string.h>

#include "noise_params.h"

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NoiseParams p, before;
    memset(&p, 0xa5, sizeof p);
    before = p;
    if (noise_params_unpack(&p, data, size) != 0) {
        if (size == NOISE_PARAMS_BLOB_SIZE || memcmp(&p, &before, sizeof p) != 0)
            __builtin_trap();
        return 0;
    }
    if (size != NOISE_PARAMS_BLOB_SIZE)
        __builtin_trap();
    unsigned char again[NOISE_PARAMS_BLOB_SIZE];
    noise_params_pack(&p, again);
    static const unsigned char zeros[4];
    if (memcmp(again, data, 84) != 0 || memcmp(again + 84, zeros, 4) != 0)
        __builtin_trap();
    const char *why = NULL;
    if (noise_params_check(&p, &why) != 0) {
        if (!why)
            __builtin_trap();
        return 0;
    }
    NoiseDerived d;
    noise_derive(&p, p.radius, &d);
    if (d.border < 0 || d.reach < 6 || d.margin < d.reach ||
        d.margin > NOISE_MAX_MARGIN + 2)
        __builtin_trap();
    return 0;
}
