/* The refocus plug-in inside the real GIMP (batch): registration, results
 * equal to the command-line tool's on the same pixels, alpha and pixels
 * outside the selection untouched, refusals, and the stored block. */
#include "gimp_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

extern "C" {
#include "refocus_core.h"
}

using namespace gimp_bench;
using namespace ostrel_test;

namespace {

const GimpImageType kTypes[] = {GIMP_RGB_IMAGE, GIMP_RGBA_IMAGE, GIMP_GRAY_IMAGE,
                                GIMP_GRAYA_IMAGE};
const int kBpp[] = {3, 4, 1, 2};

/* A block a non-interactive call must leave alone. */
Values sentinel_values()
{
    Values v;
    v.radius = 1.5;
    v.iterations = 7;
    v.prev_iter = 3;
    return v;
}

TEST(Registration, ProcedureIsInstalledAsDocumented)
{
    gchar *blurb = nullptr, *help = nullptr, *author = nullptr, *copyright = nullptr,
          *date = nullptr;
    GimpPDBProcType type;
    gint n_args = 0, n_values = 0;
    GimpParamDef *args = nullptr, *values = nullptr;
    ASSERT_TRUE(gimp_procedural_db_proc_info("ostrel", &blurb, &help, &author, &copyright,
                                             &date, &type, &n_args, &n_values, &args,
                                             &values));
    EXPECT_STREQ(blurb, "Iterative refocus.");
    EXPECT_STREQ(help, "This plug-in iteratively refocuses a defocused image.");
    EXPECT_STREQ(date, "2.0.0");
    EXPECT_EQ(type, GIMP_PLUGIN);
    EXPECT_EQ(n_values, 0);
    struct { GimpPDBArgType type; const char *name, *desc; } expected[] = {
        {GIMP_PDB_INT32, "run-mode", "Interactive, non-interactive"},
        {GIMP_PDB_IMAGE, "image", "Input image"},
        {GIMP_PDB_DRAWABLE, "drawable", "Input drawable"},
        {GIMP_PDB_FLOAT, "radius", "Blur radius (default = 6.0)"},
        {GIMP_PDB_FLOAT, "gauss", "Gaussian blur variance (default = 0.0)"},
        {GIMP_PDB_FLOAT, "motion", "Motion size (default = 0.0)"},
        {GIMP_PDB_FLOAT, "mot-angle", "Motion angle (default = 0.0)"},
        {GIMP_PDB_FLOAT, "lambda", "Noise reduction (default = 100.0)"},
        {GIMP_PDB_INT32, "boundary", "Boundary conditions (default = mirror / 0)"},
        {GIMP_PDB_FLOAT, "lambda-min", "Area smoothnes (default = 30.0)"},
        {GIMP_PDB_INT32, "adaptive-smooth", "Adaptive smoothing (default = TRUE)"},
        {GIMP_PDB_INT32, "winsize", "Smooth area size (default = 3)"},
        {GIMP_PDB_INT32, "iterations", "Number of iterations (default = 100)"},
        {GIMP_PDB_INT32, "prev-iter", "Number of iterations for preview (default = 10)"},
    };
    ASSERT_EQ(n_args, 14);
    for (int i = 0; i < 14; i++) {
        EXPECT_EQ(args[i].type, expected[i].type) << i;
        EXPECT_STREQ(args[i].name, expected[i].name) << i;
        EXPECT_STREQ(args[i].description, expected[i].desc) << i;
    }
    gimp_destroy_paramdefs(args, n_args);
    g_free(blurb); g_free(help); g_free(author); g_free(copyright); g_free(date);

    /* Menu path and image types as the plug-in list reports them. */
    gint n_ret = 0;
    GimpParam *ret = gimp_run_procedure("gimp-plugins-query", &n_ret,
                                        GIMP_PDB_STRING, "Refocus", GIMP_PDB_END);
    ASSERT_TRUE(ret && n_ret >= 13);
    ASSERT_EQ(ret[0].data.d_status, GIMP_PDB_SUCCESS);
    bool found = false;
    for (int i = 0; i < ret[1].data.d_int32; i++) {
        if (strcmp(ret[12].data.d_stringarray[i], "ostrel") != 0)
            continue;
        found = true;
        EXPECT_STREQ(ret[2].data.d_stringarray[i], "<Image>/Photo/A/Refocus...");
        EXPECT_STREQ(ret[8].data.d_stringarray[i], "RGB*, GRAY*");
    }
    EXPECT_TRUE(found) << "ostrel is not in the plug-in list";
    gimp_destroy_params(ret, n_ret);
}

struct LayerCase {
    int type_index;
    bool selection;
    Values values;
};

Values varied(int which)
{
    Values v;
    v.iterations = 3;
    switch (which) {
    case 1: v.boundary = 1; v.adaptive_smooth = 0; v.radius = 2.5; break;
    case 2: v.gauss = 1.2; v.motion = 4.5; v.mot_angle = 30; v.radius = 1.0; v.winsize = 2; break;
    case 3: v.lambda_min = 0; v.lambda = 500; break;  /* no area weights */
    case 4: v.lambda = 0; v.radius = 3.0; break;      /* unregularised */
    default: break;
    }
    return v;
}

class LayerTypes : public testing::TestWithParam<LayerCase> {};

TEST_P(LayerTypes, ResultEqualsTheToolOnTheSamePixels)
{
    const LayerCase c = GetParam();
    const PhotoImage img(53, 41, kTypes[c.type_index], 7 + c.type_index);
    const int w = img.w, h = img.h, bpp = kBpp[c.type_index];
    const gint32 image = img.image, layer = img.layer;
    const auto &before = img.before;
    ASSERT_GT(image, 0);
    ASSERT_EQ(gimp_drawable_bpp(layer), bpp);
    ASSERT_EQ(img.bpp, bpp);

    int sx = 0, sy = 0, sw = w, sh = h;
    if (c.selection) {
        sx = 9; sy = 5; sw = 30; sh = 22;
        gimp_image_select_rectangle(image, GIMP_CHANNEL_OP_REPLACE, sx, sy, sw, sh);
    }
    const auto block = stored_block(sentinel_values());
    set_data("ostrel", block);

    ASSERT_EQ(run_ostrel(image, layer, c.values), GIMP_PDB_SUCCESS);
    const auto after = read_pixels(layer);

    auto expected = before;
    paste(&expected, w, bpp, sx, sy, sw, sh,
          tool_refocus(crop(before, w, bpp, sx, sy, sw, sh), sw, sh, bpp, c.values));
    ASSERT_EQ(after.size(), expected.size());
    size_t differing = 0, outside_changed = 0, alpha_changed = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int k = 0; k < bpp; k++) {
                size_t i = ((size_t)y * w + x) * bpp + k;
                differing += after[i] != expected[i];
                bool inside = x >= sx && x < sx + sw && y >= sy && y < sy + sh;
                outside_changed += !inside && after[i] != before[i];
                alpha_changed += (bpp == 2 || bpp == 4) && k == bpp - 1 && after[i] != before[i];
            }
    EXPECT_EQ(differing, 0u) << "bytes that differ from ostrel-refocus";
    EXPECT_EQ(outside_changed, 0u);
    EXPECT_EQ(alpha_changed, 0u);
    EXPECT_LT(psnr(before, after, bpp), 99.0) << "the filter changed nothing";
    EXPECT_EQ(get_data("ostrel"), block) << "a non-interactive call must not store";
}

std::vector<LayerCase> layer_cases()
{
    std::vector<LayerCase> out;
    for (int t = 0; t < 4; t++)
        for (int sel = 0; sel < 2; sel++)
            out.push_back({t, sel == 1, varied((t + 2 * sel) % 5)});
    return out;
}

INSTANTIATE_TEST_SUITE_P(All, LayerTypes, testing::ValuesIn(layer_cases()));

TEST(Selection, OnlyTheMaskedPartOfTheBoundingRectangleChanges)
{
    const PhotoImage img(60, 48, GIMP_RGB_IMAGE, 21);
    const int w = img.w, h = img.h, bpp = img.bpp;
    const gint32 image = img.image, layer = img.layer;
    const auto &before = img.before;
    gimp_context_push();
    gimp_context_set_antialias(FALSE);
    gimp_context_set_feather(FALSE);
    gimp_image_select_ellipse(image, GIMP_CHANNEL_OP_REPLACE, 12, 8, 34, 30);
    gimp_context_pop();
    const auto mask = read_selection(image);
    gint x1, y1, x2, y2;
    gboolean non_empty;
    gimp_selection_bounds(image, &non_empty, &x1, &y1, &x2, &y2);
    ASSERT_TRUE(non_empty);

    Values v;
    v.iterations = 2;
    ASSERT_EQ(run_ostrel(image, layer, v), GIMP_PDB_SUCCESS);
    const auto after = read_pixels(layer);
    auto expected = before;
    paste(&expected, w, bpp, x1, y1, x2 - x1, y2 - y1,
          tool_refocus(crop(before, w, bpp, x1, y1, x2 - x1, y2 - y1), x2 - x1, y2 - y1, bpp, v));
    size_t wrong_inside = 0, wrong_outside = 0, inside = 0;
    for (size_t p = 0; p < (size_t)w * h; p++)
        for (int k = 0; k < bpp; k++) {
            size_t i = p * bpp + k;
            if (mask[p] == 255) {
                inside++;
                wrong_inside += after[i] != expected[i];
            } else if (mask[p] == 0) {
                wrong_outside += after[i] != before[i];
            }
        }
    EXPECT_GT(inside, 0u);
    EXPECT_EQ(wrong_inside, 0u);
    EXPECT_EQ(wrong_outside, 0u);
}

/* The tool refuses masks wider than its image; the plug-in refocuses such
 * selections (the boundary mappings reflect as often as needed), so the
 * reference here is the core itself, from the same unseeded sequence. */
TEST(Selection, TinySelectionsAreRefocusedSafely)
{
    const int w = 20, h = 16, bpp = 3;
    const auto before = photo(w, h, bpp, 5);
    struct { int x, y, w, h; } rects[] = {{4, 4, 1, 1}, {0, 0, 2, 1}, {19, 2, 1, 3},
                                          {7, 9, 2, 2}, {17, 13, 3, 3}, {3, 6, 5, 2}};
    for (const auto &r : rects) {
        gint32 layer = -1;
        gint32 image = new_image(w, h, GIMP_RGB_IMAGE, before, &layer);
        gimp_image_select_rectangle(image, GIMP_CHANNEL_OP_REPLACE, r.x, r.y, r.w, r.h);
        Values v;  /* radius 6: a mask far wider than the selection */
        v.iterations = 4;
        EXPECT_EQ(run_ostrel(image, layer, v), GIMP_PDB_SUCCESS) << r.w << "x" << r.h;
        auto expected = before;
        paste(&expected, w, bpp, r.x, r.y, r.w, r.h,
              core_refocus(crop(before, w, bpp, r.x, r.y, r.w, r.h), r.w, r.h, bpp, v));
        EXPECT_EQ(read_pixels(layer), expected) << r.w << "x" << r.h << " at " << r.x << "," << r.y;
        gimp_image_delete(image);
    }
}

TEST(Refocus, ZeroIterationsLeaveThePixels)
{
    const PhotoImage img(31, 17, GIMP_RGBA_IMAGE, 3);
    Values v;
    v.iterations = 0;
    EXPECT_EQ(run_ostrel(img.image, img.layer, v), GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(img.layer), img.before);
}

/* A disc blur through the core's own mask and mirror convolution. */
std::vector<guint8> disc_blur(const std::vector<guint8> &rgb, int w, int h, double radius)
{
    ConvMask mask;
    convmask_disc(&mask, (float)radius);
    std::vector<guint8> out(rgb.size());
    for (int k = 0; k < 3; k++) {
        Matrix in, res;
        matrix_create(&in, w, h);
        matrix_create(&res, w, h);
        for (size_t i = 0; i < (size_t)w * h; i++)
            in.data[i] = rgb[i * 3 + k];
        matrix_convolve_mirror(&res, &in, &mask);
        for (size_t i = 0; i < (size_t)w * h; i++) {
            float v = std::floor(res.data[i] + 0.5f);
            out[i * 3 + k] = (guint8)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
        matrix_destroy(&in);
        matrix_destroy(&res);
    }
    convmask_destroy(&mask);
    return out;
}

TEST(Refocus, DiscBlurredPhotoComesBackSharper)
{
    const int w = 128, h = 128;
    const auto sharp = photo(w, h, 3, 42);
    const auto blurred = disc_blur(sharp, w, h, 3.0);
    gint32 layer = -1;
    gint32 image = new_image(w, h, GIMP_RGB_IMAGE, blurred, &layer);
    Values v;
    v.radius = 3.0;
    v.iterations = 20;
    ASSERT_EQ(run_ostrel(image, layer, v), GIMP_PDB_SUCCESS);
    const auto restored = read_pixels(layer);
    const double before_db = psnr(sharp, blurred, 3), after_db = psnr(sharp, restored, 3);
    RecordProperty("psnr_blurred", std::to_string(before_db));
    RecordProperty("psnr_refocused", std::to_string(after_db));
    printf("PSNR blurred %.2f dB, refocused %.2f dB (+%.2f dB)\n", before_db, after_db,
           after_db - before_db);
    EXPECT_GT(after_db - before_db, OSTREL_MIN_PSNR_GAIN_DB)
        << "blurred " << before_db << " dB, refocused " << after_db << " dB";
    gimp_image_delete(image);
}

/* ---- refusals ------------------------------------------------------------ */

struct BadCall {
    const char *what;
    std::vector<GimpParam> (*params)(gint32 image, gint32 layer);
    GimpPDBStatusType status;
};

std::vector<GimpParam> with(gint32 image, gint32 layer, void (*change)(Values *))
{
    Values v;
    change(&v);
    return call_params(GIMP_RUN_NONINTERACTIVE, image, layer, v);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const BadCall kBadCalls[] = {
    {"13 parameters", [](gint32 i, gint32 l) {
         auto p = call_params(GIMP_RUN_NONINTERACTIVE, i, l, Values());
         p.pop_back();
         return p; }, GIMP_PDB_CALLING_ERROR},
    {"3 parameters", [](gint32 i, gint32 l) {
         auto p = call_params(GIMP_RUN_NONINTERACTIVE, i, l, Values());
         p.resize(3);
         return p; }, GIMP_PDB_CALLING_ERROR},
    {"run mode 3", [](gint32 i, gint32 l) { return call_params(3, i, l, Values()); },
     GIMP_PDB_CALLING_ERROR},
    {"run mode -1", [](gint32 i, gint32 l) { return call_params(-1, i, l, Values()); },
     GIMP_PDB_CALLING_ERROR},
    {"NaN radius", [](gint32 i, gint32 l) {
         return with(i, l, [](Values *v) { v->radius = kNaN; }); }, GIMP_PDB_CALLING_ERROR},
    {"infinite noise", [](gint32 i, gint32 l) {
         return with(i, l, [](Values *v) { v->lambda = HUGE_VAL; }); }, GIMP_PDB_CALLING_ERROR},
    {"NaN motion angle", [](gint32 i, gint32 l) {
         return with(i, l, [](Values *v) { v->mot_angle = kNaN; }); }, GIMP_PDB_CALLING_ERROR},
    {"negative iterations", [](gint32 i, gint32 l) {
         return with(i, l, [](Values *v) { v->iterations = -1; }); }, GIMP_PDB_CALLING_ERROR},
    {"negative area size", [](gint32 i, gint32 l) {
         return with(i, l, [](Values *v) { v->winsize = -4; }); }, GIMP_PDB_CALLING_ERROR},
    {"absurd radius", [](gint32 i, gint32 l) {
         return with(i, l, [](Values *v) { v->radius = 1e7; }); }, GIMP_PDB_CALLING_ERROR},
    {"absurd motion", [](gint32 i, gint32 l) {
         return with(i, l, [](Values *v) { v->motion = 1e30; }); }, GIMP_PDB_CALLING_ERROR},
    {"absurd area size", [](gint32 i, gint32 l) {
         return with(i, l, [](Values *v) { v->winsize = 100000; }); }, GIMP_PDB_CALLING_ERROR},
};

class Refusal : public testing::TestWithParam<BadCall> {};

TEST_P(Refusal, GivesItsStatusAndChangesNothing)
{
    const BadCall &c = GetParam();
    const PhotoImage img(24, 18, GIMP_RGB_IMAGE, 9);
    const auto block = stored_block(sentinel_values());
    set_data("ostrel", block);
    EXPECT_EQ(run_procedure("ostrel", c.params(img.image, img.layer)), c.status) << c.what;
    EXPECT_EQ(read_pixels(img.layer), img.before) << c.what;
    EXPECT_EQ(get_data("ostrel"), block) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Calls, Refusal, testing::ValuesIn(kBadCalls));

TEST(Refusal, IndexedImageIsAnExecutionError)
{
    const int w = 16, h = 12;
    const auto before = random_bytes((size_t)w * h, 77);
    gint32 layer = -1;
    gint32 image = new_image(w, h, GIMP_INDEXED_IMAGE, {}, &layer);
    guchar cmap[256 * 3];
    for (int i = 0; i < 256 * 3; i++)
        cmap[i] = (guchar)i;
    gimp_image_set_colormap(image, cmap, 256);
    write_pixels(layer, before);
    ASSERT_EQ(read_pixels(layer), before);
    EXPECT_EQ(run_ostrel(image, layer, Values()), GIMP_PDB_EXECUTION_ERROR);
    EXPECT_EQ(read_pixels(layer), before);
    gimp_image_delete(image);
}

/* ---- stored values --------------------------------------------------------- */

GimpPDBStatusType run_last_vals(gint32 image, gint32 layer)
{
    return run_procedure("ostrel", {int32_param(GIMP_RUN_WITH_LAST_VALS), image_param(image),
                                    drawable_param(layer)});
}

TEST(LastValues, UsesExactlyTheStoredEleven)
{
    /* Every value off its default, in the procedure's order; the last
     * (preview iterations) is 1: iterations, not prev_iter, count. */
    const Values stored{2.25, 0.75, 2.5, 120, 300, 1, 12, 0, 2, 4, 1};
    set_data("ostrel", stored_block(stored));

    const PhotoImage img(37, 29, GIMP_RGB_IMAGE, 12);
    EXPECT_EQ(run_last_vals(img.image, img.layer), GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(img.layer), tool_refocus(img.before, img.w, img.h, img.bpp, stored));
    EXPECT_EQ(get_data("ostrel"), stored_block(stored));
}

TEST(LastValues, UnusableStoredBlocksAreRefusedOrIgnored)
{
    /* A block with values that cannot be computed: refused. */
    Values bad;
    bad.radius = kNaN;
    set_data("ostrel", stored_block(bad));
    {
        const PhotoImage img(14, 11, GIMP_GRAY_IMAGE, 4);
        EXPECT_EQ(run_last_vals(img.image, img.layer), GIMP_PDB_CALLING_ERROR);
        EXPECT_EQ(read_pixels(img.layer), img.before);
    }

    /* A block of another size is not ours to read: the defaults apply. */
    set_data("ostrel", std::vector<guint8>(16, 0xff));
    const PhotoImage img(14, 11, GIMP_GRAY_IMAGE, 4);
    EXPECT_EQ(run_last_vals(img.image, img.layer), GIMP_PDB_SUCCESS);
    Values defaults;
    defaults.iterations = 100;
    EXPECT_EQ(read_pixels(img.layer), tool_refocus(img.before, img.w, img.h, img.bpp, defaults));
}

}  // namespace
