// Local variance and area smoothing weights.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "cpu_forms.h"
#include "testutil.h"

namespace {

OwnedMatrix reference_variance(const Matrix &in, int ws, bool mirror, float *vmin, float *vmax)
{
    OwnedMatrix out(in.width, in.height);
    double n = (2.0 * ws + 1) * (2.0 * ws + 1);
    *vmin = 1e30f;
    *vmax = -1;
    for (int j = 0; j < in.height; j++)
        for (int i = 0; i < in.width; i++) {
            double s = 0, s2 = 0;
            for (int l = -ws; l <= ws; l++)
                for (int k = -ws; k <= ws; k++) {
                    int x = mirror ? mirror_index(i + k, in.width) : wrap_index(i + k, in.width);
                    int y = mirror ? mirror_index(j + l, in.height) : wrap_index(j + l, in.height);
                    double v = in.data[x + (size_t)y * in.width];
                    s += v;
                    s2 += v * v;
                }
            double mean = s / n;
            float v = (float)std::max(0.0, s2 / n - mean * mean);
            out.at(i, j) = v;
            *vmin = std::min(*vmin, v);
            *vmax = std::max(*vmax, v);
        }
    return out;
}

TEST(LocalVariance, MatchesReference)
{
    CpuFormGuard guard;
    for (CpuForm form : runnable_cpu_forms()) {
        ASSERT_EQ(0, cpu_form_force(form));
        SCOPED_TRACE(cpu_form_name(form));
        struct {
            int w, h, ws;
            bool mirror;
        } cases[] = { { 23, 17, 1, true }, { 23, 17, 3, false }, { 40, 9, 3, true },
                      { 5, 4, 3, true },   { 3, 2, 4, false },   { 1, 1, 2, true } };
        for (auto c : cases) {
            OwnedMatrix in = random_matrix(c.w, c.h, 5);
            OwnedMatrix out(c.w, c.h);
            float mn, mx, rmn, rmx;
            if (c.mirror)
                local_variance_mirror(&out.m, &in.m, &mn, &mx, c.ws);
            else
                local_variance_periodic(&out.m, &in.m, &mn, &mx, c.ws);
            OwnedMatrix ref = reference_variance(in.m, c.ws, c.mirror, &rmn, &rmx);
            for (size_t k = 0; k < in.size(); k++)
                ASSERT_NEAR(out.m.data[k], ref.m.data[k], 1e-3) << c.w << "x" << c.h << " " << k;
            EXPECT_NEAR(mn, rmn, 1e-3);
            EXPECT_NEAR(mx, rmx, 1e-3);
        }
    }
}

// Every form gives the generic form's variances and extremes bit for bit
// (the run's bytes must not depend on the form), rows of every length
// modulo the vector width included.
TEST(LocalVariance, FormsGiveTheSameBits)
{
    CpuFormGuard guard;
    for (int w : { 1, 3, 4, 7, 37 }) {
        OwnedMatrix in = random_matrix(w, 11, 9);
        ASSERT_EQ(0, cpu_form_force(CPU_FORM_GENERIC));
        OwnedMatrix ref(w, 11);
        float rmn, rmx;
        local_variance_mirror(&ref.m, &in.m, &rmn, &rmx, 2);
        for (CpuForm form : runnable_cpu_forms()) {
            ASSERT_EQ(0, cpu_form_force(form));
            SCOPED_TRACE(cpu_form_name(form));
            OwnedMatrix out(w, 11);
            float mn, mx;
            local_variance_mirror(&out.m, &in.m, &mn, &mx, 2);
            for (size_t k = 0; k < in.size(); k++)
                ASSERT_EQ(out.m.data[k], ref.m.data[k]) << "width " << w << " at " << k;
            EXPECT_EQ(mn, rmn);
            EXPECT_EQ(mx, rmx);
        }
    }
}

// The weights themselves: every form gives the generic form's bits, for
// both boundaries, a window larger than a tiny image, and row lengths off
// the vector width.
TEST(AreaWeights, FormsGiveTheSameBits)
{
    CpuFormGuard guard;
    ConvMask g;
    convmask_gauss(&g, 1.0f);
    struct {
        int w, h, ws;
        bool mirror;
    } cases[] = { { 37, 23, 3, true }, { 37, 23, 3, false }, { 6, 5, 4, true }, { 2, 9, 1, false } };
    auto weights = [&](const Matrix &img, int ws, bool mirror, OwnedMatrix &out) {
        AreaWeights aw;
        area_weights_set_mirror(&aw, mirror);
        area_weights_init(&aw, img.width, img.height, 0.05f, ws, &g);
        area_weights_compute(&aw, &img);
        std::copy(aw.weights, aw.weights + out.size(), out.m.data);
        area_weights_destroy(&aw);
    };
    for (auto c : cases) {
        OwnedMatrix img = random_matrix(c.w, c.h, 12);
        ASSERT_EQ(0, cpu_form_force(CPU_FORM_GENERIC));
        OwnedMatrix ref(c.w, c.h);
        weights(img.m, c.ws, c.mirror, ref);
        for (CpuForm form : runnable_cpu_forms()) {
            ASSERT_EQ(0, cpu_form_force(form));
            SCOPED_TRACE(cpu_form_name(form));
            OwnedMatrix got(c.w, c.h);
            weights(img.m, c.ws, c.mirror, got);
            for (size_t k = 0; k < got.size(); k++)
                ASSERT_EQ(got.m.data[k], ref.m.data[k]) << c.w << "x" << c.h << " at " << k;
        }
    }
    convmask_destroy(&g);
}

// Regression: variances that rise in visiting order must still give the
// true minimum (a rule that only tests the minimum when the maximum did not
// move never sees it).
TEST(LocalVariance, RisingVariancesKeepTrueMinimum)
{
    OwnedMatrix in(12, 12);
    for (int j = 0; j < 12; j++)
        for (int i = 0; i < 12; i++)
            in.at(i, j) = (float)((i + j) % 2 ? i * i : 0);
    OwnedMatrix out(12, 12);
    float mn, mx, rmn, rmx;
    local_variance_mirror(&out.m, &in.m, &mn, &mx, 1);
    reference_variance(in.m, 1, true, &rmn, &rmx);
    EXPECT_NEAR(mn, rmn, 1e-3);
    EXPECT_NEAR(mx, rmx, 1e-3);
    EXPECT_LT(mn, mx);
}

TEST(AreaWeights, RangeFromOneToMinWeight)
{
    for (int mirror = 0; mirror < 2; mirror++) {
        OwnedMatrix img = test_photo_channel(48, 36, 1, 4);
        AreaWeights aw;
        area_weights_set_mirror(&aw, mirror);
        area_weights_init(&aw, 48, 36, 0.05f, 2, nullptr);
        area_weights_compute(&aw, &img.m);
        float vmin, vmax;
        OwnedMatrix var = reference_variance(img.m, 2, mirror, &vmin, &vmax);
        float wmin = 2, wmax = -1;
        for (size_t k = 0; k < img.size(); k++) {
            double v = var.m.data[k];
            double expect = 1.0 / (1.0 + (1 - 0.05) * (v - vmin) / (0.05 * (vmax - vmin)));
            ASSERT_NEAR(aw.weights[k], expect, 1e-4);
            wmin = std::min(wmin, aw.weights[k]);
            wmax = std::max(wmax, aw.weights[k]);
        }
        EXPECT_NEAR(wmin, 0.05f, 1e-5);
        EXPECT_NEAR(wmax, 1.0f, 1e-6);
        area_weights_destroy(&aw);
    }
}

TEST(AreaWeights, PresmoothingIsApplied)
{
    CpuFormGuard guard;
    for (CpuForm form : runnable_cpu_forms()) {
        ASSERT_EQ(0, cpu_form_force(form));
        SCOPED_TRACE(cpu_form_name(form));
        OwnedMatrix img = random_matrix(30, 30, 6);
        ConvMask g;
        convmask_gauss(&g, 1.0f);
        AreaWeights aw;
        area_weights_set_mirror(&aw, 1);
        area_weights_init(&aw, 30, 30, 0.1f, 3, &g);
        area_weights_compute(&aw, &img.m);
        OwnedMatrix smooth = reference_convolve(img.m, g, true);
        float vmin, vmax;
        OwnedMatrix var = reference_variance(smooth.m, 3, true, &vmin, &vmax);
        for (size_t k = 0; k < img.size(); k++) {
            double expect = 1.0 / (1.0 + 0.9 * (var.m.data[k] - vmin) / (0.1 * (vmax - vmin)));
            ASSERT_NEAR(aw.weights[k], expect, 2e-3);
        }
        area_weights_destroy(&aw);
        convmask_destroy(&g);
    }
}

// All local variances equal: every weight is 1, not NaN.
TEST(AreaWeights, UniformChannelGivesOnes)
{
    for (float level : { 0.0f, 128.0f, 255.0f }) {
        OwnedMatrix img(17, 11, level);
        ConvMask g;
        convmask_gauss(&g, 1.0f);
        AreaWeights aw;
        area_weights_set_mirror(&aw, 0);
        area_weights_init(&aw, 17, 11, 5.5308e-4f, 3, &g);
        area_weights_compute(&aw, &img.m);
        for (size_t k = 0; k < img.size(); k++)
            ASSERT_EQ(aw.weights[k], 1.0f) << level;
        area_weights_destroy(&aw);
        convmask_destroy(&g);
    }
}

}  // namespace
