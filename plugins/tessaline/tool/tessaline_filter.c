/* tessaline-filter: the film-grain filter on a binary PPM (P6) file.
 *
 *   tessaline-filter [--red N] [--green N] [--blue N] IN.ppm OUT.ppm
 *
 * Exit status 0 on success, 2 for a usage error, 1 when the input cannot be
 * read or the output cannot be written (the output is written whole or not
 * at all; the input is never changed). */
#include "grain_options.h"
#include "netpbm_io.h"
#include "tool_args.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static void usage(FILE *out)
{
    fputs("usage: tessaline-filter [--red N] [--green N] [--blue N] IN.ppm OUT.ppm\n", out);
    param_table_help(&grain_option_table, out);
    fputs("  --help                       show this text\n", out);
}

static const ToolUsage tool = { "tessaline-filter", usage };

int main(int argc, char **argv)
{
    GrainParams params;
    param_table_defaults(&grain_option_table, &params);
    const char *files[2];
    int nfiles = 0;
    const ParamBinding binding = { &grain_option_table, &params };
    int parsed = tool_parse_args(&tool, &binding, 1, argc, argv, files, 2, &nfiles);
    if (parsed >= 0)
        return parsed;
    if (nfiles != 2)
        return tool_usage_error(&tool, "%s", "needs an input and an output file");
    if (netpbm_same_file(files[0], files[1]))
        return tool_usage_error(&tool, "%s: output would replace the input", files[1]);

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
