/* The refocus dialog: parameters, the motion-direction control and the
 * scrolling preview window onto the selection. */
#include "config.h"

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "ostrel.h"
#include "ostrel_intl.h"
#include "refocus_geometry.h"

#define RESPONSE_RESET   2
#define RESPONSE_PREVIEW 1

/* Below this noise weight the area weights have no effect. */
#define AREA_LAMBDA_THRESHOLD 0.000001

typedef struct
{
  const gchar *label;
  GtkWidget   *item;
} BoundaryOption;

static BoundaryOption boundary_options[2] =
{
  { N_("mirror boundary"),     NULL },
  { N_("periodical boundary"), NULL }
};

static void cancel_action (void);

/* ---- the motion-direction control ------------------------------------- */

static gboolean
motion_area_drawable (void)
{
  GtkWidget *area = refocus_ctx.motion_area;

  return area != NULL && GTK_WIDGET_REALIZED (area) && area->window != NULL;
}

static void
needle_redraw (void)
{
  GtkWidget *area = refocus_ctx.motion_area;
  GtkStyle  *style;
  gint       x, y;

  if (!motion_area_drawable ())
    return;
  style = gtk_widget_get_style (area);
  gdk_draw_line (area->window, style->black_gc,
                 MOTION_AREA_CENTER, MOTION_AREA_CENTER,
                 refocus_ctx.needle_x, refocus_ctx.needle_y);
  motion_needle_end (GTK_ADJUSTMENT (refocus_ctx.angle_adj)->value, &x, &y);
  refocus_ctx.needle_x = x;
  refocus_ctx.needle_y = y;
  gdk_draw_line (area->window, style->white_gc,
                 MOTION_AREA_CENTER, MOTION_AREA_CENTER, x, y);
  gdk_flush ();
}

static void
motion_full_redraw (void)
{
  GtkWidget *area = refocus_ctx.motion_area;

  if (!motion_area_drawable ())
    return;
  gdk_draw_arc (area->window, gtk_widget_get_style (area)->black_gc, TRUE,
                0, 0, MOTION_AREA_SIZE, MOTION_AREA_SIZE, 0, 360 * 64);
  needle_redraw ();
}

static gboolean
motion_expose (GtkWidget *widget, GdkEventExpose *event, gpointer data)
{
  (void) widget; (void) event; (void) data;
  motion_full_redraw ();
  return FALSE;
}

static void
angle_changed (GtkAdjustment *adj, gpointer data)
{
  (void) adj; (void) data;
  needle_redraw ();
}

static void
set_angle_from_pointer (gdouble x, gdouble y)
{
  gtk_adjustment_set_value (GTK_ADJUSTMENT (refocus_ctx.angle_adj),
                            motion_angle_from_pointer ((float) x, (float) y));
}

static gboolean motion_release (GtkWidget *, GdkEventButton *, gpointer);

static gboolean
motion_drag (GtkWidget *widget, GdkEventMotion *event, gpointer data)
{
  (void) widget; (void) data;
  set_angle_from_pointer (event->x, event->y);
  return FALSE;
}

static gboolean
motion_release (GtkWidget *widget, GdkEventButton *event, gpointer data)
{
  (void) data;
  if (event->button == 1)
    {
      g_signal_handlers_disconnect_by_func (widget, G_CALLBACK (motion_release), NULL);
      g_signal_handlers_disconnect_by_func (widget, G_CALLBACK (motion_drag), NULL);
    }
  return FALSE;
}

static gboolean
motion_press (GtkWidget *widget, GdkEventButton *event, gpointer data)
{
  (void) data;
  if (event->button == 1)
    {
      set_angle_from_pointer (event->x, event->y);
      /* A second press without a release must not stack handlers. */
      g_signal_handlers_disconnect_by_func (widget, G_CALLBACK (motion_release), NULL);
      g_signal_handlers_disconnect_by_func (widget, G_CALLBACK (motion_drag), NULL);
      g_signal_connect (widget, "button-release-event",
                        G_CALLBACK (motion_release), NULL);
      g_signal_connect (widget, "motion-notify-event",
                        G_CALLBACK (motion_drag), NULL);
    }
  return FALSE;
}

/* ---- the preview ------------------------------------------------------ */

void
update_preview (void)
{
  RefocusContext *c = &refocus_ctx;
  gint            row, col, k;

  if (c->preview == NULL || c->preview_buf == NULL)
    return;
  for (row = 0; row < c->preview_height; row++)
    {
      guchar *out = c->preview_buf + (gsize) row * c->preview_width * 3;
      gsize   i   = (gsize) (row + c->preview_y) * c->width + c->preview_x;

      for (col = 0; col < c->preview_width; col++, i++)
        for (k = 0; k < 3; k++)
          *out++ = matrix_value_to_byte (c->channel[c->n_channels == 3 ? k : 0].data[i]);
    }
  for (row = 0; row < c->preview_height; row++)
    gtk_preview_draw_row (GTK_PREVIEW (c->preview),
                          c->preview_buf + (gsize) row * c->preview_width * 3,
                          0, row, c->preview_width);
  gtk_widget_draw (c->preview, NULL);
  gdk_flush ();
}

static void
scroll_action (GtkAdjustment *adj, gpointer data)
{
  (void) adj; (void) data;
  refocus_ctx.preview_x =
    preview_offset_from_value (GTK_ADJUSTMENT (refocus_ctx.hscroll_adj)->value,
                               refocus_ctx.width);
  refocus_ctx.preview_y =
    preview_offset_from_value (GTK_ADJUSTMENT (refocus_ctx.vscroll_adj)->value,
                               refocus_ctx.height);
  update_preview ();
}

/* ---- values and sensitivity ------------------------------------------- */

static void
noise_changed (GtkAdjustment *adj, gpointer data)
{
  (void) data;
  if (refocus_ctx.area_frame == NULL)
    return;
  if (adj->value < AREA_LAMBDA_THRESHOLD)
    {
      gtk_widget_set_sensitive (refocus_ctx.area_frame, FALSE);
      refocus_ctx.area_sensitive = FALSE;
    }
  else if (!refocus_ctx.area_sensitive)
    {
      gtk_widget_set_sensitive (refocus_ctx.area_frame, TRUE);
      refocus_ctx.area_sensitive = TRUE;
    }
}

static void
set_adj (GtkObject *adj, gdouble value)
{
  gtk_adjustment_set_value (GTK_ADJUSTMENT (adj), value);
}

static void
vals_to_dialog_adjustments (void)
{
  set_adj (refocus_ctx.radius_adj, (gfloat) refocus_vals.radius);
  set_adj (refocus_ctx.gauss_adj, (gfloat) refocus_vals.gauss);
  set_adj (refocus_ctx.motion_adj, (gfloat) refocus_vals.motion);
  set_adj (refocus_ctx.angle_adj, (gfloat) refocus_vals.mot_angle);
  set_adj (refocus_ctx.noise_adj, (gfloat) refocus_vals.lambda);
  set_adj (refocus_ctx.smooth_adj, (gfloat) refocus_vals.lambda_min);
  set_adj (refocus_ctx.winsize_adj, refocus_vals.winsize);
  set_adj (refocus_ctx.iter_adj, refocus_vals.iterations);
  set_adj (refocus_ctx.prev_iter_adj, refocus_vals.prev_iter);
  refocus_ctx.area_sensitive = TRUE;
}

static void
vals_to_dialog_widgets (void)
{
  if (refocus_ctx.adaptive_check != NULL)
    gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (refocus_ctx.adaptive_check),
                                  refocus_vals.adaptive_smooth != 0);
  if (refocus_ctx.boundary_menu != NULL)
    gtk_option_menu_set_history (GTK_OPTION_MENU (refocus_ctx.boundary_menu),
                                 refocus_vals.boundary == 0 ? 0 : 1);
  if (refocus_ctx.area_frame != NULL
      && GTK_ADJUSTMENT (refocus_ctx.noise_adj)->value < AREA_LAMBDA_THRESHOLD)
    {
      gtk_widget_set_sensitive (refocus_ctx.area_frame, FALSE);
      refocus_ctx.area_sensitive = FALSE;
    }
  needle_redraw ();
}

static guint32
adj_count (GtkObject *adj)
{
  gdouble v = GTK_ADJUSTMENT (adj)->value;

  return v > 0.0 ? (guint32) v : 0;
}

static void
dialog_to_vals (void)
{
  refocus_vals.radius     = GTK_ADJUSTMENT (refocus_ctx.radius_adj)->value;
  refocus_vals.gauss      = GTK_ADJUSTMENT (refocus_ctx.gauss_adj)->value;
  refocus_vals.motion     = GTK_ADJUSTMENT (refocus_ctx.motion_adj)->value;
  refocus_vals.mot_angle  = GTK_ADJUSTMENT (refocus_ctx.angle_adj)->value;
  refocus_vals.lambda     = GTK_ADJUSTMENT (refocus_ctx.noise_adj)->value;
  refocus_vals.lambda_min = GTK_ADJUSTMENT (refocus_ctx.smooth_adj)->value;
  refocus_vals.winsize    = adj_count (refocus_ctx.winsize_adj);
  refocus_vals.iterations = adj_count (refocus_ctx.iter_adj);
  refocus_vals.prev_iter  = adj_count (refocus_ctx.prev_iter_adj);
  if (refocus_ctx.adaptive_check != NULL)
    refocus_vals.adaptive_smooth =
      gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (refocus_ctx.adaptive_check));
}

static void
boundary_selected (GtkWidget *item, gpointer index)
{
  (void) item;
  refocus_vals.boundary = GPOINTER_TO_INT (index);
}

/* ---- responses -------------------------------------------------------- */

static void
set_dialog_sensitive (gboolean sensitive)
{
  if (refocus_ctx.dialog != NULL)
    gtk_widget_set_sensitive (refocus_ctx.dialog, sensitive);
}

static void
clear_widget_refs (void)
{
  refocus_ctx.dialog         = NULL;
  refocus_ctx.progress_bar   = NULL;
  refocus_ctx.adaptive_check = NULL;
  refocus_ctx.boundary_menu  = NULL;
  refocus_ctx.area_frame     = NULL;
  /* The preview and the control go with the dialog: a computation still
   * running when the window is closed must not draw into them. */
  refocus_ctx.motion_area    = NULL;
  refocus_ctx.preview        = NULL;
}

static void
end_dialog (void)
{
  GtkWidget *dialog = refocus_ctx.dialog;

  clear_widget_refs ();
  if (dialog != NULL)
    gtk_widget_destroy (dialog);
}

static void
cancel_action (void)
{
  refocus_ctx.cancelled = TRUE;
  end_dialog ();
  gtk_main_quit ();
}

static void
dialog_destroyed (GtkWidget *widget, gpointer data)
{
  (void) widget; (void) data;
  refocus_ctx.cancelled = TRUE;
  if (refocus_ctx.dialog != NULL)
    {
      clear_widget_refs ();
      gtk_main_quit ();
    }
}

static void
dialog_response (GtkWidget *widget, gint response, gpointer data)
{
  (void) widget; (void) data;
  switch (response)
    {
    case RESPONSE_PREVIEW:
      set_dialog_sensitive (FALSE);
      dialog_to_vals ();
      refocus_run ((gint) refocus_vals.prev_iter);
      set_dialog_sensitive (TRUE);
      break;

    case RESPONSE_RESET:
      set_default_vals ();
      vals_to_dialog_adjustments ();
      vals_to_dialog_widgets ();
      read_selection ();
      update_preview ();
      break;

    case GTK_RESPONSE_OK:
      set_dialog_sensitive (FALSE);
      dialog_to_vals ();
      refocus_run ((gint) refocus_vals.iterations);
      write_selection ();
      set_dialog_sensitive (TRUE);
      end_dialog ();
      refocus_ctx.done = TRUE;
      gtk_main_quit ();
      break;

    default:
      cancel_action ();
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
boundary_option_menu (void)
{
  GtkWidget *option = gtk_option_menu_new ();
  GtkWidget *menu   = gtk_menu_new ();
  gint       i;

  for (i = 0; i < 2; i++)
    {
      GtkWidget *item = gtk_menu_item_new_with_label (boundary_options[i].label);

      boundary_options[i].item = item;
      g_signal_connect (item, "activate", G_CALLBACK (boundary_selected),
                        GINT_TO_POINTER (i));
      gtk_menu_shell_append (GTK_MENU_SHELL (menu), item);
    }
  gtk_option_menu_set_menu (GTK_OPTION_MENU (option), menu);
  gtk_option_menu_set_history (GTK_OPTION_MENU (option),
                               refocus_vals.boundary == 0 ? 0 : 1);
  return option;
}

static GtkWidget *
build_parameter_panel (void)
{
  GtkWidget *column = gtk_vbox_new (FALSE, 0);
  GtkWidget *frame, *table;

  frame = gtk_frame_new (_("Degradation"));
  table = parameter_table (7);
  table_row (table, 0, _("Radius:"), scale_spin_row (refocus_ctx.radius_adj, 0.01, 2));
  table_row (table, 1, _("Gauss:"), scale_spin_row (refocus_ctx.gauss_adj, 0.01, 2));
  table_row (table, 2, _("Motion size:"), scale_spin_row (refocus_ctx.motion_adj, 0.01, 2));
  table_row (table, 3, _("Motion angle:"), scale_spin_row (refocus_ctx.angle_adj, 0.01, 2));
  table_row (table, 4, _("Noise:"), scale_spin_row (refocus_ctx.noise_adj, 0.1, 1));
  table_row (table, 5, _("Iterations:"), scale_spin_row (refocus_ctx.iter_adj, 1, 0));
  refocus_ctx.boundary_menu = boundary_option_menu ();
  table_row (table, 6, _("Boundary:"), refocus_ctx.boundary_menu);
  gtk_container_add (GTK_CONTAINER (frame), table);
  gtk_box_pack_start (GTK_BOX (column), frame, FALSE, FALSE, 0);

  frame = gtk_frame_new (_("Area smoothing"));
  refocus_ctx.area_frame = frame;
  table = parameter_table (3);
  table_row (table, 0, _("Smoothness:"), scale_spin_row (refocus_ctx.smooth_adj, 1, 1));
  table_row (table, 1, _("Area size:"), scale_spin_row (refocus_ctx.winsize_adj, 0, 0));
  refocus_ctx.adaptive_check = gtk_check_button_new ();
  gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (refocus_ctx.adaptive_check),
                                refocus_vals.adaptive_smooth != 0);
  table_row (table, 2, _("Adaptive smoothing:"), refocus_ctx.adaptive_check);
  gtk_container_add (GTK_CONTAINER (frame), table);
  gtk_box_pack_start (GTK_BOX (column), frame, FALSE, FALSE, 0);

  refocus_ctx.progress_bar = gtk_progress_bar_new ();
  gtk_box_pack_start (GTK_BOX (column), refocus_ctx.progress_bar, FALSE, FALSE, 0);
  return column;
}

static GtkWidget *
build_motion_frame (void)
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
  g_signal_connect (area, "expose-event", G_CALLBACK (motion_expose), NULL);
  g_signal_connect (area, "button-press-event", G_CALLBACK (motion_press), NULL);
  refocus_ctx.motion_area = area;
  gtk_box_pack_start (GTK_BOX (box), area, TRUE, FALSE, 0);
  gtk_container_add (GTK_CONTAINER (frame), box);
  return frame;
}

static GtkWidget *
build_preview_frame (void)
{
  GtkWidget *frame = gtk_frame_new (_("Preview"));
  GtkWidget *vbox  = gtk_vbox_new (FALSE, 2);
  GtkWidget *table = gtk_table_new (2, 2, FALSE);
  GtkWidget *hbar, *vbar, *hbox, *label, *scale;

  gtk_container_set_border_width (GTK_CONTAINER (vbox), 5);

  refocus_ctx.preview = gtk_preview_new (GTK_PREVIEW_COLOR);
  gtk_preview_size (GTK_PREVIEW (refocus_ctx.preview),
                    refocus_ctx.preview_width, refocus_ctx.preview_height);
  gtk_table_attach (GTK_TABLE (table), refocus_ctx.preview, 0, 1, 0, 1,
                    0, 0, 0, 0);
  hbar = gtk_hscrollbar_new (GTK_ADJUSTMENT (refocus_ctx.hscroll_adj));
  gtk_range_set_update_policy (GTK_RANGE (hbar), GTK_UPDATE_CONTINUOUS);
  gtk_table_attach (GTK_TABLE (table), hbar, 0, 1, 1, 2, GTK_FILL, 0, 0, 0);
  vbar = gtk_vscrollbar_new (GTK_ADJUSTMENT (refocus_ctx.vscroll_adj));
  gtk_range_set_update_policy (GTK_RANGE (vbar), GTK_UPDATE_CONTINUOUS);
  gtk_table_attach (GTK_TABLE (table), vbar, 1, 2, 0, 1, 0, GTK_FILL, 0, 0);
  gtk_box_pack_start (GTK_BOX (vbox), table, FALSE, FALSE, 0);

  hbox  = gtk_hbox_new (FALSE, 2);
  label = gtk_label_new (_("Iterations:"));
  gtk_misc_set_alignment (GTK_MISC (label), 1.0, 1.0);
  gtk_box_pack_start (GTK_BOX (hbox), label, FALSE, FALSE, 0);
  scale = gtk_hscale_new (GTK_ADJUSTMENT (refocus_ctx.prev_iter_adj));
  gtk_scale_set_digits (GTK_SCALE (scale), 0);
  gtk_scale_set_draw_value (GTK_SCALE (scale), TRUE);
  gtk_box_pack_start (GTK_BOX (hbox), scale, TRUE, TRUE, 0);
  gtk_box_pack_start (GTK_BOX (vbox), hbox, TRUE, FALSE, 0);

  gtk_container_add (GTK_CONTAINER (frame), vbox);
  return frame;
}

static void
create_adjustments (void)
{
  RefocusContext *c = &refocus_ctx;

  c->radius_adj    = gtk_adjustment_new (refocus_vals.radius, 0, 32, 0.01, 0.1, 0);
  c->gauss_adj     = gtk_adjustment_new (refocus_vals.gauss, 0, 32, 0.01, 0.1, 0);
  c->motion_adj    = gtk_adjustment_new (refocus_vals.motion, 0, 32, 0.01, 0.1, 0);
  c->angle_adj     = gtk_adjustment_new (refocus_vals.mot_angle, 0, 360, 0.01, 0.1, 0);
  c->noise_adj     = gtk_adjustment_new (refocus_vals.lambda, 0, 10000, 0.1, 1, 0);
  c->smooth_adj    = gtk_adjustment_new (refocus_vals.lambda_min, 0, 100, 0.1, 1, 0);
  c->winsize_adj   = gtk_adjustment_new (refocus_vals.winsize, 1, 16, 1, 1, 0);
  c->iter_adj      = gtk_adjustment_new (refocus_vals.iterations, 1, 200, 1, 10, 0);
  c->prev_iter_adj = gtk_adjustment_new (refocus_vals.prev_iter, 1, 20, 1, 1, 0);
  c->hscroll_adj   = gtk_adjustment_new (0, 0, c->width - 1, 1,
                                         c->preview_width, c->preview_width);
  c->vscroll_adj   = gtk_adjustment_new (0, 0, c->height - 1, 1,
                                         c->preview_height, c->preview_height);

  g_signal_connect (c->angle_adj, "value_changed", G_CALLBACK (angle_changed), NULL);
  g_signal_connect (c->noise_adj, "value_changed", G_CALLBACK (noise_changed), NULL);
  g_signal_connect (c->hscroll_adj, "value_changed", G_CALLBACK (scroll_action), NULL);
  g_signal_connect (c->vscroll_adj, "value_changed", G_CALLBACK (scroll_action), NULL);
}

void
refocus_dialog_show (void)
{
  RefocusContext *c = &refocus_ctx;
  GtkWidget      *content, *right;
  gint            i;

  c->dialog = gimp_dialog_new (_("Iterative Refocus"), "ostrelhelp",
                               NULL, 0,
                               gimp_standard_help_func, "filters/ostrelhelp.html",
                               GTK_STOCK_OK,     GTK_RESPONSE_OK,
                               GIMP_STOCK_RESET, RESPONSE_RESET,
                               _("Preview"),     RESPONSE_PREVIEW,
                               GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
                               NULL);
  g_signal_connect (c->dialog, "response", G_CALLBACK (dialog_response), NULL);
  g_signal_connect (c->dialog, "destroy", G_CALLBACK (dialog_destroyed), NULL);

  c->preview_width  = preview_extent (c->width);
  c->preview_height = preview_extent (c->height);
  c->preview_x = c->preview_y = 0;
  c->preview_buf = g_malloc ((gsize) c->preview_width * c->preview_height * 3 + 1);
  c->cancelled = FALSE;
  c->done      = FALSE;
  c->needle_x  = MOTION_AREA_CENTER;
  c->needle_y  = MOTION_AREA_CENTER;

  create_adjustments ();

  for (i = 0; i < 2; i++)
    boundary_options[i].label = gettext (boundary_options[i].label);
  vals_to_dialog_adjustments ();

  content = gtk_hbox_new (FALSE, 5);
  gtk_box_pack_start (GTK_BOX (GTK_DIALOG (c->dialog)->vbox), content,
                      TRUE, FALSE, 5);
  gtk_box_pack_start (GTK_BOX (content), build_parameter_panel (), TRUE, FALSE, 5);

  right = gtk_vbox_new (FALSE, 2);
  gtk_box_pack_start (GTK_BOX (right), build_motion_frame (), TRUE, FALSE, 5);
  gtk_box_pack_start (GTK_BOX (right), build_preview_frame (), TRUE, FALSE, 5);
  gtk_box_pack_start (GTK_BOX (content), right, TRUE, FALSE, 5);

  gtk_widget_show_all (c->dialog);
  update_preview ();
  vals_to_dialog_widgets ();
  motion_full_redraw ();
}
