/* The refocus plug-in's run state and the pixel transfer between the
 * drawable's selection and the channel matrices. */
#include "ostrel_context.h"

#include <string.h>

#include "refocus_options.h"

void
refocus_context_open (RefocusContext *ctx, RefocusVals *vals, gint32 drawable_id)
{
  gint x2, y2, k;

  memset (ctx, 0, sizeof *ctx);
  ctx->vals     = vals;
  ctx->drawable = gimp_drawable_get (drawable_id);
  gimp_drawable_mask_bounds (drawable_id, &ctx->x1, &ctx->y1, &x2, &y2);
  ctx->width  = x2 - ctx->x1;
  ctx->height = y2 - ctx->y1;
  ctx->bpp    = gimp_drawable_bpp (drawable_id);

  ctx->n_channels = ctx->bpp > 2 ? 3 : 1;
  for (k = 0; k < ctx->n_channels; k++)
    matrix_create (&ctx->channel[k], ctx->width, ctx->height);
  read_selection (ctx);
}

void
refocus_context_close (RefocusContext *ctx)
{
  gint k;

  for (k = 0; k < ctx->n_channels; k++)
    matrix_destroy (&ctx->channel[k]);
  ctx->n_channels = 0;
  gimp_drawable_detach (ctx->drawable);
  ctx->drawable = NULL;
}

/* The selection's bounding rectangle as it is in the drawable, in one
 * transfer; the caller frees it.  NULL for an empty rectangle. */
static guchar *
fetch_selection (RefocusContext *ctx)
{
  GimpPixelRgn rgn;
  guchar      *buf;

  if (ctx->width <= 0 || ctx->height <= 0)
    return NULL;
  buf = g_malloc ((gsize) ctx->width * (gsize) ctx->height * (gsize) ctx->bpp);
  gimp_pixel_rgn_init (&rgn, ctx->drawable, ctx->x1, ctx->y1,
                       ctx->width, ctx->height, FALSE, FALSE);
  gimp_pixel_rgn_get_rect (&rgn, buf, ctx->x1, ctx->y1, ctx->width, ctx->height);
  return buf;
}

/* Copies the colour bytes of buf (the selection's rectangle) into the
 * channel matrices, or the matrices' values into buf. */
static void
transfer (RefocusContext *ctx, guchar *buf, gboolean into_channels)
{
  guchar *p = buf;
  gsize   i = 0;
  gint    x, y, k;

  for (y = 0; y < ctx->height; y++)
    for (x = 0; x < ctx->width; x++, i++, p += ctx->bpp)
      for (k = 0; k < ctx->n_channels; k++)
        if (into_channels)
          ctx->channel[k].data[i] = (float) p[k];
        else
          p[k] = refocus_value_to_byte (ctx->channel[k].data[i]);
}

void
read_selection (RefocusContext *ctx)
{
  guchar *buf = fetch_selection (ctx);

  if (buf == NULL)
    return;
  transfer (ctx, buf, TRUE);
  g_free (buf);
}


void
write_selection (RefocusContext *ctx)
{
  gint32       id = ctx->drawable->drawable_id;
  GimpPixelRgn dst;
  guchar      *buf = fetch_selection (ctx);

  if (buf == NULL)
    return;
  gimp_pixel_rgn_init (&dst, ctx->drawable, ctx->x1, ctx->y1,
                       ctx->width, ctx->height, TRUE, TRUE);
  transfer (ctx, buf, FALSE);
  gimp_pixel_rgn_set_rect (&dst, buf, ctx->x1, ctx->y1, ctx->width, ctx->height);
  gimp_drawable_flush (ctx->drawable);
  gimp_drawable_merge_shadow (id, TRUE);
  gimp_drawable_update (id, ctx->x1, ctx->y1, ctx->width, ctx->height);
  g_free (buf);
}
