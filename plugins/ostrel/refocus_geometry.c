#include "refocus_geometry.h"

#include <math.h>

/* M_PI is not part of strict C11. */
#define GEOMETRY_PI 3.14159265358979323846

float
motion_angle_from_pointer (float x, float y)
{
  float dx = x - MOTION_AREA_CENTER;
  float dy = MOTION_AREA_CENTER - y;
  float d  = sqrtf (dx * dx + dy * dy);
  float c, angle;

  if (d < 0.0001f)
    return 0.0f;
  /* Rounding may push the cosine a hair beyond +-1, where acos is NaN. */
  c = dx / d;
  if (c > 1.0f)
    c = 1.0f;
  if (c < -1.0f)
    c = -1.0f;
  angle = (float) (acos (c) * 180.0 / GEOMETRY_PI);
  if (dy < 0.0f)
    angle = 360.0f - angle;
  return angle;
}

void
motion_needle_end (double angle_deg, int *x, int *y)
{
  double theta = angle_deg * GEOMETRY_PI / 180.0;

  *x = MOTION_AREA_CENTER + (int) (MOTION_NEEDLE_LEN * cos (theta) + 0.5);
  *y = MOTION_AREA_CENTER - (int) (MOTION_NEEDLE_LEN * sin (theta) + 0.5);
}

int
preview_extent (int selection_side)
{
  if (selection_side < 0)
    return 0;
  return selection_side < PREVIEW_MAX_SIZE ? selection_side : PREVIEW_MAX_SIZE;
}

int
preview_scroll_limit (int selection_side)
{
  int limit = selection_side - 1 - preview_extent (selection_side);

  return limit > 0 ? limit : 0;
}

int
preview_offset_from_value (double value, int selection_side)
{
  int limit = selection_side - preview_extent (selection_side);

  if (!(value > 0.0))
    return 0;
  if (value >= limit)
    return limit > 0 ? limit : 0;
  return (int) value;
}
