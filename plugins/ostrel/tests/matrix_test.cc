// Matrices, allocation and the boundary mappings.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "testutil.h"

namespace {

// Reflection and wrap done one step at a time, as often as needed.
int reflect_stepwise(int i, int n)
{
    if (n == 1)
        return 0;
    while (i < 0 || i >= n)
        i = i < 0 ? -i : 2 * n - 2 - i;
    return i;
}

int wrap_stepwise(int i, int n)
{
    while (i < 0)
        i += n;
    while (i >= n)
        i -= n;
    return i;
}

TEST(BoundaryMapping, KnownValues)
{
    EXPECT_EQ(mirror_index(-2, 10), 2);
    EXPECT_EQ(mirror_index(11, 10), 7);
    EXPECT_EQ(mirror_index(-1, 10), 1);
    EXPECT_EQ(mirror_index(10, 10), 8);
    EXPECT_EQ(wrap_index(-2, 10), 8);
    EXPECT_EQ(wrap_index(11, 10), 1);
}

// Within one reflection or wrap the mappings are exactly the single-step
// formulas; beyond it they keep reflecting or wrapping and stay in range.
TEST(BoundaryMapping, SingleStepRangeAndRepeatedSteps)
{
    for (int n = 1; n <= 13; n++)
        for (int i = -6 * n - 3; i <= 6 * n + 3; i++) {
            int m = mirror_index(i, n), p = wrap_index(i, n);
            ASSERT_GE(m, 0);
            ASSERT_LT(m, n);
            ASSERT_GE(p, 0);
            ASSERT_LT(p, n);
            EXPECT_EQ(m, reflect_stepwise(i, n)) << i << " " << n;
            EXPECT_EQ(p, wrap_stepwise(i, n)) << i << " " << n;
            if (n >= 2 && i > -n && i < 2 * n - 1) {
                EXPECT_EQ(m, i < 0 ? -i : i < n ? i : 2 * n - i - 2);
            }
            if (i >= -n && i < 2 * n) {
                EXPECT_EQ(p, i < 0 ? i + n : i < n ? i : i - n);
            }
        }
}

TEST(BoundaryMapping, ExtremeOffsetsStayInRange)
{
    for (int n : { 1, 2, 3, 1000, 65535 })
        for (int i : { INT32_MIN, INT32_MIN + 1, -1000000007, 1000000007, INT32_MAX }) {
            int m = mirror_index(i, n), p = wrap_index(i, n);
            EXPECT_TRUE(m >= 0 && m < n) << i << " " << n;
            EXPECT_TRUE(p >= 0 && p < n) << i << " " << n;
        }
}

TEST(MatrixOps, CreateFillAndReset)
{
    Matrix m;
    matrix_create(&m, 3, 2);
    EXPECT_EQ(m.width, 3);
    EXPECT_EQ(m.height, 2);
    const unsigned char bytes[6] = { 0, 1, 2, 253, 254, 255 };
    matrix_fill_bytes(&m, bytes);
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(m.data[k], (float)bytes[k]);
    // Three-byte pixels: channel 1 of each.
    unsigned char rgb[18];
    for (int k = 0; k < 18; k++)
        rgb[k] = (unsigned char)(10 * k);
    matrix_fill_bytes3(&m, rgb, 1);
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(m.data[k], (float)(10 * (3 * k + 1)));

    Matrix like;
    matrix_create_like(&like, &m);
    EXPECT_EQ(like.width, 3);
    EXPECT_EQ(like.height, 2);
    matrix_destroy(&like);
    EXPECT_EQ(like.data, nullptr);
    matrix_destroy(&like);  // destroying an empty descriptor is harmless

    float *kept = m.data;
    matrix_reset(&m);
    EXPECT_EQ(m.data, nullptr);
    free(kept);
}

TEST(Allocation, StrdupAndZeroSize)
{
    EXPECT_EQ(xstrdup(nullptr), nullptr);
    char *copy = xstrdup("Deblur");
    EXPECT_STREQ(copy, "Deblur");
    free(copy);
    void *p = xmalloc(0);
    EXPECT_NE(p, nullptr);
    free(p);
}

#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_ASAN 1
#endif
#endif

TEST(AllocationDeathTest, FailureExitsWithMessage)
{
#ifdef OSTREL_ASAN
    GTEST_SKIP() << "the sanitizer's allocator reports huge requests itself";
#else
    EXPECT_EXIT(xmalloc(SIZE_MAX / 2), ::testing::ExitedWithCode(1),
                "Allocation of [0-9]+ bytes failed");
#endif
}

}  // namespace
