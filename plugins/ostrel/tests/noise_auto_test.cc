// The noise and detail level estimates and the calibrated weight rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "testutil.h"

// The rule's table, to check the rule against its cells.
#include "noise_rule_table.h"

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

// Noise alone: a flat grey with seeded Gaussian noise.
OwnedMatrix flat_noise(int w, int h, double sigma, unsigned seed)
{
    OwnedMatrix out(w, h, 128.0f);
    std::mt19937 gen(seed);
    std::normal_distribution<double> n(0.0, sigma);
    for (size_t k = 0; k < out.size(); k++)
        out.m.data[k] += (float)n(gen);
    return out;
}

// Stripes two pixels wide of height a: every 4 x 4 block has a left-right
// detail of (8a - 0) / 4 = 2a and no top-bottom detail, so the root mean
// square of the two is a * sqrt(2), whichever way the stripes run.
TEST(DetailLevel, MeasuresKnownStructure)
{
    for (float a : { 1.0f, 10.0f, 100.0f }) {
        OwnedMatrix cols(64, 40), rows(40, 64);
        for (int y = 0; y < 40; y++)
            for (int x = 0; x < 64; x++)
                cols.at(x, y) = rows.at(y, x) = (x % 4) < 2 ? a : 0.0f;
        EXPECT_NEAR(refocus_detail_level(&cols.m, 0.0), a * std::sqrt(2.0), 1e-4 * a) << a;
        EXPECT_NEAR(refocus_detail_level(&rows.m, 0.0), a * std::sqrt(2.0), 1e-4 * a) << a;
    }
}

// The noise's own share comes off: noise alone leaves (almost) no detail,
// and a photo's detail hardly moves when noise is added.
TEST(DetailLevel, DiscountsTheNoise)
{
    for (double sigma : { 1.0, 4.0, 8.0 }) {
        OwnedMatrix noise = flat_noise(160, 160, sigma, 5);
        double level = refocus_noise_level(&noise.m);
        EXPECT_LT(refocus_detail_level(&noise.m, level), 0.3 * sigma) << sigma;
        // Without the discount the noise would count in full.
        EXPECT_NEAR(refocus_detail_level(&noise.m, 0.0), sigma, 0.1 * sigma) << sigma;
    }
    OwnedMatrix clean = noisy_channel(200, 160, 0.0, 9);
    double base = refocus_detail_level(&clean.m, refocus_noise_level(&clean.m));
    ASSERT_GT(base, 2.0);
    for (double sigma : { 2.0, 4.0 }) {
        OwnedMatrix ch = noisy_channel(200, 160, sigma, 9);
        double detail = refocus_detail_level(&ch.m, refocus_noise_level(&ch.m));
        EXPECT_NEAR(detail, base, 0.15 * base + 0.1 * sigma) << "sigma " << sigma;
    }
}

TEST(DetailLevel, DegenerateChannelsGiveZero)
{
    OwnedMatrix small(3, 50, 7.0f), flat(30, 20, 100.0f), nan(8, 8, NAN);
    EXPECT_EQ(refocus_detail_level(&small.m, 0.0), 0.0);
    EXPECT_EQ(refocus_detail_level(&flat.m, 0.0), 0.0);
    EXPECT_EQ(refocus_detail_level(&nan.m, 1.0), 0.0);
    EXPECT_EQ(refocus_detail_level(nullptr, 1.0), 0.0);
    // More noise claimed than there is detail: none left, not a NaN.
    OwnedMatrix ch = noisy_channel(64, 64, 1.0, 2);
    EXPECT_EQ(refocus_detail_level(&ch.m, 1000.0), 0.0);
    EXPECT_TRUE(std::isfinite(refocus_detail_level(&ch.m, (double)NAN)));
    // A few non-finite samples leave the rest measured.
    double base = refocus_detail_level(&ch.m, 1.0);
    for (size_t k = 0; k < ch.size(); k += 211)
        ch.m.data[k] = k % 2 ? NAN : INFINITY;
    double detail = refocus_detail_level(&ch.m, 1.0);
    EXPECT_NEAR(detail, base, 0.1 * base);
}

// More noise never asks for less smoothing, for every blur the rule knows
// and every detail level; odd inputs still give a usable weight.
TEST(NoiseWeight, GrowsWithTheLevelAndStaysUsable)
{
    for (double radius : { 0.0, 2.0, 3.5, 6.0, 12.0 }) {
        RefocusParams p;
        refocus_params_default(&p);
        p.radius = radius;
        for (double detail : { -1.0, 0.0, 3.0, (double)NOISE_RULE_DETAIL_REF, 40.0 }) {
            double prev = 0.0;
            for (double sigma = 0.0; sigma <= 12.0; sigma += 0.25) {
                double w = refocus_noise_weight(&p, sigma, detail);
                ASSERT_TRUE(std::isfinite(w) && w > 0.0) << radius << " " << sigma;
                EXPECT_GE(w, prev * (1 - 1e-6))
                    << "radius " << radius << " detail " << detail << " sigma " << sigma;
                prev = w;
                p.lambda = w;
                EXPECT_EQ(refocus_check(&p, 0, 0, 1, nullptr, 0), 0);
            }
        }
        for (double odd : { -1.0, (double)NAN, (double)INFINITY, 1e300 }) {
            double w = refocus_noise_weight(&p, odd, odd);
            EXPECT_TRUE(std::isfinite(w) && w > 0.0) << odd;
        }
        EXPECT_EQ(refocus_noise_weight(&p, -1.0, 5.0), refocus_noise_weight(&p, 0.0, 5.0));
        // Detail not measured: the table alone, as for the typical detail.
        EXPECT_EQ(refocus_noise_weight(&p, 2.0, (double)NAN),
                  refocus_noise_weight(&p, 2.0, -1.0));
        EXPECT_NEAR(refocus_noise_weight(&p, 2.0, -1.0),
                    refocus_noise_weight(&p, 2.0, NOISE_RULE_DETAIL_REF),
                    1e-6 * refocus_noise_weight(&p, 2.0, -1.0));
    }
}

// A smoother photograph with the same noise gets at least the weight of a
// busier one: it loses little detail to the smoothing and gains from it.
TEST(NoiseWeight, LessDetailNeverGetsLessWeight)
{
    for (double radius : { 2.0, 4.0, 6.0 }) {
        RefocusParams p;
        refocus_params_default(&p);
        p.radius = radius;
        for (double sigma : { 0.5, 1.0, 2.0, 4.0, 8.0 }) {
            double prev = HUGE_VAL;
            for (double detail = 0.0; detail <= 80.0; detail += 0.5) {
                double w = refocus_noise_weight(&p, sigma, detail);
                EXPECT_LE(w, prev * (1 + 1e-6)) << radius << " " << sigma << " " << detail;
                prev = w;
            }
            EXPECT_GE(refocus_noise_weight(&p, sigma, 1.0),
                      refocus_noise_weight(&p, sigma, 60.0));
        }
    }
    // The same through the estimates: the blurred test photo at full and
    // at a quarter of its contrast, with the same noise.
    OwnedMatrix busy = noisy_channel(160, 160, 0.0, 3), smooth = busy;
    std::mt19937 gen(8);
    std::normal_distribution<double> n(0.0, 3.0);
    for (size_t k = 0; k < smooth.size(); k++) {
        float e = (float)n(gen);
        smooth.m.data[k] = 128.0f + 0.25f * (smooth.m.data[k] - 128.0f) + e;
        busy.m.data[k] += e;
    }
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 3.0;
    const Matrix *s1[1] = { &smooth.m }, *b1[1] = { &busy.m };
    double ds, db;
    double ws = refocus_auto_noise(&p, s1, 1, nullptr, &ds);
    double wb = refocus_auto_noise(&p, b1, 1, nullptr, &db);
    EXPECT_LT(ds, db);
    EXPECT_GE(ws, wb) << "detail " << ds << " and " << db;
}

// A weight within the range the rule keeps to.
static double clamp_weight(double w)
{
    return std::min(std::max(w, (double)NOISE_RULE_WEIGHT_MIN), (double)NOISE_RULE_WEIGHT_MAX);
}

// Default parameters with the mask radius of the table's row ri; false
// when the mask cannot have that radius.
static bool params_at_table_radius(int ri, RefocusParams *p)
{
    refocus_params_default(p);
    p->radius = noise_rule_radii[ri];
    return refocus_mask_radius(p) == (long)noise_rule_radii[ri];
}

// On the table's nodes the rule gives the table's weights (for the typical
// detail); between them it interpolates the logarithm of the weight, so
// halfway between two cells it gives their geometric mean.
TEST(NoiseWeight, InterpolatesBetweenTableCells)
{
    const double ref = NOISE_RULE_DETAIL_REF;
    int rows = 0;
    for (int ri = 0; ri < NOISE_RULE_RADII; ri++) {
        RefocusParams p;
        if (!params_at_table_radius(ri, &p))
            continue;
        rows++;
        for (int li = 0; li < NOISE_RULE_LEVELS; li++) {
            double w = refocus_noise_weight(&p, noise_rule_levels[li], ref);
            EXPECT_NEAR(w, clamp_weight(noise_rule_weights[ri][li]), 1e-4 * w) << ri << " " << li;
            if (li + 1 < NOISE_RULE_LEVELS) {
                double mid = 0.5 * (noise_rule_levels[li] + noise_rule_levels[li + 1]);
                double expect = clamp_weight(
                    std::sqrt((double)noise_rule_weights[ri][li] * noise_rule_weights[ri][li + 1]));
                EXPECT_NEAR(refocus_noise_weight(&p, mid, ref), expect, 1e-4 * expect)
                    << ri << " " << li;
            }
        }
        // Beyond the last level the last column holds.
        EXPECT_NEAR(refocus_noise_weight(&p, 50.0, ref),
                    clamp_weight(noise_rule_weights[ri][NOISE_RULE_LEVELS - 1]), 1e-3);
    }
    EXPECT_GE(rows, NOISE_RULE_RADII - 1);
}

// The detail correction is a power of the typical detail over the
// photo's, and below the knee a further power of the knee over the
// photo's detail: on every table node, for details on both sides of the
// knee and of the reference, and below the smallest detail it measures.
TEST(NoiseWeight, ScalesWithPowersOfTheDetail)
{
    const double ref = NOISE_RULE_DETAIL_REF, knee = NOISE_RULE_DETAIL_KNEE;
    ASSERT_GT(ref, knee);
    ASSERT_GE(NOISE_RULE_DETAIL_POWER, 0.0);
    ASSERT_GE(NOISE_RULE_DETAIL_KNEE_POWER, 0.0);
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 4.0;
    int ri = 0;
    while (ri + 1 < NOISE_RULE_RADII && noise_rule_radii[ri] != 4.0f)
        ri++;
    ASSERT_EQ(noise_rule_radii[ri], 4.0f);
    for (int li = 0; li < NOISE_RULE_LEVELS; li++) {
        double sigma = noise_rule_levels[li], base = noise_rule_weights[ri][li];
        for (double detail : { 0.1, 0.5 * knee, 0.9 * knee, knee, 0.5 * (knee + ref), ref,
                               2.0 * ref, 5.0 * ref }) {
            double d = std::max(detail, (double)NOISE_RULE_DETAIL_MIN);
            double factor = std::pow(ref / d, (double)NOISE_RULE_DETAIL_POWER) *
                            std::pow(std::max(knee / d, 1.0), (double)NOISE_RULE_DETAIL_KNEE_POWER);
            double expect = std::min(std::max(base * factor, (double)NOISE_RULE_WEIGHT_MIN),
                                     (double)NOISE_RULE_WEIGHT_MAX);
            EXPECT_NEAR(refocus_noise_weight(&p, sigma, detail), expect, 1e-4 * expect)
                << "level " << li << " detail " << detail;
        }
    }
}

// What the two powers mean for a photograph, away from the weight bounds:
// a busier photograph than the reference gets less than the table, a
// smoother one more, and below the knee the weight climbs faster as the
// detail falls (a hazy or cell-culture picture) than above it.
TEST(NoiseWeight, SmootherPicturesClimbFasterBelowTheKnee)
{
    const double ref = NOISE_RULE_DETAIL_REF, knee = NOISE_RULE_DETAIL_KNEE;
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 4.0;
    for (double sigma : { 1.0, 2.0 }) {
        double table = refocus_noise_weight(&p, sigma, -1.0);
        ASSERT_GT(table, 4.0 * NOISE_RULE_WEIGHT_MIN) << sigma;
        EXPECT_LT(refocus_noise_weight(&p, sigma, 1.5 * ref), table) << sigma;
        EXPECT_GT(refocus_noise_weight(&p, sigma, 0.8 * ref), table) << sigma;
        // Log-log slopes over a factor 1.25 of detail on either side of the knee.
        auto slope = [&](double hi) {
            double w_hi = refocus_noise_weight(&p, sigma, hi);
            double w_lo = refocus_noise_weight(&p, sigma, hi / 1.25);
            EXPECT_LT(w_lo, 0.5 * NOISE_RULE_WEIGHT_MAX) << "sigma " << sigma << " detail " << hi;
            return std::log(w_lo / w_hi) / std::log(1.25);
        };
        double above = slope(knee * 1.25 * 1.25), below = slope(knee);
        EXPECT_NEAR(above, NOISE_RULE_DETAIL_POWER, 1e-6) << sigma;
        EXPECT_NEAR(below, NOISE_RULE_DETAIL_POWER + NOISE_RULE_DETAIL_KNEE_POWER, 1e-6) << sigma;
    }
}

// The image's level is the mean of its channels', the pilot is the
// table's weight for it, the trials run on the green channel, and the
// chosen weight lands in the parameters; the channels are left alone.
TEST(NoiseWeight, AutoForAnImageSetsTheParameter)
{
    OwnedMatrix r = noisy_channel(96, 80, 1.0, 1), g = noisy_channel(96, 80, 3.0, 2),
                b = noisy_channel(96, 80, 5.0, 3);
    OwnedMatrix before_r = r, before_g = g, before_b = b;
    const Matrix *chans[3] = { &r.m, &g.m, &b.m };
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 3.0;
    double levels[3], detail;
    double w = refocus_auto_noise(&p, chans, 3, levels, &detail);
    EXPECT_EQ(p.lambda, w);
    EXPECT_EQ(levels[1], refocus_noise_level(&g.m));
    double expect_detail = (refocus_detail_level(&r.m, levels[0]) +
                            refocus_detail_level(&g.m, levels[1]) +
                            refocus_detail_level(&b.m, levels[2])) / 3;
    EXPECT_DOUBLE_EQ(detail, expect_detail);
    double level = (levels[0] + levels[1] + levels[2]) / 3;
    double pilot = refocus_noise_weight(&p, level, detail);
    double errors[NOISE_RULE_TRIALS];
    ASSERT_GT(refocus_noise_trials(&p, &g.m, levels[1], pilot, noise_rule_trial_weights,
                                   NOISE_RULE_TRIALS, NOISE_TRIAL_ITERATIONS, errors), 0);
    EXPECT_EQ(w, refocus_noise_trial_weight(&p, level, pilot, errors));
    for (size_t k = 0; k < g.size(); k++) {
        ASSERT_EQ(r.m.data[k], before_r.m.data[k]);
        ASSERT_EQ(g.m.data[k], before_g.m.data[k]);
        ASSERT_EQ(b.m.data[k], before_b.m.data[k]);
    }
}

// Empty or unreadable channels give a clear outcome: level and detail 0 and
// the weight for a clean, smooth picture, never a NaN in the parameters.
TEST(NoiseWeight, AutoOnUnusableChannelsGivesAUsableWeight)
{
    OwnedMatrix nan(16, 16, NAN), empty;
    const Matrix *chans[3] = { &nan.m, &empty.m, &nan.m };
    RefocusParams p;
    refocus_params_default(&p);
    double levels[3], detail = -1.0;
    double w = refocus_auto_noise(&p, chans, 3, levels, &detail);
    EXPECT_EQ(levels[0], 0.0);
    EXPECT_EQ(levels[1], 0.0);
    EXPECT_EQ(detail, 0.0);
    EXPECT_EQ(w, refocus_noise_weight(&p, 0.0, 0.0));
    EXPECT_EQ(p.lambda, w);
    EXPECT_EQ(refocus_check(&p, 16, 16, 1, nullptr, 0), 0);
    char line[200];
    refocus_describe_auto_noise(line, sizeof line, levels, 3, detail, w);
    EXPECT_NE(std::strstr(line, "detail 0.00; noise weight chosen: "), nullptr) << line;
}

// Byte-valued test photo channel blurred with the disc of radius and given
// seeded noise of standard deviation sigma: what the trials meet.
OwnedMatrix blurred_photo(int w, int h, float radius, double sigma, unsigned seed)
{
    OwnedMatrix orig = test_photo_channel(w, h, 1, seed);
    ConvMask disc;
    convmask_disc(&disc, radius);
    OwnedMatrix out = reference_convolve(orig.m, disc, true);
    convmask_destroy(&disc);
    std::mt19937 gen(seed + 100);
    std::normal_distribution<double> n(0.0, sigma);
    for (size_t k = 0; k < out.size(); k++)
        out.m.data[k] = std::min(255.0f, std::max(0.0f, std::floor(out.m.data[k] + (float)n(gen) + 0.5f)));
    return out;
}

// The trials leave the channel alone, give the same errors for the same
// picture whatever state the solver's sequence was in, and leave that
// sequence as a fresh process has it (so a run after them starts where it
// would without them).
TEST(NoiseTrials, DeterministicAndWithoutSideEffects)
{
    OwnedMatrix ch = blurred_photo(150, 130, 3.0f, 2.0, 5), before = ch;
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 3.0;
    const double weights[3] = { 300.0, 3000.0, 30000.0 };
    double e1[3], e2[3];
    refocus_srand(77);
    ASSERT_EQ(refocus_noise_trials(&p, &ch.m, 2.0, 2000.0, weights, 3, 5, e1), 4);
    int next = refocus_rand();
    refocus_srand(1);
    EXPECT_EQ(next, refocus_rand());
    refocus_srand(12345);
    for (int k = 0; k < 1000; k++)
        refocus_rand();
    ASSERT_EQ(refocus_noise_trials(&p, &ch.m, 2.0, 2000.0, weights, 3, 5, e2), 4);
    for (int k = 0; k < 3; k++) {
        EXPECT_TRUE(std::isfinite(e1[k]) && e1[k] > 0.0) << k;
        EXPECT_EQ(e1[k], e2[k]) << k;
    }
    for (size_t k = 0; k < ch.size(); k++)
        ASSERT_EQ(ch.m.data[k], before.m.data[k]);
    // The pilot and the noise level matter.
    double e3[3], e4[3];
    ASSERT_EQ(refocus_noise_trials(&p, &ch.m, 2.0, 0.0, weights, 3, 5, e3), 4);
    ASSERT_EQ(refocus_noise_trials(&p, &ch.m, 6.0, 2000.0, weights, 3, 5, e4), 4);
    EXPECT_NE(e3[1], e1[1]);
    EXPECT_GT(e4[0], e1[0]);
}

// Tiles: four on a photograph, fewer where a side holds only one, the whole
// channel when it is smaller than a tile; a channel without room for an
// interior of 8 x 8 inside the margins, with non-finite samples, or
// parameters that cannot be used gives 0 and leaves the errors alone.
TEST(NoiseTrials, TileCountsAndRefusals)
{
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 2.0;
    const int margin = 2 * 2 + 2, side = NOISE_TRIAL_SIDE + 2 * margin;
    const double weights[2] = { 1000.0, 10000.0 };
    struct {
        int w, h, tiles;
    } cases[] = { { 2 * side, 2 * side, 4 }, { 3 * side, side, 2 }, { side - 1, 3 * side, 2 },
                  { side, side, 1 },         { 2 * margin + 8, 2 * margin + 8, 1 },
                  { 2 * margin + 7, 100, 0 }, { 100, 2 * margin + 7, 0 }, { 1, 1, 0 } };
    for (const auto &c : cases) {
        OwnedMatrix ch = blurred_photo(c.w, c.h, 2.0f, 1.0, 3);
        double e[2] = { -5.0, -5.0 };
        EXPECT_EQ(refocus_noise_trials(&p, &ch.m, 1.0, 0.0, weights, 2, 2, e), c.tiles)
            << c.w << " x " << c.h;
        if (c.tiles == 0)
            EXPECT_EQ(e[0], -5.0);
        else
            EXPECT_GT(e[0], 0.0);
    }
    OwnedMatrix ch = blurred_photo(120, 120, 2.0f, 1.0, 3);
    double e[2] = { -5.0, -5.0 };
    const double bad[2] = { 1000.0, (double)NAN };
    EXPECT_EQ(refocus_noise_trials(&p, &ch.m, 1.0, 0.0, bad, 2, 2, e), 0);
    EXPECT_EQ(refocus_noise_trials(&p, &ch.m, 1.0, (double)NAN, weights, 0, 2, e), 0);
    EXPECT_EQ(refocus_noise_trials(nullptr, &ch.m, 1.0, 0.0, weights, 2, 2, e), 0);
    RefocusParams huge = p;
    huge.radius = 1e9;
    EXPECT_EQ(refocus_noise_trials(&huge, &ch.m, 1.0, 0.0, weights, 2, 2, e), 0);
    ch.m.data[500] = NAN;
    EXPECT_EQ(refocus_noise_trials(&p, &ch.m, 1.0, 0.0, weights, 2, 2, e), 0);
    EXPECT_EQ(e[0], -5.0);
    EXPECT_EQ(e[1], -5.0);
}

// A noisier picture makes the trials' small weights worse against their
// larger ones: the noise they add is the level found.
TEST(NoiseTrials, MoreNoiseFavoursLargerWeights)
{
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 3.0;
    auto best = [&](double sigma) {
        OwnedMatrix ch = blurred_photo(200, 200, 3.0f, sigma, 7);
        double level = refocus_noise_level(&ch.m);
        double e[NOISE_RULE_TRIALS];
        EXPECT_EQ(refocus_noise_trials(&p, &ch.m, level, 0.0, noise_rule_trial_weights,
                                       NOISE_RULE_TRIALS, 10, e), 4);
        return (int)(std::min_element(e, e + NOISE_RULE_TRIALS) - e);
    };
    int clean = best(0.5), noisy = best(8.0);
    EXPECT_LT(clean, noisy);
}

// The trial stage's arithmetic: a clear smallest error at a trial weight is
// that weight, combined with the pilot in the calibrated shares and times
// the factor of the table node; unusable errors give the pilot, an unusable
// pilot the table's weight.
TEST(NoiseWeight, TrialStageCombinesPilotAndTrials)
{
    for (int ri = 0; ri < NOISE_RULE_RADII; ri++) {
        RefocusParams p;
        if (!params_at_table_radius(ri, &p))
            continue;
        for (int li = 0; li < NOISE_RULE_LEVELS; li++)
            for (int best = 1; best + 1 < NOISE_RULE_TRIALS; best += 3) {
                double errors[NOISE_RULE_TRIALS];
                for (int k = 0; k < NOISE_RULE_TRIALS; k++)
                    errors[k] = 10.0 * std::exp(0.3 * std::abs(k - best));
                double pilot = 2000.0, s = NOISE_RULE_TRIAL_SHARE;
                double expect = clamp_weight(std::pow(pilot, 1.0 - s) *
                                             std::pow(noise_rule_trial_weights[best], s) *
                                             noise_rule_trial_factors[ri][li]);
                double w = refocus_noise_trial_weight(&p, noise_rule_levels[li], pilot, errors);
                EXPECT_NEAR(w, expect, 1e-4 * expect) << ri << " " << li << " " << best;
            }
    }
    RefocusParams p;
    refocus_params_default(&p);
    double nan[NOISE_RULE_TRIALS];
    std::fill(nan, nan + NOISE_RULE_TRIALS, (double)NAN);
    EXPECT_EQ(refocus_noise_trial_weight(&p, 2.0, 1234.0, nullptr), 1234.0);
    EXPECT_EQ(refocus_noise_trial_weight(&p, 2.0, 1234.0, nan), 1234.0);
    EXPECT_EQ(refocus_noise_trial_weight(&p, 2.0, (double)NAN, nullptr),
              refocus_noise_weight(&p, 2.0, -1.0));
}

// The trials' best weight: a trial weight whose error is smallest with
// equal neighbours is that weight; otherwise the vertex of the parabola in
// (log weight, log error) through it and its neighbours, and at either end
// of the trials the end weight; no usable error gives 0.
TEST(NoiseTrials, BestWeightIsTheErrorsMinimum)
{
    const double *weights;
    int n = refocus_noise_trial_weights(&weights);
    ASSERT_EQ(n, NOISE_RULE_TRIALS);
    ASSERT_GE(n, 3);
    for (int k = 1; k < n; k++)
        ASSERT_GT(weights[k], weights[k - 1]);
    std::vector<double> e(n);
    for (double centre : { 1.3, 2.0, 4.75, n - 2.2 }) {
        // log error a parabola in log weight with its vertex centre steps
        // above the first weight (the trials are spaced evenly in the
        // logarithm, up to the rounding of the weights).
        double step = std::log(weights[1] / weights[0]);
        double vertex = std::log(weights[0]) + centre * step;
        for (int k = 0; k < n; k++) {
            double u = (std::log(weights[k]) - vertex) / step;
            e[k] = std::exp(0.2 * u * u);
        }
        double expect = std::exp(vertex);
        EXPECT_NEAR(refocus_noise_trials_best(e.data()), expect, 5e-3 * expect) << centre;
    }
    for (int k = 0; k < n; k++)
        e[k] = 5.0 + k;
    EXPECT_NEAR(refocus_noise_trials_best(e.data()), weights[0], 1e-9 * weights[0]);
    for (int k = 0; k < n; k++)
        e[k] = 50.0 - k;
    EXPECT_NEAR(refocus_noise_trials_best(e.data()), weights[n - 1], 1e-9 * weights[n - 1]);
    e[n - 1] = NAN;
    e[n - 2] = -1.0;
    EXPECT_NEAR(refocus_noise_trials_best(e.data()), weights[n - 3], 1e-9 * weights[n - 3]);
    std::fill(e.begin(), e.end(), (double)NAN);
    EXPECT_EQ(refocus_noise_trials_best(e.data()), 0.0);
    EXPECT_EQ(refocus_noise_trials_best(nullptr), 0.0);
}

// The whole rule on photographs: more noise on the same picture never gets
// less weight, and the same picture always gets the same weight.
TEST(NoiseWeight, AutoFollowsTheNoiseAndRepeats)
{
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 3.0;
    double prev = 0.0;
    for (double sigma : { 0.0, 2.0, 8.0 }) {
        OwnedMatrix ch = blurred_photo(200, 180, 3.0f, sigma, 4);
        const Matrix *c1[1] = { &ch.m };
        double w = refocus_auto_noise(&p, c1, 1, nullptr, nullptr);
        EXPECT_GE(w, prev) << "sigma " << sigma;
        refocus_srand(99);
        EXPECT_EQ(refocus_auto_noise(&p, c1, 1, nullptr, nullptr), w) << "sigma " << sigma;
        prev = w;
    }
}

}  // namespace
