// The motion-direction control's angles and needle, and the preview
// window's size and scroll range.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

extern "C" {
#include "refocus_geometry.h"
}

namespace {

// Independent formulation: the screen's y grows downward, the angle grows
// counter-clockwise, so the mathematical angle of (x - 40, 40 - y).
double reference_angle(double x, double y) {
  double a = std::atan2(40.0 - y, x - 40.0) * 180.0 / std::acos(-1.0);
  return a < 0 ? a + 360.0 : a;
}

struct PointerCase { float x, y, angle; };

TEST(OstrelMotionControl, PointerPositionsGiveTheirAngles) {
  const PointerCase cases[] = {
    {40, 40, 0},    // the centre
    {40, 79, 270},  // straight down
    {1, 40, 180},   // left
    {40, 1, 90},    // up
    {79, 40, 0},    // right
    {79, 1, 45},
    {1, 1, 135},
    {1, 79, 225},
    {79, 79, 315},
    {40.00001f, 40.00001f, 0},  // within the dead zone at the centre
  };
  for (const PointerCase &c : cases)
    EXPECT_NEAR(motion_angle_from_pointer(c.x, c.y), c.angle, 1e-3) << c.x << "," << c.y;
}

TEST(OstrelMotionControl, AnglesMatchAnIndependentFormulaEverywhere) {
  for (int y = 0; y < MOTION_AREA_SIZE; y++)
    for (int x = 0; x < MOTION_AREA_SIZE; x++) {
      if (x == 40 && y == 40) continue;
      float a = motion_angle_from_pointer(float(x), float(y));
      ASSERT_TRUE(a >= 0.0f && a <= 360.0f) << x << "," << y << " gave " << a;
      double d = std::fabs(a - reference_angle(x, y));
      if (d > 180) d = 360 - d;  // 0 and 360 are the same direction
      ASSERT_LT(d, 2e-3) << x << "," << y;
    }
}

TEST(OstrelMotionControl, PointersFarOutsideStillGiveAnAngle) {
  EXPECT_NEAR(motion_angle_from_pointer(1e6f, 40.0f), 0.0f, 1e-3);
  EXPECT_NEAR(motion_angle_from_pointer(40.0f, -1e6f), 90.0f, 1e-3);
  EXPECT_NEAR(motion_angle_from_pointer(40.0f, 1e6f), 270.0f, 1e-3);
  EXPECT_NEAR(motion_angle_from_pointer(-1e6f, 40.0f), 180.0f, 1e-3);
}

struct NeedleCase { double angle; int x, y; };

TEST(OstrelMotionControl, NeedleEndsWhereTheRoundingRulePutsThem) {
  const NeedleCase cases[] = {
    {0, 79, 40},
    {90, 40, 1},
    {180, 2, 40},   // -39 + 0.5 truncates to -38
    {270, 40, 78},  // 40 - trunc(-38.5)
    {360, 79, 40},
    {45, 68, 12},   // 39 cos 45 = 27.58: 40 + 28, 40 - 28
  };
  for (const NeedleCase &c : cases) {
    int x = -1, y = -1;
    motion_needle_end(c.angle, &x, &y);
    EXPECT_EQ(x, c.x) << c.angle;
    EXPECT_EQ(y, c.y) << c.angle;
  }
}

TEST(OstrelMotionControl, NeedleStaysInsideTheControlAndHasItsLength) {
  for (int tenth = 0; tenth < 3600; tenth++) {
    int x, y;
    motion_needle_end(tenth / 10.0, &x, &y);
    ASSERT_TRUE(x >= 0 && x < MOTION_AREA_SIZE && y >= 0 && y < MOTION_AREA_SIZE) << tenth;
    double len = std::hypot(x - 40.0, y - 40.0);
    // Truncating negative halves toward zero shortens it by up to a pixel per axis.
    ASSERT_NEAR(len, 38.5, 1.5) << tenth;
    // Pointing at the needle's end gives back (nearly) the same angle.
    double d = std::fabs(motion_angle_from_pointer(float(x), float(y)) - tenth / 10.0);
    if (d > 180) d = 360 - d;
    ASSERT_LT(d, 2.5) << tenth;  // one pixel at 39 is up to 2 degrees
  }
}

TEST(OstrelPreviewWindow, SelectionOf100By300) {
  EXPECT_EQ(preview_extent(100), 100);
  EXPECT_EQ(preview_extent(300), 128);
  EXPECT_EQ(preview_scroll_limit(100), 0) << "the horizontal scrollbar cannot move";
  EXPECT_EQ(preview_scroll_limit(300), 171);
}

TEST(OstrelPreviewWindow, ExtentAndLimitForManySides) {
  for (int side = 1; side <= 600; side++) {
    int e = preview_extent(side);
    EXPECT_EQ(e, side < 128 ? side : 128) << side;
    int limit = preview_scroll_limit(side);
    EXPECT_EQ(limit, side - 1 - e > 0 ? side - 1 - e : 0) << side;
    EXPECT_LE(limit + e, side) << "the window must lie inside the selection";
  }
}

TEST(OstrelPreviewWindow, OffsetsAreTruncatedAndKeepTheWindowInside) {
  struct { double value; int side, offset; } cases[] = {
    {0, 300, 0},     {171.9, 300, 171}, {10.5, 300, 10},
    {172, 300, 172}, {500, 300, 172},   {-3, 300, 0},
    {5, 100, 0},     {5, 1, 0},         {std::numeric_limits<double>::quiet_NaN(), 300, 0},
    {1e300, 300, 172},
  };
  for (const auto &c : cases)
    EXPECT_EQ(preview_offset_from_value(c.value, c.side), c.offset) << c.value << " on " << c.side;
}

}  // namespace
