/* libFuzzer target for the tools' Netpbm reader: every input must give
 * either an image whose every byte can be read, or -1 with a message and
 * no pixels. */
#define _POSIX_C_SOURCE 200809L
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "netpbm_io.h"

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = fmemopen((void *)data, size, "rb");
    if (!file)
        return 0;
    NetpbmImage img;
    char err[128];
    memset(err, 'x', sizeof err);
    if (netpbm_read_stream(file, "input", &img, err, sizeof err) == 0) {
        if (img.width < 1 || img.height < 1 || img.channels < 1 || img.channels > 4 || !img.pixels)
            __builtin_trap();
        size_t n = (size_t)img.width * img.height * img.channels;
        volatile unsigned sum = 0;
        for (size_t k = 0; k < n; k++)
            sum += img.pixels[k];
        (void)sum;
        netpbm_free(&img);
    } else if (img.pixels || !memchr(err, '\0', sizeof err) || strncmp(err, "input: ", 7) != 0) {
        __builtin_trap(); /* a refusal leaves no pixels and names the file */
    }
    fclose(file);
    return 0;
}
