// Seeded test images for the camera-noise tests.
#ifndef VAREKNOISE2_TEST_IMAGES_H
#define VAREKNOISE2_TEST_IMAGES_H

#include <cstdint>
#include <vector>

namespace testimg {

// A small deterministic generator (the same sequence on every host).
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed * 2862933555777941757ull + 3037000493ull) {}
    uint32_t next();
    double uniform();   // [0, 1)
    double gaussian();  // mean 0, deviation 1
};

// Kinds of content: 0 noise, 1 flat, 2 step edge, 3 smooth ramp with noise,
// 4 impulses on flat, 5 blocks of noise and flat areas.
std::vector<unsigned char> make(int kind, int width, int height, int bpp, uint64_t seed);

// Adds Gaussian noise of the given deviation (byte scale) to every colour
// sample, clamped to 0..255.
void add_noise(std::vector<unsigned char> &img, int bpp, double sigma, uint64_t seed);

// Peak signal-to-noise ratio over the colour samples, in dB.
double psnr(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b, int bpp);

}  // namespace testimg

#endif
