/* One description of a filter's parameters, shared by the plug-in's
 * registration, the command-line tool and corvella-batch.
 *
 * Each entry names one field of the filter's settings record (by offset),
 * its procedure argument (name and description, exactly as registered),
 * its command-line option with type, default, range and a one-line help.
 * GIMP-free; param_pdb.h turns a table into procedure arguments. */
#ifndef CORVELLA_PARAM_TABLE_H
#define CORVELLA_PARAM_TABLE_H

#include <math.h>
#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    PARAM_DOUBLE, /* double; a procedure FLOAT */
    PARAM_INT,    /* int (also int32_t); a procedure INT32 */
    PARAM_LLONG,  /* long long, on the command line only */
    PARAM_FLAG,   /* int, 1 by the option, 0 by its negation; an INT32 */
    PARAM_CHOICE, /* int, the value of one of the words; an INT32 */
    PARAM_TEXT    /* const char *, pointing into argv */
} ParamType;

/* A word accepted for an option: the only values of a PARAM_CHOICE, and
 * special values of a number ("auto" for an estimate, say) beside the
 * numbers themselves.  Lists end with a NULL word. */
typedef struct {
    const char *word;
    double value;
} ParamWord;

typedef struct {
    const char *pdb_name; /* procedure argument; NULL when not registered */
    const char *pdb_text; /* its description, exactly as registered */
    const char *option;   /* "--radius" or "-o"; NULL when not on the command line */
    const char *negation; /* PARAM_FLAG: the option that clears it, or NULL */
    const char *metavar;  /* the value's placeholder in the help ("R") */
    ParamType type;
    size_t offset;        /* of the field in the settings record */
    double def;           /* default (PARAM_TEXT: none, the field is NULL) */
    double min, max;      /* accepted range, inclusive; PARAM_ANY_* for none */
    const ParamWord *words;
    const char *help;     /* one line */
    const char *def_text; /* shown as the default instead of def, or NULL */
} ParamSpec;

/* The range of an entry without bounds. */
#define PARAM_ANY_MIN (-HUGE_VAL)
#define PARAM_ANY_MAX HUGE_VAL

typedef struct {
    const ParamSpec *specs;
    size_t count;
} ParamTable;

/* Sets every field the table describes to its default. */
void param_table_defaults(const ParamTable *table, void *record);

/* The entry with the procedure argument name, or NULL. */
const ParamSpec *param_table_find_pdb(const ParamTable *table, const char *pdb_name);
/* Number of procedure arguments the table registers. */
size_t param_table_pdb_count(const ParamTable *table);

/* The field of an entry as a double (0 for PARAM_TEXT). */
double param_value(const ParamSpec *entry, const void *record);
/* Stores v (already checked against the range) into the entry's field. */
void param_store(const ParamSpec *entry, void *record, double v);

/* Writes one help line per command-line option:
 * "  --radius R          disc blur radius in pixels (default 6)". */
void param_table_help(const ParamTable *table, FILE *out);

/* A table with the record its values go into. */
typedef struct {
    const ParamTable *table;
    void *record;
} ParamBinding;

typedef enum {
    PARAM_PARSE_OK = 0,
    PARAM_PARSE_HELP,  /* --help or -h was given */
    PARAM_PARSE_ERROR  /* msg holds the reason */
} ParamParseStatus;

/* Parses argv[1..argc-1]: options of the bound tables (as "--name value"
 * or "--name=value"), "--help"/"-h", "--" (only file names follow) and up
 * to max_files file names ("-" alone is a file name), stored in files in
 * order with their count in *nfiles.  Values are stored as they are
 * parsed; on an error msg gets a one-line reason. */
ParamParseStatus param_parse_args(const ParamBinding *bindings, size_t nbindings, int argc,
                                  char **argv, const char **files, int max_files, int *nfiles,
                                  char *msg, size_t msglen);

#ifdef __cplusplus
}
#endif

#endif
