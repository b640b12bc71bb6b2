// The plug-in inside the real GIMP: registration, results equal to the
// core and the tool on the same pixels, selections, refusals and the
// stored block.  All cases share one GIMP process, in order.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gimp_bench.h"
#include "netpbm_io.h"
#include "noise_filter.h"

using namespace gimp_bench;

namespace {

const char *const proc = "plug-in-vareknoise2-0-64";
const char *const data_id = "plug_in_vareknoise2-0.64";
using Bytes = std::vector<guint8>;

// A smooth picture with noise, so that the filter has work to do.
Bytes noisy_picture(int w, int h, int bpp, guint32 seed)
{
    Bytes noise = random_bytes(static_cast<size_t>(w) * h * bpp, seed), img(noise.size());
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < bpp; c++) {
                size_t i = (static_cast<size_t>(y) * w + x) * bpp + c;
                int v = 40 + (x * 150) / w + (y * 40) / h + 30 * c + noise[i] % 21 - 10;
                if (x > w / 2 && y > h / 3) v -= 35;  // an edge
                img[i] = static_cast<guint8>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    if (bpp == 2 || bpp == 4)
        for (size_t i = bpp - 1; i < img.size(); i += bpp) img[i] = noise[i];
    return img;
}

Bytes core(const NoiseParams &p, const Bytes &src, int w, int h, int bpp)
{
    Bytes out(src.size());
    EXPECT_EQ(0, noise_filter_buffer(&p, src.data(), w * bpp, out.data(), w * bpp, w, h, bpp));
    return out;
}

std::vector<GimpParam> call(gint32 image, gint32 layer, const NoiseParams &p, int count = 13)
{
    std::vector<GimpParam> v = {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image), drawable_param(layer)};
    const double f[10] = {p.radius, p.lsmooth, p.csmooth, p.effect, p.lookahead,
                          p.gamma, p.damping, p.phase, p.texture, p.sharp};
    for (int i = 0; i < 10 && static_cast<int>(v.size()) < count; i++) v.push_back(float_param(f[i]));
    while (static_cast<int>(v.size()) < count) v.push_back(float_param(1.0));
    return v;
}

Bytes block(const NoiseParams &p)
{
    Bytes b(NOISE_PARAMS_BLOB_SIZE);
    noise_params_pack(&p, b.data());
    return b;
}

TEST(Vareknoise2Gimp, IsRegisteredAsDescribed)
{
    const ProcedureInfo info = procedure_info(proc);
    ASSERT_TRUE(info.found);
    EXPECT_EQ("A Digital Camera Noise filter", info.blurb);
    EXPECT_EQ("It is commonly used on photographic images, and is provides a much more pleasing "
              "result than the standard denoising filters.", info.help);
    EXPECT_EQ("This is an experimental version. ", info.author);
    EXPECT_EQ("", info.copyright);
    EXPECT_EQ("", info.date);
    EXPECT_EQ(GIMP_PLUGIN, info.type);
    ASSERT_EQ(13u, info.args.size());
    EXPECT_EQ(0u, info.values.size());
    expect_args(info.args, {
        {GIMP_PDB_INT32, "run-mode", "Interactive, non-interactive"},
        {GIMP_PDB_IMAGE, "image", "(unused)"},
        {GIMP_PDB_DRAWABLE, "drawable", "Drawable to draw on"},
        {GIMP_PDB_FLOAT, "radius", "Radius of gaussian blur (in pixels)"},
        {GIMP_PDB_FLOAT, "lsmooth", "Luminance Tolerance"},
        {GIMP_PDB_FLOAT, "csmooth", "Color Tolerance"},
        {GIMP_PDB_FLOAT, "effect", "Threshold for 2nd derivative of luminance"},
        {GIMP_PDB_FLOAT, "lookahead", "Sharpness"},
        {GIMP_PDB_FLOAT, "gamma", "Gamma"},
        {GIMP_PDB_FLOAT, "damping", "Phase jitter damping"},
        {GIMP_PDB_FLOAT, "phase", "Phase shift for edges"},
        {GIMP_PDB_FLOAT, "texture", "Texture accuracy"},
        {GIMP_PDB_FLOAT, "sharp", "Edge accuracy"},
    });

    const PluginEntry entry = plugin_entry(proc);
    EXPECT_TRUE(entry.found);
    EXPECT_EQ("<Image>/Photo/B/Noise/Varek Noise 2 0.64 ...", entry.menu_path);
    EXPECT_EQ("GRAY*, RGB*", entry.image_types);
}

TEST(Vareknoise2Gimp, EqualsTheCoreOnEveryLayerType)
{
    const struct { GimpImageType type; int bpp; } layers[] = {
        {GIMP_RGB_IMAGE, 3}, {GIMP_RGBA_IMAGE, 4}, {GIMP_GRAY_IMAGE, 1}, {GIMP_GRAYA_IMAGE, 2}};
    NoiseParams other = {3, 0.3, 0.5, 0.2, 1.5, 1.0, 3, 1, 0.3, 0.5, 1, 0};
    for (const auto &l : layers)
        for (const NoiseParams *p : {&noise_params_defaults, static_cast<const NoiseParams *>(&other)}) {
            const int w = 83, h = 61;
            Bytes src = noisy_picture(w, h, l.bpp, 5 + l.bpp);
            const TestImage im(w, h, l.type, src);
            const gint32 image = im.image, layer = im.layer;
            ASSERT_EQ(GIMP_PDB_SUCCESS, run_procedure(proc, call(image, layer, *p)));
            Bytes got = read_pixels(layer);
            EXPECT_EQ(core(*p, src, w, h, l.bpp), got) << "bpp " << l.bpp;
            EXPECT_NE(src, got);
            EXPECT_EQ(block(*p), get_data(data_id));  // stored after every successful run
        }
}

TEST(Vareknoise2Gimp, EqualsTheToolOnTheSamePixels)
{
    const int w = 70, h = 50;
    Bytes src = noisy_picture(w, h, 3, 99);
    char dir[] = "/tmp/vareknoise2-gimp-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string in = std::string(dir) + "/in.ppm", out = std::string(dir) + "/out.ppm";
    NetpbmImage img = {w, h, 3, src.data()};
    char err[256];
    ASSERT_EQ(0, netpbm_write(in.c_str(), &img, err, sizeof err)) << err;
    ASSERT_TRUE(run_program({TOOL_PATH, "--radius=4", "--texture=0.2", in, out}, 60));
    NetpbmImage tool;
    ASSERT_EQ(0, netpbm_read(out.c_str(), &tool, err, sizeof err)) << err;
    Bytes want(tool.pixels, tool.pixels + w * h * 3);
    netpbm_free(&tool);
    std::remove(in.c_str());
    std::remove(out.c_str());
    rmdir(dir);

    NoiseParams p = noise_params_defaults;
    p.radius = 4;
    p.texture = 0.2;
    const TestImage im(w, h, GIMP_RGB_IMAGE, src);
    const gint32 image = im.image, layer = im.layer;
    ASSERT_EQ(GIMP_PDB_SUCCESS, run_procedure(proc, call(image, layer, p)));
    EXPECT_EQ(want, read_pixels(layer));
}

// Rectangles down to a few pixels wide or high: lines far shorter than the
// filter's padding.
TEST(Vareknoise2Gimp, FiltersOnlyTheSelectionRectangle)
{
    const int w = 90, h = 64, bpp = 3;
    const int rects[][4] = {{17, 9, 40, 30}, {5, 3, 3, 50}, {20, 40, 60, 2}, {0, 0, 1, 1}, {88, 60, 2, 4}};
    for (const auto &r : rects) {
        const int sx = r[0], sy = r[1], sw = r[2], sh = r[3];
        Bytes src = noisy_picture(w, h, bpp, 3);
        const TestImage im(w, h, GIMP_RGB_IMAGE, src);
        const gint32 image = im.image, layer = im.layer;
        ASSERT_TRUE(gimp_image_select_rectangle(image, GIMP_CHANNEL_OP_REPLACE, sx, sy, sw, sh));
        ASSERT_EQ(GIMP_PDB_SUCCESS, run_procedure(proc, call(image, layer, noise_params_defaults)));
        Bytes got = read_pixels(layer);
        // The rectangle is filtered as if it were the whole image.
        Bytes crop;
        for (int y = sy; y < sy + sh; y++)
            crop.insert(crop.end(), src.begin() + (y * w + sx) * bpp, src.begin() + (y * w + sx + sw) * bpp);
        Bytes want_crop = core(noise_params_defaults, crop, sw, sh, bpp);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                for (int c = 0; c < bpp; c++) {
                    bool inside = x >= sx && x < sx + sw && y >= sy && y < sy + sh;
                    int want = inside ? want_crop[((y - sy) * sw + x - sx) * bpp + c] : src[(y * w + x) * bpp + c];
                    ASSERT_EQ(want, got[(y * w + x) * bpp + c]) << sw << "x" << sh << " at " << x << "," << y;
                }
    }
}

// Found by the random-call campaign: a selection that misses the layer made
// the plug-in merge a shadow it never wrote (a GIMP critical error).
TEST(Vareknoise2Gimp, SelectionMissingTheLayerLeavesItAlone)
{
    const int w = 16, h = 12;
    Bytes src = noisy_picture(w, h, 4, 5);
    const TestImage im(w, h, GIMP_RGBA_IMAGE, src);
    const gint32 image = im.image, layer = im.layer;
    ASSERT_TRUE(gimp_image_resize(image, 2 * w, 2 * h, 0, 0));
    ASSERT_TRUE(gimp_image_select_rectangle(image, GIMP_CHANNEL_OP_REPLACE, w + 1, h + 1, 8, 6));
    EXPECT_EQ(GIMP_PDB_SUCCESS, run_procedure(proc, call(image, layer, noise_params_defaults)));
    EXPECT_EQ(src, read_pixels(layer));
}

TEST(Vareknoise2Gimp, RefusalsLeavePixelsAndStoredBlockAlone)
{
    const int w = 40, h = 30;
    Bytes src = noisy_picture(w, h, 3, 8);
    const TestImage im(w, h, GIMP_RGB_IMAGE, src);
    const gint32 image = im.image, layer = im.layer;
    NoiseParams stored = noise_params_defaults;
    stored.radius = 2.5;
    stored.preview = 0;
    set_data(data_id, block(stored));

    NoiseParams neg_radius = noise_params_defaults, neg_lsmooth = noise_params_defaults,
                not_finite = noise_params_defaults, too_far = noise_params_defaults;
    neg_radius.radius = -1;
    neg_lsmooth.lsmooth = -0.5;
    not_finite.gamma = NAN;
    too_far.damping = 1e9;
    for (const NoiseParams *p : {&neg_radius, &neg_lsmooth, &not_finite, &too_far})
        EXPECT_EQ(GIMP_PDB_CALLING_ERROR, run_procedure(proc, call(image, layer, *p)));
    for (int count : {12, 14})
        EXPECT_EQ(GIMP_PDB_CALLING_ERROR, run_procedure(proc, call(image, layer, noise_params_defaults, count)))
            << count;
    EXPECT_EQ(src, read_pixels(layer));
    EXPECT_EQ(block(stored), get_data(data_id));
}

TEST(Vareknoise2Gimp, LastValuesUseTheStoredBlock)
{
    const int w = 50, h = 44;
    Bytes src = noisy_picture(w, h, 4, 12);
    NoiseParams stored = {2, 0.5, 0.7, 0.05, 3, 2.2, 1, 0, -0.3, 0.8, 0, 0};
    set_data(data_id, block(stored));
    const TestImage im(w, h, GIMP_RGBA_IMAGE, src);
    const gint32 image = im.image, layer = im.layer;
    ASSERT_EQ(GIMP_PDB_SUCCESS, run_procedure(proc, {int32_param(GIMP_RUN_WITH_LAST_VALS),
                                                     image_param(image), drawable_param(layer)}));
    EXPECT_EQ(core(stored, src, w, h, 4), read_pixels(layer));
    EXPECT_EQ(block(stored), get_data(data_id));
}

}  // namespace
