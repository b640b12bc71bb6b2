/* tessaline-filter: the film-grain filter on a binary PPM (P6) file.
 *
 *   tessaline-filter [--red N] [--green N] [--blue N] IN.ppm OUT.ppm
 *
 * Exit status 0 on success, 2 for a usage error, 1 when the input cannot be
 * read or the output cannot be written (the output is written whole or not
 * at all; the input is never changed). */
#include "grain_core.h"
#include "netpbm_io.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static const char usage_text[] =
    "usage: tessaline-filter [--red N] [--green N] [--blue N] IN.ppm OUT.ppm\n"
    "  N: grain level of the channel, an integer (defaults 15, 10, 20)\n";

static int usage_error(const char *fmt, const char *arg)
{
    fprintf(stderr, "tessaline-filter: ");
    fprintf(stderr, fmt, arg);
    fprintf(stderr, "\n%s", usage_text);
    return 2;
}

/* A whole decimal 32-bit integer, nothing else. */
static int parse_level(const char *text, int32_t *out)
{
    char *end = NULL;
    errno = 0;
    long long v = strtoll(text, &end, 10);
    if (errno || end == text || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return -1;
    *out = (int32_t)v;
    return 0;
}

static int same_file(const char *a, const char *b)
{
    struct stat sa, sb;
    if (strcmp(a, b) == 0)
        return 1;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

int main(int argc, char **argv)
{
    GrainParams params = {GRAIN_DEFAULT_RED, GRAIN_DEFAULT_GREEN, GRAIN_DEFAULT_BLUE};
    const char *files[2];
    int nfiles = 0;

    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        int32_t *field = NULL;
        if (strcmp(a, "--red") == 0)
            field = &params.red;
        else if (strcmp(a, "--green") == 0)
            field = &params.green;
        else if (strcmp(a, "--blue") == 0)
            field = &params.blue;
        else if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            fputs(usage_text, stdout);
            return 0;
        } else if (a[0] == '-' && a[1] != '\0') {
            return usage_error("unknown option %s", a);
        } else {
            if (nfiles == 2)
                return usage_error("unexpected argument %s", a);
            files[nfiles++] = a;
            continue;
        }
        if (i + 1 >= argc)
            return usage_error("%s needs a value", a);
        if (parse_level(argv[i + 1], field) != 0)
            return usage_error("not a 32-bit integer level: %s", argv[i + 1]);
        i++;
    }
    if (nfiles != 2)
        return usage_error("%s", "needs an input and an output file");
    if (same_file(files[0], files[1]))
        return usage_error("%s: output would replace the input", files[1]);

    char err[512];
    NetpbmImage in, out;
    if (netpbm_read(files[0], &in, err, sizeof err) != 0) {
        fprintf(stderr, "tessaline-filter: %s\n", err);
        return 1;
    }
    if (in.channels != 3) {
        fprintf(stderr, "tessaline-filter: %s: not an RGB image (P6 expected)\n", files[0]);
        netpbm_free(&in);
        return 1;
    }
    if (netpbm_alloc(&out, in.width, in.height, 3) != 0) {
        fprintf(stderr, "tessaline-filter: %s: image too large\n", files[0]);
        netpbm_free(&in);
        return 1;
    }
    const int32_t levels[3] = {params.red, params.green, params.blue};
    const size_t stride = (size_t)in.width * 3;
    int status = 0;
    if (grain_filter_image(in.pixels, stride, in.width, in.height, 3, levels,
                           out.pixels, stride) != 0) {
        fprintf(stderr, "tessaline-filter: %s: image too large\n", files[0]);
        status = 1;
    } else if (netpbm_write(files[1], &out, err, sizeof err) != 0) {
        fprintf(stderr, "tessaline-filter: %s\n", err);
        status = 1;
    }
    netpbm_free(&in);
    netpbm_free(&out);
    return status;
}
