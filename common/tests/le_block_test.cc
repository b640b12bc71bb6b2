#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "le_block.h"

namespace {

TEST(LeBlock, FieldsAreLittleEndianInOrder)
{
    unsigned char buf[24];
    LeBlock w = le_block_writer(buf, sizeof buf);
    le_put_u32(&w, 0x04030201u);
    le_put_i32(&w, -2);
    le_put_f32(&w, 1.0f);
    le_put_f64(&w, -2.0);
    le_put_u32(&w, 0);
    ASSERT_EQ(0, le_block_done(&w));
    const unsigned char want[24] = { 1, 2, 3, 4, 0xfe, 0xff, 0xff, 0xff, 0, 0, 0x80, 0x3f,
                                     0, 0, 0, 0, 0, 0, 0, 0xc0, 0, 0, 0, 0 };
    EXPECT_EQ(0, std::memcmp(buf, want, sizeof buf));

    LeBlock r = le_block_reader(buf, sizeof buf);
    EXPECT_EQ(0x04030201u, le_get_u32(&r));
    EXPECT_EQ(-2, le_get_i32(&r));
    EXPECT_EQ(1.0f, le_get_f32(&r));
    EXPECT_EQ(-2.0, le_get_f64(&r));
    EXPECT_EQ(0u, le_get_u32(&r));
    EXPECT_EQ(0, le_block_done(&r));
}

// Every bit pattern survives, NaN payloads and signed zeros included.
TEST(LeBlock, ValuesRoundTripBitForBit)
{
    const double doubles[] = { 0.0, -0.0, 1e-310, std::numeric_limits<double>::max(),
                               std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN() };
    const float floats[] = { -0.0f, 1e-40f, std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN() };
    const int32_t ints[] = { 0, 1, -1, std::numeric_limits<int32_t>::min(),
                             std::numeric_limits<int32_t>::max() };
    for (double d : doubles)
        for (float f : floats)
            for (int32_t i : ints) {
                unsigned char buf[16];
                LeBlock w = le_block_writer(buf, sizeof buf);
                le_put_f64(&w, d);
                le_put_f32(&w, f);
                le_put_i32(&w, i);
                ASSERT_EQ(0, le_block_done(&w));
                LeBlock r = le_block_reader(buf, sizeof buf);
                double d2 = le_get_f64(&r);
                float f2 = le_get_f32(&r);
                EXPECT_EQ(0, std::memcmp(&d, &d2, sizeof d));
                EXPECT_EQ(0, std::memcmp(&f, &f2, sizeof f));
                EXPECT_EQ(i, le_get_i32(&r));
                EXPECT_EQ(0, le_block_done(&r));
            }
}

// A field that does not fit writes nothing, reads 0 and fails the cursor
// for good; a cursor that stops short of the end is not done either.
TEST(LeBlock, RefusesToRunPastTheEnd)
{
    for (size_t size = 0; size < 12; size++) {
        SCOPED_TRACE(size);
        unsigned char buf[12];
        std::memset(buf, 0xaa, sizeof buf);
        LeBlock w = le_block_writer(buf, size);
        le_put_f64(&w, 1.5);
        le_put_u32(&w, 7);
        EXPECT_EQ(-1, le_block_done(&w));
        for (size_t k = size; k < sizeof buf; k++)
            EXPECT_EQ(0xaa, buf[k]) << "byte " << k << " written beyond the block";
        if (size < 8) {
            for (size_t k = 0; k < size; k++)
                EXPECT_EQ(0xaa, buf[k]) << "a part of a field was written";
        }

        LeBlock r = le_block_reader(buf, size);
        double d = le_get_f64(&r);
        uint32_t u = le_get_u32(&r);
        EXPECT_EQ(-1, le_block_done(&r));
        if (size < 8) {
            EXPECT_EQ(0.0, d);
        }
        EXPECT_EQ(0u, u);
    }
    unsigned char buf[8];
    LeBlock w = le_block_writer(buf, sizeof buf);
    le_put_u32(&w, 1);
    EXPECT_EQ(-1, le_block_done(&w)) << "four bytes left unwritten";
    LeBlock r = le_block_reader(buf, 2);
    (void)le_get_u32(&r);
    (void)le_get_i32(&r);
    EXPECT_EQ(-1, le_block_done(&r));
}

TEST(LeBlock, NullBufferFails)
{
    LeBlock w = le_block_writer(nullptr, 4);
    le_put_u32(&w, 1);
    EXPECT_EQ(-1, le_block_done(&w));
    LeBlock r = le_block_reader(nullptr, 4);
    EXPECT_EQ(0u, le_get_u32(&r));
    EXPECT_EQ(-1, le_block_done(&r));
}

} // namespace
