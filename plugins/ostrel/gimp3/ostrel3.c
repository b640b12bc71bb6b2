/* Iterative refocus for GIMP 3: the refocus filter as a GimpImageProcedure
 * around the same core as the GIMP 2 plug-in.
 *
 * "ostrel" under "<Image>/Photo/A" ("_Refocus..."), with the eleven values
 * of the GIMP 2 procedure as arguments, the plug-in's message catalogue,
 * and the dialog with the motion-direction dial, the 128 x 128 scrolling
 * preview with its Preview button and the progress bar. */
#include <libintl.h>
#include <string.h>

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "frame3.h"
#include "param_gimp3.h"
#include "refocus_core.h"
#include "refocus_geometry.h"
#include "refocus_options.h"
#include "refocus_vals.h"

#define PROC_NAME       "ostrel"
#define PLUG_IN_VERSION "2.0.0"
#define GETTEXT_DOMAIN  "ostrel"
#define _(text)  dgettext (GETTEXT_DOMAIN, text)
#define N_(text) (text)

/* Below this noise weight the area weights have no effect. */
#define AREA_LAMBDA_THRESHOLD 0.000001

/* One call: the drawable, its channel matrices and, while the dialog is
 * up, its widgets. */
typedef struct
{
  Frame3Target         t;
  Matrix               channel[3];
  gint                 n_channels;
  GimpProcedureConfig *config;
  volatile int         cancelled;
  GtkWidget           *dialog, *progress, *motion_area, *preview;
  GtkAdjustment       *hscroll, *vscroll;
  gint                 preview_w, preview_h, preview_x, preview_y;
} Refocus;

/* ---- values ------------------------------------------------------------- */

static void
vals_from_config (GimpProcedureConfig *config, RefocusVals *vals)
{
  RefocusOptions o;

  param_table_defaults (&refocus_option_table, &o);
  param_gimp3_from_config (&refocus_option_table, config, &o);
  refocus_vals_set_defaults (vals);
  vals->radius          = o.params.radius;
  vals->gauss           = o.params.gauss;
  vals->motion          = o.params.motion;
  vals->mot_angle       = o.params.mot_angle;
  vals->lambda          = o.params.lambda;
  vals->lambda_min      = o.params.lambda_min;
  vals->winsize         = (uint32_t) o.params.winsize;
  vals->iterations      = (uint32_t) o.iterations;
  vals->boundary        = o.params.boundary;
  vals->adaptive_smooth = o.params.adaptive_smooth;
  vals->prev_iter       = (uint32_t) o.prev_iter;
}

/* ---- pixels ------------------------------------------------------------- */

static void
read_selection (void *user)
{
  Refocus *r = user;
  guint8  *buf = frame3_read (&r->t, r->t.x, r->t.y, r->t.width, r->t.height);
  gsize    i, n = (gsize) r->t.width * r->t.height;
  gint     k;

  if (!buf)
    return;
  for (i = 0; i < n; i++)
    for (k = 0; k < r->n_channels; k++)
      r->channel[k].data[i] = (float) buf[i * r->t.bpp + k];
  g_free (buf);
}

/* The matrices into the selection's bounds; bytes without a matrix
 * (alpha) keep the drawable's values. */
static gboolean
write_selection (Refocus *r)
{
  guint8 *buf = frame3_read (&r->t, r->t.x, r->t.y, r->t.width, r->t.height);
  gsize   i, n = (gsize) r->t.width * r->t.height;
  gint    k;

  if (!buf)
    return FALSE;
  for (i = 0; i < n; i++)
    for (k = 0; k < r->n_channels; k++)
      buf[i * r->t.bpp + k] = refocus_value_to_byte (r->channel[k].data[i]);
  frame3_write (&r->t, buf);
  g_free (buf);
  return TRUE;
}

/* ---- the computation ---------------------------------------------------- */

static void
pump_events (void *user)
{
  Refocus *r = user;

  if (r->dialog)
    while (gtk_events_pending ())
      gtk_main_iteration_do (TRUE);
}

static void
report_progress (void *user, float fraction)
{
  Refocus *r = user;

  if (r->progress)
    gtk_progress_bar_set_fraction (GTK_PROGRESS_BAR (r->progress), fraction);
  else
    gimp_progress_update (fraction);
  pump_events (user);
}

/* The progress back at 0: the dialog's bar, or GIMP's progress, which a
 * start (re)opens with its text. */
static void
progress_zero (Refocus *r, gboolean start)
{
  if (r->progress)
    gtk_progress_bar_set_fraction (GTK_PROGRESS_BAR (r->progress), 0.0);
  else if (start)
    gimp_progress_init (_("Refocusing..."));
  else
    gimp_progress_update (0.0);
}

static void
progress_start (void *user)
{
  progress_zero (user, TRUE);
}

static void
progress_reset (void *user)
{
  progress_zero (user, FALSE);
}

static void
update_preview (void *user)
{
  Refocus *r = user;

  if (r->preview)
    gtk_widget_queue_draw (r->preview);
}

static gboolean
refocus_run (Refocus *r, const RefocusVals *vals, gint iterations)
{
  RefocusParams params;
  RefocusHost   host = { 0 };
  gint          k;

  refocus_vals_to_params (vals, &params);
  host.user = r;
  for (k = 0; k < r->n_channels; k++)
    host.channels[k] = &r->channel[k];
  host.n_channels      = r->n_channels;
  host.read_selection  = read_selection;
  host.report_progress = report_progress;
  host.pump_events     = pump_events;
  host.update_preview  = update_preview;
  host.progress_start  = progress_start;
  host.progress_reset  = progress_reset;
  host.cancel          = &r->cancelled;
  return refocus_compute (&params, &host, iterations) != REFOCUS_REFUSED;
}

/* ---- the motion-direction dial ------------------------------------------ */

static gboolean
dial_draw (GtkWidget *area, cairo_t *cr, Refocus *r)
{
  gdouble angle = 0;
  gint    x, y;

  (void) area;
  g_object_get (r->config, "mot-angle", &angle, NULL);
  motion_needle_end (angle, &x, &y);
  cairo_set_source_rgb (cr, 0, 0, 0);
  cairo_arc (cr, MOTION_AREA_CENTER, MOTION_AREA_CENTER, MOTION_AREA_SIZE / 2.0, 0, 2 * G_PI);
  cairo_fill (cr);
  cairo_set_source_rgb (cr, 1, 1, 1);
  cairo_set_line_width (cr, 1.0);
  cairo_move_to (cr, MOTION_AREA_CENTER + 0.5, MOTION_AREA_CENTER + 0.5);
  cairo_line_to (cr, x + 0.5, y + 0.5);
  cairo_stroke (cr);
  return TRUE;
}

static gboolean
dial_pointer (GtkWidget *area, GdkEvent *event, Refocus *r)
{
  gdouble x, y;

  (void) area;
  if (event->type == GDK_MOTION_NOTIFY && !(event->motion.state & GDK_BUTTON1_MASK))
    return FALSE;
  if (event->type == GDK_BUTTON_PRESS && event->button.button != 1)
    return FALSE;
  gdk_event_get_coords (event, &x, &y);
  g_object_set (r->config, "mot-angle",
                (gdouble) motion_angle_from_pointer ((float) x, (float) y), NULL);
  return TRUE;
}

static GtkWidget *
dial_new (Refocus *r)
{
  GtkWidget *area = gtk_drawing_area_new ();

  gtk_widget_set_size_request (area, MOTION_AREA_SIZE, MOTION_AREA_SIZE);
  gtk_widget_set_halign (area, GTK_ALIGN_CENTER);
  gtk_widget_set_valign (area, GTK_ALIGN_CENTER);
  gtk_widget_add_events (area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON1_MOTION_MASK);
  g_signal_connect (area, "draw", G_CALLBACK (dial_draw), r);
  g_signal_connect (area, "button-press-event", G_CALLBACK (dial_pointer), r);
  g_signal_connect (area, "motion-notify-event", G_CALLBACK (dial_pointer), r);
  g_signal_connect_swapped (r->config, "notify::mot-angle", G_CALLBACK (gtk_widget_queue_draw),
                            area);
  return area;
}

/* ---- the scrolling preview ---------------------------------------------- */

static gboolean
preview_draw (GtkWidget *area, cairo_t *cr, Refocus *r)
{
  gint            w = r->preview_w, h = r->preview_h, row, col, k;
  cairo_surface_t *surface;
  guint32        *pixels;
  gint            stride;

  (void) area;
  surface = cairo_image_surface_create (CAIRO_FORMAT_RGB24, w, h);
  pixels  = (guint32 *) cairo_image_surface_get_data (surface);
  stride  = cairo_image_surface_get_stride (surface) / 4;
  for (row = 0; row < h; row++)
    for (col = 0; col < w; col++)
      {
        gsize  i = (gsize) (row + r->preview_y) * r->t.width + col + r->preview_x;
        guint8 c[3];

        for (k = 0; k < 3; k++)
          c[k] = refocus_value_to_byte (r->channel[r->n_channels == 3 ? k : 0].data[i]);
        pixels[row * stride + col] = ((guint32) c[0] << 16) | ((guint32) c[1] << 8) | c[2];
      }
  cairo_surface_mark_dirty (surface);
  cairo_set_source_surface (cr, surface, 0, 0);
  cairo_paint (cr);
  cairo_surface_destroy (surface);
  return TRUE;
}

static void
preview_scrolled (GtkAdjustment *adj, Refocus *r)
{
  (void) adj;
  r->preview_x = preview_offset_from_value (gtk_adjustment_get_value (r->hscroll), r->t.width);
  r->preview_y = preview_offset_from_value (gtk_adjustment_get_value (r->vscroll), r->t.height);
  update_preview (r);
}

static void
preview_clicked (GtkButton *button, Refocus *r)
{
  RefocusVals vals;

  (void) button;
  vals_from_config (r->config, &vals);
  if (refocus_vals_check (&vals, r->t.width, r->t.height) != REFOCUS_VALS_OK)
    return;
  gtk_widget_set_sensitive (r->dialog, FALSE);
  r->cancelled = FALSE;
  refocus_run (r, &vals, (gint) vals.prev_iter);
  if (r->dialog)
    gtk_widget_set_sensitive (r->dialog, TRUE);
}

/* Cancel or closing the window stops a Preview computation at its next
 * step (the dialog is insensitive meanwhile, but its frame is not). */
static void
dialog_response (GtkDialog *dialog, gint response, Refocus *r)
{
  (void) dialog;
  if (response == GTK_RESPONSE_CANCEL || response == GTK_RESPONSE_DELETE_EVENT)
    r->cancelled = TRUE;
}

static GtkWidget *
preview_new (Refocus *r, GtkWidget *prev_iter)
{
  GtkWidget *grid = gtk_grid_new ();
  GtkWidget *area = gtk_drawing_area_new ();
  GtkWidget *button = gtk_button_new_with_mnemonic (_("Preview"));
  GtkWidget *hbar, *vbar, *box;

  r->preview_w = preview_extent (r->t.width);
  r->preview_h = preview_extent (r->t.height);
  r->hscroll = gtk_adjustment_new (0, 0, MAX (r->t.width - 1, 0), 1, 10, r->preview_w);
  r->vscroll = gtk_adjustment_new (0, 0, MAX (r->t.height - 1, 0), 1, 10, r->preview_h);
  hbar = gtk_scrollbar_new (GTK_ORIENTATION_HORIZONTAL, r->hscroll);
  vbar = gtk_scrollbar_new (GTK_ORIENTATION_VERTICAL, r->vscroll);
  gtk_widget_set_size_request (area, r->preview_w, r->preview_h);
  g_signal_connect (area, "draw", G_CALLBACK (preview_draw), r);
  g_signal_connect (r->hscroll, "value-changed", G_CALLBACK (preview_scrolled), r);
  g_signal_connect (r->vscroll, "value-changed", G_CALLBACK (preview_scrolled), r);
  g_signal_connect (button, "clicked", G_CALLBACK (preview_clicked), r);
  gtk_grid_attach (GTK_GRID (grid), area, 0, 0, 1, 1);
  gtk_grid_attach (GTK_GRID (grid), vbar, 1, 0, 1, 1);
  gtk_grid_attach (GTK_GRID (grid), hbar, 0, 1, 1, 1);
  gtk_widget_set_halign (grid, GTK_ALIGN_CENTER);
  box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 4);
  gtk_box_pack_start (GTK_BOX (box), grid, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (box), prev_iter, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (box), button, FALSE, FALSE, 0);
  r->preview = area;
  return box;
}

/* ---- the dialog --------------------------------------------------------- */

static GtkWidget *
framed (const gchar *title, GtkWidget *child)
{
  GtkWidget *frame = gimp_frame_new (title);

  gtk_container_add (GTK_CONTAINER (frame), child);
  return frame;
}

static void
area_sensitivity (GimpProcedureConfig *config, GParamSpec *pspec, GtkWidget *area_frame)
{
  gdouble lambda = 0;

  (void) pspec;
  g_object_get (config, "lambda", &lambda, NULL);
  gtk_widget_set_sensitive (area_frame, lambda >= AREA_LAMBDA_THRESHOLD);
}

typedef struct
{
  const gchar *name;
  gdouble      lower, upper;
  gint         digits;
} ScaleRow;

static const ScaleRow scale_rows[] = {
  { "radius", 0, 32, 2 },      { "gauss", 0, 32, 2 },          { "motion", 0, 32, 2 },
  { "mot-angle", 0, 360, 2 },  { "lambda", 0, 10000, 1 },      { "iterations", 1, 200, 0 },
  { "lambda-min", 0, 100, 1 }, { "winsize", 1, REFOCUS_DIALOG_WINSIZE, 0 },
  { "prev-iter", 1, 20, 0 },
};

static gboolean
refocus_dialog (GimpProcedure *procedure, Refocus *r)
{
  GimpProcedureDialog *dialog;
  GtkWidget           *content, *area_frame, *lower, *widget;
  gchar               *prog = g_strdup_printf (_("Iterative Refocus - %s"), PLUG_IN_VERSION);
  gboolean             ok;
  gsize                k;

  gimp_ui_init (prog);
  g_free (prog);
  r->dialog = gimp_procedure_dialog_new (procedure, r->config, _("Iterative Refocus"));
  dialog    = GIMP_PROCEDURE_DIALOG (r->dialog);
  for (k = 0; k < G_N_ELEMENTS (scale_rows); k++)
    {
      widget = gimp_procedure_dialog_get_scale_entry (dialog, scale_rows[k].name, 1.0);
      frame3_scale_range (widget, scale_rows[k].lower, scale_rows[k].upper,
                          scale_rows[k].digits);
    }
  gimp_procedure_dialog_get_int_combo (dialog, "boundary",
                                       GIMP_INT_STORE (gimp_int_store_new (_("mirror boundary"), 0,
                                                                           _("periodical boundary"), 1,
                                                                           NULL)));
  gimp_procedure_dialog_fill_box (dialog, "degradation-box", "radius", "gauss", "motion",
                                  "mot-angle", "lambda", "iterations", "boundary", NULL);
  gimp_procedure_dialog_fill_box (dialog, "area-box", "lambda-min", "winsize",
                                  "adaptive-smooth", NULL);
  gimp_procedure_dialog_get_label (dialog, "degradation-title", _("Degradation"), FALSE, FALSE);
  gimp_procedure_dialog_get_label (dialog, "area-title", _("Area smoothing"), FALSE, FALSE);
  gimp_procedure_dialog_fill_frame (dialog, "degradation-frame", "degradation-title", FALSE,
                                    "degradation-box");
  area_frame = gimp_procedure_dialog_fill_frame (dialog, "area-frame", "area-title", FALSE,
                                                 "area-box");
  gimp_procedure_dialog_fill (dialog, "degradation-frame", "area-frame", NULL);
  g_signal_connect (r->config, "notify::lambda", G_CALLBACK (area_sensitivity), area_frame);
  area_sensitivity (r->config, NULL, area_frame);

  lower = gtk_box_new (GTK_ORIENTATION_HORIZONTAL, 12);
  r->motion_area = dial_new (r);
  gtk_box_pack_start (GTK_BOX (lower), framed (_("Motion direction"), r->motion_area),
                      FALSE, FALSE, 0);
  widget = gimp_procedure_dialog_get_widget (dialog, "prev-iter", G_TYPE_NONE);
  gtk_box_pack_start (GTK_BOX (lower), framed (_("Preview"), preview_new (r, widget)),
                      TRUE, TRUE, 0);
  r->progress = gtk_progress_bar_new ();
  content = gtk_dialog_get_content_area (GTK_DIALOG (r->dialog));
  gtk_box_pack_start (GTK_BOX (content), lower, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (content), r->progress, FALSE, FALSE, 0);
  gtk_widget_show_all (lower);
  gtk_widget_show (r->progress);

  g_signal_connect (r->dialog, "response", G_CALLBACK (dialog_response), r);
  ok = gimp_procedure_dialog_run (dialog);
  /* A computation stopped by closing the window ends here; the widgets
   * go with the dialog. */
  r->cancelled = !ok;
  g_signal_handlers_disconnect_by_data (r->config, area_frame);
  g_signal_handlers_disconnect_by_data (r->config, r->motion_area);
  gtk_widget_destroy (r->dialog);
  r->dialog = r->progress = r->motion_area = r->preview = NULL;
  return ok;
}

/* ---- run ---------------------------------------------------------------- */

static GimpValueArray *
ostrel_run (GimpProcedure *procedure, GimpRunMode run_mode, GimpProcedureConfig *config,
            const Frame3Target *t)
{
  Refocus            r;
  RefocusVals        vals;
  RefocusValsCheck   check;
  GimpValueArray    *refused = NULL;
  GimpPDBStatusType  status = GIMP_PDB_SUCCESS;
  gint               k;

  if (t->width <= 0)
    return gimp_procedure_new_return_values (procedure, GIMP_PDB_SUCCESS, NULL);
  memset (&r, 0, sizeof r);
  r.t          = *t;
  r.config     = config;
  r.n_channels = r.t.bpp > 2 ? 3 : 1;
  for (k = 0; k < r.n_channels; k++)
    matrix_create (&r.channel[k], r.t.width, r.t.height);
  read_selection (&r);

  if (run_mode == GIMP_RUN_INTERACTIVE)
    {
      /* Stored values that fail the checks would fill the dialog with
       * unusable values: start from the defaults then. */
      vals_from_config (config, &vals);
      if (refocus_vals_check (&vals, r.t.width, r.t.height) != REFOCUS_VALS_OK)
        param_gimp3_reset (&refocus_option_table, config);
      if (!refocus_dialog (procedure, &r))
        status = GIMP_PDB_CANCEL;
    }
  if (status == GIMP_PDB_SUCCESS)
    {
      vals_from_config (config, &vals);
      check = refocus_vals_check (&vals, r.t.width, r.t.height);
      if (check != REFOCUS_VALS_OK)
        refused = frame3_error (procedure, GIMP_PDB_CALLING_ERROR, "%s: %s", PROC_NAME,
                                refocus_vals_check_message (check));
      else if (!refocus_run (&r, &vals, (gint) vals.iterations))
        refused = frame3_error (procedure, GIMP_PDB_CALLING_ERROR, "%s: %s", PROC_NAME,
                                "these values cannot be computed");
      else if (!write_selection (&r))
        refused = frame3_error (procedure, GIMP_PDB_EXECUTION_ERROR,
                                "Not enough memory to write %d x %d pixels.",
                                r.t.width, r.t.height);
      else if (run_mode != GIMP_RUN_NONINTERACTIVE)
        gimp_displays_flush ();
    }
  for (k = 0; k < r.n_channels; k++)
    matrix_destroy (&r.channel[k]);
  if (refused)
    return refused;
  return gimp_procedure_new_return_values (procedure, status, NULL);
}

static void
ostrel_describe (GimpProcedure *procedure)
{
  const gchar *labels[] = {
    _("Radius:"), _("Gauss:"), _("Motion size:"), _("Motion angle:"), _("Noise:"),
    _("Boundary:"), _("Smoothness:"), _("Adaptive smoothing:"), _("Area size:"),
    _("Iterations:"), _("Iterations:"),
  };
  gchar *help;

  help = g_strconcat (_("This plug-in iteratively refocuses a defocused image."),
                      " Images of more than 8 bits per channel are filtered at 8 bits per channel.",
                      NULL);
  gimp_procedure_set_documentation (procedure, _("Iterative refocus."), help, PROC_NAME);
  g_free (help);
  gimp_procedure_set_attribution (procedure, "Corvella developers <corvella@example.org>",
                                  "Corvella developers", PLUG_IN_VERSION);
  param_gimp3_add_arguments (procedure, &refocus_option_table, labels);
}

/* The catalogue lies in locale/ beside the program, as GIMP 3 installs
 * plug-ins one folder each. */
static gboolean
ostrel_set_i18n (GimpPlugIn *plug_in, const gchar *procedure_name, gchar **gettext_domain,
                 gchar **catalog_dir)
{
  (void) plug_in;
  (void) procedure_name;
  *gettext_domain = g_strdup (GETTEXT_DOMAIN);
  *catalog_dir    = g_strdup ("locale");
  return TRUE;
}

/* The menu label is untranslated, as the GIMP 2 menu path. */
static const Frame3PlugIn ostrel = {
  PROC_NAME, "RGB*, GRAY*", FRAME3_RGB_OR_GRAY, "_Refocus...", "<Image>/Photo/A",
  ostrel_describe, ostrel_run, ostrel_set_i18n,
};

GIMP_MAIN (frame3_plug_in_type (&ostrel))
