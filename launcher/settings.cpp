// The settings file: five decimal lines (saveOnExit, toolbox x and y, tool
// options x and y), text mode, so CR LF on disk.
#include <stdio.h>

#include "settings_parse.h"
#include "state.h"

static_assert(kSettingsLineBytes == kSettingsLineChars + 1,
              "one settings line is one fgets into the line buffer");

void ApplyDefaultPositions() {
  toolboxX = kDefaultToolboxX;
  toolboxY = kDefaultToolboxY;
  toolOptionsX = kDefaultToolOptionsX;
  toolOptionsY = kDefaultToolOptionsY;
}

int LoadSettings() {
  FILE* file = fopen(SETTINGS_FILE, "rt");
  if (!file) return 0;
  // The five values can take no more than this much of the file; text
  // mode has already turned CR LF into LF.
  char text[kSettingsTextChars];
  size_t length = fread(text, 1, sizeof text, file);
  fclose(file);
  int parsed[kSettingsValueCount];
  int lines = ParseSettingsText(text, length, parsed, kSettingsValueCount);
  // A missing line keeps the current value.
  int* values[kSettingsValueCount] = {&saveOnExit, &toolboxX, &toolboxY,
                                      &toolOptionsX, &toolOptionsY};
  for (int i = 0; i < lines; ++i) *values[i] = parsed[i];
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
