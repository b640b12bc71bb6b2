// The frame's and the panel's dialog procedures.
#include <string>

#include "forms.h"
#include "state.h"

namespace {

// One brush for the frame's background, made on first use and released
// when the launcher ends.
struct FrameBrush {
  HBRUSH brush = NULL;
  HBRUSH get() {
    if (!brush) brush = CreateSolidBrush(BACKGROUND_COLOR);
    return brush;
  }
  ~FrameBrush() {
    if (brush) DeleteObject(brush);
  }
} frameBrush;

// Z-order change of an editor window; a never-found window is skipped.
void Place(HWND window, HWND after, UINT flags) {
  if (window) SetWindowPos(window, after, 0, 0, 0, 0, flags);
}

HWND FindEditorMain() {
  return FindWindowExA(NULL, NULL, EDITOR_WINDOW_CLASS, EDITOR_MAIN_TITLE);
}

void EndLauncher() {
  frame.stopTimer(FRAME_TIMER_NAME);
  PostQuitMessage(0);
}

// ---- WM_CLOSE and Exit ----------------------------------------------------

void OnClose() {
  if (saveOnExit == 1) SaveSettings();
  if (FindEditorMain()) {
    if (toolboxWindow) SendMessageA(toolboxWindow, WM_CLOSE, 0, 0);
    // The editor may first ask the user (its quit dialog); keep pumping until
    // its main window is gone.  The wait blocks between checks, since
    // nothing is sent to the launcher when the editor's window goes away.
    while (FindEditorMain())
      if (!WaitAndPump(kWaitSliceMs)) break;  // the launcher is ending anyway
  }
  EndLauncher();
}

void OnExit() {
  if (saveOnExit == 1) SaveSettings();
  if (FindEditorMain() && toolboxWindow)
    SendMessageA(toolboxWindow, WM_CLOSE, 0, 0);  // no waiting for it to go
  EndLauncher();
}

void OnOpenManual() {
  std::string path = application.directory + MANUAL_FILE;
  OpenManual(path.c_str());  // the result is ignored: nothing is shown
}

void OnCommand(WPARAM wParam) {
  int id = LOWORD(wParam);
  if (id == exitCommand)
    OnExit();
  else if (id == optionsCommand)
    optionsForm.show();
  else if (id == aboutCommand)
    aboutForm.show();
  else if (id == helpCommand)
    OnOpenManual();
}

// The z-order requests of the ticks and of the frame's activation are
// handed to the editor's thread without waiting for it: a busy or hung
// editor must not hold up the launcher's messages and its ticks (a
// waited-for request would block until the editor answers again).
void Order(HWND window, HWND after, UINT flags) {
  Place(window, after, flags | SWP_ASYNCWINDOWPOS);
}

// ---- Activation -----------------------------------------------------------

void OnActivated() {
  HWND front = GetForegroundWindow();
  char className[kTextBytes];
  ReadClass(front, className, sizeof className);
  if (toolsShown == 0 && front == frameWindow &&
      !TitleEquals(className, EDITOR_WINDOW_CLASS)) {
    Order(toolboxWindow, HWND_TOPMOST, kTopmostShowFlags);
    Order(toolOptionsWindow, HWND_TOPMOST, kTopmostShowFlags);
    toolsShown = 1;
  }
}

void OnDeactivated() {
  HWND active = GetActiveWindow();
  char className[kTextBytes];
  ReadClass(active, className, sizeof className);
  if (toolsShown == 1 && active != frameWindow &&
      !IsChild(frameWindow, active) &&
      !TitleEquals(className, EDITOR_WINDOW_CLASS))
    toolsShown = 0;  // nothing is moved
}

// ---- The timer tick -------------------------------------------------------

void KeepToolsInOrder(HWND front, const char* className, const char* title) {
  if (IsZoomed(front)) {
    Order(toolboxWindow, HWND_NOTOPMOST, kZFlags);
    Order(toolboxWindow, HWND_TOP, kZFlags);
  } else {
    Order(toolboxWindow, HWND_TOPMOST, kZFlags);
  }
  bool frameInFront = TitleEquals(title, FRAME_CAPTION);
  if (frameInFront) Order(toolboxWindow, HWND_TOPMOST, kZFlags);
  if (toolsShown == 0) {
    if (frameInFront) {
      Order(toolboxWindow, HWND_TOPMOST, kZShowFlags);
      Order(toolOptionsWindow, HWND_TOPMOST, kZShowFlags);
      toolsShown = 1;
    }
  } else if (front != frameWindow &&
             !TitleEquals(className, SYSTEM_DIALOG_CLASS) &&
             !TitleEquals(className, EDITOR_WINDOW_CLASS)) {
    // Another program is in front.
    Order(toolboxWindow, HWND_NOTOPMOST, kZHideFlags);
    Order(toolOptionsWindow, HWND_NOTOPMOST, kZHideFlags);
    toolsShown = 0;
  }
}

// Centres an editor file, close or quit dialog and waits, pumping messages,
// until it is hidden.  Ticks arriving meanwhile stop before this step.
void WaitForEditorDialog(HWND dialog) {
  Place(toolboxWindow, dialog, kZFlags);  // directly beneath the dialog
  CenterOnScreen(dialog, 0);
  if (IsWindowVisible(dialog)) Place(dialog, HWND_NOTOPMOST, kZFlags);
  dialogBusy = 1;
  while (IsWindowVisible(dialog))
    if (!WaitAndPump(kWaitSliceMs)) break;
  dialogBusy = 0;
  Place(toolOptionsWindow, HWND_TOPMOST, kZFlags);
}

void OnTick() {
  CountTick();
  char title[kTextBytes], className[kTextBytes];
  // The editor has gone (or never came): end, but finish this tick.
  if (ReadTitle(toolboxWindow, title, sizeof title) == 0) EndLauncher();
  HWND front = GetForegroundWindow();
  ReadClass(front, className, sizeof className);
  ReadTitle(front, title, sizeof title);
  KeepToolsInOrder(front, className, title);
  if (dialogBusy == 1 || TitleBegins(title, "Tool")) return;
  if (TitleIsEditorDialog(title)) WaitForEditorDialog(front);
  EnumWindows(AdoptNewWindowsProc, 0);
}

// ---- The panel ------------------------------------------------------------

INT_PTR OnPanelColor(WPARAM wParam, LPARAM lParam) {
  Control* control = Control::fromWindow((HWND)lParam);
  if (!control || !control->hasCustomColor()) return 0;
  SetBkMode((HDC)wParam, TRANSPARENT);
  return (INT_PTR)control->backgroundBrush();
}

void OnPanelSize() {
  RECT client;
  if (!GetClientRect(frameWindow, &client)) return;
  SetWindowPos(panelWindow, NULL, 0, kPanelTop, client.right - client.left,
               client.bottom - client.top - kPanelHeightTrim, kPanelSizeFlags);
}

}  // namespace

INT_PTR CALLBACK FrameProc(HWND, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_CTLCOLORDLG:
      return (INT_PTR)frameBrush.get();
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_COMMAND:
      OnCommand(wParam);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE)
        OnActivated();
      else if (LOWORD(wParam) == WA_INACTIVE)
        OnDeactivated();
      return 0;
    case WM_TIMER:
      if ((int)wParam == frame.timerId(FRAME_TIMER_NAME)) OnTick();
      return 0;
  }
  return 0;
}

INT_PTR CALLBACK PanelProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return OnPanelColor(wParam, lParam);
    case WM_COMMAND:
      SendMessageA(frameWindow, WM_COMMAND, wParam, lParam);
      return 0;
    case WM_SIZE:
      OnPanelSize();
      return 0;
  }
  return 0;
}
