#include "batch_filters.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void batch_settings_defaults(const BatchFilter *filter, BatchSettings *s)
{
    memset(s, 0, sizeof *s);
    if (filter->table == &noise_option_table)
        s->noise = noise_params_defaults;
    param_table_defaults(filter->table, s);
}

/* ---- refocus ----------------------------------------------------------- */

/* The values checked and run: those given, with the default noise weight
 * standing in for "--noise auto" until the image is there. */
static RefocusParams refocus_given(const BatchSettings *s)
{
    RefocusParams p = s->refocus.params;
    if (refocus_noise_is_auto(&p)) {
        RefocusParams defaults;
        refocus_params_default(&defaults);
        p.lambda = defaults.lambda;
    }
    return p;
}

static int refocus_check_values(const BatchSettings *s, char *msg, size_t msglen)
{
    RefocusParams p = refocus_given(s);
    return refocus_check(&p, 0, 0, 1, msg, msglen) ? -1 : 0;
}

typedef struct {
    BatchProgress progress;
    void *user;
} RefocusReport;

static void refocus_report(void *user, float fraction)
{
    RefocusReport *r = user;
    if (r->progress)
        r->progress(r->user, fraction);
}

static int refocus_run_pixels(const BatchSettings *s, unsigned char *pixels, int width,
                              int height, int channels, BatchProgress progress, void *user,
                              char *msg, size_t msglen)
{
    const RefocusOptions *o = &s->refocus;
    RefocusParams params = refocus_given(s);
    if (refocus_check(&params, width, height, 1, msg, msglen))
        return -1;
    int n = channels >= 3 ? 3 : 1;
    size_t npix = (size_t)width * (size_t)height;
    Matrix ch[3];
    for (int c = 0; c < n; c++) {
        matrix_create(&ch[c], width, height);
        for (size_t k = 0; k < npix; k++)
            ch[c].data[k] = pixels[k * (size_t)channels + (size_t)c];
    }
    if (refocus_noise_is_auto(&o->params)) {
        const Matrix *chans[3] = { &ch[0], &ch[1], &ch[2] };
        double levels[3], detail;
        double weight = refocus_auto_noise(&params, chans, n, levels, &detail);
        refocus_describe_auto_noise(msg, msglen, levels, n, detail, weight);
    }
    /* Every image starts the random steps where the tool does: at the
     * seed, or where an unseeded sequence starts. */
    refocus_srand(o->seed >= 0 ? (unsigned)o->seed : 1u);
    RefocusReport report = { progress, user };
    int status = refocus_compute_channels(&params, ch, n, o->iterations, refocus_report, &report);
    if (status == REFOCUS_DONE)
        for (int c = 0; c < n; c++)
            for (size_t k = 0; k < npix; k++)
                pixels[k * (size_t)channels + (size_t)c] = refocus_value_to_byte(ch[c].data[k]);
    else
        snprintf(msg, msglen, "the parameters cannot be used");
    for (int c = 0; c < n; c++)
        matrix_destroy(&ch[c]);
    return status == REFOCUS_DONE ? 0 : -1;
}

/* ---- camera noise ------------------------------------------------------ */

static int noise_check_values(const BatchSettings *s, char *msg, size_t msglen)
{
    const char *why = NULL;
    if (noise_params_check(&s->noise, &why) == 0)
        return 0;
    snprintf(msg, msglen, "%s", why);
    return -1;
}

static int noise_run_pixels(const BatchSettings *s, unsigned char *pixels, int width, int height,
                            int channels, BatchProgress progress, void *user, char *msg,
                            size_t msglen)
{
    size_t stride = (size_t)width * (size_t)channels;
    unsigned char *out = malloc(stride * (size_t)height);
    if (!out || noise_filter_buffer(&s->noise, pixels, (int)stride, out, (int)stride, width,
                                    height, channels) != 0) {
        free(out);
        snprintf(msg, msglen, "not enough memory to filter");
        return -1;
    }
    memcpy(pixels, out, stride * (size_t)height);
    free(out);
    if (progress)
        progress(user, 1.0);
    return 0;
}

/* ---- film grain -------------------------------------------------------- */

static int grain_check_values(const BatchSettings *s, char *msg, size_t msglen)
{
    (void)s, (void)msg, (void)msglen;
    return 0;
}

/* The colour channels are filtered as one RGB image (as the tool filters a
 * PPM); alpha is copied back untouched. */
static int grain_run_pixels(const BatchSettings *s, unsigned char *pixels, int width, int height,
                            int channels, BatchProgress progress, void *user, char *msg,
                            size_t msglen)
{
    if (channels < 3) {
        snprintf(msg, msglen, "the film-grain filter works on colour (RGB) images only");
        return -1;
    }
    size_t npix = (size_t)width * (size_t)height;
    unsigned char *rgb = calloc(npix, 3), *out = malloc(npix * 3);
    const int32_t levels[3] = { s->grain.red, s->grain.green, s->grain.blue };
    int failed = !rgb || !out;
    if (!failed) {
        for (size_t k = 0; k < npix; k++)
            memcpy(rgb + 3 * k, pixels + (size_t)channels * k, 3);
        failed = grain_filter_image(rgb, (size_t)width * 3, width, height, 3, levels, out,
                                    (size_t)width * 3) != 0;
    }
    if (!failed)
        for (size_t k = 0; k < npix; k++)
            memcpy(pixels + (size_t)channels * k, out + 3 * k, 3);
    else
        snprintf(msg, msglen, "image too large");
    free(rgb);
    free(out);
    if (!failed && progress)
        progress(user, 1.0);
    return failed ? -1 : 0;
}

static int refocus_iterations(const BatchSettings *s)
{
    return s->refocus.iterations;
}

static const BatchFilter refocus_filter = { "refocus", "ostrel-refocus", "refocusing",
                                            &refocus_option_table, refocus_check_values,
                                            refocus_run_pixels, refocus_iterations };
static const BatchFilter noise_filter = { "noise", "vareknoise2-filter", "denoising",
                                          &noise_option_table, noise_check_values,
                                          noise_run_pixels, NULL };
static const BatchFilter grain_filter = { "grain", "tessaline-filter", "removing grain",
                                          &grain_option_table, grain_check_values,
                                          grain_run_pixels, NULL };

const BatchFilter *const batch_filters[] = { &refocus_filter, &noise_filter, &grain_filter,
                                             NULL };

const BatchFilter *batch_filter_find(const char *name)
{
    for (const BatchFilter *const *f = batch_filters; *f; f++)
        if (!strcmp((*f)->name, name))
            return *f;
    return NULL;
}
