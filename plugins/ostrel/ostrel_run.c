/* The refocus run: the plug-in's side of the core's computation.  The
 * core hands the context back to every callback as its user pointer. */
#include "config.h"

#include <gtk/gtk.h>

#include "ostrel_intl.h"
#include "ostrel_run.h"
#include "refocus_core.h"

/* fraction on the dialog's bar; FALSE when no dialog shows one. */
static gboolean
dialog_progress (RefocusContext *ctx, float fraction)
{
  return ctx->show_progress != NULL && ctx->show_progress (ctx, fraction);
}

static void
host_read_selection (void *user)
{
  read_selection (user);
}

static void
host_pump_events (void *user)
{
  (void) user;
  while (gtk_events_pending ())
    gtk_main_iteration_do (TRUE);
}

static void
host_report_progress (void *user, float fraction)
{
  if (!dialog_progress (user, fraction))
    gimp_progress_update (fraction);
  host_pump_events (user);
}

static void
host_update_preview (void *user)
{
  RefocusContext *ctx = user;

  if (ctx->show_preview != NULL)
    ctx->show_preview (ctx);
}

/* The dialog's bar when one is up, otherwise the editor's progress. */
static void
host_progress_start (void *user)
{
  if (!dialog_progress (user, 0.0f))
    gimp_progress_init (_("Refocusing..."));
}

static void
host_progress_reset (void *user)
{
  if (!dialog_progress (user, 0.0f))
    gimp_progress_update (0.0);
}

gboolean
refocus_run (RefocusContext *ctx, gint iterations)
{
  RefocusParams params;
  RefocusHost   host = { 0 };
  gint          k;

  refocus_vals_to_params (ctx->vals, &params);
  host.user = ctx;
  for (k = 0; k < ctx->n_channels; k++)
    host.channels[k] = &ctx->channel[k];
  host.n_channels      = ctx->n_channels;
  host.read_selection  = host_read_selection;
  host.report_progress = host_report_progress;
  host.pump_events     = host_pump_events;
  host.update_preview  = host_update_preview;
  host.progress_start  = host_progress_start;
  host.progress_reset  = host_progress_reset;
  host.cancel          = &ctx->cancelled;

  return refocus_compute (&params, &host, iterations) != REFOCUS_REFUSED;
}
