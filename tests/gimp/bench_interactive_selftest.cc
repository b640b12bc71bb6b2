/* The bench's interactive path: a dialog of one of GIMP's own plug-ins
 * ("Maximum RGB Value") is found on the private Xvfb display, pictured, and
 * answered with real key and pointer events; the layer shows which button
 * was taken. */
#include "gimp_bench.h"

#include <gtest/gtest.h>

using namespace gimp_bench;

namespace {

const char *const title = "^Maximum RGB";

/* Opens the dialog and lets answer() reply; returns the window id ("" when
 * the dialog never appeared). */
std::string run_dialog(gint32 image, gint32 layer, const char *shot,
                       GimpPDBStatusType expected, const std::function<void(const std::string &)> &answer)
{
    std::string win;
    GimpPDBStatusType status = run_with_dialog(
        "plug-in-max-rgb",
        {int32_param(GIMP_RUN_INTERACTIVE), image_param(image), drawable_param(layer), int32_param(0)},
        {title, shot, answer}, &win);
    if (expected != GIMP_PDB_PASS_THROUGH) { /* PASS_THROUGH: any status */
        EXPECT_EQ(status, expected);
    }
    return win;
}

TEST(BenchInteractive, CancelByKeyLeavesLayerAndOkByClickFilters)
{
    ASSERT_TRUE(interactive());
    const int w = 40, h = 30;
    const auto pixels = random_bytes(w * h * 3, 77);
    gint32 layer = -1;
    gint32 image = new_image(w, h, GIMP_RGB_IMAGE, pixels, &layer);

    EXPECT_FALSE(run_dialog(image, layer, "bench-max-rgb-cancel", GIMP_PDB_PASS_THROUGH, [](const std::string &win) {
        EXPECT_TRUE(send_keys(win, {"alt+c"}));
    }).empty());
    EXPECT_EQ(read_pixels(layer), pixels);

    EXPECT_FALSE(run_dialog(image, layer, "bench-max-rgb-ok", GIMP_PDB_SUCCESS, [](const std::string &win) {
        int x, y, ww, hh;
        ASSERT_TRUE(window_geometry(win, &x, &y, &ww, &hh));
        /* OK is the last button of the bottom row. */
        EXPECT_TRUE(click(win, ww - 45, hh - 22));
    }).empty());
    const auto out = read_pixels(layer);
    ASSERT_EQ(out.size(), pixels.size());
    for (size_t p = 0; p < out.size(); p += 3) {
        guint8 m = std::max({pixels[p], pixels[p + 1], pixels[p + 2]});
        for (int c = 0; c < 3; c++)
            ASSERT_EQ(out[p + c], pixels[p + c] == m ? m : 0) << "pixel " << p / 3;
    }
    gimp_image_delete(image);
}

} // namespace
