/* vareknoise2-filter: the camera-noise filter on a Netpbm file.
 *
 *   vareknoise2-filter [options] IN OUT
 *
 * IN and OUT are binary PGM, PPM or PAM (grey or RGB, with or without
 * alpha, maxval 255).  Exit status: 0 done, 1 an unreadable or malformed
 * input or an unwritable output (message names the file), 2 a usage error.
 * The input is never modified and a failed run leaves no partial output. */
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "netpbm_io.h"
#include "noise_filter.h"

static const char usage_text[] =
    "usage: vareknoise2-filter [options] IN OUT\n"
    "  IN, OUT: binary PGM, PPM or PAM (grey or RGB, optional alpha, maxval 255)\n"
    "options (defaults in brackets):\n"
    "  --radius=R     largest filter radius in pixels, >= 0 [5]\n"
    "  --lsmooth=T    luminance tolerance, >= 0 [1]\n"
    "  --csmooth=T    colour tolerance [1]\n"
    "  --effect=T     threshold on local contrast [0.13]\n"
    "  --lookahead=D  sharpening tap offset and contrast blur width [2]\n"
    "  --gamma=G      exponent of guide luminance and merge [1.4]\n"
    "  --damping=D    width of the blur over the radius map [5]\n"
    "  --phase=P      shift between radius map and window, pixels [2]\n"
    "  --texture=X    detail exponent minus 1 [0]\n"
    "  --sharp=S      strength of the guide sharpening [0.25]\n"
    "  --help         show this text\n";

static int usage_error(const char *fmt, const char *arg)
{
    fputs("vareknoise2-filter: ", stderr);
    fprintf(stderr, fmt, arg);
    fputc('\n', stderr);
    fputs(usage_text, stderr);
    return 2;
}

typedef struct {
    const char *name;
    size_t offset;
} OptionField;

static const OptionField options[] = {
    {"radius", offsetof(NoiseParams, radius)},       {"lsmooth", offsetof(NoiseParams, lsmooth)},
    {"csmooth", offsetof(NoiseParams, csmooth)},     {"effect", offsetof(NoiseParams, effect)},
    {"lookahead", offsetof(NoiseParams, lookahead)}, {"gamma", offsetof(NoiseParams, gamma)},
    {"damping", offsetof(NoiseParams, damping)},     {"phase", offsetof(NoiseParams, phase)},
    {"texture", offsetof(NoiseParams, texture)},     {"sharp", offsetof(NoiseParams, sharp)},
};

/* A whole-string decimal number; 0 on success. */
static int parse_number(const char *s, double *out)
{
    char *end;
    errno = 0;
    double v = strtod(s, &end);
    if (end == s || *end != '\0' || errno == ERANGE)
        return -1;
    *out = v;
    return 0;
}

static int same_file(const char *a, const char *b)
{
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int main(int argc, char **argv)
{
    NoiseParams p = noise_params_defaults;
    const char *files[2];
    int nfiles = 0, only_files = 0;

    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (only_files || a[0] != '-' || a[1] == '\0') {
            if (nfiles == 2)
                return usage_error("too many file names: %s", a);
            files[nfiles++] = a;
            continue;
        }
        if (strcmp(a, "--") == 0) {
            only_files = 1;
            continue;
        }
        if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            fputs(usage_text, stdout);
            return 0;
        }
        if (strncmp(a, "--", 2) != 0)
            return usage_error("unknown option: %s", a);
        const char *name = a + 2, *eq = strchr(name, '=');
        size_t len = eq ? (size_t)(eq - name) : strlen(name);
        const OptionField *opt = NULL;
        for (size_t k = 0; k < sizeof options / sizeof options[0]; k++)
            if (strlen(options[k].name) == len && strncmp(options[k].name, name, len) == 0)
                opt = &options[k];
        if (!opt)
            return usage_error("unknown option: %s", a);
        const char *value = eq ? eq + 1 : NULL;
        if (!value) {
            if (i + 1 >= argc)
                return usage_error("missing value for %s", a);
            value = argv[++i];
        }
        double v;
        if (parse_number(value, &v) != 0)
            return usage_error("not a number: %s", value);
        *(double *)((char *)&p + opt->offset) = v;
    }
    if (nfiles != 2)
        return usage_error("%s", nfiles == 0 ? "missing IN and OUT" : "missing OUT");
    const char *why = NULL;
    if (noise_params_check(&p, &why) != 0)
        return usage_error("%s", why);
    if (same_file(files[0], files[1]))
        return usage_error("OUT must not be the input file: %s", files[1]);

    char err[512];
    NetpbmImage in, out;
    if (netpbm_read(files[0], &in, err, sizeof err) != 0) {
        fprintf(stderr, "vareknoise2-filter: %s\n", err);
        return 1;
    }
    if (netpbm_alloc(&out, in.width, in.height, in.channels) != 0) {
        fprintf(stderr, "vareknoise2-filter: %s: image too large\n", files[0]);
        netpbm_free(&in);
        return 1;
    }
    int stride = in.width * in.channels;
    int rc = noise_filter_buffer(&p, in.pixels, stride, out.pixels, stride, in.width, in.height,
                                 in.channels);
    netpbm_free(&in);
    if (rc != 0) {
        fprintf(stderr, "vareknoise2-filter: %s: not enough memory to filter\n", files[0]);
        netpbm_free(&out);
        return 1;
    }
    if (netpbm_write(files[1], &out, err, sizeof err) != 0) {
        fprintf(stderr, "vareknoise2-filter: %s\n", err);
        netpbm_free(&out);
        return 1;
    }
    netpbm_free(&out);
    return 0;
}
