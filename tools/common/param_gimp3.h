/* GIMP 3 procedure arguments from a parameter table, and the values of a
 * procedure config back into the table's record (GIMP 3 side; header
 * only, so the GIMP-free library does not depend on libgimp-3.0). */
#ifndef CORVELLA_PARAM_GIMP3_H
#define CORVELLA_PARAM_GIMP3_H

#include <float.h>
#include <limits.h>
#include <string.h>

#include <libgimp/gimp.h>

#include "param_table.h"

/* GIMP 3 argument names are canonical: "mot_angle" is "mot-angle". */
static inline void
param_gimp3_name (const ParamSpec *s, gchar *name, gsize size)
{
  gchar *p;

  g_strlcpy (name, s->pdb_name, size);
  for (p = name; *p; p++)
    if (*p == '_' || *p == '.')
      *p = '-';
}

static inline gdouble
param_gimp3_bound (double v, double lo, double hi)
{
  return v < lo ? lo : v > hi ? hi : v;
}

/* Adds the table's procedure arguments in table order: PARAM_DOUBLE as
 * doubles, PARAM_FLAG as booleans, every other type as integers, with the
 * table's defaults, ranges (an open end is the type's limit) and
 * description texts.  labels[k] is the dialog label of the k-th
 * registered argument (NULL for the name). */
static inline void
param_gimp3_add_arguments (GimpProcedure *procedure, const ParamTable *table,
                           const gchar *const *labels)
{
  size_t k;
  gint   n = 0;

  for (k = 0; k < table->count; k++)
    {
      const ParamSpec *s = &table->specs[k];
      gchar            name[64];
      const gchar     *label;

      if (!s->pdb_name)
        continue;
      param_gimp3_name (s, name, sizeof name);
      label = labels && labels[n] ? labels[n] : name;
      n++;
      switch (s->type)
        {
        case PARAM_DOUBLE:
          gimp_procedure_add_double_argument (procedure, name, label, s->pdb_text,
                                              param_gimp3_bound (s->min, -G_MAXDOUBLE, G_MAXDOUBLE),
                                              param_gimp3_bound (s->max, -G_MAXDOUBLE, G_MAXDOUBLE),
                                              s->def, G_PARAM_READWRITE);
          break;
        case PARAM_FLAG:
          gimp_procedure_add_boolean_argument (procedure, name, label, s->pdb_text,
                                               s->def != 0, G_PARAM_READWRITE);
          break;
        default:
          gimp_procedure_add_int_argument (procedure, name, label, s->pdb_text,
                                           (gint) param_gimp3_bound (s->min, G_MININT32, G_MAXINT32),
                                           (gint) param_gimp3_bound (s->max, G_MININT32, G_MAXINT32),
                                           (gint) s->def, G_PARAM_READWRITE);
          break;
        }
    }
}

/* Copies the config's values of the table's arguments into record. */
static inline void
param_gimp3_from_config (const ParamTable *table, GimpProcedureConfig *config, void *record)
{
  size_t k;

  for (k = 0; k < table->count; k++)
    {
      const ParamSpec *s = &table->specs[k];
      gchar            name[64];
      gdouble          d = 0;
      gint             i = 0;
      gboolean         b = FALSE;

      if (!s->pdb_name)
        continue;
      param_gimp3_name (s, name, sizeof name);
      switch (s->type)
        {
        case PARAM_DOUBLE:
          g_object_get (config, name, &d, NULL);
          param_store (s, record, d);
          break;
        case PARAM_FLAG:
          g_object_get (config, name, &b, NULL);
          param_store (s, record, b ? 1 : 0);
          break;
        default:
          g_object_get (config, name, &i, NULL);
          param_store (s, record, i);
          break;
        }
    }
}

/* Sets the config's values of the table's arguments to their defaults. */
static inline void
param_gimp3_reset (const ParamTable *table, GimpProcedureConfig *config)
{
  size_t k;

  for (k = 0; k < table->count; k++)
    {
      const ParamSpec *s = &table->specs[k];
      gchar            name[64];
      GParamSpec      *pspec;

      if (!s->pdb_name)
        continue;
      param_gimp3_name (s, name, sizeof name);
      pspec = g_object_class_find_property (G_OBJECT_GET_CLASS (config), name);
      if (pspec)
        g_object_set_property (G_OBJECT (config), name, g_param_spec_get_default_value (pspec));
    }
}

#endif
