// Cases found by the fuzz targets (plugins/vareknoise2/fuzz), kept as named
// tests.  Built in the native and sanitizer trees and in the fuzz tree,
// whose clang UndefinedBehaviorSanitizer sees pointer overflow.
#include <gtest/gtest.h>

#include <vector>

#include "noise_filter.h"

namespace {

std::vector<unsigned char> noise_bytes(size_t n, unsigned seed)
{
    std::vector<unsigned char> out(n);
    for (auto &b : out) {
        seed = seed * 1103515245u + 12345u;
        b = (unsigned char)(seed >> 16);
    }
    return out;
}

// Window starts before a line's first sample were addressed through an
// unsigned offset that wrapped around.  Extreme values that the check
// accepts must filter a small picture, alpha untouched.
TEST(NoiseFuzzRegression, WindowsStartingBeforeTheLineOnExtremeValues)
{
    const NoiseParams found = {7.3067985395076661e-263, 3.5002146139518646, -1.7976931348623157e+308,
                               0.98853159873339802, 0.21119326913401026, -2147483648.0,
                               14.000858691967704, -1.2070861654676168, 1.5472897871890281e+306,
                               1.1753626830668308e+308, 1, 0};
    ASSERT_EQ(0, noise_params_check(&found, nullptr));
    for (const NoiseParams &p : {found, noise_params_defaults}) {
        for (int bpp = 1; bpp <= 4; bpp++) {
            const int w = 9, h = 3;
            std::vector<unsigned char> src = noise_bytes((size_t)w * h * bpp, bpp), dst(src.size());
            ASSERT_EQ(0, noise_filter_buffer(&p, src.data(), w * bpp, dst.data(), w * bpp, w, h, bpp));
            if (bpp % 2 == 0) {
                for (size_t k = bpp - 1; k < src.size(); k += bpp)
                    ASSERT_EQ(src[k], dst[k]) << "alpha of bpp " << bpp;
            }
        }
    }
}

} // namespace
