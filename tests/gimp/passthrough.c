/* A bench-only plug-in that moves a drawable's pixels through the same
 * traffic as a filter without computing anything; its run time is the
 * transfer floor that the filters' benchmarks compare against.  Two
 * procedures, one for each way our filters move pixels:
 *
 * "corvella-passthrough" (run-mode, image, drawable, margin): a windowed
 *   filter's tiles.  For every destination tile it reads the tile grown by
 *   a margin, copies the centre into the shadow tile, then merges the
 *   shadow with undo.
 * "corvella-passthrough-lines" (run-mode, image, drawable): a separable
 *   filter's rows and columns over the selection bounds.  A row pass from
 *   the source into the shadow, a column pass reading both and writing the
 *   shadow, a merge pass reading both rows and writing the shadow, eight
 *   lines at a time, with progress; then the shadow merge with undo. */
#include <libgimp/gimp.h>

#include <stdlib.h>
#include <string.h>

#define PROC_TILES "corvella-passthrough"
#define PROC_LINES "corvella-passthrough-lines"
/* Rows or columns moved at a time, as the line filters batch them. */
#define LINES 8

static void query(void);
static void run(const gchar *name, gint nparams, const GimpParam *param,
                gint *nreturn_vals, GimpParam **return_vals);

const GimpPlugInInfo PLUG_IN_INFO = {NULL, NULL, query, run};

MAIN()

static void query(void)
{
    static const GimpParamDef args[] = {
        {GIMP_PDB_INT32, "run-mode", "The run mode"},
        {GIMP_PDB_IMAGE, "image", "Input image"},
        {GIMP_PDB_DRAWABLE, "drawable", "Input drawable"},
        {GIMP_PDB_INT32, "margin", "Pixels read around each tile (0 ... 64)"},
    };
    gimp_install_procedure(PROC_TILES, "Moves tiles without computing",
                           "Reads each tile with a margin and writes it back "
                           "unchanged through the shadow tiles",
                           "Corvella", "Corvella", "2026", NULL, "RGB*, GRAY*",
                           GIMP_PLUGIN, G_N_ELEMENTS(args), 0, args, NULL);
    gimp_install_procedure(PROC_LINES, "Moves rows and columns without computing",
                           "A separable filter's row, column and merge passes "
                           "through the shadow tiles, without arithmetic",
                           "Corvella", "Corvella", "2026", NULL, "RGB*, GRAY*",
                           GIMP_PLUGIN, G_N_ELEMENTS(args) - 1, 0, args, NULL);
}

static void move_tiles(GimpDrawable *drawable, int margin)
{
    const int W = drawable->width, H = drawable->height, bpp = drawable->bpp;
    const int tw = gimp_tile_width(), th = gimp_tile_height();
    GimpPixelRgn src, dst;
    gimp_pixel_rgn_init(&src, drawable, 0, 0, W, H, FALSE, FALSE);
    gimp_pixel_rgn_init(&dst, drawable, 0, 0, W, H, TRUE, TRUE);
    /* The same tile cache as the filters give themselves: a tile and its
     * margin span up to three tile rows. */
    gimp_tile_cache_ntiles(3 * ((W + tw - 1) / tw + 1));
    guchar *buf = g_malloc((size_t)(tw + 2 * margin) * (th + 2 * margin) * bpp);
    gpointer iter;
    for (iter = gimp_pixel_rgns_register(1, &dst); iter; iter = gimp_pixel_rgns_process(iter)) {
        /* The grown rectangle clipped to the drawable. */
        int x0 = MAX(dst.x - margin, 0), y0 = MAX(dst.y - margin, 0);
        int x1 = MIN(dst.x + (int)dst.w + margin, W), y1 = MIN(dst.y + (int)dst.h + margin, H);
        int bw = x1 - x0;
        gimp_pixel_rgn_get_rect(&src, buf, x0, y0, bw, y1 - y0);
        for (int r = 0; r < (int)dst.h; r++)
            memcpy(dst.data + r * dst.rowstride,
                   buf + ((size_t)((int)dst.y + r - y0) * bw + ((int)dst.x - x0)) * bpp,
                   (size_t)dst.w * bpp);
    }
    g_free(buf);
    gimp_drawable_flush(drawable);
    gimp_drawable_merge_shadow(drawable->drawable_id, TRUE);
    gimp_drawable_update(drawable->drawable_id, 0, 0, W, H);
}

static void move_lines(GimpDrawable *drawable)
{
    gint x1, y1, x2, y2;
    gimp_drawable_mask_bounds(drawable->drawable_id, &x1, &y1, &x2, &y2);
    const int w = x2 - x1, h = y2 - y1, bpp = drawable->bpp, n = MAX(w, h);
    GimpPixelRgn src, dst;
    gimp_tile_cache_ntiles(2 * (drawable->width / gimp_tile_width()) + 2);
    gimp_pixel_rgn_init(&src, drawable, 0, 0, drawable->width, drawable->height, FALSE, FALSE);
    gimp_pixel_rgn_init(&dst, drawable, 0, 0, drawable->width, drawable->height, TRUE, TRUE);
    guchar *a = g_malloc((size_t)LINES * n * bpp + 1), *b = g_malloc((size_t)LINES * n * bpp + 1);
    const size_t line = (size_t)n * bpp;

    gimp_progress_init("Blurring...");
    for (int y0 = 0; y0 < h; y0 += LINES) {
        int count = MIN(h - y0, LINES);
        for (int l = 0; l < count; l++)
            gimp_pixel_rgn_get_row(&src, a + l * line, x1, y1 + y0 + l, w);
        for (int l = 0; l < count; l++) {
            gimp_pixel_rgn_set_row(&dst, a + l * line, x1, y1 + y0 + l, w);
            if ((y0 + l) % 8 == 0)
                gimp_progress_update((y0 + l) / (3.0 * h));
        }
    }
    for (int x0 = 0; x0 < w; x0 += LINES) {
        int count = MIN(w - x0, LINES);
        for (int l = 0; l < count; l++) {
            gimp_pixel_rgn_get_col(&dst, a + l * line, x1 + x0 + l, y1, h);
            gimp_pixel_rgn_get_col(&src, b + l * line, x1 + x0 + l, y1, h);
        }
        for (int l = 0; l < count; l++) {
            gimp_pixel_rgn_set_col(&dst, b + l * line, x1 + x0 + l, y1, h);
            if ((x0 + l) % 8 == 0)
                gimp_progress_update((x0 + l) / (3.0 * w) + 0.33);
        }
    }
    gimp_progress_init("Merging...");
    for (int y = 0; y < h; y++) {
        gimp_pixel_rgn_get_row(&src, a, x1, y1 + y, w);
        gimp_pixel_rgn_get_row(&dst, b, x1, y1 + y, w);
        gimp_pixel_rgn_set_row(&dst, b, x1, y1 + y, w);
        if (y % 8 == 0)
            gimp_progress_update(y / (3.0 * h) + 0.67);
    }
    gimp_progress_update(0.0);
    g_free(a);
    g_free(b);
    gimp_drawable_flush(drawable);
    gimp_drawable_merge_shadow(drawable->drawable_id, TRUE);
    gimp_drawable_update(drawable->drawable_id, x1, y1, w, h);
}

static void run(const gchar *name, gint nparams, const GimpParam *param,
                gint *nreturn_vals, GimpParam **return_vals)
{
    static GimpParam values[1];
    const gboolean tiles = strcmp(name, PROC_TILES) == 0;
    *nreturn_vals = 1;
    *return_vals = values;
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
    if (nparams != (tiles ? 4 : 3) || !gimp_item_is_drawable(param[2].data.d_drawable))
        return;
    if (tiles && (param[3].data.d_int32 < 0 || param[3].data.d_int32 > 64))
        return;
    GimpDrawable *drawable = gimp_drawable_get(param[2].data.d_drawable);
    if (tiles)
        move_tiles(drawable, param[3].data.d_int32);
    else
        move_lines(drawable);
    gimp_drawable_detach(drawable);
    values[0].data.d_status = GIMP_PDB_SUCCESS;
}
