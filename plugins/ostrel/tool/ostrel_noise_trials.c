/* ostrel-noise-trials: what the auto noise weight's trial runs see on a
 * Netpbm file, for scripts/calibrate-refocus-noise.  Prints the noise and
 * detail levels of --noise auto and, per candidate weight, the trials'
 * mean square error on the channel the rule tries (green of a colour
 * image). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "refocus_core.h"

#define PROGRAM "ostrel-noise-trials"
#define MAX_WEIGHTS 32

static int usage(void)
{
    fputs("usage: " PROGRAM " [--radius R] [--gauss S] [--iterations N] [--pilot W|rule]\n"
          "       --weights W1,W2,... IN.pnm\n",
          stderr);
    return 2;
}

int main(int argc, char **argv)
{
    RefocusParams params;
    refocus_params_default(&params);
    int iterations = NOISE_TRIAL_ITERATIONS, n = 0, pilot_rule = 0;
    double pilot = 0.0;
    double weights[MAX_WEIGHTS];
    const char *file = NULL;
    for (int a = 1; a < argc; a++) {
        char *end = NULL;
        if (a + 1 < argc && strcmp(argv[a], "--radius") == 0)
            params.radius = strtod(argv[++a], &end);
        else if (a + 1 < argc && strcmp(argv[a], "--gauss") == 0)
            params.gauss = strtod(argv[++a], &end);
        else if (a + 1 < argc && strcmp(argv[a], "--pilot") == 0) {
            pilot_rule = strcmp(argv[++a], "rule") == 0;
            if (!pilot_rule)
                pilot = strtod(argv[a], &end);
        } else if (a + 1 < argc && strcmp(argv[a], "--iterations") == 0)
            iterations = (int)strtol(argv[++a], &end, 10);
        else if (a + 1 < argc && strcmp(argv[a], "--weights") == 0) {
            const char *p = argv[++a];
            for (n = 0; n < MAX_WEIGHTS; n++) {
                weights[n] = strtod(p, &end);
                if (end == p)
                    return usage();
                if (*end != ',') {
                    n++;
                    break;
                }
                p = end + 1;
            }
        } else if (argv[a][0] != '-' && !file) {
            file = argv[a];
            continue;
        } else
            return usage();
        if (end && *end && *end != ',')
            return usage();
    }
    if (!file || n == 0)
        return usage();
    Matrix ch[3];
    int nch = 0;
    if (pnm_load(&ch[0], &ch[1], &ch[2], &nch, file) != 0) {
        fprintf(stderr, PROGRAM ": cannot read %s\n", file);
        return 1;
    }
    /* The levels and the table's weight as refocus_auto_noise finds them,
     * before its trials. */
    double levels[3], level = 0.0, detail = 0.0;
    for (int c = 0; c < nch; c++) {
        levels[c] = refocus_noise_level(&ch[c]);
        level += levels[c] / nch;
        detail += refocus_detail_level(&ch[c], levels[c]) / nch;
    }
    double weight = refocus_noise_weight(&params, level, detail);
    printf("level %.4f\ndetail %.4f\nweight %.1f\n", level, detail, weight);
    double errors[MAX_WEIGHTS];
    int trial = nch == 3 ? 1 : 0;
    int tiles = refocus_noise_trials(&params, &ch[trial], levels[trial],
                                     pilot_rule ? weight : pilot, weights, n, iterations, errors);
    printf("trial_level %.4f\ntiles %d\n", levels[trial], tiles);
    for (int k = 0; k < n && tiles; k++)
        printf("error %g %.5f\n", weights[k], errors[k]);
    for (int c = 0; c < nch; c++)
        matrix_destroy(&ch[c]);
    return 0;
}
