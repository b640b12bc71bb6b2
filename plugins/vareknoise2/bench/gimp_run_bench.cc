/* The whole plug-in run inside gimp-console-2.10 on a 12-megapixel RGB
 * layer of a noisy photo (Gaussian noise, sigma 10), side by side with the
 * pass-through (the same rows and columns through the same pixel regions,
 * no arithmetic) and with GIMP's own filters a user would pick instead,
 * each with its PSNR against the clean photo.  Started by
 * scripts/bench.d/35-vareknoise2.sh; prints lines "vareknoise2-bench:". */
#include "gimp_bench.h"
#include "noise_filter.h"
#include "synth_photo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

using namespace gimp_bench;

namespace {

double psnr(const std::vector<guint8> &a, const std::vector<guint8> &b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); i++) {
        double d = (double)a[i] - b[i];
        sum += d * d;
    }
    return sum == 0 ? INFINITY : 10.0 * std::log10(255.0 * 255.0 / (sum / a.size()));
}

/* Extra parameters by value, converted to the types the procedure has
 * registered; false when the procedure is not in this GIMP's database. */
bool build_call(const char *proc, gint32 image, gint32 layer, const std::vector<double> &extra,
                std::vector<GimpParam> *out)
{
    const ProcedureInfo info = procedure_info(proc);
    if (!info.found)
        return false;
    *out = {int32_param(GIMP_RUN_NONINTERACTIVE), image_param(image), drawable_param(layer)};
    for (size_t i = 3; i < info.args.size() && i - 3 < extra.size(); i++) {
        double v = extra[i - 3];
        out->push_back(info.args[i].type == GIMP_PDB_FLOAT ? float_param(v) : int32_param((gint32)v));
    }
    return true;
}

TEST(Vareknoise2Bench, PluginBesidePassThroughAndPeers)
{
    const char *size = g_getenv("VAREKNOISE2_BENCH_SIZE"); /* "WxH" */
    int w = 4000, h = 3000;
    if (size) {
        ASSERT_EQ(sscanf(size, "%dx%d", &w, &h), 2);
    }
    std::vector<guint8> clean((size_t)w * h * 3), noisy;
    synth_photo(clean.data(), w, h, w * 3, 1);
    noisy = clean;
    std::mt19937 rng(42);
    std::normal_distribution<double> gauss(0.0, 10.0);
    for (auto &v : noisy) {
        long r = std::lround(v + gauss(rng));
        v = (guint8)(r < 0 ? 0 : r > 255 ? 255 : r);
    }
    gint32 layer;
    gint32 image = new_image(w, h, GIMP_RGB_IMAGE, noisy, &layer);
    const double mp = (double)w * h / 1e6;

    const NoiseParams &p = noise_params_defaults;
    struct Peer {
        const char *label, *proc;
        std::vector<double> extra;
    };
    const Peer peers[] = {
        {"pass-through (same rows/columns)", "corvella-passthrough-lines", {}},
        {"plug_in_vareknoise2-0.64 defaults", "plug-in-vareknoise2-0-64",
         {p.radius, p.lsmooth, p.csmooth, p.effect, p.lookahead, p.gamma, p.damping, p.phase, p.texture, p.sharp}},
        {"plug-in-sel-gauss radius 5", "plug-in-sel-gauss", {5.0, 50}},
        {"plug-in-noise-reduction", "plug-in-noise-reduction", {4}},
        /* GIMP 2.10.34 has no plug-in-noise-reduction; its classic noise
         * remover stands in. */
        {"plug-in-despeckle adaptive r3", "plug-in-despeckle", {3, 1, 7, 248}},
    };
    printf("vareknoise2-bench: %dx%d RGB layer (%.1f MP), Gaussian noise sigma 10, gimp-console-2.10\n",
           w, h, mp);
    printf("vareknoise2-bench:   %-36s %8s %9s %9s\n", "(ours: median of 5 runs)", "seconds", "ms/MP", "PSNR dB");
    printf("vareknoise2-bench:   %-36s %8s %9s %9.2f\n", "noisy input", "", "", psnr(clean, noisy));
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    /* One timed run of a procedure on the noisy layer; the result is left
     * in out.  Negative when the procedure is not in the database. */
    auto run = [&](const Peer &peer, std::vector<guint8> *out) {
        std::vector<GimpParam> call;
        if (!build_call(peer.proc, image, layer, peer.extra, &call))
            return -1.0;
        write_pixels(layer, noisy);
        GimpPDBStatusType status = GIMP_PDB_EXECUTION_ERROR;
        double s = seconds_of([&] { status = run_procedure(peer.proc, call); });
        EXPECT_EQ(status, GIMP_PDB_SUCCESS) << peer.proc;
        *out = read_pixels(layer);
        return s;
    };
    auto report = [&](const Peer &peer, double s, const std::vector<guint8> &out) {
        printf("vareknoise2-bench:   %-36s %8.2f %9.0f %9.2f\n", peer.label, s, s * 1e3 / mp, psnr(clean, out));
        fflush(stdout);
    };

    /* The pass-through and the plug-in alternate, so that both meet the
     * same state of a possibly shared machine; the ratio is the median of
     * the ratios of neighbouring runs. */
    std::vector<double> pass_s, own_s, ratios;
    std::vector<guint8> pass_out, own_out;
    for (int round = 0; round < 5; round++) {
        double a = run(peers[0], &pass_out);
        double b = run(peers[1], &own_out);
        ASSERT_GT(a, 0) << "the pass-through is not registered";
        ASSERT_GT(b, 0) << "the plug-in is not registered";
        pass_s.push_back(a);
        own_s.push_back(b);
        ratios.push_back(b / a);
    }
    EXPECT_TRUE(pass_out == noisy) << "the pass-through changed pixels";
    std::vector<guint8> want(noisy.size());
    ASSERT_EQ(0, noise_filter_buffer(&p, noisy.data(), w * 3, want.data(), w * 3, w, h, 3));
    EXPECT_TRUE(own_out == want) << "plug-in output differs from the core";
    report(peers[0], median(pass_s), pass_out);
    report(peers[1], median(own_s), own_out);

    /* GIMP's own filters once each. */
    for (size_t i = 2; i < sizeof peers / sizeof peers[0]; i++) {
        std::vector<guint8> out;
        double s = run(peers[i], &out);
        if (s < 0)
            printf("vareknoise2-bench:   %-36s not in this GIMP's database\n", peers[i].proc);
        else
            report(peers[i], s, out);
    }
    printf("vareknoise2-bench:   ratio plug-in / pass-through: %.2f (target <= 2; runs %.2f to %.2f)\n",
           median(ratios), *std::min_element(ratios.begin(), ratios.end()),
           *std::max_element(ratios.begin(), ratios.end()));
    fflush(stdout);
    gimp_image_delete(image);
}

} // namespace
