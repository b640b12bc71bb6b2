// Degradation kernels checked against independent numeric integration.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "testutil.h"

namespace {

struct Mask {
    ConvMask m{};
    ~Mask() { convmask_destroy(&m); }
    float at(int x, int y) const { return convmask_get(&m, x, y); }
    double sum() const
    {
        double s = 0;
        for (int k = 0; k < m.width * m.width; k++)
            s += m.data[k];
        return s;
    }
};

// Area of [x0, x1] x [y0, y1] inside the disc of radius r about the
// origin, by the midpoint rule over x of the covered height.
double disc_cell_area(double x0, double x1, double y0, double y1, double r)
{
    const int steps = 4000;
    double area = 0, dx = (x1 - x0) / steps;
    for (int k = 0; k < steps; k++) {
        double x = x0 + (k + 0.5) * dx;
        if (std::fabs(x) >= r)
            continue;
        double s = std::sqrt(r * r - x * x);
        double lo = std::max(y0, -s), hi = std::min(y1, s);
        if (hi > lo)
            area += (hi - lo) * dx;
    }
    return area;
}

TEST(DiscMask, DegenerateRadii)
{
    for (float r : { 0.49f, 0.0f, -3.0f, NAN }) {
        Mask d;
        convmask_disc(&d.m, r);
        EXPECT_EQ(d.m.radius, 0) << r;
        EXPECT_EQ(d.at(0, 0), 1.0f);
    }
    Mask half;
    convmask_disc(&half.m, 0.5f);
    ASSERT_EQ(half.m.radius, 1);
    for (int y = -1; y <= 1; y++)
        for (int x = -1; x <= 1; x++)
            EXPECT_FLOAT_EQ(half.at(x, y), x == 0 && y == 0 ? 1.0f : 0.0f);
}

TEST(DiscMask, RadiusOneValues)
{
    Mask d;
    convmask_disc(&d.m, 1.0f);
    ASSERT_EQ(d.m.radius, 1);
    EXPECT_NEAR(d.at(0, 0), 0.31831, 5e-6);
    EXPECT_NEAR(d.at(1, 0), 0.14534, 5e-6);
    EXPECT_NEAR(d.at(0, -1), 0.14534, 5e-6);
    EXPECT_NEAR(d.at(-1, 1), 0.02508, 5e-6);
    EXPECT_NEAR(d.sum(), 1.0, 1e-6);
}

class DiscRadii : public ::testing::TestWithParam<float> {};

TEST_P(DiscRadii, MatchesNumericIntegrationAndSymmetries)
{
    float r = GetParam();
    Mask d;
    convmask_disc(&d.m, r);
    int n = (int)(r + 0.5f);
    ASSERT_EQ(d.m.radius, n);
    double total = M_PI * (double)r * r;
    for (int y = -n; y <= n; y++)
        for (int x = -n; x <= n; x++) {
            double expect = disc_cell_area(x - 0.5, x + 0.5, y - 0.5, y + 0.5, r) / total;
            EXPECT_NEAR(d.at(x, y), expect, 2e-5) << x << "," << y;
            EXPECT_EQ(d.at(x, y), d.at(-x, y));
            EXPECT_EQ(d.at(x, y), d.at(x, -y));
            EXPECT_NEAR(d.at(x, y), d.at(y, x), 1e-6);
        }
    EXPECT_NEAR(d.sum(), 1.0, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Radii, DiscRadii, ::testing::Values(0.8f, 1.3f, 2.5f, 3.7f, 6.0f, 9.2f));

TEST(GaussMask, RadiusRuleAndValues)
{
    for (float sigma : { 0.1f, 0.5f, 1.0f, 2.3f, 4.0f }) {
        Mask g;
        convmask_gauss(&g.m, sigma);
        int n = (int)(sigma * std::sqrt(-2.0 * std::log(0.01)) + 0.5);
        ASSERT_EQ(g.m.radius, n) << sigma;
        double norm = 0;
        for (int y = -n; y <= n; y++)
            for (int x = -n; x <= n; x++)
                norm += std::exp(-(x * x + y * y) / (2.0 * sigma * sigma));
        for (int y = -n; y <= n; y++)
            for (int x = -n; x <= n; x++)
                EXPECT_NEAR(g.at(x, y), std::exp(-(x * x + y * y) / (2.0 * sigma * sigma)) / norm,
                            1e-6);
    }
    Mask one;
    convmask_gauss(&one.m, 1.0f);
    EXPECT_EQ(one.m.radius, 3);
    Mask tiny;
    convmask_gauss(&tiny.m, 0.1f);
    EXPECT_EQ(tiny.m.radius, 0);
    EXPECT_FLOAT_EQ(tiny.at(0, 0), 1.0f);
    Mask none;
    convmask_gauss(&none.m, 5e-7f);
    EXPECT_EQ(none.m.radius, 0);
}

TEST(MotionMask, AxisAlignedStreaks)
{
    struct {
        float angle;
        int dx, dy;
    } cases[] = { { 0, 1, 0 }, { 90, 0, 1 }, { 180, -1, 0 }, { 270, 0, -1 } };
    for (auto c : cases) {
        Mask m;
        convmask_motion(&m.m, 3.0f, c.angle);
        ASSERT_EQ(m.m.radius, 4);
        for (int y = -4; y <= 4; y++)
            for (int x = -4; x <= 4; x++) {
                bool on = false;
                for (int t = 0; t <= 3; t++)
                    on |= x == t * c.dx && y == t * c.dy;
                EXPECT_NEAR(m.at(x, y), on ? 0.25f : 0.0f, 1e-5)
                    << "angle " << c.angle << " at " << x << "," << y;
            }
    }
}

// Area of the rotated streak in each cell by point sampling.
TEST(MotionMask, MatchesSampledAreaAtOddAngles)
{
    for (float len : { 2.5f, 5.0f })
        for (float angle : { 30.0f, 45.0f, 137.0f, -20.0f }) {
            Mask m;
            convmask_motion(&m.m, len, angle);
            int n = (int)(len + 1);
            ASSERT_EQ(m.m.radius, n);
            double th = angle * M_PI / 180, c = std::cos(th), s = std::sin(th);
            const int sub = 64;
            double total = 0;
            std::vector<double> area(m.m.width * m.m.width);
            for (int y = -n; y <= n; y++)
                for (int x = -n; x <= n; x++) {
                    int hits = 0;
                    for (int b = 0; b < sub; b++)
                        for (int a = 0; a < sub; a++) {
                            double px = x - 0.5 + (a + 0.5) / sub, py = y - 0.5 + (b + 0.5) / sub;
                            double u = px * c + py * s, v = -px * s + py * c;  // unrotate
                            hits += u >= -0.5 && u <= len + 0.5 && v >= -0.5 && v <= 0.5;
                        }
                    area[(y + n) * m.m.width + x + n] = hits;
                    total += hits;
                }
            for (int y = -n; y <= n; y++)
                for (int x = -n; x <= n; x++)
                    EXPECT_NEAR(m.at(x, y), area[(y + n) * m.m.width + x + n] / total, 4e-3)
                        << len << " " << angle << " at " << x << "," << y;
            EXPECT_NEAR(m.sum(), 1.0, 1e-5);
        }
}

TEST(MotionMask, DegenerateLengths)
{
    for (float len : { 0.0f, 0.00005f, -2.0f, NAN }) {
        Mask m;
        convmask_motion(&m.m, len, 10.0f);
        EXPECT_EQ(m.m.radius, 0);
        EXPECT_EQ(m.at(0, 0), 1.0f);
    }
}

TEST(Convolve, IdentityReproducesAndMatchesDirectSum)
{
    Mask id, disc, motion;
    convmask_disc(&id.m, 0.0f);
    convmask_disc(&disc.m, 2.2f);
    convmask_motion(&motion.m, 3.0f, 25.0f);
    for (const Mask *m : { &disc, &motion }) {
        Mask left, right;
        convmask_convolve(&left.m, &id.m, &m->m);
        convmask_convolve(&right.m, &m->m, &id.m);
        ASSERT_EQ(left.m.radius, m->m.radius);
        ASSERT_EQ(right.m.radius, m->m.radius);
        for (int k = 0; k < m->m.width * m->m.width; k++) {
            EXPECT_FLOAT_EQ(left.m.data[k], m->m.data[k]);
            EXPECT_FLOAT_EQ(right.m.data[k], m->m.data[k]);
        }
    }
    Mask both;
    convmask_convolve(&both.m, &disc.m, &motion.m);
    int ra = disc.m.radius, rb = motion.m.radius;
    ASSERT_EQ(both.m.radius, ra + rb);
    for (int y = -(ra + rb); y <= ra + rb; y++)
        for (int x = -(ra + rb); x <= ra + rb; x++) {
            double s = 0;
            for (int l = -rb; l <= rb; l++)
                for (int k = -rb; k <= rb; k++)
                    if (std::abs(x - k) <= ra && std::abs(y - l) <= ra)
                        s += (double)motion.at(k, l) * disc.at(x - k, y - l);
            EXPECT_NEAR(both.at(x, y), s, 1e-7);
        }
    EXPECT_NEAR(both.sum(), 1.0, 1e-5);
}

TEST(ConvmaskPrint, Layout)
{
    Mask d;
    convmask_disc(&d.m, 2.0f);
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    convmask_print(&d.m, f);
    fclose(f);
    std::istringstream in(std::string(buf, len));
    free(buf);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line))
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u * 2 + 2);
    EXPECT_EQ(lines[0], "CONVMASK:");
    char expect[32];
    std::snprintf(expect, sizeof expect, "%1.4f ", d.at(-2, -2));
    for (size_t k = 1; k < lines.size(); k++) {
        EXPECT_EQ(lines[k].size(), 5u * 7) << lines[k];
        EXPECT_EQ(lines[k].back(), ' ');
    }
    EXPECT_EQ(lines[1].substr(0, 7), expect);
}

TEST(MaskRadius, PredictsBuildersAndFlagsOverflow)
{
    for (float r : { 0.4f, 0.5f, 1.0f, 6.49f, 6.5f }) {
        Mask d;
        convmask_disc(&d.m, r);
        EXPECT_EQ(convmask_disc_radius(r), d.m.radius);
    }
    EXPECT_EQ(convmask_motion_radius(3.0), 4);
    EXPECT_EQ(convmask_gauss_radius(1.0), 3);
    EXPECT_EQ(convmask_disc_radius(1e12), INT_MAX);
    EXPECT_EQ(convmask_motion_radius(1e300), INT_MAX);
    EXPECT_EQ(convmask_gauss_radius(INFINITY), INT_MAX);
    EXPECT_EQ(convmask_disc_radius(NAN), 0);
}

}  // namespace
