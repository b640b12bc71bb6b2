/* The refocus run: effective parameters, degradation mask, one solver per
 * channel, iterations with progress, preview and cancellation. */
#include "refocus_core.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

void refocus_params_default(RefocusParams *params)
{
    params->radius = 6.0;
    params->gauss = 0.0;
    params->motion = 0.0;
    params->mot_angle = 0.0;
    params->lambda = 100.0;
    params->lambda_min = 30.0;
    params->winsize = 3;
    params->boundary = 0;
    params->adaptive_smooth = 1;
}

int refocus_effective(const RefocusParams *params, float *lambda,
                      float *min_weight)
{
    float f = 1.0f / expf(0.25f * (float)params->lambda_min);
    float lam = (float)params->lambda;
    float l = (0.001f / f) * (lam / 10000.0f);
    if (lambda)
        *lambda = l;
    if (min_weight)
        *min_weight = f;
    return l > 1e-8f && f < 0.999f;
}

long refocus_mask_radius(const RefocusParams *params)
{
    if (isnan(params->radius) || isnan(params->gauss) || isnan(params->motion))
        return -1;
    long r = convmask_disc_radius((float)params->radius) +
             convmask_gauss_radius((float)params->gauss) +
             convmask_motion_radius((float)params->motion);
    return r;
}

static int refuse(char *msg, size_t msglen, const char *text)
{
    if (msg && msglen)
        snprintf(msg, msglen, "%s", text);
    return -1;
}

int refocus_check(const RefocusParams *params, int width, int height,
                  int strict, char *msg, size_t msglen)
{
    char buf[160];
    const double values[6] = { params->radius, params->gauss, params->motion,
                               params->mot_angle, params->lambda, params->lambda_min };
    for (int k = 0; k < 6; k++)
        if (!isfinite(values[k]))
            return refuse(msg, msglen, "parameters must be finite numbers");
    long r = refocus_mask_radius(params);
    if (r > REFOCUS_MAX_MASK_RADIUS) {
        snprintf(buf, sizeof buf,
                 "the blur parameters need a mask of radius %ld; at most %d is supported",
                 r, REFOCUS_MAX_MASK_RADIUS);
        return refuse(msg, msglen, buf);
    }
    if (strict && width > 0 && height > 0 && 2 * r + 1 > (width > height ? width : height)) {
        snprintf(buf, sizeof buf,
                 "the blur parameters need a %ld x %ld mask, larger than the %d x %d image",
                 2 * r + 1, 2 * r + 1, width, height);
        return refuse(msg, msglen, buf);
    }
    float lambda, f;
    refocus_effective(params, &lambda, &f);
    if (!isfinite(lambda) || !(f > 0.0f))
        return refuse(msg, msglen, "noise and smoothness values out of range");
    if (params->winsize < 0 || params->winsize > 1024)
        return refuse(msg, msglen, "smooth area size out of range");
    if (strict && params->winsize > 64)
        return refuse(msg, msglen, "smooth area size out of range (at most 64)");
    return 0;
}

void refocus_build_mask(ConvMask *mask, const RefocusParams *params)
{
    ConvMask disc, gauss, motion, partial;
    convmask_disc(&disc, (float)params->radius);
    convmask_gauss(&gauss, (float)params->gauss);
    convmask_motion(&motion, (float)params->motion, (float)params->mot_angle);
    convmask_convolve(&partial, &disc, &gauss);
    convmask_convolve(mask, &partial, &motion);
    convmask_destroy(&disc);
    convmask_destroy(&gauss);
    convmask_destroy(&motion);
    convmask_destroy(&partial);
}

static int cancelled(const RefocusHost *host)
{
    return host->cancel && *host->cancel;
}

#define CALL(host, fn) \
    do { \
        if ((host)->fn) \
            (host)->fn((host)->user); \
    } while (0)

static void progress(const RefocusHost *host, float fraction)
{
    if (host->report_progress)
        host->report_progress(host->user, fraction);
}

int refocus_compute(const RefocusParams *params, const RefocusHost *host,
                    int iterations)
{
    int nch = host->n_channels;
    if (nch != 1 && nch != 3)
        return REFOCUS_REFUSED;
    for (int c = 0; c < nch; c++) {
        const Matrix *m = host->channels[c];
        if (!m || !m->data || m->width <= 0 || m->height <= 0 ||
            m->width != host->channels[0]->width || m->height != host->channels[0]->height)
            return REFOCUS_REFUSED;
    }
    if (refocus_check(params, 0, 0, 0, NULL, 0))
        return REFOCUS_REFUSED;

    CALL(host, pump_events);
    float lambda, f;
    int use_weights = refocus_effective(params, &lambda, &f);
    int mirror = params->boundary == 0;
    int adaptive = use_weights && params->adaptive_smooth;
    float total = (float)iterations;
    if (adaptive)
        total *= 2.0f;
    else if (use_weights)
        total += 1.0f;
    total *= (float)nch;
    int step = 1;

    CALL(host, progress_start);
    CALL(host, read_selection);
    CALL(host, update_preview);

    int width = host->channels[0]->width, height = host->channels[0]->height;
    ConvMask mask, presmooth;
    refocus_build_mask(&mask, params);
    AreaWeights weights[3];
    if (use_weights) {
        convmask_gauss(&presmooth, 1.0f);
        for (int c = 0; c < nch; c++) {
            area_weights_set_mirror(&weights[c], mirror);
            area_weights_init(&weights[c], width, height, f, params->winsize, &presmooth);
        }
    }
    if (use_weights && !adaptive) {
        for (int c = 0; c < nch; c++) {
            area_weights_compute(&weights[c], host->channels[c]);
            progress(host, (float)(c + 1) / total);
        }
        step = nch + 1;
    }

    ChannelSolver solvers[3];
    for (int c = 0; c < nch; c++) {
        memset(&solvers[c], 0, sizeof solvers[c]);
        solvers[c].lambda = lambda;
        channel_solver_set_mirror(&solvers[c], mirror);
        channel_solver_init(&solvers[c], &mask, host->channels[c],
                            use_weights ? &weights[c] : NULL);
    }

    int stop = 0;
    for (int it = 1; it <= iterations && !stop; it++) {
        if (adaptive) {
            for (int c = 0; c < nch && !stop; c++) {
                area_weights_compute(&weights[c], host->channels[c]);
                progress(host, (float)step / total);
                step++;
                stop = cancelled(host);
            }
        }
        for (int c = 0; c < nch && !stop; c++) {
            channel_solver_sweep(&solvers[c]);
            progress(host, (float)step / total);
            step++;
            stop = cancelled(host);
        }
        if (stop)
            break;
        CALL(host, update_preview);
        CALL(host, pump_events);
        stop = cancelled(host);
    }

    convmask_destroy(&mask);
    for (int c = 0; c < nch; c++)
        channel_solver_destroy(&solvers[c]);
    if (use_weights) {
        for (int c = 0; c < nch; c++)
            area_weights_destroy(&weights[c]);
        convmask_destroy(&presmooth);
    }
    if (stop)
        return REFOCUS_CANCELLED;
    CALL(host, progress_reset);
    return REFOCUS_DONE;
}
