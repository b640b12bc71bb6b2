#include "le_block.h"

#include <string.h>

LeBlock le_block_writer(unsigned char *buf, size_t size)
{
    LeBlock b = { buf, NULL, size, 0, buf == NULL };
    return b;
}

LeBlock le_block_reader(const unsigned char *buf, size_t size)
{
    LeBlock b = { NULL, buf, size, 0, buf == NULL };
    return b;
}

/* Reserves n bytes at the cursor: their offset, or -1 (and failed). */
static long take(LeBlock *b, size_t n)
{
    if (b->failed || b->size - b->pos < n) {
        b->failed = 1;
        return -1;
    }
    size_t at = b->pos;
    b->pos += n;
    return (long)at;
}

static void put(LeBlock *b, uint64_t v, size_t n)
{
    long at = b->out ? take(b, n) : (b->failed = 1, -1);
    if (at < 0)
        return;
    for (size_t i = 0; i < n; i++)
        b->out[(size_t)at + i] = (unsigned char)(v >> (8 * i));
}

static uint64_t get(LeBlock *b, size_t n)
{
    long at = b->in ? take(b, n) : (b->failed = 1, -1);
    uint64_t v = 0;
    if (at < 0)
        return 0;
    for (size_t i = 0; i < n; i++)
        v |= (uint64_t)b->in[(size_t)at + i] << (8 * i);
    return v;
}

void le_put_u32(LeBlock *b, uint32_t v)
{
    put(b, v, 4);
}

void le_put_i32(LeBlock *b, int32_t v)
{
    put(b, (uint32_t)v, 4);
}

void le_put_f32(LeBlock *b, float v)
{
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    put(b, bits, 4);
}

void le_put_f64(LeBlock *b, double v)
{
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    put(b, bits, 8);
}

uint32_t le_get_u32(LeBlock *b)
{
    return (uint32_t)get(b, 4);
}

int32_t le_get_i32(LeBlock *b)
{
    return (int32_t)(uint32_t)get(b, 4);
}

float le_get_f32(LeBlock *b)
{
    uint32_t bits = (uint32_t)get(b, 4);
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

double le_get_f64(LeBlock *b)
{
    uint64_t bits = get(b, 8);
    double v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

int le_block_done(const LeBlock *b)
{
    return !b->failed && b->pos == b->size ? 0 : -1;
}
