/* corvella-batch: one of the three filters on a folder of photographs.
 *
 *   corvella-batch FILTER [options] -o OUTDIR FILE...
 *
 * Every file is filtered in a process of its own (up to --jobs at once),
 * read and written with libvips, and written to OUTDIR under its own name
 * through a hidden temporary file and a rename.  Exit status: 0 all files
 * done, 1 at least one failed, 2 bad usage, 130 interrupted. */
#define _GNU_SOURCE
#include <errno.h>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "batch_filters.h"
#include "batch_image.h"

#define PROGRAM "corvella-batch"

typedef struct {
    const char *outdir;
    int jobs;
    const char *shard;
    int quality;
    int timing;
} BatchOptions;

#define BATCH_FIELD(f) offsetof(BatchOptions, f)
static const ParamSpec batch_specs[] = {
    { NULL, NULL, "-o", NULL, "OUTDIR", PARAM_TEXT, BATCH_FIELD(outdir), 0, PARAM_ANY_MIN,
      PARAM_ANY_MAX, NULL, "folder for the results, created with its parents when missing", "required" },
    { NULL, NULL, "--jobs", NULL, "N", PARAM_INT, BATCH_FIELD(jobs), 0, 1, 256, NULL,
      "files filtered at once", "default: the number of cores" },
    { NULL, NULL, "--shard", NULL, "K/N", PARAM_TEXT, BATCH_FIELD(shard), 0, PARAM_ANY_MIN,
      PARAM_ANY_MAX, NULL, "only every N-th file, starting at the K-th (1 <= K <= N)",
      "default: every file" },
    { NULL, NULL, "--quality", NULL, "Q", PARAM_INT, BATCH_FIELD(quality), 92, 1, 100, NULL,
      "JPEG and WebP quality", NULL },
    { NULL, NULL, "--timing", NULL, NULL, PARAM_FLAG, BATCH_FIELD(timing), 0, 0, 1, NULL,
      "add the time of reading, filtering and writing to each line", "" },
};
static const ParamTable batch_table = { batch_specs, sizeof batch_specs / sizeof batch_specs[0] };

static void usage(FILE *out, const BatchFilter *filter)
{
    fputs("usage: " PROGRAM " FILTER [options] -o OUTDIR FILE...\n"
          "Filters JPEG, PNG, TIFF and WebP photographs into OUTDIR, each under its own\n"
          "name and in its own format, with EXIF, XMP and ICC profile kept.\n"
          "FILTER: refocus (as ostrel-refocus), noise (as vareknoise2-filter) or grain\n"
          "(as tessaline-filter), with the options of that tool.\n"
          "options:\n",
          out);
    param_table_help(&batch_table, out);
    fputs("  --help                       show this text (after FILTER: with its options)\n", out);
    for (const BatchFilter *const *f = batch_filters; *f; f++) {
        if (filter && *f != filter)
            continue;
        fprintf(out, "%s options:\n", (*f)->name);
        param_table_help((*f)->table, out);
    }
    fputs("Exit status: 0 every file done, 1 some file failed, 2 bad usage, 130 interrupted.\n",
          out);
}

static void usage_error(const BatchFilter *filter, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fputs(PROGRAM ": ", stderr);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);
    usage(stderr, filter);
    exit(2);
}

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + 1e-9 * (double)ts.tv_nsec;
}

static const char *base_name(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

static char host_name[64];

/* The hidden temporary file a worker writes: OUTDIR/.NAME.corvella-HOST-PID.part.
 * Never named like a result, and its owner can be told from its name. */
static char *temp_path(const char *outdir, const char *name, pid_t pid)
{
    char *path = NULL;
    if (asprintf(&path, "%s/.%s.corvella-%s-%ld.part", outdir, name, host_name, (long)pid) < 0)
        return NULL;
    return path;
}

/* ---- the worker: one file ----------------------------------------------- */

static int report_fd = -1;

static void report(const char *fmt, ...)
{
    char line[600];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(line, sizeof line - 1, fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    if ((size_t)n > sizeof line - 2)
        n = (int)sizeof line - 2;
    /* One line, one write: the parent reads whole lines. */
    for (int k = 0; k < n; k++)
        if (line[k] == '\n')
            line[k] = ' ';
    line[n++] = '\n';
    ssize_t done = write(report_fd, line, (size_t)n);
    (void)done;
}

static void worker_progress(void *user, double fraction)
{
    int *last = user;
    int percent = (int)(fraction * 100.0 + 0.5);
    if (percent != *last) {
        *last = percent;
        report("P %d", percent);
    }
}

static int write_all(int fd, const unsigned char *data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        data += n;
        size -= (size_t)n;
    }
    return 0;
}

static void quiet(const gchar *domain, GLogLevelFlags level, const gchar *text, gpointer user)
{
    (void)domain, (void)level, (void)text, (void)user;
}

/* Filters one file into OUTDIR; 0, or 1 after reporting the reason. */
static int filter_file(const BatchFilter *filter, const BatchSettings *settings,
                       const BatchOptions *opts, const char *input)
{
    char msg[400];
    const char *name = base_name(input);
    double t0 = now();
    BatchImage img;
    if (batch_image_load(input, &img, msg, sizeof msg) != 0) {
        report("E %s", msg);
        return 1;
    }
    if (img.notes[0])
        report("N %s", img.notes);
    double t1 = now();
    int last = -1;
    worker_progress(&last, 0.0);
    msg[0] = 0;
    if (filter->run(settings, img.pixels, img.width, img.height, img.channels, worker_progress,
                    &last, msg, sizeof msg) != 0) {
        report("E %s", msg);
        batch_image_free(&img);
        return 1;
    }
    if (msg[0])
        report("N %s", msg);
    double t2 = now();
    void *data = NULL;
    size_t size = 0;
    int status = batch_image_encode(&img, opts->quality, &data, &size, msg, sizeof msg);
    batch_image_free(&img);
    if (status != 0) {
        report("E %s", msg);
        return 1;
    }

    char *final = NULL, *tmp = temp_path(opts->outdir, name, getpid());
    if (!tmp || asprintf(&final, "%s/%s", opts->outdir, name) < 0) {
        report("E out of memory");
        return 1;
    }
    /* The output reaches the disk before it takes the name only when it
     * replaces an earlier output, which a crash must then not lose (the
     * rule of GLib's g_file_set_contents).  A new output that a crash
     * leaves short is made again by the next run; syncing each one would
     * cost a quick filter a tenth of its time. */
    struct stat st;
    int replaces = lstat(final, &st) == 0;
    int fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    int failed = fd < 0;
    if (!failed) {
        failed = write_all(fd, data, size) != 0;
        if (replaces)
            failed |= fsync(fd) != 0 && errno != EINVAL;
        failed |= close(fd) != 0;
    }
    int err = errno;
    if (!failed && rename(tmp, final) != 0) {
        failed = 1;
        err = errno;
    }
    if (failed) {
        if (fd >= 0)
            unlink(tmp);
        report("E cannot write %s: %s", final, strerror(err));
    } else {
        report("T %.3f %.3f %.3f", t1 - t0, t2 - t1, now() - t2);
    }
    g_free(data);
    free(tmp);
    free(final);
    return failed ? 1 : 0;
}

/* A worker filters one photograph after another, each needing the same
 * big buffers.  By default glibc maps each of them afresh and unmaps it on
 * free, so the kernel clears every page again for every file: a third of
 * the time of a quick filter, and memory traffic that two workers share.
 * The worker keeps freed memory for the next file instead: buffers up to
 * the largest threshold glibc allows come from the heap, and the heap is
 * not trimmed below that size. */
static void keep_memory(void)
{
    for (int threshold = 32 << 20; threshold >= 1 << 20; threshold /= 2)
        if (mallopt(M_MMAP_THRESHOLD, threshold) == 1) {
            mallopt(M_TRIM_THRESHOLD, 8 * threshold);
            break;
        }
}

/* A worker process: starts libvips once, then filters the files whose
 * numbers arrive on commands, one line each, reporting each outcome with an
 * "X" line, until the parent closes the command pipe. */
static int worker(const BatchFilter *filter, const BatchSettings *settings,
                  const BatchOptions *opts, const char **files, size_t nfiles, int commands)
{
    keep_memory();
    if (batch_vips_start(PROGRAM) != 0)
        return 1;
    /* Parallelism comes from the workers; files are read once each; a
     * file's trouble is told in its line, not in libvips' own warnings. */
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    g_log_set_handler("VIPS", G_LOG_LEVEL_WARNING, quiet, NULL);
    FILE *in = fdopen(commands, "r");
    char line[64];
    while (in && fgets(line, sizeof line, in)) {
        char *end;
        unsigned long index = strtoul(line, &end, 10);
        if (end == line || index >= nfiles)
            break;
        report("X %d", filter_file(filter, settings, opts, files[index]));
    }
    return 0;
}

/* ---- the parent: scheduling, progress, interruption --------------------- */

typedef struct {
    pid_t pid;    /* the worker, 0 when there is none */
    int fd;       /* its reports */
    int commands; /* file numbers to it */
    int busy;     /* filtering files[index] */
    int outcome;  /* its "X" report, -1 before */
    size_t index;
    double start;
    int percent;
    char line[1024];
    size_t len;
    char reason[600];
    char notes[400];
    char timing[100];
} Job;

static volatile sig_atomic_t interrupted;

static void on_signal(int sig)
{
    interrupted = sig;
}

typedef struct {
    const BatchFilter *filter;
    const BatchSettings *settings;
    const BatchOptions *opts;
    const char **files;
    size_t nfiles, finished, failed;
    int tty;
    int bar_shown;
} Run;

static void clear_bar(Run *run)
{
    if (run->bar_shown) {
        fputs("\r\033[K", stderr);
        run->bar_shown = 0;
    }
}

static void draw_bar(Run *run, const Job *jobs, int njobs)
{
    if (!run->tty)
        return;
    enum { WIDTH = 20 };
    char bar[WIDTH + 1];
    size_t filled = run->nfiles ? run->finished * WIDTH / run->nfiles : 0;
    for (size_t k = 0; k < WIDTH; k++)
        bar[k] = k < filled ? '#' : '.';
    bar[WIDTH] = 0;
    char text[200];
    int n = snprintf(text, sizeof text, "[%s] %zu/%zu", bar, run->finished, run->nfiles);
    int iterations = run->filter->iterations ? run->filter->iterations(run->settings) : 0;
    for (int j = 0; j < njobs && n < (int)sizeof text; j++) {
        if (jobs[j].pid <= 0 || !jobs[j].busy)
            continue;
        int percent = jobs[j].percent < 0 ? 0 : jobs[j].percent;
        const char *name = base_name(run->files[jobs[j].index]);
        if (iterations > 0)
            n += snprintf(text + n, sizeof text - (size_t)n, "  %s %s, iteration %d of %d",
                          run->filter->what, name, percent * iterations / 100, iterations);
        else
            n += snprintf(text + n, sizeof text - (size_t)n, "  %s %s %d%%", run->filter->what,
                          name, percent);
    }
    fprintf(stderr, "\r\033[K%.79s", text);
    fflush(stderr);
    run->bar_shown = 1;
}

static void take_line(Job *job, const char *line)
{
    switch (line[0]) {
    case 'P':
        job->percent = atoi(line + 2);
        break;
    case 'N': {
        /* Notes of the reading and of the filter, in that order. */
        size_t used = strlen(job->notes);
        snprintf(job->notes + used, sizeof job->notes - used, "%s%s", used ? "; " : "", line + 2);
        break;
    }
    case 'E':
        snprintf(job->reason, sizeof job->reason, "%s", line + 2);
        break;
    case 'X':
        job->outcome = atoi(line + 2);
        break;
    case 'T': {
        double r, f, w;
        if (sscanf(line + 2, "%lf %lf %lf", &r, &f, &w) == 3)
            snprintf(job->timing, sizeof job->timing, "read %.3f s, filter %.3f s, write %.3f s",
                     r, f, w);
        break;
    }
    }
}

/* Reads what the worker sent; 1 at end of file. */
static int drain(Job *job)
{
    for (;;) {
        ssize_t n = read(job->fd, job->line + job->len, sizeof job->line - 1 - job->len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return 0;
        if (n <= 0)
            return 1;
        job->len += (size_t)n;
        char *start = job->line, *nl;
        while ((nl = memchr(start, '\n', job->len - (size_t)(start - job->line)))) {
            *nl = 0;
            take_line(job, start);
            start = nl + 1;
        }
        job->len -= (size_t)(start - job->line);
        memmove(job->line, start, job->len);
        if (job->len == sizeof job->line - 1)
            job->len = 0; /* an overlong line is dropped */
    }
}

/* The line of a file that is done: ok, or the reason in job->reason. */
static void finish(Run *run, Job *job, int ok)
{
    const char *name = run->files[job->index];
    double seconds = now() - job->start;
    if (!ok && !job->reason[0])
        snprintf(job->reason, sizeof job->reason, "the worker failed");
    run->finished++;
    clear_bar(run);
    if (ok) {
        printf("[%zu/%zu] %s %.1f s", run->finished, run->nfiles, name, seconds);
        if (job->notes[0])
            printf(" (%s)", job->notes);
        if (run->opts->timing && job->timing[0])
            printf(" [%s]", job->timing);
        putchar('\n');
        fflush(stdout);
    } else {
        run->failed++;
        fflush(stdout);
        fprintf(stderr, "[%zu/%zu] %s failed: %s\n", run->finished, run->nfiles, name,
                job->reason);
    }
    job->busy = 0;
}

/* Starts a worker process for the job slot; 0, or -1 with errno set.
 * The worker holds no pipe of another: a worker sees the end of its
 * commands only when no other process can still write them. */
static int start_worker(Run *run, Job *jobs, int njobs, Job *job, const BatchSettings *settings,
                        const sigset_t *old_mask)
{
    int reports[2], commands[2];
    memset(job, 0, sizeof *job);
    if (pipe2(reports, O_CLOEXEC) != 0)
        return -1;
    if (pipe2(commands, O_CLOEXEC) != 0) {
        close(reports[0]);
        close(reports[1]);
        return -1;
    }
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        int err = errno;
        close(reports[0]);
        close(reports[1]);
        close(commands[0]);
        close(commands[1]);
        errno = err;
        return -1;
    }
    if (pid == 0) {
        static const int sigs[] = { SIGINT, SIGTERM, SIGHUP, SIGPIPE };
        for (size_t k = 0; k < sizeof sigs / sizeof sigs[0]; k++)
            signal(sigs[k], SIG_DFL);
        sigprocmask(SIG_SETMASK, old_mask, NULL);
        for (int j = 0; j < njobs; j++)
            if (&jobs[j] != job && jobs[j].pid > 0) {
                close(jobs[j].fd);
                if (jobs[j].commands >= 0)
                    close(jobs[j].commands);
            }
        close(reports[0]);
        close(commands[1]);
        report_fd = reports[1];
        _exit(worker(run->filter, settings, run->opts, run->files, run->nfiles, commands[0]));
    }
    close(reports[1]);
    close(commands[0]);
    fcntl(reports[0], F_SETFL, O_NONBLOCK);
    job->pid = pid;
    job->fd = reports[0];
    job->commands = commands[1];
    return 0;
}

/* Hands files[index] to an idle worker; 0, or -1 when it cannot take it. */
static int assign(Job *job, size_t index)
{
    char line[32];
    int n = snprintf(line, sizeof line, "%zu\n", index);
    job->index = index;
    job->busy = 1;
    job->outcome = -1;
    job->percent = -1;
    job->reason[0] = job->notes[0] = job->timing[0] = 0;
    job->start = now();
    return write(job->commands, line, (size_t)n) == n ? 0 : -1;
}

/* Waits for a worker that has ended or been told to end. */
static int reap(Job *job)
{
    int status = 0;
    while (waitpid(job->pid, &status, 0) < 0 && errno == EINTR)
        ;
    close(job->fd);
    if (job->commands >= 0)
        close(job->commands);
    job->pid = 0;
    job->commands = -1;
    return status;
}

/* Stops the running workers and removes what they were writing. */
static void stop_all(Run *run, Job *jobs, int njobs)
{
    for (int j = 0; j < njobs; j++)
        if (jobs[j].pid > 0)
            kill(jobs[j].pid, SIGTERM);
    for (int j = 0; j < njobs; j++) {
        if (jobs[j].pid <= 0)
            continue;
        pid_t pid = jobs[j].pid;
        reap(&jobs[j]);
        if (!jobs[j].busy)
            continue;
        char *tmp = temp_path(run->opts->outdir, base_name(run->files[jobs[j].index]), pid);
        if (tmp)
            unlink(tmp);
        free(tmp);
    }
}

/* Removes temporaries of this host's earlier runs whose process is gone
 * (a run killed outright leaves them). */
static void remove_stale_temporaries(const char *outdir)
{
    DIR *dir = opendir(outdir);
    if (!dir)
        return;
    char marker[100];
    snprintf(marker, sizeof marker, ".corvella-%s-", host_name);
    struct dirent *e;
    while ((e = readdir(dir))) {
        const char *name = e->d_name, *m = strstr(name, marker);
        size_t len = strlen(name);
        if (name[0] != '.' || !m || len < 6 || strcmp(name + len - 5, ".part"))
            continue;
        char *end;
        long pid = strtol(m + strlen(marker), &end, 10);
        if (strcmp(end, ".part") || pid <= 0 || (kill((pid_t)pid, 0) == 0 || errno != ESRCH))
            continue;
        char *path = NULL;
        if (asprintf(&path, "%s/%s", outdir, name) >= 0) {
            unlink(path);
            free(path);
        }
    }
    closedir(dir);
}

static void parse_shard(const BatchFilter *filter, const char *text, long *k, long *n)
{
    char *end;
    errno = 0;
    *k = strtol(text, &end, 10);
    if (end != text && *end == '/') {
        const char *second = end + 1;
        *n = strtol(second, &end, 10);
        if (end != second && !*end && !errno && *n >= 1 && *k >= 1 && *k <= *n)
            return;
    }
    usage_error(filter, "--shard must be K/N with 1 <= K <= N, not %s", text);
}

static int same_inode(const struct stat *a, const struct stat *b)
{
    return a->st_dev == b->st_dev && a->st_ino == b->st_ino;
}

/* Refuses an OUTDIR where a result would replace an input, and two inputs
 * with one name. */
static void check_outputs(const BatchFilter *filter, const char *outdir, const char **files,
                          size_t n)
{
    struct stat od;
    if (stat(outdir, &od) != 0)
        return;
    for (size_t i = 0; i < n; i++) {
        char *dir = strdup(files[i]), *slash = strrchr(dir, '/');
        if (slash == dir)
            slash[1] = 0;
        else if (slash)
            *slash = 0;
        struct stat ds, is, os;
        int same_dir = stat(slash ? dir : ".", &ds) == 0 && same_inode(&ds, &od);
        free(dir);
        char *out = NULL;
        if (asprintf(&out, "%s/%s", outdir, base_name(files[i])) < 0)
            exit(1);
        int same_file = stat(files[i], &is) == 0 && stat(out, &os) == 0 && same_inode(&is, &os);
        free(out);
        if (same_dir || same_file)
            usage_error(filter, "the result for %s would replace it: choose another OUTDIR than %s",
                        files[i], outdir);
        for (size_t j = 0; j < i; j++)
            if (!strcmp(base_name(files[i]), base_name(files[j])))
                usage_error(filter, "%s and %s would give the same result file", files[j],
                            files[i]);
    }
}

int main(int argc, char **argv)
{
    if (argc < 2)
        usage_error(NULL, "missing FILTER");
    if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) {
        usage(stdout, NULL);
        return 0;
    }
    const BatchFilter *filter = batch_filter_find(argv[1]);
    if (!filter)
        usage_error(NULL, "unknown filter %s (refocus, noise or grain)", argv[1]);

    BatchSettings settings;
    BatchOptions opts;
    batch_settings_defaults(filter, &settings);
    param_table_defaults(&batch_table, &opts);
    const char **files = calloc((size_t)argc, sizeof *files);
    int nfiles = 0;
    char msg[300];
    const ParamBinding bindings[] = { { filter->table, &settings }, { &batch_table, &opts } };
    if (!files)
        return 1;
    switch (param_parse_args(bindings, 2, argc - 1, argv + 1, files, argc, &nfiles, msg,
                             sizeof msg)) {
    case PARAM_PARSE_HELP:
        usage(stdout, filter);
        return 0;
    case PARAM_PARSE_ERROR:
        usage_error(filter, "%s", msg);
        break;
    case PARAM_PARSE_OK:
        break;
    }
    if (!opts.outdir || !opts.outdir[0])
        usage_error(filter, "missing -o OUTDIR");
    if (nfiles == 0)
        usage_error(filter, "no files to filter");
    if (filter->check(&settings, msg, sizeof msg) != 0)
        usage_error(filter, "%s", msg);
    if (opts.jobs == 0) {
        long cores = sysconf(_SC_NPROCESSORS_ONLN);
        opts.jobs = cores < 1 ? 1 : cores > 256 ? 256 : (int)cores;
    }
    long shard_k = 1, shard_n = 1;
    if (opts.shard)
        parse_shard(filter, opts.shard, &shard_k, &shard_n);

    /* This machine's share, in command-line order. */
    size_t n = 0;
    for (int i = 0; i < nfiles; i++)
        if ((i + 1 - shard_k) % shard_n == 0 && i + 1 >= shard_k)
            files[n++] = files[i];

    struct stat st;
    if (stat(opts.outdir, &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            usage_error(filter, "OUTDIR %s is not a folder", opts.outdir);
    } else if (g_mkdir_with_parents(opts.outdir, 0777) != 0) {
        fprintf(stderr, PROGRAM ": cannot create %s: %s\n", opts.outdir, strerror(errno));
        return 1;
    }
    check_outputs(filter, opts.outdir, files, n);
    if (gethostname(host_name, sizeof host_name - 1) != 0 || !host_name[0])
        strcpy(host_name, "host");
    for (char *c = host_name; *c; c++)
        if (*c == '/' || *c == '-')
            *c = '_';
    remove_stale_temporaries(opts.outdir);

    /* Signals stay blocked except while waiting, so none is lost between
     * a check and the wait. */
    sigset_t block, old_mask;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGHUP);
    sigprocmask(SIG_BLOCK, &block, &old_mask);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, NULL);
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGHUP, &sa, NULL);
    signal(SIGPIPE, SIG_IGN);

    Run run = { filter, &settings, &opts, files, n, 0, 0, isatty(2), 0 };
    int njobs = opts.jobs > (int)n ? (int)n : opts.jobs;
    Job *jobs = calloc((size_t)(njobs > 0 ? njobs : 1), sizeof *jobs);
    struct pollfd *pfd = calloc((size_t)(njobs > 0 ? njobs : 1), sizeof *pfd);
    int *slot = calloc((size_t)(njobs > 0 ? njobs : 1), sizeof *slot);
    if (!jobs || !pfd || !slot)
        return 1;
    double t0 = now();
    size_t next = 0;
    for (;;) {
        /* Work for every idle worker; a worker for every empty slot while
         * files are left; idle workers told to end when none are. */
        for (int j = 0; j < njobs && !interrupted; j++) {
            Job *job = &jobs[j];
            if (job->pid == 0 && next < n && start_worker(&run, jobs, njobs, job, &settings, &old_mask) != 0) {
                job->index = next++;
                snprintf(job->reason, sizeof job->reason, "cannot start a worker: %s",
                         strerror(errno));
                job->start = now();
                finish(&run, job, 0);
                continue;
            }
            if (job->pid == 0 || job->busy)
                continue;
            if (next < n) {
                if (assign(job, next++) != 0) {
                    snprintf(job->reason, sizeof job->reason, "the worker is gone");
                    finish(&run, job, 0);
                    kill(job->pid, SIGTERM);
                    reap(job);
                }
            } else if (job->commands >= 0) {
                close(job->commands);
                job->commands = -1;
            }
        }
        int np = 0;
        for (int j = 0; j < njobs; j++)
            if (jobs[j].pid > 0) {
                pfd[np].fd = jobs[j].fd;
                pfd[np].events = POLLIN;
                slot[np++] = j;
            }
        if (interrupted || np == 0)
            break;
        draw_bar(&run, jobs, njobs);
        if (ppoll(pfd, (nfds_t)np, NULL, &old_mask) < 0)
            continue; /* EINTR: the loop looks at the flag */
        for (int p = 0; p < np; p++) {
            Job *job = &jobs[slot[p]];
            if (!(pfd[p].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            int ended = drain(job);
            if (job->busy && job->outcome >= 0)
                finish(&run, job, job->outcome == 0);
            if (ended) {
                pid_t pid = job->pid;
                int status = reap(job);
                if (job->busy) {
                    char *tmp = temp_path(opts.outdir, base_name(files[job->index]), pid);
                    if (tmp)
                        unlink(tmp);
                    free(tmp);
                    if (WIFSIGNALED(status))
                        snprintf(job->reason, sizeof job->reason,
                                 "the worker was stopped by signal %d", WTERMSIG(status));
                    finish(&run, job, 0);
                }
            }
        }
    }
    clear_bar(&run);
    if (interrupted) {
        stop_all(&run, jobs, njobs);
        fprintf(stderr, PROGRAM ": interrupted: %zu of %zu files done, no partial files left\n",
                run.finished - run.failed, n);
        return 130;
    }
    printf("%zu file%s in %.1f s, %zu failed\n", n, n == 1 ? "" : "s", now() - t0, run.failed);
    free(jobs);
    free(pfd);
    free(slot);
    free(files);
    return run.failed ? 1 : 0;
}
