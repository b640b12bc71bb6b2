/* The 7 x 7 film-grain rule over plain buffers. */
#include "grain_core.h"

#include "cpu_form.h"
#include "le_block.h"

#include <stdlib.h>
#include <string.h>

/* Largest image side grain_filter_image accepts; keeps every pixel index
 * of a block comfortably inside int. */
#define GRAIN_MAX_SIDE (1 << 20)

void grain_params_to_bytes(const GrainParams *p, uint8_t bytes[GRAIN_PARAMS_BYTES])
{
    LeBlock b = le_block_writer(bytes, GRAIN_PARAMS_BYTES);
    le_put_i32(&b, p->red);
    le_put_i32(&b, p->green);
    le_put_i32(&b, p->blue);
}

void grain_params_from_bytes(GrainParams *p, const uint8_t bytes[GRAIN_PARAMS_BYTES])
{
    LeBlock b = le_block_reader(bytes, GRAIN_PARAMS_BYTES);
    p->red = le_get_i32(&b);
    p->green = le_get_i32(&b);
    p->blue = le_get_i32(&b);
}

int32_t grain_level_square(int32_t level)
{
    int64_t a = level < 0 ? -(int64_t)level : (int64_t)level;
    if (a > 256)
        a = 256;
    return (int32_t)(a * a);
}

/* Exact division-free forms of the rule's divisions (S <= 49 * 255,
 * Q <= 49 * 255^2, so every product below fits 32 bits):
 *   S / 49                    == (S * 21400) >> 20        for 0 <= S <= 12495
 *   d2 <= (Q - S*S/49) / 48   <=> S*S < 49 * (Q - 48*d2 + 1)
 *                                 (Q - S*S/49 >= 0 since 49 Q >= S^2)
 *   x / l2 (0 <= x < 2^24)    == (x * m) >> (24 + k),  2^(k-1) < l2 <= 2^k,
 *                                 m = ceil(2^(24+k) / l2) < 2^25 */
#define MEAN_MUL   21400
#define MEAN_SHIFT 20
#define QUOT_BITS  24

typedef struct {
    int32_t l2;
    uint32_t mul;  /* 0 when l2 == 0: the blend is then never reached */
    uint32_t shift;
} LevelDivisor;

/* l2 in 0 ... 65536, as grain_level_square gives it. */
static LevelDivisor divisor_for(int32_t l2)
{
    LevelDivisor d = {l2, 0, 0};
    if (d.l2 > 0) {
        uint32_t k = 0;
        while ((1u << k) < (uint32_t)d.l2)
            k++;
        d.shift = QUOT_BITS + k;
        d.mul = (uint32_t)(((1ull << d.shift) + (uint64_t)d.l2 - 1) / (uint64_t)d.l2);
    }
    return d;
}

static inline int rule_fast(int32_t S, int32_t Q, int32_t centre, int32_t l2,
                            uint32_t mul, uint32_t shift)
{
    const int32_t mean = (S * MEAN_MUL) >> MEAN_SHIFT;
    const int32_t diff = centre - mean;
    const int32_t d2 = diff * diff;
    const int keep = (S * S < GRAIN_COUNT * (Q - (GRAIN_COUNT - 1) * d2 + 1)) | (d2 >= 2 * l2);
    /* Computed for every sample so that the loop has no branches; used
     * only where l2 <= d2 < 2 * l2. */
    const int32_t t = d2 > l2 ? d2 - l2 : 0;
    const uint32_t x = (uint32_t)(diff < 0 ? -diff : diff) * (uint32_t)t;
    const int32_t q = (int32_t)(((uint64_t)x * mul) >> shift);
    const int32_t blend = mean + (diff < 0 ? -q : q);
    return keep ? centre : d2 < l2 ? mean : blend;
}

int grain_rule(int32_t S, int32_t Q, int centre, int32_t l2)
{
    const LevelDivisor d = divisor_for(l2 < 0 ? 0 : l2 > 65536 ? 65536 : l2);
    return rule_fast(S, Q, centre, d.l2, d.mul, d.shift);
}

size_t grain_scratch_count(int w, int bpp)
{
    /* Column sums and squares over the grown width, three per-sample
     * level entries over the block width. */
    return (size_t)bpp * (2 * (size_t)(w + 2 * GRAIN_RADIUS) + 3 * (size_t)w);
}

/* The row passes are plain loops over the interleaved samples, written
 * for the vectoriser and compiled once per vector form (cpu_form.h). */
static inline CPU_LOOP_BODY void columns_add_body(int32_t *restrict col_s,
                                                  int32_t *restrict col_q,
                                                  const uint8_t *restrict row, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        const int32_t v = row[i];
        col_s[i] += v;
        col_q[i] += v * v;
    }
}
CPU_LOOP_FORMS_AVX512(columns_add, (int32_t *restrict col_s, int32_t *restrict col_q,
                                    const uint8_t *restrict row, size_t n),
                      (col_s, col_q, row, n))

static inline CPU_LOOP_BODY void columns_slide_body(int32_t *restrict col_s,
                                                    int32_t *restrict col_q,
                                                    const uint8_t *restrict in,
                                                    const uint8_t *restrict out, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        const int32_t a = in[i], b = out[i];
        col_s[i] += a - b;
        col_q[i] += (a - b) * (a + b);
    }
}
CPU_LOOP_FORMS_AVX512(columns_slide, (int32_t *restrict col_s, int32_t *restrict col_q,
                                      const uint8_t *restrict in, const uint8_t *restrict out,
                                      size_t n),
                      (col_s, col_q, in, out, n))

/* One output row: window sums from the column sums (seven columns bpp
 * samples apart), then the rule. */
static inline CPU_LOOP_BODY void rule_row_body(uint8_t *restrict dst,
                                               const int32_t *restrict col_s,
                                               const int32_t *restrict col_q,
                                               const uint8_t *restrict centre,
                                               const int32_t *restrict l2,
                                               const int32_t *restrict mul,
                                               const int32_t *restrict shift, size_t n, int bpp)
{
    const size_t b = (size_t)bpp;
    for (size_t k = 0; k < n; k++) {
        const int32_t S = col_s[k] + col_s[k + b] + col_s[k + 2 * b] + col_s[k + 3 * b] +
                          col_s[k + 4 * b] + col_s[k + 5 * b] + col_s[k + 6 * b];
        const int32_t Q = col_q[k] + col_q[k + b] + col_q[k + 2 * b] + col_q[k + 3 * b] +
                          col_q[k + 4 * b] + col_q[k + 5 * b] + col_q[k + 6 * b];
        dst[k] = (uint8_t)rule_fast(S, Q, centre[k], l2[k], (uint32_t)mul[k], (uint32_t)shift[k]);
    }
}
CPU_LOOP_FORMS_AVX512(rule_row, (uint8_t *restrict dst, const int32_t *restrict col_s,
                                 const int32_t *restrict col_q, const uint8_t *restrict centre,
                                 const int32_t *restrict l2, const int32_t *restrict mul,
                                 const int32_t *restrict shift, size_t n, int bpp),
                      (dst, col_s, col_q, centre, l2, mul, shift, n, bpp))

void grain_filter_block(const uint8_t *src, size_t src_stride,
                        uint8_t *dst, size_t dst_stride,
                        int w, int h, int bpp, const int32_t *levels,
                        int32_t *scratch)
{
    if (w <= 0 || h <= 0 || bpp < 1 || bpp > GRAIN_MAX_BPP)
        return;
    const size_t n_pad = (size_t)(w + 2 * GRAIN_RADIUS) * (size_t)bpp;
    const size_t n = (size_t)w * (size_t)bpp;
    int32_t *col_s = scratch;        /* per grown-row sample: sum of 7 rows */
    int32_t *col_q = col_s + n_pad;  /* and of their squares */
    int32_t *l2 = col_q + n_pad;     /* per output sample: its channel's divisor */
    int32_t *mul = l2 + n;
    int32_t *shift = mul + n;

    LevelDivisor div[GRAIN_MAX_BPP];
    for (int c = 0; c < bpp; c++)
        div[c] = divisor_for(grain_level_square(levels[c]));
    for (size_t k = 0, c = 0; k < n; k++, c = c + 1 == (size_t)bpp ? 0 : c + 1) {
        l2[k] = div[c].l2;
        mul[k] = (int32_t)div[c].mul;
        shift[k] = (int32_t)div[c].shift;
    }

    memset(col_s, 0, 2 * n_pad * sizeof *col_s);
    for (int r = 0; r < GRAIN_SIDE; r++)
        columns_add(col_s, col_q, src + (size_t)r * src_stride, n_pad);

    for (int s = 0; s < h; s++) {
        if (s > 0)
            columns_slide(col_s, col_q, src + (size_t)(s + GRAIN_SIDE - 1) * src_stride,
                          src + (size_t)(s - 1) * src_stride, n_pad);
        const uint8_t *centre = src + (size_t)(s + GRAIN_RADIUS) * src_stride
                                + (size_t)GRAIN_RADIUS * bpp;
        rule_row(dst + (size_t)s * dst_stride, col_s, col_q, centre, l2, mul, shift, n, bpp);
    }
}

void grain_extend_edges(uint8_t *buf, size_t stride, int w, int h, int bpp,
                        int x0, int x1, int y0, int y1)
{
    const size_t px = (size_t)bpp;
    for (int r = y0; r < y1; r++) {
        uint8_t *row = buf + (size_t)r * stride;
        for (int x = 0; x < x0; x++)
            memcpy(row + x * px, row + x0 * px, px);
        for (int x = x1; x < w; x++)
            memcpy(row + x * px, row + (x1 - 1) * px, px);
    }
    const size_t row_bytes = (size_t)w * px;
    for (int r = 0; r < y0; r++)
        memcpy(buf + (size_t)r * stride, buf + (size_t)y0 * stride, row_bytes);
    for (int r = y1; r < h; r++)
        memcpy(buf + (size_t)r * stride, buf + (size_t)(y1 - 1) * stride, row_bytes);
}

int grain_filter_image(const uint8_t *src, size_t stride, int width, int height,
                       int bpp, const int32_t *levels,
                       uint8_t *dst, size_t dst_stride)
{
    if (width <= 0 || height <= 0 || width > GRAIN_MAX_SIDE || height > GRAIN_MAX_SIDE ||
        bpp < 1 || bpp > GRAIN_MAX_BPP || !src || !dst || !levels)
        return -1;
    const int pw = width + 2 * GRAIN_RADIUS, ph = height + 2 * GRAIN_RADIUS;
    const size_t pstride = (size_t)pw * bpp;
    uint8_t *pad = malloc(pstride * (size_t)ph);
    int32_t *scratch = malloc(grain_scratch_count(width, bpp) * sizeof *scratch);
    if (!pad || !scratch) {
        free(pad);
        free(scratch);
        return -1;
    }
    for (int r = 0; r < height; r++)
        memcpy(pad + (size_t)(r + GRAIN_RADIUS) * pstride + (size_t)GRAIN_RADIUS * bpp,
               src + (size_t)r * stride, (size_t)width * bpp);
    grain_extend_edges(pad, pstride, pw, ph, bpp, GRAIN_RADIUS, GRAIN_RADIUS + width,
                       GRAIN_RADIUS, GRAIN_RADIUS + height);
    grain_filter_block(pad, pstride, dst, dst_stride, width, height, bpp, levels, scratch);
    free(pad);
    free(scratch);
    return 0;
}
