// Under wine with no window manager (the test desktop), taking a visible
// top-level window out of the desktop (SetParent) waits two seconds for a
// window manager that never answers.  Wine's "unmanaged" mode has no such
// wait; it is set per program, before this program opens its first window,
// for the test programs and for the launcher and stand-in they start.
#include <windows.h>

#include <string>

namespace {
int SetUnmanagedWindows() {
  static const char* const kPrograms[] = {
      "corvella-launcher.exe", "corvella.exe", "launcher_unit_tests.exe",
      "launcher_system_tests.exe", "launcher_soak_tests.exe"};
  for (const char* program : kPrograms) {
    std::string key = std::string("Software\\Wine\\AppDefaults\\") + program +
                      "\\X11 Driver";
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_WRITE,
                        NULL, &handle, NULL) != ERROR_SUCCESS)
      continue;
    RegSetValueExA(handle, "Managed", 0, REG_SZ, (const BYTE*)"N", 2);
    RegCloseKey(handle);
  }
  return 0;
}
const int unmanaged = SetUnmanagedWindows();
}  // namespace
