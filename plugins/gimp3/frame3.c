#include "frame3.h"

#include <stdarg.h>

GimpValueArray *
frame3_error (GimpProcedure *procedure, GimpPDBStatusType status, const gchar *format, ...)
{
  va_list  args;
  gchar   *text;
  GError  *error;

  va_start (args, format);
  text = g_strdup_vprintf (format, args);
  va_end (args);
  error = g_error_new_literal (GIMP_PLUG_IN_ERROR, 0, text);
  g_free (text);
  return gimp_procedure_new_return_values (procedure, status, error);
}

void
frame3_scale_range (GtkWidget *scale_entry, gdouble lower, gdouble upper, gint digits)
{
  GtkWidget *spin = gimp_label_spin_get_spin_button (GIMP_LABEL_SPIN (scale_entry));

  gimp_scale_entry_set_bounds (GIMP_SCALE_ENTRY (scale_entry), lower, upper, TRUE);
  gimp_label_spin_set_digits (GIMP_LABEL_SPIN (scale_entry), digits);
  gtk_entry_set_width_chars (GTK_ENTRY (spin), 8);
  gtk_widget_set_hexpand (gimp_scale_entry_get_range (GIMP_SCALE_ENTRY (scale_entry)), TRUE);
}

/* ---- the plug-in ------------------------------------------------------- */

typedef struct { GimpPlugIn parent_instance; } Frame3Program;
typedef struct { GimpPlugInClass parent_class; } Frame3ProgramClass;

static GType frame3_program_get_type (void);
G_DEFINE_TYPE (Frame3Program, frame3_program, GIMP_TYPE_PLUG_IN)

/* The program's one plug-in, set before GIMP makes its instance. */
static const Frame3PlugIn *the_plug_in;

static GimpValueArray *take_drawable (GimpProcedure *procedure, GimpDrawable **drawables,
                                      Frame3Types types, Frame3Target *t);

static GimpValueArray *
frame3_run (GimpProcedure *procedure, GimpRunMode run_mode, GimpImage *image,
            GimpDrawable **drawables, GimpProcedureConfig *config, gpointer run_data)
{
  const Frame3PlugIn *plug_in = run_data;
  Frame3Target        t;
  GimpValueArray     *refused;

  (void) image;
  gegl_init (NULL, NULL);
  refused = take_drawable (procedure, drawables, plug_in->types, &t);
  if (refused)
    return refused;
  return plug_in->run (procedure, run_mode, config, &t);
}

static GList *
frame3_query_procedures (GimpPlugIn *plug_in)
{
  (void) plug_in;
  return g_list_append (NULL, g_strdup (the_plug_in->name));
}

static GimpProcedure *
frame3_create_procedure (GimpPlugIn *plug_in, const gchar *name)
{
  GimpProcedure *procedure;

  if (g_strcmp0 (name, the_plug_in->name) != 0)
    return NULL;
  procedure = gimp_image_procedure_new (plug_in, name, GIMP_PDB_PROC_TYPE_PLUGIN, frame3_run,
                                        (gpointer) the_plug_in, NULL);
  gimp_procedure_set_image_types (procedure, the_plug_in->image_types);
  if (the_plug_in->menu_label)
    {
      gimp_procedure_set_sensitivity_mask (procedure, GIMP_PROCEDURE_SENSITIVE_DRAWABLE);
      gimp_procedure_set_menu_label (procedure, the_plug_in->menu_label);
      gimp_procedure_add_menu_path (procedure, the_plug_in->menu_path);
    }
  the_plug_in->describe (procedure);
  return procedure;
}

static gboolean
frame3_set_i18n (GimpPlugIn *plug_in, const gchar *procedure_name, gchar **gettext_domain,
                 gchar **catalog_dir)
{
  if (!the_plug_in->set_i18n)
    return FALSE;
  return the_plug_in->set_i18n (plug_in, procedure_name, gettext_domain, catalog_dir);
}

static void
frame3_program_class_init (Frame3ProgramClass *klass)
{
  GimpPlugInClass *plug_in_class = GIMP_PLUG_IN_CLASS (klass);

  plug_in_class->query_procedures = frame3_query_procedures;
  plug_in_class->create_procedure = frame3_create_procedure;
  plug_in_class->set_i18n         = frame3_set_i18n;
}

static void
frame3_program_init (Frame3Program *self)
{
  (void) self;
}

GType
frame3_plug_in_type (const Frame3PlugIn *plug_in)
{
  the_plug_in = plug_in;
  return frame3_program_get_type ();
}

/* ---- drawables and pixels ----------------------------------------------- */

const Babl *
frame3_format (GimpDrawable *drawable)
{
  const Babl *own   = gimp_drawable_get_format (drawable);
  gboolean    alpha = gimp_drawable_has_alpha (drawable);
  const gchar *name;

  if (babl_format_get_type (own, 0) == babl_type ("u8"))
    return own;
  if (gimp_drawable_is_rgb (drawable))
    name = alpha ? "R'G'B'A u8" : "R'G'B' u8";
  else
    name = alpha ? "Y'A u8" : "Y' u8";
  return babl_format_with_space (name, own);
}

/* Fills t from the call's drawables.  NULL when the call can go on;
 * otherwise the return values to hand back: a calling error unless exactly
 * one drawable is given, an execution error for an indexed drawable or one
 * of other types than the filter takes, each with a message. */
static GimpValueArray *
take_drawable (GimpProcedure *procedure, GimpDrawable **drawables, Frame3Types types,
               Frame3Target *t)
{
  const gchar  *name = gimp_procedure_get_name (procedure);
  GimpDrawable *d;

  if (!drawables || !drawables[0] || drawables[1])
    return frame3_error (procedure, GIMP_PDB_CALLING_ERROR,
                         "Procedure '%s' works on exactly one drawable.", name);
  d = drawables[0];
  if (gimp_drawable_is_indexed (d))
    return frame3_error (procedure, GIMP_PDB_EXECUTION_ERROR,
                         "Procedure '%s' cannot filter indexed images.", name);
  if (types == FRAME3_RGB_ONLY && (!gimp_drawable_is_rgb (d) || gimp_drawable_has_alpha (d)))
    return frame3_error (procedure, GIMP_PDB_EXECUTION_ERROR,
                         "Procedure '%s' filters RGB layers without alpha only.", name);
  t->drawable = d;
  t->format   = frame3_format (d);
  t->bpp      = babl_format_get_bytes_per_pixel (t->format);
  if (!gimp_drawable_mask_intersect (d, &t->x, &t->y, &t->width, &t->height))
    t->width = t->height = 0;
  return NULL;
}

guint8 *
frame3_read (const Frame3Target *t, gint x, gint y, gint w, gint h)
{
  GeglBuffer *buffer = gimp_drawable_get_buffer (t->drawable);
  guint8     *buf    = g_try_malloc ((gsize) w * h * t->bpp);

  if (buf)
    gegl_buffer_get (buffer, GEGL_RECTANGLE (x, y, w, h), 1.0, t->format, buf,
                     GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_CLAMP);
  g_object_unref (buffer);
  return buf;
}

void
frame3_write (const Frame3Target *t, const guint8 *buf)
{
  GeglBuffer *shadow = gimp_drawable_get_shadow_buffer (t->drawable);

  gegl_buffer_set (shadow, GEGL_RECTANGLE (t->x, t->y, t->width, t->height), 0,
                   t->format, buf, GEGL_AUTO_ROWSTRIDE);
  gegl_buffer_flush (shadow);
  g_object_unref (shadow);
  gimp_drawable_merge_shadow (t->drawable, TRUE);
  gimp_drawable_update (t->drawable, t->x, t->y, t->width, t->height);
}
