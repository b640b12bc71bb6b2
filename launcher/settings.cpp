// The settings file: five decimal lines (saveOnExit, toolbox x and y, tool
// options x and y), text mode, so CR LF on disk.
#include <limits.h>
#include <stdio.h>

#include "state.h"

// atoi's rule (leading white space, optional sign, decimal digits up to the
// first other character, no digits gives 0), with out-of-range values
// clamped to the int range as the system's atoi reports them, instead of
// overflowing.
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

void ApplyDefaultPositions() {
  toolboxX = kDefaultToolboxX;
  toolboxY = kDefaultToolboxY;
  toolOptionsX = kDefaultToolOptionsX;
  toolOptionsY = kDefaultToolOptionsY;
}

int LoadSettings() {
  FILE* file = fopen(SETTINGS_FILE, "rt");
  if (!file) return 0;
  int* values[] = {&saveOnExit, &toolboxX, &toolboxY, &toolOptionsX,
                   &toolOptionsY};
  char line[kSettingsLineBytes];
  for (int* value : values) {
    // A line longer than 255 characters is read in pieces: the rest of it
    // becomes the next value.  A missing line keeps the current value.
    if (fgets(line, sizeof line, file)) *value = ParseSettingValue(line);
  }
  fclose(file);
  return 1;
}

static bool WriteNumber(FILE* file, int value) {
  char text[kSettingsLineBytes];
  int length = snprintf(text, sizeof text, "%d\n", value);
  return length > 0 && fputs(text, file) >= 0;
}

static void RecordRect(HWND window, RECT* rect) {
  RECT current;
  // A window that is gone keeps its last recorded rectangle.
  if (window && GetWindowRect(window, &current)) *rect = current;
}

void SaveSettings() {
  // A read-only settings file (or a folder of that name) stays as it is.
  DWORD attributes = GetFileAttributesA(SETTINGS_FILE);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return;
  // The new contents go to a file beside the settings file, which is
  // replaced only when the whole write succeeded.
  FILE* file = fopen(SETTINGS_TEMP_FILE, "wt");
  if (!file) return;
  bool ok = WriteNumber(file, saveOnExit);
  RecordRect(toolboxWindow, &toolboxRect);
  RecordRect(toolOptionsWindow, &toolOptionsRect);
  ok = ok && WriteNumber(file, toolboxRect.left);
  ok = ok && WriteNumber(file, toolboxRect.top);
  ok = ok && WriteNumber(file, toolOptionsRect.left);
  ok = ok && WriteNumber(file, toolOptionsRect.top);
  ok = (fclose(file) == 0) && ok;
  if (!ok || !MoveFileExA(SETTINGS_TEMP_FILE, SETTINGS_FILE,
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    DeleteFileA(SETTINGS_TEMP_FILE);
}
