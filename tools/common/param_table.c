#include "param_table.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

void param_store(const ParamSpec *entry, void *record, double v)
{
    char *field = (char *)record + entry->offset;
    switch (entry->type) {
    case PARAM_DOUBLE:
        *(double *)field = v;
        break;
    case PARAM_INT:
    case PARAM_FLAG:
    case PARAM_CHOICE:
        *(int *)field = (int)v;
        break;
    case PARAM_LLONG:
        *(long long *)field = (long long)v;
        break;
    case PARAM_TEXT:
        break;
    }
}

double param_value(const ParamSpec *entry, const void *record)
{
    const char *field = (const char *)record + entry->offset;
    switch (entry->type) {
    case PARAM_DOUBLE:
        return *(const double *)field;
    case PARAM_INT:
    case PARAM_FLAG:
    case PARAM_CHOICE:
        return *(const int *)field;
    case PARAM_LLONG:
        return (double)*(const long long *)field;
    case PARAM_TEXT:
        break;
    }
    return 0.0;
}

void param_table_defaults(const ParamTable *table, void *record)
{
    for (size_t k = 0; k < table->count; k++) {
        const ParamSpec *s = &table->specs[k];
        if (s->type == PARAM_TEXT)
            *(const char **)((char *)record + s->offset) = NULL;
        else
            param_store(s, record, s->def);
    }
}

const ParamSpec *param_table_find_pdb(const ParamTable *table, const char *pdb_name)
{
    for (size_t k = 0; k < table->count; k++)
        if (table->specs[k].pdb_name && !strcmp(table->specs[k].pdb_name, pdb_name))
            return &table->specs[k];
    return NULL;
}

size_t param_table_pdb_count(const ParamTable *table)
{
    size_t n = 0;
    for (size_t k = 0; k < table->count; k++)
        n += table->specs[k].pdb_name != NULL;
    return n;
}

static int bounded(double v)
{
    return v > PARAM_ANY_MIN && v < PARAM_ANY_MAX;
}

void param_table_help(const ParamTable *table, FILE *out)
{
    for (size_t k = 0; k < table->count; k++) {
        const ParamSpec *s = &table->specs[k];
        if (!s->option)
            continue;
        char left[64];
        if (s->type == PARAM_FLAG && s->negation)
            snprintf(left, sizeof left, "%s | %s", s->option, s->negation);
        else if (s->type == PARAM_FLAG)
            snprintf(left, sizeof left, "%s", s->option);
        else if (s->type == PARAM_CHOICE) {
            size_t n = (size_t)snprintf(left, sizeof left, "%s ", s->option);
            for (const ParamWord *w = s->words; w && w->word && n < sizeof left; w++)
                n += (size_t)snprintf(left + n, sizeof left - n, "%s%s", w == s->words ? "" : "|",
                                      w->word);
        } else {
            size_t n = (size_t)snprintf(left, sizeof left, "%s %s", s->option,
                                        s->metavar ? s->metavar : "V");
            for (const ParamWord *w = s->words; w && w->word && n < sizeof left; w++)
                n += (size_t)snprintf(left + n, sizeof left - n, "|%s", w->word);
        }
        fprintf(out, "  %-28s %s", left, s->help);
        if (s->type != PARAM_TEXT && s->type != PARAM_CHOICE && s->type != PARAM_FLAG &&
            (bounded(s->min) || bounded(s->max))) {
            if (bounded(s->min) && bounded(s->max))
                fprintf(out, ", %.15g to %.15g", s->min, s->max);
            else if (bounded(s->min))
                fprintf(out, ", at least %.15g", s->min);
            else
                fprintf(out, ", at most %.15g", s->max);
        }
        if (s->def_text) {
            if (*s->def_text)
                fprintf(out, " (%s)", s->def_text);
        }
        else if (s->type == PARAM_CHOICE) {
            for (const ParamWord *w = s->words; w && w->word; w++)
                if (w->value == s->def) {
                    fprintf(out, " (%s)", w->word);
                    break;
                }
        } else if (s->type == PARAM_FLAG)
            fprintf(out, " (%s)", s->def != 0.0 ? "on" : "off");
        else if (s->type != PARAM_TEXT)
            fprintf(out, " (%g)", s->def);
        fputc('\n', out);
    }
}

static const ParamWord *find_word(const ParamWord *words, const char *text)
{
    for (const ParamWord *w = words; w && w->word; w++)
        if (!strcmp(w->word, text))
            return w;
    return NULL;
}

/* Converts the text of an option's value; 0, or -1 with msg set. */
static int parse_value(const ParamSpec *s, const char *opt, const char *text, void *record,
                       char *msg, size_t msglen)
{
    if (s->type == PARAM_TEXT) {
        *(const char **)((char *)record + s->offset) = text;
        return 0;
    }
    const ParamWord *w = find_word(s->words, text);
    if (w) {
        param_store(s, record, w->value);
        return 0;
    }
    if (s->type == PARAM_CHOICE) {
        size_t n = (size_t)snprintf(msg, msglen, "%s must be one of", opt);
        for (const ParamWord *v = s->words; v && v->word && n < msglen; v++)
            n += (size_t)snprintf(msg + n, msglen - n, " %s", v->word);
        if (n < msglen)
            snprintf(msg + n, msglen - n, ", not %s", text);
        return -1;
    }
    char *end;
    errno = 0;
    if (s->type == PARAM_DOUBLE) {
        double v = strtod(text, &end);
        if (end == text || *end || errno == ERANGE || !isfinite(v)) {
            snprintf(msg, msglen, "invalid number for %s: %s", opt, text);
            return -1;
        }
        if (v < s->min || v > s->max) {
            if (bounded(s->min) && bounded(s->max))
                snprintf(msg, msglen, "%s must be from %g to %g, not %s", opt, s->min, s->max, text);
            else if (bounded(s->min))
                snprintf(msg, msglen, "%s must be at least %g, not %s", opt, s->min, text);
            else
                snprintf(msg, msglen, "%s must be at most %g, not %s", opt, s->max, text);
            return -1;
        }
        param_store(s, record, v);
        return 0;
    }
    long long v = strtoll(text, &end, 10);
    if (end == text || *end || errno == ERANGE || (double)v < s->min || (double)v > s->max) {
        if (bounded(s->min) && bounded(s->max))
            snprintf(msg, msglen, "invalid value for %s (a whole number from %.0f to %.0f): %s",
                     opt, s->min, s->max, text);
        else
            snprintf(msg, msglen, "invalid value for %s (a whole number): %s", opt, text);
        return -1;
    }
    param_store(s, record, (double)v);
    return 0;
}

ParamParseStatus param_parse_args(const ParamBinding *bindings, size_t nbindings, int argc,
                                  char **argv, const char **files, int max_files, int *nfiles,
                                  char *msg, size_t msglen)
{
    int only_files = 0;
    *nfiles = 0;
    for (int k = 1; k < argc; k++) {
        const char *arg = argv[k];
        if (only_files || arg[0] != '-' || !arg[1]) {
            if (*nfiles >= max_files) {
                snprintf(msg, msglen, "too many file names: %s", arg);
                return PARAM_PARSE_ERROR;
            }
            files[(*nfiles)++] = arg;
            continue;
        }
        if (!strcmp(arg, "--")) {
            only_files = 1;
            continue;
        }
        if (!strcmp(arg, "--help") || !strcmp(arg, "-h"))
            return PARAM_PARSE_HELP;

        /* --name=value or --name value */
        const char *eq = strchr(arg, '=');
        size_t nlen = eq ? (size_t)(eq - arg) : strlen(arg);
        const ParamSpec *entry = NULL;
        void *record = NULL;
        int negated = 0;
        for (size_t b = 0; b < nbindings && !entry; b++)
            for (size_t i = 0; i < bindings[b].table->count && !entry; i++) {
                const ParamSpec *s = &bindings[b].table->specs[i];
                if (s->option && strlen(s->option) == nlen && !strncmp(s->option, arg, nlen))
                    entry = s;
                else if (s->negation && strlen(s->negation) == nlen &&
                         !strncmp(s->negation, arg, nlen))
                    entry = s, negated = 1;
                if (entry)
                    record = bindings[b].record;
            }
        if (!entry) {
            snprintf(msg, msglen, "unknown option %s", arg);
            return PARAM_PARSE_ERROR;
        }
        const char *name = negated ? entry->negation : entry->option;
        if (entry->type == PARAM_FLAG) {
            if (eq) {
                snprintf(msg, msglen, "option %s takes no value", name);
                return PARAM_PARSE_ERROR;
            }
            param_store(entry, record, negated ? 0.0 : 1.0);
            continue;
        }
        const char *value;
        if (eq)
            value = eq + 1;
        else if (k + 1 < argc)
            value = argv[++k];
        else {
            snprintf(msg, msglen, "option %s needs a value", name);
            return PARAM_PARSE_ERROR;
        }
        if (parse_value(entry, name, value, record, msg, msglen) != 0)
            return PARAM_PARSE_ERROR;
    }
    return PARAM_PARSE_OK;
}
