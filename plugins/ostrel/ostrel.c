/* Registration, run modes and pixel transfer of the refocus plug-in. */
#include "config.h"

#include <locale.h>
#include <string.h>

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "ostrel.h"
#include "ostrel_intl.h"
#include "param_pdb.h"
#include "refocus_options.h"

RefocusVals    refocus_vals;
RefocusContext refocus_ctx;

static void query (void);
static void run   (const gchar      *name,
                   gint              nparams,
                   const GimpParam  *param,
                   gint             *nreturn_vals,
                   GimpParam       **return_vals);

const GimpPlugInInfo PLUG_IN_INFO =
{
  NULL,
  NULL,
  query,
  run
};

MAIN ()

/* Run mode, image and drawable, then the filter's values. */
#define N_FIXED_PARAMS 3
#define MAX_PARAMS     16

static gint
n_params (void)
{
  return N_FIXED_PARAMS + (gint) param_table_pdb_count (&refocus_option_table);
}

static void
query (void)
{
  GimpParamDef args[MAX_PARAMS] =
  {
    { GIMP_PDB_INT32,    "run_mode",        "Interactive, non-interactive" },
    { GIMP_PDB_IMAGE,    "image",           "Input image" },
    { GIMP_PDB_DRAWABLE, "drawable",        "Input drawable" },
  };
  gint nargs = N_FIXED_PARAMS
               + param_table_pdb_args (&refocus_option_table, args + N_FIXED_PARAMS,
                                       MAX_PARAMS - N_FIXED_PARAMS);
  gchar *help_path;
  gchar *help_uri;

  setlocale (LC_ALL, "");
  gimp_plugin_domain_register (GETTEXT_PACKAGE, OSTREL_LOCALEDIR);

  help_path = g_build_filename (OSTREL_DATADIR, "help", NULL);
  help_uri  = g_filename_to_uri (help_path, NULL, NULL);
  g_free (help_path);
  gimp_plugin_help_register (OSTREL_HELP_DOMAIN, help_uri);
  g_free (help_uri);

  gimp_install_procedure (PLUG_IN_NAME,
                          _("Iterative refocus."),
                          _("This plug-in iteratively refocuses a defocused image."),
                          "Corvella developers <corvella@example.org>",
                          "Corvella developers",
                          PLUG_IN_VERSION,
                          "<Image>/Photo/A/Refocus...",
                          "RGB*, GRAY*",
                          GIMP_PLUGIN,
                          nargs, 0,
                          args, NULL);
}

void
set_default_vals (void)
{
  refocus_vals_set_defaults (&refocus_vals);
}

/* Stored values replace the current ones only when the block has exactly the
 * record's size: a block of another size under our key would otherwise be
 * copied past the end of the record. */
static gboolean
load_stored_vals (void)
{
  guchar block[REFOCUS_VALS_BLOCK_SIZE];

  if (gimp_procedural_db_get_data_size (PLUG_IN_NAME) != REFOCUS_VALS_BLOCK_SIZE)
    return FALSE;
  if (!gimp_procedural_db_get_data (PLUG_IN_NAME, block))
    return FALSE;
  return refocus_vals_from_block (&refocus_vals, block, sizeof block) == 0;
}

static void
store_vals (void)
{
  guchar block[REFOCUS_VALS_BLOCK_SIZE];

  refocus_vals_to_block (&refocus_vals, block);
  gimp_procedural_db_set_data (PLUG_IN_NAME, block, sizeof block);
}

static gsize
selection_bytes (void)
{
  return (gsize) refocus_ctx.width * (gsize) refocus_ctx.height
         * (gsize) refocus_ctx.bpp;
}

/* The selection's bounding rectangle as it is in the drawable, in one
 * transfer; the caller frees it. */
static guchar *
fetch_selection (void)
{
  RefocusContext *c = &refocus_ctx;
  GimpPixelRgn    rgn;
  guchar         *buf = g_malloc (selection_bytes ());

  gimp_pixel_rgn_init (&rgn, c->drawable, c->x1, c->y1, c->width, c->height,
                       FALSE, FALSE);
  gimp_pixel_rgn_get_rect (&rgn, buf, c->x1, c->y1, c->width, c->height);
  return buf;
}

void
read_selection (void)
{
  RefocusContext *c = &refocus_ctx;
  guchar         *buf, *p;
  gint            x, y, k;
  gsize           i = 0;

  if (c->width <= 0 || c->height <= 0)
    return;
  buf = fetch_selection ();

  p = buf;
  for (y = 0; y < c->height; y++)
    for (x = 0; x < c->width; x++, i++, p += c->bpp)
      for (k = 0; k < c->n_channels; k++)
        c->channel[k].data[i] = (float) p[k];
  g_free (buf);
}

/* Matrix values are whole numbers within 0..255 after a run; the clamp only
 * keeps the byte conversion defined should that ever not hold. */
guchar
matrix_value_to_byte (float v)
{
  if (!(v > 0.0f))
    return 0;
  if (v >= 255.0f)
    return 255;
  return (guchar) (v + 0.5f);
}

void
write_selection (void)
{
  RefocusContext *c = &refocus_ctx;
  GimpPixelRgn    dst;
  guchar         *buf, *p;
  gint            x, y, k;
  gsize           i = 0;

  if (c->width <= 0 || c->height <= 0)
    return;
  /* Bytes without a matrix (alpha) keep the drawable's values. */
  buf = fetch_selection ();
  gimp_pixel_rgn_init (&dst, c->drawable, c->x1, c->y1, c->width, c->height,
                       TRUE, TRUE);

  p = buf;
  for (y = 0; y < c->height; y++)
    for (x = 0; x < c->width; x++, i++, p += c->bpp)
      for (k = 0; k < c->n_channels; k++)
        p[k] = matrix_value_to_byte (c->channel[k].data[i]);

  gimp_pixel_rgn_set_rect (&dst, buf, c->x1, c->y1, c->width, c->height);
  gimp_drawable_flush (c->drawable);
  gimp_drawable_merge_shadow (c->drawable->drawable_id, TRUE);
  gimp_drawable_update (c->drawable->drawable_id, c->x1, c->y1,
                        c->width, c->height);
  g_free (buf);
}

void
pump_events (void)
{
  while (gtk_events_pending ())
    gtk_main_iteration_do (TRUE);
}

void
report_progress (float fraction)
{
  if (refocus_ctx.progress_bar != NULL)
    gtk_progress_bar_update (GTK_PROGRESS_BAR (refocus_ctx.progress_bar),
                             fraction);
  else
    gimp_progress_update (fraction);
  pump_events ();
}

static void
create_channels (void)
{
  RefocusContext *c = &refocus_ctx;
  gint            k;

  c->n_channels = c->bpp > 2 ? 3 : 1;
  for (k = 0; k < c->n_channels; k++)
    matrix_create (&c->channel[k], c->width, c->height);
}

static void
destroy_channels (void)
{
  gint k;

  for (k = 0; k < refocus_ctx.n_channels; k++)
    matrix_destroy (&refocus_ctx.channel[k]);
  refocus_ctx.n_channels = 0;
}

/* Copies parameters 3 to 13 into the record; counts keep their 32-bit
 * pattern, so a negative one shows up as a value above INT32_MAX. */
static void
vals_from_params (const GimpParam *param)
{
  refocus_vals.radius          = param[3].data.d_float;
  refocus_vals.gauss           = param[4].data.d_float;
  refocus_vals.motion          = param[5].data.d_float;
  refocus_vals.mot_angle       = param[6].data.d_float;
  refocus_vals.lambda          = param[7].data.d_float;
  refocus_vals.boundary        = param[8].data.d_int32;
  refocus_vals.lambda_min      = param[9].data.d_float;
  refocus_vals.adaptive_smooth = param[10].data.d_int32;
  refocus_vals.winsize         = (guint32) param[11].data.d_int32;
  refocus_vals.iterations      = (guint32) param[12].data.d_int32;
  refocus_vals.prev_iter       = (guint32) param[13].data.d_int32;
}

static gboolean
vals_usable (void)
{
  RefocusValsCheck check = refocus_vals_check (&refocus_vals,
                                               refocus_ctx.width,
                                               refocus_ctx.height);

  if (check == REFOCUS_VALS_OK)
    return TRUE;
  g_printerr ("ostrel: refused: %s\n", refocus_vals_check_message (check));
  return FALSE;
}

static GimpPDBStatusType
run_interactive (void)
{
  gchar *prog = g_strdup_printf (_("Iterative Refocus - %s"), PLUG_IN_VERSION);

  gimp_ui_init (prog, TRUE);
  g_free (prog);

  /* A block that fails the checks (written by a script under our key)
   * would put unusable values into the dialog: keep the defaults then. */
  if (load_stored_vals () && !vals_usable ())
    set_default_vals ();

  refocus_dialog_show ();
  gtk_main ();
  refocus_ctx.dialog         = NULL;
  refocus_ctx.progress_bar   = NULL;
  refocus_ctx.adaptive_check = NULL;
  refocus_ctx.boundary_menu  = NULL;
  refocus_ctx.area_frame     = NULL;
  refocus_ctx.motion_area    = NULL;
  refocus_ctx.preview        = NULL;
  g_free (refocus_ctx.preview_buf);
  refocus_ctx.preview_buf    = NULL;

  if (refocus_ctx.done)
    {
      gimp_displays_flush ();
      store_vals ();
    }
  return GIMP_PDB_SUCCESS;
}

static GimpPDBStatusType
run_batch (void)
{
  if (!vals_usable ())
    return GIMP_PDB_CALLING_ERROR;
  if (!refocus_run ((gint) refocus_vals.iterations))
    return GIMP_PDB_CALLING_ERROR;
  write_selection ();
  return GIMP_PDB_SUCCESS;
}

static void
run (const gchar      *name,
     gint              nparams,
     const GimpParam  *param,
     gint             *nreturn_vals,
     GimpParam       **return_vals)
{
  GimpParam        *values = g_malloc (sizeof (GimpParam));
  GimpPDBStatusType status = GIMP_PDB_SUCCESS;
  GimpRunMode       run_mode;
  gint32            drawable_id;

  (void) name;
  *nreturn_vals = 1;
  *return_vals  = values;
  values[0].type = GIMP_PDB_STATUS;

  bindtextdomain (GETTEXT_PACKAGE, OSTREL_LOCALEDIR);
  bind_textdomain_codeset (GETTEXT_PACKAGE, "UTF-8");
  textdomain (GETTEXT_PACKAGE);

  set_default_vals ();

  /* The call itself is judged before any pixel is read; the values are
   * judged before anything is computed or written. */
  if (nparams < 3 || !gimp_item_is_drawable (param[2].data.d_drawable))
    {
      values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
      return;
    }
  drawable_id = param[2].data.d_drawable;
  if (!gimp_drawable_is_rgb (drawable_id) && !gimp_drawable_is_gray (drawable_id))
    {
      values[0].data.d_status = GIMP_PDB_EXECUTION_ERROR;
      return;
    }
  run_mode = (GimpRunMode) param[0].data.d_int32;
  if ((run_mode == GIMP_RUN_NONINTERACTIVE && nparams != n_params ())
      || (run_mode != GIMP_RUN_INTERACTIVE
          && run_mode != GIMP_RUN_NONINTERACTIVE
          && run_mode != GIMP_RUN_WITH_LAST_VALS))
    {
      values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
      return;
    }

  memset (&refocus_ctx, 0, sizeof refocus_ctx);
  refocus_ctx.drawable = gimp_drawable_get (drawable_id);
  gimp_drawable_mask_bounds (drawable_id, &refocus_ctx.x1, &refocus_ctx.y1,
                             &refocus_ctx.x2, &refocus_ctx.y2);
  refocus_ctx.width  = refocus_ctx.x2 - refocus_ctx.x1;
  refocus_ctx.height = refocus_ctx.y2 - refocus_ctx.y1;
  refocus_ctx.bpp    = gimp_drawable_bpp (drawable_id);
  create_channels ();
  read_selection ();

  switch (run_mode)
    {
    case GIMP_RUN_INTERACTIVE:
      status = run_interactive ();
      break;

    case GIMP_RUN_NONINTERACTIVE:
      vals_from_params (param);
      status = run_batch ();
      break;

    default: /* GIMP_RUN_WITH_LAST_VALS */
      load_stored_vals ();
      status = run_batch ();
      if (status == GIMP_PDB_SUCCESS)
        gimp_displays_flush ();
      break;
    }

  values[0].data.d_status = status;
  destroy_channels ();
  gimp_drawable_detach (refocus_ctx.drawable);
}
