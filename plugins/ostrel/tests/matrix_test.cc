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

// Small and large requests (the large ones on 2 MiB boundaries, where
// Linux can back them with large pages) give arrays that hold what is
// written to every element.
TEST(Allocation, LargeArraysAreWhole)
{
    const size_t mib2 = (size_t)2 << 20;
    for (size_t bytes : { (size_t)0, (size_t)100, mib2 - 4, mib2, 5 * mib2 + 12 }) {
        SCOPED_TRACE(bytes);
        float *p = (float *)xmalloc_pages(bytes);
        ASSERT_NE(p, nullptr);
        size_t n = bytes / sizeof(float);
        for (size_t k = 0; k < n; k++)
            p[k] = (float)(k % 1000003);
        size_t wrong = 0;
        for (size_t k = 0; k < n; k++)
            wrong += p[k] != (float)(k % 1000003);
        EXPECT_EQ(wrong, 0u);
#ifdef __linux__
        if (bytes >= mib2) {
            EXPECT_EQ((uintptr_t)p % mib2, 0u);
        }
#endif
        free(p);
    }
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
    EXPECT_EXIT(xmalloc_pages(SIZE_MAX / 2), ::testing::ExitedWithCode(1),
                "Allocation of [0-9]+ bytes failed");
#endif
}

}  // namespace
