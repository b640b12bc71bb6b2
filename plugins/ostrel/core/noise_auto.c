/* Noise and detail level estimates and the calibrated noise weight rule. */
#include "noise_auto.h"

#include <stdio.h>

#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

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

/* The table cell of the mask radius of params and the noise level sigma:
 * its rows r0..r1 and columns l0..l1, and where in it they fall. */
typedef struct {
    int r0, r1, l0, l1;
    double rf, lf;
} RuleCell;

static RuleCell rule_cell(const RefocusParams *params, double sigma)
{
    if (!(sigma >= 0.0) || !isfinite(sigma))
        sigma = 0.0;
    double radius = 0.0;
    if (params) {
        long r = refocus_mask_radius(params);
        radius = r > 0 ? (double)r : 0.0;
    }
    RuleCell c;
    locate(noise_rule_radii, NOISE_RULE_RADII, radius, &c.r0, &c.rf);
    locate(noise_rule_levels, NOISE_RULE_LEVELS, sigma, &c.l0, &c.lf);
    c.r1 = NOISE_RULE_RADII > 1 ? c.r0 + 1 : c.r0;
    c.l1 = NOISE_RULE_LEVELS > 1 ? c.l0 + 1 : c.l0;
    return c;
}

/* Bilinear in the logarithm over the cell's four nodes (r0 l0, r0 l1,
 * r1 l0, r1 l1). */
static double rule_log_lerp(const RuleCell *c, double n00, double n01, double n10, double n11)
{
    return (1 - c->rf) * ((1 - c->lf) * log(n00) + c->lf * log(n01)) +
           c->rf * ((1 - c->lf) * log(n10) + c->lf * log(n11));
}

double refocus_noise_weight(const RefocusParams *params, double sigma, double detail)
{
    RuleCell c = rule_cell(params, sigma);
    /* Bilinear in the logarithm of the weight. */
    double lw = rule_log_lerp(&c, noise_rule_weights[c.r0][c.l0], noise_rule_weights[c.r0][c.l1],
                              noise_rule_weights[c.r1][c.l0], noise_rule_weights[c.r1][c.l1]);
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

/* The tile origins along one side of n samples for tiles of side s: one
 * tile over the whole side when it does not exceed s, else two centred on
 * the quarters, kept inside.  Returns the count. */
static int tile_origins(int n, int s, int *origin)
{
    if (n <= s) {
        origin[0] = 0;
        return 1;
    }
    for (int k = 0; k < 2; k++) {
        int o = (2 * k + 1) * n / 4 - s / 2;
        origin[k] = o < 0 ? 0 : o > n - s ? n - s : o;
    }
    return origin[0] == origin[1] ? 1 : 2;
}

/* The trials' own noise: a fixed sequence (xorshift64*), Gaussian by the
 * polar method, so that the same picture always gives the same trials. */
typedef struct {
    uint64_t state;
    double spare;
    int has_spare;
} TrialNoise;

static double trial_uniform(TrialNoise *t)
{
    t->state ^= t->state >> 12;
    t->state ^= t->state << 25;
    t->state ^= t->state >> 27;
    return (double)((t->state * 0x2545F4914F6CDD1DULL) >> 11) * 0x1.0p-53;
}

static double trial_gauss(TrialNoise *t)
{
    if (t->has_spare) {
        t->has_spare = 0;
        return t->spare;
    }
    double u, v, q;
    do {
        u = 2.0 * trial_uniform(t) - 1.0;
        v = 2.0 * trial_uniform(t) - 1.0;
        q = u * u + v * v;
    } while (q >= 1.0 || q == 0.0);
    double f = sqrt(-2.0 * log(q) / q);
    t->spare = v * f;
    t->has_spare = 1;
    return u * f;
}

int refocus_noise_trials(const RefocusParams *params, const Matrix *channel, double sigma,
                         double pilot, const double *weights, int n, int iterations,
                         double *errors)
{
    if (!params || !channel || !channel->data || channel->width <= 0 || channel->height <= 0 ||
        n <= 0 || !weights || !errors)
        return 0;
    RefocusParams trial = *params;
    for (int k = 0; k <= n; k++) {
        trial.lambda = k < n ? weights[k] : pilot > 0.0 ? pilot : weights[0];
        if (refocus_check(&trial, 0, 0, 0, NULL, 0))
            return 0;
    }
    size_t npix = (size_t)channel->width * (size_t)channel->height;
    for (size_t k = 0; k < npix; k++)
        if (!isfinite(channel->data[k]))
            return 0;
    long r = refocus_mask_radius(params);
    int margin = (int)(2 * r + 2);
    int side = NOISE_TRIAL_SIDE + 2 * margin;
    int sw = channel->width < side ? channel->width : side;
    int sh = channel->height < side ? channel->height : side;
    if (sw - 2 * margin < 8 || sh - 2 * margin < 8)
        return 0;
    int ox[2], oy[2];
    int nx = tile_origins(channel->width, sw, ox), ny = tile_origins(channel->height, sh, oy);
    /* The added noise makes up the level found less what rounding to
     * whole numbers puts there (the trial picture is rounded too). */
    double added = isfinite(sigma) && sigma * sigma > 1.0 / 12.0 ? sqrt(sigma * sigma - 1.0 / 12.0)
                                                                  : 0.0;
    TrialNoise noise = { 0x9E3779B97F4A7C15ULL, 0.0, 0 };

    ConvMask mask;
    refocus_build_mask(&mask, params);
    Matrix tile, degraded, run;
    matrix_create(&tile, sw, sh);
    matrix_create(&degraded, sw, sh);
    matrix_create(&run, sw, sh);
    RefocusHost host, host_tile;
    memset(&host, 0, sizeof host);
    host.n_channels = 1;
    host.channels[0] = &run;
    host_tile = host;
    host_tile.channels[0] = &tile;
    for (int k = 0; k < n; k++)
        errors[k] = 0.0;
    size_t count = 0, tsize = (size_t)sw * (size_t)sh;
    for (int ty = 0; ty < ny; ty++)
        for (int tx = 0; tx < nx; tx++) {
            for (int y = 0; y < sh; y++)
                memcpy(tile.data + (size_t)y * sw,
                       channel->data + (size_t)(oy[ty] + y) * channel->width + ox[tx],
                       (size_t)sw * sizeof(float));
            /* The trials' original: the tile refocused with the pilot
             * weight (or the tile itself), blurred by the mask and given
             * noise of the level found, rounded to bytes: a picture like
             * the photograph whose sharp original is known. */
            if (pilot > 0.0) {
                trial.lambda = pilot;
                refocus_srand(1);
                refocus_compute(&trial, &host_tile, iterations);
            }
            if (params->boundary == 0)
                matrix_convolve_mirror(&degraded, &tile, &mask);
            else
                matrix_convolve_periodic(&degraded, &tile, &mask);
            for (size_t k = 0; k < tsize; k++) {
                double v = floor(degraded.data[k] + added * trial_gauss(&noise) + 0.5);
                degraded.data[k] = (float)(v < 0.0 ? 0.0 : v > 255.0 ? 255.0 : v);
            }
            for (int k = 0; k < n; k++) {
                memcpy(run.data, degraded.data, tsize * sizeof(float));
                trial.lambda = weights[k];
                refocus_srand(1);
                refocus_compute(&trial, &host, iterations);
                double sum = 0.0;
                for (int y = margin; y < sh - margin; y++)
                    for (int x = margin; x < sw - margin; x++) {
                        double d = (double)run.data[x + (size_t)y * sw] -
                                   tile.data[x + (size_t)y * sw];
                        sum += d * d;
                    }
                errors[k] += sum;
            }
            count += (size_t)(sw - 2 * margin) * (size_t)(sh - 2 * margin);
        }
    for (int k = 0; k < n; k++)
        errors[k] /= (double)count;
    refocus_srand(1);
    matrix_destroy(&tile);
    matrix_destroy(&degraded);
    matrix_destroy(&run);
    convmask_destroy(&mask);
    return nx * ny;
}

int refocus_noise_trial_weights(const double **weights)
{
    if (weights)
        *weights = noise_rule_trial_weights;
    return NOISE_RULE_TRIALS;
}

double refocus_noise_trials_best(const double *errors)
{
    /* The smallest error, refined by a parabola through it and its
     * neighbours in (log weight, log error). */
    int best = -1;
    for (int k = 0; errors && k < NOISE_RULE_TRIALS; k++)
        if (errors[k] > 0.0 && isfinite(errors[k]) && (best < 0 || errors[k] < errors[best]))
            best = k;
    if (best < 0)
        return 0.0;
    double lbest = log(noise_rule_trial_weights[best]);
    if (best > 0 && best + 1 < NOISE_RULE_TRIALS && errors[best - 1] > 0.0 &&
        isfinite(errors[best - 1]) && errors[best + 1] > 0.0 && isfinite(errors[best + 1])) {
        double y0 = log(errors[best - 1]), y1 = log(errors[best]), y2 = log(errors[best + 1]);
        double h = log(noise_rule_trial_weights[best + 1]) - lbest;
        double d = y0 - 2.0 * y1 + y2;
        if (d > 0.0)
            lbest += 0.5 * h * (y0 - y2) / d;
    }
    return exp(lbest);
}

double refocus_noise_trial_weight(const RefocusParams *params, double sigma, double pilot,
                                  const double *errors)
{
    if (!(pilot > 0.0) || !isfinite(pilot))
        pilot = refocus_noise_weight(params, sigma, -1.0);
    double best = refocus_noise_trials_best(errors);
    if (best <= 0.0)
        return pilot;
    double lbest = log(best);
    RuleCell c = rule_cell(params, sigma);
    double offset = rule_log_lerp(&c, noise_rule_trial_factors[c.r0][c.l0],
                                  noise_rule_trial_factors[c.r0][c.l1],
                                  noise_rule_trial_factors[c.r1][c.l0],
                                  noise_rule_trial_factors[c.r1][c.l1]);
    double lw =
        (1.0 - NOISE_RULE_TRIAL_SHARE) * log(pilot) + NOISE_RULE_TRIAL_SHARE * lbest + offset;
    return fmin(fmax(exp(lw), NOISE_RULE_WEIGHT_MIN), NOISE_RULE_WEIGHT_MAX);
}

double refocus_auto_noise(RefocusParams *params, const Matrix *const *channels, int n,
                          double *levels, double *detail)
{
    double sum = 0.0, detail_sum = 0.0, trial_level = 0.0;
    int count = 0, trial = n == 3 ? 1 : 0;
    for (int c = 0; c < n; c++) {
        double l = refocus_noise_level(channels[c]);
        if (levels)
            levels[c] = l;
        if (c == trial)
            trial_level = l;
        sum += l;
        detail_sum += refocus_detail_level(channels[c], l);
        count++;
    }
    double image_detail = count ? detail_sum / count : 0.0, level = count ? sum / count : 0.0;
    if (detail)
        *detail = image_detail;
    double weight = refocus_noise_weight(params, level, image_detail);
    double errors[NOISE_RULE_TRIALS];
    if (params && count &&
        refocus_noise_trials(params, channels[trial], trial_level, weight, noise_rule_trial_weights,
                             NOISE_RULE_TRIALS, NOISE_TRIAL_ITERATIONS, errors) > 0)
        weight = refocus_noise_trial_weight(params, level, weight, errors);
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
