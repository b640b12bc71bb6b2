/* Iterative deconvolution of one channel: mask filtering of matrices, the
 * convolution table (negated autocorrelation of the mask) and the
 * randomised integer coordinate-descent solver. */
#ifndef OSTREL_DECONV_H
#define OSTREL_DECONV_H

#include <stdio.h>

#include "convmask.h"
#include "matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

struct AreaWeights;

/* out must be created with the size of in. */
void matrix_convolve_mirror(Matrix *out, const Matrix *in, const ConvMask *mask);
void matrix_convolve_periodic(Matrix *out, const Matrix *in, const ConvMask *mask);
/* Create out with the size of in. */
void matrix_correlate_mirror(Matrix *out, const ConvMask *mask, const Matrix *in);
void matrix_correlate_periodic(Matrix *out, const ConvMask *mask, const Matrix *in);

/* A(x, y) = -sum h(u, v) h(u + x, v + y), offsets -R..R with R = 2r. */
typedef struct Weights {
    float *data;  /* offset (x, y) at data[center + x + y * width] */
    int radius;   /* R */
    int rxnz;     /* largest |x| with an element above 1e-6 in magnitude */
    int rynz;     /* largest |y| likewise */
    int center;   /* (4r + 2) * 2r */
    int width;    /* 4r + 1 */
} Weights;

static inline float weights_get(const Weights *t, int x, int y)
{
    return t->data[t->center + x + y * t->width];
}

void weights_create(Weights *table, const ConvMask *mask);
void weights_destroy(Weights *table);
/* "WEIGHTS: (rxnz, rynz)=(%d,%d)" then one line per row, "%3.3e ". */
void weights_print(const Weights *table, FILE *file);

typedef struct ChannelSolver {
    int mirror;                        /* 1 mirror, 0 periodical boundary */
    Matrix *image;                     /* y at init, then x; not owned */
    Weights table;                     /* owned */
    float lambda;                      /* set by the caller before init */
    struct AreaWeights *area_weights;  /* may be NULL; not owned */
    Matrix rhs;                        /* H^T y; owned */
    /* Private to the sweep: the non-zero part of the table, rows padded
     * with zeros to a multiple of the vector width. */
    float *fast_table;   /* 64-byte aligned, inside fast_block */
    void *fast_block;
    int fast_pitch;
    int fast_rows;
    /* Private to the sweep: g = rhs + sum A x of every pixel whose table
     * window lies inside the image, kept up to date as pixels move, with
     * grad_stride floats per row (room for the updates' padded columns).
     * Recomputed from scratch every few sweeps. */
    float *grad;
    size_t grad_stride;
    int grad_age;        /* sweeps since g was computed; -1: not computed */
} ChannelSolver;

void channel_solver_set_mirror(ChannelSolver *solver, int mirror);
/* image must hold the degraded channel now; area_weights may be NULL. */
void channel_solver_init(ChannelSolver *solver, const ConvMask *mask,
                         Matrix *image, struct AreaWeights *area_weights);
/* One in-place pass over all pixels, columns outer, rows inner.  Draws its
 * random steps from refocus_rand(), at most one per pixel.  Between sweeps
 * the image must change only through sweeps, or the caller reports the
 * change with channel_solver_image_changed. */
void channel_solver_sweep(ChannelSolver *solver);
/* The image was changed other than by a sweep: the next sweep starts from
 * a freshly computed data term. */
void channel_solver_image_changed(ChannelSolver *solver);
/* Sweeps between two computations of the data term from scratch (the
 * incremental updates in between drift only by float rounding); 0 restores
 * the default.  Returns the interval in force. */
int channel_solver_refresh_interval(int sweeps);
/* The same sweep, also storing for every pixel (row-major) the Z and a it
 * decided on, computed at the moment of its update.  z or a may be NULL. */
void channel_solver_sweep_traced(ChannelSolver *solver, float *z, float *a);
/* The data term q = sum A x of every pixel (row-major) for the image as it
 * stands, computed by the sweep's kernels; nothing is changed. */
void channel_solver_data_terms(ChannelSolver *solver, float *q);
void channel_solver_destroy(ChannelSolver *solver);

/* The decision of one pixel given its current value v0, Z and a (a < 0).
 * Returns the new value; may draw one number from refocus_rand(). */
float channel_solver_decide(float v0, float z, float a);

/* The solver's random numbers: exactly the C runtime's rand() sequence
 * (the same numbers as rand() after the same srand(), or unseeded), drawn
 * without rand()'s lock.  The sequence is the solver's own: refocus_srand
 * seeds it (and calls srand too); other callers of rand() do not move it. */
int refocus_rand(void);
void refocus_srand(unsigned seed);

/* Which vector form the sweep's data-term and update kernels use, as the
 * policy of cpu_form.h allows: "avx512f", "avx2+fma" or "generic". */
const char *channel_solver_kernel_name(void);

#ifdef __cplusplus
}
#endif

#endif
