#include "test_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int status_of(int wait_status)
{
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

Clock::time_point after(double seconds)
{
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(seconds));
}

int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path) == 0 || errno == ENOENT ? 0 : -1;
}

// The argument vector for execv, made before fork: the child of a
// threaded test must not allocate.
std::vector<char *> exec_args(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

// In the child, between fork and exec: a group of its own, stdin from
// /dev/null, then args[0].
[[noreturn]] void exec_child(char *const *args, int out_fd, int err_fd)
{
    setpgid(0, 0);
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    execv(args[0], args);
    _exit(127);
}

}  // namespace

TempDir::TempDir(const std::string &prefix)
{
    const char *base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("cannot make a folder like " + tmpl);
    path = buf.data();
}

TempDir::~TempDir()
{
    if (!remove_tree(path))
        std::fprintf(stderr, "could not remove %s\n", path.c_str());
}

bool remove_tree(const std::string &path)
{
    nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    struct stat st;
    return lstat(path.c_str(), &st) != 0;
}

std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> entries(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (struct dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

ProcessResult run_program(const std::vector<std::string> &argv, double seconds)
{
    ProcessResult r;
    int out_pipe[2], err_pipe[2];
    if (argv.empty() || pipe(out_pipe) != 0)
        return r;
    if (pipe(err_pipe) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        return r;
    }
    std::vector<char *> args = exec_args(argv);
    pid_t pid = fork();
    if (pid == 0) {
        close(out_pipe[0]);
        close(err_pipe[0]);
        exec_child(args.data(), out_pipe[1], err_pipe[1]);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (pid < 0) {
        close(out_pipe[0]);
        close(err_pipe[0]);
        return r;
    }
    setpgid(pid, pid);
    auto deadline = after(seconds);
    struct pollfd fds[2] = { { out_pipe[0], POLLIN, 0 }, { err_pipe[0], POLLIN, 0 } };
    int open_fds = 2;
    while (open_fds > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        int n = poll(fds, 2, (int)std::min<long long>(left.count(), 1000));
        if (n < 0 && errno != EINTR)
            break;
        for (int k = 0; k < 2 && n > 0; k++)
            if (fds[k].fd >= 0 && (fds[k].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buf[4096];
                ssize_t got = read(fds[k].fd, buf, sizeof buf);
                if (got <= 0) {
                    close(fds[k].fd);
                    fds[k].fd = -1;
                    open_fds--;
                } else {
                    (k ? r.err : r.out).append(buf, (size_t)got);
                }
            }
    }
    for (auto &f : fds)
        if (f.fd >= 0)
            close(f.fd);
    if (open_fds > 0) {
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        r.timed_out = true;
        return r;
    }
    double left = std::chrono::duration<double>(deadline - Clock::now()).count();
    r.status = wait_program(pid, std::max(1.0, left));
    r.timed_out = r.status == -1;
    return r;
}

pid_t spawn_program(const std::vector<std::string> &argv, const std::string &out_path,
                    const std::string &err_path)
{
    if (argv.empty())
        return -1;
    std::vector<char *> args = exec_args(argv);
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        exec_child(args.data(), o, e);
    }
    if (pid > 0)
        setpgid(pid, pid);
    return pid;
}

int wait_program(pid_t pid, double seconds)
{
    if (pid <= 0)
        return -1;
    auto end = after(seconds);
    int st = 0;
    pid_t got;
    while ((got = waitpid(pid, &st, WNOHANG)) == 0) {
        if (Clock::now() > end) {
            kill(-pid, SIGKILL);
            waitpid(pid, &st, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return got == pid ? status_of(st) : -1;
}

void wait_group_gone(pid_t pgid, double seconds)
{
    auto end = after(seconds);
    while (kill(-pgid, 0) == 0 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(-pgid, SIGKILL);
}
