/* Core speed: milliseconds of processor time per megapixel of the plain
 * 49-sample evaluation and of the production filter on one synthetic
 * photo, and whether their outputs agree.  Processor time rather than wall
 * time, so that other work on the machine disturbs the figures less.
 *   tessaline_bench [WIDTH HEIGHT] */
#include "grain_core.h"
#include "grain_reference.h"
#include "synth_photo.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* Processor time of this process, in seconds. */
static double now(void)
{
    return (double)clock() / CLOCKS_PER_SEC;
}

int main(int argc, char **argv)
{
    const int w = argc > 2 ? atoi(argv[1]) : 2000, h = argc > 2 ? atoi(argv[2]) : 1500;
    if (w <= 0 || h <= 0) {
        fprintf(stderr, "usage: tessaline_bench [WIDTH HEIGHT]\n");
        return 2;
    }
    const size_t n = (size_t)w * h * 3;
    unsigned char *src = malloc(n), *ref = malloc(n), *fast = malloc(n);
    if (!src || !ref || !fast)
        return 1;
    synth_photo(src, w, h, w * 3, 7);
    const int32_t levels[3] = {GRAIN_DEFAULT_RED, GRAIN_DEFAULT_GREEN, GRAIN_DEFAULT_BLUE};
    const double mp = (double)w * h / 1e6;

    double t0 = now();
    grain_reference_image(src, (size_t)w * 3, w, h, 3, levels, ref);
    double t_ref = now() - t0;

    double t_fast = 1e30;
    for (int rep = 0; rep < 5; rep++) {
        t0 = now();
        if (grain_filter_image(src, (size_t)w * 3, w, h, 3, levels, fast, (size_t)w * 3) != 0)
            return 1;
        double t = now() - t0;
        if (t < t_fast)
            t_fast = t;
    }
    printf("tessaline core on a %dx%d RGB photo (%.1f MP), levels 15/10/20, processor time:\n", w, h, mp);
    printf("  reference (49 samples per output):    %6.1f ms/MP\n", t_ref * 1e3 / mp);
    printf("  production (running sums, best of 5): %6.1f ms/MP\n", t_fast * 1e3 / mp);
    printf("  speed-up: %.1fx (target >= 5x); outputs %s\n", t_ref / t_fast,
           memcmp(ref, fast, n) == 0 ? "identical" : "DIFFER");
    int ok = memcmp(ref, fast, n) == 0;
    free(src);
    free(ref);
    free(fast);
    return ok ? 0 : 1;
}
