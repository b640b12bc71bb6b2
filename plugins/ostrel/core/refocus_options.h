/* The refocus filter's parameters, described once: procedure arguments,
 * command-line options, defaults, ranges and help (see param_table.h). */
#ifndef OSTREL_REFOCUS_OPTIONS_H
#define OSTREL_REFOCUS_OPTIONS_H

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

#ifdef __cplusplus
}
#endif

#endif
