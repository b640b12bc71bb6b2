/* Netpbm debug files: P2/P3 text and P5/P6 binary, maxval 255 on output. */
#include "matrix.h"

#include <errno.h>
#include <limits.h>
#include <string.h>

static long pnm_max_pixels = PNM_MAX_PIXELS;

void pnm_set_max_pixels(long max_pixels)
{
    pnm_max_pixels = max_pixels > 0 ? max_pixels : PNM_MAX_PIXELS;
}

/* Add 0.5 and truncate toward zero; values far outside the byte scale (or
 * NaN) are pinned first so the conversion stays defined. */
static int pnm_round(float v)
{
    if (!(v == v))
        return 0;
    if (v > 1e9f)
        v = 1e9f;
    if (v < -1e9f)
        v = -1e9f;
    return (int)(v + 0.5f);
}

static int has_array(const Matrix *m)
{
    return m && m->data;
}

static int same_size(const Matrix *a, const Matrix *b)
{
    return a->width == b->width && a->height == b->height;
}

int pnm_write(const Matrix *first, const Matrix *second, const Matrix *third,
              int binary, FILE *file)
{
    if (!first || !file || first->width < 0 || first->height < 0 ||
        (!first->data && (long)first->width * first->height > 0)) {
        errno = EINVAL;
        return -1;
    }
    int colour = has_array(second) && has_array(third);
    if (colour && (!same_size(first, second) || !same_size(first, third))) {
        errno = EINVAL;
        return -1;
    }
    int format = (colour ? 3 : 2) + (binary ? 3 : 0);
    if (fprintf(file, "P%d\n# Deblur output\n%d %d\n255", format, first->width,
                first->height) < 0)
        return -1;

    size_t n = (size_t)first->width * (size_t)first->height;
    if (binary) {
        if (fputc('\n', file) == EOF)
            return -1;
        for (size_t k = 0; k < n; k++) {
            unsigned char px[3];
            px[0] = (unsigned char)(pnm_round(first->data[k]) & 0xff);
            if (colour) {
                px[1] = (unsigned char)(pnm_round(second->data[k]) & 0xff);
                px[2] = (unsigned char)(pnm_round(third->data[k]) & 0xff);
            }
            size_t len = colour ? 3 : 1;
            if (fwrite(px, 1, len, file) != len)
                return -1;
        }
        return 0;
    }

    /* Break before the pixel that would start at or beyond the limit. */
    const int limit = colour ? 57 : 65;
    int count = limit;
    for (size_t k = 0; k < n; k++) {
        const char *blank = " ";
        if (count >= limit) {
            if (fputc('\n', file) == EOF)
                return -1;
            count = 0;
            blank = "";
        }
        int printed;
        if (colour)
            printed = fprintf(file, "%s%d %d %d", blank, pnm_round(first->data[k]),
                              pnm_round(second->data[k]), pnm_round(third->data[k]));
        else
            printed = fprintf(file, "%s%d", blank, pnm_round(first->data[k]));
        if (printed < 0)
            return -1;
        count += printed;
    }
    return 0;
}

int pnm_save(const Matrix *first, const Matrix *second, const Matrix *third,
             int binary, const char *path)
{
    FILE *file = fopen(path, "wb");
    if (!file)
        return -1;
    int result = pnm_write(first, second, third, binary, file);
    if (fclose(file) != 0)
        result = -1;
    return result;
}

/* A decimal integer as "%d" reads it (leading white space, optional sign).
 * Returns 0 on success, -1 when no number follows (or it does not fit an
 * int); the character after the number is pushed back. */
static int read_int(FILE *file, int *value)
{
    int c;
    do
        c = getc(file);
    while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
    int negative = 0;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = getc(file);
    }
    if (c < '0' || c > '9') {
        if (c != EOF)
            ungetc(c, file);
        return -1;
    }
    long v = 0;
    while (c >= '0' && c <= '9') {
        v = v * 10 + (c - '0');
        if (v > (long)INT_MAX + 1)
            return -1;
        c = getc(file);
    }
    if (c != EOF)
        ungetc(c, file);
    if (negative)
        v = -v;
    if (v > INT_MAX || v < INT_MIN)
        return -1;
    *value = (int)v;
    return 0;
}

static int fail(int error)
{
    errno = error;
    return -1;
}

/* Reads the rest of the header after the magic: blanks, the line feed,
 * comment lines, "width height maxval" and the line feed after it. */
static int read_header(FILE *file, int *width, int *height, int *maxval)
{
    int c;
    do
        c = getc(file);
    while (c == ' ' || c == '\t');
    if (c == '\r')
        c = getc(file);
    if (c != '\n')
        return fail(EINVAL);

    while ((c = getc(file)) == '#') {
        do
            c = getc(file);
        while (c != '\n' && c != EOF);
        if (c == EOF)
            return fail(EINVAL);
    }
    if (c == EOF)
        return fail(EINVAL);
    ungetc(c, file);

    if (read_int(file, width) || read_int(file, height) || read_int(file, maxval))
        return fail(EINVAL);
    c = getc(file);
    if (c == '\r')
        c = getc(file);
    if (c != '\n')
        return fail(EINVAL);
    return 0;
}

int pnm_read_full(Matrix *first, Matrix *second, Matrix *third, int *channels,
                  FILE *file, int *complete)
{
    if (complete)
        *complete = 0;
    Matrix *out[3] = { first, second, third };
    for (int k = 0; k < 3; k++)
        if (out[k])
            matrix_reset(out[k]);
    if (!first || !file)
        return fail(EINVAL);

    int c0 = getc(file);
    int c1 = c0 == EOF ? EOF : getc(file);
    if (c1 == EOF)
        return -1;
    /* Bitmaps (P1, P4) are not supported. */
    if (c0 != 'P' || c1 < '1' || c1 > '6' || c1 == '1' || c1 == '4')
        return fail(EINVAL);
    int format = c1 - '0';
    int colour = format == 3 || format == 6;
    int binary = format >= 5;

    int width, height, maxval;
    if (read_header(file, &width, &height, &maxval))
        return -1;
    /* Binary samples above 255 would take two bytes each, which this
     * reader does not handle. */
    if (width <= 0 || height <= 0 || maxval <= 0 || maxval > 65535 ||
        (binary && maxval > 255))
        return fail(EINVAL);
    if ((long)width * (long)height > pnm_max_pixels)
        return fail(EFBIG);
    if (colour && (!second || !third))
        return fail(EINVAL);

    int nch = colour ? 3 : 1;
    if (channels)
        *channels = nch;
    for (int k = 0; k < nch; k++)
        matrix_create(out[k], width, height);

    float scale = 255.0f / (float)maxval;
    size_t n = (size_t)width * (size_t)height;
    size_t k = 0;
    int ended_early = 0;
    for (; k < n; k++) {
        int ch;
        for (ch = 0; ch < nch; ch++) {
            int v;
            if (binary) {
                v = getc(file);
                if (v == EOF)
                    break;
            } else if (read_int(file, &v)) {
                break;
            }
            out[ch]->data[k] = (float)v * scale;
        }
        if (ch < nch) {
            /* Ended early: the rest of this pixel and the following ones
             * read as 0. */
            for (; ch < nch; ch++)
                out[ch]->data[k] = 0.0f;
            k++;
            ended_early = 1;
            break;
        }
    }
    for (int ch = 0; ch < nch; ch++)
        if (k < n)
            memset(out[ch]->data + k, 0, (n - k) * sizeof(float));
    if (complete)
        *complete = !ended_early;
    return 0;
}

int pnm_read(Matrix *first, Matrix *second, Matrix *third, int *channels,
             FILE *file)
{
    return pnm_read_full(first, second, third, channels, file, NULL);
}

int pnm_load(Matrix *first, Matrix *second, Matrix *third, int *channels,
             const char *path)
{
    return pnm_load_full(first, second, third, channels, path, NULL);
}

int pnm_load_full(Matrix *first, Matrix *second, Matrix *third, int *channels,
                  const char *path, int *complete)
{
    if (complete)
        *complete = 0;
    if (first)
        matrix_reset(first);
    if (second)
        matrix_reset(second);
    if (third)
        matrix_reset(third);
    FILE *file = fopen(path, "rb");
    if (!file)
        return -1;
    int result = pnm_read_full(first, second, third, channels, file, complete);
    fclose(file);
    return result;
}
