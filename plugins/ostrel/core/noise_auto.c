/* Noise level estimate and the calibrated noise weight rule. */
#include "noise_auto.h"

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
        /* The median: the middle element, or the mean of the two middle
         * ones. */
        qsort(d, n, sizeof *d, cmp_float);
        double m = n % 2 ? d[n / 2] : 0.5 * ((double)d[n / 2 - 1] + d[n / 2]);
        level = m / 0.6745;
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
