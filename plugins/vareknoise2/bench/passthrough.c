/* A benchmark-only plug-in: moves the same rows and columns through the
 * same pixel regions as the camera-noise filter (row pass, column pass,
 * merge, shadow merge with undo) without computing anything, so a benchmark
 * can set the filter's time against the transfer cost.  Procedure
 * "vareknoise2-passthrough" (run mode, image, drawable). */
#include <libgimp/gimp.h>

#include "noise_filter.h"

static void query(void);
static void run(const gchar *name, gint nparams, const GimpParam *param, gint *nreturn_vals,
                GimpParam **return_vals);

const GimpPlugInInfo PLUG_IN_INFO = { NULL, NULL, query, run };

MAIN()

static void query(void)
{
    static const GimpParamDef args[] = {
        { GIMP_PDB_INT32, "run_mode", "Run mode" },
        { GIMP_PDB_IMAGE, "image", "(unused)" },
        { GIMP_PDB_DRAWABLE, "drawable", "Drawable" },
    };
    gimp_install_procedure("vareknoise2-passthrough", "Camera-noise filter transfers only",
                           "Benchmark floor: the filter's pixel-region traffic without arithmetic.",
                           "Corvella", "", "", NULL, "GRAY*, RGB*", GIMP_PLUGIN,
                           G_N_ELEMENTS(args), 0, args, NULL);
}

typedef struct {
    GimpPixelRgn *src, *dst;
} Pair;

static void get_row(void *c, int d, unsigned char *b, int x, int y, int w)
{
    gimp_pixel_rgn_get_row(d ? ((Pair *)c)->dst : ((Pair *)c)->src, b, x, y, w);
}
static void set_row(void *c, const unsigned char *b, int x, int y, int w)
{
    gimp_pixel_rgn_set_row(((Pair *)c)->dst, b, x, y, w);
}
static void get_col(void *c, int d, unsigned char *b, int x, int y, int h)
{
    gimp_pixel_rgn_get_col(d ? ((Pair *)c)->dst : ((Pair *)c)->src, b, x, y, h);
}
static void set_col(void *c, const unsigned char *b, int x, int y, int h)
{
    gimp_pixel_rgn_set_col(((Pair *)c)->dst, b, x, y, h);
}
static void p_init(void *c, const char *m)
{
    (void)c;
    gimp_progress_init(m);
}
static void p_update(void *c, double f)
{
    (void)c;
    gimp_progress_update(f);
}

static void run(const gchar *name, gint nparams, const GimpParam *param, gint *nreturn_vals,
                GimpParam **return_vals)
{
    static GimpParam values[1];
    (void)name;
    *nreturn_vals = 1;
    *return_vals = values;
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
    if (nparams != 3 || !gimp_item_is_drawable(param[2].data.d_drawable))
        return;

    GimpDrawable *drawable = gimp_drawable_get(param[2].data.d_drawable);
    gimp_tile_cache_ntiles(2 * (drawable->width / gimp_tile_width()) + 2);
    GimpPixelRgn src, dst;
    gint x1, y1, x2, y2;
    gimp_pixel_rgn_init(&src, drawable, 0, 0, drawable->width, drawable->height, FALSE, FALSE);
    gimp_pixel_rgn_init(&dst, drawable, 0, 0, drawable->width, drawable->height, TRUE, TRUE);
    gimp_drawable_mask_bounds(drawable->drawable_id, &x1, &y1, &x2, &y2);
    Pair pair = { &src, &dst };
    NoiseRegionIo io = { &pair, get_row, set_row, get_col, set_col, p_init, p_update };
    values[0].data.d_status = GIMP_PDB_EXECUTION_ERROR;
    if (noise_region_transfer(drawable->bpp, x1, x2, y1, y2, &io) == 0) {
        gimp_drawable_flush(drawable);
        gimp_drawable_merge_shadow(drawable->drawable_id, TRUE);
        gimp_drawable_update(drawable->drawable_id, x1, y1, x2 - x1, y2 - y1);
        values[0].data.d_status = GIMP_PDB_SUCCESS;
    }
    gimp_drawable_detach(drawable);
}
