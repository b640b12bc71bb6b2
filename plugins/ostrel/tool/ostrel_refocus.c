/* ostrel-refocus: the refocus filter on Netpbm files, driven through the
 * same core as the plug-in. */
#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "refocus_options.h"
#include "tool_args.h"

#define PROGRAM "ostrel-refocus"

/* Options of the tool itself, beside the filter's. */
typedef struct {
    int text, print_mask, print_weights;
} ToolFlags;

#define FLAG(opt, field, help)                                                           \
    { NULL, NULL, opt, NULL, NULL, PARAM_FLAG, offsetof(ToolFlags, field), 0, 0, 1, NULL, \
      help, "" }

static const ParamSpec tool_specs[] = {
    FLAG("--text", text, "write a text file (P2/P3) instead of binary"),
    FLAG("--print-mask", print_mask, "print the degradation mask and exit"),
    FLAG("--print-weights", print_weights, "print its convolution table and exit"),
};
static const ParamTable tool_table = { tool_specs, sizeof tool_specs / sizeof tool_specs[0] };

static void usage(FILE *out)
{
    fputs("usage: " PROGRAM " [options] IN.pnm OUT.pnm\n"
          "       " PROGRAM " [kernel options] --print-mask | --print-weights\n"
          "Refocuses a Netpbm grey or colour image (P2, P3, P5, P6).\n",
          out);
    param_table_help(&refocus_option_table, out);
    param_table_help(&tool_table, out);
    fputs("  --help                       show this text\n", out);
}

static const ToolUsage tool = { PROGRAM, usage };

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
    RefocusOptions options;
    ToolFlags flags;
    param_table_defaults(&refocus_option_table, &options);
    param_table_defaults(&tool_table, &flags);
    const char *files[2];
    int nfiles = 0;
    const ParamBinding bindings[] = { { &refocus_option_table, &options }, { &tool_table, &flags } };
    int parsed = tool_parse_args(&tool, bindings, 2, argc, argv, files, 2, &nfiles);
    if (parsed >= 0)
        return parsed;
    RefocusParams params = options.params;
    int print_mask = flags.print_mask, print_weights = flags.print_weights, binary = !flags.text;
    /* "--noise auto": the weight comes from the image once it is read; the
     * checks before that see the default. */
    int noise_auto = refocus_noise_is_auto(&params);
    if (noise_auto) {
        RefocusParams defaults;
        refocus_params_default(&defaults);
        params.lambda = defaults.lambda;
    }

    char reason[200];
    if (print_mask || print_weights) {
        if (nfiles)
            return tool_usage_error(&tool, "%s",
                                    "--print-mask and --print-weights take no file names");
        if (refocus_check(&params, 0, 0, 1, reason, sizeof reason))
            return tool_usage_error(&tool, "%s", reason);
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
        return tool_usage_error(&tool, "%s",
                                nfiles ? "missing output file name" : "missing file names");
    if (refocus_check(&params, 0, 0, 1, reason, sizeof reason))
        return tool_usage_error(&tool, "%s", reason);

    /* Renaming onto the input would replace it. */
    struct stat in_st, out_st;
    if (stat(files[0], &in_st) == 0 && stat(files[1], &out_st) == 0 &&
        in_st.st_dev == out_st.st_dev && in_st.st_ino == out_st.st_ino)
        return tool_usage_error(&tool, "the output %s is the input file", files[1]);

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
        double levels[3], detail;
        double weight = refocus_auto_noise(&params, chans, nch, levels, &detail);
        char found[160];
        refocus_describe_auto_noise(found, sizeof found, levels, nch, detail, weight);
        fprintf(stderr, PROGRAM ": %s\n", found);
    }
    if (options.seed >= 0)
        refocus_srand((unsigned)options.seed);
    Progress progress = { isatty(2), -1 };
    int status = refocus_compute_channels(&params, ch, nch, options.iterations, show_progress,
                                          &progress);
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
