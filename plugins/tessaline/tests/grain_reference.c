#include "grain_reference.h"

#include <stdlib.h>

int grain_reference_rule(const int v[49], int64_t level)
{
    int64_t S = 0, Q = 0;
    for (int k = 0; k < 49; k++) {
        S += v[k];
        Q += (int64_t)v[k] * v[k];
    }
    const int64_t mean = S / 49;
    const int64_t var = (Q - (S * S) / 49) / 48;
    const int64_t diff = v[24] - mean;
    const int64_t d2 = diff * diff;
    const int64_t L2 = level * level; /* up to 2^62: compared without doubling */
    if (d2 <= var || d2 - L2 >= L2)
        return v[24];
    if (d2 < L2)
        return (int)mean;
    return (int)(mean + (diff * (d2 - L2)) / L2);
}

/* Byte offsets of the 7 x 7 window inside a buffer w + 6 pixels wide,
 * relative to the window's top-left sample; entry 24 is the centre. */
static void build_offsets(int offsets[49], int w, int bpp)
{
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 7; j++)
            offsets[7 * i + j] = ((w + 6) * i + j) * bpp;
}

static int clampi(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

void grain_reference_image(const uint8_t *src, size_t stride, int width, int height,
                           int bpp, const int32_t *levels, uint8_t *dst)
{
    /* A tile buffer for the whole image with a 3-pixel margin. */
    const int pw = width + 6, ph = height + 6;
    uint8_t *buf = malloc((size_t)pw * ph * bpp);
    if (!buf)
        abort();
    for (int y = 0; y < ph; y++)
        for (int x = 0; x < pw; x++)
            for (int c = 0; c < bpp; c++)
                buf[((size_t)y * pw + x) * bpp + c] =
                    src[(size_t)clampi(y - 3, 0, height - 1) * stride +
                        (size_t)clampi(x - 3, 0, width - 1) * bpp + c];
    int offsets[49];
    build_offsets(offsets, width, bpp);
    for (int s = 0; s < height; s++)
        for (int p = 0; p < width; p++)
            for (int c = 0; c < bpp; c++) {
                const uint8_t *top_left = buf + ((size_t)pw * s + p) * bpp + c;
                int v[49];
                for (int k = 0; k < 49; k++)
                    v[k] = top_left[offsets[k]];
                dst[(size_t)s * stride + (size_t)p * bpp + c] =
                    (uint8_t)grain_reference_rule(v, levels[c]);
            }
    free(buf);
}
