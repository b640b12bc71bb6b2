#include "tool_args.h"

#include <stdarg.h>

int tool_usage_error(const ToolUsage *tool, const char *fmt, ...)
{
    va_list args;
    fprintf(stderr, "%s: ", tool->program);
    va_start(args, fmt);
    vfprintf(stderr, fmt, args);
    va_end(args);
    fputc('\n', stderr);
    tool->usage(stderr);
    return 2;
}

int tool_parse_args(const ToolUsage *tool, const ParamBinding *bindings, size_t nbindings,
                    int argc, char **argv, const char **files, int max_files, int *nfiles)
{
    char msg[200];
    switch (param_parse_args(bindings, nbindings, argc, argv, files, max_files, nfiles, msg,
                             sizeof msg)) {
    case PARAM_PARSE_HELP:
        tool->usage(stdout);
        return 0;
    case PARAM_PARSE_ERROR:
        return tool_usage_error(tool, "%s", msg);
    case PARAM_PARSE_OK:
        break;
    }
    return -1;
}
