#include "noise_params.h"

#include "le_block.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

_Static_assert(sizeof(NoiseParams) == NOISE_PARAMS_BLOB_SIZE, "stored block is 88 bytes");
_Static_assert(offsetof(NoiseParams, preview) == 80, "preview flag at byte 80");

const NoiseParams noise_params_defaults = {
    5.0, 1.0, 1.0, 0.13, 2.0, 1.4, 5.0, 2.0, 0.0, 0.25, 1, 0
};

static const double *field(const NoiseParams *p, int i)
{
    const double *f[10] = { &p->radius, &p->lsmooth, &p->csmooth, &p->effect, &p->lookahead,
                            &p->gamma, &p->damping, &p->phase, &p->texture, &p->sharp };
    return f[i];
}

void noise_params_pack(const NoiseParams *p, unsigned char blob[NOISE_PARAMS_BLOB_SIZE])
{
    LeBlock b = le_block_writer(blob, NOISE_PARAMS_BLOB_SIZE);
    for (int i = 0; i < 10; i++)
        le_put_f64(&b, *field(p, i));
    le_put_i32(&b, p->preview);
    le_put_u32(&b, 0);
}

int noise_params_unpack(NoiseParams *p, const unsigned char *blob, size_t size)
{
    if (!blob || size != NOISE_PARAMS_BLOB_SIZE)
        return -1;
    LeBlock b = le_block_reader(blob, size);
    NoiseParams q;
    for (int i = 0; i < 10; i++)
        *(double *)field(&q, i) = le_get_f64(&b);
    q.preview = le_get_i32(&b);
    (void)le_get_u32(&b);
    q.padding = 0;
    if (le_block_done(&b) != 0)
        return -1;
    *p = q;
    return 0;
}

/* Largest magnitude of a reach value (radius, lookahead, damping, phase)
 * before the derived sample counts are formed, so no conversion to int can
 * overflow. */
#define REACH_VALUE_MAX 1.0e7

static double pad_of(const NoiseParams *p)
{
    float r2 = (float)fmax(2.0 * p->radius, 1.0);
    return 2.0 * (double)r2 + p->damping + p->lookahead + p->phase + 2.0;
}

static double border_of(const NoiseParams *p, double radius)
{
    return (5.0 * radius + p->lookahead + p->damping + p->phase) * 4.0 + 40.0;
}

int noise_params_check(const NoiseParams *p, const char **why)
{
    const char *reason = NULL;
    for (int i = 0; i < 10 && !reason; i++)
        if (!isfinite(*field(p, i)))
            reason = "values must be finite numbers";
    if (!reason && p->radius < 0)
        reason = "radius must not be negative";
    if (!reason && p->lsmooth < 0)
        reason = "lsmooth must not be negative";
    if (!reason && (fabs(p->radius) > REACH_VALUE_MAX || fabs(p->lookahead) > REACH_VALUE_MAX ||
                    fabs(p->damping) > REACH_VALUE_MAX || fabs(p->phase) > REACH_VALUE_MAX))
        reason = "radius, lookahead, damping or phase too large";
    if (!reason) {
        double reach = fmax(fmax(pad_of(p), fabs(floor(2.0 * p->lookahead + 0.1))),
                            fabs(trunc(p->phase)) + 1.0);
        if (fmax(border_of(p, p->radius), reach) > NOISE_MAX_MARGIN)
            reason = "radius, lookahead, damping or phase too large";
    }
    if (why)
        *why = reason;
    return reason ? -1 : 0;
}

void noise_derive(const NoiseParams *p, double border_radius, NoiseDerived *d)
{
    double b = border_of(p, border_radius);
    if (b > NOISE_MAX_MARGIN)
        b = NOISE_MAX_MARGIN;
    if (b < 0)
        b = 0;
    d->border = (int)b;
    d->pad = (int)pad_of(p);
    d->L = (int)floor(2.0 * p->lookahead + 0.1);
    d->ph = (int)trunc(p->phase);
    int reach = d->pad;
    if (reach < 6)
        reach = 6;
    if (reach < abs(d->L))
        reach = abs(d->L);
    if (reach < abs(d->ph) + 1)
        reach = abs(d->ph) + 1;
    d->reach = reach;
    d->margin = (d->border > reach ? d->border : reach) + 2;
    d->r1 = (float)fmax(p->radius, 0.5);
    d->gamma = (float)p->gamma;
    d->thr2 = p->effect * p->effect;
    /* At an exponent of 0 the details lose their magnitude and the inverse
     * exponent is infinite; 0.01 is the nearest setting the dialog shows. */
    float e = (float)(1.0 + p->texture);
    if (fabsf(e) < 0.01f)
        e = e < 0 ? -0.01f : 0.01f;
    d->tex_e = e;
    d->tex_einv = 1.0f / e;
}
