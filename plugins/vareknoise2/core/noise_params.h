/* The camera-noise filter's parameter record and its stored 88-byte form.
 * GIMP-free. */
#ifndef VAREKNOISE2_NOISE_PARAMS_H
#define VAREKNOISE2_NOISE_PARAMS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the stored block: ten little-endian doubles, the preview flag as
 * a 32-bit integer and four zero bytes. */
#define NOISE_PARAMS_BLOB_SIZE 88

/* The stored block is the record's raw bytes on the little-endian hosts the
 * plug-in runs on; noise_params_pack/unpack spell the layout out so it does
 * not depend on the host. */
typedef struct {
    double radius;    /* largest filter radius; width of the base-layer blur */
    double lsmooth;   /* luminance tolerance of the merge */
    double csmooth;   /* colour tolerance of the merge */
    double effect;    /* threshold on the local contrast */
    double lookahead; /* offset of the sharpening taps, width of the contrast blur */
    double gamma;     /* exponent of the guide luminance and of the merge */
    double damping;   /* width of the blur over the radius map */
    double phase;     /* whole-pixel shift between radius map and window */
    double texture;   /* details are raised to 1 + texture before smoothing */
    double sharp;     /* strength of the guide sharpening */
    int32_t preview;  /* dialog preview toggle (unused by the filter) */
    int32_t padding;  /* always 0 */
} NoiseParams;

extern const NoiseParams noise_params_defaults;

/* Largest number of spare samples on each side of a working line; values
 * needing more are refused (the lines would take absurd memory and time). */
#define NOISE_MAX_MARGIN (1 << 21)

void noise_params_pack(const NoiseParams *p, unsigned char blob[NOISE_PARAMS_BLOB_SIZE]);
/* 0, or -1 (record untouched) when size is not the block size. */
int noise_params_unpack(NoiseParams *p, const unsigned char *blob, size_t size);

/* 0 when the filter can run safely with these values; otherwise -1 and, if
 * why is not NULL, a short reason.  Refused: non-finite values, negative
 * radius or lsmooth, and reaches needing more than NOISE_MAX_MARGIN. */
int noise_params_check(const NoiseParams *p, const char **why);

/* Quantities derived from the record, as the line filter uses them. */
typedef struct {
    int border;   /* trunc((5 radius + lookahead + damping + phase) 4 + 40) */
    int pad;      /* trunc(2 r2 + damping + lookahead + phase + 2), r2 = max(2 radius, 1) as float */
    int reach;    /* mirrored samples on each side: pad, but at least 6, |L| and |ph| + 1 */
    int margin;   /* spare samples allocated on each side: max(border, reach) + 2 */
    int L;        /* floor(2 lookahead + 0.1): offset of the sharpening taps */
    int ph;       /* trunc(phase) */
    float r1;     /* max(radius, 0.5) */
    float gamma;  /* gamma as float */
    double thr2;  /* effect squared */
    float tex_e;    /* detail exponent 1 + texture, kept at least 0.01 away from 0 */
    float tex_einv; /* 1 / tex_e */
} NoiseDerived;

/* Fills d from p (which must have passed noise_params_check); the border is
 * taken from border_radius, the radius the caller hands to the region
 * filter. */
void noise_derive(const NoiseParams *p, double border_radius, NoiseDerived *d);

#ifdef __cplusplus
}
#endif

#endif
