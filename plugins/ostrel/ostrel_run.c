/* The refocus run: the plug-in's side of the core's computation. */
#include "config.h"

#include <libgimp/gimp.h>

#include "ostrel.h"
#include "ostrel_intl.h"
#include "refocus_core.h"

static void
host_read_selection (void *user)
{
  (void) user;
  read_selection ();
}

static void
host_report_progress (void *user, float fraction)
{
  (void) user;
  report_progress (fraction);
}

static void
host_pump_events (void *user)
{
  (void) user;
  pump_events ();
}

static void
host_update_preview (void *user)
{
  (void) user;
  update_preview ();
}

/* The dialog's bar when one is up, otherwise the editor's progress. */
static void
host_progress_start (void *user)
{
  (void) user;
  if (refocus_ctx.progress_bar != NULL)
    gtk_progress_bar_update (GTK_PROGRESS_BAR (refocus_ctx.progress_bar), 0.0);
  else
    gimp_progress_init (_("Refocusing..."));
}

static void
host_progress_reset (void *user)
{
  (void) user;
  if (refocus_ctx.progress_bar != NULL)
    gtk_progress_bar_update (GTK_PROGRESS_BAR (refocus_ctx.progress_bar), 0.0);
  else
    gimp_progress_update (0.0);
}

gboolean
refocus_run (gint iterations)
{
  RefocusParams params;
  RefocusHost   host = { 0 };
  gint          k;

  refocus_vals_to_params (&refocus_vals, &params);
  for (k = 0; k < refocus_ctx.n_channels; k++)
    host.channels[k] = &refocus_ctx.channel[k];
  host.n_channels      = refocus_ctx.n_channels;
  host.read_selection  = host_read_selection;
  host.report_progress = host_report_progress;
  host.pump_events     = host_pump_events;
  host.update_preview  = host_update_preview;
  host.progress_start  = host_progress_start;
  host.progress_reset  = host_progress_reset;
  host.cancel          = &refocus_ctx.cancelled;

  return refocus_compute (&params, &host, iterations) != REFOCUS_REFUSED;
}
