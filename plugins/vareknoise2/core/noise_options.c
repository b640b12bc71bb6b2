#include "noise_options.h"

#include <stddef.h>

#define FIELD(f) offsetof(NoiseParams, f)
#define ANY PARAM_ANY_MIN, PARAM_ANY_MAX

static const ParamSpec noise_specs[] = {
    { "radius", "Radius of gaussian blur (in pixels)", "--radius", NULL, "R", PARAM_DOUBLE,
      FIELD(radius), 5.0, 0.0, PARAM_ANY_MAX, NULL, "largest filter radius in pixels", NULL },
    { "lsmooth", "Luminance Tolerance", "--lsmooth", NULL, "T", PARAM_DOUBLE, FIELD(lsmooth),
      1.0, 0.0, PARAM_ANY_MAX, NULL, "luminance tolerance", NULL },
    { "csmooth", "Color Tolerance", "--csmooth", NULL, "T", PARAM_DOUBLE, FIELD(csmooth), 1.0,
      ANY, NULL, "colour tolerance", NULL },
    { "effect", "Threshold for 2nd derivative of luminance", "--effect", NULL, "T",
      PARAM_DOUBLE, FIELD(effect), 0.13, ANY, NULL, "threshold on local contrast", NULL },
    { "lookahead", "Sharpness", "--lookahead", NULL, "D", PARAM_DOUBLE, FIELD(lookahead), 2.0,
      ANY, NULL, "sharpening tap offset and contrast blur width", NULL },
    { "gamma", "Gamma", "--gamma", NULL, "G", PARAM_DOUBLE, FIELD(gamma), 1.4, ANY, NULL,
      "exponent of guide luminance and merge", NULL },
    { "damping", "Phase jitter damping", "--damping", NULL, "D", PARAM_DOUBLE, FIELD(damping),
      5.0, ANY, NULL, "width of the blur over the radius map", NULL },
    { "phase", "Phase shift for edges", "--phase", NULL, "P", PARAM_DOUBLE, FIELD(phase), 2.0,
      ANY, NULL, "shift between radius map and window, pixels", NULL },
    { "texture", "Texture accuracy", "--texture", NULL, "X", PARAM_DOUBLE, FIELD(texture), 0.0,
      ANY, NULL, "detail exponent minus 1", NULL },
    { "sharp", "Edge accuracy", "--sharp", NULL, "S", PARAM_DOUBLE, FIELD(sharp), 0.25, ANY,
      NULL, "strength of the guide sharpening", NULL },
};

const ParamTable noise_option_table = { noise_specs, sizeof noise_specs / sizeof noise_specs[0] };
