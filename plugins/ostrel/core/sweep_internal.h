/* Shared between the solver's set-up and its sweep. */
#ifndef OSTREL_SWEEP_INTERNAL_H
#define OSTREL_SWEEP_INTERNAL_H

/* Pixels of one column whose data terms are computed together. */
#define SWEEP_BLOCK 4
/* Table rows are padded to a multiple of this many floats (two AVX
 * vectors), so the vector kernel needs no tail handling. */
#define SWEEP_PAD 16

/* Plain loops that gain from wider vectors get an AVX2 clone chosen at
 * load time; the binary still runs on any x86-64. */
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define OSTREL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define OSTREL_CLONES
#endif

#endif
