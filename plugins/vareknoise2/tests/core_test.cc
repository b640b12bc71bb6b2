// The filter core against its plain reference, and the behaviours a user
// relies on: identities of the merge, grey and alpha handling, rectangles,
// progress, short lines and awkward settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cpu_forms.h"
#include "noise_filter.h"
#include "reference_filter.h"
#include "test_images.h"
#ifdef HAVE_SYNTH_PHOTO
#include "synth_photo.h"
#endif

namespace {

using Bytes = std::vector<unsigned char>;

struct Case {
    const char *name;
    NoiseParams p;
};

NoiseParams with(void (*edit)(NoiseParams &))
{
    NoiseParams p = noise_params_defaults;
    edit(p);
    return p;
}

// Settings that reach every branch of the line filter and the merge.
std::vector<Case> settings()
{
    return {
        {"defaults", noise_params_defaults},
        {"zero_threshold", with([](NoiseParams &p) { p.effect = 0; })},
        {"texture_minus_one", with([](NoiseParams &p) { p.texture = -1; })},
        {"texture_minus_half", with([](NoiseParams &p) { p.texture = -0.5; })},
        {"texture_positive", with([](NoiseParams &p) { p.texture = 0.6; p.sharp = 1; })},
        {"gamma_one", with([](NoiseParams &p) { p.gamma = 1; p.csmooth = 0.5; })},
        {"gamma_low", with([](NoiseParams &p) { p.gamma = 0.3; p.csmooth = 0.2; p.lsmooth = 0.05; })},
        {"gamma_high", with([](NoiseParams &p) { p.gamma = 3; p.lsmooth = 0; })},
        {"lookahead_beyond_pad", with([](NoiseParams &p) { p.radius = 0.5; p.damping = 0; p.lookahead = 20; p.phase = 0; })},
        {"small_pad", with([](NoiseParams &p) { p.radius = 0.5; p.damping = 0; p.lookahead = 0.5; p.phase = 0; })},
        {"long_reach", with([](NoiseParams &p) { p.radius = 12; p.damping = 9.5; p.phase = 5; p.lookahead = 3.3; })},
        {"colour_tolerance_zero", with([](NoiseParams &p) { p.csmooth = 0; })},
        {"negative_extras", with([](NoiseParams &p) { p.phase = -3; p.damping = -2; p.lookahead = -1.5; p.sharp = -0.5; p.effect = -0.2; })},
        {"radius_zero", with([](NoiseParams &p) { p.radius = 0; p.effect = 1; })},
    };
}

Bytes filter_buffer(const NoiseParams &p, const Bytes &src, int w, int h, int bpp)
{
    Bytes dst(src.size(), 0xA5);
    EXPECT_EQ(0, noise_filter_buffer(&p, src.data(), w * bpp, dst.data(), w * bpp, w, h, bpp));
    return dst;
}

TEST(NoiseSignedPow, KeepsTheSignAndDropsTinyValues)
{
    const struct { double a, e, want; } rows[] = {
        {0.0, 2.0, 0.0}, {5e-17, 0.5, 0.0}, {-5e-17, 3.0, 0.0},
        {0.25, 0.5, 0.5}, {-0.25, 0.5, -0.5}, {8.0, 1.0 / 3.0, 2.0},
        {-8.0, 2.0, -64.0}, {0.3, 0.0, 1.0}, {-0.3, 0.0, -1.0}, {2.0, -1.0, 0.5},
    };
    for (const auto &r : rows) EXPECT_NEAR(r.want, signed_pow(r.a, r.e), 1e-12) << r.a << "^" << r.e;
    EXPECT_TRUE(std::isnan(signed_pow(NAN, 2.0)));
}

TEST(NoiseGammaTable, EndsAreExactAndEntriesFollowThePower)
{
    for (float g : {0.02f, 0.5f, 1.0f, 1.4f, 5.0f}) {
        float t[256];
        build_gamma_table(t, g);
        EXPECT_EQ(0.0f, t[0]);
        EXPECT_EQ(1.0f, t[255]);
        for (int i = 1; i < 255; i++) {
            ASSERT_NEAR(std::pow(i / 255.0, (double)g), t[i], 1e-6) << i;
            if (i > 1) {
                ASSERT_LE(t[i - 1], t[i]);
            }
        }
    }
}

TEST(NoiseCascadeBlur, MatchesReferenceForEveryLengthAndRadius)
{
    testimg::Rng rng(7);
    const double radii[] = {0, 0.3, 0.5, 1, 2.25, 5, 13.7, -0.7, -3};
    for (int m : {1, 2, 3, 4, 7, 12, 31, 64, 250})
        for (double rho : radii)
            for (int diff = 0; diff < 2; diff++)
                for (int in_place = 0; in_place < 2; in_place++) {
                    std::vector<float> x(m);
                    for (auto &v : x) v = static_cast<float>(rng.uniform());
                    std::vector<float> want = ref::cascade_blur(x, rho, diff != 0);
                    // Guard cells on both sides catch writes beyond the line.
                    std::vector<float> y(m + 8, -7.0f), copy(m + 8, -9.0f), in = x;
                    float *out = in_place ? in.data() : y.data() + 4;
                    cascade_blur(in.data(), out, m, rho, diff, copy.data() + 4);
                    for (int j = 0; j < m; j++)
                        ASSERT_EQ(want[j], out[j]) << "m=" << m << " rho=" << rho << " diff=" << diff << " j=" << j;
                    if (!in_place)
                        for (int j = 0; j < 4; j++) {
                            ASSERT_EQ(-7.0f, y[j]);
                            ASSERT_EQ(-7.0f, y[m + 4 + j]);
                        }
                }
}

TEST(NoiseCascadeBlur, InteriorHasUnitGain)
{
    for (double rho : {0.5, 2.0, 5.0, 7.3}) {
        std::vector<float> x(200, 0.4f), y(200);
        cascade_blur(x.data(), y.data(), 200, rho, 0, nullptr);
        int reach = static_cast<int>(4 * rho) + 4;
        for (int j = reach; j < 200 - reach; j++) ASSERT_NEAR(0.4f, y[j], 2e-5) << rho << " " << j;
        cascade_blur(x.data(), y.data(), 200, rho, 1, std::vector<float>(200).data());
        for (int j = reach; j < 200 - reach; j++) ASSERT_NEAR(0.0f, y[j], 2e-5);
    }
}

TEST(NoiseRadiusMap, ZeroThresholdGivesWindowsBetweenOneAndTwiceTheRadius)
{
    NoiseParams p = noise_params_defaults;
    p.effect = 0;
    for (int kind : {0, 1, 2, 4}) {
        Bytes img = testimg::make(kind, 120, 1, 1, 3 + kind);
        std::vector<float> lum(img.begin(), img.end());
        for (auto &v : lum) v /= 255.0f;
        std::vector<float> map = ref::radius_map(p, lum);
        for (float r : map) {
            ASSERT_GE(r, 1.0f);
            ASSERT_LE(r, 2.0f * 5.0f);
        }
    }
}

TEST(NoiseRadiusMap, PositiveThresholdShortensWindowsAtEdges)
{
    Bytes img = testimg::make(2, 100, 1, 1, 1);
    std::vector<float> lum(img.begin(), img.end());
    for (auto &v : lum) v /= 255.0f;
    std::vector<float> map = ref::radius_map(noise_params_defaults, lum);
    EXPECT_FLOAT_EQ(10.0f, map[5]);
    EXPECT_LT(map[50], 2.0f);  // the step between 49 and 50
    EXPECT_GE(*std::min_element(map.begin(), map.end()), 1.0f);
}

// Every setting, length, pixel size and content: production equals the
// reference byte for byte, and alpha bytes come back untouched.
TEST(NoiseProcessLine, MatchesReference)
{
    int checked = 0;
    for (const Case &c : settings())
        for (int bpp = 1; bpp <= 4; bpp++)
            for (int n : {1, 2, 3, 5, 7, 13, 40, 97, 300}) {
                NoiseFilter nf;
                ASSERT_EQ(0, noise_filter_init(&nf, &c.p, c.p.radius, c.p.lsmooth, 300)) << c.name;
                for (int kind = 0; kind < 6; kind++) {
                    Bytes data = testimg::make(kind, n, 1, bpp, 100 * n + kind);
                    Bytes guide = testimg::make((kind + 3) % 6, n, 1, bpp, 7 * n + kind);
                    Bytes want = guide, got = guide;
                    ref::process_line(c.p, data.data(), want.data(), n, bpp);
                    process_line(&nf, data.data(), got.data(), n, bpp);
                    ASSERT_EQ(want, got) << c.name << " bpp=" << bpp << " n=" << n << " kind=" << kind;
                    if (bpp == 2 || bpp == 4) {
                        for (int j = 0; j < n; j++) ASSERT_EQ(guide[j * bpp + bpp - 1], got[j * bpp + bpp - 1]);
                    }
                    checked++;
                }
                noise_filter_free(&nf);
            }
    EXPECT_EQ(14 * 4 * 9 * 6, checked);
}

// Several lines at once (every group size up to eight, different contents
// per line so that lanes cannot stand in for each other), in every vector
// form this processor runs: each line as the reference filters it alone.
TEST(NoiseProcessLines, EveryGroupSizeMatchesTheReferenceInEveryVectorForm)
{
    CpuFormGuard guard;
    const std::vector<CpuForm> forms = runnable_cpu_forms();
    int checked = 0;
    for (const Case &c : settings())
        for (int bpp = 1; bpp <= 4; bpp++)
            for (int n : {1, 4, 9, 61, 200})
                for (CpuForm form : forms) {
                    NoiseFilter nf;
                    ASSERT_EQ(0, noise_filter_init(&nf, &c.p, c.p.radius, c.p.lsmooth, 200)) << c.name;
                    ASSERT_EQ(0, cpu_form_force(form));
                    for (int count = 1; count <= NOISE_MAX_LINES; count++) {
                        std::vector<Bytes> data, want, got;
                        for (int l = 0; l < count; l++) {
                            data.push_back(testimg::make((l + n) % 6, n, 1, bpp, 31 * l + n));
                            testimg::add_noise(data.back(), bpp, 8, l + 1);
                            want.push_back(testimg::make((l + 2) % 6, n, 1, bpp, 17 * l + bpp));
                            got.push_back(want.back());
                            ref::process_line(c.p, data[l].data(), want[l].data(), n, bpp);
                        }
                        std::vector<const unsigned char *> in;
                        std::vector<unsigned char *> out;
                        for (int l = 0; l < count; l++) {
                            in.push_back(data[l].data());
                            out.push_back(got[l].data());
                        }
                        process_lines(&nf, in.data(), out.data(), count, n, bpp);
                        for (int l = 0; l < count; l++)
                            ASSERT_EQ(want[l], got[l]) << c.name << " bpp=" << bpp << " n=" << n
                                                       << " count=" << count << " line=" << l << " form=" << cpu_form_name(form);
                        checked++;
                    }
                    noise_filter_free(&nf);
                }
    EXPECT_EQ(14 * 4 * 5 * NOISE_MAX_LINES * static_cast<int>(forms.size()), checked);
}

// The working lines are reused from line to line; a short line after a
// long one must not pick up what the long one left beyond its ends.
TEST(NoiseProcessLine, ShortLinesDoNotDependOnEarlierLines)
{
    for (const Case &c : settings())
        for (int n = 1; n <= 12; n++) {
            Bytes shortline = testimg::make(0, n, 1, 3, n), longline = testimg::make(0, 400, 1, 3, 99);
            NoiseFilter fresh, used;
            ASSERT_EQ(0, noise_filter_init(&fresh, &c.p, c.p.radius, c.p.lsmooth, 400));
            ASSERT_EQ(0, noise_filter_init(&used, &c.p, c.p.radius, c.p.lsmooth, 400));
            Bytes a = longline;
            process_line(&used, longline.data(), a.data(), 400, 3);
            Bytes want = shortline, got = shortline;
            process_line(&fresh, shortline.data(), want.data(), n, 3);
            process_line(&used, shortline.data(), got.data(), n, 3);
            ASSERT_EQ(want, got) << c.name << " n=" << n;
            noise_filter_free(&fresh);
            noise_filter_free(&used);
        }
}

TEST(NoiseFilterBuffer, MatchesReferenceOnWholeImages)
{
    const int sizes[][2] = {{1, 1}, {1, 17}, {17, 1}, {2, 3}, {5, 3}, {31, 23}, {64, 48}};
    for (const Case &c : settings())
        for (const auto &s : sizes)
            for (int bpp : {1, 2, 3, 4}) {
                int kind = (s[0] + bpp) % 6;
                Bytes src = testimg::make(kind, s[0], s[1], bpp, s[0] * 31 + s[1]);
                testimg::add_noise(src, bpp, 10, 5);
                Bytes want = ref::filter_image(c.p, src, s[0], s[1], bpp);
                Bytes got = filter_buffer(c.p, src, s[0], s[1], bpp);
                ASSERT_EQ(want, got) << c.name << " " << s[0] << "x" << s[1] << " bpp=" << bpp;
            }
}

// The merge alone, pixel by pixel against the reference, over many pixel
// pairs: filtered pixels near their originals (the usual case), far from
// them, black and white ones, under settings that reach every branch of
// the fast merge and its exact fall-back (tolerances from tiny to huge,
// strong and weak gamma), in lines whose lengths cut the blocks anywhere,
// in every vector form this processor runs.
TEST(NoiseMerge, MatchesReferencePixelByPixel)
{
    std::vector<Case> cases = settings();
    cases.push_back({"lsmooth_tiny", with([](NoiseParams &p) { p.lsmooth = 1e-6; p.csmooth = 1e-5; })});
    cases.push_back({"lsmooth_huge", with([](NoiseParams &p) { p.lsmooth = 1e6; p.csmooth = 0.98; })});
    cases.push_back({"csmooth_small", with([](NoiseParams &p) { p.csmooth = 0.05; p.lsmooth = 0.3; })});
    cases.push_back({"gamma_tiny", with([](NoiseParams &p) { p.gamma = 0.02; p.csmooth = 0.7; })});
    cases.push_back({"gamma_five", with([](NoiseParams &p) { p.gamma = 5; p.csmooth = 0.7; })});
    cases.push_back({"gamma_huge", with([](NoiseParams &p) { p.gamma = 60; p.csmooth = 0.6; })});
    const int lengths[] = {1, 3, 4, 5, 63, 64, 65, 130, 257};
    CpuFormGuard guard;
    const std::vector<CpuForm> forms = runnable_cpu_forms();
    testimg::Rng rng(77);
    for (const Case &c : cases)
        for (int bpp = 1; bpp <= 4; bpp++)
            for (CpuForm form : forms) {
                NoiseFilter nf;
                ASSERT_EQ(0, noise_filter_init(&nf, &c.p, c.p.radius, c.p.lsmooth, 300)) << c.name;
                ASSERT_EQ(0, cpu_form_force(form));
                size_t checked = 0;
                for (int round = 0; round < 12; round++)
                    for (int n : lengths) {
                        Bytes o(n * bpp), f(n * bpp);
                        for (int i = 0; i < n * bpp; i++) {
                            int kind = (round + i / bpp) % 4;
                            o[i] = static_cast<unsigned char>(rng.next() & 255);
                            int spread = kind == 0 ? 3 : kind == 1 ? 20 : 255;
                            int v = o[i] + static_cast<int>(rng.next() % (2 * spread + 1)) - spread;
                            if (kind == 3) v = rng.next() & 1 ? 0 : 255;
                            f[i] = static_cast<unsigned char>(std::min(255, std::max(0, v)));
                        }
                        Bytes want = f;
                        for (int i = 0; i < n; i++)
                            ref::merge_pixel(c.p, c.p.lsmooth, &o[i * bpp], &want[i * bpp], bpp);
                        Bytes got = f;
                        noise_merge_line(&nf, o.data(), got.data(), n, bpp);
                        ASSERT_EQ(want, got) << c.name << " bpp=" << bpp << " n=" << n << " form=" << cpu_form_name(form);
                        checked += n;
                    }
                noise_filter_free(&nf);
                EXPECT_GT(checked, 6000u);
            }
}

TEST(NoiseFilterBuffer, ColourToleranceZeroGivesTheUnfilteredImage)
{
    NoiseParams p = noise_params_defaults;
    p.csmooth = 0;
    for (int bpp = 1; bpp <= 4; bpp++) {
        Bytes src = testimg::make(5, 40, 30, bpp, bpp);
        EXPECT_EQ(src, filter_buffer(p, src, 40, 30, bpp)) << bpp;
    }
}

// With csmooth >= 0.99 the merge keeps the filtered pixel plus the
// luminance correction d, the same for every colour channel.
TEST(NoiseFilterBuffer, HighColourToleranceTakesFilteredPlusLuminanceCorrection)
{
    for (double cs : {0.99, 1.0, 3.0}) {
        NoiseParams p = noise_params_defaults;
        p.csmooth = cs;
        const int w = 37, h = 29, bpp = 3;
        Bytes src = testimg::make(3, w, h, bpp, 11);
        testimg::add_noise(src, bpp, 12, 3);
        Bytes filtered = ref::filter_image(p, src, w, h, bpp);
        // Rows and columns only: filter with the merge made an identity.
        NoiseFilter nf;
        ASSERT_EQ(0, noise_filter_init(&nf, &p, p.radius, p.lsmooth, 64));
        Bytes rows = src, a(64 * bpp), b(64 * bpp);
        for (int y = 0; y < h; y++) process_line(&nf, &src[y * w * bpp], &rows[y * w * bpp], w, bpp);
        Bytes cols = rows;
        for (int x = 0; x < w; x++) {
            for (int y = 0; y < h; y++)
                for (int k = 0; k < bpp; k++) {
                    a[y * bpp + k] = rows[(y * w + x) * bpp + k];
                    b[y * bpp + k] = src[(y * w + x) * bpp + k];
                }
            process_line(&nf, a.data(), b.data(), h, bpp);
            for (int y = 0; y < h; y++)
                for (int k = 0; k < bpp; k++) cols[(y * w + x) * bpp + k] = b[y * bpp + k];
        }
        noise_filter_free(&nf);
        for (int i = 0; i < w * h; i++) {
            const unsigned char *o = &src[i * bpp], *f = &cols[i * bpp];
            float of[3], ff[3];
            for (int c = 0; c < 3; c++) { of[c] = o[c] / 255.0f; ff[c] = f[c] / 255.0f; }
            double Lo = 0.212671 * of[0] + 0.71516 * of[1] + 0.072169 * of[2];
            double Lf = 0.212671 * ff[0] + 0.71516 * ff[1] + 0.072169 * ff[2];
            double d = (Lo - Lf) * std::pow(2 * Lf, 0.4);
            d *= 1 - std::exp(-d * d / 2);
            for (int c = 0; c < 3; c++) {
                double v = std::min(255.0, std::max(0.0, std::floor((ff[c] + d) * 255 + 0.5)));
                ASSERT_NEAR(v, filtered[i * bpp + c], 1.0) << i;
            }
        }
        ASSERT_EQ(ref::filter_image(p, src, w, h, bpp), filter_buffer(p, src, w, h, bpp));
    }
}

TEST(NoiseFilterBuffer, GreyIsOneChannelAndAlphaIsKept)
{
    const int w = 45, h = 33;
    Bytes grey = testimg::make(3, w, h, 1, 21);
    testimg::add_noise(grey, 1, 10, 2);
    Bytes grey_alpha(w * h * 2), rgb(w * h * 3), rgba(w * h * 4);
    testimg::Rng rng(4);
    for (int i = 0; i < w * h; i++) {
        grey_alpha[2 * i] = grey[i];
        grey_alpha[2 * i + 1] = static_cast<unsigned char>(rng.next());
        for (int c = 0; c < 3; c++) rgb[3 * i + c] = rgba[4 * i + c] = grey[i];
        rgba[4 * i + 3] = static_cast<unsigned char>(rng.next());
    }
    Bytes g = filter_buffer(noise_params_defaults, grey, w, h, 1);
    Bytes ga = filter_buffer(noise_params_defaults, grey_alpha, w, h, 2);
    Bytes c3 = filter_buffer(noise_params_defaults, rgb, w, h, 3);
    Bytes c4 = filter_buffer(noise_params_defaults, rgba, w, h, 4);
    int off_by_one = 0;
    for (int i = 0; i < w * h; i++) {
        ASSERT_EQ(g[i], ga[2 * i]) << i;
        ASSERT_EQ(grey_alpha[2 * i + 1], ga[2 * i + 1]);
        ASSERT_EQ(rgba[4 * i + 3], c4[4 * i + 3]);
        for (int c = 0; c < 3; c++) {
            ASSERT_EQ(c3[3 * i + c], c4[4 * i + c]);
            // Grey pixels in colour: the same smoothing, guide and merge up
            // to the rounding of the two luminance formulas.
            ASSERT_LE(std::abs(c3[3 * i + c] - g[i]), 1) << i;
        }
        off_by_one += c3[3 * i] != g[i];
    }
    EXPECT_LT(off_by_one, w * h / 50);
    EXPECT_NE(grey, g);  // it did filter
}

TEST(NoiseFilterBuffer, FlatAreasStayFlat)
{
    for (int level : {0, 1, 77, 128, 254, 255})
        for (const Case &c : settings()) {
            if (std::string(c.name) == "negative_extras") continue;  // blurs of negative width have no unit gain
            Bytes src(48 * 36 * 3, static_cast<unsigned char>(level));
            ASSERT_EQ(src, filter_buffer(c.p, src, 48, 36, 3)) << c.name << " level " << level;
        }
}

TEST(NoiseFilterBuffer, TextureMinusOneBehavesAsTheNearestDialogStep)
{
    const int w = 50, h = 40;
    Bytes src = testimg::make(3, w, h, 3, 8);
    testimg::add_noise(src, 3, 10, 9);
    NoiseParams a = noise_params_defaults, b = noise_params_defaults;
    a.texture = -1;
    b.texture = -0.99;
    Bytes fa = filter_buffer(a, src, w, h, 3);
    EXPECT_EQ(filter_buffer(b, src, w, h, 3), fa);
    double mad = 0;
    for (size_t i = 0; i < src.size(); i++) mad += std::abs(src[i] - fa[i]);
    EXPECT_LT(mad / src.size(), 12.0);  // a filtered picture, not noise
}

// Only the rectangle is read or written, its edges act as image edges, and
// a run without progress (the preview) gives the same pixels as one with.
struct Recorder {
    int w, h, bpp;
    Bytes src, dst;
    int x1, x2, y1, y2;
    bool outside = false;
    std::vector<std::string> messages;
    Recorder(int w_, int h_, int bpp_, Bytes s, Bytes d, int a, int b, int c, int e)
        : w(w_), h(h_), bpp(bpp_), src(std::move(s)), dst(std::move(d)), x1(a), x2(b), y1(c), y2(e) {}
    std::vector<double> fractions;
    void check(int x, int y) { outside |= x < x1 || x >= x2 || y < y1 || y >= y2; }
    unsigned char *at(Bytes &b, int x, int y) { return &b[(static_cast<size_t>(y) * w + x) * bpp]; }
};

void rec_get_row(void *ctx, int from_dst, unsigned char *buf, int x, int y, int w)
{
    auto *r = static_cast<Recorder *>(ctx);
    for (int i = 0; i < w; i++) {
        r->check(x + i, y);
        std::memcpy(buf + i * r->bpp, r->at(from_dst ? r->dst : r->src, x + i, y), r->bpp);
    }
}
void rec_set_row(void *ctx, const unsigned char *buf, int x, int y, int w)
{
    auto *r = static_cast<Recorder *>(ctx);
    for (int i = 0; i < w; i++) {
        r->check(x + i, y);
        std::memcpy(r->at(r->dst, x + i, y), buf + i * r->bpp, r->bpp);
    }
}
void rec_get_col(void *ctx, int from_dst, unsigned char *buf, int x, int y, int h)
{
    auto *r = static_cast<Recorder *>(ctx);
    for (int i = 0; i < h; i++) {
        r->check(x, y + i);
        std::memcpy(buf + i * r->bpp, r->at(from_dst ? r->dst : r->src, x, y + i), r->bpp);
    }
}
void rec_set_col(void *ctx, const unsigned char *buf, int x, int y, int h)
{
    auto *r = static_cast<Recorder *>(ctx);
    for (int i = 0; i < h; i++) {
        r->check(x, y + i);
        std::memcpy(r->at(r->dst, x, y + i), buf + i * r->bpp, r->bpp);
    }
}
void rec_init(void *ctx, const char *m) { static_cast<Recorder *>(ctx)->messages.push_back(m); }
void rec_update(void *ctx, double f) { static_cast<Recorder *>(ctx)->fractions.push_back(f); }

TEST(NoiseFilterRun, ReadsAndWritesOnlyTheRectangleAndReportsProgress)
{
    const int W = 60, H = 50, bpp = 4;
    const int rects[][4] = {{7, 40, 5, 33}, {0, 60, 0, 50}, {59, 60, 10, 30}, {3, 9, 49, 50}, {10, 12, 10, 12}};
    for (const auto &rc : rects)
        for (int progress = 0; progress < 2; progress++) {
            Recorder r(W, H, bpp, testimg::make(5, W, H, bpp, 17), Bytes(W * H * bpp, 0xEE), rc[0], rc[1], rc[2], rc[3]);
            NoiseRegionIo io = {&r, rec_get_row, rec_set_row, rec_get_col, rec_set_col,
                                progress ? rec_init : nullptr, progress ? rec_update : nullptr};
            const NoiseParams &p = noise_params_defaults;
            ASSERT_EQ(0, noise_filter_run(&p, p.radius, p.lsmooth, bpp, rc[0], rc[1], rc[2], rc[3], &io));
            EXPECT_FALSE(r.outside);
            int w = rc[1] - rc[0], h = rc[3] - rc[2];
            Bytes crop;
            for (int y = rc[2]; y < rc[3]; y++)
                for (int x = rc[0]; x < rc[1]; x++) crop.insert(crop.end(), r.at(r.src, x, y), r.at(r.src, x, y) + bpp);
            Bytes want = ref::filter_image(p, crop, w, h, bpp);
            for (int y = 0; y < H; y++)
                for (int x = 0; x < W; x++)
                    for (int k = 0; k < bpp; k++) {
                        bool inside = x >= rc[0] && x < rc[1] && y >= rc[2] && y < rc[3];
                        int v = r.at(r.dst, x, y)[k];
                        int expect = inside ? want[((y - rc[2]) * w + x - rc[0]) * bpp + k] : 0xEE;
                        ASSERT_EQ(expect, v) << x << "," << y;
                    }
            if (progress) {
                ASSERT_EQ((std::vector<std::string>{"Blurring...", "Merging..."}), r.messages);
                size_t expect_updates = (h + 7) / 8 * 2 + (w + 7) / 8 + 1;
                ASSERT_EQ(expect_updates, r.fractions.size());
                EXPECT_EQ(0.0, r.fractions.back());
                for (size_t i = 0; i + 1 < r.fractions.size(); i++) {
                    EXPECT_GE(r.fractions[i], 0.0);
                    EXPECT_LT(r.fractions[i], 1.0);
                    if (i + 2 < r.fractions.size()) {
                        EXPECT_LE(r.fractions[i], r.fractions[i + 1]);
                    }
                }
            } else {
                EXPECT_TRUE(r.messages.empty() && r.fractions.empty());
            }
        }
}

TEST(NoiseFilterRun, RefusesBadArgumentsWithoutWriting)
{
    Recorder r(4, 4, 3, Bytes(48, 1), Bytes(48, 2), 0, 4, 0, 4);
    NoiseRegionIo io = {&r, rec_get_row, rec_set_row, rec_get_col, rec_set_col, nullptr, nullptr};
    NoiseParams nan = noise_params_defaults;
    nan.sharp = NAN;
    EXPECT_EQ(-1, noise_filter_run(&nan, 5, 1, 3, 0, 4, 0, 4, &io));
    EXPECT_EQ(-1, noise_filter_run(&noise_params_defaults, 5, 1, 5, 0, 4, 0, 4, &io));
    EXPECT_EQ(-1, noise_filter_run(&noise_params_defaults, 5, 1, 3, 3, 2, 0, 4, &io));
    EXPECT_EQ(-1, noise_filter_run(&noise_params_defaults, NAN, 1, 3, 0, 4, 0, 4, &io));
    EXPECT_EQ(Bytes(48, 2), r.dst);
}

TEST(NoiseFilterBuffer, LowersTheErrorOfANoisyPhoto)
{
    const int w = 256, h = 192;
    Bytes clean(w * h * 3);
#ifdef HAVE_SYNTH_PHOTO
    synth_photo(clean.data(), w, h, w * 3, 1);
#else
    clean = testimg::make(3, w, h, 3, 1);
#endif
    Bytes noisy = clean;
    testimg::add_noise(noisy, 3, 10, 42);
    Bytes out = filter_buffer(noise_params_defaults, noisy, w, h, 3);
    double before = testimg::psnr(clean, noisy, 3), after = testimg::psnr(clean, out, 3);
    RecordProperty("psnr_before", std::to_string(before));
    RecordProperty("psnr_after", std::to_string(after));
    std::printf("PSNR against the clean photo: noisy %.2f dB, filtered %.2f dB\n", before, after);
    EXPECT_GT(after, before + 1.0);
}

}  // namespace
