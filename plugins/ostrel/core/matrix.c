#include "matrix.h"

#include <stdlib.h>
#include <string.h>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void *xmalloc(size_t size)
{
    /* A zero-byte request still yields a distinct pointer, so callers can
     * tell "no array" (NULL) from "empty array". */
    void *p = malloc(size ? size : 1);
    if (!p) {
        fprintf(stderr, "Allocation of %lu bytes failed\n", (unsigned long)size);
        exit(1);
    }
    return p;
}

void *xmalloc_pages(size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    /* A walk down a column of an image touches a new 4 KiB page at every
     * row, more pages than the TLB holds; 2 MiB pages (where the system
     * grants them on request) cover a megapixel channel with two. */
    const size_t huge = (size_t)2 << 20;
    if (size >= huge) {
        void *p = NULL;
        if (posix_memalign(&p, huge, size) == 0) {
            madvise(p, size / huge * huge, MADV_HUGEPAGE);
            return p;
        }
    }
#endif
    return xmalloc(size);
}

char *xstrdup(const char *text)
{
    if (!text)
        return NULL;
    size_t n = strlen(text) + 1;
    char *copy = xmalloc(n);
    memcpy(copy, text, n);
    return copy;
}

void matrix_create(Matrix *m, int width, int height)
{
    if (width < 0)
        width = 0;
    if (height < 0)
        height = 0;
    m->width = width;
    m->height = height;
    m->data = xmalloc_pages((size_t)width * (size_t)height * sizeof(float));
}

void matrix_create_like(Matrix *m, const Matrix *src)
{
    matrix_create(m, src->width, src->height);
}

void matrix_reset(Matrix *m)
{
    m->data = NULL;
}

void matrix_destroy(Matrix *m)
{
    free(m->data);
    m->data = NULL;
}

void matrix_fill_bytes(Matrix *m, const unsigned char *bytes)
{
    size_t n = (size_t)m->width * (size_t)m->height;
    for (size_t k = 0; k < n; k++)
        m->data[k] = (float)bytes[k];
}

void matrix_fill_bytes3(Matrix *m, const unsigned char *bytes, int offset)
{
    size_t n = (size_t)m->width * (size_t)m->height;
    const unsigned char *p = bytes + offset;
    for (size_t k = 0; k < n; k++)
        m->data[k] = (float)p[3 * k];
}
