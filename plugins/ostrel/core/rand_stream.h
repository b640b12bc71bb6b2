/* The solver's random sequence (refocus_rand) held in a local copy for a
 * loop that draws from it: the sweep takes the sequence's state, draws
 * inline (no call, so the loop's values stay in registers) and gives the
 * state back, after which refocus_rand continues exactly where the loop
 * stopped. */
#ifndef OSTREL_RAND_STREAM_H
#define OSTREL_RAND_STREAM_H

#include <stdint.h>
#include <stdlib.h>

#include "deconv.h"

#ifdef __GLIBC__
/* glibc's TYPE_3 additive feedback generator: degree 31, separation 3. */
enum { RAND_STREAM_DEG = 31, RAND_STREAM_SEP = 3 };

typedef struct {
    int32_t state[RAND_STREAM_DEG];
    int front, rear;
} RandStream;

static inline int rand_stream_next(RandStream *rs)
{
    uint32_t val = (uint32_t)rs->state[rs->front] + (uint32_t)rs->state[rs->rear];
    rs->state[rs->front] = (int32_t)val;
    if (++rs->front >= RAND_STREAM_DEG)
        rs->front = 0;
    if (++rs->rear >= RAND_STREAM_DEG)
        rs->rear = 0;
    return (int)(val >> 1);
}
#else
/* Elsewhere the sequence is rand() itself. */
typedef struct {
    int unused;
} RandStream;

static inline int rand_stream_next(RandStream *rs)
{
    (void)rs;
    return rand();
}
#endif

#ifdef __cplusplus
extern "C" {
#endif
/* Copies the sequence's state into rs (seeding it as an unseeded rand()
 * would be, if nothing has yet). */
void rand_stream_take(RandStream *rs);
/* Makes rs's state the sequence's. */
void rand_stream_give(const RandStream *rs);
#ifdef __cplusplus
}
#endif

#endif
