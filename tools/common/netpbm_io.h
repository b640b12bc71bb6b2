/* Reading and writing 8-bit Netpbm images (PGM, PPM and PAM) for the
 * filters' command-line tools.  GIMP-free. */
#ifndef CORVELLA_NETPBM_IO_H
#define CORVELLA_NETPBM_IO_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    int width, height;
    int channels;          /* 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA */
    unsigned char *pixels; /* width*height*channels bytes, rows top to bottom,
                              samples interleaved */
} NetpbmImage;

/* Largest side and sample count accepted, so a damaged header cannot ask
 * for absurd amounts of memory. */
#define NETPBM_MAX_SIDE    65536
#define NETPBM_MAX_SAMPLES (1u << 30)

/* Binary P5, P6, or P7 (TUPLTYPE GRAYSCALE, GRAYSCALE_ALPHA, RGB, RGB_ALPHA)
 * with maxval 255.  Returns 0, or -1 with a one-line message naming the
 * file in err (always terminated, never longer than errlen). */
int netpbm_read(const char *path, NetpbmImage *img, char *err, size_t errlen);

/* The same from an open stream positioned at the magic number; name is
 * the file name used in messages.  The stream is left open. */
int netpbm_read_stream(FILE *f, const char *name, NetpbmImage *img, char *err, size_t errlen);

/* P5 for one channel, P6 for three, P7 for two and four.  The image goes to
 * a temporary file beside path that is renamed into place, so a failure
 * leaves neither a half-written file nor a changed old one. */
int netpbm_write(const char *path, const NetpbmImage *img, char *err, size_t errlen);

/* 0, or -1 when the size is out of range or memory is short; pixels are
 * left undefined. */
int netpbm_alloc(NetpbmImage *img, int width, int height, int channels);
void netpbm_free(NetpbmImage *img);

/* Whether two paths name the same file: the same text, or the same
 * existing file (device and inode), so that writing one would replace the
 * other. */
int netpbm_same_file(const char *a, const char *b);

#ifdef __cplusplus
}
#endif

#endif
