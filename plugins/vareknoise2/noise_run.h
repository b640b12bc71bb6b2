/* The plug-in's run procedure, apart from libgimp's transport: every call
 * into the editor goes through a NoiseHost, so the run modes, refusals and
 * stored values can be exercised with a fake host. */
#ifndef VAREKNOISE2_NOISE_RUN_H
#define VAREKNOISE2_NOISE_RUN_H

#include <libgimp/gimp.h>

#include "noise_params.h"

#ifdef __cplusplus
extern "C" {
#endif

#define NOISE_PROC_NAME "plug_in_vareknoise2-0.64"
#define NOISE_NPARAMS 13

typedef struct {
    void *ctx;
    /* Copies the stored block into blob (88 bytes) and returns its size,
     * or returns 0 when nothing is stored; a block of any other size is
     * reported by its size and not copied. */
    size_t (*get_data)(void *ctx, unsigned char *blob);
    void (*set_data)(void *ctx, const unsigned char *blob, size_t size);
    /* A handle for an 8-bit grey or RGB drawable, NULL for any other id. */
    void *(*drawable_get)(void *ctx, gint32 drawable_id);
    gint (*drawable_width)(void *ctx, void *drawable);
    gint (*tile_width)(void *ctx);
    void (*tile_cache_ntiles)(void *ctx, gint ntiles);
    /* TRUE when the user pressed OK; the dialog edits *params live. */
    gboolean (*dialog)(void *ctx, void *drawable, NoiseParams *params);
    /* Filters the drawable's selection with *params; FALSE on failure. */
    gboolean (*filter)(void *ctx, void *drawable, const NoiseParams *params);
    void (*displays_flush)(void *ctx);
    void (*detach)(void *ctx, void *drawable);
} NoiseHost;

/* Runs one call: restores or takes the parameters by run mode, filters,
 * stores *params after every successful filter run.  Returns the status. */
GimpPDBStatusType noise_run(const NoiseHost *host, NoiseParams *params, gint nparams,
                            const GimpParam *param);

/* The rectangle the preview filters for its visible area px, py, pw, ph:
 * grown by the filter's reach (at least 2 radius, rounded) on every side
 * and clipped to the drawable, so the preview's edges are filtered as the
 * full run filters them unless they are the drawable's own edges.  x2 and
 * y2 are exclusive. */
void noise_preview_rect(const NoiseParams *params, gint px, gint py, gint pw, gint ph,
                        gint width, gint height, gint *x1, gint *y1, gint *x2, gint *y2);

#ifdef __cplusplus
}
#endif

#endif
