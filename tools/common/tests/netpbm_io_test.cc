#include "netpbm_io.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class NetpbmIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/netpbm-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const char *name) const { return dir_ + "/" + name; }

    void WriteBytes(const std::string &path, const std::string &bytes)
    {
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    std::string ReadBytes(const std::string &path)
    {
        std::string s;
        FILE *f = fopen(path.c_str(), "rb");
        if (!f)
            return s;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, n);
        fclose(f);
        return s;
    }
    std::vector<std::string> DirEntries()
    {
        std::vector<std::string> names;
        DIR *d = opendir(dir_.c_str());
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
        return names;
    }

    std::string dir_;
};

TEST_F(NetpbmIo, RoundTripsEveryChannelCountAndSize)
{
    std::mt19937 rng(7);
    const int sizes[][2] = {{1, 1}, {7, 3}, {64, 33}, {3, 200}};
    for (int ch = 1; ch <= 4; ch++)
        for (auto &sz : sizes) {
            NetpbmImage img;
            ASSERT_EQ(netpbm_alloc(&img, sz[0], sz[1], ch), 0);
            size_t n = (size_t)sz[0] * sz[1] * ch;
            for (size_t i = 0; i < n; i++)
                img.pixels[i] = (unsigned char)rng();
            std::string p = Path("img.pnm");
            char err[256];
            ASSERT_EQ(netpbm_write(p.c_str(), &img, err, sizeof err), 0) << err;

            std::string bytes = ReadBytes(p);
            const char *magic = ch == 1 ? "P5" : ch == 3 ? "P6" : "P7";
            EXPECT_EQ(bytes.substr(0, 2), magic);
            EXPECT_EQ(bytes.size() - n, bytes.find_last_of('\n', bytes.size() - n - 1) + 1)
                << "pixel data must follow the header directly";

            NetpbmImage back;
            ASSERT_EQ(netpbm_read(p.c_str(), &back, err, sizeof err), 0) << err;
            EXPECT_EQ(back.width, sz[0]);
            EXPECT_EQ(back.height, sz[1]);
            EXPECT_EQ(back.channels, ch);
            EXPECT_EQ(memcmp(back.pixels, img.pixels, n), 0) << ch << " channels " << sz[0] << "x" << sz[1];
            netpbm_free(&back);
            netpbm_free(&img);
        }
    EXPECT_EQ(DirEntries().size(), 1u) << "no temporary files may be left behind";
}

TEST_F(NetpbmIo, AcceptsCommentsAndFreeHeaderLayout)
{
    const std::string cases[] = {
        std::string("P6\n# made by hand\n2 1\n# maxval next\n255\n") + "abcdef",
        std::string("P6 2\t1\r\n255 ") + "abcdef",
        std::string("P7\n# pam\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n") + "abcdef",
        std::string("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nENDHDR\n") + "abcdef",
    };
    for (const auto &c : cases) {
        WriteBytes(Path("in.ppm"), c);
        NetpbmImage img;
        char err[256];
        ASSERT_EQ(netpbm_read(Path("in.ppm").c_str(), &img, err, sizeof err), 0) << err;
        EXPECT_EQ(img.width, 2);
        EXPECT_EQ(img.height, 1);
        EXPECT_EQ(img.channels, 3);
        EXPECT_EQ(std::string((char *)img.pixels, 6), "abcdef");
        netpbm_free(&img);
    }
}

TEST_F(NetpbmIo, RejectsDamagedFilesWithAMessageNamingTheFile)
{
    const std::pair<const char *, std::string> cases[] = {
        {"empty", ""},
        {"ascii ppm", "P3\n1 1\n255\n1 2 3\n"},
        {"not netpbm", "GIF89a....."},
        {"16-bit", "P5\n1 1\n65535\n\x01\x02"},
        {"maxval 0", "P5\n1 1\n0\n\x01"},
        {"zero width", "P5\n0 1\n255\n"},
        {"huge width", "P5\n99999999999 1\n255\nx"},
        {"too large", "P6\n65536 65536\n255\nx"},
        {"no size", "P5\n# only a comment\n"},
        {"truncated raster", "P6\n4 4\n255\nabc"},
        {"no separator", "P5\n1 1\n255"},
        {"pam without end", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n"},
        {"pam depth 5", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\nabcde"},
        {"pam tuple mismatch", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\na"},
        {"pam unknown tuple", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE CMYK\nENDHDR\na"},
        {"pam missing depth", "P7\nWIDTH 1\nHEIGHT 1\nMAXVAL 255\nENDHDR\na"},
        {"pam bad number", "P7\nWIDTH -1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nENDHDR\na"},
        {"pam long line", "P7\n" + std::string(1000, 'W') + "\nENDHDR\n"},
    };
    for (const auto &c : cases) {
        std::string p = Path("bad.pnm");
        WriteBytes(p, c.second);
        NetpbmImage img;
        img.pixels = (unsigned char *)&img; /* must be cleared */
        char err[256] = "";
        EXPECT_EQ(netpbm_read(p.c_str(), &img, err, sizeof err), -1) << c.first;
        EXPECT_EQ(img.pixels, nullptr) << c.first;
        EXPECT_NE(std::string(err).find(p), std::string::npos) << c.first << ": " << err;
        EXPECT_EQ(ReadBytes(p), c.second) << "reading must never change the file";
    }
    NetpbmImage img;
    char err[256];
    EXPECT_EQ(netpbm_read(Path("missing.pnm").c_str(), &img, err, sizeof err), -1);
    EXPECT_NE(std::string(err).find("missing.pnm"), std::string::npos);
}

TEST_F(NetpbmIo, MessagesNeverOverflowTheirBuffer)
{
    WriteBytes(Path("x"), "nonsense");
    char err[12];
    memset(err, 'Z', sizeof err);
    NetpbmImage img;
    EXPECT_EQ(netpbm_read(Path("x").c_str(), &img, err, 8), -1);
    EXPECT_EQ(strlen(err), 7u);
    EXPECT_EQ(err[8], 'Z');
}

TEST_F(NetpbmIo, FailedWritesLeaveNothingBehind)
{
    NetpbmImage img;
    ASSERT_EQ(netpbm_alloc(&img, 2, 2, 3), 0);
    memset(img.pixels, 9, 12);
    char err[256];

    std::string nodir = Path("no/such/dir/out.ppm");
    EXPECT_EQ(netpbm_write(nodir.c_str(), &img, err, sizeof err), -1);
    EXPECT_NE(std::string(err).find(nodir), std::string::npos);

    /* A directory in the way: the rename fails after the data was written. */
    std::string sub = Path("taken");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    EXPECT_EQ(netpbm_write(sub.c_str(), &img, err, sizeof err), -1);
    struct stat st;
    ASSERT_EQ(stat(sub.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"taken"});

    NetpbmImage empty = {0, 0, 0, nullptr};
    EXPECT_EQ(netpbm_write(Path("e.ppm").c_str(), &empty, err, sizeof err), -1);
    EXPECT_EQ(DirEntries().size(), 1u);
    netpbm_free(&img);
}

TEST_F(NetpbmIo, WriteReplacesAnOldFileWhole)
{
    std::string p = Path("out.pgm");
    WriteBytes(p, std::string(5000, 'x'));
    NetpbmImage img;
    ASSERT_EQ(netpbm_alloc(&img, 1, 1, 1), 0);
    img.pixels[0] = 42;
    char err[256];
    ASSERT_EQ(netpbm_write(p.c_str(), &img, err, sizeof err), 0);
    EXPECT_EQ(ReadBytes(p), std::string("P5\n1 1\n255\n*"));
    netpbm_free(&img);
}

// The tools refuse an output that would replace their input: the same
// name, or another name of the same file, but not a different file.
TEST_F(NetpbmIo, SameFileKnowsEveryNameOfAFile)
{
    const std::string a = Path("a.ppm"), b = Path("b.ppm"), link_a = Path("link.ppm");
    WriteBytes(a, "P6 1 1 255\n\x01\x02\x03");
    WriteBytes(b, "P6 1 1 255\n\x01\x02\x03");
    ASSERT_EQ(link(a.c_str(), link_a.c_str()), 0);
    EXPECT_TRUE(netpbm_same_file(a.c_str(), a.c_str()));
    EXPECT_TRUE(netpbm_same_file(a.c_str(), link_a.c_str()));
    EXPECT_TRUE(netpbm_same_file(a.c_str(), (dir_ + "/./a.ppm").c_str()));
    EXPECT_FALSE(netpbm_same_file(a.c_str(), b.c_str()));
    EXPECT_FALSE(netpbm_same_file(a.c_str(), Path("missing.ppm").c_str()));
    EXPECT_TRUE(netpbm_same_file(Path("missing.ppm").c_str(), Path("missing.ppm").c_str()));
}

TEST(NetpbmAlloc, RefusesSizesOutOfRange)
{
    NetpbmImage img;
    EXPECT_EQ(netpbm_alloc(&img, 0, 5, 1), -1);
    EXPECT_EQ(netpbm_alloc(&img, 5, 5, 0), -1);
    EXPECT_EQ(netpbm_alloc(&img, 5, 5, 5), -1);
    EXPECT_EQ(netpbm_alloc(&img, NETPBM_MAX_SIDE + 1, 1, 1), -1);
    EXPECT_EQ(netpbm_alloc(&img, NETPBM_MAX_SIDE, NETPBM_MAX_SIDE, 4), -1);
    EXPECT_EQ(img.pixels, nullptr);
}

} // namespace
