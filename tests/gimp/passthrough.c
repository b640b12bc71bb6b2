/* A test-only plug-in that moves a drawable's pixels through the same tile
 * traffic as a windowed filter without computing anything: for every
 * destination tile it reads the tile grown by a margin, copies the centre
 * into the shadow tile, then merges the shadow with undo.  Its run time is
 * the transfer floor that the filters' benchmarks compare against.
 *
 * Procedure "corvella-passthrough" (run-mode, image, drawable, margin). */
#include <libgimp/gimp.h>

#include <stdlib.h>
#include <string.h>

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
    gimp_install_procedure("corvella-passthrough", "Moves tiles without computing",
                           "Reads each tile with a margin and writes it back "
                           "unchanged through the shadow tiles",
                           "Corvella", "Corvella", "2026", NULL, "RGB*, GRAY*",
                           GIMP_PLUGIN, G_N_ELEMENTS(args), 0, args, NULL);
}

static void passthrough(GimpDrawable *drawable, int margin)
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

static void run(const gchar *name, gint nparams, const GimpParam *param,
                gint *nreturn_vals, GimpParam **return_vals)
{
    static GimpParam values[1];
    (void)name;
    *nreturn_vals = 1;
    *return_vals = values;
    values[0].type = GIMP_PDB_STATUS;
    if (nparams != 4 || param[3].data.d_int32 < 0 || param[3].data.d_int32 > 64) {
        values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
        return;
    }
    GimpDrawable *drawable = gimp_drawable_get(param[2].data.d_drawable);
    passthrough(drawable, param[3].data.d_int32);
    gimp_drawable_detach(drawable);
    values[0].data.d_status = GIMP_PDB_SUCCESS;
}
