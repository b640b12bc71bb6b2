#define _POSIX_C_SOURCE 200809L
#include "netpbm_io.h"

#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int fail(char *err, size_t errlen, const char *fmt, ...)
{
    if (err && errlen) {
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(err, errlen, fmt, ap);
        va_end(ap);
    }
    return -1;
}

int netpbm_alloc(NetpbmImage *img, int width, int height, int channels)
{
    img->pixels = NULL;
    if (width < 1 || height < 1 || width > NETPBM_MAX_SIDE || height > NETPBM_MAX_SIDE ||
        channels < 1 || channels > 4)
        return -1;
    size_t n = (size_t)width * (size_t)height * (size_t)channels;
    if (n > NETPBM_MAX_SAMPLES)
        return -1;
    img->pixels = malloc(n);
    if (!img->pixels)
        return -1;
    img->width = width;
    img->height = height;
    img->channels = channels;
    return 0;
}

void netpbm_free(NetpbmImage *img)
{
    if (!img)
        return;
    free(img->pixels);
    img->pixels = NULL;
}

/* Skips white space and '#' comments (which run to the end of the line). */
static void skip_space(FILE *f)
{
    int c;
    while ((c = getc(f)) != EOF) {
        if (c == '#') {
            while ((c = getc(f)) != EOF && c != '\n' && c != '\r')
                ;
        } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') {
            ungetc(c, f);
            return;
        }
    }
}

/* A decimal header number; -1 when there is none or it exceeds 'limit'. */
static long read_number(FILE *f, long limit)
{
    skip_space(f);
    long v = 0;
    int c, digits = 0;
    while ((c = getc(f)) != EOF && c >= '0' && c <= '9') {
        v = v * 10 + (c - '0');
        if (v > limit)
            return -1;
        digits++;
    }
    if (c != EOF)
        ungetc(c, f);
    return digits ? v : -1;
}

static int read_pnm_header(FILE *f, int magic, int *w, int *h, int *ch, char *err, size_t errlen,
                           const char *path)
{
    long width = read_number(f, NETPBM_MAX_SIDE);
    long height = read_number(f, NETPBM_MAX_SIDE);
    long maxval = read_number(f, 65535);
    if (width < 1 || height < 1 || maxval < 1)
        return fail(err, errlen, "%s: damaged header (size or maxval missing or out of range)", path);
    if (maxval != 255)
        return fail(err, errlen, "%s: maxval %ld is not supported (only 8-bit images, maxval 255)",
                    path, maxval);
    int c = getc(f); /* exactly one white-space byte ends the header */
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
        return fail(err, errlen, "%s: damaged header", path);
    *w = (int)width;
    *h = (int)height;
    *ch = magic == '5' ? 1 : 3;
    return 0;
}

static int read_pam_header(FILE *f, int *w, int *h, int *ch, char *err, size_t errlen,
                           const char *path)
{
    long width = -1, height = -1, depth = -1, maxval = -1;
    int tupl_depth = 0;
    char line[256];
    for (int lines = 0; lines < 64; lines++) {
        if (!fgets(line, sizeof line, f))
            return fail(err, errlen, "%s: damaged PAM header (no ENDHDR)", path);
        if (!strchr(line, '\n') && !feof(f))
            return fail(err, errlen, "%s: damaged PAM header (line too long)", path);
        char key[32], val[64];
        int n = sscanf(line, " %31s %63s", key, val);
        if (n < 1 || key[0] == '#')
            continue;
        if (!strcmp(key, "ENDHDR")) {
            if (width < 1 || height < 1 || depth < 1 || maxval < 1)
                return fail(err, errlen, "%s: damaged PAM header (WIDTH, HEIGHT, DEPTH or MAXVAL missing)",
                            path);
            if (maxval != 255)
                return fail(err, errlen, "%s: maxval %ld is not supported (only 8-bit images, maxval 255)",
                            path, maxval);
            if (depth > 4 || (tupl_depth && tupl_depth != depth))
                return fail(err, errlen, "%s: unsupported PAM depth %ld or tuple type", path, depth);
            *w = (int)width;
            *h = (int)height;
            *ch = (int)depth;
            return 0;
        }
        if (n < 2)
            return fail(err, errlen, "%s: damaged PAM header line '%s'", path, key);
        char *end;
        errno = 0;
        long v = strtol(val, &end, 10);
        int numeric = errno == 0 && *end == '\0' && v >= 0 && v <= NETPBM_MAX_SIDE;
        if (!strcmp(key, "WIDTH") && numeric) width = v;
        else if (!strcmp(key, "HEIGHT") && numeric) height = v;
        else if (!strcmp(key, "DEPTH") && numeric) depth = v;
        else if (!strcmp(key, "MAXVAL") && numeric) maxval = v;
        else if (!strcmp(key, "TUPLTYPE")) {
            if (!strcmp(val, "GRAYSCALE")) tupl_depth = 1;
            else if (!strcmp(val, "GRAYSCALE_ALPHA")) tupl_depth = 2;
            else if (!strcmp(val, "RGB")) tupl_depth = 3;
            else if (!strcmp(val, "RGB_ALPHA")) tupl_depth = 4;
            else return fail(err, errlen, "%s: unsupported PAM tuple type %s", path, val);
        } else
            return fail(err, errlen, "%s: damaged PAM header line '%s'", path, key);
    }
    return fail(err, errlen, "%s: damaged PAM header (too many lines)", path);
}

int netpbm_read_stream(FILE *f, const char *path, NetpbmImage *img, char *err, size_t errlen)
{
    img->pixels = NULL;
    int w = 0, h = 0, ch = 0, rc;
    int p = getc(f), magic = getc(f);
    if (p != 'P' || (magic != '5' && magic != '6' && magic != '7'))
        rc = fail(err, errlen, "%s: not a binary PGM, PPM or PAM file", path);
    else if (magic == '7') {
        int c = getc(f);
        rc = (c == '\n' || c == '\r' || c == ' ') ? read_pam_header(f, &w, &h, &ch, err, errlen, path)
                                                   : fail(err, errlen, "%s: damaged PAM header", path);
    } else
        rc = read_pnm_header(f, magic, &w, &h, &ch, err, errlen, path);
    if (rc == 0 && netpbm_alloc(img, w, h, ch) != 0)
        rc = fail(err, errlen, "%s: image of %d x %d x %d is too large", path, w, h, ch);
    if (rc == 0) {
        size_t n = (size_t)w * h * ch;
        if (fread(img->pixels, 1, n, f) != n) {
            netpbm_free(img);
            rc = fail(err, errlen, "%s: truncated pixel data", path);
        }
    }
    return rc;
}

int netpbm_read(const char *path, NetpbmImage *img, char *err, size_t errlen)
{
    img->pixels = NULL;
    FILE *f = fopen(path, "rb");
    if (!f)
        return fail(err, errlen, "%s: cannot open: %s", path, strerror(errno));
    int rc = netpbm_read_stream(f, path, img, err, errlen);
    fclose(f);
    return rc;
}

int netpbm_write(const char *path, const NetpbmImage *img, char *err, size_t errlen)
{
    if (!img || !img->pixels || img->width < 1 || img->height < 1 || img->channels < 1 ||
        img->channels > 4)
        return fail(err, errlen, "%s: nothing to write", path);

    size_t len = strlen(path);
    char *tmp = malloc(len + 16);
    if (!tmp)
        return fail(err, errlen, "%s: out of memory", path);
    memcpy(tmp, path, len);
    memcpy(tmp + len, ".tmp-XXXXXX", 12);
    int fd = mkstemp(tmp);
    if (fd < 0) {
        int e = errno;
        free(tmp);
        return fail(err, errlen, "%s: cannot write: %s", path, strerror(e));
    }
    /* mkstemp makes the file private; give it the usual mode. */
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    FILE *f = fdopen(fd, "wb");
    int ok = f != NULL;
    if (ok) {
        static const char *const tuple[] = {"", "GRAYSCALE", "GRAYSCALE_ALPHA", "RGB", "RGB_ALPHA"};
        if (img->channels == 1 || img->channels == 3)
            ok = fprintf(f, "P%c\n%d %d\n255\n", img->channels == 1 ? '5' : '6', img->width,
                         img->height) > 0;
        else
            ok = fprintf(f, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n",
                         img->width, img->height, img->channels, tuple[img->channels]) > 0;
        size_t n = (size_t)img->width * img->height * img->channels;
        ok = ok && fwrite(img->pixels, 1, n, f) == n;
        ok = fflush(f) == 0 && ok;
        ok = fclose(f) == 0 && ok;
    } else
        close(fd);
    int e = errno;
    if (ok && rename(tmp, path) != 0) {
        e = errno;
        ok = 0;
    }
    if (!ok)
        unlink(tmp);
    free(tmp);
    return ok ? 0 : fail(err, errlen, "%s: cannot write: %s", path, strerror(e));
}

int netpbm_same_file(const char *a, const char *b)
{
    struct stat sa, sb;
    if (strcmp(a, b) == 0)
        return 1;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
