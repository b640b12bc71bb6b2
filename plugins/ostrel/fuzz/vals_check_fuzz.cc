// libFuzzer target for the refocus procedure's value check: arbitrary
// doubles and 32-bit integers for the eleven values on a small selection.
// Values the check accepts must then run through the core on that
// selection without undefined behaviour and leave every sample within
// 0..255.  Only the check is under test, not the run's length: the
// iteration count is capped at 2 here, and accepted masks wider than
// kRunMaskRadius are not run (the solver's set-up grows with the fourth
// power of the mask radius, about 20 s per channel at the largest accepted
// radius, which would leave the fuzzer nothing else to do).
#include <cmath>
#include <vector>

#include "fuzz_values.h"
#include "refocus_core.h"
#include "refocus_vals.h"

namespace {

const long kRunMaskRadius = 20;

struct Picture {
    std::vector<std::vector<unsigned char>> source;
    Matrix channels[3];
    int n;
};

void read_selection(void *user)
{
    Picture *p = static_cast<Picture *>(user);
    for (int c = 0; c < p->n; c++) {
        Matrix &m = p->channels[c];
        for (size_t k = 0; k < p->source[c].size(); k++)
            m.data[k] = p->source[c][k];
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace fuzz_values;
    FuzzedDataProvider in(data, size);
    RefocusVals vals;
    refocus_vals_set_defaults(&vals);
    vals.radius = pick_double(in, 0, 30);
    vals.gauss = pick_double(in, 0, 30);
    vals.motion = pick_double(in, 0, 30);
    vals.mot_angle = pick_double(in, -360, 360);
    vals.lambda = pick_double(in, 0, 1000);
    vals.boundary = pick_int32(in, 0, 1);
    vals.lambda_min = pick_double(in, 0, 1000);
    vals.adaptive_smooth = pick_int32(in, 0, 1);
    /* As the plug-in takes them: the 32-bit pattern kept unsigned. */
    vals.winsize = (uint32_t)pick_int32(in, 0, 20);
    vals.iterations = (uint32_t)pick_int32(in, 0, 5);
    vals.prev_iter = (uint32_t)pick_int32(in, 0, 5);
    const int width = in.ConsumeIntegralInRange<int>(1, 12);
    const int height = in.ConsumeIntegralInRange<int>(1, 12);

    RefocusValsCheck check = refocus_vals_check(&vals, width, height);
    if (check != REFOCUS_VALS_OK)
        return 0;
    RefocusParams params;
    refocus_vals_to_params(&vals, &params);
    if (refocus_mask_radius(&params) > kRunMaskRadius)
        return 0;

    Picture pic;
    pic.n = in.ConsumeBool() ? 3 : 1;
    pic.source.resize(pic.n);
    for (int c = 0; c < pic.n; c++) {
        pic.source[c].resize((size_t)width * height);
        fill_bytes(in, pic.source[c].data(), pic.source[c].size());
        matrix_create(&pic.channels[c], width, height);
    }
    RefocusHost host = {};
    host.user = &pic;
    for (int c = 0; c < pic.n; c++)
        host.channels[c] = &pic.channels[c];
    host.n_channels = pic.n;
    host.read_selection = read_selection;
    int iterations = vals.iterations > 2 ? 2 : (int)vals.iterations;
    if (refocus_compute(&params, &host, iterations) == REFOCUS_REFUSED)
        __builtin_trap(); /* the check accepted what the core refuses */
    for (int c = 0; c < pic.n; c++) {
        for (size_t k = 0; k < pic.source[c].size(); k++) {
            float v = pic.channels[c].data[k];
            if (!(v >= 0.0f && v <= 255.0f))
                __builtin_trap();
        }
        matrix_destroy(&pic.channels[c]);
    }
    return 0;
}
