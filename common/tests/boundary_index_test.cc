#include <gtest/gtest.h>

#include <climits>

#include "boundary_index.h"

namespace {

// The definitions step by step: reflect (or wrap) one length at a time
// until the index lies in the line.
int mirror_by_steps(int i, int n)
{
    if (n == 1)
        return 0;
    while (i < 0 || i >= n)
        i = i < 0 ? -i : 2 * (n - 1) - i;
    return i;
}

int wrap_by_steps(int i, int n)
{
    while (i < 0)
        i += n;
    while (i >= n)
        i -= n;
    return i;
}

TEST(BoundaryIndex, MatchesStepwiseDefinitions)
{
    for (int n = 1; n <= 9; n++)
        for (int i = -5 * n - 3; i <= 6 * n + 3; i++) {
            EXPECT_EQ(mirror_by_steps(i, n), mirror_index(i, n)) << "i " << i << " n " << n;
            EXPECT_EQ(wrap_by_steps(i, n), wrap_index(i, n)) << "i " << i << " n " << n;
        }
}

TEST(BoundaryIndex, FirstReflectionsAndWraps)
{
    EXPECT_EQ(1, mirror_index(-1, 5));
    EXPECT_EQ(3, mirror_index(5, 5));
    EXPECT_EQ(4, wrap_index(-1, 5));
    EXPECT_EQ(0, wrap_index(5, 5));
}

// Extreme indices and line lengths stay in range (no overflow in 2n - 2).
TEST(BoundaryIndex, ExtremesStayInRange)
{
    const int ns[] = { 1, 2, 3, 1000, INT_MAX / 2, INT_MAX - 1, INT_MAX };
    const int is[] = { INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX };
    for (int n : ns)
        for (int i : is) {
            int m = mirror_index(i, n), w = wrap_index(i, n);
            EXPECT_TRUE(m >= 0 && m < n) << "mirror " << i << " " << n << " -> " << m;
            EXPECT_TRUE(w >= 0 && w < n) << "wrap " << i << " " << n << " -> " << w;
        }
    EXPECT_EQ(INT_MAX - 2, mirror_index(INT_MAX, INT_MAX));
    EXPECT_EQ(0, wrap_index(INT_MAX, INT_MAX));
}

} // namespace
