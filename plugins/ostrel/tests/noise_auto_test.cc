// The noise level estimate and the calibrated weight rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "testutil.h"

namespace {

// A smooth photo-like channel (the test photo blurred) plus seeded Gaussian
// noise of standard deviation sigma, not rounded.
OwnedMatrix noisy_channel(int w, int h, double sigma, unsigned seed)
{
    OwnedMatrix orig = test_photo_channel(w, h, 1, seed);
    ConvMask disc;
    convmask_disc(&disc, 3.0f);
    OwnedMatrix out = reference_convolve(orig.m, disc, true);
    convmask_destroy(&disc);
    std::mt19937 gen(seed);
    std::normal_distribution<double> n(0.0, 1.0);
    for (size_t k = 0; k < out.size(); k++)
        out.m.data[k] += (float)(sigma * n(gen));
    return out;
}

TEST(NoiseLevel, FindsTheAddedNoiseOnAPhoto)
{
    for (double sigma : { 1.0, 2.0, 4.0, 8.0 }) {
        OwnedMatrix ch = noisy_channel(200, 160, sigma, 9);
        double level = refocus_noise_level(&ch.m);
        EXPECT_NEAR(level, sigma, 0.12 * sigma) << "sigma " << sigma;
    }
    // Without noise only the photo's own finest detail remains.
    OwnedMatrix clean = noisy_channel(200, 160, 0.0, 9);
    EXPECT_LT(refocus_noise_level(&clean.m), 0.3);
}

// Whole-number samples (bytes) put the details on a grid of 0.5; the
// estimate still follows the noise smoothly instead of jumping from grid
// value to grid value.  Rounding adds its own noise of variance 1/12; below
// a level of 1 the estimate reads up to 0.2 high (the rule is calibrated
// on the estimate itself, so a steady bias does no harm).
TEST(NoiseLevel, FollowsSmallNoiseOnWholeNumberSamples)
{
    double prev = 0.0;
    for (double sigma : { 0.6, 0.8, 1.0, 1.2, 1.5, 2.0 }) {
        OwnedMatrix ch = noisy_channel(240, 200, sigma, 11);
        for (size_t k = 0; k < ch.size(); k++)
            ch.m.data[k] = std::floor(ch.m.data[k] + 0.5f);
        double level = refocus_noise_level(&ch.m);
        double expect = std::sqrt(sigma * sigma + 1.0 / 12.0);
        EXPECT_NEAR(level, expect, std::max(0.2, 0.12 * expect)) << "sigma " << sigma;
        EXPECT_GT(level, prev + 0.05) << "sigma " << sigma;
        prev = level;
    }
}

// A few wild samples (dead pixels, NaN) hardly move a median.
TEST(NoiseLevel, RobustToOutliersAndNonFiniteSamples)
{
    OwnedMatrix ch = noisy_channel(120, 100, 2.0, 4);
    double base = refocus_noise_level(&ch.m);
    for (size_t k = 0; k < ch.size(); k += 97)
        ch.m.data[k] = (k / 97) % 3 == 0 ? NAN : (k / 97) % 3 == 1 ? 255.0f : 0.0f;
    double level = refocus_noise_level(&ch.m);
    EXPECT_TRUE(std::isfinite(level));
    EXPECT_NEAR(level, base, 0.1 * base);
}

TEST(NoiseLevel, DegenerateChannelsGiveZero)
{
    OwnedMatrix one(1, 50, 7.0f), flat(30, 20, 100.0f), nan(4, 4, NAN);
    EXPECT_EQ(refocus_noise_level(&one.m), 0.0);
    EXPECT_EQ(refocus_noise_level(&flat.m), 0.0);
    EXPECT_EQ(refocus_noise_level(&nan.m), 0.0);
    EXPECT_EQ(refocus_noise_level(nullptr), 0.0);
}

// More noise never asks for less smoothing, for every blur the rule knows;
// odd inputs still give a usable weight.
TEST(NoiseWeight, GrowsWithTheLevelAndStaysUsable)
{
    for (double radius : { 0.0, 2.0, 3.5, 6.0, 12.0 }) {
        RefocusParams p;
        refocus_params_default(&p);
        p.radius = radius;
        double prev = 0.0;
        for (double sigma = 0.0; sigma <= 12.0; sigma += 0.25) {
            double w = refocus_noise_weight(&p, sigma);
            ASSERT_TRUE(std::isfinite(w) && w > 0.0) << radius << " " << sigma;
            EXPECT_GE(w, prev * (1 - 1e-6)) << "radius " << radius << " sigma " << sigma;
            prev = w;
            p.lambda = w;
            EXPECT_EQ(refocus_check(&p, 0, 0, 1, nullptr, 0), 0);
        }
        for (double odd : { -1.0, (double)NAN, (double)INFINITY, 1e300 }) {
            double w = refocus_noise_weight(&p, odd);
            EXPECT_TRUE(std::isfinite(w) && w > 0.0) << odd;
        }
        EXPECT_EQ(refocus_noise_weight(&p, -1.0), refocus_noise_weight(&p, 0.0));
    }
}

// The image's level is the mean of its channels', and the chosen weight
// lands in the parameters; the channels are left alone.
TEST(NoiseWeight, AutoForAnImageSetsTheParameter)
{
    OwnedMatrix r = noisy_channel(64, 48, 1.0, 1), g = noisy_channel(64, 48, 3.0, 2),
                b = noisy_channel(64, 48, 5.0, 3);
    OwnedMatrix before = g;
    const Matrix *chans[3] = { &r.m, &g.m, &b.m };
    RefocusParams p;
    refocus_params_default(&p);
    double levels[3];
    double w = refocus_auto_noise(&p, chans, 3, levels);
    EXPECT_EQ(p.lambda, w);
    EXPECT_EQ(levels[1], refocus_noise_level(&g.m));
    EXPECT_EQ(w, refocus_noise_weight(&p, (levels[0] + levels[1] + levels[2]) / 3));
    for (size_t k = 0; k < g.size(); k++)
        ASSERT_EQ(g.m.data[k], before.m.data[k]);
}

}  // namespace
