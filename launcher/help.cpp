// Binding to the HTML Help control, made on first use.
#include <string.h>

#include "state.h"

namespace {
typedef HWND(WINAPI* HtmlHelpFn)(HWND, LPCSTR, UINT, DWORD_PTR);
const char kHelpKey[] =
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
const char kHelpLibrary[] = "hhctrl.ocx";
enum { kHtmlHelpOrdinal = 14, kHhDisplayTopic = 0, kPathBytes = 260 };

HMODULE helpLibrary = NULL;
HtmlHelpFn htmlHelp = NULL;
bool helpFailed = false;

// The control's path as registered; REG_EXPAND_SZ values are expanded.
HMODULE LoadRegisteredControl() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kHelpKey, 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return NULL;
  char value[kPathBytes] = {0};
  DWORD type = 0, size = sizeof value - 1;
  LONG status =
      RegQueryValueExA(key, NULL, NULL, &type, (BYTE*)value, &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
    return NULL;
  value[sizeof value - 1] = '\0';
  char path[kPathBytes];
  if (type == REG_EXPAND_SZ) {
    DWORD length = ExpandEnvironmentStringsA(value, path, sizeof path);
    if (length == 0 || length > sizeof path) return NULL;
  } else {
    strcpy(path, value);
  }
  return path[0] ? LoadLibraryA(path) : NULL;
}

// The fallback never searches the current or program directory, where a
// planted library of that name would otherwise be loaded.
HMODULE LoadSystemControl() {
  char path[kPathBytes];
  UINT length = GetSystemDirectoryA(path, sizeof path);
  if (length == 0 || length + 1 + sizeof kHelpLibrary > sizeof path)
    return NULL;
  strcat(path, "\\");
  strcat(path, kHelpLibrary);
  return LoadLibraryA(path);
}

bool BindHelp() {
  if (helpFailed) return false;
  if (!helpLibrary) {
    helpLibrary = LoadRegisteredControl();
    if (!helpLibrary) helpLibrary = LoadSystemControl();
    if (!helpLibrary) {
      helpFailed = true;
      return false;
    }
  }
  if (!htmlHelp) {
    htmlHelp = (HtmlHelpFn)(void*)GetProcAddress(
        helpLibrary, MAKEINTRESOURCEA(kHtmlHelpOrdinal));
    if (!htmlHelp) {
      helpFailed = true;
      return false;
    }
  }
  return true;
}
}  // namespace

int OpenManual(const char* path) {
  // A missing manual does nothing visible (the control would show its own
  // error window).
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return 0;
  if (!BindHelp()) return 0;
  htmlHelp(NULL, path, kHhDisplayTopic, 0);
  return 1;
}

void ResetHelpBinding() {
  // The library stays loaded: a help window may still be using it.
  htmlHelp = NULL;
  helpFailed = false;
}
