// The dialog in the full GIMP under Xvfb: a first run shows the defaults,
// OK filters and stores, Cancel does neither, a later run starts from the
// stored values.  A screenshot of the dialog is kept as a test artifact.
#include <gtest/gtest.h>

#include <vector>

#include "gimp_bench.h"
#include "noise_filter.h"

using namespace gimp_bench;

namespace {

const char *const proc = "plug-in-vareknoise2-0-64";
const char *const data_id = "plug_in_vareknoise2-0.64";
const char *const title = "^Varek Noise 2 V 0\\.64$";
using Bytes = std::vector<guint8>;

Bytes picture(int w, int h, guint32 seed)
{
    Bytes noise = random_bytes(static_cast<size_t>(w) * h * 3, seed), img(noise.size());
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) {
                size_t i = (static_cast<size_t>(y) * w + x) * 3 + c;
                int v = 50 + (x * 120) / w + 40 * c + noise[i] % 25 - 12 - ((x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < h * h / 9 ? 45 : 0);
                img[i] = static_cast<guint8>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    return img;
}

Bytes core(const NoiseParams &p, const Bytes &src, int w, int h)
{
    Bytes out(src.size());
    EXPECT_EQ(0, noise_filter_buffer(&p, src.data(), w * 3, out.data(), w * 3, w, h, 3));
    return out;
}

Bytes block(const NoiseParams &p)
{
    Bytes b(NOISE_PARAMS_BLOB_SIZE);
    noise_params_pack(&p, b.data());
    return b;
}

// Opens the dialog on the layer and answers it with keys; returns whether
// the dialog appeared.
bool run_dialog(gint32 image, gint32 layer, const std::vector<std::string> &keys, const char *shot)
{
    // Mapped is not yet drawn: give the dialog and its preview a moment
    // before picturing it and typing.
    DialogAnswer dialog{title, shot ? shot : "",
                        [&](const std::string &win) { EXPECT_TRUE(send_keys(win, keys)); },
                        shot ? 1500 : 500, 40};
    std::string win;
    EXPECT_EQ(GIMP_PDB_SUCCESS,
              run_with_dialog(proc, {int32_param(GIMP_RUN_INTERACTIVE), image_param(image),
                                     drawable_param(layer)},
                              dialog, &win));
    return !win.empty();
}

const int W = 240, H = 160;

TEST(Vareknoise2Dialog, FirstRunShowsTheDefaultsAndOkFiltersAndStores)
{
    ASSERT_TRUE(interactive());
    ASSERT_TRUE(get_data(data_id).empty());
    Bytes src = picture(W, H, 1);
    gint32 layer;
    gint32 image = new_image(W, H, GIMP_RGB_IMAGE, src, &layer);
    ASSERT_TRUE(run_dialog(image, layer, {"alt+o"}, "vareknoise2-dialog"));
    // The result is the defaults' result, so the dialog started from them.
    EXPECT_EQ(core(noise_params_defaults, src, W, H), read_pixels(layer));
    EXPECT_EQ(block(noise_params_defaults), get_data(data_id));
    gimp_image_delete(image);
}

TEST(Vareknoise2Dialog, CancelLeavesLayerAndStoredValues)
{
    NoiseParams stored = noise_params_defaults;
    stored.radius = 3;
    stored.csmooth = 0.5;
    set_data(data_id, block(stored));
    Bytes src = picture(W, H, 2);
    gint32 layer;
    gint32 image = new_image(W, H, GIMP_RGB_IMAGE, src, &layer);
    ASSERT_TRUE(run_dialog(image, layer, {"Escape"}, nullptr));
    EXPECT_EQ(src, read_pixels(layer));
    EXPECT_EQ(block(stored), get_data(data_id));
    gimp_image_delete(image);
}

TEST(Vareknoise2Dialog, LaterRunStartsFromTheStoredValues)
{
    NoiseParams stored = {3, 0.5, 0.6, 0.2, 1.5, 1.1, 4, 1, 0.2, 0.5, 0, 0};  // preview off
    set_data(data_id, block(stored));
    Bytes src = picture(W, H, 3);
    gint32 layer;
    gint32 image = new_image(W, H, GIMP_RGB_IMAGE, src, &layer);
    ASSERT_TRUE(run_dialog(image, layer, {"alt+o"}, "vareknoise2-dialog-stored"));
    EXPECT_EQ(core(stored, src, W, H), read_pixels(layer));
    EXPECT_EQ(block(stored), get_data(data_id));  // the preview toggle stays off
    gimp_image_delete(image);
}

// The preview check box has the focus when the dialog opens; its state is
// stored with the values and does not change the result.
TEST(Vareknoise2Dialog, PreviewToggleIsStored)
{
    set_data(data_id, block(noise_params_defaults));
    Bytes src = picture(W, H, 4);
    gint32 layer;
    gint32 image = new_image(W, H, GIMP_RGB_IMAGE, src, &layer);
    ASSERT_TRUE(run_dialog(image, layer, {"space", "alt+o"}, nullptr));
    EXPECT_EQ(core(noise_params_defaults, src, W, H), read_pixels(layer));
    NoiseParams off = noise_params_defaults;
    off.preview = 0;
    EXPECT_EQ(block(off), get_data(data_id));
    gimp_image_delete(image);
}

}  // namespace
