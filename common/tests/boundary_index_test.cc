#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "boundary_index.h"

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

// Line lengths near INT_MAX: 2n - 2 must not overflow.
TEST(BoundaryMapping, LongestLinesStayInRange)
{
    for (int n : { INT_MAX / 2, INT_MAX - 1, INT_MAX })
        for (int i : { INT_MIN, -1, 0, INT_MAX - 1, INT_MAX }) {
            int m = mirror_index(i, n), p = wrap_index(i, n);
            EXPECT_TRUE(m >= 0 && m < n) << i << " " << n;
            EXPECT_TRUE(p >= 0 && p < n) << i << " " << n;
        }
    EXPECT_EQ(INT_MAX - 2, mirror_index(INT_MAX, INT_MAX));
    EXPECT_EQ(1, mirror_index(-1, INT_MAX));
    EXPECT_EQ(0, wrap_index(INT_MAX, INT_MAX));
    EXPECT_EQ(INT_MAX - 1, wrap_index(-1, INT_MAX));
}

} // namespace
