/* What the three GIMP 3 frames share: the plug-in around their one image
 * procedure, taking the one drawable of a call, the 8-bit pixel format the
 * cores work in, and the transfers of the selection's bounding rectangle
 * through GEGL buffers. */
#ifndef CORVELLA_FRAME3_H
#define CORVELLA_FRAME3_H

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

G_BEGIN_DECLS

/* The drawable a call works on and the rectangle it filters. */
typedef struct
{
  GimpDrawable *drawable;
  const Babl   *format; /* 8 bits per channel, the drawable's channels */
  gint          bpp;    /* 1 grey, 2 grey and alpha, 3 RGB, 4 RGB and alpha */
  gint          x, y, width, height; /* the selection's bounds in the drawable */
} Frame3Target;

/* Which drawables a filter takes. */
typedef enum
{
  FRAME3_RGB_OR_GRAY,  /* "RGB*, GRAY*" */
  FRAME3_RGB_ONLY      /* "RGB": no alpha, no grey */
} Frame3Types;

/* A plug-in program with one image procedure, described once; frame3
 * makes the GimpPlugIn around it. */
typedef struct
{
  const gchar *name;        /* the procedure's */
  const gchar *image_types; /* as registered */
  Frame3Types  types;       /* the drawables the run takes */
  const gchar *menu_label;  /* NULL: no menu entry (and no sensitivity) */
  const gchar *menu_path;

  /* Documentation, attribution and arguments of the new procedure. */
  void (*describe) (GimpProcedure *procedure);

  /* The run, once GEGL is set up and the call's one drawable is taken
   * into t.  A call with other drawables than the procedure takes gets
   * its error before (frame3 hands back a calling error unless exactly
   * one drawable is given, an execution error for an indexed drawable or
   * one of other types, each with a message). */
  GimpValueArray *(*run) (GimpProcedure       *procedure,
                          GimpRunMode          run_mode,
                          GimpProcedureConfig *config,
                          const Frame3Target  *t);

  /* The message catalogue (GimpPlugInClass.set_i18n); NULL for none. */
  gboolean (*set_i18n) (GimpPlugIn   *plug_in,
                        const gchar  *procedure_name,
                        gchar       **gettext_domain,
                        gchar       **catalog_dir);
} Frame3PlugIn;

/* The GimpPlugIn type of the program's one plug-in, for its entry:
 * GIMP_MAIN (frame3_plug_in_type (&plug_in)). */
GType frame3_plug_in_type (const Frame3PlugIn *plug_in);

/* The 8-bit format of a drawable's channels: its own format when that is
 * 8-bit already (the bytes a GIMP 2 plug-in sees), else "R'G'B'A u8",
 * "R'G'B' u8", "Y'A u8" or "Y' u8" in the drawable's colour space, so
 * higher bit depths are filtered at 8 bits. */
const Babl *frame3_format (GimpDrawable *drawable);

/* The rectangle x, y, w, h of the drawable in t->format (w * bpp bytes a
 * row); pixels outside the drawable repeat the nearest edge pixel.  NULL
 * when memory is short. */
guint8 *frame3_read (const Frame3Target *t, gint x, gint y, gint w, gint h);

/* Writes buf (the selection's bounds, t->width * t->bpp bytes a row) into
 * the drawable's shadow buffer, merges it with undo (the selection decides
 * what reaches the drawable) and updates the drawable. */
void frame3_write (const Frame3Target *t, const guint8 *buf);

/* Limits the slider of a GimpProcedureDialog scale entry to lower ...
 * upper (the dialog's range; the spin button keeps the argument's whole
 * range) with digits decimals, and keeps the spin button narrow. */
void frame3_scale_range (GtkWidget *scale_entry, gdouble lower, gdouble upper, gint digits);

/* Return values with status and a message. */
GimpValueArray *frame3_error (GimpProcedure     *procedure,
                              GimpPDBStatusType  status,
                              const gchar       *format,
                              ...) G_GNUC_PRINTF (3, 4);

G_END_DECLS

#endif
