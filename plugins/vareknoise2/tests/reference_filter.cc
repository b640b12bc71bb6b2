#include "reference_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ref {

namespace {

// A float line addressable from -margin to n-1+margin, zero-filled.
struct Line {
    std::vector<float> v;
    int margin;
    Line(int n, int m) : v(static_cast<size_t>(n + 2 * m), 0.0f), margin(m) {}
    float &operator[](int i) { return v.at(static_cast<size_t>(i + margin)); }
};

struct Derived {
    int pad, reach, L, ph;
    float r1, gamma, e, einv;
    double thr2;
};

Derived derive(const NoiseParams &p)
{
    Derived d;
    float r2 = static_cast<float>(std::max(2.0 * p.radius, 1.0));
    d.pad = static_cast<int>(2.0 * r2 + p.damping + p.lookahead + p.phase + 2.0);
    d.L = static_cast<int>(std::floor(2.0 * p.lookahead + 0.1));
    d.ph = static_cast<int>(std::trunc(p.phase));
    d.reach = std::max({d.pad, 6, std::abs(d.L), std::abs(d.ph) + 1});
    d.r1 = static_cast<float>(std::max(p.radius, 0.5));
    d.gamma = static_cast<float>(p.gamma);
    d.thr2 = p.effect * p.effect;
    d.e = static_cast<float>(1.0 + p.texture);
    if (std::fabs(d.e) < 0.01f) d.e = d.e < 0 ? -0.01f : 0.01f;
    d.einv = 1.0f / d.e;
    return d;
}

// Sample i of a line of n samples, bouncing off both ends.
int bounce(int i, int n)
{
    if (n == 1) return 0;
    while (i < 0 || i > n - 1) {
        if (i < 0) i = -i;
        if (i > n - 1) i = 2 * (n - 1) - i;
    }
    return i;
}

void mirror_left(Line &x, int n, int count)
{
    for (int i = 1; i <= count; i++) x[-i] = x[bounce(-i, n)];
}

void mirror_right(Line &x, int n, int count)
{
    for (int i = 1; i <= count; i++) x[n - 1 + i] = x[bounce(n - 1 + i, n)];
}

void mirror(Line &x, int n, int count)
{
    mirror_left(x, n, count);
    mirror_right(x, n, count);
}

// One forward box pass: a running sum over x[j+1..j+n+1], window results
// optionally scaled by g.
std::vector<float> forward(const std::vector<float> &x, float b, bool scale = false, float g = 1.0f)
{
    const int m = static_cast<int>(x.size());
    const int n = static_cast<int>(b);
    const float f = b - static_cast<float>(n);
    std::vector<float> y(x.size());
    float s = 0.0f;
    bool started = false;
    for (int j = 0; j < m; j++) {
        if (n < 0) {
            float v = f * x[j];
            y[j] = scale ? v * g : v;
        } else if (j + n + 1 <= m - 1) {
            if (!started) {
                for (int i = j + 1; i <= j + n + 1; i++) s = s + x[i];
                started = true;
            } else {
                s = (s - x[j]) + x[j + n + 1];
            }
            float v = f * x[j] + s;
            y[j] = scale ? v * g : v;
        } else {
            y[j] = b * x[j];
        }
    }
    return y;
}

// One backward box pass, a running sum over x[j-1..j-n-1] from the end
// down: the forward pass over the reversed line.
std::vector<float> backward(const std::vector<float> &x, float b, bool scale, float g)
{
    std::vector<float> y = forward(std::vector<float>(x.rbegin(), x.rend()), b, scale, g);
    return std::vector<float>(y.rbegin(), y.rend());
}

std::vector<float> segment(Line &x, int from, int to)
{
    std::vector<float> s;
    for (int i = from; i <= to; i++) s.push_back(x[i]);
    return s;
}

void put_segment(Line &x, int from, const std::vector<float> &s)
{
    for (size_t i = 0; i < s.size(); i++) x[from + static_cast<int>(i)] = s[i];
}

unsigned char to_byte(float v)
{
    float z = v * 255.0f + 0.5f;
    if (std::isnan(z) || z < 0.0f) return 0;
    if (z > 255.0f) return 255;
    return static_cast<unsigned char>(std::trunc(z));
}

}  // namespace

double signed_pow(double a, double e)
{
    if (std::fabs(a) < 1e-16) return 0.0;
    if (a > 0) return std::exp2(e * std::log2(a));
    if (a < 0) return -std::exp2(e * std::log2(-a));
    return a;
}

std::vector<float> cascade_blur(const std::vector<float> &x, double rho, bool difference)
{
    float b = static_cast<float>(2.0 * rho);
    float c = static_cast<float>(1.5 * rho);
    float b1 = (b + 1.0f) * (b + 1.0f);
    float c1 = (c + 1.0f) * (c + 1.0f);
    float bc = b1 * c1;
    float g = 1.0f / bc;
    std::vector<float> y = forward(x, b);
    y = backward(y, b, false, 1.0f);
    y = forward(y, c);
    y = backward(y, c, true, g);
    if (difference)
        for (size_t j = 0; j < y.size(); j++) y[j] = std::fabs(y[j] - x[j]);
    return y;
}

namespace {

// Builds the radius map of the luminances in line (already holding them at
// 0..n-1) into rm.
void build_map(const NoiseParams &p, const Derived &d, Line &line, Line &rm, int n)
{
    const int P = d.reach, L = d.L;
    mirror(line, n, P);
    for (int i = 0; i < n; i++) {
        float k1 = static_cast<float>(1.0 + p.sharp);
        float k2 = static_cast<float>(0.5 * p.sharp);
        float taps = line[i - L] + line[i + L];
        rm[i] = k1 * line[i] - k2 * taps;
    }
    mirror(rm, n, P);
    put_segment(line, -P, cascade_blur(segment(rm, -P, n - 1 + P), p.lookahead, true));
    mirror(line, n, P);
    for (int i = 0; i < n; i++) rm[i] = line[i];
    mirror(rm, n, P);
    put_segment(rm, 5 - P, cascade_blur(segment(rm, 5 - P, n - 6 + P), p.damping, false));
    for (int i = 5 - P; i <= n - 7 + P; i++) {
        double t = static_cast<double>(rm[i]) - d.thr2;
        if (d.thr2 / d.r1 > t) t = d.thr2 / d.r1;
        t = d.thr2 / t;
        if (t < 0.5) t = 0.5;
        if (std::isnan(t)) t = d.r1;
        rm[i] = static_cast<float>(2.0 * t);
    }
    mirror(rm, n, P);
}

}  // namespace

std::vector<float> radius_map(const NoiseParams &p, const std::vector<float> &lum)
{
    Derived d = derive(p);
    int n = static_cast<int>(lum.size());
    Line line(n, d.reach + 4), rm(n, d.reach + 4);
    for (int i = 0; i < n; i++) line[i] = lum[i];
    build_map(p, d, line, rm, n);
    return segment(rm, 0, n - 1);
}

void process_line(const NoiseParams &p, const unsigned char *data, unsigned char *guide, int n,
                  int bpp)
{
    Derived d = derive(p);
    const int P = d.reach, ph = d.ph, M = d.reach + 4;
    const int channels = bpp > 2 ? 3 : 1;
    Line line(n, M), work(n, M), base(n, M), rm(n, M);

    for (int j = 0; j < n; j++) {
        const unsigned char *px = guide + j * bpp;
        if (channels == 1) {
            int v = px[0];
            line[j] = v == 0 ? 0.0f : v == 255 ? 1.0f : static_cast<float>(std::pow(v / 255.0, d.gamma));
        } else {
            double lum = (0.25 * px[0] + 0.5 * px[1] + 0.25 * px[2]) / 255.0;
            line[j] = static_cast<float>(signed_pow(lum, d.gamma));
        }
    }
    build_map(p, d, line, rm, n);

    for (int c = 0; c < channels; c++) {
        for (int j = 0; j < n; j++) line[j] = data[j * bpp + c] / 255.0f;
        mirror(line, n, P);
        put_segment(base, 1 - P, cascade_blur(segment(line, 1 - P, n - 2 + P), p.radius, false));
        for (int i = 1 - P; i <= n - 2 + P; i++) {
            float diff = line[i] - base[i];
            line[i] = static_cast<float>(signed_pow(diff, d.e));
        }
        for (int round = 0; round < 2; round++) {
            mirror_left(line, n, P);
            line[-1] = line[-1] + line[-2];
            float S = line[-1], Rp = 0.0f;
            for (int k = 0; k <= n - 1 + std::max(ph, 0); k++) {
                float R = rm[k - ph];
                if (R > Rp + 1.0f) R = Rp + 1.0f;
                Rp = R;
                int r = static_cast<int>(R);
                S = S + line[k];
                line[k] = S;
                float whole = S - line[k - r];
                float part = (line[k - r] - line[k - r - 1]) * (R - static_cast<float>(r));
                work[k] = (whole + part) / R;
            }
            mirror_right(work, n, P);
            work[n] = work[n] + work[n + 1];
            S = work[n];
            Rp = 0.0f;
            for (int x = n - 1; x >= std::min(-ph, 0); x--) {
                float R = rm[x + ph];
                if (R > Rp + 1.0f) R = Rp + 1.0f;
                Rp = R;
                int r = static_cast<int>(R);
                S = S + work[x];
                work[x] = S;
                float whole = S - work[x + r];
                float part = (work[x + r] - work[x + r + 1]) * (R - static_cast<float>(r));
                line[x] = (whole + part) / R;
            }
        }
        for (int i = 1 - P; i <= n - 2 + P; i++) {
            float back = static_cast<float>(signed_pow(line[i], d.einv));
            line[i] = back + base[i];
        }
        for (int j = 0; j < n; j++) guide[j * bpp + c] = to_byte(line[j]);
    }
}

void merge_pixel(const NoiseParams &p, double lsmooth, const unsigned char *op, unsigned char *fp,
                 int bpp)
{
    float o[3], f[3], v[3];
    for (int c = 0; c < 3; c++) {
        o[c] = (bpp > 2 ? op[c] : op[0]) / 255.0f;
        f[c] = (bpp > 2 ? fp[c] : fp[0]) / 255.0f;
    }
    float gamma = static_cast<float>(p.gamma);
    float Lo = 0.212671f * o[0] + 0.71516f * o[1] + 0.072169f * o[2];
    float Lf = 0.212671f * f[0] + 0.71516f * f[1] + 0.072169f * f[2];
    double gm1 = static_cast<double>(gamma) - 1.0;
    float dl = static_cast<float>(static_cast<double>(Lo - Lf) * signed_pow(Lf / 0.5f, gm1));
    float Tl = static_cast<float>(lsmooth);
    float F = Tl * Tl;
    if (F > 0) {
        double dd = dl;
        dl = static_cast<float>(dd * (1.0 - std::exp(-(dd * dd) / (2.0 * static_cast<double>(F) * F))));
    }
    for (int c = 0; c < 3; c++) v[c] = f[c] + dl;
    float Tc = static_cast<float>(p.csmooth);
    if (Tc >= 0.99f) Tc = 1.0f;
    float E = Tc * Tc;
    int channels = bpp > 2 ? 3 : 1;
    for (int c = 0; c < channels; c++) {
        float U = o[c], V = v[c];
        float Y = static_cast<float>(signed_pow(((U + V) / 2.0f) / 0.5f, gm1) * static_cast<double>(U - V));
        float w = 0.0f;
        if (E > 0) {
            double yy = Y;
            w = static_cast<float>(std::exp(-(yy * yy) / (2.0 * static_cast<double>(E) * E)));
        }
        if (E >= 0.99f) w = 1.0f;
        v[c] = V * w + U * (1.0f - w);
    }
    for (int c = 0; c < channels; c++) fp[c] = to_byte(v[c]);
}

std::vector<unsigned char> filter_image(const NoiseParams &p, const std::vector<unsigned char> &src,
                                        int width, int height, int bpp)
{
    std::vector<unsigned char> dst(src.size());
    std::vector<unsigned char> a, b;
    for (int y = 0; y < height; y++) {
        a.assign(src.begin() + static_cast<long>(y) * width * bpp,
                 src.begin() + static_cast<long>(y + 1) * width * bpp);
        b = a;
        process_line(p, a.data(), b.data(), width, bpp);
        std::copy(b.begin(), b.end(), dst.begin() + static_cast<long>(y) * width * bpp);
    }
    for (int x = 0; x < width; x++) {
        a.clear();
        b.clear();
        for (int y = 0; y < height; y++)
            for (int k = 0; k < bpp; k++) {
                a.push_back(dst[(static_cast<size_t>(y) * width + x) * bpp + k]);
                b.push_back(src[(static_cast<size_t>(y) * width + x) * bpp + k]);
            }
        process_line(p, a.data(), b.data(), height, bpp);
        for (int y = 0; y < height; y++)
            for (int k = 0; k < bpp; k++) dst[(static_cast<size_t>(y) * width + x) * bpp + k] = b[y * bpp + k];
    }
    for (size_t i = 0; i < static_cast<size_t>(width) * height; i++)
        merge_pixel(p, p.lsmooth, &src[i * bpp], &dst[i * bpp], bpp);
    return dst;
}

}  // namespace ref
