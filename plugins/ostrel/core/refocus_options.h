/* The refocus filter's parameters, described once: procedure arguments,
 * command-line options, defaults, ranges and help (see param_table.h); and
 * what its tool, corvella-batch and plug-in frames share around a run. */
#ifndef OSTREL_REFOCUS_OPTIONS_H
#define OSTREL_REFOCUS_OPTIONS_H

#include <math.h>

#include "noise_auto.h"
#include "param_table.h"
#include "refocus_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Everything a run is given: the core's values, the iteration counts and
 * the seed of the random steps. */
typedef struct RefocusOptions {
    RefocusParams params;
    int iterations;
    int prev_iter;  /* the dialog preview's iterations (procedure only) */
    long long seed; /* -1: the unseeded sequence */
} RefocusOptions;

/* In the order of the procedure's arguments after run mode, image and
 * drawable. */
extern const ParamTable refocus_option_table;

/* "--noise auto" leaves this in params.lambda until the image is read and
 * refocus_auto_noise chooses the weight: not a number, which no number
 * given as an option can be. */
#define REFOCUS_NOISE_AUTO NAN
static inline int refocus_noise_is_auto(const RefocusParams *params)
{
    return isnan(params->lambda);
}

/* A matrix value as a pixel byte, rounded: whole numbers within 0..255
 * after a run; the clamp keeps the conversion defined should that ever
 * not hold. */
static inline unsigned char refocus_value_to_byte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return (unsigned char)(v + 0.5f);
}

/* Runs the filter (refocus_compute) over the n channel matrices (1 or 3)
 * for the given iterations, handing report(user, fraction) the progress
 * when report is not NULL; returns refocus_compute's status. */
int refocus_compute_channels(const RefocusParams *params, Matrix *channels, int n,
                             int iterations, void (*report)(void *user, float fraction),
                             void *user);

#ifdef __cplusplus
}
#endif

#endif
