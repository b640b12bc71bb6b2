/* Little-endian stored blocks: a cursor over a byte buffer that writes and
 * reads fixed-size fields in order and refuses to run past the end.  The
 * filters keep their parameter records in the editor as such blocks. */
#ifndef CORVELLA_LE_BLOCK_H
#define CORVELLA_LE_BLOCK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A write cursor (out) or a read cursor (in) over size bytes.  A field
 * that does not fit sets failed and leaves the buffer and the position as
 * they were; every later field of the same cursor fails too, so a caller
 * checks once at the end. */
typedef struct {
    unsigned char *out;
    const unsigned char *in;
    size_t size;
    size_t pos;
    int failed;
} LeBlock;

LeBlock le_block_writer(unsigned char *buf, size_t size);
LeBlock le_block_reader(const unsigned char *buf, size_t size);

void le_put_u32(LeBlock *b, uint32_t v);
void le_put_i32(LeBlock *b, int32_t v);
void le_put_f32(LeBlock *b, float v);
void le_put_f64(LeBlock *b, double v);

/* A field that does not fit reads as 0. */
uint32_t le_get_u32(LeBlock *b);
int32_t  le_get_i32(LeBlock *b);
float    le_get_f32(LeBlock *b);
double   le_get_f64(LeBlock *b);

/* 0 when every field fitted and the cursor stands exactly at the end of
 * the buffer, otherwise -1. */
int le_block_done(const LeBlock *b);

#ifdef __cplusplus
}
#endif

#endif
