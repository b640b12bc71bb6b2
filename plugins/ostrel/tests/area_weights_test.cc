// Local variance and area smoothing weights.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

// The weights' arithmetic spelled out one sample at a time, in the order
// the core forms it: the presmoothing in float (a column pass over
// l = -r..r, then a row pass over k = -r..r, each sum starting at 0); the
// window sums in double (a row's first window sample by sample, then each
// step adds the sample entering less the one leaving, and their squares
// alike; the first output row's window row by row, then each output row
// takes away the row leaving and adds the one entering); the variance
// q/n - (s/n)^2, negative ones 0; the map to weights in double.  Any other
// order of these sums changes bits, and the refocused bytes with them.
struct PlainVariance {
    OwnedMatrix var;
    float vmin = 1e20f, vmax = 0.0f;
};

PlainVariance plain_variance(const Matrix &src, int ws, bool mirror)
{
    auto map = mirror ? mirror_index : wrap_index;
    int w = src.width, h = src.height, span = 2 * ws + 1;
    double n = (double)span * span;
    std::vector<double> hs((size_t)w * h), hq((size_t)w * h);
    for (int j = 0; j < h; j++) {
        auto at = [&](int e) { return (double)src.data[(size_t)j * w + map(e, w)]; };
        double s = 0, q = 0;
        for (int e = -ws; e <= ws; e++) {
            double v = at(e);
            s += v;
            q += v * v;
        }
        hs[(size_t)j * w] = s;
        hq[(size_t)j * w] = q;
        for (int i = 1; i < w; i++) {
            double vin = at(i + ws), vout = at(i - 1 - ws);
            s += vin - vout;
            q += vin * vin - vout * vout;
            hs[(size_t)j * w + i] = s;
            hq[(size_t)j * w + i] = q;
        }
    }
    PlainVariance out{ OwnedMatrix(w, h) };
    std::vector<double> as(w, 0.0), aq(w, 0.0);
    for (int l = -ws; l <= ws; l++)
        for (int i = 0; i < w; i++) {
            as[i] += hs[(size_t)map(l, h) * w + i];
            aq[i] += hq[(size_t)map(l, h) * w + i];
        }
    for (int j = 0; j < h; j++) {
        for (int i = 0; i < w; i++) {
            if (j > 0) {
                size_t o = (size_t)map(j - 1 - ws, h) * w + i, e = (size_t)map(j + ws, h) * w + i;
                as[i] = as[i] - hs[o] + hs[e];
                aq[i] = aq[i] - hq[o] + hq[e];
            }
            double mean = as[i] / n;
            double var = aq[i] / n - mean * mean;
            float v = var > 0.0 ? (float)var : 0.0f;
            out.var.at(i, j) = v;
            out.vmin = std::min(out.vmin, v);
            out.vmax = std::max(out.vmax, v);
        }
    }
    return out;
}

OwnedMatrix plain_weights(const Matrix &img, const ConvMask *pre, int ws, bool mirror, float f)
{
    auto map = mirror ? mirror_index : wrap_index;
    int w = img.width, h = img.height;
    OwnedMatrix src(w, h);
    if (pre) {
        int r = pre->radius, taps = 2 * r + 1;
        std::vector<double> fx(taps), fy(taps);
        EXPECT_TRUE(convmask_split(pre, fx.data(), fy.data(), 1));
        std::vector<float> v(w);
        for (int j = 0; j < h; j++) {
            for (int i = 0; i < w; i++) {
                float a = 0.0f;
                for (int l = -r; l <= r; l++)
                    a += (float)fy[l + r] * img.data[(size_t)map(j - l, h) * w + i];
                v[i] = a;
            }
            for (int i = 0; i < w; i++) {
                float a = 0.0f;
                for (int k = -r; k <= r; k++)
                    a += (float)fx[k + r] * v[map(i - k, w)];
                src.at(i, j) = a;
            }
        }
    } else {
        std::copy(img.data, img.data + (size_t)w * h, src.m.data);
    }
    PlainVariance pv = plain_variance(src.m, ws, mirror);
    OwnedMatrix out(w, h, 1.0f);
    float range = pv.vmax - pv.vmin;
    if (range > 0.0f) {
        double scale = (1.0 - f) / ((double)f * range);
        for (size_t k = 0; k < out.size(); k++)
            out.m.data[k] = (float)(1.0 / (1.0 + scale * (pv.var.m.data[k] - pv.vmin)));
    }
    return out;
}

bool same_bits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every form gives the plain evaluation's bits: weights with the run's
// presmoothing (seven taps), another radius and none; both boundaries;
// windows from none to larger than the image; row lengths around every
// vector step; heights with and without rows far enough from the edges
// for the rows to be presmoothed four at a time.
TEST(AreaWeights, EveryFormGivesThePlainSumsBits)
{
    CpuFormGuard guard;
    ConvMask run, narrow;
    convmask_gauss(&run, 1.0f);
    convmask_gauss(&narrow, 0.6f);
    ASSERT_EQ(3, run.radius);
    ASSERT_NE(3, narrow.radius);
    const ConvMask *masks[] = { &run, &narrow, nullptr };
    struct {
        int w, h, ws;
    } cases[] = { { 1, 1, 2 },   { 3, 2, 4 },   { 4, 13, 1 },  { 7, 23, 3 },  { 8, 5, 0 },
                  { 13, 17, 3 }, { 31, 9, 2 },  { 33, 40, 3 }, { 47, 12, 6 }, { 64, 31, 3 },
                  { 70, 20, 5 }, { 2, 41, 3 } };
    for (CpuForm form : runnable_cpu_forms()) {
        ASSERT_EQ(0, cpu_form_force(form));
        SCOPED_TRACE(cpu_form_name(form));
        for (auto c : cases)
            for (const ConvMask *pre : masks)
                for (bool mirror : { true, false }) {
                    // A faint photo on a bright level (the variance a
                    // small difference of large sums, so their rounding
                    // shows in its float).
                    OwnedMatrix img = test_photo_channel(c.w, c.h, 1, (unsigned)(c.w * 31 + c.h));
                    for (size_t k = 0; k < img.size(); k++)
                        img.m.data[k] = 180.0f + 0.013f * img.m.data[k];
                    AreaWeights aw;
                    area_weights_set_mirror(&aw, mirror);
                    area_weights_init(&aw, c.w, c.h, 0.0323f, c.ws, pre);
                    area_weights_compute(&aw, &img.m);
                    OwnedMatrix want = plain_weights(img.m, pre, c.ws, mirror, 0.0323f);
                    for (size_t k = 0; k < want.size(); k++)
                        ASSERT_TRUE(same_bits(aw.weights[k], want.m.data[k]))
                            << c.w << "x" << c.h << " window " << c.ws << " mask "
                            << (pre ? pre->radius : -1) << (mirror ? " mirror" : " periodic")
                            << " at " << k << ": " << aw.weights[k] << " vs " << want.m.data[k];
                    area_weights_destroy(&aw);
                }
    }
    convmask_destroy(&run);
    convmask_destroy(&narrow);
}

// The local variances and their extremes alike, on noise.
TEST(LocalVariance, EveryFormGivesThePlainSumsBits)
{
    CpuFormGuard guard;
    for (CpuForm form : runnable_cpu_forms()) {
        ASSERT_EQ(0, cpu_form_force(form));
        SCOPED_TRACE(cpu_form_name(form));
        for (int w : { 1, 5, 16, 19, 36 })
            for (int ws : { 0, 2, 7 })
                for (bool mirror : { true, false }) {
                    // Small differences on a large level: the variance is
                    // a small difference of large sums, so the sums'
                    // rounding shows in its float.
                    OwnedMatrix in = random_matrix(w, 14, (unsigned)(w + ws), 0, 255);
                    for (size_t k = 0; k < in.size(); k++)
                        in.m.data[k] = 1000.0f + 0.0013f * in.m.data[k];
                    OwnedMatrix out(w, 14);
                    float mn, mx;
                    if (mirror)
                        local_variance_mirror(&out.m, &in.m, &mn, &mx, ws);
                    else
                        local_variance_periodic(&out.m, &in.m, &mn, &mx, ws);
                    PlainVariance want = plain_variance(in.m, ws, mirror);
                    for (size_t k = 0; k < in.size(); k++)
                        ASSERT_TRUE(same_bits(out.m.data[k], want.var.m.data[k]))
                            << w << " wide, window " << ws << " at " << k;
                    EXPECT_TRUE(same_bits(mn, want.vmin));
                    EXPECT_TRUE(same_bits(mx, want.vmax));
                }
    }
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
