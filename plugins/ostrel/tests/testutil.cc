#include "testutil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#ifdef OSTREL_HAVE_SYNTH_PHOTO
#include "synth_photo.h"
#endif

OwnedMatrix::OwnedMatrix(int w, int h, float fill)
{
    matrix_create(&m, w, h);
    for (size_t k = 0; k < size(); k++)
        m.data[k] = fill;
}

OwnedMatrix::OwnedMatrix(const OwnedMatrix &o)
{
    matrix_create_like(&m, &o.m);
    std::memcpy(m.data, o.m.data, size() * sizeof(float));
}

OwnedMatrix &OwnedMatrix::operator=(const OwnedMatrix &o)
{
    if (this != &o) {
        matrix_destroy(&m);
        matrix_create_like(&m, &o.m);
        std::memcpy(m.data, o.m.data, size() * sizeof(float));
    }
    return *this;
}

std::vector<unsigned char> test_photo_rgb(int w, int h, unsigned seed)
{
    std::vector<unsigned char> rgb((size_t)w * h * 3);
#ifdef OSTREL_HAVE_SYNTH_PHOTO
    synth_photo(rgb.data(), w, h, w * 3, seed);
#else
    // Smooth shading, a few hard-edged shapes, a texture and fine noise.
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    double cx = u(gen) * w, cy = u(gen) * h, rr = (0.15 + 0.2 * u(gen)) * (w < h ? w : h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            for (int c = 0; c < 3; c++) {
                double v = 60 + 80.0 * x / w + 40.0 * y / h + 20 * c;
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < rr * rr)
                    v = 200 - 30 * c;
                if (x > w / 2 && y > h / 3 && y < h / 3 + h / 5)
                    v = 30 + 10 * c;
                v += 25 * std::sin(x * 0.7 + c) * std::sin(y * 0.45);
                v += 12 * (u(gen) - 0.5);
                rgb[((size_t)y * w + x) * 3 + c] =
                    (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : (int)v);
            }
        }
#endif
    return rgb;
}

OwnedMatrix test_photo_channel(int w, int h, int channel, unsigned seed)
{
    std::vector<unsigned char> rgb = test_photo_rgb(w, h, seed);
    OwnedMatrix m;
    matrix_create(&m.m, w, h);
    matrix_fill_bytes3(&m.m, rgb.data(), channel);
    return m;
}

OwnedMatrix random_matrix(int w, int h, unsigned seed, int lo, int hi)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(lo, hi);
    OwnedMatrix m(w, h);
    for (size_t k = 0; k < m.size(); k++)
        m.m.data[k] = (float)d(gen);
    return m;
}

static int map_index(int i, int n, bool mirror)
{
    return mirror ? mirror_index(i, n) : wrap_index(i, n);
}

OwnedMatrix reference_filter(const Matrix &in, const ConvMask &mask, bool mirror, bool correlate)
{
    OwnedMatrix out(in.width, in.height);
    int r = mask.radius, sign = correlate ? 1 : -1;
    for (int j = 0; j < in.height; j++)
        for (int i = 0; i < in.width; i++) {
            double s = 0;
            for (int l = -r; l <= r; l++)
                for (int k = -r; k <= r; k++)
                    s += (double)convmask_get(&mask, k, l) *
                         in.data[map_index(i + sign * k, in.width, mirror) +
                                 (size_t)map_index(j + sign * l, in.height, mirror) * in.width];
            out.at(i, j) = (float)s;
        }
    return out;
}

OwnedMatrix reference_convolve(const Matrix &in, const ConvMask &mask, bool mirror)
{
    return reference_filter(in, mask, mirror, false);
}

OwnedMatrix blurred_bytes(const Matrix &in, const ConvMask &mask, bool mirror)
{
    OwnedMatrix out = reference_convolve(in, mask, mirror);
    for (size_t k = 0; k < out.size(); k++) {
        float v = std::floor(out.m.data[k] + 0.5f);
        out.m.data[k] = v < 0 ? 0 : v > 255 ? 255 : v;
    }
    return out;
}

double psnr(const Matrix &a, const Matrix &b)
{
    double se = 0;
    size_t n = (size_t)a.width * a.height;
    for (size_t k = 0; k < n; k++) {
        double d = (double)a.data[k] - b.data[k];
        se += d * d;
    }
    double mse = se / (double)n;
    return mse == 0 ? 1e9 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

double reference_energy(const Matrix &x, const Matrix &y, const ConvMask &h,
                        float lambda, const float *weights, bool mirror)
{
    OwnedMatrix hx = reference_convolve(x, h, mirror);
    int w = x.width, ht = x.height;
    auto X = [&](int i, int j) {
        return (double)x.data[map_index(i, w, mirror) + (size_t)map_index(j, ht, mirror) * w];
    };
    double e = 0;
    for (int j = 0; j < ht; j++)
        for (int i = 0; i < w; i++) {
            double d = hx.at(i, j) - y.data[i + (size_t)j * w];
            double lap = X(i + 1, j) + X(i - 1, j) + X(i, j + 1) + X(i, j - 1) - 4 * X(i, j);
            double wp = weights ? weights[i + (size_t)j * w] : 1.0;
            e += d * d + lambda * wp * lap * lap;
        }
    return e;
}

// The decision rule written out plainly, drawing from rand() in the same
// way (at most one number per pixel).
float reference_decide(float v0, double z, double a)
{
    double d = -a;
    if (!(2.0 * std::fabs(z) > d))
        return v0;
    int s = z >= 0 ? 1 : -1;
    int v = (int)std::trunc(v0 + 0.5);
    int m = s + (int)std::trunc(z / d);
    if (m > 0 && v < 255) {
        m = std::min(m, 255 - v);
        v += std::rand() % m + 1;
    } else if (m < 0 && v > 0) {
        m = std::min(-m, v);
        v -= std::rand() % m + 1;
    }
    return (float)v;
}

// Z and a of pixel (i, j) of x, every access through the mapping, sums in
// double.
Terms reference_terms(const Matrix &x, const Matrix &rhs, const Weights &t, float lambda,
                      const float *W, bool mirror, int i, int j)
{
    int w = x.width, h = x.height;
    auto X = [&](int di, int dj) {
        return (double)x.data[map_index(i + di, w, mirror) +
                              (size_t)map_index(j + dj, h, mirror) * w];
    };
    auto Wt = [&](int di, int dj) {
        return W ? (double)W[map_index(i + di, w, mirror) +
                             (size_t)map_index(j + dj, h, mirror) * w]
                 : 1.0;
    };
    double q = 0;
    for (int l = -t.rynz; l <= t.rynz; l++)
        for (int k = -t.rxnz; k <= t.rxnz; k++)
            q += (double)weights_get(&t, k, l) * X(k, l);
    double w0 = Wt(0, 0), we = Wt(1, 0), ww = Wt(-1, 0), ws = Wt(0, 1), wn = Wt(0, -1);
    double p = 16 * w0 + we + ww + ws + wn;
    double s = p * X(0, 0) - 4 * (w0 + we) * X(1, 0) - 4 * (w0 + ww) * X(-1, 0) -
               4 * (w0 + ws) * X(0, 1) - 4 * (w0 + wn) * X(0, -1) + (we + ws) * X(1, 1) +
               (ww + ws) * X(-1, 1) + (we + wn) * X(1, -1) + (ww + wn) * X(-1, -1) +
               we * X(2, 0) + ww * X(-2, 0) + ws * X(0, 2) + wn * X(0, -2);
    double r = rhs.data[i + (size_t)j * w];
    Terms out;
    out.z = r + q - lambda * s;
    out.a = (double)weights_get(&t, 0, 0) - lambda * p;
    out.scale = std::max({ std::fabs(out.z), std::fabs(r), 1.0 });
    return out;
}

// One plain sweep: columns outer, rows inner, in place.
void reference_sweep(const ChannelSolver &s)
{
    Matrix &x = *s.image;
    const float *W = s.area_weights && s.lambda > 1e-8f ? s.area_weights->weights : nullptr;
    for (int i = 0; i < x.width; i++)
        for (int j = 0; j < x.height; j++) {
            Terms t = reference_terms(x, s.rhs, s.table, s.lambda, W, s.mirror, i, j);
            float &px = x.data[i + (size_t)j * x.width];
            px = reference_decide(px, t.z, t.a);
        }
}
