// The stored 88-byte block and the refusal of settings the filter cannot
// compute safely.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "noise_filter.h"
#include "noise_params.h"

namespace {

TEST(NoiseParamsBlock, DefaultsHaveTheStoredLayout)
{
    unsigned char blob[NOISE_PARAMS_BLOB_SIZE];
    std::memset(blob, 0xCC, sizeof blob);
    noise_params_pack(&noise_params_defaults, blob);
    // Little-endian IEEE doubles at 8-byte steps, then the flag and padding.
    const struct { int offset; unsigned long long bits; } fields[] = {
        {0, 0x4014000000000000ull},  {8, 0x3FF0000000000000ull},  {16, 0x3FF0000000000000ull},
        {24, 0x3FC0A3D70A3D70A4ull}, {32, 0x4000000000000000ull}, {40, 0x3FF6666666666666ull},
        {48, 0x4014000000000000ull}, {56, 0x4000000000000000ull}, {64, 0x0000000000000000ull},
        {72, 0x3FD0000000000000ull},
    };
    for (const auto &f : fields)
        for (int i = 0; i < 8; i++)
            ASSERT_EQ(static_cast<unsigned char>(f.bits >> (8 * i)), blob[f.offset + i]) << f.offset << "+" << i;
    const unsigned char tail[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(tail, blob + 80, 8));
    EXPECT_EQ(88u, sizeof(NoiseParams));
    // On this (little-endian) host the block is also the record's raw bytes.
    EXPECT_EQ(0, std::memcmp(&noise_params_defaults, blob, 88));
}

TEST(NoiseParamsBlock, RoundTripsEveryFieldAndThePreviewFlag)
{
    NoiseParams p = {0.5, 0, 0.37, 1, 20, 0.02, 20, 10, -1, 1, 0, 0};
    unsigned char blob[NOISE_PARAMS_BLOB_SIZE];
    noise_params_pack(&p, blob);
    EXPECT_EQ(0, blob[80]);
    NoiseParams q = noise_params_defaults;
    ASSERT_EQ(0, noise_params_unpack(&q, blob, sizeof blob));
    EXPECT_EQ(0, std::memcmp(&p, &q, sizeof p));
    p.preview = 1;
    noise_params_pack(&p, blob);
    ASSERT_EQ(0, noise_params_unpack(&q, blob, sizeof blob));
    EXPECT_EQ(1, q.preview);
}

TEST(NoiseParamsBlock, WrongSizesLeaveTheRecordAlone)
{
    unsigned char blob[100] = {0};
    for (size_t size : {0u, 1u, 72u, 87u, 89u, 100u}) {
        NoiseParams q = noise_params_defaults;
        EXPECT_EQ(-1, noise_params_unpack(&q, blob, size)) << size;
        EXPECT_EQ(0, std::memcmp(&q, &noise_params_defaults, sizeof q));
    }
    NoiseParams q = noise_params_defaults;
    EXPECT_EQ(-1, noise_params_unpack(&q, nullptr, 88));
}

double &field(NoiseParams &p, int i)
{
    double *f[10] = {&p.radius, &p.lsmooth, &p.csmooth, &p.effect, &p.lookahead,
                     &p.gamma, &p.damping, &p.phase, &p.texture, &p.sharp};
    return *f[i];
}

TEST(NoiseParamsCheck, RefusesNonFiniteValuesInEveryField)
{
    const double bad[] = {NAN, INFINITY, -INFINITY};
    for (int i = 0; i < 10; i++)
        for (double v : bad) {
            NoiseParams p = noise_params_defaults;
            field(p, i) = v;
            const char *why = nullptr;
            EXPECT_EQ(-1, noise_params_check(&p, &why)) << i;
            EXPECT_NE(nullptr, why);
            NoiseFilter nf;
            EXPECT_EQ(-1, noise_filter_init(&nf, &p, 5, 1, 10));
        }
}

TEST(NoiseParamsCheck, RefusesNegativeRadiusAndLuminanceTolerance)
{
    NoiseParams p = noise_params_defaults;
    p.radius = -0.1;
    EXPECT_EQ(-1, noise_params_check(&p, nullptr));
    p = noise_params_defaults;
    p.lsmooth = -1e-9;
    EXPECT_EQ(-1, noise_params_check(&p, nullptr));
}

TEST(NoiseParamsCheck, RefusesReachesNeedingAbsurdMemory)
{
    for (int i : {0, 4, 6, 7}) {  // radius, lookahead, damping, phase
        for (double v : {1e6, 1e12, 1e300, -1e12}) {
            NoiseParams p = noise_params_defaults;
            field(p, i) = v;
            if (i == 0 && v < 0) continue;  // refused as negative anyway
            EXPECT_EQ(-1, noise_params_check(&p, nullptr)) << i << " " << v;
        }
        NoiseParams p = noise_params_defaults;
        field(p, i) = 1000;  // large but affordable
        EXPECT_EQ(0, noise_params_check(&p, nullptr)) << i;
    }
}

TEST(NoiseParamsCheck, AcceptsOtherValuesWithoutRangeChecks)
{
    const struct { int field; double v; } rows[] = {
        {2, -3}, {2, 50}, {3, -0.5}, {3, 7}, {5, -2}, {5, 0}, {8, -4}, {8, 9}, {9, -3}, {9, 1e30},
        {4, -2}, {6, -30}, {7, -4.5}, {1, 0}, {0, 0},
    };
    for (const auto &r : rows) {
        NoiseParams p = noise_params_defaults;
        field(p, r.field) = r.v;
        ASSERT_EQ(0, noise_params_check(&p, nullptr)) << r.field << " " << r.v;
        // Runs to completion on a noisy image (the sanitizer tree watches
        // every access).
        const int w = 23, h = 9;
        std::vector<unsigned char> src(w * h * 3), dst(w * h * 3);
        for (size_t k = 0; k < src.size(); k++) src[k] = static_cast<unsigned char>(k * 37 % 251);
        ASSERT_EQ(0, noise_filter_buffer(&p, src.data(), w * 3, dst.data(), w * 3, w, h, 3));
    }
}

TEST(NoiseDerive, FollowsTheDefinitions)
{
    NoiseDerived d;
    noise_derive(&noise_params_defaults, 5.0, &d);
    EXPECT_EQ(176, d.border);  // (25 + 2 + 5 + 2) * 4 + 40
    EXPECT_EQ(31, d.pad);      // 20 + 5 + 2 + 2 + 2
    EXPECT_EQ(31, d.reach);
    EXPECT_EQ(4, d.L);
    EXPECT_EQ(2, d.ph);
    EXPECT_FLOAT_EQ(5.0f, d.r1);
    EXPECT_DOUBLE_EQ(0.13 * 0.13, d.thr2);
    EXPECT_EQ(1.0f, d.tex_e);

    NoiseParams p = noise_params_defaults;
    p.radius = 0.2;
    p.damping = 0;
    p.lookahead = 20;
    p.phase = 0;
    noise_derive(&p, p.radius, &d);
    EXPECT_EQ(24, d.pad);  // 2 + 20 + 2
    EXPECT_EQ(40, d.L);
    EXPECT_EQ(40, d.reach);  // the mirror reaches the sharpening taps
    EXPECT_FLOAT_EQ(0.5f, d.r1);
    EXPECT_GE(d.margin, d.reach + 2);
    p.lookahead = 0.5;
    noise_derive(&p, p.radius, &d);
    EXPECT_EQ(4, d.pad);
    EXPECT_EQ(6, d.reach);  // every sample gets a window length
    p.texture = -1;
    noise_derive(&p, p.radius, &d);
    EXPECT_FLOAT_EQ(0.01f, d.tex_e);
    EXPECT_FLOAT_EQ(100.0f, d.tex_einv);
}

}  // namespace
