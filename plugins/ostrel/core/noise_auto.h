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

/* For a whole image: the level of each of the n channels (levels may be
 * NULL), their mean as the image's level, the mean detail level of the
 * channels (stored in *detail unless it is NULL), and the weight for the
 * two, stored in params->lambda.  Returns the weight; the channels are not
 * changed. */
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
