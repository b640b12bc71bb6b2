/* The three filters as corvella-batch runs them: each on an interleaved
 * 8-bit buffer of 1 to 4 channels (grey, grey + alpha, RGB, RGBA), alpha
 * untouched, with the same cores and the same arithmetic as the filters'
 * command-line tools.  Free of GIMP and libvips. */
#ifndef CORVELLA_BATCH_FILTERS_H
#define CORVELLA_BATCH_FILTERS_H

#include <stddef.h>

#include "grain_options.h"
#include "noise_filter.h"
#include "noise_options.h"
#include "refocus_options.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The values of any of the filters. */
typedef union {
    RefocusOptions refocus;
    NoiseParams noise;
    GrainParams grain;
} BatchSettings;

/* Reports progress (0..1) of the running filter. */
typedef void (*BatchProgress)(void *user, double fraction);

typedef struct {
    const char *name; /* "refocus", "noise", "grain" */
    const char *tool; /* the command-line tool with the same options */
    const char *what; /* "refocus", a verb for messages and bars */
    const ParamTable *table;
    /* Checks values that do not depend on the image; 0, or -1 with a
     * one-line reason in msg. */
    int (*check)(const BatchSettings *s, char *msg, size_t msglen);
    /* Filters pixels in place (width x height, channels 1..4, rows
     * width * channels bytes apart).  0, with msg empty or a note for the
     * file's line (what "--noise auto" found, say), or -1 with a reason in
     * msg and the pixels unchanged.  msg comes in empty. */
    int (*run)(const BatchSettings *s, unsigned char *pixels, int width, int height,
               int channels, BatchProgress progress, void *user, char *msg, size_t msglen);
    /* The iterations a run makes, for the progress shown; NULL when the
     * filter has none. */
    int (*iterations)(const BatchSettings *s);
} BatchFilter;

/* The filter called name, or NULL. */
const BatchFilter *batch_filter_find(const char *name);
/* The filters, NULL-terminated. */
extern const BatchFilter *const batch_filters[];

/* Sets every value of the filter to its default. */
void batch_settings_defaults(const BatchFilter *filter, BatchSettings *s);

#ifdef __cplusplus
}
#endif

#endif
