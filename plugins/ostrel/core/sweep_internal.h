/* Shared between the solver's set-up and its sweep. */
#ifndef OSTREL_SWEEP_INTERNAL_H
#define OSTREL_SWEEP_INTERNAL_H

/* Pixels of one column whose data terms are computed together. */
#define SWEEP_BLOCK 4
/* Table rows are padded to a multiple of this many floats (two AVX
 * vectors), so the vector kernel needs no tail handling. */
#define SWEEP_PAD 16

/* Plain loops that gain from wider vectors have an AVX2 form beside the
 * generic one; the policy of cpu_form.h picks between them. */
#include "cpu_form.h"

#endif
