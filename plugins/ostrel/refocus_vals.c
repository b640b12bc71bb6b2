#include "refocus_vals.h"

#include "le_block.h"
#include "refocus_core.h"

#include <float.h>
#include <math.h>
#include <string.h>

_Static_assert (sizeof (RefocusVals) == REFOCUS_VALS_BLOCK_SIZE,
                "the stored block is the record's raw bytes");
_Static_assert (offsetof (RefocusVals, winsize) == 48, "block layout");
_Static_assert (offsetof (RefocusVals, prev_iter) == 64, "block layout");

/* The core's defaults, with the plug-in's two iteration counts. */
void
refocus_vals_set_defaults (RefocusVals *vals)
{
  RefocusParams params;

  refocus_params_default (&params);
  memset (vals, 0, sizeof *vals);
  vals->radius          = params.radius;
  vals->gauss           = params.gauss;
  vals->motion          = params.motion;
  vals->mot_angle       = params.mot_angle;
  vals->lambda          = params.lambda;
  vals->lambda_min      = params.lambda_min;
  vals->winsize         = (uint32_t) params.winsize;
  vals->iterations      = REFOCUS_DEFAULT_ITERATIONS;
  vals->boundary        = params.boundary;
  vals->adaptive_smooth = params.adaptive_smooth;
  vals->prev_iter       = REFOCUS_DEFAULT_PREV_ITER;
}

void
refocus_vals_to_block (const RefocusVals *vals,
                       unsigned char      block[REFOCUS_VALS_BLOCK_SIZE])
{
  LeBlock b = le_block_writer (block, REFOCUS_VALS_BLOCK_SIZE);

  le_put_f64 (&b, vals->radius);
  le_put_f64 (&b, vals->gauss);
  le_put_f64 (&b, vals->motion);
  le_put_f64 (&b, vals->mot_angle);
  le_put_f64 (&b, vals->lambda);
  le_put_f64 (&b, vals->lambda_min);
  le_put_u32 (&b, vals->winsize);
  le_put_u32 (&b, vals->iterations);
  le_put_i32 (&b, vals->boundary);
  le_put_i32 (&b, vals->adaptive_smooth);
  le_put_u32 (&b, vals->prev_iter);
  le_put_u32 (&b, 0);
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
  LeBlock     b = le_block_reader (block, size);
  RefocusVals v;

  if (block == NULL || size != REFOCUS_VALS_BLOCK_SIZE)
    return -1;
  v.radius          = le_get_f64 (&b);
  v.gauss           = le_get_f64 (&b);
  v.motion          = le_get_f64 (&b);
  v.mot_angle       = le_get_f64 (&b);
  v.lambda          = le_get_f64 (&b);
  v.lambda_min      = le_get_f64 (&b);
  v.winsize         = le_get_u32 (&b);
  v.iterations      = le_get_u32 (&b);
  v.boundary        = le_get_i32 (&b);
  v.adaptive_smooth = le_get_i32 (&b);
  v.prev_iter       = le_get_u32 (&b);
  (void) le_get_u32 (&b);
  v.reserved        = 0;
  if (le_block_done (&b) != 0)
    return -1;
  *vals = v;
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
