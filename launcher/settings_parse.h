// The settings file's text turned into values, apart from the file system
// and Windows, so the launcher and the native tests and fuzz target run
// the same code.
#pragma once

#include <stddef.h>

enum {
  kSettingsLineChars = 255,  // one fgets into a 256-byte buffer
  kSettingsValueCount = 5,
  // The most characters the five values can take from the file.
  kSettingsTextChars = kSettingsLineChars * kSettingsValueCount,
};

// atoi's rule (leading white space, optional sign, decimal digits up to the
// first other character, no digits gives 0), with out-of-range values
// clamped to the int range as the system's atoi reports them, instead of
// overflowing.
int ParseSettingValue(const char* text);

// Reads up to count values from length characters of text (as read in text
// mode), one per line the way fgets reads them with a 256-byte buffer: a
// line ends after its '\n' or after 255 characters, so the rest of a longer
// line is the next value; the last line needs no '\n'; a NUL ends the value
// but not the line.  values[0 .. n-1] get the values of the n lines found;
// returns n (0 ... count).
int ParseSettingsText(const char* text, size_t length, int* values, int count);
