/* The noise weight that suits a photograph: a robust estimate of each
 * channel's noise level and the calibrated rule that turns the level into
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

/* The noise weight the calibrated rule gives for the noise level sigma
 * with the blur of params (its mask radius).  Always finite and positive;
 * a non-finite or negative sigma counts as 0. */
double refocus_noise_weight(const struct RefocusParams *params, double sigma);

/* For a whole image: the level of each of the n channels (levels may be
 * NULL), their mean as the image's level, and the weight for it, stored
 * in params->lambda.  Returns the weight; the channels are not changed. */
double refocus_auto_noise(struct RefocusParams *params, const Matrix *const *channels, int n,
                          double *levels);

/* One line for the user about an estimate: "noise level found: 2.03
 * (red 2.10, green 2.00, blue 1.99); noise weight chosen: 2027", the
 * channels named when there are three. */
void refocus_describe_auto_noise(char *buf, size_t len, const double *levels, int n,
                                 double weight);

#ifdef __cplusplus
}
#endif

#endif
