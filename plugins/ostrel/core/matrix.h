/* Single-channel float images, the allocation routine of the refocus
 * filter, the boundary index mappings and the Netpbm debug files. */
#ifndef OSTREL_MATRIX_H
#define OSTREL_MATRIX_H

#include <stddef.h>
#include <stdio.h>

#include "boundary_index.h"

#ifdef __cplusplus
extern "C" {
#endif

/* width x height floats, row after row; element (x, y) is
 * data[x + y * width].  Values are on the byte scale 0..255. */
typedef struct Matrix {
    int width;
    int height;
    float *data;
} Matrix;

/* Never returns NULL: on failure prints "Allocation of %lu bytes failed\n"
 * to stderr and exits with status 1.  Release with free(). */
void *xmalloc(size_t size);
/* xmalloc for large arrays read a row apart (freed with free): where the
 * system offers them on request, backed by large pages. */
void *xmalloc_pages(size_t size);
/* NULL for NULL, else a copy made with xmalloc. */
char *xstrdup(const char *text);

/* Contents undefined after creation.  Negative sizes count as 0. */
void matrix_create(Matrix *m, int width, int height);
void matrix_create_like(Matrix *m, const Matrix *src);
/* Marks the descriptor as holding no array, releasing nothing. */
void matrix_reset(Matrix *m);
/* Releases data (may be NULL); the dimensions stay. */
void matrix_destroy(Matrix *m);
/* Element k = bytes[k]. */
void matrix_fill_bytes(Matrix *m, const unsigned char *bytes);
/* Element k = bytes[offset + 3k]. */
void matrix_fill_bytes3(Matrix *m, const unsigned char *bytes, int offset);

/* mirror_index ("mirror boundary") and wrap_index ("periodical boundary")
 * come from boundary_index.h. */

/* Netpbm debug files with the comment "# Deblur output".  Colour (P3/P6)
 * when second and third both hold arrays, grey (P2/P5) otherwise; binary
 * selects P5/P6.  0 on success, -1 on any failed write. */
int pnm_write(const Matrix *first, const Matrix *second, const Matrix *third,
              int binary, FILE *file);
int pnm_save(const Matrix *first, const Matrix *second, const Matrix *third,
             int binary, const char *path);

/* Reads P2, P3, P5 or P6 into newly created matrices (grey into first,
 * colour into first/second/third); *channels (when given) gets 1 or 3.
 * -1 with errno EINVAL on malformed input.  On any -1 every matrix is left
 * holding no array (data NULL), so nothing needs releasing.  A file that
 * ends early is accepted (0); unread elements are 0. */
int pnm_read(Matrix *first, Matrix *second, Matrix *third, int *channels,
             FILE *file);
int pnm_load(Matrix *first, Matrix *second, Matrix *third, int *channels,
             const char *path);
/* The same, also telling through *complete whether every sample was
 * present (0 when the file ended early or a token was not a number). */
int pnm_read_full(Matrix *first, Matrix *second, Matrix *third, int *channels,
                  FILE *file, int *complete);
int pnm_load_full(Matrix *first, Matrix *second, Matrix *third, int *channels,
                  const char *path, int *complete);

/* Largest width * height pnm_read accepts (default PNM_MAX_PIXELS), so
 * that a hostile header cannot ask for gigabytes; larger files fail with
 * EFBIG.  Process-wide; the fuzz target lowers it. */
#define PNM_MAX_PIXELS (1L << 25)
void pnm_set_max_pixels(long max_pixels);

#ifdef __cplusplus
}
#endif

#endif
