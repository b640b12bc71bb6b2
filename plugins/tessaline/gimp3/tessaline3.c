/* tessaline for GIMP 3: the film-grain remover as a GimpImageProcedure
 * around the same core as the GIMP 2 plug-in.
 *
 * "plug-in-tessaline" under "<Image>/Photo/B/Noise", "Film Grain Remover",
 * RGB layers without alpha only, as in GIMP 2.  The three levels are the
 * procedure's arguments; GIMP keeps the last ones in the procedure config. */
#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "frame3.h"
#include "grain_core.h"
#include "grain_options.h"
#include "param_gimp3.h"

#define PROC_NAME   "plug-in-tessaline"
#define PLUG_IN_BINARY "tessaline"
/* Rows filtered between two progress updates. */
#define STRIP_ROWS 64

static gboolean
tessaline_dialog (GimpProcedure *procedure, GimpProcedureConfig *config)
{
  static const gchar *const levels[] = { "red", "green", "blue" };
  GtkWidget *dialog;
  gboolean   ok;
  gsize      k;

  gimp_ui_init (PLUG_IN_BINARY);
  dialog = gimp_procedure_dialog_new (procedure, config, "Tessaline");
  for (k = 0; k < G_N_ELEMENTS (levels); k++)
    {
      GtkWidget *row = gimp_procedure_dialog_get_scale_entry (GIMP_PROCEDURE_DIALOG (dialog),
                                                              levels[k], 1.0);
      /* The slider spans the levels that matter; the spin button takes
       * every value a script may have stored. */
      frame3_scale_range (row, 0, 99, 0);
    }
  gimp_procedure_dialog_fill (GIMP_PROCEDURE_DIALOG (dialog), "red", "green", "blue", NULL);
  ok = gimp_procedure_dialog_run (GIMP_PROCEDURE_DIALOG (dialog));
  gtk_widget_destroy (dialog);
  return ok;
}

/* Filters the selection's bounds in strips, each read with the window's
 * reach around it (edge pixels repeated beyond the layer). */
static gboolean
tessaline_filter (const Frame3Target *t, const GrainParams *params)
{
  const int32_t levels[3] = { params->red, params->green, params->blue };
  const gint    R = GRAIN_RADIUS;
  const gsize   src_stride = (gsize) (t->width + 2 * R) * t->bpp;
  const gsize   dst_stride = (gsize) t->width * t->bpp;
  guint8       *src, *dst;
  int32_t      *scratch;
  gint          y;

  src     = frame3_read (t, t->x - R, t->y - R, t->width + 2 * R, t->height + 2 * R);
  dst     = g_try_malloc (dst_stride * t->height);
  scratch = g_try_new (int32_t, grain_scratch_count (t->width, t->bpp));
  if (!src || !dst || !scratch)
    {
      g_free (src);
      g_free (dst);
      g_free (scratch);
      return FALSE;
    }
  gimp_progress_init ("Film Grain Remover...");
  for (y = 0; y < t->height; y += STRIP_ROWS)
    {
      gint h = MIN (STRIP_ROWS, t->height - y);

      grain_filter_block (src + (gsize) y * src_stride, src_stride, dst + (gsize) y * dst_stride,
                          dst_stride, t->width, h, t->bpp, levels, scratch);
      gimp_progress_update ((gdouble) (y + h) / t->height);
    }
  frame3_write (t, dst);
  g_free (src);
  g_free (dst);
  g_free (scratch);
  return TRUE;
}

static GimpValueArray *
tessaline_run (GimpProcedure *procedure, GimpRunMode run_mode, GimpProcedureConfig *config,
               const Frame3Target *t)
{
  GrainParams params;

  if (run_mode == GIMP_RUN_INTERACTIVE && !tessaline_dialog (procedure, config))
    return gimp_procedure_new_return_values (procedure, GIMP_PDB_CANCEL, NULL);

  param_gimp3_from_config (&grain_option_table, config, &params);
  if (t->width > 0 && !tessaline_filter (t, &params))
    return frame3_error (procedure, GIMP_PDB_EXECUTION_ERROR,
                         "Not enough memory to filter %d x %d pixels.", t->width, t->height);
  if (run_mode != GIMP_RUN_NONINTERACTIVE)
    gimp_displays_flush ();
  return gimp_procedure_new_return_values (procedure, GIMP_PDB_SUCCESS, NULL);
}

static void
tessaline_describe (GimpProcedure *procedure)
{
  static const gchar *const labels[] = { "Red", "Green", "Blue" };
  static const char authors[] = "Corvella developers";

  gimp_procedure_set_documentation (procedure, "Film Grain reduction for Gimp 1.3 / 2.0",
                                    "Reduces film grain or video noise. Images of more than "
                                    "8 bits per channel are filtered at 8 bits per channel.",
                                    PROC_NAME);
  gimp_procedure_set_attribution (procedure, authors, authors, "2002 - 2004");
  param_gimp3_add_arguments (procedure, &grain_option_table, labels);
}

/* RGB layers without alpha only, as in GIMP 2; no message catalogue, none
 * in GIMP 2 either. */
static const Frame3PlugIn tessaline = {
  PROC_NAME, "RGB", FRAME3_RGB_ONLY, "Film Grain Remover", "<Image>/Photo/B/Noise",
  tessaline_describe, tessaline_run, NULL,
};

GIMP_MAIN (frame3_plug_in_type (&tessaline))
