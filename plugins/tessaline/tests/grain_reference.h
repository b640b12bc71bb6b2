/* The plain per-sample evaluation of the 7 x 7 grain rule: every window
 * sample read through a 49-entry offset table, sums formed afresh for every
 * sample, the level squared in 64 bits (exact for every 32-bit level), and
 * borders by clamped coordinates.  The fast core must match it exactly. */
#ifndef TESSALINE_GRAIN_REFERENCE_H
#define TESSALINE_GRAIN_REFERENCE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The rule on the 49 samples v[0..48] (v[24] the centre) with the level. */
int grain_reference_rule(const int v[49], int64_t level);

/* Whole image, rows stride bytes apart, into dst (same layout). */
void grain_reference_image(const uint8_t *src, size_t stride, int width, int height,
                           int bpp, const int32_t *levels, uint8_t *dst);

#ifdef __cplusplus
}
#endif

#endif
