/* Helpers shared by the refocus plug-in's tests inside GIMP: calling the
 * procedure, the stored block, and the command-line tool as the reference
 * computation on the same pixels. */
#ifndef OSTREL_GIMP_SUPPORT_H
#define OSTREL_GIMP_SUPPORT_H

#include "gimp_bench.h"

#include <string>
#include <vector>

namespace ostrel_test {

/* The eleven values of a call, in the procedure's parameter order. */
struct Values {
    double radius = 6.0, gauss = 0.0, motion = 0.0, mot_angle = 0.0;
    double lambda = 100.0;
    gint32 boundary = 0;
    double lambda_min = 30.0;
    gint32 adaptive_smooth = 1, winsize = 3, iterations = 3, prev_iter = 10;
};

std::vector<GimpParam> call_params(gint32 run_mode, gint32 image, gint32 drawable,
                                   const Values &v);
GimpPDBStatusType run_ostrel(gint32 image, gint32 drawable, const Values &v);

/* The 72-byte block the plug-in stores for v. */
std::vector<guint8> stored_block(const Values &v);

/* Runs ostrel-refocus (a fresh process, unseeded) over the colour channels
 * of a w x h x bpp pixel buffer and returns the buffer with those channels
 * replaced by the tool's output; other bytes are copied unchanged. */
std::vector<guint8> tool_refocus(const std::vector<guint8> &pixels, int w, int h,
                                 int bpp, const Values &v);

/* The same computation through the core in this process, from the
 * unseeded random sequence (seed 1 is the C library's initial state). */
std::vector<guint8> core_refocus(const std::vector<guint8> &pixels, int w, int h,
                                 int bpp, const Values &v);

/* Crop and paste of a rectangle of a w-wide, bpp-byte pixel buffer. */
std::vector<guint8> crop(const std::vector<guint8> &pixels, int w, int bpp,
                         int x, int y, int cw, int ch);
void paste(std::vector<guint8> *pixels, int w, int bpp, int x, int y, int cw,
           int ch, const std::vector<guint8> &part);

/* A synthetic photo of w x h pixels converted to bpp bytes per pixel (grey
 * from the luminance; alpha a varying pattern). */
std::vector<guint8> photo(int w, int h, int bpp, unsigned seed);

/* A new one-layer image of type (bpp bytes per pixel) holding photo(w, h,
 * bpp, seed) as before; the image is deleted with the object. */
struct PhotoImage {
    PhotoImage(int w, int h, GimpImageType type, unsigned seed);
    ~PhotoImage();
    PhotoImage(const PhotoImage &) = delete;
    PhotoImage &operator=(const PhotoImage &) = delete;

    const int w, h, bpp;
    const std::vector<guint8> before;
    gint32 layer = -1;
    const gint32 image;
};

/* PSNR in dB of the colour channels of b against a. */
double psnr(const std::vector<guint8> &a, const std::vector<guint8> &b, int bpp);

}  // namespace ostrel_test

#endif
