/* Degradation kernels with exact area coverage of the pixel grid. */
#include "convmask.h"

#include <limits.h>
#include <math.h>
#include <stdlib.h>

#include "matrix.h"

void convmask_create(ConvMask *mask, int radius)
{
    if (radius < 0)
        radius = 0;
    mask->radius = radius;
    mask->width = 2 * radius + 1;
    mask->center = radius * (2 * radius + 2);
    mask->data = xmalloc((size_t)mask->width * (size_t)mask->width * sizeof(float));
}

void convmask_destroy(ConvMask *mask)
{
    free(mask->data);
    mask->data = NULL;
}

void convmask_set4(ConvMask *mask, int x, int y, float value)
{
    float *c = mask->data + mask->center;
    int w = mask->width;
    c[x + y * w] = value;
    c[-x + y * w] = value;
    c[x - y * w] = value;
    c[-x - y * w] = value;
}

void convmask_normalize(ConvMask *mask)
{
    size_t n = (size_t)mask->width * (size_t)mask->width;
    long double sum = 0;
    for (size_t k = 0; k < n; k++)
        sum += mask->data[k];
    /* An all-zero mask has no meaningful normalisation; leave it. */
    if (sum == 0 || !isfinite((double)sum))
        return;
    for (size_t k = 0; k < n; k++)
        mask->data[k] = (float)(mask->data[k] / sum);
}

static void make_identity(ConvMask *mask)
{
    convmask_create(mask, 0);
    mask->data[0] = 1.0f;
}

void convmask_convolve(ConvMask *out, const ConvMask *a, const ConvMask *b)
{
    int ra = a->radius, rb = b->radius;
    convmask_create(out, ra + rb);
    int w = out->width;
    long double *acc = xmalloc((size_t)w * (size_t)w * sizeof(long double));
    for (size_t k = 0; k < (size_t)w * (size_t)w; k++)
        acc[k] = 0;
    long double *c = acc + out->center;
    for (int l = -rb; l <= rb; l++)
        for (int k = -rb; k <= rb; k++) {
            long double bv = convmask_get(b, k, l);
            if (bv == 0)
                continue;
            for (int v = -ra; v <= ra; v++)
                for (int u = -ra; u <= ra; u++)
                    c[(u + k) + (v + l) * w] += bv * convmask_get(a, u, v);
        }
    for (size_t k = 0; k < (size_t)w * (size_t)w; k++)
        out->data[k] = (float)acc[k];
    free(acc);
}

long convmask_disc_radius(double radius)
{
    if (!(radius + 0.5 >= 1.0))
        return 0;
    if (radius + 0.5 >= (double)INT_MAX)
        return INT_MAX;
    return (long)(radius + 0.5);
}

long convmask_gauss_radius(double sigma)
{
    if (!(sigma >= 1e-6))
        return 0;
    double n = sigma * sqrt(-2.0 * log(0.01)) + 0.5;
    if (n >= (double)INT_MAX)
        return INT_MAX;
    return (long)n;
}

long convmask_motion_radius(double length)
{
    if (!(length >= 0.0001))
        return 0;
    if (length + 1.0 >= (double)INT_MAX)
        return INT_MAX;
    return (long)(length + 1.0);
}

static int clamp_radius(long n)
{
    return n > CONVMASK_MAX_RADIUS ? CONVMASK_MAX_RADIUS : (int)n;
}

double circle_integral(double x, double r)
{
    if (r < 1e-6)
        return 0.0;
    double q = x / r;
    if (r * r - x * x < 0 || q < -1 || q > 1) {
        double quarter = M_PI * r * r / 4.0;
        return q < 0 ? -quarter : quarter;
    }
    return asin(q) * r * r / 2.0 + sqrt(r * r - x * x) * x / 2.0;
}

/* Where the horizontal edge at height y leaves the disc, within [x0, x1]. */
static double edge_exit(double x0, double x1, double y, double r)
{
    if (x0 * x0 + y * y > r * r)
        return x0;
    if (x1 * x1 + y * y <= r * r)
        return x1;
    return sqrt(r * r - y * y);
}

void convmask_disc(ConvMask *mask, float radius)
{
    int n = clamp_radius(convmask_disc_radius(radius));
    if (n < 1) {
        make_identity(mask);
        return;
    }
    convmask_create(mask, n);
    double r = radius;
    for (int i = 0; i <= n; i++)
        for (int j = 0; j <= n; j++) {
            double x0 = i - 0.5, x1 = i + 0.5, y0 = j - 0.5, y1 = j + 0.5;
            double mult = 1.0;
            /* Squares on the axes are symmetric: integrate half, count it
             * twice (the centre square four times). */
            if (x0 < 0) {
                x0 = 0;
                mult *= 2;
            }
            if (y0 < 0) {
                y0 = 0;
                mult *= 2;
            }
            double xa = edge_exit(x0, x1, y1, r);
            double xb = edge_exit(x0, x1, y0, r);
            double area = (xa - x0) * (y1 - y0) + circle_integral(xb, r) -
                          circle_integral(xa, r) - (xb - xa) * y0;
            float value = (float)(mult * area / (M_PI * r * r));
            convmask_set4(mask, i, j, value < 0 ? 0.0f : value);
        }
    convmask_normalize(mask);
}

void convmask_gauss(ConvMask *mask, float sigma)
{
    if (!(sigma >= 1e-6f)) {
        make_identity(mask);
        return;
    }
    int n = clamp_radius(convmask_gauss_radius(sigma));
    convmask_create(mask, n);
    double s2 = (double)sigma * sigma;
    for (int i = 0; i <= n; i++)
        for (int j = 0; j <= n; j++) {
            double v = exp(-(double)(i * i + j * j) / (2.0 * s2)) / (2.0 * M_PI * s2);
            convmask_set4(mask, i, j, (float)v);
        }
    convmask_normalize(mask);
}

typedef struct {
    double a, b;
} Point2;

/* One Sutherland-Hodgman pass keeping first coordinate <= bound; every
 * emitted point (a, b) is stored turned a quarter as (b, -a). */
static int clip_polygon(Point2 *out, const Point2 *in, int count, double bound)
{
    int emitted = 0;
    for (int k = 0; k < count; k++) {
        Point2 p = in[(k + count - 1) % count], q = in[k];
        int p_in = p.a <= bound + 0.0001, q_in = q.a <= bound + 0.0001;
        if (q_in != p_in) {
            double cross = p.b + (bound - p.a) * (q.b - p.b) / (q.a - p.a);
            out[emitted].a = cross;
            out[emitted].b = -bound;
            emitted++;
        }
        if (q_in) {
            out[emitted].a = q.b;
            out[emitted].b = -q.a;
            emitted++;
        }
    }
    return emitted;
}

void convmask_motion(ConvMask *mask, float length, float angle)
{
    if (!(length >= 0.0001f)) {
        make_identity(mask);
        return;
    }
    int n = clamp_radius(convmask_motion_radius(length));
    convmask_create(mask, n);
    if (!isfinite(angle))
        angle = 0.0f;
    double theta = angle * 0.017453292519943295;
    float st = (float)sin(theta), ct = (float)cos(theta);
    const double corners[4][2] = {
        { -0.5, 0.5 }, { -0.5, -0.5 }, { length + 0.5, -0.5 }, { length + 0.5, 0.5 }
    };
    Point2 streak[4];
    for (int k = 0; k < 4; k++) {
        streak[k].a = corners[k][0] * ct - corners[k][1] * st;
        streak[k].b = corners[k][0] * st + corners[k][1] * ct;
    }
    for (int x = -n; x <= n; x++)
        for (int y = -n; y <= n; y++) {
            Point2 buf1[16], buf2[16];
            const double bounds[4] = { x + 0.5, y + 0.5, -(x - 0.5), -(y - 0.5) };
            int count = 4;
            const Point2 *src = streak;
            Point2 *dst = buf1;
            for (int pass = 0; pass < 4 && count > 0; pass++) {
                count = clip_polygon(dst, src, count, bounds[pass]);
                src = dst;
                dst = dst == buf1 ? buf2 : buf1;
            }
            double area = 0.0;
            for (int k = 0; k < count; k++) {
                const Point2 *p = &src[k], *q = &src[(k + 1) % count];
                area += p->a * q->b - q->a * p->b;
            }
            mask->data[mask->center + x + y * mask->width] = (float)(fabs(area) / 2.0);
        }
    convmask_normalize(mask);
}

void convmask_print(const ConvMask *mask, FILE *file)
{
    fprintf(file, "%s\n", "CONVMASK:");
    for (int y = -mask->radius; y <= mask->radius; y++) {
        for (int x = -mask->radius; x <= mask->radius; x++)
            fprintf(file, "%1.4f ", convmask_get(mask, x, y));
        fprintf(file, "\n");
    }
}

int convmask_split(const ConvMask *mask, double *gx, double *gy, int float_factors)
{
    int r = mask->radius;
    double c = convmask_get(mask, 0, 0), peak = 0.0;
    if (!(c > 0.0))
        return 0;
    for (int k = -r; k <= r; k++) {
        gx[k + r] = convmask_get(mask, k, 0);
        gy[k + r] = convmask_get(mask, 0, k) / c;
        if (float_factors)
            gy[k + r] = (float)gy[k + r];
    }
    for (int l = -r; l <= r; l++)
        for (int k = -r; k <= r; k++) {
            double v = fabs(convmask_get(mask, k, l));
            if (v > peak)
                peak = v;
        }
    for (int l = -r; l <= r; l++)
        for (int k = -r; k <= r; k++)
            if (fabs(convmask_get(mask, k, l) - gx[k + r] * gy[l + r]) > 1e-6 * peak)
                return 0;
    return 1;
}
