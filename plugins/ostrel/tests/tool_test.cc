// ostrel-refocus run as a process: options, exit codes, messages, outputs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "testutil.h"

namespace {

// Runs the tool with args, stdin from /dev/null, a 60 s limit.
ProcessResult run_tool(const std::vector<std::string> &args)
{
    std::vector<std::string> argv{ OSTREL_REFOCUS_TOOL };
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult r = run_program(argv, 60);
    if (r.timed_out)
        ADD_FAILURE() << "tool timed out";
    return r;
}

int dir_entries(const std::string &path)
{
    return (int)entries(path).size();
}

// A small blurred colour photo as P6 (and its grey channel as P5).
struct Inputs {
    TempDir dir;
    std::string ppm, pgm;
    Inputs()
    {
        ppm = dir.file("in.ppm");
        pgm = dir.file("in.pgm");
        OwnedMatrix c[3];
        for (int k = 0; k < 3; k++)
            c[k] = test_photo_channel(40, 32, k, 3);
        EXPECT_EQ(pnm_save(&c[0].m, &c[1].m, &c[2].m, 1, ppm.c_str()), 0);
        EXPECT_EQ(pnm_save(&c[1].m, nullptr, nullptr, 1, pgm.c_str()), 0);
    }
};

TEST(ToolUsage, ErrorsExitTwoWithUsage)
{
    Inputs in;
    std::string out = in.dir.file("out.ppm");
    const std::vector<std::vector<std::string>> cases = {
        {},
        { in.ppm },
        { in.ppm, out, "extra" },
        { "--bogus", in.ppm, out },
        { "--radius", "abc", in.ppm, out },
        { "--radius", "nan", in.ppm, out },
        { "--iterations", "-1", in.ppm, out },
        { "--iterations", "2.5", in.ppm, out },
        { "--area-size", "1000", in.ppm, out },
        { "--boundary", "reflect", in.ppm, out },
        { "--seed", "-3", in.ppm, out },
        { "--text=1", in.ppm, out },
        { "--noise", "automatic", in.ppm, out },
        { "--noise", "", in.ppm, out },
        { in.ppm, out, "--radius" },
    };
    for (auto &args : cases) {
        ProcessResult r = run_tool(args);
        std::string joined;
        for (auto &a : args)
            joined += a + " ";
        EXPECT_EQ(r.status, 2) << joined;
        EXPECT_NE(r.err.find("ostrel-refocus: "), std::string::npos) << joined;
        EXPECT_NE(r.err.find("usage: ostrel-refocus"), std::string::npos) << joined;
        EXPECT_FALSE(exists(out)) << joined;
    }
}

TEST(ToolUsage, AbsurdKernelSizesAreRefused)
{
    Inputs in;
    std::string out = in.dir.file("out.ppm");
    for (auto args : std::vector<std::vector<std::string>>{
             { "--radius", "1e6", in.ppm, out },
             { "--motion", "5000", in.ppm, out },
             { "--radius", "30", in.ppm, out },  // 61 x 61 mask, 40 x 32 image
             { "--gauss", "1e30", "--print-mask" } }) {
        ProcessResult r = run_tool(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_NE(r.err.find("mask"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_FALSE(exists(out));
    }
}

TEST(ToolFiles, UnreadableInputsExitOneNamingTheFile)
{
    Inputs in;
    std::string out = in.dir.file("out.ppm");
    std::string garbage = in.dir.file("garbage.ppm"), truncated = in.dir.file("short.pgm"),
                missing = in.dir.file("missing.ppm");
    write_file(garbage, "this is not an image\n");
    write_file(truncated, "P5\n10 10 255\nabc");
    for (const std::string &bad : { garbage, truncated, missing }) {
        ProcessResult r = run_tool({ bad, out });
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
        EXPECT_FALSE(exists(out));
    }
    EXPECT_EQ(read_file(garbage), "this is not an image\n");
}

TEST(ToolFiles, UnwritableOutputExitsOneAndLeavesNothing)
{
    Inputs in;
    std::string out = in.dir.file("no-such-dir/out.ppm");
    ProcessResult r = run_tool({ "--iterations", "1", in.ppm, out });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(out), std::string::npos) << r.err;
    // A read-only directory leaves no temporary file behind (root may
    // write there anyway, so only checked for other users).
    std::string ro = in.dir.file("ro");
    mkdir(ro.c_str(), 0555);
    if (geteuid() != 0) {
        ProcessResult r2 = run_tool({ "--iterations", "1", in.ppm, ro + "/out.ppm" });
        EXPECT_EQ(r2.status, 1);
        EXPECT_EQ(dir_entries(ro), 0);
    }
}

TEST(ToolFiles, OutputOntoInputIsRefused)
{
    Inputs in;
    std::string before = read_file(in.ppm);
    ProcessResult r = run_tool({ "--iterations", "1", in.ppm, in.ppm });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(read_file(in.ppm), before);
}

TEST(ToolRun, RefocusesGreyAndColourWithoutTouchingInput)
{
    Inputs in;
    std::string ppm_before = read_file(in.ppm), pgm_before = read_file(in.pgm);
    struct {
        std::string input, magic;
        std::vector<std::string> extra;
    } cases[] = { { in.ppm, "P6\n", {} },
                  { in.pgm, "P5\n", { "--boundary", "periodic" } },
                  { in.ppm, "P3\n", { "--text", "--no-adaptive" } },
                  { in.pgm, "P2\n", { "--text", "--radius=2.5", "--motion", "2", "--angle", "45" } } };
    for (auto &c : cases) {
        std::string out = in.dir.file("out.pnm");
        std::vector<std::string> args = { "--iterations", "3" };
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.push_back(c.input);
        args.push_back(out);
        ProcessResult r = run_tool(args);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string got = read_file(out);
        EXPECT_EQ(got.substr(0, 3), c.magic);
        EXPECT_NE(got.find("# Deblur output\n40 32\n255"), std::string::npos);
        Matrix m[3];
        int channels = 0, complete = 0;
        ASSERT_EQ(pnm_load_full(&m[0], &m[1], &m[2], &channels, out.c_str(), &complete), 0);
        EXPECT_TRUE(complete);
        EXPECT_EQ(channels, c.magic == "P6\n" || c.magic == "P3\n" ? 3 : 1);
        for (int k = 0; k < channels; k++)
            matrix_destroy(&m[k]);
        // Not a terminal: occasional percentages, ending at 100 %.
        EXPECT_NE(r.err.find("100%"), std::string::npos) << r.err;
        EXPECT_EQ(dir_entries(in.dir.path), 3) << "no temporary files left";
        unlink(out.c_str());
    }
    EXPECT_EQ(read_file(in.ppm), ppm_before);
    EXPECT_EQ(read_file(in.pgm), pgm_before);
}

TEST(ToolRun, SeedsAndTheUnseededSequenceAreRepeatable)
{
    Inputs in;
    auto result = [&](std::vector<std::string> extra) {
        std::string out = in.dir.file("seed.ppm");
        extra.insert(extra.end(), { "--iterations", "2", in.ppm, out });
        ProcessResult r = run_tool(extra);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string s = read_file(out);
        unlink(out.c_str());
        return s;
    };
    std::string unseeded = result({}), seed1 = result({ "--seed", "1" }),
                seed7 = result({ "--seed", "7" });
    EXPECT_EQ(unseeded, result({}));
    EXPECT_EQ(seed7, result({ "--seed", "7" }));
    EXPECT_EQ(unseeded, seed1) << "the unseeded runtime sequence is seed 1";
    EXPECT_NE(seed7, seed1);
}

// --noise auto reports the level it measured and the weight it chose, and
// refocuses exactly as that weight given by hand (the weight printed to
// full precision comes from the same core function).
TEST(ToolRun, NoiseAutoReportsLevelAndWeightAndUsesThem)
{
    Inputs in;
    for (const std::string &file : { in.ppm, in.pgm }) {
        Matrix ch[3];
        int nch = 0;
        ASSERT_EQ(pnm_load(&ch[0], &ch[1], &ch[2], &nch, file.c_str()), 0);
        const Matrix *chans[3] = { &ch[0], &ch[1], &ch[2] };
        RefocusParams p;
        refocus_params_default(&p);
        double levels[3];
        double weight = refocus_auto_noise(&p, chans, nch, levels, nullptr);
        for (int c = 0; c < nch; c++)
            matrix_destroy(&ch[c]);

        std::string out_auto = in.dir.file("auto.pnm"), out_fixed = in.dir.file("fixed.pnm");
        ProcessResult r = run_tool({ "--noise", "auto", "--seed", "3", "--iterations", "3", file,
                                  out_auto });
        ASSERT_EQ(r.status, 0) << r.err;
        char expect[200];
        std::snprintf(expect, sizeof expect, "noise level found: %.2f", levels[0]);
        if (nch == 3)
            std::snprintf(expect, sizeof expect, "noise level found: %.2f (red %.2f,",
                          (levels[0] + levels[1] + levels[2]) / 3, levels[0]);
        EXPECT_NE(r.err.find(expect), std::string::npos) << r.err;
        std::snprintf(expect, sizeof expect, "noise weight chosen: %.0f\n", weight);
        EXPECT_NE(r.err.find(expect), std::string::npos) << r.err;

        char wtext[64];
        std::snprintf(wtext, sizeof wtext, "%.17g", weight);
        r = run_tool({ "--noise", wtext, "--seed", "3", "--iterations", "3", file, out_fixed });
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("noise level"), std::string::npos) << "only auto reports it";
        EXPECT_EQ(read_file(out_auto), read_file(out_fixed)) << file;
        unlink(out_auto.c_str());
        unlink(out_fixed.c_str());
    }
}

TEST(ToolRun, FailedRunKeepsExistingOutput)
{
    Inputs in;
    std::string out = in.dir.file("keep.ppm");
    write_file(out, "old contents");
    std::string bad = in.dir.file("bad.ppm");
    write_file(bad, "P6\n4 4 255\nxy");
    ProcessResult r = run_tool({ bad, out });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(out), "old contents");
}

TEST(ToolPrint, MaskAndWeights)
{
    ProcessResult mask = run_tool({ "--radius", "1", "--print-mask" });
    EXPECT_EQ(mask.status, 0);
    EXPECT_EQ(mask.out,
              "CONVMASK:\n0.0251 0.1453 0.0251 \n0.1453 0.3183 0.1453 \n0.0251 0.1453 0.0251 \n");
    ProcessResult motion = run_tool({ "--radius", "0", "--motion", "3", "--print-mask" });
    EXPECT_EQ(motion.status, 0);
    EXPECT_NE(motion.out.find("\n0.0000 0.0000 0.0000 0.0000 0.2500 0.2500 0.2500 0.2500 0.0000 \n"),
              std::string::npos)
        << motion.out;
    ProcessResult weights = run_tool({ "--radius", "1", "--print-weights" });
    EXPECT_EQ(weights.status, 0);
    EXPECT_EQ(weights.out.substr(0, weights.out.find('\n')), "WEIGHTS: (rxnz, rynz)=(2,2)");
    int lines = 0;
    for (char ch : weights.out)
        lines += ch == '\n';
    EXPECT_EQ(lines, 6);
    ProcessResult files = run_tool({ "--print-mask", "a.ppm" });
    EXPECT_EQ(files.status, 2);
}

}  // namespace
