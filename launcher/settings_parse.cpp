// The settings file's text turned into values (no file system, no Windows).
#include "settings_parse.h"

#include <limits.h>
#include <string.h>

int ParseSettingValue(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  long long magnitude = 0;
  const long long limit = negative ? -(long long)INT_MIN : INT_MAX;
  for (; *p >= '0' && *p <= '9'; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) magnitude = limit;  // keeps it from overflowing
  }
  return (int)(negative ? -magnitude : magnitude);
}

int ParseSettingsText(const char* text, size_t length, int* values,
                      int count) {
  size_t at = 0;
  int lines = 0;
  while (lines < count && at < length) {
    size_t end = at;
    while (end < length && end - at < kSettingsLineChars)
      if (text[end++] == '\n') break;
    char line[kSettingsLineChars + 1];
    memcpy(line, text + at, end - at);
    line[end - at] = '\0';
    values[lines++] = ParseSettingValue(line);
    at = end;
  }
  return lines;
}
