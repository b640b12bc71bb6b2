#include "noise_run.h"
#include "noise_options.h"

/* Restores *params from the stored block when one of the right size holds
 * usable values; otherwise the record keeps what it has. */
static void restore(const NoiseHost *host, NoiseParams *params)
{
    unsigned char blob[NOISE_PARAMS_BLOB_SIZE];
    if (host->get_data(host->ctx, blob) != NOISE_PARAMS_BLOB_SIZE)
        return;
    NoiseParams stored;
    if (noise_params_unpack(&stored, blob, sizeof blob) == 0 && noise_params_check(&stored, NULL) == 0)
        *params = stored;
}

/* Parameters 3.. onto the record's fields, in the order of the table. */
static gboolean take_call_values(NoiseParams *params, const GimpParam *param)
{
    for (size_t i = 0; i < noise_option_table.count; i++)
        if (param[3 + i].type != GIMP_PDB_FLOAT)
            return FALSE;
    for (size_t i = 0; i < noise_option_table.count; i++)
        param_store(&noise_option_table.specs[i], params, param[3 + i].data.d_float);
    return TRUE;
}

GimpPDBStatusType noise_run(const NoiseHost *host, NoiseParams *params, gint nparams,
                            const GimpParam *param)
{
    GimpPDBStatusType status = GIMP_PDB_SUCCESS;

    /* Without a run mode and a drawable there is nothing to work on. */
    if (nparams < 3 || !param)
        return GIMP_PDB_CALLING_ERROR;
    GimpRunMode run_mode = param[0].data.d_int32;
    void *drawable = host->drawable_get(host->ctx, param[2].data.d_drawable);
    if (!drawable)
        return GIMP_PDB_CALLING_ERROR;

    gint tile_width = host->tile_width(host->ctx);
    if (tile_width > 0)
        host->tile_cache_ntiles(host->ctx, 2 * (host->drawable_width(host->ctx, drawable) / tile_width) + 2);

    switch (run_mode) {
    case GIMP_RUN_INTERACTIVE:
        restore(host, params);
        if (!host->dialog(host->ctx, drawable, params)) {
            host->detach(host->ctx, drawable);
            return status;
        }
        break;
    case GIMP_RUN_NONINTERACTIVE:
        if (nparams != NOISE_NPARAMS || !take_call_values(params, param))
            status = GIMP_PDB_CALLING_ERROR;
        else if (params->radius < 0 || params->lsmooth < 0 || noise_params_check(params, NULL) != 0)
            status = GIMP_PDB_CALLING_ERROR; /* the values stay, unstored */
        break;
    case GIMP_RUN_WITH_LAST_VALS:
        restore(host, params);
        break;
    default:
        break;
    }

    if (status == GIMP_PDB_SUCCESS) {
        if (host->filter(host->ctx, drawable, params)) {
            unsigned char blob[NOISE_PARAMS_BLOB_SIZE];
            host->displays_flush(host->ctx);
            noise_params_pack(params, blob);
            host->set_data(host->ctx, blob, sizeof blob);
        } else {
            status = GIMP_PDB_EXECUTION_ERROR;
        }
    }
    host->detach(host->ctx, drawable);
    return status;
}

void noise_preview_rect(const NoiseParams *params, gint px, gint py, gint pw, gint ph,
                        gint width, gint height, gint *x1, gint *y1, gint *x2, gint *y2)
{
    NoiseDerived d;
    noise_derive(params, params->radius, &d);
    gint margin = (gint)(2.0 * params->radius + 0.5);
    if (margin < d.border)
        margin = d.border;
    *x1 = MAX(px - margin, 0);
    *y1 = MAX(py - margin, 0);
    *x2 = MIN(px + pw + margin, width);
    *y2 = MIN(py + ph + margin, height);
}
