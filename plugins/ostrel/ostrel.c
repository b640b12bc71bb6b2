/* Registration and run modes of the refocus plug-in: the entry that opens
 * the run state, then hands it to the dialog or straight to the run. */
#include "config.h"

#include <locale.h>
#include <stdlib.h>

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "ostrel_context.h"
#include "ostrel_dialog.h"
#include "ostrel_intl.h"
#include "ostrel_run.h"
#include "param_pdb.h"
#include "refocus_options.h"

#define PLUG_IN_NAME    "ostrel"
#define PLUG_IN_VERSION "2.0.0"

/* The process-wide values and run state; the dialog and the run receive
 * them through the context. */
static RefocusVals    refocus_vals;
static RefocusContext refocus_ctx;

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

/* The folder NAME beside the plug-in program (symbolic links resolved)
 * when there is one, as in a per-user install, where the catalogue and help
 * live in the plug-in's own folder; otherwise FALLBACK, the install
 * prefix's folder.  The Windows build keeps the packaged editor's fixed
 * folders.  The caller frees the result. */
static gchar *
plugin_folder (const gchar *name, const gchar *fallback)
{
#ifndef _WIN32
  const gchar *prog = gimp_get_progname ();
  char        *real = prog ? realpath (prog, NULL) : NULL;

  if (real)
    {
      gchar *dir  = g_path_get_dirname (real);
      gchar *path = g_build_filename (dir, name, NULL);

      free (real);
      g_free (dir);
      if (g_file_test (path, G_FILE_TEST_IS_DIR))
        return path;
      g_free (path);
    }
#else
  (void) name;
#endif
  return g_strdup (fallback);
}

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
  gchar *locale_dir;
  gchar *prefix_help;
  gchar *help_path;
  gchar *help_uri;

  setlocale (LC_ALL, "");
  locale_dir = plugin_folder ("locale", OSTREL_LOCALEDIR);
  gimp_plugin_domain_register (GETTEXT_PACKAGE, locale_dir);
  g_free (locale_dir);

  prefix_help = g_build_filename (OSTREL_DATADIR, "help", NULL);
  help_path   = plugin_folder ("help", prefix_help);
  help_uri    = g_filename_to_uri (help_path, NULL, NULL);
  g_free (prefix_help);
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

/* Stored values replace the current ones only when the block has exactly the
 * record's size: a block of another size under our key would otherwise be
 * copied past the end of the record. */
static gboolean
load_stored_vals (RefocusVals *vals)
{
  guchar block[REFOCUS_VALS_BLOCK_SIZE];

  if (gimp_procedural_db_get_data_size (PLUG_IN_NAME) != REFOCUS_VALS_BLOCK_SIZE)
    return FALSE;
  if (!gimp_procedural_db_get_data (PLUG_IN_NAME, block))
    return FALSE;
  return refocus_vals_from_block (vals, block, sizeof block) == 0;
}

static void
store_vals (const RefocusVals *vals)
{
  guchar block[REFOCUS_VALS_BLOCK_SIZE];

  refocus_vals_to_block (vals, block);
  gimp_procedural_db_set_data (PLUG_IN_NAME, block, sizeof block);
}

/* Copies parameters 3 to 13 into the record; counts keep their 32-bit
 * pattern, so a negative one shows up as a value above INT32_MAX. */
static void
vals_from_params (RefocusVals *vals, const GimpParam *param)
{
  vals->radius          = param[3].data.d_float;
  vals->gauss           = param[4].data.d_float;
  vals->motion          = param[5].data.d_float;
  vals->mot_angle       = param[6].data.d_float;
  vals->lambda          = param[7].data.d_float;
  vals->boundary        = param[8].data.d_int32;
  vals->lambda_min      = param[9].data.d_float;
  vals->adaptive_smooth = param[10].data.d_int32;
  vals->winsize         = (guint32) param[11].data.d_int32;
  vals->iterations      = (guint32) param[12].data.d_int32;
  vals->prev_iter       = (guint32) param[13].data.d_int32;
}

static gboolean
vals_usable (const RefocusContext *ctx)
{
  RefocusValsCheck check = refocus_vals_check (ctx->vals, ctx->width, ctx->height);

  if (check == REFOCUS_VALS_OK)
    return TRUE;
  g_printerr ("ostrel: refused: %s\n", refocus_vals_check_message (check));
  return FALSE;
}

static GimpPDBStatusType
run_interactive (RefocusContext *ctx)
{
  gchar *prog = g_strdup_printf (_("Iterative Refocus - %s"), PLUG_IN_VERSION);

  gimp_ui_init (prog, TRUE);
  g_free (prog);

  /* A block that fails the checks (written by a script under our key)
   * would put unusable values into the dialog: keep the defaults then. */
  if (load_stored_vals (ctx->vals) && !vals_usable (ctx))
    refocus_vals_set_defaults (ctx->vals);

  if (refocus_dialog_run (ctx))
    {
      gimp_displays_flush ();
      store_vals (ctx->vals);
    }
  return GIMP_PDB_SUCCESS;
}

static GimpPDBStatusType
run_batch (RefocusContext *ctx)
{
  if (!vals_usable (ctx))
    return GIMP_PDB_CALLING_ERROR;
  if (!refocus_run (ctx, (gint) ctx->vals->iterations))
    return GIMP_PDB_CALLING_ERROR;
  write_selection (ctx);
  return GIMP_PDB_SUCCESS;
}

static void
run (const gchar      *name,
     gint              nparams,
     const GimpParam  *param,
     gint             *nreturn_vals,
     GimpParam       **return_vals)
{
  RefocusContext   *ctx    = &refocus_ctx;
  GimpParam        *values = g_malloc (sizeof (GimpParam));
  GimpPDBStatusType status = GIMP_PDB_SUCCESS;
  GimpRunMode       run_mode;
  gint32            drawable_id;
  gchar            *locale_dir;

  (void) name;
  *nreturn_vals = 1;
  *return_vals  = values;
  values[0].type = GIMP_PDB_STATUS;

  locale_dir = plugin_folder ("locale", OSTREL_LOCALEDIR);
  bindtextdomain (GETTEXT_PACKAGE, locale_dir);
  g_free (locale_dir);
  bind_textdomain_codeset (GETTEXT_PACKAGE, "UTF-8");
  textdomain (GETTEXT_PACKAGE);

  refocus_vals_set_defaults (&refocus_vals);

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

  refocus_context_open (ctx, &refocus_vals, drawable_id);

  switch (run_mode)
    {
    case GIMP_RUN_INTERACTIVE:
      status = run_interactive (ctx);
      break;

    case GIMP_RUN_NONINTERACTIVE:
      vals_from_params (ctx->vals, param);
      status = run_batch (ctx);
      break;

    default: /* GIMP_RUN_WITH_LAST_VALS */
      load_stored_vals (ctx->vals);
      status = run_batch (ctx);
      if (status == GIMP_PDB_SUCCESS)
        gimp_displays_flush ();
      break;
    }

  values[0].data.d_status = status;
  refocus_context_close (ctx);
}
