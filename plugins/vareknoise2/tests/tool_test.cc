// The command-line tool: results equal the core's, files in every Netpbm
// flavour, exit codes and messages for bad use and bad files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "netpbm_io.h"
#include "noise_filter.h"
#include "test_support.h"

namespace {

class NoiseToolTest : public ::testing::Test {
protected:
    TempDir tmp{"vareknoise2-tool"};
    const std::string dir = tmp.path;
    std::string path(const std::string &name) const { return dir + "/" + name; }

    ProcessResult run(const std::vector<std::string> &args) const
    {
        std::vector<std::string> argv{TOOL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_program(argv);
    }

    void write_image(const std::string &file, int w, int h, int channels, unsigned seed) const
    {
        NetpbmImage img;
        ASSERT_EQ(0, netpbm_alloc(&img, w, h, channels));
        // A gentle ramp with a little noise: something for the filter to smooth.
        for (int i = 0; i < w * h * channels; i++) {
            int x = i / channels % w, y = i / channels / w;
            img.pixels[i] = static_cast<unsigned char>(60 + 2 * x + y + (i * 131 + seed * 17) % 13);
        }
        char err[256];
        ASSERT_EQ(0, netpbm_write(file.c_str(), &img, err, sizeof err)) << err;
        netpbm_free(&img);
    }
};

TEST_F(NoiseToolTest, OutputEqualsTheCoreForEveryPixelFormat)
{
    const struct { const char *options[3]; NoiseParams p; } settings[] = {
        {{nullptr}, noise_params_defaults},
        {{"--radius=2.5", "--texture", "0.3"},
         {2.5, 1.0, 1.0, 0.13, 2.0, 1.4, 5.0, 2.0, 0.3, 0.25, 1, 0}},
        {{"--csmooth=0.4", "--gamma=0.8", "--sharp=1"},
         {5.0, 1.0, 0.4, 0.13, 2.0, 0.8, 5.0, 2.0, 0.0, 1.0, 1, 0}},
    };
    for (int channels = 1; channels <= 4; channels++)
        for (const auto &s : settings) {
            std::string in = path("in.pam"), out = path("out.pam");
            write_image(in, 37, 21, channels, channels);
            std::string before = read_file(in);
            std::vector<std::string> args;
            for (const char *o : s.options)
                if (o) args.push_back(o);
            args.push_back(in);
            args.push_back(out);
            ProcessResult r = run(args);
            ASSERT_EQ(0, r.status) << r.err;
            EXPECT_EQ(before, read_file(in));  // input untouched
            NetpbmImage src, got;
            char err[256];
            ASSERT_EQ(0, netpbm_read(in.c_str(), &src, err, sizeof err));
            ASSERT_EQ(0, netpbm_read(out.c_str(), &got, err, sizeof err)) << err;
            ASSERT_EQ(channels, got.channels);
            ASSERT_EQ(37, got.width);
            ASSERT_EQ(21, got.height);
            std::vector<unsigned char> want(37 * 21 * channels);
            ASSERT_EQ(0, noise_filter_buffer(&s.p, src.pixels, 37 * channels, want.data(), 37 * channels, 37, 21, channels));
            EXPECT_EQ(want, std::vector<unsigned char>(got.pixels, got.pixels + want.size())) << channels;
            EXPECT_NE(std::vector<unsigned char>(src.pixels, src.pixels + want.size()), want);
            netpbm_free(&src);
            netpbm_free(&got);
        }
}

TEST_F(NoiseToolTest, UsageErrorsExitTwoWithOneLineAndTheUsage)
{
    write_image(path("in.ppm"), 8, 8, 3, 1);
    const std::string in = path("in.ppm"), out = path("out.ppm");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {in},
        {in, out, path("third.ppm")},
        {"--bogus=1", in, out},
        {"-x", in, out},
        {"--radius=abc", in, out},
        {"--radius=", in, out},
        {"--radius=1.5x", in, out},
        {"--radius=-1", in, out},
        {"--lsmooth=-0.5", in, out},
        {"--sharp=nan", in, out},
        {"--gamma=inf", in, out},
        {"--damping=1e300", in, out},
        {"--phase=1e9", in, out},
        {"--effect=1e999", in, out},
        {in, "--lookahead"},
        {in, in},
    };
    for (const auto &c : cases) {
        ProcessResult r = run(c);
        std::string joined;
        for (const auto &a : c) joined += a + " ";
        EXPECT_EQ(2, r.status) << joined;
        EXPECT_EQ(0u, r.err.find("vareknoise2-filter: ")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("\nusage: vareknoise2-filter")) << r.err;
        EXPECT_NE(0, access(out.c_str(), F_OK)) << joined;
    }
}

TEST_F(NoiseToolTest, NegativeAndOddValuesOtherwiseAreAccepted)
{
    write_image(path("in.pgm"), 9, 30, 1, 3);
    ProcessResult r = run({"--damping", "-3", "--phase=-2", "--effect=0", "--texture=-1", "--csmooth=-2",
                    path("in.pgm"), path("out.pgm")});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(0, access(path("out.pgm").c_str(), F_OK));
}

TEST_F(NoiseToolTest, BadFilesExitOneNamingTheFile)
{
    write_image(path("in.ppm"), 8, 8, 3, 1);
    std::ofstream(path("text.ppm")) << "hello\n";
    std::ofstream(path("short.ppm"), std::ios::binary) << "P6\n8 8\n255\n" << std::string(20, 'x');
    std::ofstream(path("maxval.pgm"), std::ios::binary) << "P5\n2 2\n65535\n" << std::string(8, 'x');
    mkdir(path("sub").c_str(), 0700);
    const struct { std::string in, out, named; } cases[] = {
        {path("missing.ppm"), path("o.ppm"), path("missing.ppm")},
        {path("text.ppm"), path("o.ppm"), path("text.ppm")},
        {path("short.ppm"), path("o.ppm"), path("short.ppm")},
        {path("maxval.pgm"), path("o.ppm"), path("maxval.pgm")},
        {path("sub"), path("o.ppm"), path("sub")},
        {path("in.ppm"), path("nodir/o.ppm"), path("nodir/o.ppm")},
    };
    for (const auto &c : cases) {
        ProcessResult r = run({c.in, c.out});
        EXPECT_EQ(1, r.status) << c.in;
        EXPECT_NE(std::string::npos, r.err.find(c.named)) << r.err;
        EXPECT_EQ(std::string::npos, r.err.find("usage:")) << r.err;
        EXPECT_NE(0, access(path("o.ppm").c_str(), F_OK));
    }
}

TEST_F(NoiseToolTest, FailedWriteLeavesNoPartialFile)
{
    write_image(path("in.ppm"), 8, 8, 3, 1);
    mkdir(path("taken").c_str(), 0700);  // OUT exists and cannot be replaced
    ProcessResult r = run({path("in.ppm"), path("taken")});
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(path("taken"))) << r.err;
    struct stat st;
    ASSERT_EQ(0, stat(path("taken").c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // Nothing but the input and the directory.
    EXPECT_EQ((std::vector<std::string>{"in.ppm", "taken"}), entries(dir));
}

TEST_F(NoiseToolTest, HelpGoesToStandardOutputWithStatusZero)
{
    ProcessResult r = run({"--help"});
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(r.err.empty());
}

}  // namespace
