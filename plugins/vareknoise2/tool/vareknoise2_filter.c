/* vareknoise2-filter: the camera-noise filter on a Netpbm file.
 *
 *   vareknoise2-filter [options] IN OUT
 *
 * IN and OUT are binary PGM, PPM or PAM (grey or RGB, with or without
 * alpha, maxval 255).  Exit status: 0 done, 1 an unreadable or malformed
 * input or an unwritable output (message names the file), 2 a usage error.
 * The input is never modified and a failed run leaves no partial output. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "netpbm_io.h"
#include "noise_filter.h"
#include "noise_options.h"
#include "tool_args.h"

static void usage(FILE *out)
{
    fputs("usage: vareknoise2-filter [options] IN OUT\n"
          "  IN, OUT: binary PGM, PPM or PAM (grey or RGB, optional alpha, maxval 255)\n"
          "options (defaults in parentheses):\n",
          out);
    param_table_help(&noise_option_table, out);
    fputs("  --help                       show this text\n", out);
}

static const ToolUsage tool = { "vareknoise2-filter", usage };

int main(int argc, char **argv)
{
    NoiseParams p = noise_params_defaults;
    const char *files[2];
    int nfiles = 0;
    const ParamBinding binding = { &noise_option_table, &p };
    int parsed = tool_parse_args(&tool, &binding, 1, argc, argv, files, 2, &nfiles);
    if (parsed >= 0)
        return parsed;
    if (nfiles != 2)
        return tool_usage_error(&tool, "%s", nfiles == 0 ? "missing IN and OUT" : "missing OUT");
    const char *why = NULL;
    if (noise_params_check(&p, &why) != 0)
        return tool_usage_error(&tool, "%s", why);
    if (netpbm_same_file(files[0], files[1]))
        return tool_usage_error(&tool, "OUT must not be the input file: %s", files[1]);

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
