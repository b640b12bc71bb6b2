/* The solver's random numbers: the C runtime's rand() sequence.  On glibc
 * it is reproduced here (the TYPE_3 additive feedback generator behind
 * rand(), degree 31, separation 3), without the lock glibc takes on every
 * call; the tests compare it number for number with rand(), unseeded and
 * seeded.  Elsewhere rand() itself is used. */
#include "deconv.h"
#include "rand_stream.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __GLIBC__
enum { DEG = RAND_STREAM_DEG, SEP = RAND_STREAM_SEP, DISCARD = 10 * DEG };

static RandStream seq;
static int seeded;

static inline int next_number(void)
{
    return rand_stream_next(&seq);
}

static void seed_state(unsigned seed)
{
    if (seed == 0)
        seed = 1;
    int32_t word = (int32_t)seed;
    seq.state[0] = word;
    for (int i = 1; i < DEG; i++) {
        /* state[i] = 16807 state[i - 1] mod (2^31 - 1) without overflow */
        long hi = word / 127773, lo = word % 127773;
        word = (int32_t)(16807 * lo - 2836 * hi);
        if (word < 0)
            word += 2147483647;
        seq.state[i] = word;
    }
    seq.front = SEP;
    seq.rear = 0;
    for (int k = 0; k < DISCARD; k++)
        next_number();
    seeded = 1;
}

int refocus_rand(void)
{
    /* An unseeded rand() behaves as if seeded with 1. */
    if (!seeded)
        seed_state(1);
    return next_number();
}

void refocus_srand(unsigned seed)
{
    srand(seed);
    seed_state(seed);
}

void rand_stream_take(RandStream *rs)
{
    if (!seeded)
        seed_state(1);
    memcpy(rs, &seq, sizeof(seq));
}

void rand_stream_give(const RandStream *rs)
{
    memcpy(&seq, rs, sizeof(seq));
}
#else
int refocus_rand(void)
{
    return rand();
}

void refocus_srand(unsigned seed)
{
    srand(seed);
}

void rand_stream_take(RandStream *rs)
{
    (void)rs;
}

void rand_stream_give(const RandStream *rs)
{
    (void)rs;
}
#endif
