#include "noise_filter.h"

#include "boundary_index.h"
#include "cpu_form.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

double signed_pow(double a, double e)
{
    if (fabs(a) < 1e-16)
        return 0.0;
    if (a > 0)
        return exp2(e * log2(a));
    if (a < 0)
        return -exp2(e * log2(-a));
    return a; /* NaN passes through */
}

void build_gamma_table(float table[256], float gamma)
{
    table[0] = 0.0f;
    for (int i = 1; i < 255; i++)
        table[i] = (float)pow(i / 255.0, gamma);
    table[255] = 1.0f;
}

/* ---- Cascade blur ------------------------------------------------------ */

/* y[j] = f x[j] + (x[j+1] + ... + x[j+n+1]) where the window fits, b x[j]
 * at the last n+1 positions.  In place is fine: the window lies ahead. */
static void box_forward(const float *x, float *y, int m, float b)
{
    int n = (int)b;
    float f = b - (float)n;
    int j;
    if (n < 0) {            /* empty window */
        for (j = 0; j < m; j++)
            y[j] = f * x[j];
        return;
    }
    int last = m - n - 2;   /* last position with a full window */
    if (last >= 0) {
        float s = 0.0f;
        for (int i = 1; i <= n + 1; i++)
            s = s + x[i];
        for (j = 0;; j++) {
            float out = x[j + 1], in = j < last ? x[j + n + 2] : 0.0f;
            y[j] = f * x[j] + s;
            if (j == last)
                break;
            s = (s - out) + in;
        }
    }
    for (j = last + 1 > 0 ? last + 1 : 0; j < m; j++)
        y[j] = b * x[j];
}

/* y[j] = f y[j] + (y[j-1] + ... + y[j-n-1]) from the end down to n+1, each
 * window result times g when scale is set; b y[j] at positions 0..n. */
static void box_backward(float *y, int m, float b, int scale, float g)
{
    int n = (int)b;
    float f = b - (float)n;
    int j;
    if (n < 0) {
        for (j = m - 1; j >= 0; j--) {
            float v = f * y[j];
            y[j] = scale ? v * g : v;
        }
        return;
    }
    if (m - 1 >= n + 1) {
        float s = 0.0f;
        for (int i = 1; i <= n + 1; i++)
            s = s + y[m - 1 - i];
        for (j = m - 1;; j--) {
            float v = f * y[j] + s;
            y[j] = scale ? v * g : v;
            if (j == n + 1)
                break;
            s = (s - y[j - 1]) + y[j - n - 2];
        }
    }
    int end = n < m - 1 ? n : m - 1;
    for (j = 0; j <= end; j++)
        y[j] = b * y[j];
}

void cascade_blur(const float *x, float *y, int m, double rho, int difference, float *blur_copy)
{
    if (m <= 0)
        return;
    if (difference)
        memcpy(blur_copy, x, (size_t)m * sizeof(float));
    float b = (float)(2.0 * rho);
    float c = (float)(1.5 * rho);
    float bb = (b + 1.0f) * (b + 1.0f);
    float bc = bb * ((c + 1.0f) * (c + 1.0f));
    float g = 1.0f / bc;
    box_forward(x, y, m, b);
    box_backward(y, m, b, 0, 1.0f);
    box_forward(y, y, m, c);
    box_backward(y, m, c, 1, g);
    if (difference)
        for (int j = 0; j < m; j++)
            y[j] = fabsf(y[j] - blur_copy[j]);
}

#define NOISE_GAIN_SLOTS 65536
/* Working memory in blocks of line_len floats.  The guide luminances, the
 * radius maps and a copy of them for up to eight lines (four floats per
 * line and sample) are only needed until the window lengths are made, so
 * they share their blocks with the channel, work and base lines of up to
 * four colour lines (four floats per line and sample); then come the
 * window lengths of every line, forward ones and then backward ones (one
 * float per line and sample).  A small working set stays in the processor's caches beside the
 * image tiles. */
#define NOISE_CLINE 0
#define NOISE_CWORK 16
#define NOISE_CBASE 32
#define NOISE_LUM 0
#define NOISE_MAP 8
#define NOISE_COPY 16
#define NOISE_WINDOWS 48
#define NOISE_LINES (NOISE_WINDOWS + 2 * NOISE_MAX_LINES)

/* ---- Working state --------------------------------------------------------- */

int noise_filter_init(NoiseFilter *nf, const NoiseParams *p, double border_radius,
                      double lsmooth, int capacity)
{
    memset(nf, 0, sizeof *nf);
    if (noise_params_check(p, NULL) != 0 || capacity < 0 || !isfinite(border_radius) ||
        fabs(border_radius) > NOISE_MAX_MARGIN || !isfinite(lsmooth))
        return -1;
    nf->p = *p;
    noise_derive(p, border_radius, &nf->d);
    nf->capacity = capacity;
    nf->lsmooth = (float)lsmooth;
    float tc = (float)p->csmooth;
    nf->csmooth = tc >= 0.99f ? 1.0f : tc;
    nf->gamma_m1 = (double)nf->d.gamma - 1.0;
    nf->unit_texture = nf->d.tex_e == 1.0f && nf->d.tex_einv == 1.0f;
    build_gamma_table(nf->gamma_table, nf->d.gamma);
    for (int i = 0; i < 256; i++)
        nf->unit_table[i] = i / 255.0f;
    for (int s = 0; s <= 1020; s++)
        nf->lum_table[s] = (float)signed_pow((0.25 * s) / 255.0, nf->d.gamma);

    nf->gain_keys = calloc(NOISE_GAIN_SLOTS, sizeof *nf->gain_keys);
    nf->gain_values = malloc(NOISE_GAIN_SLOTS * sizeof *nf->gain_values);
    if (!nf->gain_keys || !nf->gain_values) {
        noise_filter_free(nf);
        return -1;
    }
    /* Every line starts on a 64-byte boundary (line lengths are multiples
     * of 16 floats), and so does every interleaved sample of the vectors. */
    nf->line_len = ((size_t)capacity + 2 * (size_t)nf->d.margin + 15) & ~(size_t)15;
    size_t bytes = NOISE_LINES * nf->line_len * sizeof(float);
    nf->memory = aligned_alloc(64, bytes);
    if (nf->memory)
        memset(nf->memory, 0, bytes);
    if (!nf->memory) {
        noise_filter_free(nf);
        return -1;
    }
    return 0;
}

void noise_filter_free(NoiseFilter *nf)
{
    free(nf->memory);
    free(nf->gain_keys);
    free(nf->gain_values);
    nf->memory = NULL;
    nf->gain_keys = NULL;
    nf->gain_values = NULL;
}

/* ---- Lines side by side -------------------------------------------------------
 * Rows and columns are filtered several at a time with the lines
 * interleaved, so that every running sum forms independent chains that the
 * processor overlaps, and vectors carry several lines at once.  The line
 * filter itself is in noise_lines.inc, built once for four-float vectors
 * and, for processors that have AVX2, once more for eight-float vectors
 * (two lines a vector); both give identical results. */

typedef float v4f __attribute__((vector_size(16)));
typedef int v4i __attribute__((vector_size(16)));
typedef double v2d __attribute__((vector_size(16)));
typedef long long v2l __attribute__((vector_size(16)));

#define KMAX 4
#define INLINE static inline __attribute__((always_inline))

static inline v4f splat(float f)
{
    return (v4f){ f, f, f, f };
}

static unsigned char to_byte(float v)
{
    float z = v * 255.0f + 0.5f;
    if (!(z > 0.0f))
        return 0; /* negative, or NaN from absurd settings */
    if (z > 255.0f)
        return 255;
    return (unsigned char)(int)z;
}

/* to_byte per lane: not above 0 (NaN included) gives 0, above 255 gives
 * 255, otherwise truncation. */
static inline v4i to_bytes(v4f v)
{
    v4f z = v * splat(255.0f) + splat(0.5f);
    z = (v4f)((v4i)z & (z > splat(0.0f)));
    v4i high = z > splat(255.0f);
    z = (v4f)(((v4i)z & ~high) | ((v4i)splat(255.0f) & high));
    return __builtin_convertvector(z, v4i);
}

/* Interleaved line of K lines (four floats each) per sample, at position 0
 * of a block of the working memory. */
static float *klines(const NoiseFilter *nf, int block, int K)
{
    return nf->memory + (size_t)block * nf->line_len + 4 * (size_t)K * (size_t)nf->d.margin;
}

/* Position 0 of the forward (0) or backward (1) window lengths, those of
 * all lines side by side. */
static float *windows(const NoiseFilter *nf, int backward)
{
    return nf->memory + (size_t)(NOISE_WINDOWS + backward * NOISE_MAX_LINES) * nf->line_len +
           NOISE_MAX_LINES * (size_t)nf->d.margin;
}

#define LV v4f
#define LVI v4i
#define LW 4
#define LPV 1
#define LSPLAT splat
#define LCOMBINE(a, b) (a)
#define LD v2d
#define LDL v2l
#define LDW 2
#define LDSPLAT(d) ((v2d){ d, d })
typedef float v2f __attribute__((vector_size(8)));
#define LDF v2f
#define LNAME(x) x##_4
#include "noise_lines.inc"
#include "noise_instance_end.inc"


/* ---- Merge ------------------------------------------------------------------- */

/* signed_pow(a, gamma - 1) with the exponent-0 case (gamma 1) short-cut:
 * 2^(0 log2|a|) is exactly 1 for finite non-zero a. */
static double merge_pow(double a, double e)
{
    if (e == 0.0) {
        if (fabs(a) < 1e-16)
            return 0.0;
        return a > 0 ? 1.0 : a < 0 ? -1.0 : a;
    }
    return signed_pow(a, e);
}

/* The exact merge of one pixel, the definition the fast path below must
 * reproduce byte for byte. */
static void merge_pixel_exact(NoiseFilter *nf, const unsigned char *op, unsigned char *fp, int colour)
{
    const int channels = colour ? 3 : 1;
    const double gm1 = nf->gamma_m1;
    const float F = nf->lsmooth * nf->lsmooth;
    const float E = nf->csmooth * nf->csmooth;
    const double F2 = 2.0 * (double)F * (double)F, E2 = 2.0 * (double)E * (double)E;
    uint32_t key = (colour ? (uint32_t)fp[0] | (uint32_t)fp[1] << 8 | (uint32_t)fp[2] << 16 : fp[0]) + 1;
    float o[3], f[3], v[3];
    for (int c = 0; c < 3; c++) {
        int k = colour ? c : 0;
        o[c] = nf->unit_table[op[k]];
        f[c] = nf->unit_table[fp[k]];
    }
    float Lo = 0.212671f * o[0] + 0.71516f * o[1] + 0.072169f * o[2];
    float Lf = 0.212671f * f[0] + 0.71516f * f[1] + 0.072169f * f[2];
    /* The gain signed_pow(2 Lf, gamma - 1) depends on the filtered colour
     * only. */
    uint32_t slot = (key * 2654435761u) >> 16;
    if (nf->gain_keys[slot] != key) {
        nf->gain_keys[slot] = key;
        nf->gain_values[slot] = merge_pow(Lf / 0.5f, gm1);
    }
    float dl = (float)((double)(Lo - Lf) * nf->gain_values[slot]);
    if (F > 0.0f) {
        double dd = dl;
        dl = (float)(dd * (1.0 - exp(-(dd * dd) / F2)));
    }
    for (int c = 0; c < 3; c++)
        v[c] = f[c] + dl;
    for (int c = 0; c < channels; c++) {
        float U = o[c], V = v[c], w;
        if (E >= 0.99f)
            w = 1.0f;
        else if (E > 0.0f) {
            float Y = (float)(merge_pow(((U + V) / 2.0f) / 0.5f, gm1) * (double)(U - V));
            double yy = Y;
            w = (float)exp(-(yy * yy) / E2);
        } else
            w = 0.0f;
        v[c] = V * w + U * (1.0f - w);
    }
    for (int c = 0; c < channels; c++)
        fp[c] = to_byte(v[c]);
}

/* ---- Fast merge --------------------------------------------------------------
 * The same arithmetic with single-precision polynomial forms of exp and
 * pow, four or eight pixels at a time (noise_merge.inc) with each channel
 * in its own array; library
 * calls one sample at a time dominated the exact merge.  Where the output
 * v lies in 0..1 the approximations move v 255 + 0.5 by well under 1e-3
 * (relative errors of a few 1e-7, powers only taken where the exponent
 * product is small), so a byte can only differ from the exact one where
 * v 255 + 0.5 lies within MERGE_GUARD of an integer: such pixels, and
 * anything non-finite or out of the polynomials' range, are redone
 * exactly, so the output is unchanged. */

/* Distance from an integer below which a pixel is redone exactly. */
#define MERGE_GUARD 2e-3f
/* Pixels per block of the fast merge (a multiple of every vector width). */
#define MERGE_BLOCK 64
/* Largest |e log2 a| the fast power is trusted with: its error grows
 * with the size of the product. */
#define MERGE_POW_RANGE 16.0f

#define LV v4f
#define LVI v4i
#define LW 4
#define LSPLAT splat
#define LISPLAT(i) ((v4i){ i, i, i, i })
#define LNAME(x) x##_4
#include "noise_merge.inc"
#include "noise_instance_end.inc"

/* ---- Wide vectors and entry points --------------------------------------------- */

/* GCC's target pragma builds the eight-float form for AVX2 inside an
 * otherwise generic x86 build. */
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(__clang__)
#define NOISE_HAVE_WIDE 1
#pragma GCC push_options
#pragma GCC target("avx2")
typedef float v8f __attribute__((vector_size(32)));
typedef int v8i __attribute__((vector_size(32)));

static inline v8f splat8(float f)
{
    return (v8f){ f, f, f, f, f, f, f, f };
}

#define LV v8f
#define LVI v8i
#define LW 8
#define LPV 2
#define LSPLAT splat8
#define LCOMBINE(a, b) __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7)
#define LISPLAT(i) ((v8i){ i, i, i, i, i, i, i, i })
typedef double v4d __attribute__((vector_size(32)));
typedef long long v4l __attribute__((vector_size(32)));
#define LD v4d
#define LDL v4l
#define LDW 4
#define LDSPLAT(d) ((v4d){ d, d, d, d })
#define LDF v4f
#define LNAME(x) x##_8
#include "noise_lines.inc"
#include "noise_merge.inc"
#include "noise_instance_end.inc"

#pragma GCC pop_options
#else
#define NOISE_HAVE_WIDE 0
#endif

#if NOISE_HAVE_WIDE
/* The eight-float form where the policy allows avx2. */
static int wide_form(void)
{
    return cpu_form() >= CPU_FORM_AVX2;
}
#endif

void process_lines(NoiseFilter *nf, const unsigned char *const *data, unsigned char *const *guide,
                   int count, int n, int bpp)
{
    if (n <= 0 || n > nf->capacity || bpp < 1 || bpp > 4 || count < 1 || count > NOISE_MAX_LINES)
        return;
    const int G = count > 4 ? 2 : 1;
#if NOISE_HAVE_WIDE
    const int wide = wide_form();
#endif

    /* Guide luminances lane by lane; unused lanes stay zero. */
    float *lum = klines(nf, NOISE_LUM, G);
    memset(lum, 0, (size_t)G * n * 4 * sizeof(float));
    for (int k = 0; k < count; k++) {
        const unsigned char *px = guide[k];
        float *out = lum + 4 * (k / 4) + k % 4;
        if (bpp > 2)
            for (int j = 0; j < n; j++, px += bpp, out += 4 * G)
                *out = nf->lum_table[px[0] + 2 * px[1] + px[2]];
        else
            for (int j = 0; j < n; j++, px += bpp, out += 4 * G)
                *out = nf->gamma_table[px[0]];
    }
#if NOISE_HAVE_WIDE
    if (wide && G == 2)
        radius_g2_8(nf, n);
    else
#endif
    if (G == 2)
        radius_g2_4(nf, n);
    else
        radius_g1_4(nf, n);

    int l = 0;
#if NOISE_HAVE_WIDE
    if (wide) {
        for (; l + 4 <= count; l += 4)
            smooth_k4_8(nf, data, guide, l, n, bpp);
        for (; l + 2 <= count; l += 2)
            smooth_k2_8(nf, data, guide, l, n, bpp);
    }
#endif
    for (; l + 4 <= count; l += 4)
        smooth_k4_4(nf, data, guide, l, n, bpp);
    for (; l + 2 <= count; l += 2)
        smooth_k2_4(nf, data, guide, l, n, bpp);
    for (; l < count; l++)
        smooth_k1_4(nf, data, guide, l, n, bpp);
}

void process_line(NoiseFilter *nf, const unsigned char *data, unsigned char *guide, int n, int bpp)
{
    process_lines(nf, &data, &guide, 1, n, bpp);
}

void noise_merge_line(NoiseFilter *nf, const unsigned char *src, unsigned char *dst,
                      int n, int bpp)
{
    if (bpp < 1 || bpp > 4)
        return;
#if NOISE_HAVE_WIDE
    if (wide_form()) {
        merge_line_8(nf, src, dst, n, bpp);
        return;
    }
#endif
    merge_line_4(nf, src, dst, n, bpp);
}

/* ---- Region driver ----------------------------------------------------------- */

int noise_filter_run(const NoiseParams *p, double radius, double lsmooth, int bpp,
                     int x1, int x2, int y1, int y2, const NoiseRegionIo *io)
{
    if (bpp < 1 || bpp > 4 || x2 < x1 || y2 < y1 || noise_params_check(p, NULL) != 0)
        return -1;
    int w = x2 - x1, h = y2 - y1, m = w > h ? w : h;
    int progress = io->progress_init && io->progress_update;

    if (progress)
        io->progress_init(io->ctx, "Blurring...");
    NoiseFilter nf;
    if (noise_filter_init(&nf, p, radius, lsmooth, m) != 0)
        return -1;
    /* Rows and columns go through the line filter several at a time. */
    size_t line_bytes = (size_t)m * bpp;
    unsigned char *in_bytes = malloc(NOISE_MAX_LINES * line_bytes + 1);
    unsigned char *out_bytes = malloc(NOISE_MAX_LINES * line_bytes + 1);
    if (!in_bytes || !out_bytes) {
        free(in_bytes);
        free(out_bytes);
        noise_filter_free(&nf);
        return -1;
    }
    const unsigned char *ins[NOISE_MAX_LINES];
    unsigned char *outs[NOISE_MAX_LINES];
    for (int l = 0; l < NOISE_MAX_LINES; l++) {
        ins[l] = in_bytes + l * line_bytes;
        outs[l] = out_bytes + l * line_bytes;
    }

    for (int y0 = 0; y0 < h; y0 += NOISE_MAX_LINES) {
        int count = h - y0 < NOISE_MAX_LINES ? h - y0 : NOISE_MAX_LINES;
        for (int l = 0; l < count; l++) {
            io->get_row(io->ctx, 0, (unsigned char *)ins[l], x1, y1 + y0 + l, w);
            memcpy(outs[l], ins[l], (size_t)w * bpp);
        }
        process_lines(&nf, ins, outs, count, w, bpp);
        for (int l = 0; l < count; l++) {
            int y = y0 + l;
            io->set_row(io->ctx, outs[l], x1, y1 + y, w);
            if (progress && y % 8 == 0)
                io->progress_update(io->ctx, y / (3.0 * h));
        }
    }
    for (int x0 = 0; x0 < w; x0 += NOISE_MAX_LINES) {
        int count = w - x0 < NOISE_MAX_LINES ? w - x0 : NOISE_MAX_LINES;
        for (int l = 0; l < count; l++) {
            io->get_col(io->ctx, 1, (unsigned char *)ins[l], x1 + x0 + l, y1, h);
            io->get_col(io->ctx, 0, outs[l], x1 + x0 + l, y1, h);
        }
        process_lines(&nf, ins, outs, count, h, bpp);
        for (int l = 0; l < count; l++) {
            int x = x0 + l;
            io->set_col(io->ctx, outs[l], x1 + x, y1, h);
            if (progress && x % 8 == 0)
                io->progress_update(io->ctx, x / (3.0 * w) + 0.33);
        }
    }
    if (progress)
        io->progress_init(io->ctx, "Merging...");
    for (int y = 0; y < h; y++) {
        io->get_row(io->ctx, 0, in_bytes, x1, y1 + y, w);
        io->get_row(io->ctx, 1, out_bytes, x1, y1 + y, w);
        noise_merge_line(&nf, in_bytes, out_bytes, w, bpp);
        io->set_row(io->ctx, out_bytes, x1, y1 + y, w);
        if (progress && y % 8 == 0)
            io->progress_update(io->ctx, y / (3.0 * h) + 0.67);
    }
    if (progress)
        io->progress_update(io->ctx, 0.0);
    free(in_bytes);
    free(out_bytes);
    noise_filter_free(&nf);
    return 0;
}

/* ---- Whole-buffer form ------------------------------------------------------- */

typedef struct {
    const unsigned char *src;
    unsigned char *dst;
    int src_stride, dst_stride, bpp;
} BufferIo;

static const unsigned char *buffer_pixel(const BufferIo *b, int from_dst, int x, int y)
{
    return from_dst ? b->dst + (size_t)y * b->dst_stride + (size_t)x * b->bpp
                    : b->src + (size_t)y * b->src_stride + (size_t)x * b->bpp;
}

static void buffer_get_row(void *ctx, int from_dst, unsigned char *buf, int x, int y, int w)
{
    const BufferIo *b = ctx;
    memcpy(buf, buffer_pixel(b, from_dst, x, y), (size_t)w * b->bpp);
}

static void buffer_set_row(void *ctx, const unsigned char *buf, int x, int y, int w)
{
    BufferIo *b = ctx;
    memcpy(b->dst + (size_t)y * b->dst_stride + (size_t)x * b->bpp, buf, (size_t)w * b->bpp);
}

/* h pixels of bpp bytes from src to dst, src_step and dst_step bytes apart;
 * fixed-size copies for the common pixel sizes. */
static void copy_pixels(unsigned char *dst, size_t dst_step, const unsigned char *src,
                        size_t src_step, int h, int bpp)
{
    if (bpp == 3)
        for (int i = 0; i < h; i++, src += src_step, dst += dst_step)
            memcpy(dst, src, 3);
    else if (bpp == 4)
        for (int i = 0; i < h; i++, src += src_step, dst += dst_step)
            memcpy(dst, src, 4);
    else
        for (int i = 0; i < h; i++, src += src_step, dst += dst_step)
            memcpy(dst, src, (size_t)bpp);
}

static void buffer_get_col(void *ctx, int from_dst, unsigned char *buf, int x, int y, int h)
{
    const BufferIo *b = ctx;
    size_t stride = (size_t)(from_dst ? b->dst_stride : b->src_stride);
    copy_pixels(buf, (size_t)b->bpp, buffer_pixel(b, from_dst, x, y), stride, h, b->bpp);
}

static void buffer_set_col(void *ctx, const unsigned char *buf, int x, int y, int h)
{
    BufferIo *b = ctx;
    unsigned char *px = b->dst + (size_t)y * b->dst_stride + (size_t)x * b->bpp;
    copy_pixels(px, (size_t)b->dst_stride, buf, (size_t)b->bpp, h, b->bpp);
}

int noise_filter_buffer(const NoiseParams *p, const unsigned char *src, int src_stride,
                        unsigned char *dst, int dst_stride, int width, int height, int bpp)
{
    if (!src || !dst || width < 0 || height < 0 || bpp < 1 || bpp > 4 ||
        src_stride < width * bpp || dst_stride < width * bpp)
        return -1;
    BufferIo b = { src, dst, src_stride, dst_stride, bpp };
    NoiseRegionIo io = { &b, buffer_get_row, buffer_set_row, buffer_get_col, buffer_set_col,
                         NULL, NULL };
    return noise_filter_run(p, p->radius, p->lsmooth, bpp, 0, width, 0, height, &io);
}
