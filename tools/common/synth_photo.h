/* A deterministic photo-like test image: we ship no sample photographs, so
 * tests, benchmarks and demos draw one. */
#ifndef CORVELLA_SYNTH_PHOTO_H
#define CORVELLA_SYNTH_PHOTO_H

#ifdef __cplusplus
extern "C" {
#endif

/* Fills width x height RGB pixels (3 bytes each, rows stride bytes apart)
 * with smooth shading, hard edges, fractal texture and fine detail.  The
 * same seed always gives the same bytes; bytes between the end of a row and
 * the next row's start are left alone. */
void synth_photo(unsigned char *rgb, int width, int height, int stride, unsigned seed);

#ifdef __cplusplus
}
#endif

#endif
