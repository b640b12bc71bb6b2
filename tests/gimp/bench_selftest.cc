/* The bench's own checks: pixels and procedure data survive the round trip
 * through GIMP, and the pass-through plug-in leaves every layer type as it
 * was while going through the shadow-tile merge. */
#include "gimp_bench.h"

#include <gtest/gtest.h>

using namespace gimp_bench;

namespace {

struct LayerCase {
    GimpImageType type;
    int bpp;
    int width, height;
};

class BenchLayer : public testing::TestWithParam<LayerCase> {};

TEST_P(BenchLayer, PixelsRoundTripAndPassThroughKeepsThem)
{
    const LayerCase c = GetParam();
    const auto pixels = random_bytes((size_t)c.width * c.height * c.bpp, c.width * 31 + c.bpp);
    gint32 layer = -1;
    gint32 image = new_image(c.width, c.height, c.type, pixels, &layer);
    ASSERT_GT(image, 0);
    EXPECT_EQ(gimp_drawable_bpp(layer), c.bpp);
    EXPECT_EQ(read_pixels(layer), pixels);

    for (int margin : {0, 3}) {
        EXPECT_EQ(run_procedure("corvella-passthrough",
                                {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image),
                                 drawable_param(layer), int32_param(margin)}),
                  GIMP_PDB_SUCCESS);
        EXPECT_EQ(read_pixels(layer), pixels) << "margin " << margin;
    }
    gimp_image_delete(image);
}

INSTANTIATE_TEST_SUITE_P(Types, BenchLayer,
                         testing::Values(LayerCase{GIMP_RGB_IMAGE, 3, 1, 1},
                                         LayerCase{GIMP_RGB_IMAGE, 3, 131, 70},
                                         LayerCase{GIMP_RGBA_IMAGE, 4, 65, 129},
                                         LayerCase{GIMP_GRAY_IMAGE, 1, 200, 3}));

TEST(Bench, WrongArgumentCountIsACallingError)
{
    gint32 layer = -1;
    gint32 image = new_image(8, 8, GIMP_RGB_IMAGE, random_bytes(8 * 8 * 3, 5), &layer);
    EXPECT_EQ(run_procedure("corvella-passthrough",
                            {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image),
                             drawable_param(layer)}),
              GIMP_PDB_CALLING_ERROR);
    EXPECT_EQ(run_procedure("corvella-passthrough",
                            {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image),
                             drawable_param(layer), int32_param(65)}),
              GIMP_PDB_CALLING_ERROR);
    gimp_image_delete(image);
}

TEST(Bench, ProcedureDataRoundTrip)
{
    EXPECT_TRUE(get_data("corvella-bench-never-set").empty());
    const std::vector<gint32> values = {15, -10, 2147483647};
    set_data("corvella-bench-data", pack_int32_le(values));
    const auto bytes = get_data("corvella-bench-data");
    ASSERT_EQ(bytes.size(), 12u);
    EXPECT_EQ(bytes[0], 15);
    EXPECT_EQ(bytes[4], 0xf6); /* -10, little-endian two's complement */
    EXPECT_EQ(bytes[11], 0x7f);
    EXPECT_EQ(unpack_int32_le(bytes), values);
}

TEST(Bench, SelectionMaskReadsBack)
{
    gint32 layer = -1;
    gint32 image = new_image(20, 10, GIMP_RGB_IMAGE, {}, &layer);
    gimp_image_select_rectangle(image, GIMP_CHANNEL_OP_REPLACE, 5, 2, 4, 3);
    const auto mask = read_selection(image);
    ASSERT_EQ(mask.size(), 200u);
    int selected = 0;
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 20; x++) {
            bool inside = x >= 5 && x < 9 && y >= 2 && y < 5;
            EXPECT_EQ(mask[y * 20 + x] != 0, inside) << x << "," << y;
            selected += mask[y * 20 + x] == 255;
        }
    EXPECT_EQ(selected, 12);
    gimp_image_delete(image);
}

} // namespace
