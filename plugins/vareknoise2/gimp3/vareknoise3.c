/* Varek Noise 2 for GIMP 3: the camera-noise filter as a
 * GimpImageProcedure around the same core as the GIMP 2 plug-in.
 *
 * "plug-in-vareknoise2-0-64" under "<Image>/Photo/B/Noise", with the ten
 * values of the GIMP 2 procedure as arguments and the dialog's live
 * preview; the preview's on/off state is an auxiliary value of the
 * procedure config, as it was part of the GIMP 2 stored block. */
#include <string.h>

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "frame3.h"
#include "noise_filter.h"
#include "noise_options.h"
#include "param_gimp3.h"

#define PROC_NAME      "plug-in-vareknoise2-0-64"
#define PLUG_IN_BINARY "vareknoise2"

/* ---- the region filter over two buffers of one rectangle ---------------- */

typedef struct
{
  const guint8 *src;
  guint8       *dst;
  gint          x0, y0, width, bpp;
} MemoryPair;

static guint8 *
pixel_at (const MemoryPair *m, guint8 *base, gint x, gint y)
{
  return base + ((gsize) (y - m->y0) * m->width + (x - m->x0)) * m->bpp;
}

static void
mem_get_row (void *ctx, int from_dst, unsigned char *buf, int x, int y, int w)
{
  MemoryPair *m = ctx;
  memcpy (buf, pixel_at (m, from_dst ? m->dst : (guint8 *) m->src, x, y), (gsize) w * m->bpp);
}

static void
mem_set_row (void *ctx, const unsigned char *buf, int x, int y, int w)
{
  MemoryPair *m = ctx;
  memcpy (pixel_at (m, m->dst, x, y), buf, (gsize) w * m->bpp);
}

static void
mem_get_col (void *ctx, int from_dst, unsigned char *buf, int x, int y, int h)
{
  MemoryPair *m = ctx;
  const gsize stride = (gsize) m->width * m->bpp;
  guint8     *p = pixel_at (m, from_dst ? m->dst : (guint8 *) m->src, x, y);
  gint        r;

  for (r = 0; r < h; r++, p += stride, buf += m->bpp)
    memcpy (buf, p, m->bpp);
}

static void
mem_set_col (void *ctx, const unsigned char *buf, int x, int y, int h)
{
  MemoryPair *m = ctx;
  const gsize stride = (gsize) m->width * m->bpp;
  guint8     *p = pixel_at (m, m->dst, x, y);
  gint        r;

  for (r = 0; r < h; r++, p += stride, buf += m->bpp)
    memcpy (p, buf, m->bpp);
}

static void
progress_init (void *ctx, const char *message)
{
  (void) ctx;
  gimp_progress_init (message);
}

static void
progress_update (void *ctx, double fraction)
{
  (void) ctx;
  gimp_progress_update (fraction);
}

/* Filters the rectangle x, y, w, h of the drawable; the filtered pixels,
 * or NULL when the values are refused or memory is short. */
static guint8 *
filter_rect (const Frame3Target *t, const NoiseParams *p, gint x, gint y, gint w, gint h,
             gboolean show_progress)
{
  MemoryPair   m = { NULL, NULL, x, y, w, t->bpp };
  NoiseRegionIo io = { &m, mem_get_row, mem_set_row, mem_get_col, mem_set_col,
                       show_progress ? progress_init : NULL,
                       show_progress ? progress_update : NULL };
  guint8       *src = frame3_read (t, x, y, w, h);
  guint8       *dst = g_try_malloc ((gsize) w * h * t->bpp);

  m.src = src;
  m.dst = dst;
  if (!src || !dst
      || noise_filter_run (p, p->radius, p->lsmooth, t->bpp, x, x + w, y, y + h, &io) != 0)
    {
      g_free (dst);
      dst = NULL;
    }
  g_free (src);
  return dst;
}

/* ---- dialog ------------------------------------------------------------- */

/* The rectangle the preview filters for its visible area px, py, pw, ph:
 * grown by the filter's reach (at least 2 radius, rounded) on every side
 * and clipped to the drawable, as the GIMP 2 preview does, so the
 * preview's edges are filtered as the full run filters them. */
static void
preview_rect (const NoiseParams *p, gint px, gint py, gint pw, gint ph, gint width, gint height,
              gint *x1, gint *y1, gint *x2, gint *y2)
{
  NoiseDerived d;
  gint         margin = (gint) (2.0 * p->radius + 0.5);

  noise_derive (p, p->radius, &d);
  margin = MAX (margin, d.border);
  *x1 = MAX (px - margin, 0);
  *y1 = MAX (py - margin, 0);
  *x2 = MIN (px + pw + margin, width);
  *y2 = MIN (py + ph + margin, height);
}

typedef struct
{
  const Frame3Target  *target;
  GimpProcedureConfig *config;
} PreviewData;

static void
preview_update (GimpPreview *preview, PreviewData *data)
{
  const Frame3Target *t = data->target;
  NoiseParams         p = noise_params_defaults;
  gint                px, py, pw, ph, x1, y1, x2, y2, row;
  guint8             *filtered, *shown;

  param_gimp3_from_config (&noise_option_table, data->config, &p);
  if (noise_params_check (&p, NULL) != 0)
    return;
  gimp_preview_get_position (preview, &px, &py);
  gimp_preview_get_size (preview, &pw, &ph);
  preview_rect (&p, px, py, pw, ph, gimp_drawable_get_width (t->drawable),
                      gimp_drawable_get_height (t->drawable), &x1, &y1, &x2, &y2);
  filtered = filter_rect (t, &p, x1, y1, x2 - x1, y2 - y1, FALSE);
  if (!filtered)
    return;
  shown = g_malloc ((gsize) pw * ph * t->bpp);
  for (row = 0; row < ph; row++)
    memcpy (shown + (gsize) row * pw * t->bpp,
            filtered + ((gsize) (py - y1 + row) * (x2 - x1) + (px - x1)) * t->bpp,
            (gsize) pw * t->bpp);
  gimp_preview_draw_buffer (preview, shown, pw * t->bpp);
  g_free (shown);
  g_free (filtered);
}

typedef struct
{
  const gchar *name;
  gdouble      lower, upper;
  gint         digits;
  gboolean     logarithmic;
} ScaleRow;

/* Top to bottom, with the GIMP 2 dialog's ranges and precision. */
static const ScaleRow scale_rows[] = {
  { "radius",    0.5,  50, 1, FALSE },
  { "effect",    0,    1,  2, TRUE  },
  { "texture",   -1,   1,  2, FALSE },
  { "sharp",     0,    1,  2, FALSE },
  { "phase",     0,    10, 0, FALSE },
  { "lookahead", 0.5,  20, 2, FALSE },
  { "damping",   0,    20, 1, FALSE },
  { "gamma",     0.02, 5,  2, FALSE },
  { "lsmooth",   0,    1,  2, TRUE  },
  { "csmooth",   0,    1,  2, TRUE  },
};

static gboolean
noise_dialog (GimpProcedure *procedure, GimpProcedureConfig *config, const Frame3Target *t)
{
  PreviewData data = { t, config };
  GtkWidget  *dialog, *preview;
  gboolean    ok;
  gsize       k;

  gimp_ui_init (PLUG_IN_BINARY);
  dialog = gimp_procedure_dialog_new (procedure, config, "Varek Noise 2 V 0.64");
  preview = gimp_drawable_preview_new_from_drawable (t->drawable);
  g_object_bind_property (config, "preview", preview, "update",
                          G_BINDING_BIDIRECTIONAL | G_BINDING_SYNC_CREATE);
  for (k = 0; k < G_N_ELEMENTS (scale_rows); k++)
    {
      const ScaleRow *r = &scale_rows[k];
      GtkWidget *row = gimp_procedure_dialog_get_scale_entry (GIMP_PROCEDURE_DIALOG (dialog),
                                                              r->name, 1.0);
      frame3_scale_range (row, r->lower, r->upper, r->digits);
      if (r->logarithmic)
        gimp_scale_entry_set_logarithmic (GIMP_SCALE_ENTRY (row), TRUE);
    }
  gimp_procedure_dialog_fill (GIMP_PROCEDURE_DIALOG (dialog),
                              "radius", "effect", "texture", "sharp", "phase", "lookahead",
                              "damping", "gamma", "lsmooth", "csmooth", NULL);
  {
    GtkWidget *box = gtk_dialog_get_content_area (GTK_DIALOG (dialog));
    gtk_box_pack_start (GTK_BOX (box), preview, TRUE, TRUE, 0);
    gtk_box_reorder_child (GTK_BOX (box), preview, 0);
    gtk_widget_show (preview);
  }
  g_signal_connect (preview, "invalidated", G_CALLBACK (preview_update), &data);
  g_signal_connect_swapped (config, "notify", G_CALLBACK (gimp_preview_invalidate), preview);

  ok = gimp_procedure_dialog_run (GIMP_PROCEDURE_DIALOG (dialog));
  g_signal_handlers_disconnect_by_data (config, preview);
  gtk_widget_destroy (dialog);
  return ok;
}

/* ---- run ---------------------------------------------------------------- */

static GimpValueArray *
vareknoise_run (GimpProcedure *procedure, GimpRunMode run_mode, GimpProcedureConfig *config,
                const Frame3Target *t)
{
  NoiseParams  p = noise_params_defaults;
  const char  *why = NULL;
  guint8      *filtered;

  if (run_mode == GIMP_RUN_INTERACTIVE && !noise_dialog (procedure, config, t))
    return gimp_procedure_new_return_values (procedure, GIMP_PDB_CANCEL, NULL);

  param_gimp3_from_config (&noise_option_table, config, &p);
  if (noise_params_check (&p, &why) != 0)
    return frame3_error (procedure, GIMP_PDB_CALLING_ERROR, "%s: %s", PROC_NAME, why);
  if (t->width > 0)
    {
      filtered = filter_rect (t, &p, t->x, t->y, t->width, t->height, TRUE);
      if (!filtered)
        return frame3_error (procedure, GIMP_PDB_EXECUTION_ERROR,
                             "Not enough memory to filter %d x %d pixels.", t->width, t->height);
      frame3_write (t, filtered);
      g_free (filtered);
    }
  gimp_displays_flush ();
  return gimp_procedure_new_return_values (procedure, GIMP_PDB_SUCCESS, NULL);
}

static void
vareknoise_describe (GimpProcedure *procedure)
{
  static const gchar *const labels[] = {
    "_Filter max. Radius:", "_Luminance tolerance:", "_Color tolerance:", "_Filter Threshold:",
    "_Lookahead:", "_Gamma:", "_Phase Jitter damping:", "_Edge Erosion:", "_Texture Detail:",
    "_Sharpness:",
  };

  gimp_procedure_set_documentation (procedure, "A Digital Camera Noise filter",
                                    "It is commonly used on photographic images, and is provides "
                                    "a much more pleasing result than the standard denoising "
                                    "filters. Images of more than 8 bits per channel are "
                                    "filtered at 8 bits per channel.",
                                    PROC_NAME);
  gimp_procedure_set_attribution (procedure, "This is an experimental version. ", "", "");
  param_gimp3_add_arguments (procedure, &noise_option_table, labels);
  gimp_procedure_add_boolean_aux_argument (procedure, "preview", "_Preview", NULL, TRUE,
                                           G_PARAM_READWRITE);
}

/* No message catalogue, none in GIMP 2 either. */
static const Frame3PlugIn vareknoise = {
  PROC_NAME, "GRAY*, RGB*", FRAME3_RGB_OR_GRAY, "_Varek Noise 2 0.64 ...",
  "<Image>/Photo/B/Noise", vareknoise_describe, vareknoise_run, NULL,
};

GIMP_MAIN (frame3_plug_in_type (&vareknoise))
