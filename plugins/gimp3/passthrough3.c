/* Benchmark floor for the GIMP 3 frames (not installed): a procedure that
 * moves the selection's bounds out of the drawable and back through the
 * shadow buffer exactly as the filters do, without any arithmetic. */
#include <libgimp/gimp.h>

#include "frame3.h"

#define PROC_NAME "plug-in-corvella-passthrough3"

static GimpValueArray *
passthrough_run (GimpProcedure *procedure, GimpRunMode run_mode, GimpProcedureConfig *config,
                 const Frame3Target *t)
{
  guint8 *buf;

  (void) run_mode; (void) config;
  if (t->width > 0)
    {
      buf = frame3_read (t, t->x, t->y, t->width, t->height);
      if (!buf)
        return frame3_error (procedure, GIMP_PDB_EXECUTION_ERROR, "Not enough memory.");
      frame3_write (t, buf);
      g_free (buf);
    }
  return gimp_procedure_new_return_values (procedure, GIMP_PDB_SUCCESS, NULL);
}

static void
passthrough_describe (GimpProcedure *procedure)
{
  gimp_procedure_set_documentation (procedure, "Pixel transfers of the filters, no arithmetic",
                                    "Benchmark floor of the GIMP 3 filters.", PROC_NAME);
  gimp_procedure_set_attribution (procedure, "Corvella developers", "Corvella developers", "2026");
}

static const Frame3PlugIn passthrough = {
  PROC_NAME, "RGB*, GRAY*", FRAME3_RGB_OR_GRAY, NULL, NULL,
  passthrough_describe, passthrough_run, NULL,
};

GIMP_MAIN (frame3_plug_in_type (&passthrough))
