// libFuzzer target for the film-grain procedure's values: the three
// levels arrive as arbitrary 32-bit integers and are all accepted, so
// every triple must filter a small picture without undefined behaviour
// and give exactly what the plain 49-sample evaluation gives.
#include <vector>

#include "fuzz_values.h"
#include "grain_core.h"
#include "grain_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace fuzz_values;
    FuzzedDataProvider in(data, size);
    int32_t levels[4];
    for (auto &l : levels)
        l = pick_int32(in, -300, 300);
    const int width = in.ConsumeIntegralInRange<int>(1, 20);
    const int height = in.ConsumeIntegralInRange<int>(1, 20);
    const int bpp = in.ConsumeIntegralInRange<int>(1, 4);
    const size_t stride = (size_t)width * bpp;
    std::vector<uint8_t> src(stride * height), dst(src.size()), ref(src.size());
    fill_bytes(in, src.data(), src.size());
    if (grain_filter_image(src.data(), stride, width, height, bpp, levels, dst.data(), stride) != 0)
        __builtin_trap(); // a valid size and bpp is never refused
    grain_reference_image(src.data(), stride, width, height, bpp, levels, ref.data());
    if (dst != ref)
        __builtin_trap();
    return 0;
}
