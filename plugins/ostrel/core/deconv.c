/* Mask filtering of matrices, the convolution table and the solver's set-up
 * and per-pixel decision.  The sweep itself is in sweep.c. */
#include "deconv.h"

#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "area_weights.h"
#include "sweep_internal.h"

/* acc[i] += mv * src[map(i + d)] for the whole row: only the columns whose
 * source falls outside the row go through the mapping. */
static inline void add_shifted(double *acc, const float *src, int w, int d, double mv,
                               int (*map)(int, int))
{
    int lo = d < 0 ? -d : 0, hi = d > 0 ? w - d : w;
    if (lo > w)
        lo = w;
    if (hi < lo)
        hi = lo;
    for (int i = 0; i < lo; i++)
        acc[i] += mv * src[map(i + d, w)];
    const float *s = src + d;
    for (int i = lo; i < hi; i++)
        acc[i] += mv * s[i];
    for (int i = hi; i < w; i++)
        acc[i] += mv * src[map(i + d, w)];
}

/* out(i, j) = sum mask(k, l) in(map(i + sign k), map(j + sign l)), with
 * sign -1 for convolution and +1 for correlation, sums in double.  Rows
 * are picked through the mapping once per row.  A separable mask runs as
 * a row pass into a small cache of rows (slot = row mod span) and a column
 * pass over the cached rows. */
static inline CPU_LOOP_BODY void filter_mapped_body(Matrix *out, const Matrix *in,
                                                   const ConvMask *mask, int sign, int mirror)
{
    int w = in->width, h = in->height, r = mask->radius, span = 2 * r + 1;
    int (*map)(int, int) = mirror ? mirror_index : wrap_index;
    if (w <= 0 || h <= 0)
        return;
    double *acc = xmalloc((size_t)w * sizeof(double));
    double *gx = xmalloc((size_t)span * 2 * sizeof(double)), *gy = gx + span;
    double *cache = NULL;
    int *tag = NULL;
    int sep = r > 0 && convmask_split(mask, gx, gy, 0);
    if (sep) {
        cache = xmalloc((size_t)span * w * sizeof(double));
        tag = xmalloc((size_t)span * sizeof(int));
        for (int s = 0; s < span; s++)
            tag[s] = -1;
    }
    for (int j = 0; j < h; j++) {
        for (int i = 0; i < w; i++)
            acc[i] = 0.0;
        for (int l = -r; l <= r; l++) {
            int row = map(j + sign * l, h);
            const float *src = in->data + (size_t)row * w;
            if (sep) {
                double *hrow = cache + (size_t)(row % span) * w;
                if (tag[row % span] != row) {
                    for (int i = 0; i < w; i++)
                        hrow[i] = 0.0;
                    for (int k = -r; k <= r; k++)
                        if (gx[k + r] != 0.0)
                            add_shifted(hrow, src, w, sign * k, gx[k + r], map);
                    tag[row % span] = row;
                }
                double g = gy[l + r];
                for (int i = 0; i < w; i++)
                    acc[i] += g * hrow[i];
                continue;
            }
            for (int k = -r; k <= r; k++) {
                double mv = convmask_get(mask, k, l);
                if (mv != 0.0)
                    add_shifted(acc, src, w, sign * k, mv, map);
            }
        }
        float *dst = out->data + (size_t)j * w;
        for (int i = 0; i < w; i++)
            dst[i] = (float)acc[i];
    }
    free(tag);
    free(cache);
    free(gx);
    free(acc);
}
CPU_LOOP_FORMS_AVX2(filter_mapped,
                    (Matrix *out, const Matrix *in, const ConvMask *mask, int sign, int mirror),
                    (out, in, mask, sign, mirror))

void matrix_convolve_mirror(Matrix *out, const Matrix *in, const ConvMask *mask)
{
    filter_mapped(out, in, mask, -1, 1);
}

void matrix_convolve_periodic(Matrix *out, const Matrix *in, const ConvMask *mask)
{
    filter_mapped(out, in, mask, -1, 0);
}

void matrix_correlate_mirror(Matrix *out, const ConvMask *mask, const Matrix *in)
{
    matrix_create_like(out, in);
    filter_mapped(out, in, mask, 1, 1);
}

void matrix_correlate_periodic(Matrix *out, const ConvMask *mask, const Matrix *in)
{
    matrix_create_like(out, in);
    filter_mapped(out, in, mask, 1, 0);
}

void weights_create(Weights *table, const ConvMask *mask)
{
    int r = mask->radius, R = 2 * r;
    table->radius = R;
    table->width = 4 * r + 1;
    table->center = (4 * r + 2) * 2 * r;
    table->rxnz = 0;
    table->rynz = 0;
    size_t n = (size_t)table->width * (size_t)table->width;
    table->data = xmalloc(n * sizeof(float));
    float *c = table->data + table->center;
    int w = table->width;
    for (int a = 0; a <= R; a++)
        for (int b = 0; b <= R; b++) {
            double s1 = 0.0, s2 = 0.0;
            for (int v = -r; v <= r - b; v++)
                for (int u = -r; u <= r - a; u++) {
                    s1 += (double)convmask_get(mask, u, v) * convmask_get(mask, u + a, v + b);
                    s2 += (double)convmask_get(mask, u + a, v) * convmask_get(mask, u, v + b);
                }
            s1 = -s1;
            s2 = -s2;
            c[a + b * w] = (float)s1;
            c[-a - b * w] = (float)s1;
            c[-a + b * w] = (float)s2;
            c[a - b * w] = (float)s2;
            if (fabs(s1) > 1e-6 || fabs(s2) > 1e-6) {
                if (a > table->rxnz)
                    table->rxnz = a;
                if (b > table->rynz)
                    table->rynz = b;
            }
        }
}

void weights_destroy(Weights *table)
{
    free(table->data);
    table->data = NULL;
}

void weights_print(const Weights *table, FILE *file)
{
    fprintf(file, "%s (rxnz, rynz)=(%d,%d)\n", "WEIGHTS:", table->rxnz, table->rynz);
    for (int y = -table->radius; y <= table->radius; y++) {
        for (int x = -table->radius; x <= table->radius; x++)
            fprintf(file, "%3.3e ", weights_get(table, x, y));
        fprintf(file, "\n");
    }
}

void channel_solver_set_mirror(ChannelSolver *solver, int mirror)
{
    solver->mirror = mirror;
}

void channel_solver_init(ChannelSolver *solver, const ConvMask *mask,
                         Matrix *image, struct AreaWeights *area_weights)
{
    solver->image = image;
    solver->area_weights = area_weights;
    solver->grad = NULL;
    solver->grad_stride = 0;
    solver->grad_age = -1;
    weights_create(&solver->table, mask);
    if (solver->mirror)
        matrix_correlate_mirror(&solver->rhs, mask, image);
    else
        matrix_correlate_periodic(&solver->rhs, mask, image);

    /* The sweep's copy of the table: rows -rynz-(B-1)..rynz+(B-1), each
     * holding columns -rxnz..rxnz and zeros up to the padded pitch, so that
     * a block of B pixels can run every row with every pixel. */
    const Weights *t = &solver->table;
    int pitch = ((2 * t->rxnz + 1) + SWEEP_PAD - 1) / SWEEP_PAD * SWEEP_PAD;
    int rows = 2 * t->rynz + 1 + 2 * (SWEEP_BLOCK - 1);
    solver->fast_pitch = pitch;
    solver->fast_rows = rows;
    /* Rows start on 64-byte boundaries (pitch is a multiple of 16 floats),
     * so no table load of the sweep straddles a cache line. */
    solver->fast_block = xmalloc((size_t)pitch * rows * sizeof(float) + 64);
    solver->fast_table =
        (float *)(((uintptr_t)solver->fast_block + 63) & ~(uintptr_t)63);
    memset(solver->fast_table, 0, (size_t)pitch * rows * sizeof(float));
    for (int l = -t->rynz; l <= t->rynz; l++)
        for (int k = -t->rxnz; k <= t->rxnz; k++)
            solver->fast_table[(size_t)(l + t->rynz + SWEEP_BLOCK - 1) * pitch +
                               (k + t->rxnz)] = weights_get(t, k, l);
}

void channel_solver_destroy(ChannelSolver *solver)
{
    weights_destroy(&solver->table);
    matrix_destroy(&solver->rhs);
    free(solver->fast_block);
    solver->fast_block = NULL;
    free(solver->grad);
    solver->grad = NULL;
    solver->fast_table = NULL;
}

/* 2^64 / m rounded up for m = 1..255 (0 for m = 0), as constants. */
#define STEP_MAGIC1(m) ((m) ? UINT64_MAX / ((m) ? (m) : 1) + 1 : 0)
#define STEP_MAGIC4(m) STEP_MAGIC1(m), STEP_MAGIC1((m) + 1), STEP_MAGIC1((m) + 2), STEP_MAGIC1((m) + 3)
#define STEP_MAGIC16(m) STEP_MAGIC4(m), STEP_MAGIC4((m) + 4), STEP_MAGIC4((m) + 8), STEP_MAGIC4((m) + 12)
#define STEP_MAGIC64(m) STEP_MAGIC16(m), STEP_MAGIC16((m) + 16), STEP_MAGIC16((m) + 32), STEP_MAGIC16((m) + 48)
const uint64_t step_modulo_magic[256] = { STEP_MAGIC64(0), STEP_MAGIC64(64), STEP_MAGIC64(128),
                                          STEP_MAGIC64(192) };

float channel_solver_decide(float v0, float z, float a)
{
    float s = z >= 0 ? 1.0f : -1.0f;
    /* Written so that NaN also leaves the pixel alone, as does the exact
     * tie 2|Z| = D. */
    if (!(s * (-2.0f * z) - a < 0.0f))
        return v0;
    return solver_step(v0, z, a);
}
