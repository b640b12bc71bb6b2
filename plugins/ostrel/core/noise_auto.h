/* The noise weight that suits a photograph: a robust estimate of each
 * channel's noise level, a measure of how much structure the photograph
 * shows above that noise, and the calibrated rule that turns the two into
 * the noise weight (RefocusParams.lambda). */
#ifndef OSTREL_NOISE_AUTO_H
#define OSTREL_NOISE_AUTO_H

#include <stddef.h>

#include "matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

struct RefocusParams;

/* The noise standard deviation of one channel (byte scale): the median
 * absolute value of the finest diagonal wavelet detail (Haar, 2 x 2
 * blocks) divided by 0.6745, which image structure hardly reaches.  0 for
 * a channel smaller than 2 x 2 or one without finite values. */
double refocus_noise_level(const Matrix *channel);

/* How much structure one channel shows above its noise (byte scale): the
 * root mean square of the horizontal and vertical Haar detail of 4 x 4
 * blocks (two scales above the finest, where a blur of a few pixels leaves
 * most of a photograph's edges and texture), less the share that noise of
 * standard deviation noise puts there.  Smooth pictures (a moon surface, a
 * cell culture) give a few units, busy ones (grass, fur) fifteen and more.
 * 0 for a channel smaller than 4 x 4 or one without finite values. */
double refocus_detail_level(const Matrix *channel, double noise);

/* The noise weight the calibrated rule gives for the noise level sigma and
 * the detail level detail with the blur of params (its mask radius): the
 * weight read from the table for the radius and level, multiplied by a
 * power of the table's reference detail over the detail (less weight for
 * busier pictures, more for smoother ones) and, below the knee, by a
 * further power of the knee over the detail, and kept within the weights
 * the calibration measured.  Always finite and positive; a non-finite or
 * negative sigma counts as 0, a non-finite or negative detail as not
 * measured (the table alone). */
double refocus_noise_weight(const struct RefocusParams *params, double sigma, double detail);

/* Trial runs: the filter itself on a picture whose sharp original is
 * known.  A few tiles of channel (up to NOISE_TRIAL_TILES, NOISE_TRIAL_SIDE
 * pixels square inside a margin of twice the mask radius and 2, about the
 * centres of the quarters, or the whole channel when it is smaller) are
 * refocused with the noise weight pilot (when it is positive), and that
 * result (or the tile itself) is the trials' original: blurred by the mask
 * of params, given Gaussian noise of level sigma (a fixed sequence; less
 * the share of rounding) and rounded to bytes, it is refocused for
 * iterations sweeps with each of the n noise weights, the solver's
 * sequence seeded with 1 for every run.  errors[k] receives the mean
 * square difference between the result with weights[k] and the original
 * over the tiles' interiors.  Returns the number of tiles; 0 (errors
 * untouched) when the channel leaves no interior of at least 8 x 8, has
 * non-finite samples, or params cannot be used with every weight.  The
 * channel is not changed; the solver's sequence is left as a fresh process
 * has it (refocus_srand(1)). */
#define NOISE_TRIAL_TILES 4
#define NOISE_TRIAL_SIDE 64
#define NOISE_TRIAL_ITERATIONS 20
int refocus_noise_trials(const struct RefocusParams *params, const Matrix *channel, double sigma,
                         double pilot, const double *weights, int n, int iterations,
                         double *errors);

/* The weights the rule's trials try (*weights, ascending); returns their
 * count. */
int refocus_noise_trial_weights(const double **weights);

/* The trials' best weight: the one of refocus_noise_trial_weights with
 * the smallest of the errors (one per weight), refined by a parabola through
 * it and its neighbours in (log weight, log error).  0 when errors is NULL
 * or holds no positive finite value. */
double refocus_noise_trials_best(const double *errors);

/* The weight the trial runs point to: errors are those of
 * refocus_noise_trials with refocus_noise_trial_weights and pilot as the
 * pilot weight, sigma the image's noise level.  The trials' best weight
 * (their smallest error, refined between its neighbours) and the pilot
 * are combined in the calibrated shares, times the calibrated factor for
 * the mask radius and level, and kept within the measured weights.
 * errors that are NULL or hold no positive finite value give the pilot; a
 * pilot that is not a positive number counts as the table's weight. */
double refocus_noise_trial_weight(const struct RefocusParams *params, double sigma, double pilot,
                                  const double *errors);

/* For a whole image: the level of each of the n channels (levels may be
 * NULL), their mean as the image's level, the mean detail level of the
 * channels (stored in *detail unless it is NULL), the weight
 * refocus_noise_weight gives for the two and, where the trial runs can be
 * made (refocus_noise_trials on the green channel of a colour image, the
 * only one of a grey image, with that weight as the pilot), the weight
 * refocus_noise_trial_weight gives; the result is stored in params->lambda
 * and returned.  The channels are not changed; after the trials the
 * solver's sequence is left as a fresh process has it. */
double refocus_auto_noise(struct RefocusParams *params, const Matrix *const *channels, int n,
                          double *levels, double *detail);

/* One line for the user about an estimate: "noise level found: 2.03
 * (red 2.10, green 2.00, blue 1.99); detail 12.4; noise weight chosen:
 * 2027", the channels named when there are three. */
void refocus_describe_auto_noise(char *buf, size_t len, const double *levels, int n,
                                 double detail, double weight);

#ifdef __cplusplus
}
#endif

#endif
