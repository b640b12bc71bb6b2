#include "gimp_support.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <glib/gstdio.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include "netpbm_io.h"
#include "refocus_core.h"
#include "refocus_vals.h"
#include "synth_photo.h"
}

using namespace gimp_bench;

namespace ostrel_test {

std::vector<GimpParam> call_params(gint32 run_mode, gint32 image, gint32 drawable,
                                   const Values &v)
{
    return {int32_param(run_mode), image_param(image), drawable_param(drawable),
            float_param(v.radius), float_param(v.gauss), float_param(v.motion),
            float_param(v.mot_angle), float_param(v.lambda), int32_param(v.boundary),
            float_param(v.lambda_min), int32_param(v.adaptive_smooth),
            int32_param(v.winsize), int32_param(v.iterations), int32_param(v.prev_iter)};
}

GimpPDBStatusType run_ostrel(gint32 image, gint32 drawable, const Values &v)
{
    return run_procedure("ostrel", call_params(GIMP_RUN_NONINTERACTIVE, image, drawable, v));
}

std::vector<guint8> stored_block(const Values &v)
{
    RefocusVals r;
    refocus_vals_set_defaults(&r);
    r.radius = v.radius;
    r.gauss = v.gauss;
    r.motion = v.motion;
    r.mot_angle = v.mot_angle;
    r.lambda = v.lambda;
    r.lambda_min = v.lambda_min;
    r.winsize = (guint32)v.winsize;
    r.iterations = (guint32)v.iterations;
    r.boundary = v.boundary;
    r.adaptive_smooth = v.adaptive_smooth;
    r.prev_iter = (guint32)v.prev_iter;
    std::vector<guint8> block(REFOCUS_VALS_BLOCK_SIZE);
    refocus_vals_to_block(&r, block.data());
    return block;
}

static std::string num(double d)
{
    char buf[64];
    g_ascii_formatd(buf, sizeof buf, "%.17g", d);
    return buf;
}

std::vector<guint8> tool_refocus(const std::vector<guint8> &pixels, int w, int h,
                                 int bpp, const Values &v)
{
    const int colours = bpp > 2 ? 3 : 1;
    std::vector<guint8> out = pixels;
    gchar *dir = g_dir_make_tmp("ostrel-tool-XXXXXX", nullptr);
    if (!dir) {
        ADD_FAILURE() << "no temporary folder";
        return out;
    }
    std::string in_path = std::string(dir) + "/in.pnm";
    std::string out_path = std::string(dir) + "/out.pnm";

    NetpbmImage img;
    char err[256];
    if (netpbm_alloc(&img, w, h, colours) != 0) {
        ADD_FAILURE() << "netpbm_alloc";
        g_free(dir);
        return out;
    }
    for (size_t i = 0; i < (size_t)w * h; i++)
        for (int k = 0; k < colours; k++)
            img.pixels[i * colours + k] = pixels[i * bpp + k];
    EXPECT_EQ(netpbm_write(in_path.c_str(), &img, err, sizeof err), 0) << err;
    netpbm_free(&img);

    std::vector<std::string> argv = {
        OSTREL_REFOCUS_TOOL,
        "--radius", num(v.radius), "--gauss", num(v.gauss), "--motion", num(v.motion),
        "--angle", num(v.mot_angle), "--noise", num(v.lambda),
        "--smoothness", num(v.lambda_min), "--area-size", std::to_string(v.winsize),
        v.adaptive_smooth ? "--adaptive" : "--no-adaptive",
        "--boundary", v.boundary == 0 ? "mirror" : "periodic",
        "--iterations", std::to_string(v.iterations), in_path, out_path};
    EXPECT_TRUE(run_program(argv, 120)) << "ostrel-refocus failed";

    NetpbmImage res;
    if (netpbm_read(out_path.c_str(), &res, err, sizeof err) == 0) {
        EXPECT_EQ(res.width, w);
        EXPECT_EQ(res.height, h);
        EXPECT_EQ(res.channels, colours);
        if (res.width == w && res.height == h && res.channels == colours)
            for (size_t i = 0; i < (size_t)w * h; i++)
                for (int k = 0; k < colours; k++)
                    out[i * bpp + k] = res.pixels[i * colours + k];
        netpbm_free(&res);
    } else {
        ADD_FAILURE() << err;
    }
    g_remove(in_path.c_str());
    g_remove(out_path.c_str());
    g_rmdir(dir);
    g_free(dir);
    return out;
}

namespace {
struct CoreInput {
    const std::vector<guint8> *pixels;
    Matrix *channels;
    int n, bpp;
};

void core_read(void *user)
{
    CoreInput *in = static_cast<CoreInput *>(user);
    const size_t count = (size_t)in->channels[0].width * in->channels[0].height;
    for (size_t i = 0; i < count; i++)
        for (int k = 0; k < in->n; k++)
            in->channels[k].data[i] = (*in->pixels)[i * in->bpp + k];
}
}  // namespace

std::vector<guint8> core_refocus(const std::vector<guint8> &pixels, int w, int h,
                                 int bpp, const Values &v)
{
    RefocusVals r;
    RefocusParams params;
    const auto block = stored_block(v);
    refocus_vals_from_block(&r, block.data(), block.size());
    refocus_vals_to_params(&r, &params);

    Matrix channels[3];
    CoreInput in = {&pixels, channels, bpp > 2 ? 3 : 1, bpp};
    RefocusHost host = {};
    host.user = &in;
    host.n_channels = in.n;
    host.read_selection = core_read;
    for (int k = 0; k < in.n; k++) {
        matrix_create(&channels[k], w, h);
        host.channels[k] = &channels[k];
    }
    refocus_srand(1);
    EXPECT_EQ(refocus_compute(&params, &host, v.iterations), REFOCUS_DONE);
    std::vector<guint8> out = pixels;
    for (size_t i = 0; i < (size_t)w * h; i++)
        for (int k = 0; k < in.n; k++)
            out[i * bpp + k] = (guint8)(channels[k].data[i] + 0.5f);
    for (int k = 0; k < in.n; k++)
        matrix_destroy(&channels[k]);
    return out;
}

std::vector<guint8> crop(const std::vector<guint8> &pixels, int w, int bpp,
                         int x, int y, int cw, int ch)
{
    std::vector<guint8> out((size_t)cw * ch * bpp);
    for (int r = 0; r < ch; r++)
        memcpy(&out[(size_t)r * cw * bpp], &pixels[((size_t)(y + r) * w + x) * bpp],
               (size_t)cw * bpp);
    return out;
}

void paste(std::vector<guint8> *pixels, int w, int bpp, int x, int y, int cw,
           int ch, const std::vector<guint8> &part)
{
    for (int r = 0; r < ch; r++)
        memcpy(&(*pixels)[((size_t)(y + r) * w + x) * bpp], &part[(size_t)r * cw * bpp],
               (size_t)cw * bpp);
}

std::vector<guint8> photo(int w, int h, int bpp, unsigned seed)
{
    std::vector<guint8> rgb((size_t)w * h * 3);
    synth_photo(rgb.data(), w, h, w * 3, seed);
    std::vector<guint8> out((size_t)w * h * bpp);
    for (size_t i = 0; i < (size_t)w * h; i++) {
        const guint8 *p = &rgb[i * 3];
        guint8 *q = &out[i * bpp];
        if (bpp >= 3) {
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        } else {
            q[0] = (guint8)((299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000);
        }
        if (bpp == 2 || bpp == 4)
            q[bpp - 1] = (guint8)(37 * i + 11);
    }
    return out;
}

static int bytes_per_pixel(GimpImageType type)
{
    switch (type) {
    case GIMP_RGB_IMAGE: return 3;
    case GIMP_RGBA_IMAGE: return 4;
    case GIMP_GRAYA_IMAGE: return 2;
    default: return 1;
    }
}

PhotoImage::PhotoImage(int w, int h, GimpImageType type, unsigned seed)
    : w(w), h(h), bpp(bytes_per_pixel(type)), before(photo(w, h, bpp, seed)),
      image(new_image(w, h, type, before, &layer))
{
}

PhotoImage::~PhotoImage() { gimp_image_delete(image); }

double psnr(const std::vector<guint8> &a, const std::vector<guint8> &b, int bpp)
{
    const int colours = bpp > 2 ? 3 : 1;
    double se = 0;
    size_t n = 0;
    for (size_t i = 0; i + bpp <= a.size() && i + bpp <= b.size(); i += bpp)
        for (int k = 0; k < colours; k++, n++) {
            double d = double(a[i + k]) - double(b[i + k]);
            se += d * d;
        }
    if (se == 0)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * n / se);
}

}  // namespace ostrel_test
