/* The refocus dialog: parameters, the motion-direction control and the
 * scrolling preview window onto the selection. */
#ifndef OSTREL_OSTREL_DIALOG_H
#define OSTREL_OSTREL_DIALOG_H

#include "ostrel_context.h"

/* Shows the dialog over ctx's selection and returns once it is gone: TRUE
 * when OK wrote the result computed with the values now in ctx->vals (a
 * partial one when the window was closed meanwhile), FALSE when the dialog
 * was cancelled or closed before. */
gboolean refocus_dialog_run (RefocusContext *ctx);

#endif
