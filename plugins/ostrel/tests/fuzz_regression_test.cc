// Cases found by the fuzz targets (plugins/ostrel/fuzz), kept as named
// tests.  Built in the native and sanitizer trees and in the fuzz tree,
// whose clang UndefinedBehaviorSanitizer sees pointer overflow.
#include <gtest/gtest.h>

#include <vector>

#include "refocus_core.h"
#include "refocus_vals.h"

namespace {

// The interior smoothness stencil reached the rows above a pixel through
// an unsigned offset that wrapped around.
TEST(OstrelFuzzRegression, InteriorStencilReadsTheRowsAbove) {
  const double tiny = -2.0422003887246905e-301;
  RefocusVals vals;
  refocus_vals_set_defaults(&vals);
  vals.radius = vals.gauss = vals.motion = vals.mot_angle = vals.lambda = tiny;
  vals.lambda_min = tiny;
  vals.boundary = 2;
  vals.adaptive_smooth = 2;
  vals.winsize = 2;
  vals.iterations = 2;
  const int w = 10, h = 10;
  ASSERT_EQ(REFOCUS_VALS_OK, refocus_vals_check(&vals, w, h));
  RefocusParams params;
  refocus_vals_to_params(&vals, &params);
  Matrix channels[3];
  RefocusHost host = {};
  unsigned seed = 7;
  for (int c = 0; c < 3; c++) {
    matrix_create(&channels[c], w, h);
    for (int k = 0; k < w * h; k++) {
      seed = seed * 1103515245u + 12345u;
      channels[c].data[k] = (float)((seed >> 16) & 255);
    }
    host.channels[c] = &channels[c];
  }
  host.n_channels = 3;
  ASSERT_EQ(REFOCUS_DONE, refocus_compute(&params, &host, 2));
  for (int c = 0; c < 3; c++) {
    for (int k = 0; k < w * h; k++) {
      EXPECT_GE(channels[c].data[k], 0.0f);
      EXPECT_LE(channels[c].data[k], 255.0f);
    }
    matrix_destroy(&channels[c]);
  }
}

}  // namespace
