/* The solver's random numbers: the C runtime's rand() sequence.  On glibc
 * it is reproduced here (the TYPE_3 additive feedback generator behind
 * rand(), degree 31, separation 3), without the lock glibc takes on every
 * call; the tests compare it number for number with rand(), unseeded and
 * seeded.  Elsewhere rand() itself is used. */
#include "deconv.h"

#include <stdint.h>
#include <stdlib.h>

#ifdef __GLIBC__
enum { DEG = 31, SEP = 3, DISCARD = 10 * DEG };

static int32_t state[DEG];
static int front, rear;
static int seeded;

static inline int next_number(void)
{
    uint32_t val = (uint32_t)state[front] + (uint32_t)state[rear];
    state[front] = (int32_t)val;
    if (++front >= DEG)
        front = 0;
    if (++rear >= DEG)
        rear = 0;
    return (int)(val >> 1);
}

static void seed_state(unsigned seed)
{
    if (seed == 0)
        seed = 1;
    int32_t word = (int32_t)seed;
    state[0] = word;
    for (int i = 1; i < DEG; i++) {
        /* state[i] = 16807 state[i - 1] mod (2^31 - 1) without overflow */
        long hi = word / 127773, lo = word % 127773;
        word = (int32_t)(16807 * lo - 2836 * hi);
        if (word < 0)
            word += 2147483647;
        state[i] = word;
    }
    front = SEP;
    rear = 0;
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
#else
int refocus_rand(void)
{
    return rand();
}

void refocus_srand(unsigned seed)
{
    srand(seed);
}
#endif
