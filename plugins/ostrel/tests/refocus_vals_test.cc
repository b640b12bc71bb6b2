// The parameter record, its 72-byte stored block and the checks on values
// that come from scripts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

extern "C" {
#include "refocus_core.h"
#include "refocus_vals.h"
}

namespace {

RefocusVals distinct_vals() {
  RefocusVals v;
  refocus_vals_set_defaults(&v);
  v.radius = 1.25;
  v.gauss = -2.5;
  v.motion = 3.75;
  v.mot_angle = 271.125;
  v.lambda = 1e-3;
  v.lambda_min = 99.5;
  v.winsize = 0x01020304u;
  v.iterations = 0xa1b2c3d4u;
  v.boundary = -7;
  v.adaptive_smooth = 0x11223344;
  v.prev_iter = 0xfffffffeu;
  return v;
}

double le_f64(const unsigned char *p) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; i--) bits = bits << 8 | p[i];
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

uint32_t le_u32(const unsigned char *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
         uint32_t(p[3]) << 24;
}

TEST(OstrelVals, DefaultsAreTheDocumentedOnes) {
  RefocusVals v;
  std::memset(&v, 0x5a, sizeof v);
  refocus_vals_set_defaults(&v);
  EXPECT_EQ(v.radius, 6.0);
  EXPECT_EQ(v.gauss, 0.0);
  EXPECT_EQ(v.motion, 0.0);
  EXPECT_EQ(v.mot_angle, 0.0);
  EXPECT_EQ(v.lambda, 100.0);
  EXPECT_EQ(v.lambda_min, 30.0);
  EXPECT_EQ(v.winsize, 3u);
  EXPECT_EQ(v.iterations, 100u);
  EXPECT_EQ(v.boundary, 0);
  EXPECT_EQ(v.adaptive_smooth, 1);
  EXPECT_EQ(v.prev_iter, 10u);
  EXPECT_EQ(v.reserved, 0u);
}

TEST(OstrelVals, BlockHasTheFixedLittleEndianLayout) {
  RefocusVals v = distinct_vals();
  unsigned char block[REFOCUS_VALS_BLOCK_SIZE];
  std::memset(block, 0xee, sizeof block);
  refocus_vals_to_block(&v, block);

  EXPECT_EQ(le_f64(block + 0), 1.25);
  EXPECT_EQ(le_f64(block + 8), -2.5);
  EXPECT_EQ(le_f64(block + 16), 3.75);
  EXPECT_EQ(le_f64(block + 24), 271.125);
  EXPECT_EQ(le_f64(block + 32), 1e-3);
  EXPECT_EQ(le_f64(block + 40), 99.5);
  EXPECT_EQ(le_u32(block + 48), 0x01020304u);
  EXPECT_EQ(le_u32(block + 52), 0xa1b2c3d4u);
  EXPECT_EQ(int32_t(le_u32(block + 56)), -7);
  EXPECT_EQ(le_u32(block + 60), 0x11223344u);
  EXPECT_EQ(le_u32(block + 64), 0xfffffffeu);
  EXPECT_EQ(le_u32(block + 68), 0u) << "trailing bytes carry nothing";
  // The lowest byte comes first: winsize 0x01020304 is stored 04 03 02 01.
  EXPECT_EQ(block[48], 0x04);
  EXPECT_EQ(block[51], 0x01);
}

TEST(OstrelVals, BlockIsTheRecordsRawBytesOnThisHost) {
  // Blocks written by earlier builds were the record's memory image.
  RefocusVals v = distinct_vals();
  unsigned char block[REFOCUS_VALS_BLOCK_SIZE];
  refocus_vals_to_block(&v, block);
  ASSERT_EQ(sizeof v, size_t(REFOCUS_VALS_BLOCK_SIZE));
  EXPECT_EQ(std::memcmp(&v, block, sizeof block), 0);
}

TEST(OstrelVals, BlockRoundTripsEveryField) {
  RefocusVals v = distinct_vals(), back;
  unsigned char block[REFOCUS_VALS_BLOCK_SIZE];
  refocus_vals_to_block(&v, block);
  std::memset(&back, 0, sizeof back);
  ASSERT_EQ(refocus_vals_from_block(&back, block, sizeof block), 0);
  EXPECT_EQ(std::memcmp(&v, &back, sizeof v), 0);
}

TEST(OstrelVals, BlocksOfAnotherSizeLeaveTheRecordAlone) {
  std::vector<unsigned char> big(200, 0x41);
  for (size_t size : {size_t(0), size_t(68), size_t(71), size_t(73), size_t(88), big.size()}) {
    RefocusVals v, before;
    refocus_vals_set_defaults(&v);
    before = v;
    EXPECT_EQ(refocus_vals_from_block(&v, big.data(), size), -1) << size;
    EXPECT_EQ(std::memcmp(&v, &before, sizeof v), 0) << size;
  }
  RefocusVals v;
  EXPECT_EQ(refocus_vals_from_block(&v, nullptr, REFOCUS_VALS_BLOCK_SIZE), -1);
}

TEST(OstrelVals, ParamsCarryTheComputationsValues) {
  RefocusVals v = distinct_vals();
  v.winsize = 5;
  RefocusParams p;
  refocus_vals_to_params(&v, &p);
  EXPECT_EQ(p.radius, v.radius);
  EXPECT_EQ(p.gauss, v.gauss);
  EXPECT_EQ(p.motion, v.motion);
  EXPECT_EQ(p.mot_angle, v.mot_angle);
  EXPECT_EQ(p.lambda, v.lambda);
  EXPECT_EQ(p.lambda_min, v.lambda_min);
  EXPECT_EQ(p.winsize, 5);
  EXPECT_EQ(p.boundary, -7);
  EXPECT_EQ(p.adaptive_smooth, 0x11223344);
}

struct CheckCase {
  const char *what;
  void (*change)(RefocusVals *);
  int width, height;
  RefocusValsCheck expected;
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

const CheckCase kCheckCases[] = {
  {"defaults", [](RefocusVals *) {}, 640, 480, REFOCUS_VALS_OK},
  {"defaults on one pixel", [](RefocusVals *) {}, 1, 1, REFOCUS_VALS_OK},
  {"negative radius is the identity", [](RefocusVals *v) { v->radius = -5; }, 8, 8, REFOCUS_VALS_OK},
  {"zero iterations", [](RefocusVals *v) { v->iterations = 0; }, 8, 8, REFOCUS_VALS_OK},
  {"odd boundary value", [](RefocusVals *v) { v->boundary = 7; }, 8, 8, REFOCUS_VALS_OK},
  {"negative noise", [](RefocusVals *v) { v->lambda = -50; }, 8, 8, REFOCUS_VALS_OK},
  {"largest dialog kernels on a 2 x 2 selection",
   [](RefocusVals *v) { v->radius = 32; v->gauss = 32; v->motion = 32; }, 2, 2, REFOCUS_VALS_OK},
  {"largest dialog window on one pixel", [](RefocusVals *v) { v->winsize = 16; }, 1, 1, REFOCUS_VALS_OK},
  {"window of the selection's side", [](RefocusVals *v) { v->winsize = 200; }, 200, 30, REFOCUS_VALS_OK},
  {"huge motion angle", [](RefocusVals *v) { v->mot_angle = 1e30; }, 8, 8, REFOCUS_VALS_OK},
  {"NaN radius", [](RefocusVals *v) { v->radius = kNaN; }, 8, 8, REFOCUS_VALS_NOT_FINITE},
  {"infinite gauss", [](RefocusVals *v) { v->gauss = kInf; }, 8, 8, REFOCUS_VALS_NOT_FINITE},
  {"-infinite motion", [](RefocusVals *v) { v->motion = -kInf; }, 8, 8, REFOCUS_VALS_NOT_FINITE},
  {"NaN angle", [](RefocusVals *v) { v->mot_angle = kNaN; }, 8, 8, REFOCUS_VALS_NOT_FINITE},
  {"noise beyond float range", [](RefocusVals *v) { v->lambda = 1e39; }, 8, 8, REFOCUS_VALS_NOT_FINITE},
  {"NaN smoothness", [](RefocusVals *v) { v->lambda_min = kNaN; }, 8, 8, REFOCUS_VALS_NOT_FINITE},
  {"negative iterations", [](RefocusVals *v) { v->iterations = uint32_t(int32_t(-1)); }, 8, 8,
   REFOCUS_VALS_NEGATIVE_COUNT},
  {"most negative iterations", [](RefocusVals *v) { v->iterations = 0x80000000u; }, 8, 8,
   REFOCUS_VALS_NEGATIVE_COUNT},
  {"negative area size", [](RefocusVals *v) { v->winsize = uint32_t(int32_t(-3)); }, 8, 8,
   REFOCUS_VALS_NEGATIVE_COUNT},
  {"window far beyond a small selection", [](RefocusVals *v) { v->winsize = 17; }, 10, 10,
   REFOCUS_VALS_WINDOW_TOO_LARGE},
  {"window beyond a large selection", [](RefocusVals *v) { v->winsize = 201; }, 200, 30,
   REFOCUS_VALS_WINDOW_TOO_LARGE},
  {"absurd radius", [](RefocusVals *v) { v->radius = 1e6; }, 640, 480, REFOCUS_VALS_MASK_TOO_LARGE},
  {"absurd gauss", [](RefocusVals *v) { v->gauss = 1e9; }, 640, 480, REFOCUS_VALS_MASK_TOO_LARGE},
  {"absurd motion", [](RefocusVals *v) { v->motion = 3e38; }, 640, 480, REFOCUS_VALS_MASK_TOO_LARGE},
  {"most iterations", [](RefocusVals *v) { v->iterations = REFOCUS_MAX_ITERATIONS; }, 8, 8,
   REFOCUS_VALS_OK},
  {"one iteration too many", [](RefocusVals *v) { v->iterations = REFOCUS_MAX_ITERATIONS + 1; }, 8,
   8, REFOCUS_VALS_TOO_MANY_ITERATIONS},
  {"largest positive iteration count", [](RefocusVals *v) { v->iterations = INT32_MAX; }, 8, 8,
   REFOCUS_VALS_TOO_MANY_ITERATIONS},
  // Found by the random-call campaign in GIMP: 65536 iterations with a wide
  // Gaussian on an 8 x 6 selection ran for well over a minute.
  {"campaign call that hung", [](RefocusVals *v) {
     v->radius = -5.5; v->gauss = 16.723889664422526; v->motion = 2.8297356652309551;
     v->mot_angle = 4.9406564584124654e-324; v->lambda = 0.12487034831979935; v->boundary = 1;
     v->lambda_min = 1.3800040946915015; v->adaptive_smooth = 0; v->winsize = 1;
     v->iterations = 65536; v->prev_iter = 93; }, 8, 6, REFOCUS_VALS_TOO_MANY_ITERATIONS},
};

class OstrelValsCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(OstrelValsCheckTest, Verdict) {
  const CheckCase &c = GetParam();
  RefocusVals v;
  refocus_vals_set_defaults(&v);
  c.change(&v);
  RefocusVals before = v;
  EXPECT_EQ(refocus_vals_check(&v, c.width, c.height), c.expected) << c.what;
  EXPECT_EQ(std::memcmp(&v, &before, sizeof v), 0) << "the check must not change the values";
  EXPECT_NE(refocus_vals_check_message(c.expected), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, OstrelValsCheckTest, ::testing::ValuesIn(kCheckCases));

TEST(OstrelValsCheck, EveryRefusalHasItsOwnMessage) {
  const RefocusValsCheck all[] = {REFOCUS_VALS_OK, REFOCUS_VALS_NOT_FINITE,
                                  REFOCUS_VALS_NEGATIVE_COUNT, REFOCUS_VALS_MASK_TOO_LARGE,
                                  REFOCUS_VALS_WINDOW_TOO_LARGE,
                                  REFOCUS_VALS_TOO_MANY_ITERATIONS};
  const size_t n = sizeof all / sizeof *all;
  for (size_t i = 0; i < n; i++)
    for (size_t j = i + 1; j < n; j++)
      EXPECT_STRNE(refocus_vals_check_message(all[i]), refocus_vals_check_message(all[j]));
}

}  // namespace
