/* One in-place sweep of the integer coordinate descent.
 *
 * Interior pixels are handled in blocks of SWEEP_BLOCK consecutive rows of
 * one column: the data terms q of the block are dot products of the padded
 * table with the image as it stands before the block, each image row loaded
 * once for all pixels of the block.  The decisions then run pixel by pixel
 * in the usual order, and each pixel's q gets the changes of the block's
 * earlier pixels times their table entries, so the result is the same
 * computation as visiting the pixels one by one (up to rounding).  Pixels
 * near the borders take the mapped path, which reads every neighbour
 * through the boundary mapping.  The data terms read a narrow copy of the
 * columns around the current one (the strip, kept equal to the image). */
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

/* Register blocking: for each run of 8 columns the kernel walks the table
 * rows once, keeping a sliding window of the four image rows the four
 * pixels need in registers.  Each step loads one table vector and one new
 * image row and issues four FMAs (the image row is shared by the pixels
 * through the window, the table vector by the four pixels).  Even and odd
 * table rows go to separate accumulators, so eight independent FMA chains
 * hide the FMA latency. */
#define LD(k) _mm256_sub_ps(_mm256_loadu_ps(p + (size_t)(k) * stride), lv)
#define FMA4(T, A, X0, X1, X2, X3)                                                 \
    do {                                                                           \
        A##0 = _mm256_fmadd_ps(T, X0, A##0);                                       \
        A##1 = _mm256_fmadd_ps(T, X1, A##1);                                       \
        A##2 = _mm256_fmadd_ps(T, X2, A##2);                                       \
        A##3 = _mm256_fmadd_ps(T, X3, A##3);                                       \
    } while (0)
__attribute__((target("avx2,fma"))) static void
block_avx2(const float *img, size_t stride, const float *tab, int pitch, int nrows,
           float level, float *q)
{
    __m256 lv = _mm256_set1_ps(level);
    __m256 e0 = _mm256_setzero_ps(), e1 = e0, e2 = e0, e3 = e0;
    __m256 o0 = e0, o1 = e0, o2 = e0, o3 = e0;
    for (int c = 0; c < pitch; c += 8) {
        const float *p = img + c, *t = tab + c;
        /* v0..v2 hold image rows l..l+2 at the top of each round. */
        __m256 v0 = LD(0), v1 = LD(1), v2 = LD(2), v3, tv;
        int l = 0;
        for (; l + 4 <= nrows; l += 4) {
            const float *tr = t + (size_t)l * pitch;
            v3 = LD(l + 3);
            tv = _mm256_loadu_ps(tr);
            FMA4(tv, e, v0, v1, v2, v3);
            v0 = LD(l + 4);
            tv = _mm256_loadu_ps(tr + pitch);
            FMA4(tv, o, v1, v2, v3, v0);
            v1 = LD(l + 5);
            tv = _mm256_loadu_ps(tr + 2 * pitch);
            FMA4(tv, e, v2, v3, v0, v1);
            v2 = LD(l + 6);
            tv = _mm256_loadu_ps(tr + 3 * pitch);
            FMA4(tv, o, v3, v0, v1, v2);
        }
        int rem = nrows - l;
        const float *tr = t + (size_t)l * pitch;
        if (rem >= 1) {
            v3 = LD(l + 3);
            tv = _mm256_loadu_ps(tr);
            FMA4(tv, e, v0, v1, v2, v3);
        }
        if (rem >= 2) {
            v0 = LD(l + 4);
            tv = _mm256_loadu_ps(tr + pitch);
            FMA4(tv, o, v1, v2, v3, v0);
        }
        if (rem >= 3) {
            v1 = LD(l + 5);
            tv = _mm256_loadu_ps(tr + 2 * pitch);
            FMA4(tv, e, v2, v3, v0, v1);
        }
    }
    q[0] = hsum256(_mm256_add_ps(e0, o0));
    q[1] = hsum256(_mm256_add_ps(e1, o1));
    q[2] = hsum256(_mm256_add_ps(e2, o2));
    q[3] = hsum256(_mm256_add_ps(e3, o3));
}
#undef LD
#undef FMA4
#if SWEEP_BLOCK != 4 || SWEEP_PAD % 16 != 0
#error "block_avx2 is written for blocks of 4 rows and a pad of whole vectors"
#endif

#endif

/* 0 automatic, 1 generic, 2 at most AVX2 (the widest kernel there is). */
static int kernel_limit;

void channel_solver_force_generic(int on)
{
    kernel_limit = on ? 1 : 0;
}

void channel_solver_limit_kernel(int level)
{
    kernel_limit = level;
}

/* 0 generic, 1 AVX2 + FMA.  (An AVX-512VL variant holding a window of
 * image rows in its 32 registers measured slower on AMD Zen 4 than the
 * AVX2 kernel, so there is none.) */
static int kernel_level(void)
{
#ifdef OSTREL_HAVE_AVX2_KERNEL
    if (kernel_limit == 1)
        return 0;
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return 0;
#endif
}

const char *channel_solver_kernel_name(void)
{
    return kernel_level() ? "avx2+fma" : "generic";
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
    int *colidx; /* map(i + k, w) for k = -rx..rx, of the current column */
} SweepState;

/* The stencil's coefficients sum to 0, so it is applied to x - x(i, j),
 * which keeps its float rounding at the scale of the local contrast. */
static float regularisation_mapped(const SweepState *st, int i, int j, float *p)
{
    float xs[13];
    float c = st->x[(size_t)j * st->w + i];
    for (int n = 0; n < 13; n++)
        xs[n] = st->x[(size_t)st->map(j + stencil_dy[n], st->h) * st->w +
                      st->map(i + stencil_dx[n], st->w)] - c;
    if (!st->weights) {
        return stencil(xs, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, p);
    }
    const float *W = st->weights;
#define WAT(dx, dy) W[(size_t)st->map(j + (dy), st->h) * st->w + st->map(i + (dx), st->w)]
    return stencil(xs, W[(size_t)j * st->w + i], WAT(1, 0), WAT(-1, 0), WAT(0, 1),
                   WAT(0, -1), p);
#undef WAT
}

static inline float regularisation_interior(const SweepState *st, size_t pos, float *p)
{
    const float *c = st->x + pos;
    ptrdiff_t w = st->w; /* signed: rows above are at negative offsets */
    float v = c[0];
    float xs[13] = { 0.0f,         c[1] - v,     c[-1] - v,     c[w] - v,
                     c[-w] - v,    c[w + 1] - v, c[w - 1] - v,  c[1 - w] - v,
                     c[-1 - w] - v, c[2] - v,    c[-2] - v,     c[2 * w] - v,
                     c[-2 * w] - v };
    if (!st->weights)
        return stencil(xs, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, p);
    const float *W = st->weights + pos;
    return stencil(xs, W[0], W[1], W[-1], W[w], W[-w], p);
}

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
                src + (size_t)st->map(j + l, st->h) * stride + (bt->cstart - col0);
        return kernel(bt->rows, bt->ftab, bt->fpitch, 2 * st->ry + 1, level);
    }
    const Weights *t = st->table;
    double q = 0.0;
    for (int l = -st->ry; l <= st->ry; l++) {
        const float *row = st->x + (size_t)st->map(j + l, st->h) * st->w;
        const float *trow = t->data + t->center + l * t->width;
        float s = 0.0f;
        for (int k = -st->rx; k <= st->rx; k++)
            s += trow[k] * (row[st->colidx[k + st->rx]] - level);
        q += s;
    }
    return (float)q;
}

/* One sweep; with q_out set, a dry pass instead that only stores every
 * pixel's data term q = sum A x and changes nothing. */
static void sweep_run(ChannelSolver *solver, float *z_out, float *a_out, float *q_out)
{
    Matrix *im = solver->image;
    SweepState st;
    st.x = im->data;
    st.rhs = solver->rhs.data;
    st.table = &solver->table;
    st.w = im->width;
    st.h = im->height;
    st.rx = solver->table.rxnz;
    st.ry = solver->table.rynz;
    st.lambda = solver->lambda;
    st.a00 = weights_get(&solver->table, 0, 0);
    st.map = solver->mirror ? mirror_index : wrap_index;
    st.weights = solver->area_weights && solver->lambda > 1e-8f
                     ? solver->area_weights->weights
                     : NULL;
    if (st.w <= 0 || st.h <= 0)
        return;
    st.colidx = xmalloc((size_t)(2 * st.rx + 1) * sizeof(int));

    const int B = SWEEP_BLOCK;
    const int pitch = solver->fast_pitch;
    const float *tab = solver->fast_table;
    int level = kernel_level();
    BlockKernel kernel = block_generic;
    PixelKernel pkernel = pixel_generic;
#ifdef OSTREL_HAVE_AVX2_KERNEL
    if (level >= 1) {
        kernel = block_avx2;
        pkernel = pixel_avx2;
    }
#else
    (void)level;
#endif
    /* The table rows -ry..ry without the block padding rows. */
    const float *rtab = tab + (size_t)(B - 1) * pitch;
    BorderTable bt;
    bt.ftab = xmalloc((size_t)(2 * st.ry + 1) * pitch * sizeof(float));
    bt.cap = pitch;
    bt.rows = xmalloc((size_t)(2 * st.ry + 1) * sizeof(*bt.rows));

    /* A(0, d) for d = -(B-1)..B-1, the coupling of pixels of one block. */
    float acol[2 * SWEEP_BLOCK - 1];
    for (int d = -(B - 1); d <= B - 1; d++)
        acol[d + B - 1] = d >= -st.ry && d <= st.ry ? weights_get(&solver->table, 0, d) : 0.0f;
    double sum_a = 0.0;
    for (int l = -st.ry; l <= st.ry; l++)
        for (int k = -st.rx; k <= st.rx; k++)
            sum_a += weights_get(&solver->table, k, l);
    int mx = st.rx > 2 ? st.rx : 2, my = st.ry > 2 ? st.ry : 2;
    size_t w = (size_t)st.w;

    /* The data terms read a strip: a copy of the image columns
     * c0..c0+sstride-1 with a short row stride, refilled whenever a column
     * needs columns outside it (every sstride - pitch + 1 columns in the
     * interior).  Image rows are often a multiple of 4 KiB apart, which
     * puts the rows one pixel reads in the same few L1 sets; the strip's
     * rows lie close together instead.  Only the current column changes,
     * and its new values are stored in both places, so the strip always
     * equals the image.  Columns past the image's right edge hold 0 (they
     * meet only zero table entries). */
    const size_t sstride = (size_t)(pitch + 32 + 15) / 16 * 16;
    float *strip = xmalloc(sstride * (size_t)st.h * sizeof(float));
    int c0 = 0, have_strip = 0;

    for (int i = 0; i < st.w; i++) {
        for (int k = -st.rx; k <= st.rx; k++)
            st.colidx[k + st.rx] = st.map(i + k, st.w);
        fold_column(&st, &bt);
        int col_fast = i >= mx && i + mx < st.w;
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
        float *scol =
            have_strip && i >= c0 && (size_t)(i - c0) < sstride ? strip + (i - c0) : NULL;
        int border_strip = have_strip && bt.fpitch && bt.cstart >= c0 &&
                           (size_t)(bt.cstart - c0) + (size_t)bt.fpitch <= sstride;
        const float *bsrc = border_strip ? strip : st.x;
        size_t bstride = border_strip ? sstride : w;
        int bcol0 = border_strip ? c0 : 0;
        int j = 0;
        while (j < st.h) {
            if (col_fast && j >= my && j + B - 1 + my < st.h) {
                float q[SWEEP_BLOCK], delta[SWEEP_BLOCK];
                float level = st.x[(size_t)j * w + (size_t)i];
                kernel(scol + (size_t)(j - st.ry) * sstride - st.rx, sstride, rtab, pitch,
                       2 * st.ry + 1, level, q);
                if (q_out) {
                    for (int b = 0; b < B; b++)
                        q_out[(size_t)(j + b) * w + (size_t)i] = (float)(level * sum_a) + q[b];
                    j += B;
                    continue;
                }
                for (int b = 0; b < B; b++) {
                    size_t pos = (size_t)(j + b) * w + (size_t)i;
                    float qb = q[b];
                    for (int e = 0; e < b; e++)
                        qb += acol[e - b + B - 1] * delta[e];
                    float p;
                    float s = regularisation_interior(&st, pos, &p);
                    float z = (float)(st.rhs[pos] + level * sum_a) + qb - st.lambda * s;
                    float a = st.a00 - st.lambda * p;
                    float old = st.x[pos];
                    float nv = channel_solver_decide(old, z, a);
                    st.x[pos] = nv;
                    scol[(size_t)(j + b) * sstride] = nv;
                    delta[b] = nv - old;
                    if (z_out)
                        z_out[pos] = z;
                    if (a_out)
                        a_out[pos] = a;
                }
                j += B;
            } else {
                size_t pos = (size_t)j * w + (size_t)i;
                float level = st.x[pos];
                if (q_out) {
                    q_out[pos] = (float)(level * sum_a) +
                                 data_border(&st, &bt, pkernel, j, level, bsrc, bstride, bcol0);
                    j++;
                    continue;
                }
                float p;
                float s = regularisation_mapped(&st, i, j, &p);
                float q = data_border(&st, &bt, pkernel, j, level, bsrc, bstride, bcol0);
                float z = (float)(st.rhs[pos] + level * sum_a) + q - st.lambda * s;
                float a = st.a00 - st.lambda * p;
                st.x[pos] = channel_solver_decide(st.x[pos], z, a);
                if (scol)
                    scol[(size_t)j * sstride] = st.x[pos];
                if (z_out)
                    z_out[pos] = z;
                if (a_out)
                    a_out[pos] = a;
                j++;
            }
        }
    }
    free(strip);
    free(bt.rows);
    free(bt.ftab);
    free(st.colidx);
}

void channel_solver_sweep(ChannelSolver *solver)
{
    sweep_run(solver, NULL, NULL, NULL);
}

void channel_solver_sweep_traced(ChannelSolver *solver, float *z, float *a)
{
    sweep_run(solver, z, a, NULL);
}

void channel_solver_data_terms(ChannelSolver *solver, float *q)
{
    sweep_run(solver, NULL, NULL, q);
}
