// Helpers shared by the core's tests: owned matrices, test photographs,
// plain reference computations; files and folders come from test_support.h.
#pragma once

#include <string>
#include <vector>

#include "refocus_core.h"
#include "test_support.h"

// A Matrix that releases itself.
struct OwnedMatrix {
    Matrix m{0, 0, nullptr};
    OwnedMatrix() = default;
    OwnedMatrix(int w, int h, float fill = 0.0f);
    OwnedMatrix(const OwnedMatrix &o);
    OwnedMatrix &operator=(const OwnedMatrix &o);
    ~OwnedMatrix() { matrix_destroy(&m); }
    float &at(int x, int y) { return m.data[x + (size_t)y * m.width]; }
    float at(int x, int y) const { return m.data[x + (size_t)y * m.width]; }
    size_t size() const { return (size_t)m.width * m.height; }
};

// Photo-like RGB bytes, w * h * 3, deterministic in seed.
std::vector<unsigned char> test_photo_rgb(int w, int h, unsigned seed);
// One channel (0 red, 1 green, 2 blue) of the test photo as a matrix.
OwnedMatrix test_photo_channel(int w, int h, int channel, unsigned seed);
// Seeded uniform integer noise in lo..hi.
OwnedMatrix random_matrix(int w, int h, unsigned seed, int lo = 0, int hi = 255);

// out(i, j) = sum mask(k, l) in(map(i - k), map(j - l)), in double, one
// element at a time.
OwnedMatrix reference_convolve(const Matrix &in, const ConvMask &mask, bool mirror);
// The same with correlate: out(i, j) = sum mask(k, l) in(map(i + k), map(j + l)).
OwnedMatrix reference_filter(const Matrix &in, const ConvMask &mask, bool mirror, bool correlate);
// Image blurred by mask and rounded to whole bytes.
OwnedMatrix blurred_bytes(const Matrix &in, const ConvMask &mask, bool mirror);

double psnr(const Matrix &a, const Matrix &b);

// Energy ||h * x - y||^2 + lambda sum w (Laplacian x)^2, boundary mapped.
double reference_energy(const Matrix &x, const Matrix &y, const ConvMask &h,
                        float lambda, const float *weights, bool mirror);

// The decision rule written out plainly, drawing from rand() in the same
// way (at most one number per pixel).
float reference_decide(float v0, double z, double a);

struct Terms {
    double z, a;
    double scale;  // magnitude Z's rounding is measured against
};

// Z and a of pixel (i, j) of x, every access through the mapping, sums in
// double.
Terms reference_terms(const Matrix &x, const Matrix &rhs, const Weights &t, float lambda,
                      const float *W, bool mirror, int i, int j);

// One plain sweep: columns outer, rows inner, in place.
void reference_sweep(const ChannelSolver &s);

