/* Varek Noise 2: a digital-camera noise filter for GIMP 2.
 *
 * The frame around the GIMP-free core: registration, the run procedure's
 * editor calls, the dialog with its live preview, and the pixel-region
 * transfers of the region filter. */
#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "noise_filter.h"
#include "noise_options.h"
#include "param_pdb.h"
#include "noise_run.h"

/* The one parameter record; its raw bytes are the stored block. */
static NoiseParams noise_params;

static void query(void);
static void run(const gchar *name, gint nparams, const GimpParam *param, gint *nreturn_vals,
                GimpParam **return_vals);
static gboolean noise_filter_drawable(GimpDrawable *drawable);
static gboolean noise_dialog(GimpDrawable *drawable);

const GimpPlugInInfo PLUG_IN_INFO = { NULL, NULL, query, run };

MAIN()

static void query(void)
{
    GimpParamDef args[16] = {
        { GIMP_PDB_INT32, "run_mode", "Interactive, non-interactive" },
        { GIMP_PDB_IMAGE, "image", "(unused)" },
        { GIMP_PDB_DRAWABLE, "drawable", "Drawable to draw on" },
    };
    gint nargs = 3 + param_table_pdb_args(&noise_option_table, args + 3, G_N_ELEMENTS(args) - 3);

    gimp_install_procedure(NOISE_PROC_NAME,
                           "A Digital Camera Noise filter",
                           "It is commonly used on photographic images, and is provides a much more "
                           "pleasing result than the standard denoising filters.",
                           "This is an experimental version. ",
                           "",
                           "",
                           "_Varek Noise 2 0.64 ...",
                           "GRAY*, RGB*",
                           GIMP_PLUGIN,
                           nargs, 0,
                           args, NULL);
    gimp_plugin_menu_register(NOISE_PROC_NAME, "<Image>/Photo/B/Noise");
}

/* ---- Run procedure ------------------------------------------------------------- */

static size_t host_get_data(void *ctx, unsigned char *blob)
{
    (void)ctx;
    gint size = gimp_procedural_db_get_data_size(NOISE_PROC_NAME);
    if (size <= 0)
        return 0;
    if (size != NOISE_PARAMS_BLOB_SIZE)
        return (size_t)size;
    return gimp_procedural_db_get_data(NOISE_PROC_NAME, blob) ? NOISE_PARAMS_BLOB_SIZE : 0;
}

static void host_set_data(void *ctx, const unsigned char *blob, size_t size)
{
    (void)ctx;
    gimp_procedural_db_set_data(NOISE_PROC_NAME, blob, size);
}

static void *host_drawable_get(void *ctx, gint32 id)
{
    (void)ctx;
    if (!gimp_item_is_valid(id) || !gimp_item_is_drawable(id) || gimp_drawable_is_indexed(id))
        return NULL;
    GimpPrecision precision = gimp_image_get_precision(gimp_item_get_image(id));
    if (precision != GIMP_PRECISION_U8_GAMMA && precision != GIMP_PRECISION_U8_LINEAR)
        return NULL;
    GimpDrawable *drawable = gimp_drawable_get(id);
    if (drawable && (drawable->bpp < 1 || drawable->bpp > 4)) {
        gimp_drawable_detach(drawable);
        return NULL;
    }
    return drawable;
}

static gint host_drawable_width(void *ctx, void *drawable)
{
    (void)ctx;
    return (gint)((GimpDrawable *)drawable)->width;
}

static gint host_tile_width(void *ctx)
{
    (void)ctx;
    return gimp_tile_width();
}

static void host_tile_cache(void *ctx, gint ntiles)
{
    (void)ctx;
    gimp_tile_cache_ntiles(ntiles);
}

static gboolean host_dialog(void *ctx, void *drawable, NoiseParams *params)
{
    (void)ctx;
    (void)params; /* the dialog edits the process-wide record, which is *params */
    return noise_dialog(drawable);
}

static gboolean host_filter(void *ctx, void *drawable, const NoiseParams *params)
{
    (void)ctx;
    (void)params;
    return noise_filter_drawable(drawable);
}

static void host_flush(void *ctx)
{
    (void)ctx;
    gimp_displays_flush();
}

static void host_detach(void *ctx, void *drawable)
{
    (void)ctx;
    gimp_drawable_detach(drawable);
}

static void run(const gchar *name, gint nparams, const GimpParam *param, gint *nreturn_vals,
                GimpParam **return_vals)
{
    static GimpParam values[1];
    static const NoiseHost host = {
        NULL, host_get_data, host_set_data, host_drawable_get, host_drawable_width,
        host_tile_width, host_tile_cache, host_dialog, host_filter, host_flush, host_detach,
    };
    (void)name;

    noise_params = noise_params_defaults;
    *nreturn_vals = 1;
    *return_vals = values;
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = GIMP_PDB_SUCCESS;

    values[0].data.d_status = noise_run(&host, &noise_params, nparams, param);
}

/* ---- Region filter through pixel regions ------------------------------ */

typedef struct {
    GimpPixelRgn *src, *dst;
} RegionPair;

static void rgn_get_row(void *ctx, int from_dst, unsigned char *buf, int x, int y, int w)
{
    RegionPair *r = ctx;
    gimp_pixel_rgn_get_row(from_dst ? r->dst : r->src, buf, x, y, w);
}

static void rgn_set_row(void *ctx, const unsigned char *buf, int x, int y, int w)
{
    gimp_pixel_rgn_set_row(((RegionPair *)ctx)->dst, buf, x, y, w);
}

static void rgn_get_col(void *ctx, int from_dst, unsigned char *buf, int x, int y, int h)
{
    RegionPair *r = ctx;
    gimp_pixel_rgn_get_col(from_dst ? r->dst : r->src, buf, x, y, h);
}

static void rgn_set_col(void *ctx, const unsigned char *buf, int x, int y, int h)
{
    gimp_pixel_rgn_set_col(((RegionPair *)ctx)->dst, buf, x, y, h);
}

static void progress_init(void *ctx, const char *message)
{
    (void)ctx;
    gimp_progress_init(message);
}

static void progress_update(void *ctx, double fraction)
{
    (void)ctx;
    gimp_progress_update(fraction);
}

/* Filters x1..x2-1, y1..y2-1 of src into dst; FALSE when the filter
 * refused (values it cannot compute, an unsupported pixel size). */
static gboolean noise_filter_region(GimpPixelRgn *src, GimpPixelRgn *dst, gint bpp, gdouble radius,
                                    gdouble lsmooth, gint x1, gint x2, gint y1, gint y2,
                                    gboolean show_progress)
{
    RegionPair pair = { src, dst };
    NoiseRegionIo io = { &pair, rgn_get_row, rgn_set_row, rgn_get_col, rgn_set_col,
                         show_progress ? progress_init : NULL,
                         show_progress ? progress_update : NULL };
    return noise_filter_run(&noise_params, radius, lsmooth, bpp, x1, x2, y1, y2, &io) == 0;
}

static gboolean noise_filter_drawable(GimpDrawable *drawable)
{
    GimpPixelRgn src, dst;
    gint x1, y1, x2, y2, w, h;

    /* A selection that misses the drawable leaves nothing to filter (and
     * no shadow to merge). */
    if (!gimp_drawable_mask_intersect(drawable->drawable_id, &x1, &y1, &w, &h) || w < 1 || h < 1)
        return TRUE;
    x2 = x1 + w;
    y2 = y1 + h;
    gimp_pixel_rgn_init(&src, drawable, 0, 0, drawable->width, drawable->height, FALSE, FALSE);
    gimp_pixel_rgn_init(&dst, drawable, 0, 0, drawable->width, drawable->height, TRUE, TRUE);
    if (!noise_filter_region(&src, &dst, drawable->bpp, noise_params.radius, noise_params.lsmooth,
                             x1, x2, y1, y2, TRUE))
        return FALSE;
    gimp_drawable_flush(drawable);
    gimp_drawable_merge_shadow(drawable->drawable_id, TRUE);
    gimp_drawable_update(drawable->drawable_id, x1, y1, x2 - x1, y2 - y1);
    return TRUE;
}

/* ---- Dialog and preview ---------------------------------------------------- */

static void preview_update(GimpPreview *preview, GimpDrawable *drawable)
{
    GimpPixelRgn src, dst, shown;
    gint px, py, pw, ph;

    gimp_pixel_rgn_init(&src, drawable, 0, 0, drawable->width, drawable->height, FALSE, FALSE);
    gimp_pixel_rgn_init(&dst, drawable, 0, 0, drawable->width, drawable->height, TRUE, TRUE);
    gimp_preview_get_position(preview, &px, &py);
    gimp_preview_get_size(preview, &pw, &ph);

    gint x1, y1, x2, y2;
    noise_preview_rect(&noise_params, px, py, pw, ph, drawable->width, drawable->height,
                       &x1, &y1, &x2, &y2);
    if (!noise_filter_region(&src, &dst, drawable->bpp, noise_params.radius, noise_params.lsmooth,
                             x1, x2, y1, y2, FALSE))
        return;
    gimp_pixel_rgn_init(&shown, drawable, px, py, pw, ph, FALSE, TRUE);
    gimp_drawable_preview_draw_region(GIMP_DRAWABLE_PREVIEW(preview), &shown);
}

static void preview_toggled(GimpPreview *preview, GParamSpec *pspec, int32_t *flag)
{
    (void)pspec;
    *flag = gimp_preview_get_update(preview) ? 1 : 0;
}

typedef struct {
    gint row;
    const gchar *label;
    gdouble *field;
    gdouble lower, upper, step, page;
    gint digits;
    gboolean logarithmic;
} ScaleRow;

static gboolean noise_dialog(GimpDrawable *drawable)
{
    NoiseParams *p = &noise_params;
    /* In creation order; the row numbers give the order on screen. */
    const ScaleRow rows[] = {
        { 0, "_Filter max. Radius:", &p->radius, 0.5, 50, 0.5, 0.5, 1, FALSE },
        { 8, "_Luminance tolerance:", &p->lsmooth, 0, 1, 0.1, 0.1, 2, TRUE },
        { 9, "_Color tolerance:", &p->csmooth, 0, 1, 0.1, 0.1, 2, TRUE },
        { 1, "_Filter Threshold:", &p->effect, 0, 1, 0.01, 0.01, 2, TRUE },
        { 5, "_Lookahead:", &p->lookahead, 0.5, 20, 0.01, 0.01, 2, FALSE },
        { 7, "_Gamma:", &p->gamma, 0.02, 5, 0.01, 0.1, 2, FALSE },
        { 6, "_Phase Jitter damping:", &p->damping, 0, 20, 0.5, 0.5, 1, FALSE },
        { 4, "_Edge Erosion:", &p->phase, 0, 10, 1, 1, 0, FALSE },
        { 2, "_Texture Detail:", &p->texture, -1, 1, 0.01, 0.1, 2, FALSE },
        { 3, "_Sharpness:", &p->sharp, 0, 1, 0.01, 0.1, 2, FALSE },
    };
    GtkWidget *dialog, *main_vbox, *preview, *table;
    gboolean ok;

    gimp_ui_init("unsharp", TRUE);
    dialog = gimp_dialog_new("Varek Noise 2 V 0.64", "vareknoise2-0.64", NULL, 0,
                             gimp_standard_help_func, "plug-in-vareknoise2-0.64",
                             GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
                             GTK_STOCK_OK, GTK_RESPONSE_OK,
                             NULL);

    main_vbox = gtk_vbox_new(FALSE, 12);
    gtk_container_set_border_width(GTK_CONTAINER(main_vbox), 12);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), main_vbox,
                       TRUE, TRUE, 0);
    gtk_widget_show(main_vbox);

    /* The preview's update toggle is bound to the record's preview flag by
     * hand: libgimp 2.10's gimp_drawable_preview_new, which binds it,
     * trips an assertion of its own when it attaches the drawable. */
    preview = gimp_drawable_preview_new_from_drawable_id(drawable->drawable_id);
    gimp_preview_set_update(GIMP_PREVIEW(preview), p->preview != 0);
    g_signal_connect(preview, "notify::update", G_CALLBACK(preview_toggled), &p->preview);
    gtk_box_pack_start(GTK_BOX(main_vbox), preview, TRUE, TRUE, 0);
    gtk_widget_show(preview);
    g_signal_connect(preview, "invalidated", G_CALLBACK(preview_update), drawable);

    table = gtk_table_new(3, 3, FALSE);
    gtk_table_set_col_spacings(GTK_TABLE(table), 6);
    gtk_table_set_row_spacings(GTK_TABLE(table), 6);
    gtk_box_pack_start(GTK_BOX(main_vbox), table, FALSE, FALSE, 0);
    gtk_widget_show(table);

    for (gsize i = 0; i < G_N_ELEMENTS(rows); i++) {
        const ScaleRow *r = &rows[i];
        GtkObject *adj = gimp_scale_entry_new(GTK_TABLE(table), 0, r->row, r->label, 150, 4,
                                              *r->field, r->lower, r->upper, r->step, r->page,
                                              r->digits, TRUE, 0, 0, NULL, NULL);
        if (r->logarithmic)
            gimp_scale_entry_set_logarithmic(adj, TRUE);
        g_signal_connect(adj, "value_changed", G_CALLBACK(gimp_double_adjustment_update), r->field);
        g_signal_connect_swapped(adj, "value_changed", G_CALLBACK(gimp_preview_invalidate), preview);
    }

    gtk_widget_show(dialog);
    ok = gimp_dialog_run(GIMP_DIALOG(dialog)) == GTK_RESPONSE_OK;
    gtk_widget_destroy(dialog);
    return ok;
}
