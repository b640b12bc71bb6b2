/* The film-grain filter over a GIMP drawable, tile by tile. */
#ifndef TESSALINE_GRAIN_FILTER_H
#define TESSALINE_GRAIN_FILTER_H

#include <libgimp/gimp.h>

#include "grain_core.h"

/* Copies the rectangle x ... x+w-1, y ... y+h-1 of the region's drawable
 * into buf (rows w * bpp bytes apart); parts outside the drawable repeat
 * the nearest edge pixel.  The rectangle must overlap the drawable. */
void fetch_rect_clamped(GimpPixelRgn *src, guchar *buf, gint x, gint y, gint w, gint h);

/* Filters the whole drawable in place through its shadow tiles with the
 * given levels (one per channel, drawable bpp <= 3), merges with undo,
 * updates it, flushes the displays and detaches the drawable.  Returns
 * FALSE, with the drawable unchanged and detached, when the tile buffer
 * cannot be allocated. */
gboolean grain_filter(GimpDrawable *drawable, const GrainParams *params);

#endif
