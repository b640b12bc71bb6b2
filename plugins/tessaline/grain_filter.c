/* The plug-in's filter frame: pixel-region transfers and progress around
 * the GIMP-free block filter. */
#include "grain_filter.h"

void fetch_rect_clamped(GimpPixelRgn *src, guchar *buf, gint x, gint y, gint w, gint h)
{
    const gint W = (gint)src->drawable->width, H = (gint)src->drawable->height;
    const gint bpp = (gint)src->bpp;
    const gsize stride = (gsize)w * bpp;

    if (x >= 0 && y >= 0 && x + w <= W && y + h <= H) {
        gimp_pixel_rgn_get_rect(src, buf, x, y, w, h);
        return;
    }
    const gint y0 = y < 0 ? -y : 0;
    const gint y1 = y + h > H ? H - y : h;
    gint x0 = 0, x1 = w;
    if (x >= 0 && x + w <= W) {
        gimp_pixel_rgn_get_rect(src, buf + (gsize)y0 * stride, x, y + y0, w, y1 - y0);
    } else {
        x0 = x < 0 ? -x : 0;
        x1 = x + w > W ? W - x : w;
        for (gint r = y0; r < y1; r++)
            gimp_pixel_rgn_get_row(src, buf + (gsize)r * stride + (gsize)x0 * bpp,
                                   x + x0, y + r, x1 - x0);
    }
    grain_extend_edges(buf, stride, w, h, bpp, x0, x1, y0, y1);
}

gboolean grain_filter(GimpDrawable *drawable, const GrainParams *params)
{
    const gint W = (gint)drawable->width, H = (gint)drawable->height;
    const gint tw = (gint)gimp_tile_width(), th = (gint)gimp_tile_height();
    const gint bpp = (gint)drawable->bpp;
    const gint total = ((tw + W - 1) / tw) * ((th + H - 1) / th);
    const int32_t levels[3] = {params->red, params->green, params->blue};

    /* One tile with its margin, and the running column sums of one tile. */
    const gsize buf_bytes = (gsize)(tw + 2 * GRAIN_RADIUS) * (th + 2 * GRAIN_RADIUS) * bpp;
    guchar *tile_buf = g_try_malloc(buf_bytes);
    int32_t *scratch = g_try_malloc(grain_scratch_count(tw, bpp) * sizeof *scratch);
    if (!tile_buf || !scratch || bpp > 3) {
        g_free(tile_buf);
        g_free(scratch);
        gimp_drawable_detach(drawable);
        return FALSE;
    }

    /* Source tiles are read up to three tile rows at a time (a tile and its
     * margin); keeping three rows cached means each is fetched once. */
    gimp_tile_cache_ntiles(3 * ((W + tw - 1) / tw + 1));

    GimpPixelRgn src, dst;
    gimp_pixel_rgn_init(&src, drawable, 0, 0, W, H, FALSE, FALSE);
    gimp_pixel_rgn_init(&dst, drawable, 0, 0, W, H, TRUE, TRUE);
    gimp_progress_init("Film Grain Remover...");

    gint done = 0;
    for (gpointer it = gimp_pixel_rgns_register(1, &dst); it; it = gimp_pixel_rgns_process(it)) {
        const gint x = (gint)dst.x, y = (gint)dst.y, w = (gint)dst.w, h = (gint)dst.h;
        fetch_rect_clamped(&src, tile_buf, x - GRAIN_RADIUS, y - GRAIN_RADIUS,
                           w + 2 * GRAIN_RADIUS, h + 2 * GRAIN_RADIUS);
        grain_filter_block(tile_buf, (gsize)(w + 2 * GRAIN_RADIUS) * bpp,
                           dst.data, dst.rowstride, w, h, bpp, levels, scratch);
        done++;
        /* Each update is a round trip to GIMP: report whole percents and
         * the last tile (1.0), not every tile. */
        if (done == total || (gint64)done * 100 / total != (gint64)(done - 1) * 100 / total)
            gimp_progress_update((gdouble)done / total);
    }

    gimp_drawable_flush(drawable);
    gimp_drawable_merge_shadow(drawable->drawable_id, TRUE);
    gimp_drawable_update(drawable->drawable_id, 0, 0, W, H);
    gimp_displays_flush();
    gimp_drawable_detach(drawable);
    g_free(tile_buf);
    g_free(scratch);
    return TRUE;
}
