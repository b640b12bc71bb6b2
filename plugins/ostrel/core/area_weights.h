/* Area smoothing weights: per-pixel factors of the regularisation, 1 in
 * the flattest area of the channel down to min_weight in the busiest. */
#ifndef OSTREL_AREA_WEIGHTS_H
#define OSTREL_AREA_WEIGHTS_H

#include "convmask.h"
#include "matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct AreaWeights {
    const ConvMask *presmooth; /* may be NULL; not owned */
    int width;
    int height;
    int winsize;               /* window is (2 winsize + 1)^2 pixels */
    float min_weight;          /* f, in (0, 1] */
    float *weights;            /* width * height, row-major; owned */
    int mirror;                /* 1 mirror, 0 periodical boundary */
} AreaWeights;

void area_weights_init(AreaWeights *aw, int width, int height,
                       float min_weight, int winsize, const ConvMask *presmooth);
void area_weights_set_mirror(AreaWeights *aw, int mirror);
/* When every local variance is equal the weights are all 1. */
void area_weights_compute(AreaWeights *aw, const Matrix *image);
void area_weights_destroy(AreaWeights *aw);

/* out must be created with the size of in; each element gets the variance
 * of the window around it (never negative).  *min and *max receive the
 * smallest and largest variance. */
void local_variance_mirror(Matrix *out, const Matrix *in, float *min,
                           float *max, int winsize);
void local_variance_periodic(Matrix *out, const Matrix *in, float *min,
                             float *max, int winsize);

#ifdef __cplusplus
}
#endif

#endif
