/* The film-grain filter's parameters, described once: procedure arguments,
 * command-line options, defaults, ranges and help (see param_table.h).
 * The record is GrainParams. */
#ifndef TESSALINE_GRAIN_OPTIONS_H
#define TESSALINE_GRAIN_OPTIONS_H

#include "grain_core.h"
#include "param_table.h"

#ifdef __cplusplus
extern "C" {
#endif

/* In the order of the procedure's arguments after run mode, image and
 * drawable. */
extern const ParamTable grain_option_table;

#ifdef __cplusplus
}
#endif

#endif
