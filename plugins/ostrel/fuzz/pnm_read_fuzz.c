/* libFuzzer target for the Netpbm reader.  The pixel cap keeps hostile
 * headers from turning every input into a large allocation, so the fuzzer
 * explores the parser rather than memory. */
#include <stdint.h>
#include <stdio.h>

#include "matrix.h"

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    pnm_set_max_pixels(1 << 16);
    FILE *file = fmemopen((void *)data, size, "rb");
    if (!file)
        return 0;
    Matrix m[3];
    int channels = 0, complete = 0;
    if (pnm_read_full(&m[0], &m[1], &m[2], &channels, file, &complete) == 0) {
        /* Touch every element so reads of unset memory would show. */
        volatile float sum = 0;
        for (int c = 0; c < channels; c++) {
            size_t n = (size_t)m[c].width * (size_t)m[c].height;
            for (size_t k = 0; k < n; k++)
                sum += m[c].data[k];
            matrix_destroy(&m[c]);
        }
        (void)sum;
    } else {
        for (int c = 0; c < 3; c++)
            if (m[c].data)
                __builtin_trap(); /* a failed read must leave nothing */
    }
    fclose(file);
    return 0;
}
