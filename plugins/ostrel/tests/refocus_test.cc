// The refocus run: effective parameters, callback order, progress
// fractions, cancellation, refusals and the restoration itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "testutil.h"

namespace {

// A host that records every callback and refills its channels from a
// saved copy on read_selection, like the plug-in does from the drawable.
struct FakeHost {
    std::vector<OwnedMatrix> source, channels;
    std::vector<std::string> calls;
    std::vector<float> fractions;
    int cancel = 0;
    int cancel_at_report = -1;  // set the flag at this report (0-based)
    RefocusHost host;

    explicit FakeHost(const std::vector<OwnedMatrix> &src) : source(src), channels(src)
    {
        for (auto &c : channels)
            for (size_t k = 0; k < c.size(); k++)
                c.m.data[k] = -1.0f;  // read_selection must fill them
        std::memset(&host, 0, sizeof host);
        host.user = this;
        host.n_channels = (int)channels.size();
        for (size_t c = 0; c < channels.size(); c++)
            host.channels[c] = &channels[c].m;
        host.read_selection = [](void *u) {
            auto *h = (FakeHost *)u;
            h->calls.push_back("read");
            for (size_t c = 0; c < h->channels.size(); c++)
                std::memcpy(h->channels[c].m.data, h->source[c].m.data,
                            h->source[c].size() * sizeof(float));
        };
        host.report_progress = [](void *u, float f) {
            auto *h = (FakeHost *)u;
            h->calls.push_back("progress");
            if ((int)h->fractions.size() == h->cancel_at_report)
                h->cancel = 1;
            h->fractions.push_back(f);
        };
        host.pump_events = [](void *u) { ((FakeHost *)u)->calls.push_back("pump"); };
        host.update_preview = [](void *u) { ((FakeHost *)u)->calls.push_back("preview"); };
        host.progress_start = [](void *u) { ((FakeHost *)u)->calls.push_back("start"); };
        host.progress_reset = [](void *u) { ((FakeHost *)u)->calls.push_back("reset"); };
        host.cancel = &cancel;
    }
    int count(const std::string &name) const
    {
        int n = 0;
        for (auto &c : calls)
            n += c == name;
        return n;
    }
};

std::vector<OwnedMatrix> blurred_photo(int w, int h, int channels, double radius, unsigned seed)
{
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = radius;
    ConvMask mask;
    refocus_build_mask(&mask, &p);
    std::vector<OwnedMatrix> out;
    for (int c = 0; c < channels; c++) {
        OwnedMatrix orig = test_photo_channel(w, h, c, seed);
        out.push_back(blurred_bytes(orig.m, mask, true));
    }
    convmask_destroy(&mask);
    return out;
}

TEST(Effective, DefaultsAndLimits)
{
    RefocusParams p;
    refocus_params_default(&p);
    float lambda, f;
    EXPECT_TRUE(refocus_effective(&p, &lambda, &f));
    EXPECT_NEAR(f, 5.5308e-4, 1e-7);
    EXPECT_NEAR(lambda, 0.0180804, 1e-6);

    p.lambda_min = 0;
    EXPECT_FALSE(refocus_effective(&p, &lambda, &f));
    EXPECT_EQ(f, 1.0f);
    EXPECT_NEAR(lambda, 100 * 1e-7, 1e-12);

    refocus_params_default(&p);
    p.lambda = 0;
    EXPECT_FALSE(refocus_effective(&p, &lambda, &f));
    EXPECT_EQ(lambda, 0.0f);
}

TEST(RefocusRun, DefaultsMatchTheProcedure)
{
    RefocusParams p;
    refocus_params_default(&p);
    EXPECT_EQ(p.radius, 6.0);
    EXPECT_EQ(p.gauss, 0.0);
    EXPECT_EQ(p.motion, 0.0);
    EXPECT_EQ(p.mot_angle, 0.0);
    EXPECT_EQ(p.lambda, 100.0);
    EXPECT_EQ(p.lambda_min, 30.0);
    EXPECT_EQ(p.winsize, 3);
    EXPECT_EQ(p.boundary, 0);
    EXPECT_EQ(p.adaptive_smooth, 1);
    EXPECT_EQ(REFOCUS_DEFAULT_ITERATIONS, 100);
    EXPECT_EQ(REFOCUS_DEFAULT_PREV_ITER, 10);
}

struct ProgressCase {
    const char *name;
    int channels, iterations;
    double lambda_min;
    int adaptive;
    std::vector<float> expected;
};

class Progress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(Progress, FractionsAndOrder)
{
    const ProgressCase &c = GetParam();
    FakeHost h(blurred_photo(24, 20, c.channels, 2, 1));
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 2;
    p.lambda_min = c.lambda_min;
    p.adaptive_smooth = c.adaptive;
    EXPECT_EQ(refocus_compute(&p, &h.host, c.iterations), REFOCUS_DONE);
    ASSERT_EQ(h.fractions.size(), c.expected.size());
    for (size_t k = 0; k < c.expected.size(); k++)
        EXPECT_FLOAT_EQ(h.fractions[k], c.expected[k]) << k;
    ASSERT_GE(h.calls.size(), 5u);
    EXPECT_EQ(h.calls[0], "pump");
    EXPECT_EQ(h.calls[1], "start");
    EXPECT_EQ(h.calls[2], "read");
    EXPECT_EQ(h.calls[3], "preview");
    EXPECT_EQ(h.calls.back(), "reset");
    EXPECT_EQ(h.count("preview"), 1 + c.iterations);
    EXPECT_EQ(h.count("pump"), 1 + c.iterations);
    EXPECT_EQ(h.count("read"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Progress,
    ::testing::Values(
        ProgressCase{ "grey_adaptive_2", 1, 2, 30, 1, { 0.25f, 0.5f, 0.75f, 1.0f } },
        ProgressCase{ "rgb_once_1", 3, 1, 30, 0, { 1 / 6.f, 2 / 6.f, 3 / 6.f, 4 / 6.f, 5 / 6.f, 1.0f } },
        ProgressCase{ "grey_no_weights_3", 1, 3, 0, 1, { 1 / 3.f, 2 / 3.f, 1.0f } },
        ProgressCase{ "rgb_adaptive_1", 3, 1, 30, 1, { 1 / 6.f, 2 / 6.f, 3 / 6.f, 4 / 6.f, 5 / 6.f, 1.0f } },
        ProgressCase{ "zero_iterations", 3, 0, 30, 1, {} }),
    [](const ::testing::TestParamInfo<ProgressCase> &info) { return std::string(info.param.name); });

TEST(RefocusRun, ZeroIterationsRereadsButKeepsValues)
{
    FakeHost h(blurred_photo(16, 12, 1, 2, 3));
    RefocusParams p;
    refocus_params_default(&p);
    EXPECT_EQ(refocus_compute(&p, &h.host, 0), REFOCUS_DONE);
    for (size_t k = 0; k < h.source[0].size(); k++)
        ASSERT_EQ(h.channels[0].m.data[k], h.source[0].m.data[k]);
    EXPECT_EQ(h.count("reset"), 1);
}

// Cancelling during the first channel's sweep report stops before the
// second channel's sweep; the progress is not reset.
TEST(RefocusRun, CancelStopsBeforeNextStep)
{
    FakeHost h(blurred_photo(32, 24, 3, 3, 5));
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 3;
    p.adaptive_smooth = 0;  // reports 0..2 are the weights, 3 the first sweep
    h.cancel_at_report = 3;
    EXPECT_EQ(refocus_compute(&p, &h.host, 5), REFOCUS_CANCELLED);
    EXPECT_EQ(h.fractions.size(), 4u);
    EXPECT_EQ(h.count("reset"), 0);
    EXPECT_EQ(h.count("preview"), 1);
    int moved0 = 0;
    for (size_t k = 0; k < h.source[0].size(); k++)
        moved0 += h.channels[0].m.data[k] != h.source[0].m.data[k];
    EXPECT_GT(moved0, 0);
    for (int c = 1; c < 3; c++)
        for (size_t k = 0; k < h.source[c].size(); k++)
            ASSERT_EQ(h.channels[c].m.data[k], h.source[c].m.data[k]) << "channel " << c;
}

TEST(RefocusRun, CancelDuringWeightsAndBetweenIterations)
{
    FakeHost a(blurred_photo(20, 20, 1, 2, 6));
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 2;
    a.cancel_at_report = 0;  // the first weights report of adaptive smoothing
    EXPECT_EQ(refocus_compute(&p, &a.host, 4), REFOCUS_CANCELLED);
    EXPECT_EQ(a.fractions.size(), 1u);
    for (size_t k = 0; k < a.source[0].size(); k++)
        ASSERT_EQ(a.channels[0].m.data[k], a.source[0].m.data[k]);

    // A flag already set by the host stops after the first step.
    FakeHost b(blurred_photo(20, 20, 1, 2, 6));
    b.cancel = 1;
    EXPECT_EQ(refocus_compute(&p, &b.host, 4), REFOCUS_CANCELLED);
    EXPECT_EQ(b.fractions.size(), 1u);
}

TEST(RefocusRun, RefusesUnusableSetups)
{
    FakeHost h(blurred_photo(10, 10, 1, 2, 1));
    RefocusParams p;
    refocus_params_default(&p);
    RefocusParams bad[5] = { p, p, p, p, p };
    bad[0].radius = NAN;
    bad[1].motion = 1e9;
    bad[2].gauss = INFINITY;
    bad[3].lambda_min = 1e6;  // f underflows to 0
    bad[4].winsize = -1;
    for (auto &b : bad)
        EXPECT_EQ(refocus_compute(&b, &h.host, 3), REFOCUS_REFUSED);
    RefocusHost twochan = h.host;
    twochan.n_channels = 2;
    EXPECT_EQ(refocus_compute(&p, &twochan, 3), REFOCUS_REFUSED);
    Matrix empty{ 0, 0, nullptr };
    RefocusHost nodata = h.host;
    nodata.channels[0] = &empty;
    EXPECT_EQ(refocus_compute(&p, &nodata, 3), REFOCUS_REFUSED);
    EXPECT_TRUE(h.calls.empty());
    for (size_t k = 0; k < h.channels[0].size(); k++)
        ASSERT_EQ(h.channels[0].m.data[k], -1.0f);

    char msg[200];
    EXPECT_NE(refocus_check(&bad[1], 0, 0, 0, msg, sizeof msg), 0);
    EXPECT_NE(std::string(msg).find("mask"), std::string::npos) << msg;
    RefocusParams wide = p;
    wide.radius = 30;
    EXPECT_EQ(refocus_check(&wide, 40, 30, 0, msg, sizeof msg), 0);
    EXPECT_NE(refocus_check(&wide, 40, 30, 1, msg, sizeof msg), 0);
    EXPECT_EQ(refocus_check(&p, 40, 30, 1, msg, sizeof msg), 0);
}

// Whole numbers within 0..255 everywhere a sweep touched; also for
// selections smaller than the mask.
TEST(RefocusRun, ResultsAreWholeBytes)
{
    for (auto [w, h] : { std::pair{ 40, 30 }, { 5, 4 }, { 1, 1 }, { 2, 9 } }) {
        FakeHost host(blurred_photo(w, h, 3, 3, 2));
        RefocusParams p;
        refocus_params_default(&p);
        refocus_srand(1);
        EXPECT_EQ(refocus_compute(&p, &host.host, 3), REFOCUS_DONE);
        for (auto &c : host.channels)
            for (size_t k = 0; k < c.size(); k++) {
                float v = c.m.data[k];
                ASSERT_TRUE(v >= 0 && v <= 255 && v == std::floor(v)) << w << "x" << h << ": " << v;
            }
    }
}

// The same random sequence gives the same pixels.
TEST(RefocusRun, SameSeedSameResult)
{
    auto src = blurred_photo(30, 26, 1, 3, 8);
    FakeHost a(src), b(src);
    RefocusParams p;
    refocus_params_default(&p);
    refocus_srand(1);
    refocus_compute(&p, &a.host, 4);
    refocus_srand(1);
    refocus_compute(&p, &b.host, 4);
    for (size_t k = 0; k < src[0].size(); k++)
        ASSERT_EQ(a.channels[0].m.data[k], b.channels[0].m.data[k]);
}

// A blurred photo gets measurably closer to its original over the
// iterations.
TEST(RefocusRun, PsnrRisesOverIterations)
{
    const int w = 96, h = 80;
    OwnedMatrix orig = test_photo_channel(w, h, 1, 12);
    RefocusParams p;
    refocus_params_default(&p);
    p.radius = 3;
    p.lambda = 20;
    ConvMask mask;
    refocus_build_mask(&mask, &p);
    std::vector<OwnedMatrix> src;
    src.push_back(blurred_bytes(orig.m, mask, true));
    convmask_destroy(&mask);
    double start = psnr(src[0].m, orig.m);
    double previous = start;
    for (int iterations : { 5, 25 }) {
        FakeHost host(src);
        refocus_srand(1);
        ASSERT_EQ(refocus_compute(&p, &host.host, iterations), REFOCUS_DONE);
        double now = psnr(host.channels[0].m, orig.m);
        std::printf("PSNR after %d iterations: %.2f dB (blurred %.2f dB)\n", iterations, now, start);
        EXPECT_GT(now, previous + 0.3) << iterations;
        previous = now;
    }
}

}  // namespace
