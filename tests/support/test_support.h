// Helpers shared by every test program of the native tree: files,
// temporary folders and child processes run with a time limit.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A fresh folder under $TMPDIR (or /tmp), named PREFIX-XXXXXX, removed with
// everything in it on destruction.
struct TempDir {
    std::string path;
    explicit TempDir(const std::string &prefix = "corvella-test");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return path + "/" + name; }
};

// Removes path and everything below it; true when nothing is left.
bool remove_tree(const std::string &path);

// The whole file; empty when it cannot be read.
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);
// True when anything (a dangling link too) stands at path.
bool exists(const std::string &path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> entries(const std::string &dir);

struct ProcessResult {
    int status = -1;  // exit status, 128 + signal, or -1 when the time ran out
    bool timed_out = false;
    std::string out, err;
};

// Runs argv[0] (a path) with argv, standard input from /dev/null, and
// collects both outputs.  A program still running after `seconds` is killed
// with its process group.
ProcessResult run_program(const std::vector<std::string> &argv, double seconds = 60);

// Starts argv[0] in a process group of its own, standard input from
// /dev/null, standard output and error written to the two files.
pid_t spawn_program(const std::vector<std::string> &argv, const std::string &out_path,
                    const std::string &err_path);
// Waits up to `seconds` for a program from spawn_program; one still running
// then is killed with its group.  Returns the status as ProcessResult has it.
int wait_program(pid_t pid, double seconds);
// Waits until no process of the group is left (at most `seconds`), then
// kills whatever remains.
void wait_group_gone(pid_t pgid, double seconds);
