// Mask filtering of matrices, the convolution table and the decision rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "cpu_forms.h"
#include "sweep_internal.h"
#include "testutil.h"

namespace {

OwnedMatrix reference_correlate(const Matrix &in, const ConvMask &mask, bool mirror)
{
    return reference_filter(in, mask, mirror, true);
}

struct FilterCase {
    int w, h;
    int kind;  // 0 disc 2.4, 1 gauss 1 (separable path), 2 motion 4 at 30
    bool mirror;
};

class MaskFiltering : public ::testing::TestWithParam<FilterCase> {};

// Convolution and correlation against a per-element reference, including
// images smaller than the mask (repeated reflection or wrap).
TEST_P(MaskFiltering, MatchesReference)
{
    CpuFormGuard guard;
    for (CpuForm form : runnable_cpu_forms()) {
        ASSERT_EQ(0, cpu_form_force(form));
        SCOPED_TRACE(cpu_form_name(form));
        const FilterCase &c = GetParam();
        ConvMask mask;
        if (c.kind == 0)
            convmask_disc(&mask, 2.4f);
        else if (c.kind == 1)
            convmask_gauss(&mask, 1.0f);
        else
            convmask_motion(&mask, 4.0f, 30.0f);
        OwnedMatrix in = random_matrix(c.w, c.h, 21);
        OwnedMatrix conv(c.w, c.h, -999.0f);
        if (c.mirror)
            matrix_convolve_mirror(&conv.m, &in.m, &mask);
        else
            matrix_convolve_periodic(&conv.m, &in.m, &mask);
        Matrix corr;
        if (c.mirror)
            matrix_correlate_mirror(&corr, &mask, &in.m);
        else
            matrix_correlate_periodic(&corr, &mask, &in.m);
        OwnedMatrix rconv = reference_convolve(in.m, mask, c.mirror);
        OwnedMatrix rcorr = reference_correlate(in.m, mask, c.mirror);
        ASSERT_EQ(corr.width, c.w);
        ASSERT_EQ(corr.height, c.h);
        for (size_t k = 0; k < in.size(); k++) {
            ASSERT_NEAR(conv.m.data[k], rconv.m.data[k], 2e-4) << k;
            ASSERT_NEAR(corr.data[k], rcorr.m.data[k], 2e-4) << k;
        }
        matrix_destroy(&corr);
        convmask_destroy(&mask);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, MaskFiltering,
                         ::testing::Values(FilterCase{ 31, 17, 0, true }, FilterCase{ 31, 17, 0, false },
                                           FilterCase{ 29, 23, 1, true }, FilterCase{ 29, 23, 1, false },
                                           FilterCase{ 20, 26, 2, true }, FilterCase{ 20, 26, 2, false },
                                           FilterCase{ 4, 3, 0, true }, FilterCase{ 3, 5, 1, false },
                                           FilterCase{ 2, 2, 2, true }, FilterCase{ 1, 6, 1, true }));

// A(x, y) = -sum h(u, v) h(u + x, v + y), summed plainly over the mask.
double reference_table(const ConvMask &h, int x, int y)
{
    int r = h.radius;
    double s = 0;
    for (int v = -r; v <= r; v++)
        for (int u = -r; u <= r; u++)
            if (std::abs(u + x) <= r && std::abs(v + y) <= r)
                s += (double)convmask_get(&h, u, v) * convmask_get(&h, u + x, v + y);
    return -s;
}

TEST(ConvolutionTable, BoxMask)
{
    ConvMask box;
    convmask_create(&box, 1);
    for (int k = 0; k < 9; k++)
        box.data[k] = 1.0f / 9;
    Weights t;
    weights_create(&t, &box);
    EXPECT_EQ(t.radius, 2);
    EXPECT_EQ(t.width, 5);
    EXPECT_EQ(t.center, 12);
    EXPECT_EQ(t.rxnz, 2);
    EXPECT_EQ(t.rynz, 2);
    EXPECT_NEAR(weights_get(&t, 0, 0), -1.0 / 9, 1e-7);
    for (int sx : { -2, 2 })
        for (int sy : { -2, 2 })
            EXPECT_NEAR(weights_get(&t, sx, sy), -1.0 / 81, 1e-8);
    EXPECT_NEAR(weights_get(&t, 1, 0), -6.0 / 81, 1e-8);
    weights_destroy(&t);
    convmask_destroy(&box);
}

TEST(ConvolutionTable, MatchesAutocorrelationForAsymmetricMasks)
{
    RefocusParams p;
    refocus_params_default(&p);
    struct {
        double radius, gauss, motion, angle;
    } cases[] = { { 2.3, 0, 0, 0 }, { 0, 1.0, 0, 0 }, { 0, 0, 4, 30 }, { 1.5, 0, 3, 200 } };
    for (auto c : cases) {
        p.radius = c.radius;
        p.gauss = c.gauss;
        p.motion = c.motion;
        p.mot_angle = c.angle;
        ConvMask h;
        refocus_build_mask(&h, &p);
        Weights t;
        weights_create(&t, &h);
        ASSERT_EQ(t.radius, 2 * h.radius);
        int rx = 0, ry = 0;
        for (int y = -t.radius; y <= t.radius; y++)
            for (int x = -t.radius; x <= t.radius; x++) {
                double a = reference_table(h, x, y);
                EXPECT_NEAR(weights_get(&t, x, y), a, 1e-7) << x << "," << y;
                EXPECT_EQ(weights_get(&t, x, y), weights_get(&t, -x, -y));
                if (std::fabs(a) > 1e-6) {
                    rx = std::max(rx, std::abs(x));
                    ry = std::max(ry, std::abs(y));
                }
            }
        EXPECT_EQ(t.rxnz, rx);
        EXPECT_EQ(t.rynz, ry);
        weights_destroy(&t);
        convmask_destroy(&h);
    }
}

TEST(ConvolutionTable, PrintLayout)
{
    ConvMask d;
    convmask_disc(&d, 1.0f);
    Weights t;
    weights_create(&t, &d);
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    weights_print(&t, f);
    fclose(f);
    std::istringstream in(std::string(buf, len));
    free(buf);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "WEIGHTS: (rxnz, rynz)=(2,2)");
    int rows = 0;
    while (std::getline(in, line)) {
        std::istringstream tokens(line);
        std::string tok;
        int count = 0;
        while (tokens >> tok) {
            EXPECT_NE(tok.find('e'), std::string::npos) << tok;
            count++;
        }
        EXPECT_EQ(count, 5);
        EXPECT_EQ(line.back(), ' ');
        rows++;
    }
    EXPECT_EQ(rows, 5);
    weights_destroy(&t);
    convmask_destroy(&d);
}

// Whether a call drew a random number: compare the next number with a
// fresh sequence from the same seed.
bool draws(float v0, float z, float a, float *out)
{
    refocus_srand(99);
    *out = channel_solver_decide(v0, z, a);
    int next = refocus_rand();
    refocus_srand(99);
    return next != refocus_rand();
}

TEST(Decision, Rules)
{
    struct Case {
        const char *name;
        float v0, z, a;
        float lo, hi;  // allowed results
        bool drawn;
    } cases[] = {
        { "top_stays_without_draw", 255, 10, -1, 255, 255, false },
        { "bottom_stays_without_draw", 0, -10, -1, 0, 0, false },
        { "exact_tie_unchanged", 12.3f, 0.5f, -1, 12.3f, 12.3f, false },
        { "exact_tie_negative", 40, -0.5f, -1, 40, 40, false },
        { "below_tie_unchanged", 7.6f, 0.3f, -1, 7.6f, 7.6f, false },
        { "rounds_then_moves_up", 12.3f, 0.75f, -1, 13, 13, true },
        { "one_level_down", 100, -0.75f, -1, 99, 99, true },
        { "bigger_step_up", 100, 3.2f, -1, 101, 104, true },
        { "bigger_step_down", 100, -3.2f, -1, 96, 99, true },
        { "clipped_at_top", 253.6f, 50, -1, 255, 255, true },
        { "clipped_at_bottom", 1, -50, -1, 0, 0, true },
        { "nan_unchanged", 77, NAN, -1, 77, 77, false },
        { "huge_ratio", 10, 1e30f, -1e-30f, 11, 255, true },
    };
    for (const Case &c : cases) {
        float out;
        bool drawn = draws(c.v0, c.z, c.a, &out);
        EXPECT_GE(out, c.lo) << c.name;
        EXPECT_LE(out, c.hi) << c.name;
        EXPECT_EQ(drawn, c.drawn) << c.name;
        if (c.lo != c.v0 || c.hi != c.v0) {
            EXPECT_EQ(out, std::floor(out)) << c.name;
        }
    }
}

// The step is uniform over 1..m: every value of the range shows up.
TEST(Decision, StepCoversWholeRange)
{
    refocus_srand(3);
    bool seen[5] = {};
    for (int k = 0; k < 400; k++) {
        float v = channel_solver_decide(100, 3.2f, -1);  // m = 4
        ASSERT_GE(v, 101);
        ASSERT_LE(v, 104);
        seen[(int)v - 100] = true;
    }
    EXPECT_TRUE(seen[1] && seen[2] && seen[3] && seen[4]);
}

// The sweep's remainder without division equals n % m for every step size
// m, at the edges of each m's multiples and over the whole range of n.
TEST(Decision, StepModuloIsExact)
{
    std::srand(11);
    for (uint32_t m = 1; m < 300; m++) {
        std::vector<uint32_t> ns = { 0u, 1u, m - 1, m, m + 1, 2147483647u, 2147483648u,
                                     4294967295u, 4294967295u - m };
        for (uint32_t q : { 1u, 2u, 1000u, 8421504u, 2147483647u / m, 4294967295u / m }) {
            ns.push_back(q * m);
            ns.push_back(q * m - 1);
            ns.push_back(q * m + 1);
        }
        for (int k = 0; k < 4000; k++)
            ns.push_back((uint32_t)std::rand() * 2u + (uint32_t)(k & 1));
        for (uint32_t n : ns)
            ASSERT_EQ(step_modulo(n, m), n % m) << n << " % " << m;
    }
}

// The step's quotient taken by a multiplication where that is safe has
// the whole part (after the clamp to +-1e6) of the float division z / a,
// for quotients on and a few units in the last place either side of whole
// numbers, near 0, at the clamp, past 2^20 and infinite.
TEST(Decision, StepRatioTruncatesAsDivision)
{
    auto whole = [](float r) {
        if (r > 1e6f)
            r = 1e6f;
        if (r < -1e6f)
            r = -1e6f;
        return (int)r;
    };
    std::srand(12);
    std::vector<float> as = { -1.0f, -0.75f, -3.0f, -0.1f, -7.3f, -1e-3f, -123.456f };
    for (int k = 0; k < 40; k++)
        as.push_back(-(float)(std::rand() % 100000 + 1) / 997.0f);
    std::vector<float> wholes = { 0.0f, 1.0f, 2.0f, 3.0f, 5.0f, 7.0f, 255.0f, 256.0f,
                                  1000.0f, 65535.0f, 999999.0f, 1e6f, 1048575.0f,
                                  1048576.0f, 3e7f };
    long compared = 0, fast_would_differ = 0;
    for (float a : as)
        for (float n : wholes)
            for (float sign : { 1.0f, -1.0f }) {
                float z0 = sign * n * -a;
                for (int u = -6; u <= 6; u++) {
                    float z = z0;
                    for (int s = 0; s < (u < 0 ? -u : u); s++)
                        z = std::nextafter(z, u < 0 ? -INFINITY : INFINITY);
                    for (float zz : { z, z + 0.25f * -a, z + 0.5f * -a, z + 0.999f * -a }) {
                        float q = zz / a;
                        ASSERT_EQ(whole(step_ratio(zz, a)), whole(q)) << zz << " / " << a;
                        fast_would_differ += whole(zz * (1.0f / a)) != whole(q);
                        compared++;
                    }
                }
            }
    for (float z : { INFINITY, -INFINITY, 3e38f, -3e38f, 1e-30f, -1e-30f })
        EXPECT_EQ(whole(step_ratio(z, -0.5f)), whole(z / -0.5f)) << z;
    EXPECT_GT(compared, 30000);
    // The cases include some where the product alone truncates apart.
    EXPECT_GT(fast_would_differ, 0);
}

// The sweep's form of the decision follows the rule written out plainly
// (value and draws), over steps of every size, both directions and both
// bounds.  The ratios stay clear of whole numbers, where float and double
// division may truncate apart.
TEST(Decision, SweepFormMatchesPlainRule)
{
    int compared = 0, moved = 0;
    for (float v0 : { -3.0f, 0.0f, 0.4f, 1.0f, 17.6f, 128.0f, 254.0f, 255.0f, 300.0f }) {
        for (int k = 0; k <= 170; k++) {
            for (float a : { -0.75f, -1.0f, -2.5f }) {
                float z = -600.0f + 7.3f * (float)k + 0.137f;
                double ratio = (double)z / a;
                if (std::fabs(ratio - std::round(ratio)) < 1e-3 ||
                    !(-2.0f * std::fabs(z) - a < 0.0f))
                    continue;
                refocus_srand(5);
                float expect = reference_decide(v0, z, a);
                int next_expect = std::rand();
                refocus_srand(5);
                float got = solver_step(v0, z, a);
                ASSERT_EQ(got, expect) << v0 << " " << z << " " << a;
                ASSERT_EQ(refocus_rand(), next_expect) << v0 << " " << z << " " << a;
                compared++;
                moved += got != v0;
            }
        }
    }
    EXPECT_GT(compared, 3000);
    EXPECT_GT(moved, 1000);
}

// The solver's generator is rand() number for number, for any seed.
TEST(RandomSequence, SameNumbersAsRandForSeeds)
{
    for (unsigned seed : { 0u, 1u, 2u, 7u, 12345u, 2147483647u, 2147483648u, 4294967295u }) {
        refocus_srand(seed);  // also seeds rand()
        for (int k = 0; k < 20000; k++) {
            int expect = std::rand();
            ASSERT_EQ(refocus_rand(), expect) << "seed " << seed << " draw " << k;
        }
    }
}

// Unseeded, in a fresh process (the death test re-runs the program): the
// first numbers equal those of an unseeded rand().
TEST(RandomSequenceDeathTest, UnseededMatchesUnseededRand)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            for (int k = 0; k < 20000; k++)
                if (refocus_rand() != std::rand())
                    std::exit(3);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// With the identity mask, no regularisation and a whole-number image, Z is
// 0 everywhere and nothing moves.
TEST(Solver, IdentityMaskLeavesImageAlone)
{
    ConvMask id;
    convmask_disc(&id, 0.0f);
    OwnedMatrix x = random_matrix(33, 21, 8);
    OwnedMatrix before = x;
    ChannelSolver s;
    std::memset(&s, 0, sizeof s);
    s.lambda = 0;
    channel_solver_set_mirror(&s, 1);
    channel_solver_init(&s, &id, &x.m, nullptr);
    channel_solver_sweep(&s);
    for (size_t k = 0; k < x.size(); k++)
        ASSERT_EQ(x.m.data[k], before.m.data[k]);
    channel_solver_destroy(&s);
    convmask_destroy(&id);
}

}  // namespace
