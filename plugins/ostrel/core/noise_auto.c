/* Noise level estimate and the calibrated noise weight rule. */
#include "noise_auto.h"

#include <stdio.h>

#include <math.h>
#include <stdlib.h>

#include "refocus_core.h"

/* The calibration table, written by scripts/calibrate-refocus-noise. */
#include "noise_rule_table.h"

static int cmp_float(const void *pa, const void *pb)
{
    float a = *(const float *)pa, b = *(const float *)pb;
    return (a > b) - (a < b);
}

/* The median of the ascending a[0..n).  Whole-number samples give details
 * on a grid of 0.5, where a plain median could only jump from grid value
 * to grid value (0.74, 1.48, ... as levels); then each grid value stands
 * for the interval of width 0.5 around it (0 for [0, 0.25]), its samples
 * spread evenly over it, and the median is read off that distribution. */
static double grouped_median(const float *a, size_t n)
{
    int on_grid = 1;
    for (size_t k = 0; k < n && on_grid; k++)
        on_grid = a[k] * 2.0f == floorf(a[k] * 2.0f);
    double half = 0.5 * (double)n;
    if (a[n - 1] == 0.0f)
        return 0.0; /* no detail at all */
    if (!on_grid)
        return n % 2 ? a[n / 2] : 0.5 * ((double)a[n / 2 - 1] + a[n / 2]);
    /* The run of samples equal to the middle one. */
    float m = a[n / 2];
    size_t lo = n / 2, hi = n / 2;
    while (lo > 0 && a[lo - 1] == m)
        lo--;
    while (hi + 1 < n && a[hi + 1] == m)
        hi++;
    double start = m > 0.0f ? m - 0.25 : 0.0, width = m > 0.0f ? 0.5 : 0.25;
    return start + width * (half - (double)lo) / (double)(hi - lo + 1);
}

double refocus_noise_level(const Matrix *channel)
{
    if (!channel || !channel->data || channel->width < 2 || channel->height < 2)
        return 0.0;
    size_t w = (size_t)channel->width, bw = w / 2, bh = (size_t)channel->height / 2;
    float *d = xmalloc(bw * bh * sizeof(float));
    size_t n = 0;
    for (size_t by = 0; by < bh; by++) {
        const float *r0 = channel->data + 2 * by * w, *r1 = r0 + w;
        for (size_t bx = 0; bx < bw; bx++) {
            float v = 0.5f * fabsf(r0[2 * bx] - r0[2 * bx + 1] - r1[2 * bx] + r1[2 * bx + 1]);
            if (isfinite(v))
                d[n++] = v;
        }
    }
    double level = 0.0;
    if (n > 0) {
        qsort(d, n, sizeof *d, cmp_float);
        level = grouped_median(d, n) / 0.6745;
    }
    free(d);
    return level;
}

/* Linear interpolation position of v in the ascending grid g[0..n): index
 * and fraction, clamped to the ends. */
static void locate(const float *g, int n, double v, int *idx, double *frac)
{
    if (n < 2 || v <= g[0]) {
        *idx = 0;
        *frac = 0.0;
        return;
    }
    if (v >= g[n - 1]) {
        *idx = n - 2;
        *frac = 1.0;
        return;
    }
    int k = 0;
    while (k + 2 < n && v > g[k + 1])
        k++;
    *idx = k;
    *frac = (v - g[k]) / (g[k + 1] - g[k]);
}

double refocus_noise_weight(const RefocusParams *params, double sigma)
{
    if (!(sigma >= 0.0) || !isfinite(sigma))
        sigma = 0.0;
    double radius = 0.0;
    if (params) {
        long r = refocus_mask_radius(params);
        radius = r > 0 ? (double)r : 0.0;
    }
    int ri, li;
    double rf, lf;
    locate(noise_rule_radii, NOISE_RULE_RADII, radius, &ri, &rf);
    locate(noise_rule_levels, NOISE_RULE_LEVELS, sigma, &li, &lf);
    /* Bilinear in the logarithm of the weight. */
    int ri1 = NOISE_RULE_RADII > 1 ? ri + 1 : ri, li1 = NOISE_RULE_LEVELS > 1 ? li + 1 : li;
    double a = log(noise_rule_weights[ri][li]), b = log(noise_rule_weights[ri][li1]);
    double c = log(noise_rule_weights[ri1][li]), d = log(noise_rule_weights[ri1][li1]);
    double lw = (1 - rf) * ((1 - lf) * a + lf * b) + rf * ((1 - lf) * c + lf * d);
    return exp(lw);
}

double refocus_auto_noise(RefocusParams *params, const Matrix *const *channels, int n,
                          double *levels)
{
    double sum = 0.0;
    int count = 0;
    for (int c = 0; c < n; c++) {
        double l = refocus_noise_level(channels[c]);
        if (levels)
            levels[c] = l;
        sum += l;
        count++;
    }
    double weight = refocus_noise_weight(params, count ? sum / count : 0.0);
    if (params)
        params->lambda = weight;
    return weight;
}

void refocus_describe_auto_noise(char *buf, size_t len, const double *levels, int n,
                                 double weight)
{
    if (n == 3)
        snprintf(buf, len,
                 "noise level found: %.2f (red %.2f, green %.2f, blue %.2f); "
                 "noise weight chosen: %.0f",
                 (levels[0] + levels[1] + levels[2]) / 3.0, levels[0], levels[1], levels[2],
                 weight);
    else
        snprintf(buf, len, "noise level found: %.2f; noise weight chosen: %.0f",
                 n > 0 ? levels[0] : 0.0, weight);
}
