/* The refocus computation, driven by a host through plain callbacks.
 * See README.md in this folder for the calling sequence. */
#ifndef OSTREL_REFOCUS_CORE_H
#define OSTREL_REFOCUS_CORE_H

#include "area_weights.h"
#include "convmask.h"
#include "deconv.h"
#include "matrix.h"
#include "noise_auto.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The values the computation needs, with the plug-in's units. */
typedef struct RefocusParams {
    double radius;       /* disc radius, pixels (default 6.0) */
    double gauss;        /* Gaussian standard deviation, pixels (0.0) */
    double motion;       /* motion length, pixels (0.0) */
    double mot_angle;    /* motion direction, degrees (0.0) */
    double lambda;       /* noise reduction (100.0) */
    double lambda_min;   /* area smoothness (30.0) */
    int winsize;         /* smooth area half size (3) */
    int boundary;        /* 0 mirror, anything else periodical (0) */
    int adaptive_smooth; /* non-zero: weights recomputed every iteration (1) */
} RefocusParams;

#define REFOCUS_DEFAULT_ITERATIONS 100
#define REFOCUS_DEFAULT_PREV_ITER 10

void refocus_params_default(RefocusParams *params);

/* The host side of a run.  Every callback may be NULL (then skipped);
 * each receives user. */
typedef struct RefocusHost {
    void *user;
    /* 1 (grey) or 3 (red, green, blue) matrices of width x height, owned
     * by the host; read_selection refills them, the run leaves its result
     * in them. */
    Matrix *channels[3];
    int n_channels;
    /* Refill channels from the unprocessed pixels. */
    void (*read_selection)(void *user);
    /* Show fraction (0..1); the host also dispatches pending events. */
    void (*report_progress)(void *user, float fraction);
    /* Dispatch pending events. */
    void (*pump_events)(void *user);
    /* Render the preview from channels (nothing without a preview). */
    void (*update_preview)(void *user);
    /* Open the progress display at 0 (e.g. with the text "Refocusing..."). */
    void (*progress_start)(void *user);
    /* Set the progress display back to 0 at the end of a run that was not
     * cancelled. */
    void (*progress_reset)(void *user);
    /* Read after every step; non-zero stops the run.  May be NULL. */
    const volatile int *cancel;
} RefocusHost;

/* Outcome of refocus_compute. */
enum {
    REFOCUS_DONE = 0,       /* all iterations performed */
    REFOCUS_CANCELLED = 1,  /* stopped by the cancel flag */
    REFOCUS_REFUSED = -1    /* parameters unusable (NaN, absurd kernel
                               sizes) or bad host setup; nothing was
                               read or changed, no callback was called */
};

/* Effective regularisation: *min_weight = f = 1 / exp(0.25 lambda_min),
 * *lambda = (0.001 / f) (lambda / 10000), all in float.  Returns non-zero
 * when area weights are used (lambda > 1e-8 and f < 0.999). */
int refocus_effective(const RefocusParams *params, float *lambda,
                      float *min_weight);

/* Radius of the degradation mask the parameters give (-1 for NaN or
 * overflowing values). */
long refocus_mask_radius(const RefocusParams *params);

/* Largest degradation-mask radius refocus_compute accepts. */
#define REFOCUS_MAX_MASK_RADIUS 256

/* Builds the degradation mask K = disc * gauss * motion; destroy with
 * convmask_destroy. */
void refocus_build_mask(ConvMask *mask, const RefocusParams *params);

/* Checks params (and, when width and height are positive, the size of the
 * image they will be used on) and writes a one-line reason into msg.
 * Returns 0 when usable.  strict also refuses masks wider than the image. */
int refocus_check(const RefocusParams *params, int width, int height,
                  int strict, char *msg, size_t msglen);

/* The run: iterations sweeps per channel with progress, preview and
 * cancellation, in the order described in README.md. */
int refocus_compute(const RefocusParams *params, const RefocusHost *host,
                    int iterations);

#ifdef __cplusplus
}
#endif

#endif
