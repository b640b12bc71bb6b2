/* Message catalogue of the refocus plug-in (text domain "ostrel"). */
#ifndef OSTREL_INTL_H
#define OSTREL_INTL_H

#include <libintl.h>

#define _(text)  gettext (text)
#define N_(text) (text)

#endif
