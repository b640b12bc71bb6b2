/* The refocus run: the plug-in's side of the core's computation. */
#ifndef OSTREL_OSTREL_RUN_H
#define OSTREL_OSTREL_RUN_H

#include "ostrel_context.h"

/* Runs iterations sweeps over the whole selection with ctx->vals; the
 * result stays in the channel matrices.  Progress goes to the dialog when
 * one shows it, otherwise to the editor.  FALSE when the core refused the
 * values (nothing read or changed). */
gboolean refocus_run (RefocusContext *ctx, gint iterations);

#endif
