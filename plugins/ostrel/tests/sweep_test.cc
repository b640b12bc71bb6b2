// The production sweep against a plain per-pixel reference sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cpu_forms.h"
#include "testutil.h"

namespace {

struct SweepCase {
    const char *name;
    int w, h;
    double radius, gauss, motion, angle;
    float lambda;
    bool weighted, mirror;
};

std::ostream &operator<<(std::ostream &os, const SweepCase &c)
{
    return os << c.name;
}

class SweepTrace : public ::testing::TestWithParam<SweepCase> {};

// The vector forms this processor can run, each once: the generic form
// always, then AVX2 and AVX-512 where present.  Prints which ran, so a log
// shows what a machine has checked.
std::vector<CpuForm> runnable_forms()
{
    std::vector<CpuForm> forms = runnable_cpu_forms();
    static bool told;
    if (!told) {
        CpuFormGuard guard;
        std::string all;
        for (CpuForm f : forms) {
            cpu_form_force(f);
            all += std::string(" ") + channel_solver_kernel_name();
        }
        std::printf("sweep forms checked on this processor:%s\n", all.c_str());
        told = true;
    }
    return forms;
}

// Replays production sweeps pixel by pixel: at each pixel, in visiting
// order, the reference Z and a on the reference's own copy must match what
// the sweep decided on; the copy then takes the sweep's new value.  This
// checks every pixel, borders included, of real in-place sweeps, the data
// term kept up to date from one sweep to the next included.  Each sweep
// starts the random sequence from seed + its number, and the replay, from
// the same start, takes each pixel's decision by the plain rule from the
// sweep's own Z and a: the sweep's new value must be that one, exactly
// (which pixels move, the steps, the draws in visiting order).  Returns
// the number of mismatching pixels.
int replay_sweeps(ChannelSolver &s, OwnedMatrix &x, const float *W, bool mirror, int sweeps,
                  unsigned seed)
{
    int w = x.m.width, h = x.m.height, bad = 0;
    for (int sweep = 0; sweep < sweeps; sweep++) {
        OwnedMatrix before = x;
        std::vector<float> z(x.size(), NAN), a(x.size(), NAN);
        refocus_srand(seed + (unsigned)sweep);
        channel_solver_sweep_traced(&s, z.data(), a.data());
        refocus_srand(seed + (unsigned)sweep);
        OwnedMatrix replay = before;
        for (int i = 0; i < w; i++)
            for (int j = 0; j < h; j++) {
                size_t pos = i + (size_t)j * w;
                Terms t = reference_terms(replay.m, s.rhs, s.table, s.lambda, W, mirror, i, j);
                if (!(std::fabs(z[pos] - t.z) <= 1e-5 * t.scale) ||
                    !(std::fabs(a[pos] - t.a) <= 1e-5 * std::fabs(t.a))) {
                    if (bad++ < 5)
                        ADD_FAILURE() << "pixel (" << i << "," << j << ") sweep " << sweep
                                      << ": Z " << z[pos] << " vs " << t.z << ", a " << a[pos]
                                      << " vs " << t.a;
                }
                float decided = channel_solver_decide(before.m.data[pos], z[pos], a[pos]);
                if (!(decided == x.m.data[pos]) && bad++ < 5)
                    ADD_FAILURE() << "pixel (" << i << "," << j << ") sweep " << sweep
                                  << ": new value " << x.m.data[pos] << ", the rule gives "
                                  << decided;
                replay.m.data[pos] = x.m.data[pos];
            }
    }
    return bad;
}

// The blurred test photo, its mask and weights for one case.
struct TraceSetup {
    OwnedMatrix x;
    ConvMask mask{}, pre{};
    AreaWeights aw{};
    TraceSetup(const SweepCase &c)
    {
        OwnedMatrix orig = test_photo_channel(c.w, c.h, 1, 7);
        RefocusParams p;
        refocus_params_default(&p);
        p.radius = c.radius;
        p.gauss = c.gauss;
        p.motion = c.motion;
        p.mot_angle = c.angle;
        refocus_build_mask(&mask, &p);
        x = blurred_bytes(orig.m, mask, c.mirror);
        convmask_gauss(&pre, 1.0f);
        area_weights_set_mirror(&aw, c.mirror);
        area_weights_init(&aw, c.w, c.h, 5.5308e-4f, 3, &pre);
        area_weights_compute(&aw, &x.m);
    }
    ~TraceSetup()
    {
        area_weights_destroy(&aw);
        convmask_destroy(&pre);
        convmask_destroy(&mask);
    }
};

// In every form this processor runs, from the setup's image and the same
// random seed: `sweeps` sweeps replayed against the reference, with the
// data term computed afresh every `refresh` sweeps.
static void replay_in_every_form(TraceSetup &t, const SweepCase &c, int refresh,
                                 unsigned seed, int sweeps)
{
    const float *W = c.weighted && c.lambda > 1e-8f ? t.aw.weights : nullptr;
    channel_solver_refresh_interval(refresh);
    CpuFormGuard guard;
    for (CpuForm form : runnable_forms()) {
        cpu_form_force(form);
        SCOPED_TRACE(channel_solver_kernel_name());
        OwnedMatrix x = t.x;
        ChannelSolver s;
        std::memset(&s, 0, sizeof s);
        s.lambda = c.lambda;
        channel_solver_set_mirror(&s, c.mirror);
        channel_solver_init(&s, &t.mask, &x.m, c.weighted ? &t.aw : nullptr);
        EXPECT_EQ(replay_sweeps(s, x, W, c.mirror, sweeps, seed), 0);
        channel_solver_destroy(&s);
    }
    channel_solver_refresh_interval(0);
}

// Six sweeps in every form: four on one computation of the data term, a
// fresh computation, one more.
TEST_P(SweepTrace, ZAndAMatchReferenceAtEveryPixel)
{
    const SweepCase &c = GetParam();
    TraceSetup t(c);
    replay_in_every_form(t, c, 4, 11, 6);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SweepTrace,
    ::testing::Values(
        SweepCase{ "default_mirror_weighted", 61, 47, 6, 0, 0, 0, 0.0180804f, true, true },
        SweepCase{ "default_periodic_weighted", 61, 47, 6, 0, 0, 0, 0.0180804f, true, false },
        SweepCase{ "default_mirror_unweighted", 53, 40, 6, 0, 0, 0, 0.0180804f, false, true },
        SweepCase{ "no_regularisation", 40, 33, 3, 0, 0, 0, 0.0f, false, true },
        SweepCase{ "motion_asymmetric", 45, 38, 1.5, 0, 5, 30, 0.01f, true, true },
        SweepCase{ "gauss_periodic", 39, 41, 0, 1.2, 0, 0, 0.002f, false, false },
        SweepCase{ "image_smaller_than_mask", 13, 9, 6, 0, 0, 0, 0.0180804f, true, true },
        SweepCase{ "tiny_periodic", 7, 5, 4, 0, 0, 0, 0.0180804f, true, false },
        SweepCase{ "single_column", 1, 17, 2, 0, 0, 0, 0.01f, false, true },
        SweepCase{ "identity_mask", 23, 19, 0, 0, 0, 0, 0.05f, true, true },
        // Widths that are multiples of 16 beyond the folded-table pitch once
        // overran the periodic border buffer.
        SweepCase{ "periodic_width_multiple_of_16", 64, 40, 6, 0, 0, 0, 0.0180804f, true, false },
        SweepCase{ "periodic_wide_unweighted", 96, 20, 3, 0, 0, 0, 0.01f, false, false },
        // Several whole column groups of the strip and a part one, rows that
        // are not a multiple of the transposes' 8.
        SweepCase{ "strip_groups_weighted", 83, 29, 4, 0, 0, 0, 0.0180804f, true, true },
        SweepCase{ "strip_groups_unweighted", 83, 29, 4, 0, 0, 0, 0.0180804f, false, false }),
    [](const ::testing::TestParamInfo<SweepCase> &info) { return std::string(info.param.name); });

// The same start, the same random sequence: production and reference sweeps
// on a 256 x 256 photo crop lower the energy alike.  The iteration is
// chaotic: float rounding tips a few of the 65536 decisions per sweep the
// other way (a different step range, or a draw more or less, which shifts
// the random sequence), after which the two runs follow different random
// paths.  Different seeds alone spread the energy after 10 sweeps by about
// 1.5 %, so the two runs are held to that spread rather than to rounding
// level; the per-pixel identity of the computation is checked exactly by
// SweepTrace above.
TEST(SweepEnergy, TenSweepsMatchReference)
{
    const int n = 256;
    OwnedMatrix orig = test_photo_channel(n, n, 0, 3);
    RefocusParams p;
    refocus_params_default(&p);
    ConvMask mask;
    refocus_build_mask(&mask, &p);
    OwnedMatrix y = blurred_bytes(orig.m, mask, true);
    float lambda, f;
    refocus_effective(&p, &lambda, &f);

    ConvMask pre;
    convmask_gauss(&pre, 1.0f);
    AreaWeights aw;
    area_weights_set_mirror(&aw, 1);
    area_weights_init(&aw, n, n, f, 3, &pre);
    area_weights_compute(&aw, &y.m);

    OwnedMatrix xp = y, xr = y;
    ChannelSolver sp, sr;
    std::memset(&sp, 0, sizeof sp);
    std::memset(&sr, 0, sizeof sr);
    sp.lambda = sr.lambda = lambda;
    channel_solver_set_mirror(&sp, 1);
    channel_solver_set_mirror(&sr, 1);
    channel_solver_init(&sp, &mask, &xp.m, &aw);
    channel_solver_init(&sr, &mask, &xr.m, &aw);

    double e0 = reference_energy(y.m, y.m, mask, lambda, aw.weights, true);
    // Both runs get the same numbers: each sweep starts from the same seed,
    // so a rare decision that rounding tips the other way shifts the
    // random sequence for the rest of that sweep only.
    for (int k = 0; k < 10; k++) {
        refocus_srand(5 + k);
        channel_solver_sweep(&sp);
    }
    for (int k = 0; k < 10; k++) {
        refocus_srand(5 + k);
        reference_sweep(sr);
    }
    double ep = reference_energy(xp.m, y.m, mask, lambda, aw.weights, true);
    double er = reference_energy(xr.m, y.m, mask, lambda, aw.weights, true);
    int differing = 0;
    for (size_t k = 0; k < xp.size(); k++)
        differing += xp.m.data[k] != xr.m.data[k];
    std::printf("pixels differing after 10 sweeps: %d of %zu\n", differing, xp.size());
    EXPECT_LT(ep, e0);
    EXPECT_LT(er, e0);
    std::printf("energy after 10 sweeps: production %.3f, reference %.3f (start %.3f)\n", ep, er,
                e0);
    EXPECT_NEAR(ep, er, 0.015 * er);
    channel_solver_destroy(&sp);
    channel_solver_destroy(&sr);
    area_weights_destroy(&aw);
    convmask_destroy(&pre);
    convmask_destroy(&mask);
}

// The dry pass gives the sweep kernels' data terms, borders included.
TEST(SweepKernels, DataTermsMatchPlainSum)
{
    CpuFormGuard guard;
    for (CpuForm form : runnable_forms())
        for (int mirror = 0; mirror < 2; mirror++)
            for (auto [w, h] : { std::pair{ 57, 43 }, { 11, 8 } }) {
                cpu_form_force(form);
                OwnedMatrix x = test_photo_channel(w, h, 0, 5);
                ConvMask mask;
                convmask_motion(&mask, 4.0f, 20.0f);
                ChannelSolver s;
                std::memset(&s, 0, sizeof s);
                channel_solver_set_mirror(&s, mirror);
                channel_solver_init(&s, &mask, &x.m, nullptr);
                OwnedMatrix before = x;
                std::vector<float> q(x.size());
                channel_solver_data_terms(&s, q.data());
                const Weights &t = s.table;
                for (int j = 0; j < h; j++)
                    for (int i = 0; i < w; i++) {
                        double ref = 0;
                        for (int l = -t.rynz; l <= t.rynz; l++)
                            for (int k = -t.rxnz; k <= t.rxnz; k++) {
                                int xi = mirror ? mirror_index(i + k, w) : wrap_index(i + k, w);
                                int yj = mirror ? mirror_index(j + l, h) : wrap_index(j + l, h);
                                ref += (double)weights_get(&t, k, l) * x.at(xi, yj);
                            }
                        ASSERT_NEAR(q[i + (size_t)j * w], ref, 1e-5 * 255) << i << "," << j;
                    }
                for (size_t k = 0; k < x.size(); k++)
                    ASSERT_EQ(x.m.data[k], before.m.data[k]);
                channel_solver_destroy(&s);
                convmask_destroy(&mask);
            }
}

TEST(SweepKernels, NameMatchesMachine)
{
    bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    bool avx512 = avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                  __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512dq") &&
                  __builtin_cpu_supports("avx512vl");
    const char *widest = avx512 ? "avx512f" : avx2 ? "avx2+fma" : "generic";
    CpuFormGuard guard;
    // The policy's own choice without an override, then each form forced;
    // a form the processor lacks is refused and changes nothing.
    ASSERT_EQ(0, cpu_form_force(cpu_form_choose(nullptr, nullptr)));
    EXPECT_STREQ(channel_solver_kernel_name(), widest);
    EXPECT_EQ(avx512 ? 0 : -1, cpu_form_force(CPU_FORM_AVX512));
    EXPECT_STREQ(channel_solver_kernel_name(), widest);
    EXPECT_EQ(avx2 ? 0 : -1, cpu_form_force(CPU_FORM_AVX2));
    EXPECT_STREQ(channel_solver_kernel_name(), avx2 ? "avx2+fma" : "generic");
    ASSERT_EQ(0, cpu_form_force(CPU_FORM_GENERIC));
    EXPECT_STREQ(channel_solver_kernel_name(), "generic");
    ASSERT_EQ(0, cpu_form_force(cpu_form_choose(nullptr, nullptr)));
    EXPECT_STREQ(channel_solver_kernel_name(), widest);
}

// The data term kept up to date over many sweeps without a fresh
// computation: the float rounding of the updates must stay within the
// reference tolerance at every pixel of every sweep, in every form.
TEST(SweepTraceLong, TwentyFiveSweepsOnOneDataTermComputation)
{
    SweepCase c{ "long", 72, 64, 6, 0, 0, 0, 0.0180804f, true, true };
    TraceSetup t(c);
    replay_in_every_form(t, c, 1000, 3, 25);
}

// Twice the sweeps between two computations that a run does, on the
// default mask radius, weighted and unweighted.
TEST(SweepTraceLong, TwiceTheRefreshIntervalOnOneDataTermComputation)
{
    const int sweeps = 2 * channel_solver_refresh_interval(0);
    for (bool weighted : { true, false }) {
        SweepCase c{ "twice", 64, 56, 6, 0, 0, 0, 0.0180804f, weighted, true };
        TraceSetup t(c);
        SCOPED_TRACE(weighted ? "weighted" : "unweighted");
        replay_in_every_form(t, c, 1000, 4, sweeps);
    }
}

// A change to the image between sweeps, reported, is taken into account.
TEST(SweepTraceLong, ReportedImageChangeIsTakenIntoAccount)
{
    SweepCase c{ "changed", 50, 40, 3, 0, 0, 0, 0.01f, false, false };
    TraceSetup t(c);
    ChannelSolver s;
    std::memset(&s, 0, sizeof s);
    s.lambda = c.lambda;
    channel_solver_set_mirror(&s, 0);
    channel_solver_init(&s, &t.mask, &t.x.m, nullptr);
    refocus_srand(5);
    channel_solver_sweep(&s);
    for (size_t k = 0; k < t.x.size(); k += 7)
        t.x.m.data[k] = (float)((k * 37) % 256);
    channel_solver_image_changed(&s);
    EXPECT_EQ(replay_sweeps(s, t.x, nullptr, false, 2, 6), 0);
    channel_solver_destroy(&s);
}

}  // namespace
