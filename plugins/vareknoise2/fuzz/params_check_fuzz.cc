// libFuzzer target for the camera-noise procedure's value check: arbitrary
// doubles for the ten values.  Values the plug-in's check accepts must
// then filter a small picture of 1 to 4 channels without undefined
// behaviour, leaving the alpha channel as it was.  Accepted values whose
// lines need more than kRunMargin spare samples a side are checked but not
// run: every line then carries millions of samples (up to NOISE_MAX_MARGIN),
// which takes tens of seconds per input under the sanitizers.
#include <vector>

#include "fuzz_values.h"
#include "noise_filter.h"

static const int kRunMargin = 4096;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace fuzz_values;
    FuzzedDataProvider in(data, size);
    NoiseParams p = noise_params_defaults;
    p.radius = pick_double(in, 0, 20);
    p.lsmooth = pick_double(in, 0, 5);
    p.csmooth = pick_double(in, 0, 5);
    p.effect = pick_double(in, 0, 1);
    p.lookahead = pick_double(in, 0, 10);
    p.gamma = pick_double(in, 0, 5);
    p.damping = pick_double(in, 0, 20);
    p.phase = pick_double(in, -5, 5);
    p.texture = pick_double(in, -1, 1);
    p.sharp = pick_double(in, 0, 1);
    // The non-interactive run's refusal.
    if (p.radius < 0 || p.lsmooth < 0 || noise_params_check(&p, nullptr) != 0)
        return 0;
    NoiseDerived d;
    noise_derive(&p, p.radius, &d);
    if (d.margin > kRunMargin)
        return 0;

    const int width = in.ConsumeIntegralInRange<int>(1, 9);
    const int height = in.ConsumeIntegralInRange<int>(1, 9);
    const int bpp = in.ConsumeIntegralInRange<int>(1, 4);
    std::vector<unsigned char> src((size_t)width * height * bpp), dst(src.size());
    fill_bytes(in, src.data(), src.size());
    if (noise_filter_buffer(&p, src.data(), width * bpp, dst.data(), width * bpp, width, height,
                            bpp) != 0)
        return 0; // memory short: refused cleanly
    if (bpp == 2 || bpp == 4)
        for (size_t k = bpp - 1; k < src.size(); k += bpp)
            if (dst[k] != src[k])
                __builtin_trap();
    return 0;
}
