/* The refocus filter's parameter record, its stored block and the checks
 * applied to values that arrive from scripts.  Free of GIMP and GTK, so the
 * unit tests can use it directly. */
#ifndef OSTREL_REFOCUS_VALS_H
#define OSTREL_REFOCUS_VALS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The stored block is this record's raw bytes, little-endian: six doubles at
 * 0..40, five 32-bit fields at 48..64, four bytes that carry nothing. */
typedef struct
{
  double   radius;          /* disc radius, pixels */
  double   gauss;           /* Gaussian standard deviation, pixels */
  double   motion;          /* motion streak length, pixels */
  double   mot_angle;       /* motion direction, degrees */
  double   lambda;          /* noise regularisation weight */
  double   lambda_min;      /* area smoothness */
  uint32_t winsize;         /* half size of the variance window */
  uint32_t iterations;
  int32_t  boundary;        /* 0 mirror boundary, otherwise periodical */
  int32_t  adaptive_smooth; /* boolean */
  uint32_t prev_iter;
  uint32_t reserved;        /* keeps the block 72 bytes on every ABI */
} RefocusVals;

#define REFOCUS_VALS_BLOCK_SIZE 72

/* The largest variance window half size the dialog can set. */
#define REFOCUS_DIALOG_WINSIZE 16

/* The most iterations a call may ask for: fifty times the dialog's largest
 * count.  More would keep the editor waiting for hours on any selection. */
#define REFOCUS_MAX_ITERATIONS 10000

typedef enum
{
  REFOCUS_VALS_OK = 0,
  REFOCUS_VALS_NOT_FINITE,       /* NaN, infinity, or beyond float range */
  REFOCUS_VALS_NEGATIVE_COUNT,   /* iterations or winsize negative as int32 */
  REFOCUS_VALS_MASK_TOO_LARGE,
  REFOCUS_VALS_WINDOW_TOO_LARGE,
  REFOCUS_VALS_TOO_MANY_ITERATIONS
} RefocusValsCheck;

struct RefocusParams;

void refocus_vals_set_defaults (RefocusVals *vals);

/* The values the computation needs, for the core's run. */
void refocus_vals_to_params (const RefocusVals    *vals,
                             struct RefocusParams *params);

void refocus_vals_to_block   (const RefocusVals *vals,
                              unsigned char      block[REFOCUS_VALS_BLOCK_SIZE]);
/* 0 on success; -1 (vals untouched) unless size is exactly 72. */
int  refocus_vals_from_block (RefocusVals         *vals,
                              const unsigned char *block,
                              size_t               size);

/* Whether the values can be computed safely over a width x height
 * selection: finite in single precision, counts not negative, at most
 * REFOCUS_MAX_ITERATIONS iterations, a variance window within reach of the
 * selection, and a degradation mask the core accepts.  Every other value is used as given. */
RefocusValsCheck refocus_vals_check (const RefocusVals *vals,
                                     int width, int height);
const char      *refocus_vals_check_message (RefocusValsCheck check);

#ifdef __cplusplus
}
#endif

#endif
