/* Area smoothing weights from the local variance of the channel. */
#include "area_weights.h"

#include <float.h>
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "deconv.h"
#include "sweep_internal.h"

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

/* The loops below are written once over GCC vector types and compiled for
 * every form: generic, AVX2 and AVX-512.  The file is built without
 * contraction, so no form fuses a multiply and an add (although the
 * AVX-512 target brings FMA): every form rounds every product and sum
 * alone and all give the generic form's bits. */

typedef float v8f __attribute__((vector_size(32)));
typedef float v4f __attribute__((vector_size(16)));
typedef double v4d __attribute__((vector_size(32)));
typedef int32_t v4i __attribute__((vector_size(16)));
typedef int64_t v4l __attribute__((vector_size(32)));
/* The same, for loads and stores at any element boundary. */
typedef float v8f_u __attribute__((vector_size(32), aligned(4), may_alias));
typedef float v4f_u __attribute__((vector_size(16), aligned(4), may_alias));
typedef double v4d_u __attribute__((vector_size(32), aligned(8), may_alias));

/* Rows of four lanes in, columns out: after the call, a0 holds lane 0 of
 * the four inputs, a1 lane 1, and so on. */
#define TRANSPOSE4(a0, a1, a2, a3)                                \
    do {                                                          \
        __typeof__(a0) t0_ = __builtin_shufflevector(a0, a1, 0, 4, 2, 6); \
        __typeof__(a0) t1_ = __builtin_shufflevector(a0, a1, 1, 5, 3, 7); \
        __typeof__(a0) t2_ = __builtin_shufflevector(a2, a3, 0, 4, 2, 6); \
        __typeof__(a0) t3_ = __builtin_shufflevector(a2, a3, 1, 5, 3, 7); \
        a0 = __builtin_shufflevector(t0_, t2_, 0, 1, 4, 5);       \
        a1 = __builtin_shufflevector(t1_, t3_, 0, 1, 4, 5);       \
        a2 = __builtin_shufflevector(t0_, t2_, 2, 3, 6, 7);       \
        a3 = __builtin_shufflevector(t1_, t3_, 2, 3, 6, 7);       \
    } while (0)

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
    const float **rows; /* 2r + 1: the column pass's input rows */
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

/* dst[i] = sum over taps t < n of g[t] src[t][i], for i < w, added in the
 * order of t to a sum that starts at 0 (each sample's sum in registers,
 * 32 samples a step). */
static inline CPU_LOOP_BODY void taps_row_body(float *restrict dst, const float *const *src,
                                              const float *g, int n, int w)
{
    int i = 0;
    for (; i + 32 <= w; i += 32) {
        v8f a = { 0 }, b = { 0 }, c = { 0 }, d = { 0 };
        for (int t = 0; t < n; t++) {
            const float *st = src[t] + i;
            v8f gt = { g[t], g[t], g[t], g[t], g[t], g[t], g[t], g[t] };
            a += gt * *(const v8f_u *)st;
            b += gt * *(const v8f_u *)(st + 8);
            c += gt * *(const v8f_u *)(st + 16);
            d += gt * *(const v8f_u *)(st + 24);
        }
        *(v8f_u *)(dst + i) = a;
        *(v8f_u *)(dst + i + 8) = b;
        *(v8f_u *)(dst + i + 16) = c;
        *(v8f_u *)(dst + i + 24) = d;
    }
    for (; i + 8 <= w; i += 8) {
        v8f a = { 0 };
        for (int t = 0; t < n; t++) {
            v8f gt = { g[t], g[t], g[t], g[t], g[t], g[t], g[t], g[t] };
            a += gt * *(const v8f_u *)(src[t] + i);
        }
        *(v8f_u *)(dst + i) = a;
    }
    for (; i < w; i++) {
        float a = 0.0f;
        for (int t = 0; t < n; t++)
            a += g[t] * src[t][i];
        dst[i] = a;
    }
}
CPU_LOOP_FORMS_AVX512(taps_row,
                      (float *restrict dst, const float *const *src, const float *g, int n, int w),
                      (dst, src, g, n, w))

/* taps_row for seven taps (the presmoothing of a run), with the factors
 * and rows held through the row. */
static inline CPU_LOOP_BODY void taps7_row_body(float *restrict dst, const float *const *src,
                                               const float *g, int w)
{
    const float *s0 = src[0], *s1 = src[1], *s2 = src[2], *s3 = src[3], *s4 = src[4],
                *s5 = src[5], *s6 = src[6];
#define AW_BCAST(x) { x, x, x, x, x, x, x, x }
    const v8f g0 = AW_BCAST(g[0]), g1 = AW_BCAST(g[1]), g2 = AW_BCAST(g[2]),
              g3 = AW_BCAST(g[3]), g4 = AW_BCAST(g[4]), g5 = AW_BCAST(g[5]),
              g6 = AW_BCAST(g[6]);
#undef AW_BCAST
#define AW_SUM7(o)                                                        \
    ((((((((v8f){ 0 } + g0 * *(const v8f_u *)(s0 + (o))) + g1 * *(const v8f_u *)(s1 + (o))) + \
         g2 * *(const v8f_u *)(s2 + (o))) + g3 * *(const v8f_u *)(s3 + (o))) +   \
       g4 * *(const v8f_u *)(s4 + (o))) + g5 * *(const v8f_u *)(s5 + (o))) +     \
     g6 * *(const v8f_u *)(s6 + (o)))
    int i = 0;
    for (; i + 32 <= w; i += 32) {
        v8f a = AW_SUM7(i), b = AW_SUM7(i + 8), c = AW_SUM7(i + 16), d = AW_SUM7(i + 24);
        *(v8f_u *)(dst + i) = a;
        *(v8f_u *)(dst + i + 8) = b;
        *(v8f_u *)(dst + i + 16) = c;
        *(v8f_u *)(dst + i + 24) = d;
    }
    for (; i + 8 <= w; i += 8)
        *(v8f_u *)(dst + i) = AW_SUM7(i);
#undef AW_SUM7
    for (; i < w; i++) {
        float a = 0.0f;
        for (int t = 0; t < 7; t++)
            a += g[t] * src[t][i];
        dst[i] = a;
    }
}
CPU_LOOP_FORMS_AVX512(taps7_row,
                      (float *restrict dst, const float *const *src, const float *g, int w),
                      (dst, src, g, w))

/* dst[0..w) = source row j:
 * sum over k, l of mask(k, l) in(map(i - k), map(j - l)), the column pass
 * (over l = -r..r) first, then the row pass (over k = -r..r). */
static void source_row(const RowSource *rs, int j, float *dst)
{
    int w = rs->in->width, h = rs->in->height, r = rs->r;
    if (r < 0) {
        memcpy(dst, rs->in->data + (size_t)j * w, (size_t)w * sizeof(float));
        return;
    }
    float *v = rs->vtmp + r;
    for (int l = -r; l <= r; l++)
        rs->rows[l + r] = rs->in->data + (size_t)rs->map(j - l, h) * w;
    if (r == 3)
        taps7_row(v, rs->rows, rs->gy, w);
    else
        taps_row(v, rs->rows, rs->gy, 2 * r + 1, w);
    for (int e = 1; e <= r; e++) {
        v[-e] = v[rs->map(-e, w)];
        v[w - 1 + e] = v[rs->map(w - 1 + e, w)];
    }
    for (int k = -r; k <= r; k++)
        rs->rows[k + r] = v - k;
    if (r == 3)
        taps7_row(dst, rs->rows, rs->gx, w);
    else
        taps_row(dst, rs->rows, rs->gx, 2 * r + 1, w);
}

/* The horizontal window sums of four source rows at once, one row per
 * lane.  cols holds w + span - 1 columns of the four rows (the boundary's
 * columns included, in window order) in double; the running sums of each
 * row take the same steps as a row on its own: the first window summed
 * sample by sample, then each step adds the sample entering and takes
 * away the one leaving.  s[k], q[k] receive row k's sums and sums of
 * squares. */
static inline CPU_LOOP_BODY void window_sums4_body(double *const *s, double *const *q,
                                                  const double *cols, int w, int span)
{
    const v4d_u *c = (const v4d_u *)cols;
    v4d rs = { 0 }, rq = { 0 };
    for (int e = 0; e < span; e++) {
        v4d v = c[e];
        rs += v;
        rq += v * v;
    }
    /* Four steps at a time; each block of four positions is turned from
     * four rows per vector into four positions per vector and stored. */
#define AW_STEP(bs, bq, i)                         \
    do {                                           \
        v4d vin_ = c[(i) + span - 1], vout_ = c[(i) - 1]; \
        rs += vin_ - vout_;                        \
        rq += vin_ * vin_ - vout_ * vout_;         \
        bs = rs;                                   \
        bq = rq;                                   \
    } while (0)
    v4d s0 = rs, s1 = rs, s2 = rs, s3 = rs, q0 = rq, q1 = rq, q2 = rq, q3 = rq;
    int i = 0;
    for (;;) {
        if (i > 0) {
            if (i + 4 > w)
                break;
            AW_STEP(s0, q0, i);
        }
        if (i + 4 > w) {
            /* w < 4: positions 1 .. w - 1 follow */
            break;
        }
        AW_STEP(s1, q1, i + 1);
        AW_STEP(s2, q2, i + 2);
        AW_STEP(s3, q3, i + 3);
        TRANSPOSE4(s0, s1, s2, s3);
        TRANSPOSE4(q0, q1, q2, q3);
        *(v4d_u *)(s[0] + i) = s0;
        *(v4d_u *)(s[1] + i) = s1;
        *(v4d_u *)(s[2] + i) = s2;
        *(v4d_u *)(s[3] + i) = s3;
        *(v4d_u *)(q[0] + i) = q0;
        *(v4d_u *)(q[1] + i) = q1;
        *(v4d_u *)(q[2] + i) = q2;
        *(v4d_u *)(q[3] + i) = q3;
        i += 4;
    }
#undef AW_STEP
    /* The last w mod 4 positions (all of them when w < 4), one by one. */
    for (; i < w; i++) {
        if (i > 0) {
            v4d vin = c[i + span - 1], vout = c[i - 1];
            rs += vin - vout;
            rq += vin * vin - vout * vout;
        }
        for (int k = 0; k < 4; k++) {
            s[k][i] = rs[k];
            q[k][i] = rq[k];
        }
    }
}
CPU_LOOP_FORMS_AVX512(window_sums4,
                      (double *const *s, double *const *q, const double *cols, int w, int span),
                      (s, q, cols, w, span))

/* cols[(e + off) * 4 + k] = rows[k * w + e] in double: four rows of w
 * samples into columns of four. */
static inline CPU_LOOP_BODY void columns4_body(double *restrict cols, const float *restrict rows,
                                              int w)
{
    int e = 0;
    for (; e + 4 <= w; e += 4) {
        v4d a0 = __builtin_convertvector(*(const v4f_u *)(rows + e), v4d);
        v4d a1 = __builtin_convertvector(*(const v4f_u *)(rows + w + e), v4d);
        v4d a2 = __builtin_convertvector(*(const v4f_u *)(rows + 2 * (size_t)w + e), v4d);
        v4d a3 = __builtin_convertvector(*(const v4f_u *)(rows + 3 * (size_t)w + e), v4d);
        TRANSPOSE4(a0, a1, a2, a3);
        v4d_u *c = (v4d_u *)(cols + (size_t)e * 4);
        c[0] = a0;
        c[1] = a1;
        c[2] = a2;
        c[3] = a3;
    }
    for (; e < w; e++)
        for (int k = 0; k < 4; k++)
            cols[(size_t)e * 4 + k] = rows[(size_t)k * w + e];
}
CPU_LOOP_FORMS_AVX512(columns4, (double *restrict cols, const float *restrict rows, int w),
                      (cols, rows, w))

/* acc[i] += hrow[i]. */
static inline CPU_LOOP_BODY void add_row_body(double *restrict acc, const double *restrict hrow,
                                             int n)
{
    for (int i = 0; i < n; i++)
        acc[i] += hrow[i];
}
CPU_LOOP_FORMS_AVX2(add_row, (double *restrict acc, const double *restrict hrow, int n),
                    (acc, hrow, n))

/* One pixel's variance from its window sums s, q of n samples; *lo and
 * *hi take the bit patterns of the least and largest variance. */
static inline float variance_of(double s, double q, double n, int32_t *lo, int32_t *hi)
{
    double mean = s / n;
    double var = q / n - mean * mean;
    float v = var > 0.0 ? (float)var : 0.0f;
    int32_t b;
    memcpy(&b, &v, sizeof b);
    *lo = b < *lo ? b : *lo;
    *hi = b > *hi ? b : *hi;
    return v;
}

/* One output row of variances from the window sums as, aq (sums and sums
 * of squares) of n samples, and the row's least and largest variance.
 * With os (and oq, is, iq), the window first slides down a row: the sums
 * take away those of the row leaving it and add those of the row entering
 * it.  The variances are never negative or NaN, so their order is that of
 * their bit patterns as integers, which the vector steps compare. */
static inline CPU_LOOP_BODY void variance_row_body(float *restrict dst, double *restrict as,
                                                  double *restrict aq, const double *os,
                                                  const double *oq, const double *is,
                                                  const double *iq, int w, double n,
                                                  int32_t *lo, int32_t *hi)
{
    v4d nv = { n, n, n, n }, zero = { 0 };
    v4i vlo = { *lo, *lo, *lo, *lo }, vhi = { *hi, *hi, *hi, *hi };
    int i = 0;
    for (; i + 4 <= w; i += 4) {
        v4d s = *(const v4d_u *)(as + i), q = *(const v4d_u *)(aq + i);
        if (os) {
            s = s - *(const v4d_u *)(os + i) + *(const v4d_u *)(is + i);
            q = q - *(const v4d_u *)(oq + i) + *(const v4d_u *)(iq + i);
            *(v4d_u *)(as + i) = s;
            *(v4d_u *)(aq + i) = q;
        }
        v4d mean = s / nv;
        v4d var = q / nv - mean * mean;
        var = (v4d)((v4l)var & (v4l)(var > zero));
        v4f v = __builtin_convertvector(var, v4f);
        *(v4f_u *)(dst + i) = v;
        v4i b = (v4i)v, m = (v4i)(b < vlo);
        vlo = (b & m) | (vlo & ~m);
        m = (v4i)(b > vhi);
        vhi = (b & m) | (vhi & ~m);
    }
    for (int k = 0; k < 4; k++) {
        *lo = vlo[k] < *lo ? vlo[k] : *lo;
        *hi = vhi[k] > *hi ? vhi[k] : *hi;
    }
    for (; i < w; i++) {
        if (os) {
            as[i] = as[i] - os[i] + is[i];
            aq[i] = aq[i] - oq[i] + iq[i];
        }
        dst[i] = variance_of(as[i], aq[i], n, lo, hi);
    }
}
CPU_LOOP_FORMS_AVX512(variance_row,
                      (float *restrict dst, double *restrict as, double *restrict aq,
                       const double *os, const double *oq, const double *is, const double *iq,
                       int w, double n, int32_t *lo, int32_t *hi),
                      (dst, as, aq, os, oq, is, iq, w, n, lo, hi))

/* The window sums of the source rows in the order the output needs them:
 * the virtual rows -ws .. h - 1 + ws (the boundary mapping gives the
 * source row of each), computed four at a time and kept in a ring of
 * `slots` rows (a multiple of four, at least the window height + 4: the
 * rows of the window, the one leaving it and up to three computed
 * ahead). */
typedef struct {
    const RowSource *rs;
    const int *colmap; /* w + span - 1: window column e of the row's start */
    int ws, span, slots;
    int next;          /* the first virtual row not computed yet */
    double *hs, *hq;   /* slots rows of w sums and of w sums of squares */
    float *rows;       /* 4 source rows */
    double *cols;      /* (w + span - 1) columns of 4 */
} RowSums;

static int sums_slot(const RowSums *c, int t)
{
    return (t + c->ws) % c->slots;
}

/* Makes virtual row t's sums available. */
static void row_sums_need(RowSums *c, int t)
{
    const RowSource *rs = c->rs;
    int w = rs->in->width, h = rs->in->height, span = c->span;
    while (c->next <= t) {
        int t0 = c->next;
        double *s[4], *q[4];
        for (int k = 0; k < 4; k++) {
            source_row(rs, rs->map(t0 + k, h), c->rows + (size_t)k * w);
            s[k] = c->hs + (size_t)sums_slot(c, t0 + k) * w;
            q[k] = c->hq + (size_t)sums_slot(c, t0 + k) * w;
        }
        /* The middle columns are the row's own, in order; the ends are
         * copied from the columns the boundary mapping names. */
        columns4(c->cols + (size_t)c->ws * 4, c->rows, w);
        for (int e = 0; e < c->ws; e++) {
            int f = w + c->ws + e;
            memcpy(c->cols + (size_t)e * 4, c->cols + (size_t)(c->colmap[e] + c->ws) * 4,
                   4 * sizeof(double));
            memcpy(c->cols + (size_t)f * 4, c->cols + (size_t)(c->colmap[f] + c->ws) * 4,
                   4 * sizeof(double));
        }
        window_sums4(s, q, c->cols, w, span);
        c->next = t0 + 4;
    }
}

/* The window sums are separable: each source row is summed horizontally
 * with running sums (four rows at a time), and the output rows keep a
 * running sum of those rows: row j + 1 adds the row entering the window
 * and takes away the one leaving it (rows as the boundary mapping gives
 * them, so a tiny image may sum one source row several times). */
static void local_variance_from(Matrix *out, const RowSource *rs, float *min, float *max,
                                int winsize)
{
    int w = rs->in->width, h = rs->in->height;
    int ws = winsize > 0 ? winsize : 0, span = 2 * ws + 1;
    double n = (double)span * span;
    float vmin = 1e20f, vmax = 0.0f;
    if (w > 0 && h > 0) {
        int ncols = w + span - 1;
        int *colmap = xmalloc((size_t)ncols * sizeof(int));
        for (int e = 0; e < ncols; e++)
            colmap[e] = rs->map(e - ws, w);
        RowSums c = { rs, colmap, ws, span, (span + 4 + 3) / 4 * 4, -ws, NULL, NULL, NULL, NULL };
        c.hs = xmalloc((size_t)c.slots * w * 2 * sizeof(double));
        c.hq = c.hs + (size_t)c.slots * w;
        c.rows = xmalloc((size_t)w * 4 * sizeof(float));
        c.cols = xmalloc((size_t)ncols * 4 * sizeof(double));
        double *as = xmalloc((size_t)w * 2 * sizeof(double)), *aq = as + w;
        for (int i = 0; i < 2 * w; i++)
            as[i] = 0.0;
        for (int l = -ws; l <= ws; l++) {
            row_sums_need(&c, l);
            add_row(as, c.hs + (size_t)sums_slot(&c, l) * w, w);
            add_row(aq, c.hq + (size_t)sums_slot(&c, l) * w, w);
        }
        int32_t lo, hi;
        memcpy(&lo, &vmin, sizeof lo);
        memcpy(&hi, &vmax, sizeof hi);
        for (int j = 0; j < h; j++) {
            float *dst = out->data + (size_t)j * w;
            if (j == 0) {
                variance_row(dst, as, aq, NULL, NULL, NULL, NULL, w, n, &lo, &hi);
                continue;
            }
            row_sums_need(&c, j + ws);
            size_t ko = (size_t)sums_slot(&c, j - 1 - ws) * w;
            size_t ki = (size_t)sums_slot(&c, j + ws) * w;
            variance_row(dst, as, aq, c.hs + ko, c.hq + ko, c.hs + ki, c.hq + ki, w, n, &lo, &hi);
        }
        memcpy(&vmin, &lo, sizeof lo);
        memcpy(&vmax, &hi, sizeof hi);
        free(as);
        free(c.cols);
        free(c.rows);
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
    RowSource rs = { in, map, -1, NULL, NULL, NULL, NULL };
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
CPU_LOOP_FORMS_AVX512(weights_from_variance,
                      (float *restrict weights, size_t n, double scale, float vmin),
                      (weights, n, scale, vmin))

void area_weights_compute(AreaWeights *aw, const Matrix *image)
{
    Matrix smoothed = { 0, 0, NULL }, var;
    RowSource rs = { image, aw->mirror ? mirror_index : wrap_index, -1, NULL, NULL, NULL, NULL };
    float *buf = NULL;
    const float **rows = NULL;
    if (aw->presmooth) {
        int r = aw->presmooth->radius;
        buf = xmalloc((size_t)(2 * (2 * r + 1) + image->width + 2 * r) * sizeof(float));
        rows = xmalloc((size_t)(2 * r + 1) * sizeof *rows);
        rs.rows = rows;
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
    free(rows);
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
