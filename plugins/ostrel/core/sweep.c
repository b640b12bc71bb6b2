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
 * through the boundary mapping. */
#include <stdlib.h>

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
 * q[b] = sum over rows r < nrows and columns c < pitch of
 * (img[r * w + c] - level) * tab[(r + B - 1 - b) * pitch + c]. */
typedef void (*BlockKernel)(const float *img, size_t w, const float *tab,
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

static void block_generic(const float *img, size_t w, const float *tab,
                          int pitch, int nrows, float level, float *q)
{
    float acc[SWEEP_BLOCK] = { 0 };
    for (int r = 0; r < nrows; r++) {
        const float *src = img + (size_t)r * w;
        for (int b = 0; b < SWEEP_BLOCK; b++) {
            const float *t = tab + (size_t)(r + SWEEP_BLOCK - 1 - b) * pitch;
            float s = 0.0f;
            for (int c = 0; c < pitch; c++)
                s += (src[c] - level) * t[c];
            acc[b] += s;
        }
    }
    for (int b = 0; b < SWEEP_BLOCK; b++)
        q[b] = acc[b];
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

__attribute__((target("avx2,fma"))) static float
pixel_avx2(const float *const *rows, const float *tab, int pitch, int nrows, float level)
{
    __m256 a0 = _mm256_setzero_ps(), a1 = a0, lv = _mm256_set1_ps(level);
    for (int r = 0; r < nrows; r++) {
        const float *src = rows[r], *t = tab + (size_t)r * pitch;
        for (int c = 0; c < pitch; c += 16) {
            __m256 v0 = _mm256_sub_ps(_mm256_loadu_ps(src + c), lv);
            __m256 v1 = _mm256_sub_ps(_mm256_loadu_ps(src + c + 8), lv);
            a0 = _mm256_fmadd_ps(v0, _mm256_loadu_ps(t + c), a0);
            a1 = _mm256_fmadd_ps(v1, _mm256_loadu_ps(t + c + 8), a1);
        }
    }
    return hsum256(_mm256_add_ps(a0, a1));
}

/* Two accumulators per pixel keep eight independent FMA chains. */
__attribute__((target("avx2,fma"))) static void
block_avx2(const float *img, size_t w, const float *tab, int pitch, int nrows,
           float level, float *q)
{
    __m256 a00 = _mm256_setzero_ps(), a01 = a00, a10 = a00, a11 = a00;
    __m256 lv = _mm256_set1_ps(level);
    __m256 a20 = a00, a21 = a00, a30 = a00, a31 = a00;
    for (int r = 0; r < nrows; r++) {
        const float *src = img + (size_t)r * w;
        const float *t0 = tab + (size_t)(r + SWEEP_BLOCK - 1) * pitch;
        const float *t1 = t0 - pitch, *t2 = t1 - pitch, *t3 = t2 - pitch;
        for (int c = 0; c < pitch; c += 16) {
            __m256 v0 = _mm256_sub_ps(_mm256_loadu_ps(src + c), lv);
            __m256 v1 = _mm256_sub_ps(_mm256_loadu_ps(src + c + 8), lv);
            a00 = _mm256_fmadd_ps(v0, _mm256_loadu_ps(t0 + c), a00);
            a01 = _mm256_fmadd_ps(v1, _mm256_loadu_ps(t0 + c + 8), a01);
            a10 = _mm256_fmadd_ps(v0, _mm256_loadu_ps(t1 + c), a10);
            a11 = _mm256_fmadd_ps(v1, _mm256_loadu_ps(t1 + c + 8), a11);
            a20 = _mm256_fmadd_ps(v0, _mm256_loadu_ps(t2 + c), a20);
            a21 = _mm256_fmadd_ps(v1, _mm256_loadu_ps(t2 + c + 8), a21);
            a30 = _mm256_fmadd_ps(v0, _mm256_loadu_ps(t3 + c), a30);
            a31 = _mm256_fmadd_ps(v1, _mm256_loadu_ps(t3 + c + 8), a31);
        }
    }
    q[0] = hsum256(_mm256_add_ps(a00, a01));
    q[1] = hsum256(_mm256_add_ps(a10, a11));
    q[2] = hsum256(_mm256_add_ps(a20, a21));
    q[3] = hsum256(_mm256_add_ps(a30, a31));
}
#if SWEEP_BLOCK != 4 || SWEEP_PAD != 16
#error "block_avx2 is written for blocks of 4 rows and a pad of 16"
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
    size_t w = (size_t)st->w;
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
 * that; then every access goes through the column index table. */
typedef struct {
    float *ftab;    /* (2 ry + 1) rows of fpitch floats */
    int fpitch;
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
    if (fpitch > st->w) {
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
static float data_border(const SweepState *st, const BorderTable *bt, PixelKernel kernel,
                         int j, float level)
{
    if (bt->fpitch) {
        for (int l = -st->ry; l <= st->ry; l++)
            bt->rows[l + st->ry] =
                st->x + (size_t)st->map(j + l, st->h) * st->w + bt->cstart;
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
    BorderTable bt;
    bt.ftab = xmalloc((size_t)(2 * st.ry + 1) * pitch * sizeof(float));
    bt.rows = xmalloc((size_t)(2 * st.ry + 1) * sizeof(*bt.rows));

    /* A(0, d) for d = -(B-1)..B-1, the coupling of pixels of one block. */
    float acol[2 * SWEEP_BLOCK - 1];
    for (int d = -(B - 1); d <= B - 1; d++)
        acol[d + B - 1] = tab[(size_t)(d + st.ry + B - 1) * pitch + st.rx];
    double sum_a = 0.0;
    for (int l = -st.ry; l <= st.ry; l++)
        for (int k = -st.rx; k <= st.rx; k++)
            sum_a += weights_get(&solver->table, k, l);
    int mx = st.rx > 2 ? st.rx : 2, my = st.ry > 2 ? st.ry : 2;
    size_t total = (size_t)st.w * st.h;
    size_t w = (size_t)st.w;

    for (int i = 0; i < st.w; i++) {
        for (int k = -st.rx; k <= st.rx; k++)
            st.colidx[k + st.rx] = st.map(i + k, st.w);
        fold_column(&st, &bt);
        int col_fast = i >= mx && i + mx < st.w;
        int j = 0;
        while (j < st.h) {
            /* The padded reads run up to pitch - (2 rx + 1) floats past the
             * block's last row segment; they must stay inside the array. */
            if (col_fast && j >= my && j + B - 1 + my < st.h &&
                (size_t)(j + B - 1 + st.ry) * w + (size_t)(i - st.rx) + (size_t)pitch <= total) {
                float q[SWEEP_BLOCK], delta[SWEEP_BLOCK];
                float level = st.x[(size_t)j * w + (size_t)i];
                kernel(st.x + (size_t)(j - st.ry) * w + (size_t)(i - st.rx), w, tab, pitch,
                       2 * st.ry + B, level, q);
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
                    q_out[pos] = (float)(level * sum_a) + data_border(&st, &bt, pkernel, j, level);
                    j++;
                    continue;
                }
                float p;
                float s = regularisation_mapped(&st, i, j, &p);
                float z = (float)(st.rhs[pos] + level * sum_a) +
                          data_border(&st, &bt, pkernel, j, level) - st.lambda * s;
                float a = st.a00 - st.lambda * p;
                st.x[pos] = channel_solver_decide(st.x[pos], z, a);
                if (z_out)
                    z_out[pos] = z;
                if (a_out)
                    a_out[pos] = a;
                j++;
            }
        }
    }
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
