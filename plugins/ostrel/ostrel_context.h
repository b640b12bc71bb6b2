/* The refocus plug-in's run state: the drawable's selection and its colour
 * channels as matrices, the values a run uses, the cancel flag, and what an
 * open dialog shows of a run.  The run procedure owns it; the dialog and the
 * host side of the core receive it by pointer. */
#ifndef OSTREL_OSTREL_CONTEXT_H
#define OSTREL_OSTREL_CONTEXT_H

#include <libgimp/gimp.h>

#include "matrix.h"
#include "refocus_vals.h"

typedef struct RefocusContext RefocusContext;

struct RefocusContext
{
  RefocusVals  *vals;             /* the values a run uses */
  GimpDrawable *drawable;
  gint          x1, y1;           /* top-left of the selection's bounds */
  gint          width, height;
  gint          bpp;              /* 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA */
  Matrix        channel[3];       /* grey, or red, green and blue */
  gint          n_channels;
  volatile int  cancelled;

  /* Set by a dialog while it is up, NULL otherwise.  show_progress puts
   * fraction on the dialog's bar and returns FALSE when there is no bar
   * (the editor's progress shows it then); show_preview renders the
   * preview from the channels.  view is the dialog's own record. */
  gboolean    (*show_progress) (RefocusContext *ctx, float fraction);
  void        (*show_preview)  (RefocusContext *ctx);
  gpointer      view;
};

/* Fills ctx for the selection of drawable_id with channel matrices of its
 * size, holding the selection's pixels; the run uses *vals. */
void   refocus_context_open  (RefocusContext *ctx, RefocusVals *vals,
                              gint32 drawable_id);
void   refocus_context_close (RefocusContext *ctx);

/* The selection's pixels into the channel matrices, and back into the
 * drawable (bytes without a matrix, such as alpha, keep their values). */
void   read_selection  (RefocusContext *ctx);
void   write_selection (RefocusContext *ctx);

#endif
