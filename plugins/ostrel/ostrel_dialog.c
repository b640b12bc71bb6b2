/* The refocus dialog: parameters, the motion-direction control and the
 * scrolling preview window onto the selection.  Every handler receives the
 * dialog's record (as its user data), which holds the run's context. */
#include "config.h"

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "ostrel_dialog.h"
#include "ostrel_intl.h"
#include "ostrel_run.h"
#include "refocus_geometry.h"
#include "refocus_options.h"

#define RESPONSE_RESET   2
#define RESPONSE_PREVIEW 1

/* Below this noise weight the area weights have no effect. */
#define AREA_LAMBDA_THRESHOLD 0.000001

static const gchar *const boundary_labels[2] =
{
  N_("mirror boundary"),
  N_("periodical boundary")
};

/* The widgets that go with the window.  All are NULL once it is gone: a
 * computation still running when the window is closed must not draw into
 * the preview or the control. */
typedef struct
{
  GtkWidget *dialog;
  GtkWidget *progress_bar;
  GtkWidget *adaptive_check;
  GtkWidget *boundary_menu;
  GtkWidget *area_frame;
  GtkWidget *motion_area;
  GtkWidget *preview;
} DialogWidgets;

typedef struct
{
  RefocusContext *ctx;
  DialogWidgets   w;

  GtkObject      *radius_adj, *gauss_adj, *motion_adj, *angle_adj;
  GtkObject      *noise_adj, *smooth_adj, *winsize_adj;
  GtkObject      *iter_adj, *prev_iter_adj;
  GtkObject      *hscroll_adj, *vscroll_adj;

  gint            preview_width, preview_height;
  gint            preview_x, preview_y;
  guchar         *preview_buf;    /* preview_width * preview_height * 3 */

  gint            needle_x, needle_y;
  gboolean        area_sensitive;
  gboolean        done;           /* OK wrote the result */
} RefocusDialog;

/* ---- the motion-direction control ------------------------------------- */

static gboolean
motion_area_drawable (RefocusDialog *d)
{
  GtkWidget *area = d->w.motion_area;

  return area != NULL && GTK_WIDGET_REALIZED (area) && area->window != NULL;
}

static void
needle_redraw (RefocusDialog *d)
{
  GtkWidget *area = d->w.motion_area;
  GtkStyle  *style;
  gint       x, y;

  if (!motion_area_drawable (d))
    return;
  style = gtk_widget_get_style (area);
  gdk_draw_line (area->window, style->black_gc,
                 MOTION_AREA_CENTER, MOTION_AREA_CENTER,
                 d->needle_x, d->needle_y);
  motion_needle_end (GTK_ADJUSTMENT (d->angle_adj)->value, &x, &y);
  d->needle_x = x;
  d->needle_y = y;
  gdk_draw_line (area->window, style->white_gc,
                 MOTION_AREA_CENTER, MOTION_AREA_CENTER, x, y);
  gdk_flush ();
}

static void
motion_full_redraw (RefocusDialog *d)
{
  GtkWidget *area = d->w.motion_area;

  if (!motion_area_drawable (d))
    return;
  gdk_draw_arc (area->window, gtk_widget_get_style (area)->black_gc, TRUE,
                0, 0, MOTION_AREA_SIZE, MOTION_AREA_SIZE, 0, 360 * 64);
  needle_redraw (d);
}

static gboolean
motion_expose (GtkWidget *widget, GdkEventExpose *event, RefocusDialog *d)
{
  (void) widget; (void) event;
  motion_full_redraw (d);
  return FALSE;
}

static void
angle_changed (GtkAdjustment *adj, RefocusDialog *d)
{
  (void) adj;
  needle_redraw (d);
}

static void
set_angle_from_pointer (RefocusDialog *d, gdouble x, gdouble y)
{
  gtk_adjustment_set_value (GTK_ADJUSTMENT (d->angle_adj),
                            motion_angle_from_pointer ((float) x, (float) y));
}

static gboolean motion_release (GtkWidget *, GdkEventButton *, RefocusDialog *);

static gboolean
motion_drag (GtkWidget *widget, GdkEventMotion *event, RefocusDialog *d)
{
  (void) widget;
  set_angle_from_pointer (d, event->x, event->y);
  return FALSE;
}

static void
stop_dragging (GtkWidget *area, RefocusDialog *d)
{
  g_signal_handlers_disconnect_by_func (area, G_CALLBACK (motion_release), d);
  g_signal_handlers_disconnect_by_func (area, G_CALLBACK (motion_drag), d);
}

static gboolean
motion_release (GtkWidget *widget, GdkEventButton *event, RefocusDialog *d)
{
  if (event->button == 1)
    stop_dragging (widget, d);
  return FALSE;
}

static gboolean
motion_press (GtkWidget *widget, GdkEventButton *event, RefocusDialog *d)
{
  if (event->button == 1)
    {
      set_angle_from_pointer (d, event->x, event->y);
      /* A second press without a release must not stack handlers. */
      stop_dragging (widget, d);
      g_signal_connect (widget, "button-release-event",
                        G_CALLBACK (motion_release), d);
      g_signal_connect (widget, "motion-notify-event",
                        G_CALLBACK (motion_drag), d);
    }
  return FALSE;
}

/* ---- the preview and the progress bar --------------------------------- */

static void
update_preview (RefocusDialog *d)
{
  RefocusContext *c = d->ctx;
  gint            row, col, k;

  if (d->w.preview == NULL || d->preview_buf == NULL)
    return;
  for (row = 0; row < d->preview_height; row++)
    {
      guchar *out = d->preview_buf + (gsize) row * d->preview_width * 3;
      gsize   i   = (gsize) (row + d->preview_y) * c->width + d->preview_x;

      for (col = 0; col < d->preview_width; col++, i++)
        for (k = 0; k < 3; k++)
          *out++ = refocus_value_to_byte (c->channel[c->n_channels == 3 ? k : 0].data[i]);
    }
  for (row = 0; row < d->preview_height; row++)
    gtk_preview_draw_row (GTK_PREVIEW (d->w.preview),
                          d->preview_buf + (gsize) row * d->preview_width * 3,
                          0, row, d->preview_width);
  gtk_widget_draw (d->w.preview, NULL);
  gdk_flush ();
}

static void
show_preview (RefocusContext *ctx)
{
  update_preview (ctx->view);
}

static gboolean
show_progress (RefocusContext *ctx, float fraction)
{
  RefocusDialog *d = ctx->view;

  if (d->w.progress_bar == NULL)
    return FALSE;
  gtk_progress_bar_update (GTK_PROGRESS_BAR (d->w.progress_bar), fraction);
  return TRUE;
}

static void
scroll_action (GtkAdjustment *adj, RefocusDialog *d)
{
  (void) adj;
  d->preview_x = preview_offset_from_value (GTK_ADJUSTMENT (d->hscroll_adj)->value,
                                            d->ctx->width);
  d->preview_y = preview_offset_from_value (GTK_ADJUSTMENT (d->vscroll_adj)->value,
                                            d->ctx->height);
  update_preview (d);
}

/* ---- values and sensitivity ------------------------------------------- */

static void
noise_changed (GtkAdjustment *adj, RefocusDialog *d)
{
  if (d->w.area_frame == NULL)
    return;
  if (adj->value < AREA_LAMBDA_THRESHOLD)
    {
      gtk_widget_set_sensitive (d->w.area_frame, FALSE);
      d->area_sensitive = FALSE;
    }
  else if (!d->area_sensitive)
    {
      gtk_widget_set_sensitive (d->w.area_frame, TRUE);
      d->area_sensitive = TRUE;
    }
}

static void
set_adj (GtkObject *adj, gdouble value)
{
  gtk_adjustment_set_value (GTK_ADJUSTMENT (adj), value);
}

static void
vals_to_dialog_adjustments (RefocusDialog *d)
{
  const RefocusVals *v = d->ctx->vals;

  set_adj (d->radius_adj, (gfloat) v->radius);
  set_adj (d->gauss_adj, (gfloat) v->gauss);
  set_adj (d->motion_adj, (gfloat) v->motion);
  set_adj (d->angle_adj, (gfloat) v->mot_angle);
  set_adj (d->noise_adj, (gfloat) v->lambda);
  set_adj (d->smooth_adj, (gfloat) v->lambda_min);
  set_adj (d->winsize_adj, v->winsize);
  set_adj (d->iter_adj, v->iterations);
  set_adj (d->prev_iter_adj, v->prev_iter);
  d->area_sensitive = TRUE;
}

static void
vals_to_dialog_widgets (RefocusDialog *d)
{
  const RefocusVals *v = d->ctx->vals;

  if (d->w.adaptive_check != NULL)
    gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (d->w.adaptive_check),
                                  v->adaptive_smooth != 0);
  if (d->w.boundary_menu != NULL)
    gtk_option_menu_set_history (GTK_OPTION_MENU (d->w.boundary_menu),
                                 v->boundary == 0 ? 0 : 1);
  if (d->w.area_frame != NULL
      && GTK_ADJUSTMENT (d->noise_adj)->value < AREA_LAMBDA_THRESHOLD)
    {
      gtk_widget_set_sensitive (d->w.area_frame, FALSE);
      d->area_sensitive = FALSE;
    }
  needle_redraw (d);
}

static guint32
adj_count (GtkObject *adj)
{
  gdouble v = GTK_ADJUSTMENT (adj)->value;

  return v > 0.0 ? (guint32) v : 0;
}

static void
dialog_to_vals (RefocusDialog *d)
{
  RefocusVals *v = d->ctx->vals;

  v->radius     = GTK_ADJUSTMENT (d->radius_adj)->value;
  v->gauss      = GTK_ADJUSTMENT (d->gauss_adj)->value;
  v->motion     = GTK_ADJUSTMENT (d->motion_adj)->value;
  v->mot_angle  = GTK_ADJUSTMENT (d->angle_adj)->value;
  v->lambda     = GTK_ADJUSTMENT (d->noise_adj)->value;
  v->lambda_min = GTK_ADJUSTMENT (d->smooth_adj)->value;
  v->winsize    = adj_count (d->winsize_adj);
  v->iterations = adj_count (d->iter_adj);
  v->prev_iter  = adj_count (d->prev_iter_adj);
  if (d->w.adaptive_check != NULL)
    v->adaptive_smooth =
      gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (d->w.adaptive_check));
}

#define BOUNDARY_KEY "ostrel-boundary"

static void
boundary_selected (GtkWidget *item, RefocusDialog *d)
{
  d->ctx->vals->boundary =
    GPOINTER_TO_INT (g_object_get_data (G_OBJECT (item), BOUNDARY_KEY));
}

/* ---- responses -------------------------------------------------------- */

static void
set_dialog_sensitive (RefocusDialog *d, gboolean sensitive)
{
  if (d->w.dialog != NULL)
    gtk_widget_set_sensitive (d->w.dialog, sensitive);
}

static void
clear_widget_refs (RefocusDialog *d)
{
  static const DialogWidgets none;

  d->w = none;
}

static void
end_dialog (RefocusDialog *d)
{
  GtkWidget *dialog = d->w.dialog;

  clear_widget_refs (d);
  if (dialog != NULL)
    gtk_widget_destroy (dialog);
}

static void
cancel_action (RefocusDialog *d)
{
  d->ctx->cancelled = TRUE;
  end_dialog (d);
  gtk_main_quit ();
}

static void
dialog_destroyed (GtkWidget *widget, RefocusDialog *d)
{
  (void) widget;
  d->ctx->cancelled = TRUE;
  if (d->w.dialog != NULL)
    {
      clear_widget_refs (d);
      gtk_main_quit ();
    }
}

/* Computes with the dialog's values and iterations sweeps, the window
 * insensitive meanwhile. */
static void
compute (RefocusDialog *d, gboolean final)
{
  RefocusVals *v = d->ctx->vals;

  set_dialog_sensitive (d, FALSE);
  dialog_to_vals (d);
  refocus_run (d->ctx, (gint) (final ? v->iterations : v->prev_iter));
  if (final)
    write_selection (d->ctx);
  set_dialog_sensitive (d, TRUE);
}

static void
dialog_response (GtkWidget *widget, gint response, RefocusDialog *d)
{
  (void) widget;
  switch (response)
    {
    case RESPONSE_PREVIEW:
      compute (d, FALSE);
      break;

    case RESPONSE_RESET:
      refocus_vals_set_defaults (d->ctx->vals);
      vals_to_dialog_adjustments (d);
      vals_to_dialog_widgets (d);
      read_selection (d->ctx);
      update_preview (d);
      break;

    case GTK_RESPONSE_OK:
      compute (d, TRUE);
      end_dialog (d);
      d->done = TRUE;
      gtk_main_quit ();
      break;

    default:
      cancel_action (d);
      break;
    }
}

/* ---- construction ----------------------------------------------------- */

static GtkWidget *
scale_spin_row (GtkObject *adj, gdouble climb_rate, guint digits)
{
  GtkWidget *box   = gtk_hbox_new (TRUE, 2);
  GtkWidget *scale = gtk_hscale_new (GTK_ADJUSTMENT (adj));
  GtkWidget *spin  = gtk_spin_button_new (GTK_ADJUSTMENT (adj), climb_rate, digits);

  gtk_scale_set_digits (GTK_SCALE (scale), digits);
  gtk_scale_set_draw_value (GTK_SCALE (scale), FALSE);
  gtk_box_pack_start (GTK_BOX (box), scale, TRUE, TRUE, 0);
  gtk_box_pack_start (GTK_BOX (box), spin, TRUE, TRUE, 0);
  return box;
}

static GtkWidget *
parameter_table (gint rows)
{
  GtkWidget *table = gtk_table_new (rows, 2, FALSE);

  gtk_container_set_border_width (GTK_CONTAINER (table), 5);
  gtk_table_set_row_spacings (GTK_TABLE (table), 5);
  gtk_table_set_col_spacings (GTK_TABLE (table), 5);
  return table;
}

static void
table_row (GtkWidget *table, gint row, const gchar *text, GtkWidget *control)
{
  GtkWidget *label = gtk_label_new (text);

  gtk_misc_set_alignment (GTK_MISC (label), 1.0, 0.5);
  gtk_table_attach_defaults (GTK_TABLE (table), label, 0, 1, row, row + 1);
  gtk_table_attach_defaults (GTK_TABLE (table), control, 1, 2, row, row + 1);
}

static GtkWidget *
boundary_option_menu (RefocusDialog *d)
{
  GtkWidget *option = gtk_option_menu_new ();
  GtkWidget *menu   = gtk_menu_new ();
  gint       i;

  for (i = 0; i < 2; i++)
    {
      GtkWidget *item = gtk_menu_item_new_with_label (gettext (boundary_labels[i]));

      g_object_set_data (G_OBJECT (item), BOUNDARY_KEY, GINT_TO_POINTER (i));
      g_signal_connect (item, "activate", G_CALLBACK (boundary_selected), d);
      gtk_menu_shell_append (GTK_MENU_SHELL (menu), item);
    }
  gtk_option_menu_set_menu (GTK_OPTION_MENU (option), menu);
  gtk_option_menu_set_history (GTK_OPTION_MENU (option),
                               d->ctx->vals->boundary == 0 ? 0 : 1);
  return option;
}

static GtkWidget *
build_parameter_panel (RefocusDialog *d)
{
  GtkWidget *column = gtk_vbox_new (FALSE, 0);
  GtkWidget *frame, *table;

  frame = gtk_frame_new (_("Degradation"));
  table = parameter_table (7);
  table_row (table, 0, _("Radius:"), scale_spin_row (d->radius_adj, 0.01, 2));
  table_row (table, 1, _("Gauss:"), scale_spin_row (d->gauss_adj, 0.01, 2));
  table_row (table, 2, _("Motion size:"), scale_spin_row (d->motion_adj, 0.01, 2));
  table_row (table, 3, _("Motion angle:"), scale_spin_row (d->angle_adj, 0.01, 2));
  table_row (table, 4, _("Noise:"), scale_spin_row (d->noise_adj, 0.1, 1));
  table_row (table, 5, _("Iterations:"), scale_spin_row (d->iter_adj, 1, 0));
  d->w.boundary_menu = boundary_option_menu (d);
  table_row (table, 6, _("Boundary:"), d->w.boundary_menu);
  gtk_container_add (GTK_CONTAINER (frame), table);
  gtk_box_pack_start (GTK_BOX (column), frame, FALSE, FALSE, 0);

  frame = gtk_frame_new (_("Area smoothing"));
  d->w.area_frame = frame;
  table = parameter_table (3);
  table_row (table, 0, _("Smoothness:"), scale_spin_row (d->smooth_adj, 1, 1));
  table_row (table, 1, _("Area size:"), scale_spin_row (d->winsize_adj, 0, 0));
  d->w.adaptive_check = gtk_check_button_new ();
  gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (d->w.adaptive_check),
                                d->ctx->vals->adaptive_smooth != 0);
  table_row (table, 2, _("Adaptive smoothing:"), d->w.adaptive_check);
  gtk_container_add (GTK_CONTAINER (frame), table);
  gtk_box_pack_start (GTK_BOX (column), frame, FALSE, FALSE, 0);

  d->w.progress_bar = gtk_progress_bar_new ();
  gtk_box_pack_start (GTK_BOX (column), d->w.progress_bar, FALSE, FALSE, 0);
  return column;
}

static GtkWidget *
build_motion_frame (RefocusDialog *d)
{
  GtkWidget *frame = gtk_frame_new (_("Motion direction"));
  GtkWidget *box   = gtk_hbox_new (FALSE, 0);
  GtkWidget *area  = gtk_drawing_area_new ();

  gtk_container_set_border_width (GTK_CONTAINER (box), 5);
  gtk_widget_set_usize (area, MOTION_AREA_SIZE, MOTION_AREA_SIZE);
  gtk_widget_set_events (area, gtk_widget_get_events (area)
                               | GDK_BUTTON_PRESS_MASK
                               | GDK_BUTTON_RELEASE_MASK
                               | GDK_POINTER_MOTION_MASK);
  g_signal_connect (area, "expose-event", G_CALLBACK (motion_expose), d);
  g_signal_connect (area, "button-press-event", G_CALLBACK (motion_press), d);
  d->w.motion_area = area;
  gtk_box_pack_start (GTK_BOX (box), area, TRUE, FALSE, 0);
  gtk_container_add (GTK_CONTAINER (frame), box);
  return frame;
}

static GtkWidget *
build_preview_frame (RefocusDialog *d)
{
  GtkWidget *frame = gtk_frame_new (_("Preview"));
  GtkWidget *vbox  = gtk_vbox_new (FALSE, 2);
  GtkWidget *table = gtk_table_new (2, 2, FALSE);
  GtkWidget *hbar, *vbar, *hbox, *label, *scale;

  gtk_container_set_border_width (GTK_CONTAINER (vbox), 5);

  d->w.preview = gtk_preview_new (GTK_PREVIEW_COLOR);
  gtk_preview_size (GTK_PREVIEW (d->w.preview), d->preview_width, d->preview_height);
  gtk_table_attach (GTK_TABLE (table), d->w.preview, 0, 1, 0, 1, 0, 0, 0, 0);
  hbar = gtk_hscrollbar_new (GTK_ADJUSTMENT (d->hscroll_adj));
  gtk_range_set_update_policy (GTK_RANGE (hbar), GTK_UPDATE_CONTINUOUS);
  gtk_table_attach (GTK_TABLE (table), hbar, 0, 1, 1, 2, GTK_FILL, 0, 0, 0);
  vbar = gtk_vscrollbar_new (GTK_ADJUSTMENT (d->vscroll_adj));
  gtk_range_set_update_policy (GTK_RANGE (vbar), GTK_UPDATE_CONTINUOUS);
  gtk_table_attach (GTK_TABLE (table), vbar, 1, 2, 0, 1, 0, GTK_FILL, 0, 0);
  gtk_box_pack_start (GTK_BOX (vbox), table, FALSE, FALSE, 0);

  hbox  = gtk_hbox_new (FALSE, 2);
  label = gtk_label_new (_("Iterations:"));
  gtk_misc_set_alignment (GTK_MISC (label), 1.0, 1.0);
  gtk_box_pack_start (GTK_BOX (hbox), label, FALSE, FALSE, 0);
  scale = gtk_hscale_new (GTK_ADJUSTMENT (d->prev_iter_adj));
  gtk_scale_set_digits (GTK_SCALE (scale), 0);
  gtk_scale_set_draw_value (GTK_SCALE (scale), TRUE);
  gtk_box_pack_start (GTK_BOX (hbox), scale, TRUE, TRUE, 0);
  gtk_box_pack_start (GTK_BOX (vbox), hbox, TRUE, FALSE, 0);

  gtk_container_add (GTK_CONTAINER (frame), vbox);
  return frame;
}

static void
create_adjustments (RefocusDialog *d)
{
  const RefocusVals *v = d->ctx->vals;

  d->radius_adj    = gtk_adjustment_new (v->radius, 0, 32, 0.01, 0.1, 0);
  d->gauss_adj     = gtk_adjustment_new (v->gauss, 0, 32, 0.01, 0.1, 0);
  d->motion_adj    = gtk_adjustment_new (v->motion, 0, 32, 0.01, 0.1, 0);
  d->angle_adj     = gtk_adjustment_new (v->mot_angle, 0, 360, 0.01, 0.1, 0);
  d->noise_adj     = gtk_adjustment_new (v->lambda, 0, 10000, 0.1, 1, 0);
  d->smooth_adj    = gtk_adjustment_new (v->lambda_min, 0, 100, 0.1, 1, 0);
  d->winsize_adj   = gtk_adjustment_new (v->winsize, 1, 16, 1, 1, 0);
  d->iter_adj      = gtk_adjustment_new (v->iterations, 1, 200, 1, 10, 0);
  d->prev_iter_adj = gtk_adjustment_new (v->prev_iter, 1, 20, 1, 1, 0);
  d->hscroll_adj   = gtk_adjustment_new (0, 0, d->ctx->width - 1, 1,
                                         d->preview_width, d->preview_width);
  d->vscroll_adj   = gtk_adjustment_new (0, 0, d->ctx->height - 1, 1,
                                         d->preview_height, d->preview_height);

  g_signal_connect (d->angle_adj, "value_changed", G_CALLBACK (angle_changed), d);
  g_signal_connect (d->noise_adj, "value_changed", G_CALLBACK (noise_changed), d);
  g_signal_connect (d->hscroll_adj, "value_changed", G_CALLBACK (scroll_action), d);
  g_signal_connect (d->vscroll_adj, "value_changed", G_CALLBACK (scroll_action), d);
}

static void
build_dialog (RefocusDialog *d)
{
  RefocusContext *c = d->ctx;
  GtkWidget      *dialog, *content, *right;

  dialog = gimp_dialog_new (_("Iterative Refocus"), "ostrelhelp",
                            NULL, 0,
                            gimp_standard_help_func, "filters/ostrelhelp.html",
                            GTK_STOCK_OK,     GTK_RESPONSE_OK,
                            GIMP_STOCK_RESET, RESPONSE_RESET,
                            _("Preview"),     RESPONSE_PREVIEW,
                            GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
                            NULL);
  d->w.dialog = dialog;
  g_signal_connect (dialog, "response", G_CALLBACK (dialog_response), d);
  g_signal_connect (dialog, "destroy", G_CALLBACK (dialog_destroyed), d);

  d->preview_width  = preview_extent (c->width);
  d->preview_height = preview_extent (c->height);
  d->preview_x = d->preview_y = 0;
  d->preview_buf = g_malloc ((gsize) d->preview_width * d->preview_height * 3 + 1);
  c->cancelled = FALSE;
  d->done      = FALSE;
  d->needle_x  = MOTION_AREA_CENTER;
  d->needle_y  = MOTION_AREA_CENTER;

  create_adjustments (d);
  vals_to_dialog_adjustments (d);

  content = gtk_hbox_new (FALSE, 5);
  gtk_box_pack_start (GTK_BOX (GTK_DIALOG (dialog)->vbox), content, TRUE, FALSE, 5);
  gtk_box_pack_start (GTK_BOX (content), build_parameter_panel (d), TRUE, FALSE, 5);

  right = gtk_vbox_new (FALSE, 2);
  gtk_box_pack_start (GTK_BOX (right), build_motion_frame (d), TRUE, FALSE, 5);
  gtk_box_pack_start (GTK_BOX (right), build_preview_frame (d), TRUE, FALSE, 5);
  gtk_box_pack_start (GTK_BOX (content), right, TRUE, FALSE, 5);

  gtk_widget_show_all (dialog);
  update_preview (d);
  vals_to_dialog_widgets (d);
  motion_full_redraw (d);
}

gboolean
refocus_dialog_run (RefocusContext *ctx)
{
  RefocusDialog d = { 0 };

  d.ctx = ctx;
  ctx->view          = &d;
  ctx->show_progress = show_progress;
  ctx->show_preview  = show_preview;

  build_dialog (&d);
  gtk_main ();

  /* Every way out of the main loop has let go of the widgets already. */
  ctx->view          = NULL;
  ctx->show_progress = NULL;
  ctx->show_preview  = NULL;
  g_free (d.preview_buf);
  return d.done;
}
