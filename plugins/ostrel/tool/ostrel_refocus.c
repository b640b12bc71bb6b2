/* ostrel-refocus: the refocus filter on Netpbm files, driven through the
 * same core as the plug-in. */
#include <errno.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "refocus_core.h"

#define PROGRAM "ostrel-refocus"

static const char usage_text[] =
    "usage: " PROGRAM " [options] IN.pnm OUT.pnm\n"
    "       " PROGRAM " [kernel options] --print-mask | --print-weights\n"
    "Refocuses a Netpbm grey or colour image (P2, P3, P5, P6).\n"
    "  --radius R          disc blur radius in pixels (6.0)\n"
    "  --gauss S           Gaussian blur in pixels (0.0)\n"
    "  --motion L          motion blur length in pixels (0.0)\n"
    "  --angle A           motion direction in degrees (0.0)\n"
    "  --noise L|auto      noise reduction (100.0); auto: chosen from the\n"
    "                      image's measured noise level\n"
    "  --smoothness S      area smoothness (30.0)\n"
    "  --area-size N       smooth area size (3)\n"
    "  --adaptive | --no-adaptive   adaptive smoothing (on)\n"
    "  --boundary mirror|periodic   boundary conditions (mirror)\n"
    "  --iterations N      number of iterations (100)\n"
    "  --seed N            seed the random steps (default: unseeded sequence)\n"
    "  --text              write a text file (P2/P3) instead of binary\n"
    "  --print-mask        print the degradation mask and exit\n"
    "  --print-weights     print its convolution table and exit\n"
    "  --help              show this text\n";

static void usage_error(const char *fmt, const char *arg)
{
    fprintf(stderr, PROGRAM ": ");
    fprintf(stderr, fmt, arg);
    fprintf(stderr, "\n%s", usage_text);
    exit(2);
}

static double parse_double(const char *opt, const char *text)
{
    char *end;
    errno = 0;
    double v = strtod(text, &end);
    if (end == text || *end || errno == ERANGE || !isfinite(v))
        usage_error("invalid number for %s", opt);
    return v;
}

static long parse_long(const char *opt, const char *text, long lo, long hi)
{
    char *end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || *end || errno == ERANGE || v < lo || v > hi) {
        char buf[160];
        snprintf(buf, sizeof buf, "invalid value for %s (a whole number from %ld to %ld)",
                 opt, lo, hi);
        usage_error("%s", buf);
    }
    return v;
}

typedef struct {
    int tty;
    int last; /* last percentage shown */
} Progress;

static void show_progress(void *user, float fraction)
{
    Progress *p = user;
    if (!(fraction >= 0.0f))
        fraction = 0.0f;
    if (fraction > 1.0f)
        fraction = 1.0f;
    int percent = (int)(fraction * 100.0f + 0.5f);
    if (p->tty) {
        if (percent == p->last)
            return;
        enum { BAR = 40 };
        char bar[BAR + 1];
        int filled = percent * BAR / 100;
        for (int k = 0; k < BAR; k++)
            bar[k] = k < filled ? '#' : '.';
        bar[BAR] = 0;
        fprintf(stderr, "\rRefocusing [%s] %3d%%", bar, percent);
        fflush(stderr);
    } else {
        if (percent / 10 == p->last / 10 || percent < 10)
            return;
        fprintf(stderr, PROGRAM ": %d%%\n", percent / 10 * 10);
    }
    p->last = percent;
}

/* Writes the image to a temporary file beside path and renames it into
 * place, so a failure leaves neither a partial file nor a changed old one. */
static int save_atomically(const char *path, Matrix *ch, int nch, int binary)
{
    size_t len = strlen(path);
    char *tmp = xmalloc(len + 16);
    snprintf(tmp, len + 16, "%s.tmpXXXXXX", path);
    int fd = mkstemp(tmp);
    if (fd < 0) {
        fprintf(stderr, PROGRAM ": cannot write %s: %s\n", path, strerror(errno));
        free(tmp);
        return -1;
    }
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE *file = fdopen(fd, "wb");
    int failed = !file;
    if (file) {
        failed = pnm_write(&ch[0], nch == 3 ? &ch[1] : NULL, nch == 3 ? &ch[2] : NULL,
                           binary, file) != 0;
        failed |= fflush(file) != 0;
        failed |= fsync(fileno(file)) != 0 && errno != EINVAL;
        failed |= fclose(file) != 0;
    } else {
        close(fd);
    }
    int err = errno;
    if (!failed && rename(tmp, path) != 0) {
        failed = 1;
        err = errno;
    }
    if (failed) {
        unlink(tmp);
        fprintf(stderr, PROGRAM ": cannot write %s: %s\n", path, strerror(err));
    }
    free(tmp);
    return failed ? -1 : 0;
}

int main(int argc, char **argv)
{
    RefocusParams params;
    refocus_params_default(&params);
    long iterations = REFOCUS_DEFAULT_ITERATIONS;
    int print_mask = 0, print_weights = 0, binary = 1, seeded = 0, noise_auto = 0;
    unsigned seed = 0;
    const char *files[2];
    int nfiles = 0, options_done = 0;

    for (int k = 1; k < argc; k++) {
        const char *arg = argv[k];
        if (options_done || arg[0] != '-' || !arg[1]) {
            if (nfiles == 2)
                usage_error("too many file names: %s", arg);
            files[nfiles++] = arg;
            continue;
        }
        if (!strcmp(arg, "--")) {
            options_done = 1;
            continue;
        }
        /* --name=value or --name value */
        char name[32];
        const char *value = NULL;
        const char *eq = strchr(arg, '=');
        size_t nlen = eq ? (size_t)(eq - arg) : strlen(arg);
        if (nlen >= sizeof name)
            usage_error("unknown option %s", arg);
        memcpy(name, arg, nlen);
        name[nlen] = 0;
        static const char *const valued[] = { "--radius", "--gauss", "--motion", "--angle",
                                              "--noise", "--smoothness", "--area-size",
                                              "--boundary", "--iterations", "--seed" };
        int takes_value = 0;
        for (size_t v = 0; v < sizeof valued / sizeof *valued; v++)
            takes_value |= !strcmp(name, valued[v]);
        if (takes_value) {
            if (eq)
                value = eq + 1;
            else if (k + 1 < argc)
                value = argv[++k];
            else
                usage_error("option %s needs a value", name);
        } else if (eq) {
            usage_error("option %s takes no value", name);
        }

        if (!strcmp(name, "--radius"))
            params.radius = parse_double(name, value);
        else if (!strcmp(name, "--gauss"))
            params.gauss = parse_double(name, value);
        else if (!strcmp(name, "--motion"))
            params.motion = parse_double(name, value);
        else if (!strcmp(name, "--angle"))
            params.mot_angle = parse_double(name, value);
        else if (!strcmp(name, "--noise")) {
            noise_auto = !strcmp(value, "auto");
            if (!noise_auto)
                params.lambda = parse_double(name, value);
        }
        else if (!strcmp(name, "--smoothness"))
            params.lambda_min = parse_double(name, value);
        else if (!strcmp(name, "--area-size"))
            params.winsize = (int)parse_long(name, value, 0, 64);
        else if (!strcmp(name, "--iterations"))
            iterations = parse_long(name, value, 0, 1000000);
        else if (!strcmp(name, "--seed")) {
            seed = (unsigned)parse_long(name, value, 0, UINT_MAX);
            seeded = 1;
        } else if (!strcmp(name, "--boundary")) {
            if (!strcmp(value, "mirror"))
                params.boundary = 0;
            else if (!strcmp(value, "periodic"))
                params.boundary = 1;
            else
                usage_error("--boundary must be mirror or periodic, not %s", value);
        } else if (!strcmp(name, "--adaptive"))
            params.adaptive_smooth = 1;
        else if (!strcmp(name, "--no-adaptive"))
            params.adaptive_smooth = 0;
        else if (!strcmp(name, "--text"))
            binary = 0;
        else if (!strcmp(name, "--print-mask"))
            print_mask = 1;
        else if (!strcmp(name, "--print-weights"))
            print_weights = 1;
        else if (!strcmp(name, "--help")) {
            fputs(usage_text, stdout);
            return 0;
        } else
            usage_error("unknown option %s", arg);
    }

    char reason[200];
    if (print_mask || print_weights) {
        if (nfiles)
            usage_error("%s", "--print-mask and --print-weights take no file names");
        if (refocus_check(&params, 0, 0, 1, reason, sizeof reason))
            usage_error("%s", reason);
        ConvMask mask;
        refocus_build_mask(&mask, &params);
        if (print_mask)
            convmask_print(&mask, stdout);
        if (print_weights) {
            Weights table;
            weights_create(&table, &mask);
            weights_print(&table, stdout);
            weights_destroy(&table);
        }
        convmask_destroy(&mask);
        return fflush(stdout) == 0 ? 0 : 1;
    }
    if (nfiles != 2)
        usage_error("%s", nfiles ? "missing output file name" : "missing file names");
    if (refocus_check(&params, 0, 0, 1, reason, sizeof reason))
        usage_error("%s", reason);

    /* Renaming onto the input would replace it. */
    struct stat in_st, out_st;
    if (stat(files[0], &in_st) == 0 && stat(files[1], &out_st) == 0 &&
        in_st.st_dev == out_st.st_dev && in_st.st_ino == out_st.st_ino)
        usage_error("the output %s is the input file", files[1]);

    Matrix ch[3];
    int nch = 0, complete = 0;
    errno = 0;
    if (pnm_load_full(&ch[0], &ch[1], &ch[2], &nch, files[0], &complete) != 0) {
        const char *why = errno == EINVAL ? "not a grey or colour Netpbm image (P2, P3, P5, P6)"
                          : errno == EFBIG ? "image too large"
                          : errno       ? strerror(errno)
                                        : "empty or unreadable file";
        fprintf(stderr, PROGRAM ": cannot read %s: %s\n", files[0], why);
        return 1;
    }
    if (!complete) {
        fprintf(stderr, PROGRAM ": cannot read %s: the image data ends early\n", files[0]);
        for (int c = 0; c < nch; c++)
            matrix_destroy(&ch[c]);
        return 1;
    }
    if (refocus_check(&params, ch[0].width, ch[0].height, 1, reason, sizeof reason)) {
        fprintf(stderr, PROGRAM ": %s: %s\n", files[0], reason);
        for (int c = 0; c < nch; c++)
            matrix_destroy(&ch[c]);
        return 2;
    }
    /* Text files may hold samples beyond their maximum; the filter works on
     * the byte scale. */
    size_t npix = (size_t)ch[0].width * ch[0].height;
    for (int c = 0; c < nch; c++)
        for (size_t k = 0; k < npix; k++) {
            float v = ch[c].data[k];
            ch[c].data[k] = v > 255.0f ? 255.0f : v > 0.0f ? v : 0.0f;
        }

    if (noise_auto) {
        const Matrix *chans[3] = { &ch[0], &ch[1], &ch[2] };
        double levels[3];
        double weight = refocus_auto_noise(&params, chans, nch, levels);
        if (nch == 3)
            fprintf(stderr, PROGRAM ": noise level found: %.2f (red %.2f, green %.2f, blue %.2f); "
                    "noise weight chosen: %.0f\n", (levels[0] + levels[1] + levels[2]) / 3.0,
                    levels[0], levels[1], levels[2], weight);
        else
            fprintf(stderr, PROGRAM ": noise level found: %.2f; noise weight chosen: %.0f\n",
                    levels[0], weight);
    }
    if (seeded)
        refocus_srand(seed);
    Progress progress = { isatty(2), -1 };
    RefocusHost host;
    memset(&host, 0, sizeof host);
    host.user = &progress;
    host.n_channels = nch;
    for (int c = 0; c < nch; c++)
        host.channels[c] = &ch[c];
    host.report_progress = show_progress;
    int status = refocus_compute(&params, &host, (int)iterations);
    if (progress.tty && progress.last >= 0)
        fputc('\n', stderr);
    int rc = 0;
    if (status != REFOCUS_DONE) {
        fprintf(stderr, PROGRAM ": %s: the parameters cannot be used\n", files[0]);
        rc = 2;
    } else if (save_atomically(files[1], ch, nch, binary) != 0) {
        rc = 1;
    }
    for (int c = 0; c < nch; c++)
        matrix_destroy(&ch[c]);
    return rc;
}
