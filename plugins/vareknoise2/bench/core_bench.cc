// Core timing for the benchmark script: production and reference time per
// megapixel on a noisy synthetic photo, and the PSNR before and after.
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "noise_filter.h"
#include "reference_filter.h"
#include "synth_photo.h"
#include "test_images.h"

namespace {

// Processor time of this process: steadier than wall time on a shared machine.
double cpu_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

}  // namespace

int main(int argc, char **argv)
{
    int w = argc > 1 ? std::atoi(argv[1]) : 1600;
    int h = argc > 2 ? std::atoi(argv[2]) : 1200;
    int rw = argc > 3 ? std::atoi(argv[3]) : 400;  // reference size (it is slow)
    int rh = rw * 3 / 4;
    std::vector<unsigned char> clean(static_cast<size_t>(w) * h * 3);
    synth_photo(clean.data(), w, h, w * 3, 1);
    std::vector<unsigned char> noisy = clean;
    testimg::add_noise(noisy, 3, 10, 42);
    std::vector<unsigned char> out(noisy.size());

    double t0 = cpu_seconds();
    if (noise_filter_buffer(&noise_params_defaults, noisy.data(), w * 3, out.data(), w * 3, w, h, 3) != 0) {
        std::fprintf(stderr, "filter refused\n");
        return 1;
    }
    double prod = (cpu_seconds() - t0) / (w * (double)h / 1e6);

    // The merge alone, over the same pixels.
    NoiseFilter nf;
    if (noise_filter_init(&nf, &noise_params_defaults, 5.0, 1.0, w) != 0) return 1;
    std::vector<unsigned char> merged = out;
    t0 = cpu_seconds();
    for (int y = 0; y < h; y++)
        noise_merge_line(&nf, &noisy[(size_t)y * w * 3], &merged[(size_t)y * w * 3], w, 3);
    double merge = (cpu_seconds() - t0) / (w * (double)h / 1e6);
    noise_filter_free(&nf);

    std::vector<unsigned char> small(static_cast<size_t>(rw) * rh * 3);
    for (int y = 0; y < rh; y++)
        for (int x = 0; x < rw * 3; x++) small[(size_t)y * rw * 3 + x] = noisy[(size_t)y * w * 3 + x];
    t0 = cpu_seconds();
    std::vector<unsigned char> want = ref::filter_image(noise_params_defaults, small, rw, rh, 3);
    double refs = (cpu_seconds() - t0) / (rw * (double)rh / 1e6);
    std::vector<unsigned char> got(small.size());
    noise_filter_buffer(&noise_params_defaults, small.data(), rw * 3, got.data(), rw * 3, rw, rh, 3);
    size_t differ = 0;
    for (size_t i = 0; i < got.size(); i++) differ += got[i] != want[i];

    std::printf("core, defaults, RGB %dx%d: production %.3f s/MP (processor time), of which merge %.3f\n",
                w, h, prod, merge);
    std::printf("core, defaults, RGB %dx%d: reference  %.3f s/MP (processor time) (speed-up %.1fx; %zu of %zu samples differ)\n",
                rw, rh, refs, refs / prod, differ, got.size());
    std::printf("PSNR vs clean photo (Gaussian noise sigma 10): noisy %.2f dB, filtered %.2f dB\n",
                testimg::psnr(clean, noisy, 3), testimg::psnr(clean, out, 3));
    return 0;
}
