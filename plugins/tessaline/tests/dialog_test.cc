/* The "Tessaline" dialog in the full GIMP on a private X display, driven by
 * real key and pointer events.  Focus starts on the Red spin button and
 * Tab walks: Red spin, Red scale, Green spin, Green scale, Blue spin, Blue
 * scale, Quit, OK.  The cases run in order in one GIMP process: each one's
 * stored levels are the next one's starting point. */
#include "gimp_bench.h"
#include "grain_reference.h"

#include <gtest/gtest.h>

using namespace gimp_bench;

namespace {

const char *const proc = "plug_in_tessaline";
const char *const title = "^Tessaline$";
const int W = 60, H = 45;

std::vector<guint8> reference(const std::vector<guint8> &src, gint32 r, gint32 g, gint32 b)
{
    const int32_t levels[3] = {r, g, b};
    std::vector<guint8> out(src.size());
    grain_reference_image(src.data(), (size_t)W * 3, W, H, 3, levels, out.data());
    return out;
}

class TessalineDialog : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(interactive());
        pixels_ = random_bytes((size_t)W * H * 3, 21);
        for (auto &v : pixels_)
            v = (guint8)(100 + v % 41 - 20); /* grain around a flat grey */
        image_ = new_image(W, H, GIMP_RGB_IMAGE, pixels_, &layer_);
    }
    void TearDown() override { gimp_image_delete(image_); }

    /* Opens the dialog with an interactive call, pictures it, lets answer()
     * reply and returns the call's status. */
    GimpPDBStatusType run_dialog(const std::string &shot,
                                 const std::function<void(const std::string &)> &answer)
    {
        std::string win;
        GimpPDBStatusType status = run_with_dialog(
            proc, {int32_param(GIMP_RUN_INTERACTIVE), image_param(image_), drawable_param(layer_)},
            {title, shot, answer}, &win);
        EXPECT_FALSE(win.empty()) << "no dialog titled Tessaline appeared";
        return status;
    }

    std::vector<guint8> pixels_;
    gint32 image_ = -1, layer_ = -1;
};

TEST_F(TessalineDialog, FirstRunShowsDefaultsAndOkFiltersAndStores)
{
    ASSERT_TRUE(get_data(proc).empty());
    /* From 15, 10, 20: Red spin up, Green spin up, Blue scale left; the
     * stored 16, 11, 19 show what the dialog started from. */
    EXPECT_EQ(run_dialog("tessaline-first-run", [](const std::string &win) {
                  EXPECT_TRUE(send_keys(win, {"Up", "Tab", "Tab", "Up", "Tab", "Tab", "Tab", "Left"}));
                  EXPECT_TRUE(screenshot("tessaline-edited"));
                  EXPECT_TRUE(send_keys(win, {"alt+o"}));
              }),
              GIMP_PDB_SUCCESS);
    EXPECT_EQ(get_data(proc), pack_int32_le({16, 11, 19}));
    EXPECT_EQ(read_pixels(layer_), reference(pixels_, 16, 11, 19));
}

TEST_F(TessalineDialog, QuitFiltersNothingAndStoresNothing)
{
    EXPECT_EQ(run_dialog("tessaline-quit", [](const std::string &win) {
                  EXPECT_TRUE(send_keys(win, {"Up", "Up", "alt+q"}));
              }),
              GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(layer_), pixels_);
    EXPECT_EQ(get_data(proc), pack_int32_le({16, 11, 19}));
}

TEST_F(TessalineDialog, EscapeFiltersNothingAndStoresNothing)
{
    EXPECT_EQ(run_dialog("tessaline-escape", [](const std::string &win) {
                  EXPECT_TRUE(send_keys(win, {"Down", "Escape"}));
              }),
              GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(layer_), pixels_);
    EXPECT_EQ(get_data(proc), pack_int32_le({16, 11, 19}));
}

TEST_F(TessalineDialog, StartsFromStoredLevelsAndOkByClick)
{
    set_data(proc, pack_int32_le({40, 0, 99}));
    EXPECT_EQ(run_dialog("tessaline-stored", [](const std::string &win) {
                  /* Red 40 -> 39; Blue is at the top of its range (99). */
                  EXPECT_TRUE(send_keys(win, {"Down", "Tab", "Tab", "Tab", "Tab", "Up"}));
                  int x, y, w, h;
                  ASSERT_TRUE(window_geometry(win, &x, &y, &w, &h));
                  /* OK is the last button of the bottom row. */
                  EXPECT_TRUE(click(win, w - 40, h - 14));
              }),
              GIMP_PDB_SUCCESS);
    EXPECT_EQ(get_data(proc), pack_int32_le({39, 0, 99}));
    EXPECT_EQ(read_pixels(layer_), reference(pixels_, 39, 0, 99));
}

} // namespace
