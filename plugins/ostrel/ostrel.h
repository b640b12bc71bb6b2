/* The refocus plug-in's shared state: the parameter record, the run state
 * shared by the run procedure, the dialog and the refocus run, and the
 * operations they call on each other. */
#ifndef OSTREL_OSTREL_H
#define OSTREL_OSTREL_H

#include <libgimp/gimp.h>
#include <gtk/gtk.h>

#include "matrix.h"
#include "refocus_vals.h"

#define PLUG_IN_NAME    "ostrel"
#define PLUG_IN_VERSION "2.0.0"

typedef struct
{
  GimpDrawable *drawable;
  gint          x1, y1, x2, y2;   /* selection bounds, x2 and y2 exclusive */
  gint          width, height;
  gint          bpp;              /* 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA */
  Matrix        channel[3];       /* grey, or red, green and blue */
  gint          n_channels;

  GtkWidget    *progress_bar;     /* the dialog's, NULL without a dialog */
  volatile int  cancelled;
  gboolean      done;

  /* The dialog's widgets; NULL while no dialog is up. */
  GtkWidget    *dialog;
  GtkWidget    *adaptive_check;
  GtkWidget    *boundary_menu;
  GtkWidget    *area_frame;
  GtkWidget    *motion_area;
  GtkWidget    *preview;

  GtkObject    *radius_adj, *gauss_adj, *motion_adj, *angle_adj;
  GtkObject    *noise_adj, *smooth_adj, *winsize_adj;
  GtkObject    *iter_adj, *prev_iter_adj;
  GtkObject    *hscroll_adj, *vscroll_adj;

  gint          preview_width, preview_height;
  gint          preview_x, preview_y;
  guchar       *preview_buf;      /* preview_width * preview_height * 3 */

  gint          needle_x, needle_y;
  gboolean      area_sensitive;
} RefocusContext;

extern RefocusVals    refocus_vals;
extern RefocusContext refocus_ctx;

void set_default_vals (void);
void read_selection   (void);
void write_selection  (void);
guchar matrix_value_to_byte (float v);
void report_progress  (float fraction);
void pump_events      (void);

/* Runs iterations sweeps over the whole selection; the result stays in the
 * channel matrices.  FALSE when the core refused the values (nothing read
 * or changed). */
gboolean refocus_run  (gint iterations);

/* The dialog; refocus_dialog_show returns once it is shown. */
void refocus_dialog_show (void);
void update_preview      (void);

#endif
