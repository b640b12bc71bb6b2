#include "grain_options.h"

#include <stddef.h>

/* Levels are stored through int fields. */
_Static_assert(sizeof(int32_t) == sizeof(int), "int32_t levels are ints");

#define LEVEL(pdb, text, field, def, channel)                                               \
    { pdb, text, "--" pdb, NULL, "N", PARAM_INT, offsetof(GrainParams, field), def,          \
      -2147483648.0, 2147483647.0, NULL, "grain level of the " channel " channel", NULL }

static const ParamSpec grain_specs[] = {
    LEVEL("red", "Red grain level", red, GRAIN_DEFAULT_RED, "red"),
    LEVEL("green", "Green grain level", green, GRAIN_DEFAULT_GREEN, "green"),
    LEVEL("blue", "Blue grain level", blue, GRAIN_DEFAULT_BLUE, "blue"),
};

const ParamTable grain_option_table = { grain_specs, sizeof grain_specs / sizeof grain_specs[0] };
