/* The camera-noise filter's parameters, described once: procedure
 * arguments, command-line options, defaults, ranges and help (see
 * param_table.h).  The record is NoiseParams. */
#ifndef VAREKNOISE2_NOISE_OPTIONS_H
#define VAREKNOISE2_NOISE_OPTIONS_H

#include "noise_params.h"
#include "param_table.h"

#ifdef __cplusplus
extern "C" {
#endif

/* In the order of the procedure's arguments after run mode, image and
 * drawable. */
extern const ParamTable noise_option_table;

#ifdef __cplusplus
}
#endif

#endif
