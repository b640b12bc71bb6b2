/* One in-place sweep of the integer coordinate descent.
 *
 * The data term q = sum A x of a pixel changes only when a pixel within
 * the table's reach moves, so the sweep keeps g = rhs + q of every pixel
 * up to date: when a pixel moves by t, t A(d) is added to g at offset d
 * from it, one short vector update per table row, and near the borders
 * the same around each place the boundary mapping reads the pixel from.
 * A sweep then costs the decisions plus work in proportion to the pixels
 * that move, which fall from most of them in the first sweeps to a few
 * per cent.
 *
 * g starts from (and is recomputed every few sweeps by) a dry pass: the
 * data terms of SWEEP_BLOCK consecutive rows of one column as dot products
 * of the padded table with the image, each image row loaded once for all
 * pixels of the block.  That pass reads a narrow copy of the columns
 * around the current one (the strip). */
#include <limits.h>
#include <math.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "area_weights.h"
#include "deconv.h"
#include "sweep_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define OSTREL_HAVE_AVX2_KERNEL 1
#endif

/* The kernels work on x - c, with c the value of the block's first pixel:
 * the data term is a sum of large terms that nearly cancels against the
 * right-hand side, and taking out the local level (added back as
 * c * sum A in double) keeps the float rounding of the sum at the scale of
 * the local contrast instead of the grey level.
 *
 * q[b] = sum over table rows l < nrows and columns c < pitch of
 * (img[(l + b) * stride + c] - level) * tab[l * pitch + c], for the
 * SWEEP_BLOCK pixels b of the block (image rows 0..nrows + B - 2 are read). */
typedef void (*BlockKernel)(const float *img, size_t stride, const float *tab,
                            int pitch, int nrows, float level, float *q);

/* q = sum over rows r < nrows of the dot product of rows[r][0..pitch) with
 * tab[r * pitch ..]. */
typedef float (*PixelKernel)(const float *const *rows, const float *tab, int pitch,
                             int nrows, float level);

static float pixel_generic(const float *const *rows, const float *tab, int pitch,
                           int nrows, float level)
{
    float q = 0.0f;
    for (int r = 0; r < nrows; r++) {
        const float *t = tab + (size_t)r * pitch;
        float s = 0.0f;
        for (int c = 0; c < pitch; c++)
            s += (rows[r][c] - level) * t[c];
        q += s;
    }
    return q;
}

static void block_generic(const float *img, size_t stride, const float *tab,
                          int pitch, int nrows, float level, float *q)
{
    for (int b = 0; b < SWEEP_BLOCK; b++) {
        float acc = 0.0f;
        for (int l = 0; l < nrows; l++) {
            const float *src = img + (size_t)(l + b) * stride;
            const float *t = tab + (size_t)l * pitch;
            float s = 0.0f;
            for (int c = 0; c < pitch; c++)
                s += (src[c] - level) * t[c];
            acc += s;
        }
        q[b] = acc;
    }
}

#ifdef OSTREL_HAVE_AVX2_KERNEL
__attribute__((target("avx2,fma"))) static inline float hsum256(__m256 v)
{
    __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    __m128 sh = _mm_movehdup_ps(s);
    s = _mm_add_ps(s, sh);
    sh = _mm_movehl_ps(sh, s);
    return _mm_cvtss_f32(_mm_add_ss(s, sh));
}

/* Two rows at a time with their own accumulators: four independent FMA
 * chains, so a border pixel is not held up by the FMA latency. */
__attribute__((target("avx2,fma"))) static float
pixel_avx2(const float *const *rows, const float *tab, int pitch, int nrows, float level)
{
    __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
    __m256 lv = _mm256_set1_ps(level);
    int r = 0;
    for (; r + 2 <= nrows; r += 2) {
        const float *s0 = rows[r], *s1 = rows[r + 1];
        const float *t0 = tab + (size_t)r * pitch, *t1 = t0 + pitch;
        for (int c = 0; c < pitch; c += 16) {
            a0 = _mm256_fmadd_ps(_mm256_sub_ps(_mm256_loadu_ps(s0 + c), lv),
                                 _mm256_loadu_ps(t0 + c), a0);
            a1 = _mm256_fmadd_ps(_mm256_sub_ps(_mm256_loadu_ps(s0 + c + 8), lv),
                                 _mm256_loadu_ps(t0 + c + 8), a1);
            a2 = _mm256_fmadd_ps(_mm256_sub_ps(_mm256_loadu_ps(s1 + c), lv),
                                 _mm256_loadu_ps(t1 + c), a2);
            a3 = _mm256_fmadd_ps(_mm256_sub_ps(_mm256_loadu_ps(s1 + c + 8), lv),
                                 _mm256_loadu_ps(t1 + c + 8), a3);
        }
    }
    if (r < nrows) {
        const float *s0 = rows[r], *t0 = tab + (size_t)r * pitch;
        for (int c = 0; c < pitch; c += 16) {
            a0 = _mm256_fmadd_ps(_mm256_sub_ps(_mm256_loadu_ps(s0 + c), lv),
                                 _mm256_loadu_ps(t0 + c), a0);
            a1 = _mm256_fmadd_ps(_mm256_sub_ps(_mm256_loadu_ps(s0 + c + 8), lv),
                                 _mm256_loadu_ps(t0 + c + 8), a1);
        }
    }
    return hsum256(_mm256_add_ps(_mm256_add_ps(a0, a1), _mm256_add_ps(a2, a3)));
}

__attribute__((target("avx512f"))) static float
pixel_avx512(const float *const *rows, const float *tab, int pitch, int nrows, float level)
{
    __m512 a0 = _mm512_setzero_ps(), a1 = a0;
    __m512 lv = _mm512_set1_ps(level);
    int r = 0;
    for (; r + 2 <= nrows; r += 2) {
        const float *s0 = rows[r], *s1 = rows[r + 1];
        const float *t0 = tab + (size_t)r * pitch, *t1 = t0 + pitch;
        for (int c = 0; c < pitch; c += 16) {
            a0 = _mm512_fmadd_ps(_mm512_sub_ps(_mm512_loadu_ps(s0 + c), lv),
                                 _mm512_loadu_ps(t0 + c), a0);
            a1 = _mm512_fmadd_ps(_mm512_sub_ps(_mm512_loadu_ps(s1 + c), lv),
                                 _mm512_loadu_ps(t1 + c), a1);
        }
    }
    if (r < nrows) {
        const float *s0 = rows[r], *t0 = tab + (size_t)r * pitch;
        for (int c = 0; c < pitch; c += 16)
            a0 = _mm512_fmadd_ps(_mm512_sub_ps(_mm512_loadu_ps(s0 + c), lv),
                                 _mm512_loadu_ps(t0 + c), a0);
    }
    return _mm512_reduce_add_ps(_mm512_add_ps(a0, a1));
}

#endif

/* Where the padded table is not zero, for the vector kernels of one
 * width: vector c (table columns c * lanes .. c * lanes + lanes - 1) has
 * entries other than 0 only in table rows first[c]..last[c] (rows counted
 * from the padded table's first; first > last for none).  A vector of
 * zeros adds exactly nothing to g, so the updates skip them: the table of
 * a disc blur is a disc, and about a third of its padded square is 0. */
typedef struct {
    int *first; /* pitch / lanes each */
    int *last;
    int row0; /* the padded table's row of the kernel's table row 0 */
} TableExtent;

static void table_extent(TableExtent *ex, const float *table, int pitch, int rows, int lanes)
{
    ex->first = xmalloc((size_t)(pitch / lanes) * 2 * sizeof(int));
    ex->last = ex->first + pitch / lanes;
    for (int c = 0; c * lanes < pitch; c++) {
        ex->first[c] = rows;
        ex->last[c] = -1;
        for (int r = 0; r < rows; r++)
            for (int k = c * lanes; k < (c + 1) * lanes; k++)
                if (table[(size_t)r * pitch + k] != 0.0f) {
                    if (r < ex->first[c])
                        ex->first[c] = r;
                    ex->last[c] = r;
                }
    }
    ex->row0 = 0;
}

/* The incremental update of one moved pixel: g rows 0..nrows-1 (stride
 * gstride) get t times the table rows, pitch floats each; the vector
 * forms leave out the vectors ex marks as zero (ex->row0: the padded
 * table's row of tab). */
typedef void (*UpdateKernel)(float *g, size_t gstride, const float *tab, int pitch,
                             int nrows, float t, const TableExtent *ex);

static void update_generic(float *g, size_t gstride, const float *tab, int pitch,
                           int nrows, float t, const TableExtent *ex)
{
    (void)ex;
    for (int r = 0; r < nrows; r++) {
        float *d = g + (size_t)r * gstride;
        const float *a = tab + (size_t)r * pitch;
        for (int c = 0; c < pitch; c++)
            d[c] += t * a[c];
    }
}

#ifdef OSTREL_HAVE_AVX2_KERNEL
#endif

/* The update after a block of SWEEP_BLOCK pixels of one column moved by
 * d[0..B-1]: g row r (stride gstride) gets sum over e of d[e] times table
 * row r - e, where tab points at the table row of r = 0 and the rows
 * before it exist (the padded table's zero rows). */
typedef void (*BlockUpdateKernel)(float *g, size_t gstride, const float *tab, int pitch,
                                  int nrows, const float *d, const TableExtent *ex);

static void block_update_generic(float *g, size_t gstride, const float *tab, int pitch,
                                 int nrows, const float *d, const TableExtent *ex)
{
    (void)ex;
    for (int r = 0; r < nrows; r++) {
        float *dst = g + (size_t)r * gstride;
        const float *a = tab + (size_t)r * pitch;
        for (int c = 0; c < pitch; c++) {
            float v = dst[c];
            for (int e = 0; e < SWEEP_BLOCK; e++)
                v += d[e] * a[c - (ptrdiff_t)e * pitch];
            dst[c] = v;
        }
    }
}


#ifdef OSTREL_HAVE_AVX2_KERNEL
#if SWEEP_BLOCK != 4 || SWEEP_PAD % 16 != 0
#error "the block kernels are written for blocks of 4 rows and a pad of whole vectors"
#endif
/* The block and block-update kernels, once per vector width. */
#define SW_VEC __m256
#define SW_LANES 8
#define SW_TARGET __attribute__((target("avx2,fma")))
#define SW_SET1 _mm256_set1_ps
#define SW_ZERO _mm256_setzero_ps
#define SW_LOADU _mm256_loadu_ps
#define SW_STOREU _mm256_storeu_ps
#define SW_ADD _mm256_add_ps
#define SW_SUB _mm256_sub_ps
#define SW_MUL _mm256_mul_ps
#define SW_FMADD _mm256_fmadd_ps
#define SW_HSUM hsum256
#define SW_NAME(x) x##_avx2
#include "sweep_wide.inc"

#define SW_VEC __m512
#define SW_LANES 16
#define SW_TARGET __attribute__((target("avx512f")))
#define SW_SET1 _mm512_set1_ps
#define SW_ZERO _mm512_setzero_ps
#define SW_LOADU _mm512_loadu_ps
#define SW_STOREU _mm512_storeu_ps
#define SW_ADD _mm512_add_ps
#define SW_SUB _mm512_sub_ps
#define SW_MUL _mm512_mul_ps
#define SW_FMADD _mm512_fmadd_ps
#define SW_HSUM _mm512_reduce_add_ps
#define SW_NAME(x) x##_avx512
#include "sweep_wide.inc"
#endif

/* 0 generic, 1 AVX2 + FMA, 2 AVX-512: the form the policy allows. */
static int kernel_level(void)
{
#ifdef OSTREL_HAVE_AVX2_KERNEL
    return (int)cpu_form();
#else
    return 0;
#endif
}

const char *channel_solver_kernel_name(void)
{
    static const char *const names[] = { "generic", "avx2+fma", "avx512f" };
    return names[kernel_level()];
}

typedef struct {
    BlockKernel block;
    PixelKernel pixel;
    UpdateKernel update;
    BlockUpdateKernel block_update;
} Kernels;

static Kernels pick_kernels(void)
{
    Kernels k = { block_generic, pixel_generic, update_generic, block_update_generic };
#ifdef OSTREL_HAVE_AVX2_KERNEL
    int level = kernel_level();
    if (level == 1) {
        k.block = block_avx2;
        k.pixel = pixel_avx2;
        k.update = update_avx2;
        k.block_update = block_update_avx2;
    } else if (level == 2) {
        k.block = block_avx512;
        k.pixel = pixel_avx512;
        k.update = update_avx512;
        k.block_update = block_update_avx512;
    }
#endif
    return k;
}

/* S = (Delta^T W Delta x) at the pixel from its 13 samples and the five
 * weights around it, with P its centre coefficient.  All weights 1 give
 * the unweighted stencil 20, -8, 2, 1 exactly.  The two samples above the
 * pixel (n, nn) were usually updated just before it, so they are added
 * last: the rest of the sum does not wait for them. */
static inline float stencil(const float *xs, float w0, float we, float ww,
                            float ws, float wn, float *p)
{
    /* xs: centre, e, w, s, n, se, sw, ne, nw, ee, ww, ss, nn (e = +x,
     * s = +y). */
    float pc = 16.0f * w0 + ww + we + wn + ws;
    *p = pc;
    float rest = pc * xs[0] - 4.0f * (w0 + we) * xs[1] - 4.0f * (w0 + ww) * xs[2] -
                 4.0f * (w0 + ws) * xs[3] + (we + ws) * xs[5] + (ww + ws) * xs[6] +
                 (we + wn) * xs[7] + (ww + wn) * xs[8] + we * xs[9] + ww * xs[10] +
                 ws * xs[11];
    return rest + (wn * xs[12] - 4.0f * (w0 + wn) * xs[4]);
}

/* channel_solver_decide's first test, exactly (s * -2Z = -2|Z|): false
 * for a pixel that stays, NaN included, without the call. */
static inline int may_move(float z, float a)
{
    return -2.0f * fabsf(z) - a < 0.0f;
}

static const int stencil_dx[13] = { 0, 1, -1, 0, 0, 1, -1, 1, -1, 2, -2, 0, 0 };
static const int stencil_dy[13] = { 0, 0, 0, 1, -1, 1, 1, -1, -1, 0, 0, 2, -2 };

typedef struct {
    float *x;
    const float *rhs;
    const float *weights; /* NULL: unweighted stencil */
    const Weights *table;
    int w, h, rx, ry;
    float lambda, a00;
    int (*map)(int, int);
    /* map(i, w) for i = -mr..w-1+mr and map(j, h) for j = -mr..h-1+mr,
     * mr = max(2, rx, ry): every column and row the stencil or the table
     * reaches from the image (see sweep_maps). */
    const int *mx, *my;
    int *mapbuf;
    int *colidx; /* map(i + k, w) for k = -rx..rx, of the current column */
    /* The sweep's strip: image columns c0..c0+STRIP_COLS-1 of x, then of
     * the weights, each a column of sh floats (see sweep_run). */
    float *strip;
    size_t sh;
    int c0;
    /* g(i, j) at g[j * gs + i], for the strip's prefetches (NULL: none). */
    const float *g;
    size_t gs;
} SweepState;

/* Columns of the strip: the PART_COLS columns visited, two to their left
 * and up to six to their right (the stencil reaches two). */
#define STRIP_COLS 24
/* Rows ahead that the strip's filling asks for. */
#define STRIP_AHEAD 12

/* x(i, j) as it stands in the sweep: from the strip for its columns. */
static inline float x_at(const SweepState *st, int i, int j)
{
    if (st->strip && i >= st->c0 && i < st->c0 + STRIP_COLS)
        return st->strip[(size_t)(i - st->c0) * st->sh + (size_t)j];
    return st->x[(size_t)j * st->w + i];
}

/* The stencil's coefficients sum to 0, so it is applied to x - x(i, j),
 * which keeps its float rounding at the scale of the local contrast. */
static float regularisation_mapped(const SweepState *st, int i, int j, float *p)
{
    float xs[13];
    float c = x_at(st, i, j);
    for (int n = 0; n < 13; n++)
        xs[n] = x_at(st, st->mx[i + stencil_dx[n]], st->my[j + stencil_dy[n]]) - c;
    if (!st->weights) {
        return stencil(xs, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, p);
    }
    const float *W = st->weights;
#define WAT(dx, dy) W[(size_t)st->my[j + (dy)] * st->w + st->mx[i + (dx)]]
    return stencil(xs, W[(size_t)j * st->w + i], WAT(1, 0), WAT(-1, 0), WAT(0, 1),
                   WAT(0, -1), p);
#undef WAT
}

/* The stencil split in two.  At the moment a pixel is visited, the samples
 * east of it (columns i + 1, i + 2) and below it (rows j + 1, j + 2) and
 * the pixel itself still hold their values from the start of the sweep;
 * only the west and north samples have been updated since.  So the east
 * and south part of the interior pixels of PART_COLS columns is computed
 * in vectors, down each column, just before the first of them is visited
 * (all it reads lies in columns not visited yet).
 * part[(i - i0) * sh + j] for columns i0..i0+PART_COLS-1. */
#define PART_COLS 16
/* j = 0..sh-1 as whole vectors (sh a multiple of SWEEP_PAD), so that the
 * compiler's vector form needs no scalar tail. */
#define FOR_COLUMN_ROWS(j, sh)                                              \
    for (ptrdiff_t j##0 = 0; j##0 < (ptrdiff_t)(sh); j##0 += SWEEP_PAD)     \
        for (ptrdiff_t j = j##0; j < j##0 + SWEEP_PAD; j++)
static inline CPU_LOOP_BODY void stencil_static_body(const SweepState *st, float *restrict part, int i0)
{
    /* Read from the strip, which starts at column i0 - 2: column i is
     * strip column i - i0 + 2. */
    const size_t sh = st->sh;
    int lo = i0 > 2 ? i0 : 2, hi = i0 + PART_COLS;
    if (hi > st->w - 2)
        hi = st->w - 2;
    for (int i = lo; i < hi; i++) {
        const float *restrict x0 = st->strip + (size_t)(i - i0 + 2) * sh;
        const float *restrict xe = x0 + sh, *restrict xee = xe + sh;
        float *restrict out = part + (size_t)(i - i0) * sh;
        /* Whole vectors of SWEEP_PAD rows (sh is a multiple of SWEEP_PAD):
         * rows 0, 1 and from h - 2 on are computed too, from whatever the
         * strip holds there, and never read. */
        if (!st->weights) {
            FOR_COLUMN_ROWS(j, sh)
            {
                float c = x0[j];
                out[j] = -8.0f * (xe[j] - c) - 8.0f * (x0[j + 1] - c) + 2.0f * (xe[j + 1] - c) +
                         2.0f * (xe[j - 1] - c) + (xee[j] - c) + (x0[j + 2] - c);
            }
            continue;
        }
        const float *restrict W0 = x0 + (size_t)STRIP_COLS * sh, *restrict We = W0 + sh;
        FOR_COLUMN_ROWS(j, sh)
        {
            float c = x0[j], w0 = W0[j], we = We[j], ws = W0[j + 1], wn = W0[j - 1];
            out[j] = -4.0f * (w0 + we) * (xe[j] - c) - 4.0f * (w0 + ws) * (x0[j + 1] - c) +
                     (we + ws) * (xe[j + 1] - c) + (we + wn) * (xe[j - 1] - c) +
                     we * (xee[j] - c) + ws * (x0[j + 2] - c);
        }
    }
}
CPU_LOOP_FORMS_AVX2(stencil_static, (const SweepState *st, float *restrict part, int i0),
                    (st, part, i0))

/* What the visit of an interior pixel of column i needs, computed in
 * vectors down the column just before the walk reaches it (column i - 1,
 * the last the stencil reaches west, is final by then):
 *   rest  the stencil without the two samples above the pixel,
 *   cn    the coefficient of the sample above (xn - x),
 *   cnn   the coefficient of the sample two above (xnn - x),
 *   a     the pixel's second difference a00 - lambda P,
 * so that the visit only adds rest + (cnn (xnn - x) - cn (xn - x)), the
 * part that waits for the pixels decided just before it.  Rows 2..h-3;
 * part: the column's east and south part (stencil_static). */
typedef struct {
    float *rest, *cn, *cnn, *a;
} ColumnTerms;

static inline CPU_LOOP_BODY void column_terms_body(const SweepState *st, const float *restrict part,
                                                   int i, float *restrict rest, float *restrict cn,
                                                   float *restrict cnn, float *restrict a)
{
    const size_t sh = st->sh;
    const float *restrict x0 = st->strip + (size_t)(i - st->c0) * sh;
    const float *restrict xw = x0 - sh, *restrict xww = xw - sh;
    const float a00 = st->a00, lambda = st->lambda;
    if (!st->weights) {
        /* The weighted form with every weight 1, term by term; cn, cnn
         * and a are then the same for every pixel (column_terms_plain). */
        FOR_COLUMN_ROWS(j, sh)
        {
            float v = x0[j];
            rest[j] = part[j] - 8.0f * (xw[j] - v) + 2.0f * (xw[j + 1] - v) +
                      2.0f * (xw[j - 1] - v) + (xww[j] - v);
        }
        return;
    }
    const float *restrict W0 = x0 + (size_t)STRIP_COLS * sh;
    const float *restrict Ww = W0 - sh, *restrict We = W0 + sh;
    FOR_COLUMN_ROWS(j, sh)
    {
        float v = x0[j], w0 = W0[j], we = We[j], ww = Ww[j], ws = W0[j + 1], wn = W0[j - 1];
        float p = 16.0f * w0 + ww + we + wn + ws;
        a[j] = a00 - lambda * p;
        rest[j] = part[j] - 4.0f * (w0 + ww) * (xw[j] - v) + (ww + ws) * (xw[j + 1] - v) +
                  (ww + wn) * (xw[j - 1] - v) + ww * (xww[j] - v);
        cn[j] = 4.0f * (w0 + wn);
        cnn[j] = wn;
    }
}
CPU_LOOP_FORMS_AVX2(column_terms,
                    (const SweepState *st, const float *restrict part, int i, float *restrict rest,
                     float *restrict cn, float *restrict cnn, float *restrict a),
                    (st, part, i, rest, cn, cnn, a))

/* cn, cnn and a of a sweep without weights: every weight 1, as in
 * column_terms, once for the sweep. */
static void column_terms_plain(const SweepState *st, const ColumnTerms *ct)
{
    for (size_t j = 0; j < st->sh; j++) {
        ct->a[j] = st->a00 - st->lambda * 20.0f;
        ct->cn[j] = 8.0f;
        ct->cnn[j] = 1.0f;
    }
}

/* The whole stencil of an interior pixel of the column from its terms;
 * x is its value, xn and xnn are the values of the two pixels above it
 * (the caller usually still holds them in registers: they were decided
 * just before). */
static inline float regularisation_split(const ColumnTerms *ct, int j, float x, float xn,
                                         float xnn)
{
    return ct->rest[j] + (ct->cnn[j] * (xnn - x) - ct->cn[j] * (xn - x));
}

#ifdef __SSE2__
#if SWEEP_BLOCK != 4
#error "block_stays decides a block in one vector of 4"
#endif
/* Whether none of the SWEEP_BLOCK pixels of a block (x: the first in the
 * strip's column, row j; g: its g, rows gs apart) passes the move test
 * when each decision sees the values the pixels above it start with and
 * no coupling term.  If so, that is what each decision sees in the walk
 * (none of them moves), and the four decisions, taken side by side with
 * the walk's operations, are exactly the walk's: the block is done, and
 * z and a receive what the walk would trace. */
static inline int block_stays(const float *x, const ColumnTerms *ct, int j, const float *g,
                              size_t gs, float lambda, float *z, float *a)
{
    __m128 v4 = _mm_loadu_ps(x);
    __m128 dn = _mm_mul_ps(_mm_loadu_ps(ct->cnn + j), _mm_sub_ps(_mm_loadu_ps(x - 2), v4));
    __m128 dn1 = _mm_mul_ps(_mm_loadu_ps(ct->cn + j), _mm_sub_ps(_mm_loadu_ps(x - 1), v4));
    __m128 s4 = _mm_add_ps(_mm_loadu_ps(ct->rest + j), _mm_sub_ps(dn, dn1));
    __m128 zq4 = _mm_setr_ps(g[0], g[gs], g[2 * gs], g[3 * gs]);
    __m128 z4 = _mm_sub_ps(zq4, _mm_mul_ps(_mm_set1_ps(lambda), s4));
    __m128 a4 = _mm_loadu_ps(ct->a + j);
    /* may_move, lane by lane. */
    __m128 t4 = _mm_sub_ps(
        _mm_mul_ps(_mm_set1_ps(-2.0f), _mm_andnot_ps(_mm_set1_ps(-0.0f), z4)), a4);
    _mm_storeu_ps(z, z4);
    _mm_storeu_ps(a, a4);
    return !_mm_movemask_ps(_mm_cmplt_ps(t4, _mm_setzero_ps()));
}
#endif

/* The data term of a pixel near a border.  Along a column the mapped
 * columns are fixed, so the table is folded once per column onto the
 * contiguous columns cstart..cstart+fpitch-1 it touches (entries of
 * columns that map to the same place are added), leaving one plain dot
 * product per mapped row.  fpitch is 0 when the image is too narrow for
 * that or the touched columns span more than the table's pitch (wrapped
 * columns); then every access goes through the column index table. */
typedef struct {
    float *ftab;    /* (2 ry + 1) rows of fpitch floats */
    int fpitch;
    int cap;        /* the largest fpitch ftab has room for */
    int cstart;
    const float **rows;
} BorderTable;

static void fold_column(const SweepState *st, BorderTable *bt)
{
    int cmin = st->w, cmax = -1;
    for (int k = 0; k <= 2 * st->rx; k++) {
        if (st->colidx[k] < cmin)
            cmin = st->colidx[k];
        if (st->colidx[k] > cmax)
            cmax = st->colidx[k];
    }
    int fpitch = (cmax - cmin + 1 + SWEEP_PAD - 1) / SWEEP_PAD * SWEEP_PAD;
    /* A wrapped column spans the whole width: cheaper (and the only thing
     * that fits ftab) through the column index table. */
    if (fpitch > st->w || fpitch > bt->cap) {
        bt->fpitch = 0;
        return;
    }
    bt->fpitch = fpitch;
    bt->cstart = cmin < st->w - fpitch ? cmin : st->w - fpitch;
    const Weights *t = st->table;
    for (int l = -st->ry; l <= st->ry; l++) {
        float *frow = bt->ftab + (size_t)(l + st->ry) * fpitch;
        for (int c = 0; c < fpitch; c++)
            frow[c] = 0.0f;
        for (int k = -st->rx; k <= st->rx; k++)
            frow[st->colidx[k + st->rx] - bt->cstart] += weights_get(t, k, l);
    }
}

/* Returns the data term of x - level. */
/* src holds the image columns from col0 on with a row stride of stride
 * floats: the image itself or the sweep's strip. */
static float data_border(const SweepState *st, const BorderTable *bt, PixelKernel kernel,
                         int j, float level, const float *src, size_t stride, int col0)
{
    if (bt->fpitch) {
        for (int l = -st->ry; l <= st->ry; l++)
            bt->rows[l + st->ry] =
                src + (size_t)st->my[j + l] * stride + (bt->cstart - col0);
        return kernel(bt->rows, bt->ftab, bt->fpitch, 2 * st->ry + 1, level);
    }
    const Weights *t = st->table;
    double q = 0.0;
    for (int l = -st->ry; l <= st->ry; l++) {
        const float *row = st->x + (size_t)st->my[j + l] * st->w;
        const float *trow = t->data + t->center + l * t->width;
        float s = 0.0f;
        for (int k = -st->rx; k <= st->rx; k++)
            s += trow[k] * (row[st->colidx[k + st->rx]] - level);
        q += s;
    }
    return (float)q;
}

static void sweep_state(const ChannelSolver *solver, SweepState *st)
{
    Matrix *im = solver->image;
    st->x = im->data;
    st->rhs = solver->rhs.data;
    st->table = &solver->table;
    st->w = im->width;
    st->h = im->height;
    st->rx = solver->table.rxnz;
    st->ry = solver->table.rynz;
    st->lambda = solver->lambda;
    st->a00 = weights_get(&solver->table, 0, 0);
    st->map = solver->mirror ? mirror_index : wrap_index;
    st->weights = solver->area_weights && solver->lambda > 1e-8f
                      ? solver->area_weights->weights
                      : NULL;
    st->colidx = NULL;
    st->strip = NULL;
    st->sh = 0;
    st->c0 = 0;
    st->g = NULL;
    st->gs = 0;
    /* The mappings as tables: border pixels read through them for every
     * sample. */
    int mr = st->rx > st->ry ? st->rx : st->ry;
    if (mr < 2)
        mr = 2;
    st->mapbuf = NULL;
    st->mx = st->my = NULL;
    if (st->w <= 0 || st->h <= 0)
        return;
    st->mapbuf = xmalloc((size_t)(st->w + st->h + 4 * mr) * sizeof(int));
    int *mx = st->mapbuf + mr, *my = st->mapbuf + st->w + 3 * mr;
    for (int i = -mr; i < st->w + mr; i++)
        mx[i] = st->map(i, st->w);
    for (int j = -mr; j < st->h + mr; j++)
        my[j] = st->map(j, st->h);
    st->mx = mx;
    st->my = my;
}

static double table_sum(const Weights *t)
{
    double sum_a = 0.0;
    for (int l = -t->rynz; l <= t->rynz; l++)
        for (int k = -t->rxnz; k <= t->rxnz; k++)
            sum_a += weights_get(t, k, l);
    return sum_a;
}

/* The dry pass: out[j * ostride + i] = sum A x of every pixel, plus rhs
 * when with_rhs is set (summed in double before the one rounding to
 * float).  Changes nothing. */
static void data_pass(ChannelSolver *solver, float *out, size_t ostride, int with_rhs)
{
    SweepState st;
    sweep_state(solver, &st);
    if (st.w <= 0 || st.h <= 0)
        return;
    st.colidx = xmalloc((size_t)(2 * st.rx + 1) * sizeof(int));
    const int B = SWEEP_BLOCK;
    const int pitch = solver->fast_pitch;
    Kernels kn = pick_kernels();
    /* The table rows -ry..ry without the block padding rows. */
    const float *rtab = solver->fast_table + (size_t)(B - 1) * pitch;
    BorderTable bt;
    bt.ftab = xmalloc((size_t)(2 * st.ry + 1) * pitch * sizeof(float));
    bt.cap = pitch;
    bt.rows = xmalloc((size_t)(2 * st.ry + 1) * sizeof(*bt.rows));
    double sum_a = table_sum(&solver->table);
    size_t w = (size_t)st.w;

    /* The strip: a copy of the image columns c0..c0+sstride-1 with a short
     * row stride, refilled whenever a column needs columns outside it.
     * Image rows are often a multiple of 4 KiB apart, which puts the rows
     * one pixel reads in the same few L1 sets; the strip's rows lie close
     * together instead.  Columns past the image's right edge hold 0 (they
     * meet only zero table entries). */
    const size_t sstride = (size_t)(pitch + 32 + 15) / 16 * 16;
    float *strip = xmalloc(sstride * (size_t)st.h * sizeof(float));
    int c0 = 0, have_strip = 0;

    for (int i = 0; i < st.w; i++) {
        for (int k = -st.rx; k <= st.rx; k++)
            st.colidx[k + st.rx] = st.mx[i + k];
        fold_column(&st, &bt);
        int col_fast = i >= st.rx && i + st.rx < st.w;
        int need_lo = -1, need_hi = -1;
        if (col_fast) {
            need_lo = i - st.rx;
            need_hi = need_lo + pitch;
        } else if (bt.fpitch) {
            need_lo = bt.cstart;
            need_hi = need_lo + bt.fpitch;
        }
        if (need_lo >= 0 &&
            (!have_strip || need_lo < c0 || (size_t)need_hi > (size_t)c0 + sstride)) {
            c0 = need_lo;
            have_strip = 1;
            size_t ncopy = w - (size_t)c0 < sstride ? w - (size_t)c0 : sstride;
            for (int r = 0; r < st.h; r++) {
                float *dst = strip + (size_t)r * sstride;
                memcpy(dst, st.x + (size_t)r * w + c0, ncopy * sizeof(float));
                for (size_t c = ncopy; c < sstride; c++)
                    dst[c] = 0.0f;
            }
        }
        int border_strip = have_strip && bt.fpitch && bt.cstart >= c0 &&
                           (size_t)(bt.cstart - c0) + (size_t)bt.fpitch <= sstride;
        const float *bsrc = border_strip ? strip : st.x;
        size_t bstride = border_strip ? sstride : w;
        int bcol0 = border_strip ? c0 : 0;
        int j = 0;
        while (j < st.h) {
            if (col_fast && j >= st.ry && j + B - 1 + st.ry < st.h) {
                float q[SWEEP_BLOCK];
                float level = st.x[(size_t)j * w + (size_t)i];
                kn.block(strip + (size_t)(j - st.ry) * sstride + (i - st.rx - c0), sstride,
                         rtab, pitch, 2 * st.ry + 1, level, q);
                for (int b = 0; b < B; b++) {
                    size_t pos = (size_t)(j + b) * w + (size_t)i;
                    double v = level * sum_a + q[b];
                    if (with_rhs)
                        v += st.rhs[pos];
                    out[(size_t)(j + b) * ostride + (size_t)i] = (float)v;
                }
                j += B;
            } else {
                size_t pos = (size_t)j * w + (size_t)i;
                float level = st.x[pos];
                double v = level * sum_a +
                           data_border(&st, &bt, kn.pixel, j, level, bsrc, bstride, bcol0);
                if (with_rhs)
                    v += st.rhs[pos];
                out[(size_t)j * ostride + (size_t)i] = (float)v;
                j++;
            }
        }
    }
    free(strip);
    free(bt.rows);
    free(bt.ftab);
    free(st.colidx);
    free(st.mapbuf);
}

/* Sweeps between two computations of g from scratch.  Rounding of the
 * updates adds up like a random walk at the scale of g, which is the local
 * residual (small once the image fits): the sweep tests follow it at every
 * pixel over more sweeps than this. */
#define REFRESH_DEFAULT 50
static int refresh_interval = REFRESH_DEFAULT;

int channel_solver_refresh_interval(int sweeps)
{
    refresh_interval = sweeps > 0 ? sweeps : REFRESH_DEFAULT;
    return refresh_interval;
}

void channel_solver_image_changed(ChannelSolver *solver)
{
    solver->grad_age = -1;
}

/* g = rhs + sum A x for every pixel.  Column i of the image is column
 * i + 2 rx of g; the row stride leaves room for an update that starts 2 rx
 * columns left of the image or runs a whole padded pitch past its last
 * column, and is kept off multiples of 4 KiB so the rows an update
 * touches do not share L1 sets. */
static void grad_refresh(ChannelSolver *solver)
{
    size_t w = (size_t)solver->image->width, h = (size_t)solver->image->height;
    size_t left = 2 * (size_t)solver->table.rxnz;
    if (!solver->grad) {
        size_t stride = (left + w + (size_t)solver->fast_pitch + 15) / 16 * 16;
        if (stride % 1024 == 0)
            stride += 16;
        solver->grad_stride = stride;
        solver->grad = xmalloc_pages(stride * h * sizeof(float));
        memset(solver->grad, 0, stride * h * sizeof(float));
    }
    data_pass(solver, solver->grad + left, solver->grad_stride, 1);
    solver->grad_age = 0;
}

/* The positions u in -r..n-1+r that the boundary mapping sends to each
 * index s of 0..n-1 (s itself among them), as lists: those of s are
 * list[start[s]..start[s + 1]).  A pixel's value is read through all of
 * its copies, so a move updates the data terms around each copy. */
typedef struct {
    int *start;
    int *list;
} Copies;

static void copies_build(Copies *c, int n, int r, int (*map)(int, int))
{
    c->start = xmalloc((size_t)(n + 1) * sizeof(int));
    c->list = xmalloc((size_t)(n + 2 * r) * sizeof(int));
    for (int s = 0; s <= n; s++)
        c->start[s] = 0;
    for (int u = -r; u < n + r; u++)
        c->start[map(u, n) + 1]++;
    for (int s = 0; s < n; s++)
        c->start[s + 1] += c->start[s];
    int *fill = xmalloc((size_t)n * sizeof(int));
    for (int s = 0; s < n; s++)
        fill[s] = c->start[s];
    for (int u = -r; u < n + r; u++)
        c->list[fill[map(u, n)]++] = u;
    free(fill);
}

static void copies_free(Copies *c)
{
    free(c->start);
    free(c->list);
}

static int copies_single(const Copies *c, int s)
{
    return c->start[s + 1] - c->start[s] == 1;
}

/* Asks for the lines of x and the weights (columns c0..c0+STRIP_COLS-1)
 * and of g (the columns visited) of row j + STRIP_AHEAD: rows a page
 * apart defeat the hardware prefetchers. */
static inline void strip_prefetch(const SweepState *st, int j, int c0)
{
    if (j + STRIP_AHEAD >= st->h)
        return;
    size_t off = (size_t)(j + STRIP_AHEAD) * (size_t)st->w + (size_t)c0;
    const float *xa = st->x + off;
    const float *wa = st->weights ? st->weights + off : NULL;
    for (int k = 0; k < STRIP_COLS; k += 16) {
        __builtin_prefetch(xa + k);
        if (wa)
            __builtin_prefetch(wa + k);
    }
    __builtin_prefetch(xa + STRIP_COLS - 1);
    if (wa)
        __builtin_prefetch(wa + STRIP_COLS - 1);
    if (st->g) {
        const float *ga = st->g + (size_t)(j + STRIP_AHEAD) * st->gs + c0 + 2;
        __builtin_prefetch(ga);
        __builtin_prefetch(ga + PART_COLS - 1);
    }
}

#ifdef OSTREL_HAVE_AVX2_KERNEL
/* r[0..7] (rows of 8) become the columns. */
__attribute__((target("avx2"))) static inline void transpose8(__m256 r[8])
{
    __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
    __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
    __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xee);
    __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xee);
    __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xee);
    __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xee);
    r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
    r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
    r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
    r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
    r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
    r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
    r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
    r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

/* Rows j0..j0+7 of image columns c..c+8*nb-1 (row stride w) into strip
 * columns k..k+8*nb-1 (dst: strip column k), or back when to_image. */
__attribute__((target("avx2"))) static inline void
transpose_rows(float *img, size_t w, float *dst, size_t sh, int nb, int to_image)
{
    for (int b = 0; b < nb; b++) {
        __m256 r[8];
        float *im = img + 8 * b, *sc = dst + (size_t)(8 * b) * sh;
        if (to_image) {
            for (int k = 0; k < 8; k++)
                r[k] = _mm256_loadu_ps(sc + (size_t)k * sh);
            transpose8(r);
            for (int k = 0; k < 8; k++)
                _mm256_storeu_ps(im + (size_t)k * w, r[k]);
        } else {
            for (int k = 0; k < 8; k++)
                r[k] = _mm256_loadu_ps(im + (size_t)k * w);
            transpose8(r);
            for (int k = 0; k < 8; k++)
                _mm256_storeu_ps(sc + (size_t)k * sh, r[k]);
        }
    }
}

/* strip_move's usual cases, eight rows at a time: the PART_COLS columns
 * from old_c0 + 2 on go back to x (when write_back), then (when fill) all
 * of the columns c0..c0+STRIP_COLS-1 (inside the image) come in.  When the strip moves
 * on by PART_COLS, its last STRIP_COLS - PART_COLS columns become its
 * first (the two visited last and six not visited yet: what x holds),
 * and only the others are read from x and the weights, whose rows lie a
 * page apart.  Returns the rows done. */
__attribute__((target("avx2"))) static int strip_rows_avx2(SweepState *st, int write_back,
                                                           int fill, int old_c0, int c0)
{
    size_t w = (size_t)st->w, sh = st->sh;
    float *sx = st->strip, *sw = st->strip + (size_t)STRIP_COLS * sh;
    const int keep = STRIP_COLS - PART_COLS;
    int shift = write_back && fill && c0 == old_c0 + PART_COLS;
    int k0 = shift ? keep : 0;
    int j = 0;
    for (; j + 8 <= st->h; j += 8) {
        size_t row = (size_t)j * w;
        if (write_back)
            transpose_rows(st->x + row + old_c0 + 2, w, sx + 2 * sh + (size_t)j, sh,
                           PART_COLS / 8, 1);
        if (!fill)
            continue;
        for (int k = 0; k < 8; k++)
            strip_prefetch(st, j + k, c0);
        if (shift)
            for (int k = 0; k < keep; k++) {
                size_t to = (size_t)k * sh + (size_t)j, from = to + (size_t)PART_COLS * sh;
                _mm256_storeu_ps(sx + to, _mm256_loadu_ps(sx + from));
                if (st->weights)
                    _mm256_storeu_ps(sw + to, _mm256_loadu_ps(sw + from));
            }
        transpose_rows(st->x + row + c0 + k0, w, sx + (size_t)k0 * sh + (size_t)j, sh,
                       (STRIP_COLS - k0) / 8, 0);
        if (st->weights)
            transpose_rows((float *)st->weights + row + c0 + k0, w,
                           sw + (size_t)k0 * sh + (size_t)j, sh, (STRIP_COLS - k0) / 8, 0);
    }
    return j;
}
#endif

/* Moves the strip to start at column c0 (c0 = i0 - 2 for the columns
 * i0..i0+PART_COLS-1 about to be visited): the columns visited since the
 * last move (those of its PART_COLS, when have_old) go back to x, then
 * columns c0..c0+STRIP_COLS-1 of x and the weights are copied in (0
 * outside the image).  A c0 of INT_MIN only writes back. */
static void strip_move(SweepState *st, int have_old, int c0)
{
    size_t w = (size_t)st->w, sh = st->sh;
    int olo = st->c0 + 2 < 0 ? 0 : st->c0 + 2;
    int ohi = st->c0 + 2 + PART_COLS < st->w ? st->c0 + 2 + PART_COLS : st->w;
    if (!have_old)
        ohi = olo;
    int fill = c0 != INT_MIN;
    int lo = 0, hi = 0;
    if (fill) {
        lo = c0 < 0 ? 0 : c0;
        hi = c0 + STRIP_COLS < st->w ? c0 + STRIP_COLS : st->w;
    }
    int full = fill && lo == c0 && hi == c0 + STRIP_COLS;
    float *sx = st->strip, *sw = st->strip + (size_t)STRIP_COLS * sh;
    float *sxo = sx + (size_t)(olo - st->c0) * sh;
    /* Rows below jv: the columns written back (vec_back) or filled
     * (vec_fill) in vectors. */
    int jv = 0, vec_back = 0, vec_fill = 0;
#ifdef OSTREL_HAVE_AVX2_KERNEL
#if STRIP_COLS % 8 != 0 || PART_COLS % 8 != 0 || STRIP_COLS - PART_COLS > PART_COLS
#error "the strip's transposes move whole blocks of 8 columns"
#endif
    /* Only moves data: every form gives the same strip. */
    if (kernel_level() >= 1) {
        vec_back = ohi - olo == PART_COLS;
        vec_fill = full;
        if (vec_back || vec_fill)
            jv = strip_rows_avx2(st, vec_back, vec_fill, st->c0, c0);
    }
#endif
    for (int j = 0; j < st->h; j++) {
        float *xrow = st->x + (size_t)j * w;
        if (!(j < jv && vec_back))
            for (int i = olo; i < ohi; i++)
                xrow[i] = sxo[(size_t)(i - olo) * sh + (size_t)j];
        if (!fill || (j < jv && vec_fill))
            continue;
        const float *wrow = st->weights ? st->weights + (size_t)j * w : NULL;
        if (full)
            strip_prefetch(st, j, c0);
        for (int k = 0; k < STRIP_COLS; k++) {
            int i = c0 + k;
            sx[(size_t)k * sh + (size_t)j] = i >= lo && i < hi ? xrow[i] : 0.0f;
        }
        if (wrow)
            for (int k = 0; k < STRIP_COLS; k++) {
                int i = c0 + k;
                sw[(size_t)k * sh + (size_t)j] = i >= lo && i < hi ? wrow[i] : 0.0f;
            }
    }
    if (fill)
        st->c0 = c0;
}

/* One sweep; z_out and a_out (may be NULL) receive every pixel's Z and a.
 *
 * The pixels are visited column by column, and a visit reads five rows of
 * x and three of the weights: with a row stride of the image width, a
 * walk down a column touches a new cache line of each at every row, and
 * with widths near a multiple of 1024 those lines all fall into a few
 * cache sets.  So the pixels read x and the weights from the strip, a
 * copy of the PART_COLS columns being visited and their neighbours with a
 * short row stride, filled before the first of them; moves are written
 * to the strip, which goes back to x before it moves on (border pixels
 * read the strip's columns from the strip, others from x). */
static inline CPU_LOOP_BODY void sweep_run_body(ChannelSolver *solver, float *z_out,
                                                 float *a_out)
{
    SweepState st;
    sweep_state(solver, &st);
    if (st.w <= 0 || st.h <= 0)
        return;
    if (!solver->grad || solver->grad_age < 0 || solver->grad_age >= refresh_interval)
        grad_refresh(solver);
    solver->grad_age++;

    const int B = SWEEP_BLOCK;
    const int pitch = solver->fast_pitch;
    Kernels kn = pick_kernels();
    TableExtent ex;
    table_extent(&ex, solver->fast_table, pitch, solver->fast_rows, kernel_level() == 2 ? 16 : 8);
    RandStream rs;
    rand_stream_take(&rs);
    /* The table rows -ry..ry without the block padding rows. */
    const float *rtab = solver->fast_table + (size_t)(B - 1) * pitch;
    size_t w = (size_t)st.w, gs = solver->grad_stride;
    /* g(i, j) at g[j * gs + i]. */
    float *g = solver->grad + 2 * st.rx;
    st.g = g;
    st.gs = gs;
    Copies cx, cy;
    copies_build(&cx, st.w, st.rx, st.map);
    copies_build(&cy, st.h, st.ry, st.map);
    /* A(0, d) for d = -(B-1)..B-1, the coupling of pixels of one block. */
    float acol[2 * SWEEP_BLOCK - 1];
    for (int d = -(B - 1); d <= B - 1; d++)
        acol[d + B - 1] = d >= -st.ry && d <= st.ry ? weights_get(&solver->table, 0, d) : 0.0f;
    /* Blocks: rows whose only copy is themselves and that have the plain
     * stencil; brun[j] counts such rows from j on. */
    int *brun = xmalloc((size_t)(st.h + 1) * sizeof(int));
    float *part = NULL, *terms = NULL;
    ColumnTerms ct = { NULL, NULL, NULL, NULL };
    if (st.w >= 5 && st.h >= 5) {
        /* Columns of whole vectors, an odd number of cache lines apart:
         * columns a multiple of 4 KiB apart would share a few L1 sets. */
        st.sh = ((size_t)st.h + SWEEP_PAD - 1) / SWEEP_PAD * SWEEP_PAD;
        if (st.sh / SWEEP_PAD % 2 == 0)
            st.sh += SWEEP_PAD;
        part = xmalloc((size_t)PART_COLS * st.sh * sizeof(float));
        st.strip = xmalloc(2 * (size_t)STRIP_COLS * st.sh * sizeof(float));
        /* The rows past h are read (and never used) by the vector loops. */
        memset(part, 0, (size_t)PART_COLS * st.sh * sizeof(float));
        memset(st.strip, 0, 2 * (size_t)STRIP_COLS * st.sh * sizeof(float));
        terms = xmalloc(4 * st.sh * sizeof(float));
        ct.rest = terms;
        ct.cn = terms + st.sh;
        ct.cnn = terms + 2 * st.sh;
        ct.a = terms + 3 * st.sh;
        if (!st.weights)
            column_terms_plain(&st, &ct);
    }
    brun[st.h] = 0;
    for (int j = st.h - 1; j >= 0; j--)
        brun[j] = copies_single(&cy, j) && j >= 2 && j + 2 < st.h ? brun[j + 1] + 1 : 0;

    for (int i = 0; i < st.w; i++) {
        int col_s = i >= 2 && i + 2 < st.w;
        int col_block = col_s && copies_single(&cx, i);
        float *gcol = g + (size_t)i;
        if (part && i % PART_COLS == 0) {
            strip_move(&st, i > 0, i - 2);
            stencil_static(&st, part, i);
        }
        /* Column i in the strip. */
        float *scol = st.strip ? st.strip + (size_t)(i - st.c0) * st.sh : NULL;
        if (col_s && part)
            column_terms(&st, part + (size_t)(i % PART_COLS) * st.sh, i, ct.rest, ct.cn, ct.cnn,
                         ct.a);
        int j = 0;
        /* Whether the last block walked kept all its pixels. */
        int still = 1;
        while (j < st.h) {
            if (col_block && brun[j] >= B) {
#ifdef __SSE2__
                /* Most blocks, late in a run, keep all their pixels (see
                 * block_stays); after a block where pixels moved, the next
                 * is walked without the try (moves come in runs). */
                float zs[SWEEP_BLOCK], as[SWEEP_BLOCK];
                if (still && block_stays(scol + j, &ct, j, gcol + (size_t)j * gs, gs, st.lambda,
                                         zs, as)) {
                    if (z_out || a_out)
                        for (int b = 0; b < B; b++) {
                            size_t pos = (size_t)(j + b) * w + (size_t)i;
                            if (z_out)
                                z_out[pos] = zs[b];
                            if (a_out)
                                a_out[pos] = as[b];
                        }
                    j += B;
                    continue;
                }
#endif
                /* A block: each pixel's g gets the moves of the block's
                 * earlier pixels, then one update adds all the moves. */
                float delta[SWEEP_BLOCK];
                int moved = 0;
                float xn = scol[j - 1], xnn = scol[j - 2];
#pragma GCC unroll 4
                for (int b = 0; b < B; b++) {
                    size_t pos = (size_t)(j + b) * w + (size_t)i;
                    float zq = gcol[(size_t)(j + b) * gs];
                    /* Before the block's first move the terms are all 0
                     * (at most the sign of a zero g differs, which no
                     * decision sees). */
                    if (moved)
                        for (int e = 0; e < b; e++)
                            zq += acol[e - b + B - 1] * delta[e];
                    float old = scol[j + b];
                    float s = regularisation_split(&ct, j + b, old, xn, xnn);
                    float z = zq - st.lambda * s;
                    float a = ct.a[j + b];
                    float nv = may_move(z, a) ? solver_step_from(old, z, a, &rs) : old;
                    scol[j + b] = nv;
                    xnn = xn;
                    xn = nv;
                    delta[b] = nv - old;
                    moved += nv != old;
                    if (z_out)
                        z_out[pos] = z;
                    if (a_out)
                        a_out[pos] = a;
                }
                still = !moved;
                if (moved == 1) {
                    /* One pixel moved: the plain update of its rows. */
                    int b = 0;
                    while (delta[b] == 0.0f)
                        b++;
                    int jb = j + b;
                    int l0 = jb - st.ry < 0 ? -jb : -st.ry;
                    int l1 = jb + st.ry > st.h - 1 ? st.h - 1 - jb : st.ry;
                    ex.row0 = l0 + st.ry + B - 1;
                    kn.update(gcol + (ptrdiff_t)(jb + l0) * (ptrdiff_t)gs - st.rx, gs,
                              rtab + (ptrdiff_t)(l0 + st.ry) * pitch, pitch, l1 - l0 + 1,
                              delta[b], &ex);
                } else if (moved) {
                    /* g rows j + m, m = -ry..ry + B - 1, inside the image. */
                    int m0 = j - st.ry < 0 ? -j : -st.ry;
                    int m1 = j + B - 1 + st.ry > st.h - 1 ? st.h - 1 - j : st.ry + B - 1;
                    ex.row0 = m0 + st.ry + B - 1;
                    kn.block_update(gcol + (ptrdiff_t)(j + m0) * (ptrdiff_t)gs - st.rx, gs,
                                    rtab + (ptrdiff_t)(m0 + st.ry) * pitch, pitch, m1 - m0 + 1,
                                    delta, &ex);
                }
                j += B;
                continue;
            }
            size_t pos = (size_t)j * w + (size_t)i;
            float old = scol ? scol[j] : st.x[pos];
            float a, s;
            if (col_s && j >= 2 && j + 2 < st.h) {
                s = regularisation_split(&ct, j, old, scol[j - 1], scol[j - 2]);
                a = ct.a[j];
            } else {
                float p;
                s = regularisation_mapped(&st, i, j, &p);
                a = st.a00 - st.lambda * p;
            }
            float z = gcol[(size_t)j * gs] - st.lambda * s;
            float nv = may_move(z, a) ? solver_step_from(old, z, a, &rs) : old;
            if (z_out)
                z_out[pos] = z;
            if (a_out)
                a_out[pos] = a;
            if (nv != old) {
                if (scol)
                    scol[j] = nv;
                else
                    st.x[pos] = nv;
                /* g(u + k, v + l) += t A(k, l) around every copy (u, v)
                 * of the pixel, for the rows inside the image. */
                for (int cu = cx.start[i]; cu < cx.start[i + 1]; cu++) {
                    int u = cx.list[cu];
                    for (int cv = cy.start[j]; cv < cy.start[j + 1]; cv++) {
                        int v = cy.list[cv];
                        int l0 = v - st.ry < 0 ? -v : -st.ry;
                        int l1 = v + st.ry > st.h - 1 ? st.h - 1 - v : st.ry;
                        if (l0 <= l1) {
                            ex.row0 = l0 + st.ry + B - 1;
                            kn.update(g + (ptrdiff_t)(v + l0) * (ptrdiff_t)gs + u - st.rx, gs,
                                      rtab + (size_t)(l0 + st.ry) * pitch, pitch, l1 - l0 + 1,
                                      nv - old, &ex);
                        }
                    }
                }
            }
            j++;
        }
    }
    if (st.strip)
        strip_move(&st, 1, INT_MIN);
    rand_stream_give(&rs);
    free(ex.first);
    free(part);
    free(terms);
    free(st.strip);
    free(st.mapbuf);
    free(brun);
    copies_free(&cx);
    copies_free(&cy);
}
/* The decisions' scalar code gains from the AVX2 encodings (three-operand
 * forms, fewer moves); without FMA its rounding is the generic form's. */
CPU_LOOP_FORMS_AVX2(sweep_run, (ChannelSolver *solver, float *z_out, float *a_out),
                    (solver, z_out, a_out))

/* The untraced sweep on its own, so that the tests for z_out and a_out
 * leave its loop. */
static inline CPU_LOOP_BODY void sweep_plain_body(ChannelSolver *solver)
{
    sweep_run_body(solver, NULL, NULL);
}
CPU_LOOP_FORMS_AVX2(sweep_plain, (ChannelSolver *solver), (solver))

void channel_solver_sweep(ChannelSolver *solver)
{
    sweep_plain(solver);
}

void channel_solver_sweep_traced(ChannelSolver *solver, float *z, float *a)
{
    sweep_run(solver, z, a);
}

void channel_solver_data_terms(ChannelSolver *solver, float *q)
{
    data_pass(solver, q, (size_t)solver->image->width, 0);
}
