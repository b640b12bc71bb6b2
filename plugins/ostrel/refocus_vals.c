#include "refocus_vals.h"

#include "refocus_core.h"

#include <float.h>
#include <math.h>
#include <string.h>

_Static_assert (sizeof (RefocusVals) == REFOCUS_VALS_BLOCK_SIZE,
                "the stored block is the record's raw bytes");
_Static_assert (offsetof (RefocusVals, winsize) == 48, "block layout");
_Static_assert (offsetof (RefocusVals, prev_iter) == 64, "block layout");

void
refocus_vals_set_defaults (RefocusVals *vals)
{
  memset (vals, 0, sizeof *vals);
  vals->radius          = 6.0;
  vals->gauss           = 0.0;
  vals->motion          = 0.0;
  vals->mot_angle       = 0.0;
  vals->lambda          = 100.0;
  vals->lambda_min      = 30.0;
  vals->winsize         = 3;
  vals->iterations      = 100;
  vals->boundary        = 0;
  vals->adaptive_smooth = 1;
  vals->prev_iter       = 10;
}

static void
put_u32 (unsigned char *p, uint32_t v)
{
  p[0] = (unsigned char) v;
  p[1] = (unsigned char) (v >> 8);
  p[2] = (unsigned char) (v >> 16);
  p[3] = (unsigned char) (v >> 24);
}

static uint32_t
get_u32 (const unsigned char *p)
{
  return (uint32_t) p[0] | (uint32_t) p[1] << 8 | (uint32_t) p[2] << 16
         | (uint32_t) p[3] << 24;
}

static void
put_f64 (unsigned char *p, double d)
{
  uint64_t bits;

  memcpy (&bits, &d, sizeof bits);
  put_u32 (p, (uint32_t) bits);
  put_u32 (p + 4, (uint32_t) (bits >> 32));
}

static double
get_f64 (const unsigned char *p)
{
  uint64_t bits = (uint64_t) get_u32 (p) | (uint64_t) get_u32 (p + 4) << 32;
  double   d;

  memcpy (&d, &bits, sizeof d);
  return d;
}

void
refocus_vals_to_block (const RefocusVals *vals,
                       unsigned char      block[REFOCUS_VALS_BLOCK_SIZE])
{
  put_f64 (block + 0, vals->radius);
  put_f64 (block + 8, vals->gauss);
  put_f64 (block + 16, vals->motion);
  put_f64 (block + 24, vals->mot_angle);
  put_f64 (block + 32, vals->lambda);
  put_f64 (block + 40, vals->lambda_min);
  put_u32 (block + 48, vals->winsize);
  put_u32 (block + 52, vals->iterations);
  put_u32 (block + 56, (uint32_t) vals->boundary);
  put_u32 (block + 60, (uint32_t) vals->adaptive_smooth);
  put_u32 (block + 64, vals->prev_iter);
  put_u32 (block + 68, 0);
}

void
refocus_vals_to_params (const RefocusVals *vals, RefocusParams *params)
{
  params->radius          = vals->radius;
  params->gauss           = vals->gauss;
  params->motion          = vals->motion;
  params->mot_angle       = vals->mot_angle;
  params->lambda          = vals->lambda;
  params->lambda_min      = vals->lambda_min;
  params->winsize         = (int) vals->winsize;
  params->boundary        = vals->boundary;
  params->adaptive_smooth = vals->adaptive_smooth;
}

int
refocus_vals_from_block (RefocusVals         *vals,
                         const unsigned char *block,
                         size_t               size)
{
  if (block == NULL || size != REFOCUS_VALS_BLOCK_SIZE)
    return -1;
  vals->radius          = get_f64 (block + 0);
  vals->gauss           = get_f64 (block + 8);
  vals->motion          = get_f64 (block + 16);
  vals->mot_angle       = get_f64 (block + 24);
  vals->lambda          = get_f64 (block + 32);
  vals->lambda_min      = get_f64 (block + 40);
  vals->winsize         = get_u32 (block + 48);
  vals->iterations      = get_u32 (block + 52);
  vals->boundary        = (int32_t) get_u32 (block + 56);
  vals->adaptive_smooth = (int32_t) get_u32 (block + 60);
  vals->prev_iter       = get_u32 (block + 64);
  vals->reserved        = 0;
  return 0;
}

static int
fits_float (double v)
{
  return isfinite (v) && fabs (v) <= FLT_MAX;
}

RefocusValsCheck
refocus_vals_check (const RefocusVals *vals, int width, int height)
{
  double        side = width > height ? width : height;
  RefocusParams params;
  char          reason[160];

  if (!fits_float (vals->radius) || !fits_float (vals->gauss)
      || !fits_float (vals->motion) || !fits_float (vals->mot_angle)
      || !fits_float (vals->lambda) || !fits_float (vals->lambda_min))
    return REFOCUS_VALS_NOT_FINITE;

  /* Counts arrive as int32 and are kept unsigned: a negative one would
   * become billions of iterations or a window of billions of pixels. */
  if (vals->iterations > INT32_MAX || vals->winsize > INT32_MAX)
    return REFOCUS_VALS_NEGATIVE_COUNT;
  if (vals->iterations > REFOCUS_MAX_ITERATIONS)
    return REFOCUS_VALS_TOO_MANY_ITERATIONS;

  /* Each pixel's variance sums (2 winsize + 1)^2 samples: a window much
   * wider than the selection only repeats reflected pixels at great cost. */
  if (vals->winsize
      > (side > REFOCUS_DIALOG_WINSIZE ? side : REFOCUS_DIALOG_WINSIZE))
    return REFOCUS_VALS_WINDOW_TOO_LARGE;

  refocus_vals_to_params (vals, &params);
  if (refocus_check (&params, 0, 0, 0, reason, sizeof reason) != 0)
    return REFOCUS_VALS_MASK_TOO_LARGE;

  return REFOCUS_VALS_OK;
}

const char *
refocus_vals_check_message (RefocusValsCheck check)
{
  switch (check)
    {
    case REFOCUS_VALS_OK:
      return "values accepted";
    case REFOCUS_VALS_NOT_FINITE:
      return "a kernel or weight value is not a finite single-precision number";
    case REFOCUS_VALS_NEGATIVE_COUNT:
      return "the iteration count or the area size is negative";
    case REFOCUS_VALS_MASK_TOO_LARGE:
      return "the blur kernels need a mask far larger than the selection";
    case REFOCUS_VALS_WINDOW_TOO_LARGE:
      return "the smoothing area is far larger than the selection";
    case REFOCUS_VALS_TOO_MANY_ITERATIONS:
      return "the iteration count is beyond 10000";
    }
  return "unknown check";
}
