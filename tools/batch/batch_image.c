#define _GNU_SOURCE /* dladdr */

#include "batch_image.h"

#include <dlfcn.h>
#include <libintl.h>
#include <stdlib.h>
#include <string.h>

#include <gmodule.h>

/* libvips loads its optional format modules (HEIF, JPEG XL, PDF, OpenSlide,
 * ImageMagick) when it starts, and with them some forty libraries: 30 of
 * the 33 ms a start takes, which every worker pays and which weighs on a
 * batch of quick filters.  None of them reads a format the batch takes;
 * they only name the format of a file it refuses.  So libvips starts
 * without them (its home pointed at a folder that holds none for the
 * while), and they are loaded from beside the library when a file is not
 * one libvips knows without them. */
static char *module_dir;

int batch_vips_start(const char *program)
{
    char *home = g_strdup(g_getenv("VIPSHOME"));
    g_setenv("VIPSHOME", "/dev/null", TRUE);
    int status = VIPS_INIT(program);
    if (home)
        g_setenv("VIPSHOME", home, TRUE);
    else
        g_unsetenv("VIPSHOME");
    g_free(home);
    if (status)
        return -1;
    /* The home also placed libvips' message catalogue. */
    char domain[32];
    snprintf(domain, sizeof domain, "vips%d.%d", vips_version(0), vips_version(1));
    char *locale = g_build_filename(vips_guess_prefix(program, "VIPSHOME"), "share", "locale",
                                    NULL);
    bindtextdomain(domain, locale);
    g_free(locale);
    /* The modules lie beside the library. */
    Dl_info info;
    if (dladdr((void *)vips_init, &info) && info.dli_fname) {
        char *lib = g_path_get_dirname(info.dli_fname);
        module_dir = g_strdup_printf("%s/vips-modules-%d.%d", lib, vips_version(0),
                                     vips_version(1));
        g_free(lib);
    }
    return 0;
}

static int by_name(const void *a, const void *b)
{
    return strcmp(*(char *const *)a, *(char *const *)b);
}

/* Loads the deferred modules, once, in name order. */
static void load_format_modules(void)
{
    char *path = module_dir;
    module_dir = NULL;
    GDir *dir = path ? g_dir_open(path, 0, NULL) : NULL;
    if (!dir) {
        g_free(path);
        return;
    }
    GPtrArray *names = g_ptr_array_new_with_free_func(g_free);
    for (const char *name; (name = g_dir_read_name(dir));)
        if (g_str_has_suffix(name, "." G_MODULE_SUFFIX))
            g_ptr_array_add(names, g_build_filename(path, name, NULL));
    g_dir_close(dir);
    g_free(path);
    qsort(names->pdata, names->len, sizeof(char *), by_name);
    for (guint k = 0; k < names->len; k++) {
        GModule *module = g_module_open(names->pdata[k], G_MODULE_BIND_LAZY);
        if (module)
            g_module_make_resident(module);
    }
    g_ptr_array_free(names, TRUE);
}

/* The first line of libvips' error buffer, which is then cleared. */
static void vips_reason(char *msg, size_t msglen, const char *fallback)
{
    const char *err = vips_error_buffer();
    size_t n = strcspn(err, "\n");
    if (n == 0)
        snprintf(msg, msglen, "%s", fallback);
    else
        snprintf(msg, msglen, "%.*s", (int)n, err);
    vips_error_clear();
}

static void add_note(BatchImage *img, const char *note)
{
    size_t n = strlen(img->notes);
    snprintf(img->notes + n, sizeof img->notes - n, "%s%s", n ? ", " : "", note);
}

/* Replaces *im by out (dropping the reference to the old one); -1 when the
 * operation failed (out NULL). */
static int step(VipsImage **im, VipsImage *out, int status)
{
    if (status != 0 || !out)
        return -1;
    g_object_unref(*im);
    *im = out;
    return 0;
}

static const struct {
    const char *loader, *format;
} formats[] = {
    { "jpegload", "jpeg" },
    { "pngload", "png" },
    { "tiffload", "tiff" },
    { "webpload", "webp" },
};

int batch_image_load(const char *path, BatchImage *img, char *msg, size_t msglen)
{
    memset(img, 0, sizeof *img);
    if (module_dir && !vips_foreign_find_load(path)) {
        vips_error_clear();
        load_format_modules();
    }
    VipsImage *im = vips_image_new_from_file(path, "fail_on", VIPS_FAIL_ON_TRUNCATED, "access",
                                             VIPS_ACCESS_SEQUENTIAL, NULL);
    if (!im) {
        vips_reason(msg, msglen, "not an image libvips can read");
        return -1;
    }
    const char *loader = "";
    if (vips_image_get_typeof(im, "vips-loader"))
        vips_image_get_string(im, "vips-loader", &loader);
    for (size_t k = 0; k < sizeof formats / sizeof formats[0]; k++)
        if (!strcmp(loader, formats[k].loader))
            img->format = formats[k].format;
    if (!img->format) {
        size_t n = strlen(loader);
        if (n > 4 && !strcmp(loader + n - 4, "load"))
            n -= 4;
        snprintf(msg, msglen, "%.*s files are not supported (JPEG, PNG, TIFF and WebP are)",
                 (int)n, loader);
        goto refuse;
    }
    /* Only the first page would be filtered and written. */
    int pages = 1;
    if (vips_image_get_typeof(im, VIPS_META_N_PAGES) &&
        vips_image_get_int(im, VIPS_META_N_PAGES, &pages) == 0 && pages > 1) {
        snprintf(msg, msglen, "a file of %d pages or frames is not supported", pages);
        goto refuse;
    }
    if (vips_image_get_typeof(im, "palette-bit-depth")) {
        snprintf(msg, msglen, "an indexed (palette) image is not supported");
        goto refuse;
    }

    VipsImage *out = NULL;
    if (im->Coding != VIPS_CODING_NONE && step(&im, out, vips_image_decode(im, &out)) != 0)
        goto vips_failed;

    VipsInterpretation kind = vips_image_guess_interpretation(im);
    if (kind == VIPS_INTERPRETATION_CMYK) {
        if (step(&im, out, vips_colourspace(im, &out, VIPS_INTERPRETATION_sRGB, NULL)) != 0)
            goto vips_failed;
        /* The profile described the CMYK samples. */
        if (step(&im, out, vips_copy(im, &out, NULL)) != 0)
            goto vips_failed;
        vips_image_remove(im, VIPS_META_ICC_NAME);
        add_note(img, "CMYK converted to sRGB");
    } else if (kind != VIPS_INTERPRETATION_sRGB && kind != VIPS_INTERPRETATION_RGB16 &&
               kind != VIPS_INTERPRETATION_B_W && kind != VIPS_INTERPRETATION_GREY16) {
        if (!vips_colourspace_issupported(im)) {
            snprintf(msg, msglen, "%d bands of kind %s are not supported", im->Bands,
                     vips_enum_nick(VIPS_TYPE_INTERPRETATION, kind));
            goto refuse;
        }
        char note[80];
        snprintf(note, sizeof note, "%s converted to sRGB",
                 vips_enum_nick(VIPS_TYPE_INTERPRETATION, kind));
        if (step(&im, out, vips_colourspace(im, &out, VIPS_INTERPRETATION_sRGB, NULL)) != 0)
            goto vips_failed;
        add_note(img, note);
    }
    if (im->BandFmt == VIPS_FORMAT_USHORT) {
        int grey = im->Bands < 3;
        if (step(&im, out, vips_rshift_const1(im, &out, 8, NULL)) != 0 ||
            step(&im, out, vips_cast_uchar(im, &out, NULL)) != 0 ||
            step(&im, out,
                 vips_copy(im, &out, "interpretation",
                           grey ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB, NULL)) != 0)
            goto vips_failed;
        add_note(img, "16-bit input filtered at 8 bits per channel");
    }
    if (im->BandFmt != VIPS_FORMAT_UCHAR) {
        snprintf(msg, msglen, "%s samples are not supported",
                 vips_enum_nick(VIPS_TYPE_BAND_FORMAT, im->BandFmt));
        goto refuse;
    }
    if (im->Bands < 1 || im->Bands > 4) {
        snprintf(msg, msglen, "%d bands are not supported (1 to 4 are)", im->Bands);
        goto refuse;
    }

    size_t size = 0;
    img->pixels = vips_image_write_to_memory(im, &size);
    if (!img->pixels)
        goto vips_failed;
    img->width = im->Xsize;
    img->height = im->Ysize;
    img->channels = im->Bands;
    img->source = im;
    return 0;

vips_failed:
    vips_reason(msg, msglen, "libvips could not convert the image");
refuse:
    g_object_unref(im);
    img->format = NULL;
    return -1;
}

/* Header fields of every image; the rest (EXIF, XMP, ICC, ...) is metadata
 * that goes with the pixels. */
static int builtin_field(const char *name)
{
    static const char *const builtin[] = { "width",   "height",  "bands",    "format",
                                           "coding",  "interpretation", "xoffset", "yoffset",
                                           "xres",    "yres",    "filename", "mode",
                                           "scale",   "offset" };
    for (size_t k = 0; k < sizeof builtin / sizeof builtin[0]; k++)
        if (!strcmp(name, builtin[k]))
            return 1;
    return 0;
}

int batch_image_encode(const BatchImage *img, int quality, void **data, size_t *size, char *msg,
                       size_t msglen)
{
    const VipsImage *src = img->source;
    VipsImage *raw = vips_image_new_from_memory(img->pixels,
                                                (size_t)img->width * img->height * img->channels,
                                                img->width, img->height, img->channels,
                                                VIPS_FORMAT_UCHAR);
    VipsImage *out = NULL;
    if (!raw || vips_copy(raw, &out, "interpretation", src->Type, "xres", src->Xres, "yres",
                          src->Yres, "xoffset", src->Xoffset, "yoffset", src->Yoffset,
                          NULL) != 0) {
        if (raw)
            g_object_unref(raw);
        vips_reason(msg, msglen, "libvips could not take the pixels");
        return -1;
    }
    g_object_unref(raw);

    gchar **fields = vips_image_get_fields((VipsImage *)src);
    for (gchar **f = fields; *f; f++) {
        if (builtin_field(*f))
            continue;
        GValue value = G_VALUE_INIT;
        if (vips_image_get((VipsImage *)src, *f, &value) == 0) {
            vips_image_set(out, *f, &value);
            g_value_unset(&value);
        }
    }
    g_strfreev(fields);

    int status;
    *data = NULL;
    *size = 0;
    if (!strcmp(img->format, "jpeg"))
        status = vips_jpegsave_buffer(out, data, size, "Q", quality, NULL);
    else if (!strcmp(img->format, "png"))
        status = vips_pngsave_buffer(out, data, size, NULL);
    else if (!strcmp(img->format, "tiff"))
        status = vips_tiffsave_buffer(out, data, size, NULL);
    else
        status = vips_webpsave_buffer(out, data, size, "Q", quality, NULL);
    g_object_unref(out);
    if (status != 0) {
        vips_reason(msg, msglen, "libvips could not encode the image");
        return -1;
    }
    return 0;
}

void batch_image_free(BatchImage *img)
{
    if (img->source)
        g_object_unref(img->source);
    g_free(img->pixels);
    memset(img, 0, sizeof *img);
}
