/* What the filters' command-line tools share: reporting a usage error and
 * turning the command line into settings and file names, with the exit
 * statuses all of them use (0 after --help, 2 for a usage error). */
#ifndef CORVELLA_TOOL_ARGS_H
#define CORVELLA_TOOL_ARGS_H

#include <stddef.h>
#include <stdio.h>

#include "param_table.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    const char *program;      /* the tool's name, the prefix of its messages */
    void (*usage)(FILE *out); /* writes the usage text */
} ToolUsage;

/* Writes "PROGRAM: " and the message on stderr, then the usage; returns 2,
 * the exit status of a usage error. */
int tool_usage_error(const ToolUsage *tool, const char *fmt, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* Parses argv with param_parse_args into the bound records and up to
 * max_files file names.  Returns -1 when the tool goes on; otherwise its
 * exit status: 0 after writing the usage on stdout for --help, 2 after a
 * usage error was reported. */
int tool_parse_args(const ToolUsage *tool, const ParamBinding *bindings, size_t nbindings,
                    int argc, char **argv, const char **files, int max_files, int *nfiles);

#ifdef __cplusplus
}
#endif

#endif
