/* corvella-synth-photo WIDTH HEIGHT OUT.ppm [SEED]: writes a photo-like
 * test image as a binary PPM. */
#include "netpbm_io.h"
#include "synth_photo.h"

#include <stdio.h>
#include <stdlib.h>

static int parse_int(const char *s, long lo, long hi, long *out)
{
    char *end;
    long v = strtol(s, &end, 10);
    if (*s == '\0' || *end != '\0' || v < lo || v > hi)
        return -1;
    *out = v;
    return 0;
}

int main(int argc, char **argv)
{
    long w, h, seed = 1;
    if (argc < 4 || argc > 5 || parse_int(argv[1], 1, NETPBM_MAX_SIDE, &w) ||
        parse_int(argv[2], 1, NETPBM_MAX_SIDE, &h) ||
        (argc == 5 && parse_int(argv[4], 0, 0xffffffffL, &seed))) {
        fprintf(stderr, "corvella-synth-photo: bad arguments\n"
                        "usage: corvella-synth-photo WIDTH HEIGHT OUT.ppm [SEED]\n");
        return 2;
    }
    NetpbmImage img;
    char err[512];
    if (netpbm_alloc(&img, (int)w, (int)h, 3) != 0) {
        fprintf(stderr, "corvella-synth-photo: %ld x %ld is too large\n", w, h);
        return 1;
    }
    synth_photo(img.pixels, img.width, img.height, img.width * 3, (unsigned)seed);
    int rc = netpbm_write(argv[3], &img, err, sizeof err);
    netpbm_free(&img);
    if (rc != 0) {
        fprintf(stderr, "corvella-synth-photo: %s\n", err);
        return 1;
    }
    return 0;
}
