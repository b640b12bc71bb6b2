#include "test_images.h"

#include <cmath>

namespace testimg {

uint32_t Rng::next()
{
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(s >> 33);
}

double Rng::uniform() { return next() / 2147483648.0; }

double Rng::gaussian()
{
    double u = 1.0 - uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
}

std::vector<unsigned char> make(int kind, int width, int height, int bpp, uint64_t seed)
{
    Rng rng(seed);
    std::vector<unsigned char> img(static_cast<size_t>(width) * height * bpp);
    int level = 20 + static_cast<int>(rng.next() % 200);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < bpp; c++) {
                int v = 0;
                int noise = static_cast<int>(rng.next() % 256);
                switch (kind) {
                case 0: v = noise; break;
                case 1: v = level + 10 * c; break;
                case 2: v = x < width / 2 ? 40 + c : 210 - c; break;
                case 3: v = (x * 200) / (width > 1 ? width - 1 : 1) + (noise % 9) - 4; break;
                case 4: v = noise % 37 == 0 ? 255 : level; break;
                default: v = ((x / 7 + y / 5) % 2) ? noise : level; break;
                }
                if (c == 3 || (bpp == 2 && c == 1)) v = noise;  // alpha: random
                img[(static_cast<size_t>(y) * width + x) * bpp + c] =
                    static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    return img;
}

void add_noise(std::vector<unsigned char> &img, int bpp, double sigma, uint64_t seed)
{
    Rng rng(seed);
    int colours = bpp > 2 ? 3 : 1;
    for (size_t i = 0; i < img.size(); i++) {
        if (static_cast<int>(i % bpp) >= colours) continue;
        double v = img[i] + sigma * rng.gaussian();
        long r = std::lround(v);
        img[i] = static_cast<unsigned char>(r < 0 ? 0 : r > 255 ? 255 : r);
    }
}

double psnr(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b, int bpp)
{
    int colours = bpp > 2 ? 3 : 1;
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) {
        if (static_cast<int>(i % bpp) >= colours) continue;
        double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
        count++;
    }
    if (count == 0 || sum == 0) return INFINITY;
    return 10.0 * std::log10(255.0 * 255.0 / (sum / count));
}

}  // namespace testimg
