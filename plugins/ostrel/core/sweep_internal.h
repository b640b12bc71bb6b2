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

#include <stdint.h>

#include "deconv.h"
#include "rand_stream.h"

/* n % m (m >= 1); for m in 1..255 without a division, exact for every
 * 32-bit n (Lemire, Kaser and Kurz, "Faster remainder by direct computation"):
 * with magic[m] = 2^64 / m rounded up, the low 64 bits of magic[m] n are
 * the fraction n / m in 64-bit fixed point, and that times m, its high 64
 * bits, is the remainder.  Larger m (only values outside the byte range
 * give them) and targets without 128-bit products use the plain %. */
#ifdef __cplusplus
extern "C" {
#endif
extern const uint64_t step_modulo_magic[256];
#ifdef __cplusplus
}
#endif

static inline uint32_t step_modulo(uint32_t n, uint32_t m)
{
#ifdef __SIZEOF_INT128__
    if (m < 256) {
        uint64_t frac = step_modulo_magic[m] * n;
        return (uint32_t)(((unsigned __int128)frac * m) >> 64);
    }
#endif
    return n % m;
}

/* The float quotient z / a as far as the step uses it: its whole part
 * (toward 0), after clamping to +-1e6.  z * (1 / a) lies within
 * |z / a| 2^-22 of the rounded quotient (two roundings against one), so
 * away from whole numbers and with |r| < 2^20 it has the same whole part;
 * only then is it returned, otherwise the division is done.  1 / a does
 * not wait for the pixels above, the division would: taking it off the
 * chain of dependent pixels shortens each moving pixel's decision. */
static inline float step_ratio(float z, float a)
{
    float r = z * (1.0f / a);
    float ar = r < 0.0f ? -r : r;
    float frac = ar - (float)(int)(ar < 0x1p20f ? ar : 0.0f);
    float eps = ar * 0x1p-20f;
    if (ar < 0x1p20f && frac > eps && 1.0f - frac > eps)
        return r;
    return z / a;
}

/* The decision of a pixel that passed channel_solver_decide's first test
 * (s * -2Z < a): the rounding, the m rule, the bounds and the one draw,
 * taken from rs.  Written without branches on the direction, which is as
 * likely up as down; the draw is skipped exactly when m is 0 or the bound
 * in the direction of the step is reached (then the rounded value is
 * returned). */
static inline float solver_step_from(float v0, float z, float a, RandStream *rs)
{
    float s = z >= 0 ? 1.0f : -1.0f;
    if (v0 > 1e6f)
        v0 = 1e6f;
    if (v0 < -1e6f)
        v0 = -1e6f;
    int v = (int)(v0 + 0.5f);
    /* |Z / a| beyond the byte range only matters through its sign. */
    float ratio = step_ratio(z, a);
    if (ratio > 1e6f)
        ratio = 1e6f;
    if (ratio < -1e6f)
        ratio = -1e6f;
    int m = (int)s - (int)ratio;
    int up = m > 0;
    int room = up ? 255 - v : v;
    int size = up ? m : -m;
    if (room < size)
        size = room;
    if (size <= 0)
        return (float)v;
    int step = (int)step_modulo((uint32_t)rand_stream_next(rs), (uint32_t)size) + 1;
    return (float)(up ? v + step : v - step);
}

/* The same, drawing from refocus_rand's sequence itself. */
static inline float solver_step(float v0, float z, float a)
{
    RandStream rs;
    rand_stream_take(&rs);
    float v = solver_step_from(v0, z, a, &rs);
    rand_stream_give(&rs);
    return v;
}

#endif
