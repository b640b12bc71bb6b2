/* Degradation kernels: square masks of odd side addressed by offsets
 * -r..r, built with exact area coverage of the pixel grid. */
#ifndef OSTREL_CONVMASK_H
#define OSTREL_CONVMASK_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ConvMask {
    int radius;   /* r */
    int width;    /* 2r + 1 */
    int center;   /* r * width + r, index of offset (0, 0) */
    float *data;  /* offset (x, y) at data[center + x + y * width] */
} ConvMask;

/* Builders clamp their radius to this (a larger request could only come
 * from absurd parameters; callers that care refuse them first). */
#define CONVMASK_MAX_RADIUS 1024

static inline float convmask_get(const ConvMask *m, int x, int y)
{
    return m->data[m->center + x + y * m->width];
}

void convmask_create(ConvMask *mask, int radius);
void convmask_destroy(ConvMask *mask);
/* Stores value at (x, y), (-x, y), (x, -y), (-x, -y). */
void convmask_set4(ConvMask *mask, int x, int y, float value);
void convmask_normalize(ConvMask *mask);
/* Creates out, radius ra + rb: out(x, y) = sum b(k, l) a(x - k, y - l). */
void convmask_convolve(ConvMask *out, const ConvMask *a, const ConvMask *b);
/* Disc of radius (pixels); identity below 0.5. */
void convmask_disc(ConvMask *mask, float radius);
/* Gaussian of standard deviation sigma (pixels); identity below 1e-6. */
void convmask_gauss(ConvMask *mask, float sigma);
/* Streak of length pixels from the centre toward angle degrees (0 = +x,
 * 90 = +y, i.e. down the rows); identity below 0.0001. */
void convmask_motion(ConvMask *mask, float length, float angle);
/* "CONVMASK:" then one line per row, "%1.4f " per element. */
void convmask_print(const ConvMask *mask, FILE *file);

/* Whether mask(k, l) = gx(k) gy(l) within 1e-6 of the mask's peak, with
 * gx(k) = mask(k, 0) and gy(l) = mask(0, l) / mask(0, 0) (Gaussians are
 * separable).  gx and gy get 2r + 1 factors each, offset k at [k + r];
 * with float_factors set gy is rounded to float before the check, for
 * callers that filter with float factors.  0 when mask(0, 0) <= 0. */
int convmask_split(const ConvMask *mask, double *gx, double *gy, int float_factors);

/* The radii the builders above would give, without building anything
 * (unclamped, so callers can refuse absurd requests; NaN gives 0 like the
 * builders, values beyond the int range give INT_MAX). */
long convmask_disc_radius(double radius);
long convmask_gauss_radius(double sigma);
long convmask_motion_radius(double length);

/* Helper of the disc builder: integral of sqrt(R^2 - t^2) from 0 to x. */
double circle_integral(double x, double r);

#ifdef __cplusplus
}
#endif

#endif
