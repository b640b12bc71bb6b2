/* The camera-noise filter: edge-preserving adaptive smoothing of the
 * fine-detail layer along rows and then columns, followed by a merge that
 * restores luminance and colour differences beyond the tolerances.
 * GIMP-free; the plug-in frame, the tool and the tests share it. */
#ifndef VAREKNOISE2_NOISE_FILTER_H
#define VAREKNOISE2_NOISE_FILTER_H

#include "noise_params.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A power that keeps the sign: 0 when |a| < 1e-16, otherwise
 * sign(a) 2^(e log2 |a|), in double. */
double signed_pow(double a, double e);

/* table[0] = 0, table[255] = 1, table[i] = pow(i/255, gamma) as float. */
void build_gamma_table(float table[256], float gamma);

/* Gaussian-like blur of the float line x[0..m-1] into y (which may be x):
 * two box pairs of width 2 rho + 1 and 1.5 rho + 1 as running float sums.
 * In difference mode the result is |blur - x|, and blur_copy (m floats)
 * holds a copy of x. */
void cascade_blur(const float *x, float *y, int m, double rho, int difference, float *blur_copy);

/* Working state of one region filter: derived values, tables and the float
 * lines, reused by every row and column. */
typedef struct {
    NoiseParams p;
    NoiseDerived d;
    int capacity;        /* longest line, in samples */
    float lsmooth;       /* luminance tolerance of the merge, as float */
    float csmooth;       /* colour tolerance, 1 when at least 0.99 */
    double gamma_m1;     /* merge exponent gamma - 1 */
    int unit_texture;    /* detail exponents are exactly 1 */
    float gamma_table[256];
    float unit_table[256];  /* i / 255.0f */
    float lum_table[1021]; /* guide luminance by R + 2 G + B */
    /* Luminance gains of the merge by filtered colour, direct-mapped:
     * smoothed pictures repeat colours, and the gain is a costly power. */
    uint32_t *gain_keys;  /* colour + 1, 0 for an empty slot */
    double *gain_values;
    float *memory;       /* the working lines, line_len floats each */
    size_t line_len;
} NoiseFilter;

/* 0, or -1 when the values are refused (noise_params_check) or memory is
 * short.  lsmooth is the merge's luminance tolerance and border_radius the
 * radius the spare samples are sized by; both normally come from p. */
int noise_filter_init(NoiseFilter *nf, const NoiseParams *p, double border_radius,
                      double lsmooth, int capacity);
void noise_filter_free(NoiseFilter *nf);

/* Filters one row or column of n pixels of bpp bytes (1 to 4): the colour
 * channels of data are smoothed under a radius map taken from the guide
 * luminance of guide, and the result replaces those channels in guide.
 * Alpha bytes of guide are left alone.  n must not exceed the capacity. */
void process_line(NoiseFilter *nf, const unsigned char *data, unsigned char *guide, int n, int bpp);

/* Most lines process_lines takes at once. */
#define NOISE_MAX_LINES 8

/* The same for count (1 to NOISE_MAX_LINES) lines of n pixels at once:
 * their radius maps and smoothing run side by side, which is several times
 * faster than one by one. */
void process_lines(NoiseFilter *nf, const unsigned char *const *data, unsigned char *const *guide,
                   int count, int n, int bpp);

/* The merge of n pixels: src holds the unfiltered pixels, dst the filtered
 * ones, which are replaced by the merged result (alpha untouched). */
void noise_merge_line(NoiseFilter *nf, const unsigned char *src, unsigned char *dst,
                      int n, int bpp);

/* Access to the two images of a region filter.  Coordinates are absolute;
 * from_dst selects the destination (1) or the source (0) when reading. */
typedef struct {
    void *ctx;
    void (*get_row)(void *ctx, int from_dst, unsigned char *buf, int x, int y, int w);
    void (*set_row)(void *ctx, const unsigned char *buf, int x, int y, int w);
    void (*get_col)(void *ctx, int from_dst, unsigned char *buf, int x, int y, int h);
    void (*set_col)(void *ctx, const unsigned char *buf, int x, int y, int h);
    /* Both NULL when no progress is shown. */
    void (*progress_init)(void *ctx, const char *message);
    void (*progress_update)(void *ctx, double fraction);
} NoiseRegionIo;

/* Filters the rectangle x1..x2-1, y1..y2-1: row pass into the destination,
 * column pass (destination columns smoothed under radius maps from source
 * columns), then the merge of source and destination.  0, or -1 with
 * nothing written when the values are refused, bpp is not 1 to 4 or memory
 * is short.  The line filter and the merge run in the four-float form, or
 * in the eight-float form where the policy of cpu_form.h allows avx2; both
 * give the same results. */
int noise_filter_run(const NoiseParams *p, double radius, double lsmooth, int bpp,
                     int x1, int x2, int y1, int y2, const NoiseRegionIo *io);

/* Whole-buffer form: src and dst (distinct, width x height pixels of bpp
 * bytes, rows *_stride bytes apart) hold the unfiltered and receive the
 * filtered image.  Same results as noise_filter_run. */
int noise_filter_buffer(const NoiseParams *p, const unsigned char *src, int src_stride,
                        unsigned char *dst, int dst_stride, int width, int height, int bpp);

#ifdef __cplusplus
}
#endif

#endif
