/* Area smoothing weights from the local variance of the channel. */
#include "area_weights.h"

#include <float.h>
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "deconv.h"
#include "sweep_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

void area_weights_init(AreaWeights *aw, int width, int height,
                       float min_weight, int winsize, const ConvMask *presmooth)
{
    aw->presmooth = presmooth;
    aw->width = width > 0 ? width : 0;
    aw->height = height > 0 ? height : 0;
    aw->winsize = winsize > 0 ? winsize : 0;
    aw->min_weight = min_weight;
    aw->weights = xmalloc((size_t)aw->width * (size_t)aw->height * sizeof(float));
}

void area_weights_set_mirror(AreaWeights *aw, int mirror)
{
    aw->mirror = mirror;
}

void area_weights_destroy(AreaWeights *aw)
{
    free(aw->weights);
    aw->weights = NULL;
}

/* Where the rows of the variance's source come from: the input itself, or
 * the input convolved with a separable presmoothing mask, computed one row
 * at a time when the variance asks for it (a column pass over the 2R + 1
 * input rows, then a row pass over the result with mirrored or wrapped
 * ends).  No smoothed copy of the whole channel is kept. */
typedef struct {
    const Matrix *in;
    int (*map)(int, int);
    int r;        /* presmoothing radius; -1: rows are copied */
    float *gx;    /* 2r + 1: mask(k, 0) */
    float *gy;    /* 2r + 1: mask(0, l) / mask(0, 0) */
    float *vtmp;  /* w + 2r: the column pass with its ends mapped */
} RowSource;

/* The presmoothing mask's float factors, as convmask_split finds them. */
static int split_mask(const ConvMask *mask, float *gx, float *gy)
{
    int n = 2 * mask->radius + 1;
    double *f = xmalloc((size_t)n * 2 * sizeof(double));
    int sep = convmask_split(mask, f, f + n, 1);
    for (int k = 0; k < n; k++) {
        gx[k] = (float)f[k];
        gy[k] = (float)f[n + k];
    }
    free(f);
    return sep;
}

/* dst[0..w) = source row j:
 * sum over k, l of mask(k, l) in(map(i - k), map(j - l)). */
static inline CPU_LOOP_BODY void source_row_body(const RowSource *rs, int j, float *dst)
{
    int w = rs->in->width, h = rs->in->height, r = rs->r;
    if (r < 0) {
        memcpy(dst, rs->in->data + (size_t)j * w, (size_t)w * sizeof(float));
        return;
    }
    float *restrict v = rs->vtmp + r;
    for (int i = 0; i < w; i++)
        v[i] = 0.0f;
    for (int l = -r; l <= r; l++) {
        const float *restrict src = rs->in->data + (size_t)rs->map(j - l, h) * w;
        float g = rs->gy[l + r];
        for (int i = 0; i < w; i++)
            v[i] += g * src[i];
    }
    for (int e = 1; e <= r; e++) {
        v[-e] = v[rs->map(-e, w)];
        v[w - 1 + e] = v[rs->map(w - 1 + e, w)];
    }
    float *restrict d = dst;
    for (int i = 0; i < w; i++)
        d[i] = 0.0f;
    for (int k = -r; k <= r; k++) {
        float g = rs->gx[k + r];
        const float *restrict src = v - k;
        for (int i = 0; i < w; i++)
            d[i] += g * src[i];
    }
}
CPU_LOOP_FORMS_AVX2(source_row, (const RowSource *rs, int j, float *dst), (rs, j, dst))

/* acc[i] += sign * hrow[i] for the 2w sums of a row. */
static inline CPU_LOOP_BODY void add_rows_body(double *restrict acc, const double *restrict hrow,
                                              int n, double sign)
{
    for (int i = 0; i < n; i++)
        acc[i] += sign * hrow[i];
}
CPU_LOOP_FORMS_AVX2(add_rows, (double *restrict acc, const double *restrict hrow, int n,
                              double sign),
                    (acc, hrow, n, sign))

/* One output row of variances from the window sums acc (s, s^2
 * interleaved) of n samples, and the row's least and largest variance.
 * With hout and hin, the window first slides down a row: acc takes away
 * the sums of the row leaving it and adds those of the row entering it.
 * The variances are never negative or NaN, so their order is that of
 * their bit patterns as integers, which the vector form compares. */
static void variance_row_generic(float *restrict dst, double *restrict acc,
                                 const double *hout, const double *hin, int w, double n,
                                 int32_t *lo, int32_t *hi)
{
    for (int i = 0; i < w; i++) {
        if (hout) {
            acc[2 * i] = acc[2 * i] - hout[2 * i] + hin[2 * i];
            acc[2 * i + 1] = acc[2 * i + 1] - hout[2 * i + 1] + hin[2 * i + 1];
        }
        double mean = acc[2 * i] / n;
        double var = acc[2 * i + 1] / n - mean * mean;
        float v = var > 0.0 ? (float)var : 0.0f;
        int32_t b;
        memcpy(&b, &v, sizeof b);
        dst[i] = v;
        *lo = b < *lo ? b : *lo;
        *hi = b > *hi ? b : *hi;
    }
}

#if defined(__x86_64__) || defined(__i386__)
/* Four pixels a step, the same operations in the same order (no FMA). */
__attribute__((target("avx2"))) static void
variance_row_avx2(float *restrict dst, double *restrict acc, const double *hout,
                  const double *hin, int w, double n, int32_t *lo, int32_t *hi)
{
    __m256d nv = _mm256_set1_pd(n), zero = _mm256_setzero_pd();
    __m128i vlo = _mm_set1_epi32(*lo), vhi = _mm_set1_epi32(*hi);
    int i = 0;
    for (; i + 4 <= w; i += 4) {
        __m256d a0 = _mm256_loadu_pd(acc + 2 * i), a1 = _mm256_loadu_pd(acc + 2 * i + 4);
        if (hout) {
            a0 = _mm256_add_pd(_mm256_sub_pd(a0, _mm256_loadu_pd(hout + 2 * i)),
                               _mm256_loadu_pd(hin + 2 * i));
            a1 = _mm256_add_pd(_mm256_sub_pd(a1, _mm256_loadu_pd(hout + 2 * i + 4)),
                               _mm256_loadu_pd(hin + 2 * i + 4));
            _mm256_storeu_pd(acc + 2 * i, a0);
            _mm256_storeu_pd(acc + 2 * i + 4, a1);
        }
        /* unpack gives pixels 0, 2, 1, 3; the permutation puts them in order */
        __m256d s = _mm256_permute4x64_pd(_mm256_unpacklo_pd(a0, a1), 0xD8);
        __m256d q = _mm256_permute4x64_pd(_mm256_unpackhi_pd(a0, a1), 0xD8);
        __m256d mean = _mm256_div_pd(s, nv);
        __m256d var = _mm256_sub_pd(_mm256_div_pd(q, nv), _mm256_mul_pd(mean, mean));
        var = _mm256_and_pd(_mm256_cmp_pd(var, zero, _CMP_GT_OQ), var);
        __m128 v = _mm256_cvtpd_ps(var);
        _mm_storeu_ps(dst + i, v);
        vlo = _mm_min_epi32(vlo, _mm_castps_si128(v));
        vhi = _mm_max_epi32(vhi, _mm_castps_si128(v));
    }
    int32_t l[4], h[4];
    _mm_storeu_si128((__m128i *)l, vlo);
    _mm_storeu_si128((__m128i *)h, vhi);
    for (int k = 0; k < 4; k++) {
        *lo = l[k] < *lo ? l[k] : *lo;
        *hi = h[k] > *hi ? h[k] : *hi;
    }
    variance_row_generic(dst + i, acc + 2 * i, hout ? hout + 2 * i : NULL,
                         hin ? hin + 2 * i : NULL, w - i, n, lo, hi);
}
#endif

static void variance_row(float *dst, double *acc, const double *hout, const double *hin,
                         int w, double n, float *vmin, float *vmax)
{
    int32_t lo, hi;
    memcpy(&lo, vmin, sizeof lo);
    memcpy(&hi, vmax, sizeof hi);
#if defined(__x86_64__) || defined(__i386__)
    if (cpu_form() >= CPU_FORM_AVX2)
        variance_row_avx2(dst, acc, hout, hin, w, n, &lo, &hi);
    else
#endif
        variance_row_generic(dst, acc, hout, hin, w, n, &lo, &hi);
    memcpy(vmin, &lo, sizeof lo);
    memcpy(vmax, &hi, sizeof hi);
}

typedef struct {
    const RowSource *rs;
    const int *colmap;
    int span;      /* window width */
    int slots;     /* span + 1: the row leaving and the row entering */
    double *hs;    /* slots rows of 2w sums: s, s^2 interleaved */
    int *tag;
    float *srow;
} RowCache;

/* The horizontal window sums of source row `row`, computed with running
 * sums when the row is not in its slot. */
static const double *cached_sums(RowCache *c, int row)
{
    int w = c->rs->in->width, span = c->span, slot = row % c->slots;
    double *hrow = c->hs + (size_t)slot * w * 2;
    if (c->tag[slot] == row)
        return hrow;
    const int *colmap = c->colmap;
    const float *srow = c->srow;
    source_row(c->rs, row, c->srow);
    double s = 0.0, s2 = 0.0;
    for (int e = 0; e < span; e++) {
        double v = srow[colmap[e]];
        s += v;
        s2 += v * v;
    }
    hrow[0] = s;
    hrow[1] = s2;
    for (int i = 1; i < w; i++) {
        double vin = srow[colmap[i + span - 1]], vout = srow[colmap[i - 1]];
        s += vin - vout;
        s2 += vin * vin - vout * vout;
        hrow[2 * i] = s;
        hrow[2 * i + 1] = s2;
    }
    c->tag[slot] = row;
    return hrow;
}

/* The window sums are separable: each source row is summed horizontally
 * once, with running sums, into a small cache (slot = row mod window
 * height + 1), and the output rows keep a running sum of the cached rows:
 * row j + 1 adds the row entering the window and takes away the one
 * leaving it (rows as the boundary mapping gives them).  The cache is
 * correct for any size; it only recomputes when a tiny image maps two
 * rows in use to the same slot. */
static void local_variance_from(Matrix *out, const RowSource *rs, float *min, float *max,
                                int winsize)
{
    int w = rs->in->width, h = rs->in->height;
    int (*map)(int, int) = rs->map;
    int ws = winsize > 0 ? winsize : 0, span = 2 * ws + 1;
    double n = (double)span * span;
    float vmin = 1e20f, vmax = 0.0f;
    if (w > 0 && h > 0) {
        int *colmap = xmalloc((size_t)(w + 2 * ws) * sizeof(int));
        for (int e = 0; e < w + 2 * ws; e++)
            colmap[e] = map(e - ws, w);
        RowCache c = { rs, colmap, span, span + 1, NULL, NULL, NULL };
        c.hs = xmalloc((size_t)c.slots * w * 2 * sizeof(double));
        c.tag = xmalloc((size_t)c.slots * sizeof(int));
        c.srow = xmalloc((size_t)w * sizeof(float));
        double *acc = xmalloc((size_t)w * 2 * sizeof(double));
        for (int s = 0; s < c.slots; s++)
            c.tag[s] = -1;
        for (int i = 0; i < 2 * w; i++)
            acc[i] = 0.0;
        for (int l = -ws; l <= ws; l++)
            add_rows(acc, cached_sums(&c, map(l, h)), 2 * w, 1.0);
        for (int j = 0; j < h; j++) {
            const double *hout = NULL, *hin = NULL;
            if (j > 0) {
                int rout = map(j - 1 - ws, h);
                hout = cached_sums(&c, rout);
                hin = cached_sums(&c, map(j + ws, h));
                if (c.tag[rout % c.slots] != rout) {
                    /* A tiny image put both rows in one slot: one at a
                     * time. */
                    add_rows(acc, cached_sums(&c, rout), 2 * w, -1.0);
                    add_rows(acc, cached_sums(&c, map(j + ws, h)), 2 * w, 1.0);
                    hout = hin = NULL;
                }
            }
            variance_row(out->data + (size_t)j * w, acc, hout, hin, w, n, &vmin, &vmax);
        }
        free(acc);
        free(c.srow);
        free(c.tag);
        free(c.hs);
        free(colmap);
    }
    if (min)
        *min = vmin;
    if (max)
        *max = vmax;
}

static void local_variance(Matrix *out, const Matrix *in, float *min, float *max,
                           int winsize, int (*map)(int, int))
{
    RowSource rs = { in, map, -1, NULL, NULL, NULL };
    local_variance_from(out, &rs, min, max, winsize);
}

void local_variance_mirror(Matrix *out, const Matrix *in, float *min,
                           float *max, int winsize)
{
    local_variance(out, in, min, max, winsize, mirror_index);
}

void local_variance_periodic(Matrix *out, const Matrix *in, float *min,
                             float *max, int winsize)
{
    local_variance(out, in, min, max, winsize, wrap_index);
}

/* weights[k] = 1 / (1 + scale (variance[k] - vmin)), in place. */
static inline CPU_LOOP_BODY void weights_from_variance_body(float *restrict weights, size_t n,
                                                           double scale, float vmin)
{
    for (size_t k = 0; k < n; k++)
        weights[k] = (float)(1.0 / (1.0 + scale * (weights[k] - vmin)));
}
CPU_LOOP_FORMS_AVX2(weights_from_variance,
                    (float *restrict weights, size_t n, double scale, float vmin),
                    (weights, n, scale, vmin))

void area_weights_compute(AreaWeights *aw, const Matrix *image)
{
    Matrix smoothed = { 0, 0, NULL }, var;
    RowSource rs = { image, aw->mirror ? mirror_index : wrap_index, -1, NULL, NULL, NULL };
    float *buf = NULL;
    if (aw->presmooth) {
        int r = aw->presmooth->radius;
        buf = xmalloc((size_t)(2 * (2 * r + 1) + image->width + 2 * r) * sizeof(float));
        rs.gx = buf;
        rs.gy = buf + 2 * r + 1;
        rs.vtmp = buf + 2 * (2 * r + 1);
        if (split_mask(aw->presmooth, rs.gx, rs.gy)) {
            rs.r = r;
        } else {
            /* Not separable: the whole channel is smoothed first. */
            matrix_create_like(&smoothed, image);
            if (aw->mirror)
                matrix_convolve_mirror(&smoothed, image, aw->presmooth);
            else
                matrix_convolve_periodic(&smoothed, image, aw->presmooth);
            rs.in = &smoothed;
        }
    }
    /* The variance goes straight into the weights array, which is then
     * turned into weights in place. */
    var.width = aw->width;
    var.height = aw->height;
    var.data = aw->weights;
    float vmin, vmax;
    local_variance_from(&var, &rs, &vmin, &vmax, aw->winsize);
    free(buf);
    if (smoothed.data)
        matrix_destroy(&smoothed);

    size_t n = (size_t)aw->width * (size_t)aw->height;
    float f = aw->min_weight > 0.0f ? aw->min_weight : FLT_MIN;
    float range = vmax - vmin;
    if (!(range > 0.0f)) {
        /* All variances equal (a uniform channel): nothing is busier than
         * anything else, so every pixel gets the full weight. */
        for (size_t k = 0; k < n; k++)
            aw->weights[k] = 1.0f;
        return;
    }
    /* In double, so a tiny f times a tiny range cannot underflow to 0. */
    double scale = (1.0 - f) / ((double)f * range);
    weights_from_variance(aw->weights, n, scale, vmin);
}
