/* Benchmark floor for the GIMP 3 frames (not installed): a procedure that
 * moves the selection's bounds out of the drawable and back through the
 * shadow buffer exactly as the filters do, without any arithmetic. */
#include <libgimp/gimp.h>

#include "frame3.h"

#define PROC_NAME "plug-in-corvella-passthrough3"

typedef struct { GimpPlugIn parent_instance; } Passthrough;
typedef struct { GimpPlugInClass parent_class; } PassthroughClass;

static GType passthrough_get_type (void);
G_DEFINE_TYPE (Passthrough, passthrough, GIMP_TYPE_PLUG_IN)

static GimpValueArray *
passthrough_run (GimpProcedure *procedure, GimpRunMode run_mode, GimpImage *image,
                 GimpDrawable **drawables, GimpProcedureConfig *config, gpointer run_data)
{
  Frame3Target    t;
  GimpValueArray *refused;
  guint8         *buf;

  (void) run_mode; (void) image; (void) config; (void) run_data;
  gegl_init (NULL, NULL);
  refused = frame3_take_drawable (procedure, drawables, FRAME3_RGB_OR_GRAY, &t);
  if (refused)
    return refused;
  if (t.width > 0)
    {
      buf = frame3_read (&t, t.x, t.y, t.width, t.height);
      if (!buf)
        return frame3_error (procedure, GIMP_PDB_EXECUTION_ERROR, "Not enough memory.");
      frame3_write (&t, buf);
      g_free (buf);
    }
  return gimp_procedure_new_return_values (procedure, GIMP_PDB_SUCCESS, NULL);
}

static GList *
passthrough_query_procedures (GimpPlugIn *plug_in)
{
  (void) plug_in;
  return g_list_append (NULL, g_strdup (PROC_NAME));
}

static GimpProcedure *
passthrough_create_procedure (GimpPlugIn *plug_in, const gchar *name)
{
  GimpProcedure *procedure;

  if (g_strcmp0 (name, PROC_NAME) != 0)
    return NULL;
  procedure = gimp_image_procedure_new (plug_in, name, GIMP_PDB_PROC_TYPE_PLUGIN,
                                        passthrough_run, NULL, NULL);
  gimp_procedure_set_image_types (procedure, "RGB*, GRAY*");
  gimp_procedure_set_documentation (procedure, "Pixel transfers of the filters, no arithmetic",
                                    "Benchmark floor of the GIMP 3 filters.", PROC_NAME);
  gimp_procedure_set_attribution (procedure, "Corvella developers", "Corvella developers", "2026");
  return procedure;
}

static void
passthrough_class_init (PassthroughClass *klass)
{
  GimpPlugInClass *plug_in_class = GIMP_PLUG_IN_CLASS (klass);

  plug_in_class->query_procedures = passthrough_query_procedures;
  plug_in_class->create_procedure = passthrough_create_procedure;
  plug_in_class->set_i18n         = frame3_no_i18n;
}

static void
passthrough_init (Passthrough *self)
{
  (void) self;
}

GIMP_MAIN (passthrough_get_type ())
