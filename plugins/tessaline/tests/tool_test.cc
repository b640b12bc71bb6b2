/* tessaline-filter as a user runs it: results equal the core's, usage
 * errors exit 2 with the usage, file errors exit 1 naming the file, and a
 * failed run leaves the input and any old output as they were. */
#include "grain_core.h"
#include "netpbm_io.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

class Tool : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = tmp_.path;
        w_ = 37;
        h_ = 23;
        pixels_.resize((size_t)w_ * h_ * 3);
        uint32_t s = 12345;
        for (size_t i = 0; i < pixels_.size(); i++) {
            s = s * 1103515245u + 12345u;
            /* A ramp with grain, so the default levels change many samples. */
            pixels_[i] = (uint8_t)(80 + (i / 3 % w_) * 2 + ((s >> 16) % 25) - 12);
        }
        in_ = dir_ + "/in.ppm";
        std::string header = "P6\n" + std::to_string(w_) + " " + std::to_string(h_) + "\n255\n";
        write_file(in_, header + std::string(pixels_.begin(), pixels_.end()));
        in_bytes_ = read_file(in_);
    }

    /* Runs the tool; returns its exit status, *err gets its stderr. */
    int run(const std::vector<std::string> &args, std::string *err = nullptr)
    {
        std::vector<std::string> argv{TESSALINE_FILTER};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcessResult r = run_program(argv);
        if (err)
            *err = r.err;
        return r.status;
    }

    std::vector<uint8_t> core(int32_t r, int32_t g, int32_t b)
    {
        const int32_t levels[3] = {r, g, b};
        std::vector<uint8_t> out(pixels_.size());
        EXPECT_EQ(grain_filter_image(pixels_.data(), (size_t)w_ * 3, w_, h_, 3, levels,
                                     out.data(), (size_t)w_ * 3), 0);
        return out;
    }

    std::vector<uint8_t> read_output(const std::string &path)
    {
        NetpbmImage img;
        char err[256];
        if (netpbm_read(path.c_str(), &img, err, sizeof err) != 0) {
            ADD_FAILURE() << err;
            return {};
        }
        EXPECT_EQ(img.width, w_);
        EXPECT_EQ(img.height, h_);
        EXPECT_EQ(img.channels, 3);
        std::vector<uint8_t> px(img.pixels, img.pixels + (size_t)img.width * img.height * img.channels);
        netpbm_free(&img);
        return px;
    }

    TempDir tmp_{"tessaline-tool"};
    std::string dir_, in_, in_bytes_;
    int w_, h_;
    std::vector<uint8_t> pixels_;
};

TEST_F(Tool, FiltersWithDefaultAndGivenLevels)
{
    const std::string out = dir_ + "/out.ppm";
    ASSERT_EQ(run({in_, out}), 0);
    const auto def = read_output(out);
    EXPECT_EQ(def, core(15, 10, 20));
    EXPECT_NE(def, pixels_);

    ASSERT_EQ(run({"--blue", "3", "--red", "-40", in_, out}), 0);
    EXPECT_EQ(read_output(out), core(-40, 10, 3));

    ASSERT_EQ(run({"--red", "0", "--green", "0", "--blue", "0", in_, out}), 0);
    EXPECT_EQ(read_output(out), pixels_);

    /* Levels whose square overflows 32 bits act as an infinite level. */
    ASSERT_EQ(run({"--red", "2147483647", "--green", "-2147483648", "--blue", "46341", in_, out}), 0);
    EXPECT_EQ(read_output(out), core(256, 256, 256));
    EXPECT_EQ(read_file(in_), in_bytes_);
}

TEST_F(Tool, UsageErrorsExitTwoWithUsage)
{
    const std::string out = dir_ + "/out.ppm";
    const std::vector<std::vector<std::string>> bad = {
        {},
        {in_},
        {in_, out, dir_ + "/third.ppm"},
        {"--red", in_, out},
        {in_, out, "--green"},
        {"--blue", "1x", in_, out},
        {"--blue", "", in_, out},
        {"--red", "2147483648", in_, out},
        {"--red", "-2147483649", in_, out},
        {"--gamma", "3", in_, out},
        {in_, in_},
    };
    for (const auto &args : bad) {
        std::string err;
        std::string joined;
        for (const auto &a : args)
            joined += a + " ";
        EXPECT_EQ(run(args, &err), 2) << joined;
        EXPECT_NE(err.find("tessaline-filter: "), std::string::npos) << joined;
        EXPECT_NE(err.find("usage: tessaline-filter"), std::string::npos) << joined;
        EXPECT_FALSE(exists(out)) << joined;
    }
    EXPECT_EQ(read_file(in_), in_bytes_);
}

TEST_F(Tool, FileErrorsExitOneNamingTheFileAndKeepOldOutput)
{
    const std::string out = dir_ + "/out.ppm";
    write_file(out, "old output");
    struct Case {
        std::string content; /* written to the input, "" = missing */
        const char *what;
    };
    const Case cases[] = {
        {"", "missing input"},
        {"P6\n4 4\n255\nshort", "truncated"},
        {"P3\n1 1\n255\n1 2 3\n", "ASCII"},
        {"P5\n2 2\n255\nabcd", "grey"},
        {"P6\n2 2\n65535\n", "16-bit"},
        {"not an image", "garbage"},
    };
    for (const Case &c : cases) {
        const std::string path = dir_ + "/bad.ppm";
        unlink(path.c_str());
        if (!c.content.empty())
            write_file(path, c.content);
        std::string err;
        EXPECT_EQ(run({path, out}, &err), 1) << c.what;
        EXPECT_NE(err.find(path), std::string::npos) << c.what << ": " << err;
        EXPECT_EQ(read_file(out), "old output") << c.what;
        if (!c.content.empty()) {
            EXPECT_EQ(read_file(path), c.content) << c.what;
        }
    }

    const std::string unwritable = dir_ + "/no-such-dir/out.ppm";
    std::string err;
    EXPECT_EQ(run({in_, unwritable}, &err), 1);
    EXPECT_NE(err.find(unwritable), std::string::npos) << err;
    EXPECT_FALSE(exists(unwritable));
    EXPECT_EQ(read_file(in_), in_bytes_);
}

} // namespace
