/* tessaline: film-grain and video-noise remover for RGB layers.
 *
 * Registers "plug_in_tessaline" under "<Image>/Photo/B/Noise/Film Grain
 * Remover", keeps the three grain levels between runs as a 12-byte
 * procedure-data block, and shows a dialog with one slider row per colour
 * channel. */
#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

#include "grain_filter.h"
#include "grain_options.h"
#include "param_pdb.h"

#define PROC_NAME "plug_in_tessaline"

/* Dialog responses. */
#define RESPONSE_QUIT 0
#define RESPONSE_OK   1

static void query(void);
static void run(const gchar *name, gint nparams, const GimpParam *param,
                gint *nreturn_vals, GimpParam **return_vals);

static GrainParams grain_params = {GRAIN_DEFAULT_RED, GRAIN_DEFAULT_GREEN, GRAIN_DEFAULT_BLUE};

const GimpPlugInInfo PLUG_IN_INFO = {NULL, NULL, query, run};

MAIN()

static void query(void)
{
    GimpParamDef args[8] = {
        {GIMP_PDB_INT32, "run_mode", "Interactive"},
        {GIMP_PDB_IMAGE, "image", "Input image"},
        {GIMP_PDB_DRAWABLE, "drawable", "Input drawable"},
    };
    const gint nargs = 3 + param_table_pdb_args(&grain_option_table, args + 3, G_N_ELEMENTS(args) - 3);
    static const char authors[] = "Corvella developers";
    gimp_install_procedure(PROC_NAME, "Film Grain reduction for Gimp 1.3 / 2.0",
                           "Reduces film grain or video noise", authors, authors,
                           "2002 - 2004", "<Image>/Photo/B/Noise/Film Grain Remover", "RGB",
                           GIMP_PLUGIN, nargs, 0, args, NULL);
}

/* Restores the stored block; a block of another size (not ours) is ignored
 * rather than copied over the record. */
static void restore_params(void)
{
    guint8 bytes[GRAIN_PARAMS_BYTES];
    if (gimp_procedural_db_get_data_size(PROC_NAME) != GRAIN_PARAMS_BYTES)
        return;
    if (gimp_procedural_db_get_data(PROC_NAME, bytes))
        grain_params_from_bytes(&grain_params, bytes);
}

static void store_params(void)
{
    guint8 bytes[GRAIN_PARAMS_BYTES];
    grain_params_to_bytes(&grain_params, bytes);
    gimp_procedural_db_set_data(PROC_NAME, bytes, GRAIN_PARAMS_BYTES);
}

/* ---- dialog ------------------------------------------------------------ */

static void level_changed(GtkAdjustment *adjustment, gpointer data)
{
    int32_t *levels[3] = {&grain_params.red, &grain_params.green, &grain_params.blue};
    *levels[GPOINTER_TO_INT(data)] = (int32_t)gtk_adjustment_get_value(adjustment);
}

static GtkObject *make_level_row(GtkWidget *box, const gchar *text, gint index)
{
    const int32_t levels[3] = {grain_params.red, grain_params.green, grain_params.blue};
    GtkWidget *label = gtk_label_new(text);
    GtkObject *adj = gtk_adjustment_new(levels[index], 0, 99, 1, 1, 1);
    GtkWidget *scale = gtk_hscale_new(GTK_ADJUSTMENT(adj));
    gtk_scale_set_digits(GTK_SCALE(scale), 0);
    gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);

    GtkWidget *spin = gtk_spin_button_new(GTK_ADJUSTMENT(adj), 0, 0);
    gtk_widget_set_usize(spin,
                         gdk_string_width(gtk_style_get_font(gtk_widget_get_style(spin)), "99") + 25,
                         0);

    GtkWidget *inner = gtk_hbox_new(TRUE, 2);
    gtk_box_pack_start(GTK_BOX(inner), label, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(inner), spin, TRUE, TRUE, 0);
    GtkWidget *outer = gtk_hbox_new(TRUE, 2);
    gtk_box_pack_start(GTK_BOX(outer), inner, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(outer), scale, TRUE, TRUE, 0);

    gtk_signal_connect_full(adj, "value_changed", GTK_SIGNAL_FUNC(level_changed), NULL,
                            GINT_TO_POINTER(index), NULL, FALSE, FALSE);
    gtk_box_pack_start(GTK_BOX(box), outer, TRUE, FALSE, 0);
    return adj;
}

static gint grain_dialog(void)
{
    gimp_ui_init(PROC_NAME, FALSE);
    GtkWidget *dialog = gimp_dialog_new("Tessaline", PROC_NAME, NULL, 0, NULL, NULL,
                                        GTK_STOCK_QUIT, RESPONSE_QUIT,
                                        GTK_STOCK_OK, RESPONSE_OK, NULL);
    GtkWidget *box = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    make_level_row(box, "Red", 0);
    make_level_row(box, "Green", 1);
    make_level_row(box, "Blue", 2);
    gtk_widget_show_all(dialog);
    return gimp_dialog_run(GIMP_DIALOG(dialog));
}

/* ---- run --------------------------------------------------------------- */

static void run(const gchar *name, gint nparams, const GimpParam *param,
                gint *nreturn_vals, GimpParam **return_vals)
{
    static GimpParam values[1];
    GimpPDBStatusType status = GIMP_PDB_SUCCESS;
    (void)name;

    *nreturn_vals = 1;
    *return_vals = values;
    values[0].type = GIMP_PDB_STATUS;

    /* Every mode needs the run mode and the drawable. */
    if (nparams < 3) {
        values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
        return;
    }
    const GimpRunMode run_mode = (GimpRunMode)param[0].data.d_int32;
    const gint32 drawable_id = param[2].data.d_drawable;

    if (run_mode == GIMP_RUN_NONINTERACTIVE && nparams != 3 + (gint)grain_option_table.count)
        status = GIMP_PDB_CALLING_ERROR;
    else if (!gimp_item_is_valid(drawable_id) || !gimp_item_is_drawable(drawable_id))
        status = GIMP_PDB_CALLING_ERROR;
    else if (!gimp_drawable_is_rgb(drawable_id) || gimp_drawable_has_alpha(drawable_id) ||
             gimp_drawable_bpp(drawable_id) != 3)
        /* Reached only by calls that bypass the menu's "RGB" filter: the
         * filter knows three channels, so other layouts are refused whole. */
        status = GIMP_PDB_EXECUTION_ERROR;
    if (status != GIMP_PDB_SUCCESS) {
        values[0].data.d_status = status;
        return;
    }

    switch (run_mode) {
    case GIMP_RUN_INTERACTIVE: {
        restore_params();
        /* Only OK goes on: Quit, Escape and closing the window
         * (GTK_RESPONSE_DELETE_EVENT) leave the layer and the stored levels. */
        const gint response = grain_dialog();
        if (response == RESPONSE_QUIT || response < 0) {
            values[0].data.d_status = GIMP_PDB_SUCCESS;
            return;
        }
        break;
    }
    case GIMP_RUN_NONINTERACTIVE:
        for (size_t k = 0; k < grain_option_table.count; k++)
            param_store(&grain_option_table.specs[k], &grain_params, param[3 + k].data.d_int32);
        break;
    case GIMP_RUN_WITH_LAST_VALS:
        restore_params();
        break;
    default:
        break;
    }

    if (!grain_filter(gimp_drawable_get(drawable_id), &grain_params))
        status = GIMP_PDB_EXECUTION_ERROR;
    if (run_mode != GIMP_RUN_NONINTERACTIVE)
        gimp_displays_flush();
    if (run_mode == GIMP_RUN_INTERACTIVE && status == GIMP_PDB_SUCCESS)
        store_params();
    values[0].data.d_status = status;
}
