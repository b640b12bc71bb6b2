// Finding the editor's windows and adopting them into the frame's panel.
#include <string.h>

#include "state.h"

bool TitleEquals(const char* title, const char* text) {
  return strcmp(title, text) == 0;
}

bool TitleBegins(const char* title, const char* prefix4) {
  // strncmp stops at the title's terminator, so a title shorter than four
  // characters begins with none of the prefixes.
  return strncmp(title, prefix4, 4) == 0;
}

static bool TitleBeginsAny(const char* title, const char* const* prefixes,
                           size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (TitleBegins(title, prefixes[i])) return true;
  return false;
}

bool TitleExcludedFromAdoption(const char* title) {
  static const char* const kPrefixes[] = {"GIMP", "Tool", "Open", "Save",
                                          "Clos", "Quit", "GNU "};
  return TitleBeginsAny(title, kPrefixes, sizeof kPrefixes / sizeof *kPrefixes);
}

bool TitleExcludedFromRunningPass(const char* title) {
  static const char* const kPrefixes[] = {"GIMP", "Tool", "Open", "Save"};
  return TitleBeginsAny(title, kPrefixes, sizeof kPrefixes / sizeof *kPrefixes);
}

bool TitleIsEditorDialog(const char* title) {
  static const char* const kPrefixes[] = {"Open", "Save", "Clos", "Quit"};
  return TitleBeginsAny(title, kPrefixes, sizeof kPrefixes / sizeof *kPrefixes);
}

int ReadTitle(HWND window, char* buffer, int size) {
  buffer[0] = '\0';
  if (!window) return 0;
  int length = GetWindowTextA(window, buffer, size);
  if (length <= 0) buffer[0] = '\0';
  return length > 0 ? length : 0;
}

int ReadClass(HWND window, char* buffer, int size) {
  buffer[0] = '\0';
  if (!window) return 0;
  int length = GetClassNameA(window, buffer, size);
  if (length <= 0) buffer[0] = '\0';
  return length > 0 ? length : 0;
}

static DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process;
}

bool IsEditorWindow(HWND window, const char* className) {
  return TitleEquals(className, EDITOR_WINDOW_CLASS) &&
         editorProcessId != 0 && ProcessOf(window) == editorProcessId;
}

// The start-up waits' enumerations.  A window that is not a candidate lets
// one queued message through, so the launcher stays responsive however long
// the editor takes; the window found is taken, with its outer rectangle,
// into the frame and ends the pass.
static BOOL PassOn() {
  PumpMessages(1);
  return TRUE;
}

static BOOL TakeIntoFrame(HWND window, HWND* found, RECT* rect) {
  *found = window;
  GetWindowRect(window, rect);
  SetParent(window, frameWindow);
  return FALSE;
}

BOOL CALLBACK FindToolboxProc(HWND window, LPARAM) {
  char className[kTextBytes], title[kTextBytes];
  ReadClass(window, className, sizeof className);
  ReadTitle(window, title, sizeof title);
  if (!TitleEquals(className, EDITOR_WINDOW_CLASS) ||
      TitleEquals(title, EDITOR_SPLASH_TITLE))
    return PassOn();
  if (!TitleBegins(title, "GIMP")) return TRUE;
  // No process test: the first such window defines the editor process.
  editorProcessId = ProcessOf(window);
  return TakeIntoFrame(window, &toolboxWindow, &toolboxRect);
}

BOOL CALLBACK FindToolOptionsProc(HWND window, LPARAM) {
  char className[kTextBytes], title[kTextBytes];
  ReadClass(window, className, sizeof className);
  if (!IsEditorWindow(window, className)) return PassOn();
  ReadTitle(window, title, sizeof title);
  if (!TitleBegins(title, "Tool")) return TRUE;
  return TakeIntoFrame(window, &toolOptionsWindow, &toolOptionsRect);
}

BOOL CALLBACK AdoptRunningEditorProc(HWND window, LPARAM) {
  char className[kTextBytes], title[kTextBytes];
  ReadClass(window, className, sizeof className);
  ReadTitle(window, title, sizeof title);
  if (TitleEquals(title, EDITOR_TIP_TITLE)) CenterOnScreen(window, kTipLift);
  if (!IsEditorWindow(window, className)) return TRUE;
  if (TitleBegins(title, "Tool") && !toolOptionsFound) {
    toolOptionsWindow = window;
    toolOptionsFound = 1;
    GetWindowRect(window, &toolOptionsRect);
    SetParent(window, panelWindow);
  } else if (!TitleExcludedFromRunningPass(title) &&
             window != toolOptionsWindow) {
    // Keeps its position values, which now count from the panel's origin.
    SetParent(window, panelWindow);
  }
  return TRUE;
}

BOOL CALLBACK AdoptNewWindowsProc(HWND window, LPARAM) {
  char className[kTextBytes], title[kTextBytes];
  ReadClass(window, className, sizeof className);
  if (!IsEditorWindow(window, className)) return TRUE;
  ReadTitle(window, title, sizeof title);
  if (TitleExcludedFromAdoption(title) || window == toolOptionsWindow)
    return TRUE;
  RECT outer;
  if (!GetWindowRect(window, &outer)) return TRUE;
  POINT corner = {outer.left, outer.top};
  ScreenToClient(panelWindow, &corner);
  RecordAdoption();  // before the window moves: a watcher sees both at once
  SetParent(window, panelWindow);
  int y = corner.y - dialogOffset + kAdoptRise;
  if (y < 0) y = 0;
  SetWindowPos(window, HWND_TOP, corner.x, y, 0, 0,
               SWP_SHOWWINDOW | SWP_NOSIZE);
  return TRUE;
}

void CenterOnScreen(HWND window, int lift) {
  RECT outer;
  if (!window || !GetWindowRect(window, &outer)) return;
  int w = outer.right - outer.left;
  int h = outer.bottom - outer.top;
  MoveWindow(window, (screenWidth - w) / 2, (screenHeight - h) / 2 - lift, w,
             h, TRUE);
}

void RestyleToolWindow(HWND window) {
  if (!window) return;
  LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  SetWindowLongA(window, GWL_EXSTYLE,
                 (exStyle & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
  ShowWindow(window, SW_SHOW);
  HMENU menu = GetSystemMenu(window, FALSE);
  // The closing command and the separator above it go.  On Windows they are
  // the last two items; the command is looked up rather than assumed last,
  // because some systems append items of their own after it.
  int count = menu ? GetMenuItemCount(menu) : -1;
  int close = -1;
  for (int i = count - 1; i >= 0 && close < 0; --i)
    if (GetMenuItemID(menu, i) == SC_CLOSE) close = i;
  if (close >= 0) {
    RemoveMenu(menu, close, MF_BYPOSITION | MF_DISABLED);
    if (close > 0 && (GetMenuState(menu, close - 1, MF_BYPOSITION) &
                      MF_SEPARATOR))
      RemoveMenu(menu, close - 1, MF_BYPOSITION | MF_DISABLED);
  }
  DrawMenuBar(window);
}
