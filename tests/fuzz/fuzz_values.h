/* Parameter values for the fuzz targets of the procedures' checks: drawn
 * from the fuzzer's bytes, with the values a script is most likely to get
 * wrong (NaN, infinities, extremes, denormals, zero, negatives) as likely
 * as arbitrary bit patterns and ordinary ranges. */
#ifndef CORVELLA_FUZZ_VALUES_H
#define CORVELLA_FUZZ_VALUES_H

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace fuzz_values {

inline double pick_double(FuzzedDataProvider &in, double usual_min, double usual_max)
{
    static const double special[] = {
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        INFINITY, -INFINITY, 1e308, -1e308, DBL_MAX, -DBL_MAX, FLT_MAX, -FLT_MAX,
        4.9e-324, -4.9e-324, DBL_MIN, 0.0, -0.0, 1.0, -1.0, 0.5, 2147483647.0, -2147483648.0,
        1e7, -1e7, 1e-8, 256.0, 257.0};
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return special[in.ConsumeIntegralInRange<size_t>(0, sizeof special / sizeof *special - 1)];
    case 1: {
        uint64_t bits = in.ConsumeIntegral<uint64_t>();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    case 2:
        return in.ConsumeFloatingPoint<double>();
    default:
        return in.ConsumeFloatingPointInRange<double>(usual_min, usual_max);
    }
}

inline int32_t pick_int32(FuzzedDataProvider &in, int32_t usual_min, int32_t usual_max)
{
    static const int32_t special[] = {0, 1, -1, 2, 255, 256, 46340, 46341, 65535, 65536,
                                      INT32_MAX, INT32_MIN, INT32_MAX - 1, INT32_MIN + 1};
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        return special[in.ConsumeIntegralInRange<size_t>(0, sizeof special / sizeof *special - 1)];
    case 1:
        return in.ConsumeIntegral<int32_t>();
    default:
        return in.ConsumeIntegralInRange<int32_t>(usual_min, usual_max);
    }
}

/* A small test picture: width x height x channels bytes. */
inline void fill_bytes(FuzzedDataProvider &in, unsigned char *p, size_t n)
{
    uint32_t s = in.ConsumeIntegral<uint32_t>() | 1;
    for (size_t k = 0; k < n; k++) {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        p[k] = (unsigned char)s;
    }
}

} // namespace fuzz_values

#endif
