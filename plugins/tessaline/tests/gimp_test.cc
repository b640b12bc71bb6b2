/* plug_in_tessaline inside the real GIMP (batch): registration, output
 * equal to the plain reference on the same pixels, selections, stored
 * levels across runs, and refused calls that leave the image alone.
 * The cases run in this order in one GIMP process; the stored-levels cases
 * depend on it. */
#include "gimp_bench.h"
#include "grain_core.h"
#include "grain_reference.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace gimp_bench;

namespace {

const char *const proc = "plug_in_tessaline";

std::vector<guint8> reference(const std::vector<guint8> &src, int w, int h, gint32 r, gint32 g,
                              gint32 b)
{
    const int32_t levels[3] = {r, g, b};
    std::vector<guint8> out(src.size());
    grain_reference_image(src.data(), (size_t)w * 3, w, h, 3, levels, out.data());
    return out;
}

/* A ramp with grain: most samples are near their local mean, so all three
 * branches of the rule occur. */
std::vector<guint8> grainy(int w, int h, guint32 seed)
{
    auto px = random_bytes((size_t)w * h * 3, seed);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = (guint8)(70 + (i / 3 % w) * 100 / w + (i / 3 / w) * 50 / h + px[i] % 31 - 15);
    return px;
}

GimpPDBStatusType run_noninteractive(gint32 image, gint32 layer, gint32 r, gint32 g, gint32 b)
{
    return run_procedure(proc, {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image),
                                drawable_param(layer), int32_param(r), int32_param(g),
                                int32_param(b)});
}

GimpPDBStatusType run_last_vals(gint32 image, gint32 layer)
{
    return run_procedure(proc, {int32_param(GIMP_RUN_WITH_LAST_VALS), image_param(image),
                                drawable_param(layer), int32_param(0), int32_param(0),
                                int32_param(0)});
}

/* ---- registration ------------------------------------------------------ */

TEST(TessalineRegistration, ProcedureAndParameters)
{
    const ProcedureInfo info = procedure_info(proc);
    ASSERT_TRUE(info.found);
    EXPECT_EQ(info.blurb, "Film Grain reduction for Gimp 1.3 / 2.0");
    EXPECT_EQ(info.help, "Reduces film grain or video noise");
    EXPECT_EQ(info.author, info.copyright);
    EXPECT_EQ(info.date, "2002 - 2004");
    EXPECT_EQ(info.type, GIMP_PLUGIN);
    ASSERT_EQ(info.args.size(), 6u);
    EXPECT_EQ(info.values.size(), 0u);
    expect_args(info.args, {
        {GIMP_PDB_INT32, "run-mode", "Interactive"},
        {GIMP_PDB_IMAGE, "image", "Input image"},
        {GIMP_PDB_DRAWABLE, "drawable", "Input drawable"},
        {GIMP_PDB_INT32, "red", "Red grain level"},
        {GIMP_PDB_INT32, "green", "Green grain level"},
        {GIMP_PDB_INT32, "blue", "Blue grain level"},
    });
}

TEST(TessalineRegistration, MenuPathAndImageTypes)
{
    const PluginEntry entry = plugin_entry("plug-in-tessaline", "Film Grain");
    ASSERT_TRUE(entry.found);
    EXPECT_EQ(entry.menu_path, "<Image>/Photo/B/Noise/Film Grain Remover");
    EXPECT_EQ(entry.image_types, "RGB");
}

/* ---- stored levels (order matters: nothing is stored yet) -------------- */

TEST(TessalineStoredLevels, LastValuesWithNothingStoredUseDefaults)
{
    ASSERT_TRUE(get_data(proc).empty());
    const int w = 40, h = 30;
    const auto px = grainy(w, h, 1);
    const TestImage im(w, h, GIMP_RGB_IMAGE, px);
    const gint32 image = im.image, layer = im.layer;
    EXPECT_EQ(run_last_vals(image, layer), GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(layer), reference(px, w, h, 15, 10, 20));
    EXPECT_TRUE(get_data(proc).empty()) << "a last-values run stores nothing";
}

TEST(TessalineStoredLevels, NonInteractiveNeverStoresAndLastValuesUseStored)
{
    const int w = 50, h = 20;
    const auto px = grainy(w, h, 2);
    const TestImage im(w, h, GIMP_RGB_IMAGE, px);
    const gint32 image = im.image, layer = im.layer;

    EXPECT_EQ(run_noninteractive(image, layer, 3, 4, 5), GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(layer), reference(px, w, h, 3, 4, 5));
    EXPECT_TRUE(get_data(proc).empty());

    /* Levels as an interactive run stores them. */
    set_data(proc, pack_int32_le({40, 0, 25}));
    write_pixels(layer, px);
    EXPECT_EQ(run_noninteractive(image, layer, 1, 2, 3), GIMP_PDB_SUCCESS);
    EXPECT_EQ(get_data(proc), pack_int32_le({40, 0, 25}));

    write_pixels(layer, px);
    EXPECT_EQ(run_last_vals(image, layer), GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(layer), reference(px, w, h, 40, 0, 25));
    EXPECT_EQ(get_data(proc), pack_int32_le({40, 0, 25}));
}

TEST(TessalineStoredLevels, BlockOfAnotherSizeIsIgnored)
{
    const int w = 20, h = 20;
    const auto px = grainy(w, h, 3);
    const TestImage im(w, h, GIMP_RGB_IMAGE, px);
    const gint32 image = im.image, layer = im.layer;
    set_data(proc, pack_int32_le({90, 90, 90, 90, 90}));
    EXPECT_EQ(run_last_vals(image, layer), GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(layer), reference(px, w, h, 15, 10, 20));
    set_data(proc, pack_int32_le({40, 0, 25}));
}

/* ---- output equals the reference --------------------------------------- */

struct RunCase {
    int w, h;
    gint32 r, g, b;
};

class TessalineOutput : public testing::TestWithParam<RunCase> {};

/* Sizes from 1 x 1 (smaller than the window) to several 64-pixel tiles with
 * ragged right and bottom edges; levels including overflowing squares. */
TEST_P(TessalineOutput, EqualsReferenceForWholeLayer)
{
    const RunCase c = GetParam();
    for (int kind = 0; kind < 2; kind++) {
        const auto px = kind == 0 ? grainy(c.w, c.h, c.w + c.h)
                                  : random_bytes((size_t)c.w * c.h * 3, c.w * 3 + c.h);
        const TestImage im(c.w, c.h, GIMP_RGB_IMAGE, px);
        const gint32 image = im.image, layer = im.layer;
        ASSERT_EQ(run_noninteractive(image, layer, c.r, c.g, c.b), GIMP_PDB_SUCCESS);
        EXPECT_EQ(read_pixels(layer), reference(px, c.w, c.h, c.r, c.g, c.b))
            << (kind == 0 ? "grainy " : "random ") << c.w << "x" << c.h;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, TessalineOutput,
    testing::Values(RunCase{1, 1, 15, 10, 20}, RunCase{5, 3, 15, 10, 20}, RunCase{7, 7, 99, 1, 50},
                    RunCase{64, 64, 15, 10, 20}, RunCase{65, 63, 0, 30, -30},
                    RunCase{200, 150, 15, 10, 20}, RunCase{129, 130, 46341, INT32_MAX, INT32_MIN}),
    [](const testing::TestParamInfo<RunCase> &i) {
        return std::to_string(i.param.w) + "x" + std::to_string(i.param.h) + "_case" +
               std::to_string(i.index);
    });

/* ---- selections -------------------------------------------------------- */

TEST(TessalineSelection, MaskDecidesWhatReachesTheLayer)
{
    const int w = 150, h = 100;
    const auto px = grainy(w, h, 9);
    const auto filtered = reference(px, w, h, 30, 30, 30);
    for (int shape = 0; shape < 2; shape++) {
        const TestImage im(w, h, GIMP_RGB_IMAGE, px);
        const gint32 image = im.image, layer = im.layer;
        if (shape == 0)
            gimp_image_select_rectangle(image, GIMP_CHANNEL_OP_REPLACE, 30, 20, 70, 45);
        else
            gimp_image_select_ellipse(image, GIMP_CHANNEL_OP_REPLACE, 10, 5, 120, 80);
        const auto mask = read_selection(image);
        ASSERT_EQ(run_noninteractive(image, layer, 30, 30, 30), GIMP_PDB_SUCCESS);
        const auto out = read_pixels(layer);
        int full = 0, none = 0, partial = 0;
        for (int i = 0; i < w * h; i++)
            for (int c = 0; c < 3; c++) {
                const int k = i * 3 + c;
                if (mask[i] == 255) {
                    /* Filtered from the whole layer: pixels at the
                     * selection's edge see their true neighbours. */
                    ASSERT_EQ(out[k], filtered[k]) << "selected pixel " << i % w << "," << i / w;
                    full++;
                } else if (mask[i] == 0) {
                    ASSERT_EQ(out[k], px[k]) << "unselected pixel " << i % w << "," << i / w;
                    none++;
                } else {
                    const int lo = std::min(px[k], filtered[k]), hi = std::max(px[k], filtered[k]);
                    ASSERT_GE(out[k], lo);
                    ASSERT_LE(out[k], hi);
                    partial++;
                }
            }
        EXPECT_GT(full, 1000) << shape;
        EXPECT_GT(none, 1000) << shape;
        if (shape == 1) {
            EXPECT_GT(partial, 0) << "antialiased ellipse edge";
        }
    }
}

/* ---- refused calls ----------------------------------------------------- */

TEST(TessalineRefused, WrongArgumentCountsAreCallingErrors)
{
    const int w = 30, h = 20;
    const auto px = grainy(w, h, 4);
    const TestImage im(w, h, GIMP_RGB_IMAGE, px);
    const gint32 image = im.image, layer = im.layer;
    const auto stored = get_data(proc);
    const std::vector<GimpParam> base = {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image),
                                         drawable_param(layer), int32_param(60), int32_param(60)};
    EXPECT_EQ(run_procedure(proc, base), GIMP_PDB_CALLING_ERROR) << "5 parameters";
    auto seven = base;
    seven.push_back(int32_param(60));
    seven.push_back(int32_param(60));
    EXPECT_EQ(run_procedure(proc, seven), GIMP_PDB_CALLING_ERROR) << "7 parameters";
    EXPECT_EQ(run_procedure(proc, {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image),
                                   drawable_param(-1), int32_param(1), int32_param(1),
                                   int32_param(1)}),
              GIMP_PDB_CALLING_ERROR)
        << "no such drawable";
    EXPECT_EQ(read_pixels(layer), px);
    EXPECT_EQ(get_data(proc), stored);
}

TEST(TessalineRefused, NonRgbLayersAreLeftUnchanged)
{
    const int w = 33, h = 21;
    const GimpImageType types[] = {GIMP_GRAY_IMAGE, GIMP_GRAYA_IMAGE, GIMP_RGBA_IMAGE};
    for (GimpImageType t : types) {
        const int bpp = t == GIMP_GRAY_IMAGE ? 1 : t == GIMP_GRAYA_IMAGE ? 2 : 4;
        const auto px = random_bytes((size_t)w * h * bpp, bpp);
        const TestImage im(w, h, t, px);
        const gint32 image = im.image, layer = im.layer;
        EXPECT_EQ(run_noninteractive(image, layer, 30, 30, 30), GIMP_PDB_EXECUTION_ERROR) << t;
        EXPECT_EQ(run_last_vals(image, layer), GIMP_PDB_EXECUTION_ERROR) << t;
        EXPECT_EQ(read_pixels(layer), px) << t;
    }
}

} // namespace
