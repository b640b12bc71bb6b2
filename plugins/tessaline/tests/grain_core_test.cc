/* The fast grain core against the plain 49-sample evaluation, the rule's
 * worked cases, edge repetition, tiling and the stored block layout. */
#include "cpu_forms.h"
#include "grain_core.h"
#include "grain_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> noise(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    uint32_t s = seed * 2654435761u + 1;
    for (auto &b : v) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = (uint8_t)(s >> 24);
    }
    return v;
}

enum class Kind { Random, Flat, Edge, Impulse, Grain };

const char *kind_name(Kind k)
{
    switch (k) {
    case Kind::Random: return "random";
    case Kind::Flat: return "flat";
    case Kind::Edge: return "edge";
    case Kind::Impulse: return "impulse";
    case Kind::Grain: return "grain";
    }
    return "?";
}

/* Pictures that exercise every branch of the rule: pure noise (large
 * variance), flat (zero deviation), a step edge, one impulse, and a smooth
 * ramp with small grain (deviations near the levels). */
std::vector<uint8_t> picture(Kind k, int w, int h, int bpp, uint32_t seed)
{
    std::vector<uint8_t> px = noise((size_t)w * h * bpp, seed);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < bpp; c++) {
                uint8_t &v = px[((size_t)y * w + x) * bpp + c];
                switch (k) {
                case Kind::Random: break;
                case Kind::Flat: v = (uint8_t)(90 + 40 * c); break;
                case Kind::Edge: v = (uint8_t)(x * 3 < w * 2 - y ? 30 + c : 220 - c); break;
                case Kind::Impulse: v = (x == w / 2 && y == h / 2) ? 200 : 100; break;
                case Kind::Grain:
                    v = (uint8_t)(60 + (x + 2 * y) % 120 + (v % 41) - 20);
                    break;
                }
            }
    return px;
}

struct LevelSet {
    int32_t l[GRAIN_MAX_BPP];
};

const LevelSet level_sets[] = {
    {{15, 10, 20, 15}},
    {{0, 0, 0, 0}},
    {{99, 1, 50, 30}},
    {{-15, 255, 256, 7}},
    /* Squares beyond 32 bits: the rule must still be defined and equal the
     * exact (64-bit) evaluation. */
    {{46341, -46341, INT32_MAX, INT32_MIN}},
};

/* Output rows padded beyond the image and pre-filled with a sentinel, so a
 * write outside the image or a pixel never written shows up. */
constexpr uint8_t sentinel = 0xA5;
constexpr int pad_bytes = 5;

std::vector<uint8_t> fast_filter(const std::vector<uint8_t> &src, int w, int h, int bpp,
                                 const int32_t *levels)
{
    const size_t row = (size_t)w * bpp, stride = row + pad_bytes;
    std::vector<uint8_t> out(stride * h, sentinel);
    EXPECT_EQ(grain_filter_image(src.data(), row, w, h, bpp, levels, out.data(), stride), 0);
    for (int y = 0; y < h; y++)
        for (int k = 0; k < pad_bytes; k++)
            EXPECT_EQ(out[y * stride + row + k], sentinel) << "written beyond row " << y;
    std::vector<uint8_t> packed;
    for (int y = 0; y < h; y++)
        packed.insert(packed.end(), out.begin() + y * stride, out.begin() + y * stride + row);
    return packed;
}

std::vector<uint8_t> reference_filter(const std::vector<uint8_t> &src, int w, int h, int bpp,
                                      const int32_t *levels)
{
    std::vector<uint8_t> out(src.size(), sentinel);
    grain_reference_image(src.data(), (size_t)w * bpp, w, h, bpp, levels, out.data());
    return out;
}

/* ---- fast core == reference ------------------------------------------- */

struct Size {
    int w, h;
};

std::string case_name(const testing::TestParamInfo<std::tuple<Size, Kind, int>> &info)
{
    const auto [size, kind, bpp] = info.param;
    return std::string(kind_name(kind)) + "_" + std::to_string(size.w) + "x" +
           std::to_string(size.h) + "_bpp" + std::to_string(bpp);
}

class MatchesReference
    : public testing::TestWithParam<std::tuple<Size, Kind, int /*bpp*/>> {};

TEST_P(MatchesReference, EveryLevelSet)
{
    const auto [size, kind, bpp] = GetParam();
    const auto src = picture(kind, size.w, size.h, bpp, size.w * 7 + size.h);
    CpuFormGuard guard;
    for (CpuForm form : runnable_cpu_forms()) {
        ASSERT_EQ(cpu_form_force(form), 0);
        SCOPED_TRACE(cpu_form_name(form));
        for (const LevelSet &ls : level_sets) {
            const auto want = reference_filter(src, size.w, size.h, bpp, ls.l);
            const auto got = fast_filter(src, size.w, size.h, bpp, ls.l);
            ASSERT_EQ(got.size(), want.size());
            size_t bad = 0;
            while (bad < got.size() && got[bad] == want[bad])
                bad++;
            ASSERT_EQ(bad, got.size())
                << kind_name(kind) << " " << size.w << "x" << size.h << " bpp " << bpp
                << " levels " << ls.l[0] << "," << ls.l[1] << "," << ls.l[2] << ": first difference at pixel "
                << bad / bpp % size.w << "," << bad / bpp / size.w << " channel " << bad % bpp
                << ": " << (int)got[bad] << " vs " << (int)want[bad];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MatchesReference,
    testing::Combine(testing::Values(Size{1, 1}, Size{2, 3}, Size{6, 6}, Size{7, 7}, Size{8, 5},
                                     Size{1, 40}, Size{40, 1}, Size{64, 64}, Size{65, 63},
                                     Size{130, 70}, Size{200, 129}),
                     testing::Values(Kind::Random, Kind::Flat, Kind::Edge, Kind::Impulse,
                                     Kind::Grain),
                     testing::Values(3)),
    case_name);

INSTANTIATE_TEST_SUITE_P(OtherDepths, MatchesReference,
                         testing::Combine(testing::Values(Size{5, 4}, Size{67, 33}),
                                          testing::Values(Kind::Random, Kind::Grain),
                                          testing::Values(1, 2, 4)),
                         case_name);

/* ---- the rule's worked cases ------------------------------------------ */

/* A 7 x 7 flat neighbourhood of `around` with `centre` in the middle; the
 * expected values follow from the integer rule by hand:
 *   110, level 15: S = 4910, mean 100, var 2, d2 100 < 225    -> mean 100
 *   122, level 15: d2 484 >= 2 * 225                           -> kept 122
 *   118, level 15: d2 324, blend 100 + 18 * 99 / 225           -> 107
 *    82, level 15: mean 99, diff -17, 99 + (-17 * 64) / 225    -> 95 (truncated toward zero)
 *   110, level 0: 2 * L2 = 0 <= d2                             -> kept 110 */
struct RuleCase {
    int around, centre, level, want;
};

class WorkedCase : public testing::TestWithParam<RuleCase> {};

TEST_P(WorkedCase, CentreOfFlatPatch)
{
    const RuleCase rc = GetParam();
    std::vector<uint8_t> px(7 * 7 * 3, (uint8_t)rc.around);
    for (int c = 0; c < 3; c++)
        px[(3 * 7 + 3) * 3 + c] = (uint8_t)rc.centre;
    const int32_t levels[3] = {rc.level, rc.level, rc.level};
    const auto out = fast_filter(px, 7, 7, 3, levels);
    for (int c = 0; c < 3; c++)
        EXPECT_EQ(out[(3 * 7 + 3) * 3 + c], rc.want) << "channel " << c;

    int v[49];
    for (int k = 0; k < 49; k++)
        v[k] = k == 24 ? rc.centre : rc.around;
    EXPECT_EQ(grain_reference_rule(v, rc.level), rc.want);
}

INSTANTIATE_TEST_SUITE_P(Rule, WorkedCase,
                         testing::Values(RuleCase{100, 110, 15, 100}, RuleCase{100, 122, 15, 122},
                                         RuleCase{100, 118, 15, 107}, RuleCase{100, 82, 15, 95},
                                         RuleCase{100, 110, 0, 110}, RuleCase{100, 110, -15, 100},
                                         RuleCase{0, 255, INT32_MAX, 5},
                                         RuleCase{255, 0, INT32_MIN, 249}),
                         [](const testing::TestParamInfo<RuleCase> &i) {
                             const RuleCase &c = i.param;
                             return std::to_string(c.centre) + "_among_" + std::to_string(c.around) +
                                    "_level_" + (c.level < 0 ? "minus" : "") +
                                    std::to_string(c.level < 0 ? -(int64_t)c.level : c.level);
                         });

/* The rule with its divisions written out, in 64 bits. */
int rule_by_division(int64_t S, int64_t Q, int64_t centre, int64_t L2)
{
    const int64_t mean = S / 49;
    const int64_t var = (Q - (S * S) / 49) / 48;
    const int64_t diff = centre - mean;
    const int64_t d2 = diff * diff;
    if (d2 <= var || d2 >= 2 * L2)
        return (int)centre;
    if (d2 < L2)
        return (int)mean;
    return (int)(mean + (diff * (d2 - L2)) / L2);
}

/* The production rule replaces every division by multiplications and
 * comparisons; it must agree over the whole range of window sums. */
TEST(GrainCore, DivisionFreeRuleMatchesDivisions)
{
    const int32_t l2s[] = {0, 1, 2, 3, 4, 5, 100, 225, 400, 1023, 1024, 1025, 9801, 65025, 65536};
    long checked = 0;
    for (int64_t S = 0; S <= 49 * 255; S += 13) {
        const int64_t qmin = (S * S + 48) / 49, qmax = 49 * 255 * 255;
        for (int i = 0; i < 12; i++) {
            /* Window variances from 0 up to the largest possible. */
            const int64_t Q = std::min(qmax, qmin + (i < 6 ? i * 30 : (int64_t)1 << (2 * i)));
            if (49 * Q < S * S)
                continue;
            for (int centre = 0; centre < 256; centre += 5)
                for (int32_t l2 : l2s) {
                    ASSERT_EQ(grain_rule((int32_t)S, (int32_t)Q, centre, l2),
                              rule_by_division(S, Q, centre, l2))
                        << "S " << S << " Q " << Q << " centre " << centre << " l2 " << l2;
                    checked++;
                }
        }
    }
    EXPECT_GT(checked, 1000000);
}

TEST(GrainCore, LevelZeroAndFlatImagesAreUnchanged)
{
    const int32_t zero[3] = {0, 0, 0};
    const int32_t high[3] = {99, 99, 99};
    for (Kind k : {Kind::Random, Kind::Edge, Kind::Grain}) {
        const auto src = picture(k, 50, 37, 3, 3);
        EXPECT_EQ(fast_filter(src, 50, 37, 3, zero), src) << kind_name(k);
    }
    const auto flat = picture(Kind::Flat, 50, 37, 3, 3);
    EXPECT_EQ(fast_filter(flat, 50, 37, 3, high), flat);
}

TEST(GrainCore, OnlyTheChannelWithALevelChanges)
{
    const auto src = picture(Kind::Grain, 40, 30, 3, 11);
    for (int c = 0; c < 3; c++) {
        int32_t levels[3] = {0, 0, 0};
        levels[c] = 40;
        const auto out = fast_filter(src, 40, 30, 3, levels);
        size_t changed = 0;
        for (size_t i = 0; i < out.size(); i++) {
            if ((int)(i % 3) != c)
                ASSERT_EQ(out[i], src[i]) << "sample " << i;
            else
                changed += out[i] != src[i];
        }
        EXPECT_GT(changed, 100u) << "channel " << c;
    }
}

TEST(GrainCore, LevelSquareIsDefinedForEveryLevel)
{
    EXPECT_EQ(grain_level_square(0), 0);
    EXPECT_EQ(grain_level_square(15), 225);
    EXPECT_EQ(grain_level_square(-15), 225);
    EXPECT_EQ(grain_level_square(255), 65025);
    /* Beyond 255 no squared deviation can reach the level: saturated. */
    for (int32_t l : {256, 257, 46340, 46341, INT32_MAX, -256, INT32_MIN + 1, INT32_MIN})
        EXPECT_EQ(grain_level_square(l), 65536) << l;
}

/* ---- borders and tiles ------------------------------------------------- */

TEST(GrainCore, ExtendEdgesRepeatsNearestFilledPixel)
{
    const int w = 11, h = 9, bpp = 3;
    const struct { int x0, x1, y0, y1; } rects[] = {
        {0, 11, 0, 9}, {3, 8, 3, 6}, {0, 1, 0, 1}, {10, 11, 8, 9}, {0, 11, 4, 5}, {5, 6, 0, 9}};
    for (const auto &r : rects) {
        auto buf = noise((size_t)w * h * bpp, r.x0 * 10 + r.y1);
        const auto orig = buf;
        grain_extend_edges(buf.data(), (size_t)w * bpp, w, h, bpp, r.x0, r.x1, r.y0, r.y1);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const int sx = std::min(std::max(x, r.x0), r.x1 - 1);
                const int sy = std::min(std::max(y, r.y0), r.y1 - 1);
                for (int c = 0; c < bpp; c++)
                    ASSERT_EQ(buf[(y * w + x) * bpp + c], orig[(sy * w + sx) * bpp + c])
                        << "rect " << r.x0 << ".." << r.x1 << " x " << r.y0 << ".." << r.y1
                        << " at " << x << "," << y;
            }
    }
}

/* The plug-in filters tile by tile from a buffer holding the tile and its
 * margin (true neighbours inside the image, repeated edges outside); the
 * result must not depend on the tiling. */
TEST(GrainCore, TileByTileEqualsWholeImage)
{
    const int W = 150, H = 97, bpp = 3;
    const auto src = picture(Kind::Grain, W, H, bpp, 5);
    const int32_t levels[3] = {15, 10, 20};
    const auto whole = reference_filter(src, W, H, bpp, levels);
    const Size tiles[] = {{64, 64}, {7, 7}, {1, 1}, {13, 5}, {150, 97}};
    for (const Size t : tiles) {
        std::vector<uint8_t> out(src.size(), sentinel);
        std::vector<int32_t> scratch(grain_scratch_count(t.w, bpp));
        for (int ty = 0; ty < H; ty += t.h)
            for (int tx = 0; tx < W; tx += t.w) {
                const int w = std::min(t.w, W - tx), h = std::min(t.h, H - ty);
                const int bw = w + 6, bh = h + 6, x = tx - 3, y = ty - 3;
                std::vector<uint8_t> buf((size_t)bw * bh * bpp, 0);
                const int x0 = std::max(0, -x), x1 = std::min(bw, W - x);
                const int y0 = std::max(0, -y), y1 = std::min(bh, H - y);
                for (int r = y0; r < y1; r++)
                    memcpy(&buf[((size_t)r * bw + x0) * bpp],
                           &src[((size_t)(y + r) * W + x + x0) * bpp], (size_t)(x1 - x0) * bpp);
                grain_extend_edges(buf.data(), (size_t)bw * bpp, bw, bh, bpp, x0, x1, y0, y1);
                grain_filter_block(buf.data(), (size_t)bw * bpp,
                                   &out[((size_t)ty * W + tx) * bpp], (size_t)W * bpp, w, h, bpp,
                                   levels, scratch.data());
            }
        EXPECT_EQ(out, whole) << "tiles " << t.w << "x" << t.h;
    }
}

TEST(GrainCore, BadArgumentsLeaveOutputUntouched)
{
    const auto src = noise(4 * 4 * 3, 1);
    const int32_t levels[4] = {15, 10, 20, 5};
    std::vector<uint8_t> out(src.size(), sentinel);
    EXPECT_EQ(grain_filter_image(src.data(), 12, 0, 4, 3, levels, out.data(), 12), -1);
    EXPECT_EQ(grain_filter_image(src.data(), 12, 4, -1, 3, levels, out.data(), 12), -1);
    EXPECT_EQ(grain_filter_image(src.data(), 12, 4, 4, 0, levels, out.data(), 12), -1);
    EXPECT_EQ(grain_filter_image(src.data(), 12, 4, 4, 5, levels, out.data(), 12), -1);
    EXPECT_EQ(grain_filter_image(nullptr, 12, 4, 4, 3, levels, out.data(), 12), -1);
    EXPECT_EQ(grain_filter_image(src.data(), 12, 4, 4, 3, nullptr, out.data(), 12), -1);
    EXPECT_EQ(grain_filter_image(src.data(), 12, INT_MAX, 4, 3, levels, out.data(), 12), -1);
    EXPECT_EQ(out, std::vector<uint8_t>(src.size(), sentinel));
}

/* ---- the stored block -------------------------------------------------- */

TEST(GrainParamsBlock, LittleEndianTwelveBytes)
{
    const GrainParams p = {15, -10, INT32_MIN};
    uint8_t b[GRAIN_PARAMS_BYTES];
    grain_params_to_bytes(&p, b);
    const uint8_t want[12] = {15, 0, 0, 0, 0xf6, 0xff, 0xff, 0xff, 0, 0, 0, 0x80};
    EXPECT_EQ(0, memcmp(b, want, 12));
    GrainParams q = {0, 0, 0};
    grain_params_from_bytes(&q, b);
    EXPECT_EQ(q.red, 15);
    EXPECT_EQ(q.green, -10);
    EXPECT_EQ(q.blue, INT32_MIN);
    static_assert(sizeof(GrainParams) == GRAIN_PARAMS_BYTES, "record is the block");
}

} // namespace
