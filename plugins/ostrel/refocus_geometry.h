/* Pixel geometry of the refocus dialog: the motion-direction control and
 * the scrolling preview window.  Plain arithmetic, free of GTK. */
#ifndef OSTREL_REFOCUS_GEOMETRY_H
#define OSTREL_REFOCUS_GEOMETRY_H

#ifdef __cplusplus
extern "C" {
#endif

/* The control is an 80 x 80 area with its centre at (40, 40), x to the
 * right and y downward; the needle is 39 pixels long. */
#define MOTION_AREA_SIZE    80
#define MOTION_AREA_CENTER  40
#define MOTION_NEEDLE_LEN   39

#define PREVIEW_MAX_SIZE    128

/* Angle in degrees [0, 360) that the pointer at (x, y) points to, counted
 * counter-clockwise on the screen from the right; 0 at the centre. */
float motion_angle_from_pointer (float x, float y);

/* End point of the needle for angle_deg. */
void  motion_needle_end (double angle_deg, int *x, int *y);

/* Side of the preview window for a selection side. */
int   preview_extent (int selection_side);

/* Largest offset the preview scrollbar can reach: the adjustment runs from
 * 0 to side - 1 with a page of the window's side; 0 when it cannot move. */
int   preview_scroll_limit (int selection_side);

/* Offset taken from a scroll adjustment's value: truncated toward zero and
 * kept where the whole window lies inside the selection. */
int   preview_offset_from_value (double value, int selection_side);

#ifdef __cplusplus
}
#endif

#endif
