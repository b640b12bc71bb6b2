#include "synth_photo.h"

#include <math.h>
#include <stddef.h>
#include <stdint.h>

/* Integer hash of a lattice point: the same inputs always give the same
 * value in 0..1 on every platform. */
static float lattice(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = (uint32_t)x * 0x8da6b343u ^ (uint32_t)y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (float)(h & 0xffffff) / (float)0xffffff;
}

static float smooth_noise(float x, float y, uint32_t seed)
{
    int32_t ix = (int32_t)floorf(x), iy = (int32_t)floorf(y);
    float fx = x - (float)ix, fy = y - (float)iy;
    fx = fx * fx * (3.f - 2.f * fx);
    fy = fy * fy * (3.f - 2.f * fy);
    float a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    float c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

/* Four octaves of value noise, 0..1, features about 'scale' pixels wide. */
static float fractal(float x, float y, float scale, uint32_t seed)
{
    float sum = 0.f, amp = 0.5f, norm = 0.f;
    x /= scale;
    y /= scale;
    for (int o = 0; o < 4; o++) {
        sum += amp * smooth_noise(x, y, seed + (uint32_t)o * 7919u);
        norm += amp;
        amp *= 0.5f;
        x *= 2.f;
        y *= 2.f;
    }
    return sum / norm;
}

static uint32_t next_random(uint32_t *state)
{
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return *state = x;
}

static float uniform(uint32_t *state) { return (float)(next_random(state) & 0xffffff) / (float)0x1000000; }

#define N_SPHERES 5
#define N_BLOCKS  4

typedef struct { float cx, cy, r, col[3]; } Sphere;
typedef struct { float x0, y0, x1, y1, col[3]; int windows; } Block;

static unsigned char to_byte(float v)
{
    if (v <= 0.f) return 0;
    if (v >= 255.f) return 255;
    return (unsigned char)(v + 0.5f);
}

void synth_photo(unsigned char *rgb, int width, int height, int stride, unsigned seed)
{
    if (!rgb || width < 1 || height < 1)
        return;
    uint32_t st = seed * 2654435761u + 0x9e3779b9u;
    if (!st)
        st = 1;
    float w = (float)width, h = (float)height, size = w < h ? w : h;
    float horizon = h * (0.35f + 0.2f * uniform(&st));

    Sphere spheres[N_SPHERES];
    for (int i = 0; i < N_SPHERES; i++) {
        spheres[i].cx = w * (0.1f + 0.8f * uniform(&st));
        spheres[i].cy = horizon + (h - horizon) * (0.2f + 0.7f * uniform(&st));
        spheres[i].r = size * (0.04f + 0.1f * uniform(&st));
        for (int c = 0; c < 3; c++)
            spheres[i].col[c] = 60.f + 190.f * uniform(&st);
    }
    Block blocks[N_BLOCKS];
    for (int i = 0; i < N_BLOCKS; i++) {
        float bw = w * (0.08f + 0.12f * uniform(&st)), bh = h * (0.1f + 0.25f * uniform(&st));
        blocks[i].x0 = w * uniform(&st) - bw / 2;
        blocks[i].x1 = blocks[i].x0 + bw;
        blocks[i].y1 = horizon + h * 0.02f;
        blocks[i].y0 = blocks[i].y1 - bh;
        float grey = 90.f + 120.f * uniform(&st);
        for (int c = 0; c < 3; c++)
            blocks[i].col[c] = grey * (0.85f + 0.3f * uniform(&st));
        blocks[i].windows = (int)(next_random(&st) & 1);
    }
    float detail = size / 40.f > 2.f ? size / 40.f : 2.f;

    for (int y = 0; y < height; y++) {
        unsigned char *row = rgb + (size_t)y * (size_t)stride;
        float fy = (float)y;
        for (int x = 0; x < width; x++) {
            float fx = (float)x, col[3];
            if (fy < horizon) {
                /* Sky: a vertical gradient with soft clouds. */
                float t = fy / horizon, cloud = fractal(fx, fy * 2.f, size / 4.f, seed);
                cloud = cloud > 0.55f ? (cloud - 0.55f) * 2.2f : 0.f;
                col[0] = 70.f + 90.f * t + 150.f * cloud;
                col[1] = 110.f + 80.f * t + 130.f * cloud;
                col[2] = 200.f + 40.f * t + 40.f * cloud;
            } else {
                /* Ground: textured greens and browns, finer towards the viewer. */
                float t = (fy - horizon) / (h - horizon + 1.f);
                float tex = fractal(fx, fy, detail * (1.5f - t), seed + 17u);
                float grain = smooth_noise(fx * 0.9f, fy * 0.9f, seed + 101u);
                col[0] = 60.f + 90.f * tex + 25.f * grain;
                col[1] = 90.f + 80.f * tex + 20.f * grain - 20.f * t;
                col[2] = 30.f + 40.f * tex + 10.f * grain;
            }
            for (int i = 0; i < N_BLOCKS; i++) {
                const Block *b = &blocks[i];
                if (fx >= b->x0 && fx < b->x1 && fy >= b->y0 && fy < b->y1) {
                    float shade = 0.8f + 0.2f * (fx - b->x0) / (b->x1 - b->x0);
                    int lit = b->windows && ((int)(fx - b->x0) % 9 < 4) && ((int)(fy - b->y0) % 12 < 6);
                    for (int c = 0; c < 3; c++)
                        col[c] = lit ? 235.f - 30.f * (float)c : b->col[c] * shade;
                }
            }
            for (int i = 0; i < N_SPHERES; i++) {
                const Sphere *s = &spheres[i];
                float dx = (fx - s->cx) / s->r, dy = (fy - s->cy) / s->r, d2 = dx * dx + dy * dy;
                if (d2 < 1.f) {
                    /* Lambert shading lit from the upper left, plus a highlight. */
                    float dz = sqrtf(1.f - d2);
                    float lambert = 0.25f + 0.75f * fmaxf(0.f, -0.5f * dx - 0.6f * dy + 0.62f * dz);
                    float shine = powf(fmaxf(0.f, -0.4f * dx - 0.5f * dy + 0.77f * dz), 30.f);
                    for (int c = 0; c < 3; c++)
                        col[c] = s->col[c] * lambert + 200.f * shine;
                }
            }
            /* A thin dark wire across the scene for a one-pixel edge. */
            float wire = fy - (horizon * 0.5f + 0.08f * fx);
            if (wire >= 0.f && wire < 1.2f)
                col[0] = col[1] = col[2] = 25.f;
            row[3 * x + 0] = to_byte(col[0]);
            row[3 * x + 1] = to_byte(col[1]);
            row[3 * x + 2] = to_byte(col[2]);
        }
    }
}
