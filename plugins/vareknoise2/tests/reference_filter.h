// A plain, slow twin of the camera-noise filter: every step written out as
// obvious loops over freshly allocated lines, every power through libm, no
// tables and no short-cuts.  The production core must agree with it byte
// for byte.
#ifndef VAREKNOISE2_REFERENCE_FILTER_H
#define VAREKNOISE2_REFERENCE_FILTER_H

#include <vector>

#include "noise_params.h"

namespace ref {

double signed_pow(double a, double e);

// Cascade blur of x (m samples) into a new vector.
std::vector<float> cascade_blur(const std::vector<float> &x, double rho, bool difference);

// The radius map of a line of guide luminances (n samples), positions
// 0..n-1 only.
std::vector<float> radius_map(const NoiseParams &p, const std::vector<float> &lum);

// One row or column: smooths the colour channels of data under the radius
// map from guide and writes them into guide.
void process_line(const NoiseParams &p, const unsigned char *data, unsigned char *guide, int n,
                  int bpp);

// The merge of one pixel.
void merge_pixel(const NoiseParams &p, double lsmooth, const unsigned char *o, unsigned char *f,
                 int bpp);

// Whole image: rows, columns, merge; returns the filtered image.
std::vector<unsigned char> filter_image(const NoiseParams &p, const std::vector<unsigned char> &src,
                                        int width, int height, int bpp);

}  // namespace ref

#endif
