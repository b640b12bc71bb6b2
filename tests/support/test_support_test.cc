// The shared test helpers: what a test relies on when it runs a program or
// uses a temporary folder.
#include "test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

const std::string sh = "/bin/sh";

// True when no process has the id any more (a killed child of a killed
// shell is reaped by init a moment later).
bool gone(pid_t pid)
{
    for (int i = 0; i < 200; i++) {
        if (kill(pid, 0) != 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(RunProgram, StatusAndBothOutputs)
{
    const struct {
        std::string script;
        int status;
        std::string out, err;
    } cases[] = {
        {"echo out; echo err >&2; exit 3", 3, "out\n", "err\n"},
        {"exit 0", 0, "", ""},
        {"kill -9 $$", 128 + 9, "", ""},
        {"cat", 0, "", ""},  // standard input is empty, not the test's own
    };
    for (const auto &c : cases) {
        ProcessResult r = run_program({sh, "-c", c.script}, 30);
        EXPECT_EQ(c.status, r.status) << c.script;
        EXPECT_FALSE(r.timed_out) << c.script;
        EXPECT_EQ(c.out, r.out) << c.script;
        EXPECT_EQ(c.err, r.err) << c.script;
    }
}

TEST(RunProgram, OutputLargerThanAPipeIsCollectedWhole)
{
    ProcessResult r = run_program({sh, "-c", "head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2"}, 30);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(300000u, r.out.size());
    EXPECT_EQ(200000u, r.err.size());
}

TEST(RunProgram, MissingProgramExits127)
{
    EXPECT_EQ(127, run_program({"/nonexistent/program"}).status);
}

TEST(RunProgram, TimeLimitEndsTheProgramAndItsChildren)
{
    ProcessResult r = run_program({sh, "-c", "sleep 60 & echo $!; wait"}, 1);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(-1, r.status);
    pid_t child = (pid_t)std::atol(r.out.c_str());
    ASSERT_GT(child, 0) << r.out;
    EXPECT_TRUE(gone(child));
}

TEST(SpawnProgram, OutputsGoToTheFilesAndWaitEndsItsGroup)
{
    TempDir dir("support-test");
    pid_t pid = spawn_program({sh, "-c", "echo out; echo err >&2; exit 4"}, dir.file("o"), dir.file("e"));
    EXPECT_EQ(4, wait_program(pid, 30));
    EXPECT_EQ("out\n", read_file(dir.file("o")));
    EXPECT_EQ("err\n", read_file(dir.file("e")));

    pid = spawn_program({sh, "-c", "sleep 60 & echo $!; wait"}, dir.file("o"), dir.file("e"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(-1, wait_program(pid, 0.5));
    wait_group_gone(pid, 5);
    pid_t child = (pid_t)std::atol(read_file(dir.file("o")).c_str());
    ASSERT_GT(child, 0);
    EXPECT_TRUE(gone(child));
}

TEST(TempDir, FilesRoundTripAndEverythingIsRemoved)
{
    std::string path;
    {
        TempDir dir("support-test");
        path = dir.path;
        ASSERT_TRUE(exists(path));
        const std::string bytes("a\0b\xff\n", 5);
        write_file(dir.file("b"), bytes);
        EXPECT_EQ(bytes, read_file(dir.file("b")));
        ASSERT_EQ(0, mkdir(dir.file("a").c_str(), 0700));
        write_file(dir.file("a/inner"), "x");
        ASSERT_EQ(0, symlink("/nonexistent", dir.file("c").c_str()));
        EXPECT_TRUE(exists(dir.file("c")));  // a dangling link counts
        EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), entries(path));
        EXPECT_EQ("", read_file(dir.file("missing")));
    }
    EXPECT_FALSE(exists(path));
}

}  // namespace
