/* Reading and writing photographs for corvella-batch through libvips:
 * JPEG, PNG, TIFF and WebP in, the same format out, with EXIF, XMP and the
 * ICC profile kept. */
#ifndef CORVELLA_BATCH_IMAGE_H
#define CORVELLA_BATCH_IMAGE_H

#include <stddef.h>

#include <vips/vips.h>

/* Starts libvips in a process that reads and writes photographs; 0, or -1
 * when libvips cannot start. */
int batch_vips_start(const char *program);

typedef struct {
    VipsImage *source;       /* the 8-bit image whose metadata the output keeps */
    unsigned char *pixels;   /* width x height x channels bytes, interleaved */
    int width, height, channels;
    const char *format;      /* "jpeg", "png", "tiff" or "webp" */
    char notes[160];         /* what was done to fit the filter, or "" */
} BatchImage;

/* Reads path and brings it to 8-bit grey, grey + alpha, RGB or RGBA.
 * 0, or -1 with a one-line reason in msg (unreadable, truncated, indexed,
 * a format that cannot be written back, ...). */
int batch_image_load(const char *path, BatchImage *img, char *msg, size_t msglen);

/* Encodes the (filtered) pixels in the input's format with its metadata;
 * JPEG and WebP at quality.  The caller frees *data with g_free.  0, or -1
 * with a reason. */
int batch_image_encode(const BatchImage *img, int quality, void **data, size_t *size, char *msg,
                       size_t msglen);

void batch_image_free(BatchImage *img);

#endif
