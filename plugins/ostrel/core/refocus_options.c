#include "refocus_options.h"

#include <stddef.h>
#include <string.h>

#define FIELD(f) offsetof(RefocusOptions, f)
#define ANY PARAM_ANY_MIN, PARAM_ANY_MAX

static const ParamWord noise_words[] = { { "auto", REFOCUS_NOISE_AUTO }, { NULL, 0 } };
static const ParamWord boundary_words[] = { { "mirror", 0 }, { "periodic", 1 }, { NULL, 0 } };

static const ParamSpec refocus_specs[] = {
    { "radius", "Blur radius (default = 6.0)", "--radius", NULL, "R", PARAM_DOUBLE,
      FIELD(params.radius), 6.0, ANY, NULL, "disc blur radius in pixels", NULL },
    { "gauss", "Gaussian blur variance (default = 0.0)", "--gauss", NULL, "S", PARAM_DOUBLE,
      FIELD(params.gauss), 0.0, ANY, NULL, "Gaussian blur in pixels", NULL },
    { "motion", "Motion size (default = 0.0)", "--motion", NULL, "L", PARAM_DOUBLE,
      FIELD(params.motion), 0.0, ANY, NULL, "motion blur length in pixels", NULL },
    { "mot_angle", "Motion angle (default = 0.0)", "--angle", NULL, "A", PARAM_DOUBLE,
      FIELD(params.mot_angle), 0.0, ANY, NULL, "motion direction in degrees", NULL },
    { "lambda", "Noise reduction (default = 100.0)", "--noise", NULL, "L", PARAM_DOUBLE,
      FIELD(params.lambda), 100.0, ANY, noise_words,
      "noise reduction; auto: chosen from the photo's noise level", NULL },
    { "boundary", "Boundary conditions (default = mirror / 0)", "--boundary", NULL, NULL,
      PARAM_CHOICE, FIELD(params.boundary), 0, 0, 1, boundary_words, "boundary conditions", NULL },
    { "lambda_min", "Area smoothnes (default = 30.0)", "--smoothness", NULL, "S", PARAM_DOUBLE,
      FIELD(params.lambda_min), 30.0, ANY, NULL, "area smoothness", NULL },
    { "adaptive_smooth", "Adaptive smoothing (default = TRUE)", "--adaptive", "--no-adaptive",
      NULL, PARAM_FLAG, FIELD(params.adaptive_smooth), 1, 0, 1, NULL, "adaptive smoothing",
      NULL },
    { "winsize", "Smooth area size (default = 3)", "--area-size", NULL, "N", PARAM_INT,
      FIELD(params.winsize), 3, 0, 64, NULL, "smooth area size", NULL },
    { "iterations", "Number of iterations (default = 100)", "--iterations", NULL, "N",
      PARAM_INT, FIELD(iterations), REFOCUS_DEFAULT_ITERATIONS, 0, 1000000, NULL,
      "number of iterations", NULL },
    { "prev_iter", "Number of iterations for preview (default = 10)", NULL, NULL, "N",
      PARAM_INT, FIELD(prev_iter), REFOCUS_DEFAULT_PREV_ITER, 0, 1000000, NULL,
      "iterations of the dialog's preview", NULL },
    { NULL, NULL, "--seed", NULL, "N", PARAM_LLONG, FIELD(seed), -1, 0, 4294967295.0, NULL,
      "seed the random steps", "default: unseeded sequence" },
};

const ParamTable refocus_option_table = { refocus_specs,
                                          sizeof refocus_specs / sizeof refocus_specs[0] };

int refocus_compute_channels(const RefocusParams *params, Matrix *channels, int n,
                             int iterations, void (*report)(void *user, float fraction),
                             void *user)
{
    RefocusHost host;
    memset(&host, 0, sizeof host);
    host.user = user;
    host.n_channels = n;
    for (int c = 0; c < n; c++)
        host.channels[c] = &channels[c];
    host.report_progress = report;
    return refocus_compute(params, &host, iterations);
}
