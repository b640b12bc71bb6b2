/* Procedure arguments from a parameter table (GIMP side; header only, so
 * the GIMP-free library does not depend on libgimp). */
#ifndef CORVELLA_PARAM_PDB_H
#define CORVELLA_PARAM_PDB_H

#include <libgimp/gimp.h>

#include "param_table.h"

/* Appends the table's procedure arguments, in table order, to defs, which
 * has room for max entries; returns how many were written. */
static inline gint
param_table_pdb_args (const ParamTable *table, GimpParamDef *defs, gint max)
{
  gint   n = 0;
  size_t k;

  for (k = 0; k < table->count && n < max; k++)
    {
      const ParamSpec *s = &table->specs[k];

      if (!s->pdb_name)
        continue;
      defs[n].type        = s->type == PARAM_DOUBLE ? GIMP_PDB_FLOAT : GIMP_PDB_INT32;
      defs[n].name        = (gchar *) s->pdb_name;
      defs[n].description = (gchar *) s->pdb_text;
      n++;
    }
  return n;
}

#endif
