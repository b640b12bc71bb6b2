/* Noise and detail level estimates and the calibrated noise weight rule. */
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

double refocus_detail_level(const Matrix *channel, double noise)
{
    if (!channel || !channel->data || channel->width < 4 || channel->height < 4)
        return 0.0;
    size_t w = (size_t)channel->width, bw = w / 4, bh = (size_t)channel->height / 4;
    /* Per 4 x 4 block: (left half - right half) / 4 and (top - bottom) / 4,
     * the orthonormal Haar details two scales up, whose noise part has the
     * standard deviation of the samples' noise. */
    double sum = 0.0;
    size_t n = 0;
    for (size_t by = 0; by < bh; by++)
        for (size_t bx = 0; bx < bw; bx++) {
            double left = 0.0, right = 0.0, top = 0.0, bottom = 0.0;
            for (size_t y = 0; y < 4; y++) {
                const float *row = channel->data + (4 * by + y) * w + 4 * bx;
                double l = (double)row[0] + row[1], r = (double)row[2] + row[3];
                left += l;
                right += r;
                if (y < 2)
                    top += l + r;
                else
                    bottom += l + r;
            }
            double h = 0.25 * (left - right), v = 0.25 * (top - bottom);
            double e = h * h + v * v;
            if (isfinite(e)) {
                sum += e;
                n += 2;
            }
        }
    if (n == 0)
        return 0.0;
    double var = sum / (double)n;
    if (isfinite(noise) && noise > 0.0)
        var -= noise * noise;
    return var > 0.0 ? sqrt(var) : 0.0;
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

double refocus_noise_weight(const RefocusParams *params, double sigma, double detail)
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
    /* A picture with little detail loses little to more smoothing and
     * gains from it, one with much detail the other way round; below the
     * knee (smooth, low-contrast pictures) the weight grows faster. */
    if (isfinite(detail) && detail >= 0.0) {
        double ld = log(fmax(detail, NOISE_RULE_DETAIL_MIN));
        lw += NOISE_RULE_DETAIL_POWER * (log(NOISE_RULE_DETAIL_REF) - ld);
        lw += NOISE_RULE_DETAIL_KNEE_POWER * fmax(log(NOISE_RULE_DETAIL_KNEE) - ld, 0.0);
    }
    /* Within the weights the calibration measured. */
    return fmin(fmax(exp(lw), NOISE_RULE_WEIGHT_MIN), NOISE_RULE_WEIGHT_MAX);
}

double refocus_auto_noise(RefocusParams *params, const Matrix *const *channels, int n,
                          double *levels, double *detail)
{
    double sum = 0.0, detail_sum = 0.0;
    int count = 0;
    for (int c = 0; c < n; c++) {
        double l = refocus_noise_level(channels[c]);
        if (levels)
            levels[c] = l;
        sum += l;
        detail_sum += refocus_detail_level(channels[c], l);
        count++;
    }
    double image_detail = count ? detail_sum / count : 0.0;
    if (detail)
        *detail = image_detail;
    double weight = refocus_noise_weight(params, count ? sum / count : 0.0, image_detail);
    if (params)
        params->lambda = weight;
    return weight;
}

void refocus_describe_auto_noise(char *buf, size_t len, const double *levels, int n,
                                 double detail, double weight)
{
    if (n == 3)
        snprintf(buf, len,
                 "noise level found: %.2f (red %.2f, green %.2f, blue %.2f); "
                 "detail %.2f; noise weight chosen: %.0f",
                 (levels[0] + levels[1] + levels[2]) / 3.0, levels[0], levels[1], levels[2],
                 detail, weight);
    else
        snprintf(buf, len, "noise level found: %.2f; detail %.2f; noise weight chosen: %.0f",
                 n > 0 ? levels[0] : 0.0, detail, weight);
}
