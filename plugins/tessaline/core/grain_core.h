/* Film-grain removal: each sample is compared with the mean and variance of
 * its 7 x 7 neighbourhood in the same channel; a deviation that is small
 * against the channel's grain level is pulled to the mean, a large one (or
 * one the neighbourhood's own variance explains) is kept, and deviations in
 * between are blended linearly.  Integer arithmetic on 8-bit samples only.
 * GIMP-free: the plug-in, the command-line tool and the tests share it. */
#ifndef TESSALINE_GRAIN_CORE_H
#define TESSALINE_GRAIN_CORE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The plug-in's parameter record, stored as 12 bytes (three little-endian
 * 32-bit integers in this order).  The level of channel c is field c. */
typedef struct {
    int32_t red;
    int32_t green;
    int32_t blue;
} GrainParams;

#define GRAIN_DEFAULT_RED   15
#define GRAIN_DEFAULT_GREEN 10
#define GRAIN_DEFAULT_BLUE  20
#define GRAIN_PARAMS_BYTES  12

/* The stored block: red, green, blue as little-endian 32-bit integers. */
void grain_params_to_bytes(const GrainParams *p, uint8_t bytes[GRAIN_PARAMS_BYTES]);
void grain_params_from_bytes(GrainParams *p, const uint8_t bytes[GRAIN_PARAMS_BYTES]);

/* Window reach: 3 pixels on every side of the centre (a 7 x 7 window). */
#define GRAIN_RADIUS 3
#define GRAIN_SIDE   (2 * GRAIN_RADIUS + 1)
#define GRAIN_COUNT  (GRAIN_SIDE * GRAIN_SIDE)
#define GRAIN_MAX_BPP 4

/* The squared level that enters the rule, defined for every 32-bit level.
 * Only the square counts, so a negative level acts like its absolute value.
 * A squared deviation never exceeds 255 * 255, so every level beyond 255
 * (in particular beyond 46340, whose square no longer fits 32 bits) gives
 * the same decisions as an infinite level: every deviation that the
 * window's variance does not explain is treated as grain.  The square is
 * therefore saturated at 256 * 256. */
int32_t grain_level_square(int32_t level);

/* The pixel rule on one channel: S and Q are the sum and the sum of squares
 * of the 49 window samples (0 <= S <= 49 * 255, 49 Q >= S * S), centre the
 * window's centre sample, l2 the value of grain_level_square (0 ... 65536).
 * Returns the filtered sample (0 ... 255). */
int grain_rule(int32_t S, int32_t Q, int centre, int32_t l2);

/* Elements of scratch that grain_filter_block needs for a block w wide. */
size_t grain_scratch_count(int w, int bpp);

/* Filters a block of w x h pixels of bpp (1 ... 4) interleaved channels.
 * src is the block's source grown by GRAIN_RADIUS pixels on every side,
 * (w + 6) x (h + 6) pixels with rows src_stride bytes apart, starting at the
 * grown block's top-left pixel; dst gets w x h pixels, rows dst_stride bytes
 * apart.  levels[c] is channel c's grain level.  scratch holds
 * grain_scratch_count(w, bpp) elements.  Uses running sums of the window's
 * columns, so the cost per sample does not grow with the window. */
void grain_filter_block(const uint8_t *src, size_t src_stride,
                        uint8_t *dst, size_t dst_stride,
                        int w, int h, int bpp, const int32_t *levels,
                        int32_t *scratch);

/* Repeats edge pixels into the parts of a w x h pixel buffer (rows stride
 * bytes apart) that lie outside the filled rectangle: columns x0 ... x1-1
 * of rows y0 ... y1-1 are filled (0 <= x0 < x1 <= w, 0 <= y0 < y1 <= h).
 * Each filled row is extended left and right by its first and last pixel,
 * then the first and last filled rows are copied upward and downward. */
void grain_extend_edges(uint8_t *buf, size_t stride, int w, int h, int bpp,
                        int x0, int x1, int y0, int y1);

/* Filters a whole width x height image (rows stride bytes apart) into dst
 * (rows dst_stride bytes apart; dst must not overlap src), treating pixels
 * beyond the border as repetitions of the nearest edge pixel.  Returns 0,
 * or -1 (dst untouched) for a bad size or bpp or when memory is short. */
int grain_filter_image(const uint8_t *src, size_t stride, int width, int height,
                       int bpp, const int32_t *levels,
                       uint8_t *dst, size_t dst_stride);

#ifdef __cplusplus
}
#endif

#endif
