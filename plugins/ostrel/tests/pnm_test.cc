// Netpbm debug files: exact output, line limits, round trips, rejections.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <sstream>

#include "testutil.h"

namespace {

std::string write_to_string(const Matrix *a, const Matrix *b, const Matrix *c, int binary)
{
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    EXPECT_EQ(pnm_write(a, b, c, binary, f), 0);
    fclose(f);
    std::string s(buf, len);
    free(buf);
    return s;
}

struct ReadResult {
    int rc, err, channels, complete;
    Matrix m[3];
};

ReadResult read_from_string(const std::string &bytes, bool colour_targets = true)
{
    ReadResult r{};
    FILE *f = fmemopen((void *)bytes.data(), bytes.size(), "rb");
    if (bytes.empty())
        f = fopen("/dev/null", "rb");
    errno = 0;
    r.channels = -7;
    r.rc = pnm_read_full(&r.m[0], colour_targets ? &r.m[1] : nullptr,
                         colour_targets ? &r.m[2] : nullptr, &r.channels, f, &r.complete);
    r.err = errno;
    fclose(f);
    return r;
}

void release(ReadResult &r)
{
    for (auto &m : r.m)
        matrix_destroy(&m);
}

TEST(PnmWrite, SmallGreyTextFile)
{
    OwnedMatrix m(2, 1);
    m.at(0, 0) = 0.4f;
    m.at(1, 0) = 254.6f;
    EXPECT_EQ(write_to_string(&m.m, nullptr, nullptr, 0), "P2\n# Deblur output\n2 1\n255\n0 255");
}

// Each text line is broken before the value that would start at or beyond
// the limit: every line but the last reaches the limit, and its last value
// starts before it.
TEST(PnmWrite, TextLineLimits)
{
    for (int colour = 0; colour < 2; colour++) {
        OwnedMatrix r = random_matrix(37, 5, 1), g = random_matrix(37, 5, 2),
                    b = random_matrix(37, 5, 3);
        std::string s = colour ? write_to_string(&r.m, &g.m, &b.m, 0)
                               : write_to_string(&r.m, nullptr, nullptr, 0);
        size_t limit = colour ? 57 : 65;
        std::istringstream in(s);
        std::string line;
        for (int k = 0; k < 4; k++)
            std::getline(in, line);
        EXPECT_EQ(line, "255");
        std::vector<std::string> lines;
        while (std::getline(in, line))
            lines.push_back(line);
        ASSERT_GT(lines.size(), 2u);
        size_t values = 0;
        for (size_t k = 0; k < lines.size(); k++) {
            const std::string &l = lines[k];
            EXPECT_NE(l[0], ' ');
            size_t group = colour ? 3 : 1, count = 0, last_start = 0;
            for (size_t c = 0; c < l.size(); c++)
                if (l[c] != ' ' && (c == 0 || l[c - 1] == ' ')) {
                    if (count % group == 0)
                        last_start = c;
                    count++;
                }
            values += count;
            // The print of a value begins with its blank, one column early.
            EXPECT_LE(last_start, limit) << l;
            if (k + 1 < lines.size()) {
                EXPECT_GE(l.size(), limit) << l;
            }
        }
        EXPECT_EQ(values, r.size() * (colour ? 3 : 1));
        EXPECT_NE(s.back(), '\n');
    }
}

TEST(PnmWrite, MissingThirdMatrixGivesGrey)
{
    OwnedMatrix a = random_matrix(4, 3, 1), b = random_matrix(4, 3, 2);
    Matrix empty{4, 3, nullptr};
    std::string s = write_to_string(&a.m, &b.m, &empty, 1);
    EXPECT_EQ(s.substr(0, 3), "P5\n");
    EXPECT_EQ(s.size(), std::string("P5\n# Deblur output\n4 3\n255\n").size() + 12);
    EXPECT_EQ(write_to_string(&a.m, &b.m, nullptr, 0).substr(0, 3), "P2\n");
}

TEST(PnmWrite, BinaryColourByteCountAndValues)
{
    OwnedMatrix r = random_matrix(5, 3, 4), g = random_matrix(5, 3, 5), b = random_matrix(5, 3, 6);
    std::string s = write_to_string(&r.m, &g.m, &b.m, 1);
    std::string header = "P6\n# Deblur output\n5 3\n255\n";
    ASSERT_EQ(s.substr(0, header.size()), header);
    ASSERT_EQ(s.size() - header.size(), 3u * 15);
    for (int k = 0; k < 15; k++) {
        EXPECT_EQ((unsigned char)s[header.size() + 3 * k], r.m.data[k]);
        EXPECT_EQ((unsigned char)s[header.size() + 3 * k + 2], b.m.data[k]);
    }
}

TEST(PnmWrite, MismatchedSizesAndFailedWritesAreErrors)
{
    OwnedMatrix a(4, 3), b(3, 4), c(4, 3);
    FILE *f = fopen("/dev/null", "wb");
    EXPECT_EQ(pnm_write(&a.m, &b.m, &c.m, 1, f), -1);
    fclose(f);
    EXPECT_EQ(pnm_save(&a.m, nullptr, nullptr, 1, "/dev/full"), -1);
    EXPECT_EQ(pnm_save(&a.m, nullptr, nullptr, 1, "/nonexistent-dir/x.pgm"), -1);
}

// Every format written and read back gives the same whole values.
TEST(PnmRoundTrip, AllFormats)
{
    TempDir dir;
    for (int colour = 0; colour < 2; colour++)
        for (int binary = 0; binary < 2; binary++)
            for (auto [w, h] : { std::pair{ 1, 1 }, { 7, 3 }, { 64, 9 } }) {
                OwnedMatrix r = random_matrix(w, h, 10), g = random_matrix(w, h, 11),
                            b = random_matrix(w, h, 12);
                std::string path = dir.file("rt.pnm");
                ASSERT_EQ(pnm_save(&r.m, colour ? &g.m : nullptr, colour ? &b.m : nullptr,
                                   binary, path.c_str()),
                          0);
                Matrix m[3];
                int channels = 0, complete = 0;
                ASSERT_EQ(pnm_load_full(&m[0], &m[1], &m[2], &channels, path.c_str(), &complete), 0);
                EXPECT_TRUE(complete);
                ASSERT_EQ(channels, colour ? 3 : 1);
                const OwnedMatrix *src[3] = { &r, &g, &b };
                for (int c = 0; c < channels; c++) {
                    ASSERT_EQ(m[c].width, w);
                    ASSERT_EQ(m[c].height, h);
                    for (size_t k = 0; k < r.size(); k++)
                        ASSERT_EQ(m[c].data[k], src[c]->m.data[k]);
                    matrix_destroy(&m[c]);
                }
            }
}

TEST(PnmRead, CommentsAndScaling)
{
    std::string f = "P5\n# one\n# two\n3 2 15\n";
    for (int k = 0; k < 6; k++)
        f += (char)(k * 3);
    ReadResult r = read_from_string(f);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.channels, 1);
    EXPECT_TRUE(r.complete);
    for (int k = 0; k < 6; k++)
        EXPECT_FLOAT_EQ(r.m[0].data[k], k * 3 * 17.0f);
    release(r);
}

TEST(PnmRead, CarriageReturnsAndBlanksAfterMagic)
{
    ReadResult r = read_from_string("P2 \t\r\n2 1\n255\r\n7 9");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.m[0].data[0], 7.0f);
    EXPECT_EQ(r.m[0].data[1], 9.0f);
    release(r);
}

TEST(PnmRead, EarlyEndKeepsWhatWasReadAndZeroesTheRest)
{
    for (const char *f : { "P5\n3 2 255\nabc", "P2\n3 2\n255\n1 2 3 x 5 6", "P3\n2 1\n255\n1 2 3 4" }) {
        ReadResult r = read_from_string(f);
        ASSERT_EQ(r.rc, 0) << f;
        EXPECT_FALSE(r.complete) << f;
        size_t n = (size_t)r.m[0].width * r.m[0].height;
        EXPECT_NE(r.m[0].data[0], 0.0f);
        EXPECT_EQ(r.m[r.channels - 1].data[n - 1], 0.0f);
        release(r);
    }
}

struct Rejection {
    const char *name;
    std::string bytes;
    int err;  // 0: errno untouched
    bool colour_targets;
};

class PnmReject : public ::testing::TestWithParam<Rejection> {};

// Every rejection returns -1 with its error number and leaves no matrix
// holding an array.
TEST_P(PnmReject, FailsCleanly)
{
    const Rejection &c = GetParam();
    ReadResult r = read_from_string(c.bytes, c.colour_targets);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.err, c.err);
    for (auto &m : r.m)
        EXPECT_EQ(m.data, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PnmReject,
    ::testing::Values(
        Rejection{ "empty", "", 0, true }, Rejection{ "one_byte", "P", 0, true },
        Rejection{ "wrong_letter", "Q5\n1 1 255\nx", EINVAL, true },
        Rejection{ "magic_digit_7", "P7\n1 1 255\nx", EINVAL, true },
        Rejection{ "magic_digit_0", "P0\n1 1 255\nx", EINVAL, true },
        Rejection{ "bitmap_text", "P1\n2 2\n0 1 1 0", EINVAL, true },
        Rejection{ "bitmap_binary", "P4\n8 1\nx", EINVAL, true },
        Rejection{ "dimensions_on_magic_line", "P5 3 2 255\nabcdef", EINVAL, true },
        Rejection{ "comment_until_eof", "P5\n# no end", EINVAL, true },
        Rejection{ "eof_after_magic", "P5\n", EINVAL, true },
        Rejection{ "missing_maxval", "P5\n3 2\n", EINVAL, true },
        Rejection{ "junk_dimension", "P5\n3 x 255\n", EINVAL, true },
        Rejection{ "blank_after_maxval", "P5\n1 1 255 \nx", EINVAL, true },
        Rejection{ "zero_maxval", "P2\n1 1 0\n0", EINVAL, true },
        Rejection{ "zero_width", "P2\n0 1 255\n", EINVAL, true },
        Rejection{ "negative_height", "P2\n1 -3 255\n1", EINVAL, true },
        Rejection{ "huge_number", "P2\n99999999999 1 255\n1", EINVAL, true },
        Rejection{ "binary_two_byte_samples", "P5\n1 1 65535\nxx", EINVAL, true },
        Rejection{ "too_many_pixels", "P5\n100000 100000 255\n", EFBIG, true },
        Rejection{ "colour_without_targets", "P6\n1 1 255\nabc", EINVAL, false },
        Rejection{ "colour_text_without_targets", "P3\n1 1 255\n1 2 3", EINVAL, false }),
    [](const ::testing::TestParamInfo<Rejection> &info) { return std::string(info.param.name); });

TEST(PnmLoad, MissingFile)
{
    Matrix m{ 5, 5, (float *)0x1 };
    errno = 0;
    EXPECT_EQ(pnm_load(&m, nullptr, nullptr, nullptr, "/nonexistent-dir/none.pgm"), -1);
    EXPECT_EQ(m.data, nullptr);
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
