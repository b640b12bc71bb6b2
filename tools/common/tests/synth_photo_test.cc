#include "synth_photo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

std::vector<unsigned char> Draw(int w, int h, unsigned seed)
{
    std::vector<unsigned char> px((size_t)w * h * 3);
    synth_photo(px.data(), w, h, w * 3, seed);
    return px;
}

TEST(SynthPhoto, SameSeedSameBytesOtherSeedOtherPicture)
{
    EXPECT_EQ(Draw(97, 61, 3), Draw(97, 61, 3));
    EXPECT_NE(Draw(97, 61, 3), Draw(97, 61, 4));
}

TEST(SynthPhoto, LeavesRowPaddingAlone)
{
    const int w = 33, h = 17, stride = w * 3 + 5;
    std::vector<unsigned char> px((size_t)stride * h, 0xA5);
    synth_photo(px.data(), w, h, stride, 9);
    std::vector<unsigned char> packed = Draw(w, h, 9);
    for (int y = 0; y < h; y++) {
        for (int i = 0; i < w * 3; i++)
            ASSERT_EQ(px[(size_t)y * stride + i], packed[(size_t)y * w * 3 + i]);
        for (int i = w * 3; i < stride; i++)
            ASSERT_EQ(px[(size_t)y * stride + i], 0xA5) << "row " << y;
    }
}

/* Filters are judged on it, so it must look like a photograph: a full
 * tonal range, large smooth areas and some hard edges. */
TEST(SynthPhoto, HasRangeSmoothAreasAndEdges)
{
    for (unsigned seed : {1u, 2u, 77u}) {
        const int w = 256, h = 256;
        std::vector<unsigned char> px = Draw(w, h, seed);
        for (int c = 0; c < 3; c++) {
            int lo = 255, hi = 0;
            for (int i = c; i < w * h * 3; i += 3) {
                lo = std::min(lo, (int)px[i]);
                hi = std::max(hi, (int)px[i]);
            }
            EXPECT_GT(hi - lo, 120) << "seed " << seed << " channel " << c;
        }
        long smooth = 0, edges = 0, pairs = 0;
        for (int y = 0; y < h; y++)
            for (int x = 1; x < w; x++) {
                int d = std::abs((int)px[(y * w + x) * 3 + 1] - (int)px[(y * w + x - 1) * 3 + 1]);
                smooth += d <= 3;
                edges += d >= 40;
                pairs++;
            }
        EXPECT_GT(smooth, pairs * 3 / 10) << "seed " << seed;
        EXPECT_GT(edges, pairs / 1000) << "seed " << seed;
    }
}

TEST(SynthPhoto, TinyAndDegenerateSizesAreSafe)
{
    EXPECT_EQ(Draw(1, 1, 5).size(), 3u);
    EXPECT_EQ(Draw(2, 1, 5), Draw(2, 1, 5));
    synth_photo(nullptr, 10, 10, 30, 1);
    unsigned char one[3] = {1, 2, 3};
    synth_photo(one, 0, 1, 3, 1);
    EXPECT_EQ(one[0], 1);
}

} // namespace
