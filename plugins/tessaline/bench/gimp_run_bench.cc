/* The whole plug-in run inside gimp-console-2.10 beside the pass-through
 * plug-in on the same 12-megapixel RGB layer: the pass-through moves the
 * same tiles in and out (with the same 3-pixel margin) without computing,
 * so its time is the floor.  Started by scripts/bench.d/30-tessaline.sh;
 * prints lines beginning "tessaline-bench:". */
#include "gimp_bench.h"
#include "grain_core.h"
#include "synth_photo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace gimp_bench;

namespace {

TEST(TessalineBench, PluginBesidePassThrough)
{
    const char *size = g_getenv("TESSALINE_BENCH_SIZE"); /* "WxH" */
    int w = 4000, h = 3000;
    if (size) {
        ASSERT_EQ(sscanf(size, "%dx%d", &w, &h), 2);
    }
    std::vector<guint8> px((size_t)w * h * 3);
    synth_photo(px.data(), w, h, w * 3, 11);
    gint32 layer;
    gint32 image = new_image(w, h, GIMP_RGB_IMAGE, px, &layer);

    const std::vector<GimpParam> pass = {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image),
                                         drawable_param(layer), int32_param(GRAIN_RADIUS)};
    const std::vector<GimpParam> grain = {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image),
                                          drawable_param(layer), int32_param(GRAIN_DEFAULT_RED),
                                          int32_param(GRAIN_DEFAULT_GREEN),
                                          int32_param(GRAIN_DEFAULT_BLUE)};
    double best_pass = 1e30, best_grain = 1e30;
    for (int round = 0; round < 5; round++) {
        best_pass = std::min(best_pass, seconds_of([&] {
            EXPECT_EQ(run_procedure("corvella-passthrough", pass), GIMP_PDB_SUCCESS);
        }));
        best_grain = std::min(best_grain, seconds_of([&] {
            EXPECT_EQ(run_procedure("plug_in_tessaline", grain), GIMP_PDB_SUCCESS);
        }));
        if (round == 0) {
            /* The filtered layer is the core's output on the same pixels. */
            const int32_t levels[3] = {GRAIN_DEFAULT_RED, GRAIN_DEFAULT_GREEN, GRAIN_DEFAULT_BLUE};
            std::vector<guint8> want(px.size());
            ASSERT_EQ(grain_filter_image(px.data(), (size_t)w * 3, w, h, 3, levels, want.data(),
                                         (size_t)w * 3), 0);
            EXPECT_TRUE(read_pixels(layer) == want) << "plug-in output differs from the core";
        }
        write_pixels(layer, px);
    }
    const double mp = (double)w * h / 1e6;
    printf("tessaline-bench: %dx%d RGB layer (%.1f MP) in gimp-console-2.10, best of 5 runs each\n",
           w, h, mp);
    printf("tessaline-bench:   pass-through (same tiles, margin 3): %6.2f s  (%5.0f ms/MP)\n",
           best_pass, best_pass * 1e3 / mp);
    printf("tessaline-bench:   plug_in_tessaline 15/10/20:          %6.2f s  (%5.0f ms/MP)\n",
           best_grain, best_grain * 1e3 / mp);
    printf("tessaline-bench:   ratio plug-in / pass-through: %.2f (target <= 1.5)\n",
           best_grain / best_pass);
    fflush(stdout);
    gimp_image_delete(image);
}

} // namespace
