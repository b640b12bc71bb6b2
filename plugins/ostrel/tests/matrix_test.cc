// Matrices and allocation.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "testutil.h"

namespace {

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
