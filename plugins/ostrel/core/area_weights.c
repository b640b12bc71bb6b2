/* Area smoothing weights from the local variance of the channel. */
#include "area_weights.h"

#include <float.h>
#include <stdlib.h>

#include "deconv.h"

void area_weights_init(AreaWeights *aw, int width, int height,
                       float min_weight, int winsize, const ConvMask *presmooth)
{
    aw->presmooth = presmooth;
    aw->width = width > 0 ? width : 0;
    aw->height = height > 0 ? height : 0;
    aw->winsize = winsize > 0 ? winsize : 0;
    aw->min_weight = min_weight;
    aw->weights = xmalloc((size_t)aw->width * (size_t)aw->height * sizeof(float));
}

void area_weights_set_mirror(AreaWeights *aw, int mirror)
{
    aw->mirror = mirror;
}

void area_weights_destroy(AreaWeights *aw)
{
    free(aw->weights);
    aw->weights = NULL;
}

/* The window sums are separable: each source row is summed horizontally
 * once into a small cache (slot = row mod window height), and each output
 * row adds up the cached rows its window maps to.  The cache is correct
 * for any size; it only recomputes when a tiny image maps two different
 * rows of one window to the same slot. */
static void local_variance(Matrix *out, const Matrix *in, float *min, float *max,
                           int winsize, int (*map)(int, int))
{
    int w = in->width, h = in->height;
    int ws = winsize > 0 ? winsize : 0, span = 2 * ws + 1;
    double n = (double)span * span;
    float vmin = 1e20f, vmax = 0.0f;
    if (w > 0 && h > 0) {
        int *colmap = xmalloc((size_t)(w + 2 * ws) * sizeof(int));
        for (int e = 0; e < w + 2 * ws; e++)
            colmap[e] = map(e - ws, w);
        double *hs = xmalloc((size_t)span * w * 2 * sizeof(double));
        int *tag = xmalloc((size_t)span * sizeof(int));
        double *acc = xmalloc((size_t)w * 2 * sizeof(double));
        for (int s = 0; s < span; s++)
            tag[s] = -1;
        for (int j = 0; j < h; j++) {
            for (int i = 0; i < 2 * w; i++)
                acc[i] = 0.0;
            for (int l = -ws; l <= ws; l++) {
                int row = map(j + l, h), slot = row % span;
                double *hrow = hs + (size_t)slot * w * 2;
                if (tag[slot] != row) {
                    const float *src = in->data + (size_t)row * w;
                    for (int i = 0; i < w; i++) {
                        double s = 0.0, s2 = 0.0;
                        for (int e = i; e < i + span; e++) {
                            double v = src[colmap[e]];
                            s += v;
                            s2 += v * v;
                        }
                        hrow[2 * i] = s;
                        hrow[2 * i + 1] = s2;
                    }
                    tag[slot] = row;
                }
                for (int i = 0; i < 2 * w; i++)
                    acc[i] += hrow[i];
            }
            float *dst = out->data + (size_t)j * w;
            for (int i = 0; i < w; i++) {
                double mean = acc[2 * i] / n;
                double var = acc[2 * i + 1] / n - mean * mean;
                float v = var > 0.0 ? (float)var : 0.0f;
                dst[i] = v;
                if (v > vmax)
                    vmax = v;
                if (v < vmin)
                    vmin = v;
            }
        }
        free(acc);
        free(tag);
        free(hs);
        free(colmap);
    }
    if (min)
        *min = vmin;
    if (max)
        *max = vmax;
}

void local_variance_mirror(Matrix *out, const Matrix *in, float *min,
                           float *max, int winsize)
{
    local_variance(out, in, min, max, winsize, mirror_index);
}

void local_variance_periodic(Matrix *out, const Matrix *in, float *min,
                             float *max, int winsize)
{
    local_variance(out, in, min, max, winsize, wrap_index);
}

void area_weights_compute(AreaWeights *aw, const Matrix *image)
{
    Matrix smoothed, var;
    const Matrix *src = image;
    if (aw->presmooth) {
        matrix_create_like(&smoothed, image);
        if (aw->mirror)
            matrix_convolve_mirror(&smoothed, image, aw->presmooth);
        else
            matrix_convolve_periodic(&smoothed, image, aw->presmooth);
        src = &smoothed;
    }
    /* The variance goes straight into the weights array, which is then
     * turned into weights in place. */
    var.width = aw->width;
    var.height = aw->height;
    var.data = aw->weights;
    float vmin, vmax;
    if (aw->mirror)
        local_variance_mirror(&var, src, &vmin, &vmax, aw->winsize);
    else
        local_variance_periodic(&var, src, &vmin, &vmax, aw->winsize);
    if (aw->presmooth)
        matrix_destroy(&smoothed);

    size_t n = (size_t)aw->width * (size_t)aw->height;
    float f = aw->min_weight > 0.0f ? aw->min_weight : FLT_MIN;
    float range = vmax - vmin;
    if (!(range > 0.0f)) {
        /* All variances equal (a uniform channel): nothing is busier than
         * anything else, so every pixel gets the full weight. */
        for (size_t k = 0; k < n; k++)
            aw->weights[k] = 1.0f;
        return;
    }
    /* In double, so a tiny f times a tiny range cannot underflow to 0. */
    double scale = (1.0 - f) / ((double)f * range);
    for (size_t k = 0; k < n; k++)
        aw->weights[k] = (float)(1.0 / (1.0 + scale * (aw->weights[k] - vmin)));
}
