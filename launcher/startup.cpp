// Start-up: log, settings, the panel, finding or starting the editor,
// placing its tool windows, then the message loop.
#include <stdio.h>

#include <string>

#include "forms.h"
#include "state.h"

namespace {

// The start-up log: four fixed lines, each with a trailing blank.
void Log(FILE* log, const char* line) {
  if (!log) return;
  fputs(line, log);
  fputs("\n", log);
}

void ReadWindowsVersion() {
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;  // 148
  GetVersionExA(&version);
  dialogOffset = DialogOffsetFor(version.dwMajorVersion, version.dwMinorVersion);
}

BOOL CALLBACK MonitorSizeProc(HMONITOR, HDC, LPRECT rect, LPARAM) {
  screenWidth = rect->right - rect->left;
  screenHeight = rect->bottom - rect->top;
  return FALSE;  // only the first monitor reported counts
}

void BuildToolbar() {
  for (int icon : {kIconOptions, kIconAbout, kIconHelp, kIconExit})
    toolbarImages.addIcon(icon);
  toolbar.setImageList(toolbarImages);
  toolbar.textLabels = false;
  toolbar.wrapable = false;
  optionsCommand = ++nextControlId;
  toolbar.addButton("Options", 0, optionsCommand);
  aboutCommand = ++nextControlId;
  toolbar.addButton("About", 1, aboutCommand);
  helpCommand = ++nextControlId;
  toolbar.addButton("Help", 2, helpCommand);
  exitCommand = ++nextControlId;
  toolbar.addButton("Exit", 3, exitCommand);
}

void PrepareSmallWindows() {
  aboutForm.procedure = AboutProc;
  aboutForm.center();
  aboutForm.icon = appIcon;
  aboutBox.setExtendedStyle(0);
  optionsForm.procedure = OptionsProc;
  optionsForm.center();
  optionsForm.icon = appIcon;
  if (saveOnExit == 1) saveCheck.checked = true;
}

void TakeRunningEditor() {
  GetWindowRect(toolboxWindow, &toolboxRect);
  GetWindowThreadProcessId(toolboxWindow, &editorProcessId);
  SetParent(toolboxWindow, frameWindow);
  EnumWindows(AdoptRunningEditorProc, 0);
}

// Starts the editor; returns its process handle (null when the system gives
// none) or INVALID_HANDLE_VALUE when it could not be started.
HANDLE StartEditor() {
  std::string path = application.directory + EDITOR_PROGRAM;
  SHELLEXECUTEINFOA info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = path.c_str();
  info.nShow = SW_SHOW;
  if (!ShellExecuteExA(&info) || (INT_PTR)info.hInstApp <= 32) {
    MessageBoxA(NULL, "Failed to run Corvella", "Error", MB_OK);
    return INVALID_HANDLE_VALUE;
  }
  return info.hProcess;
}

bool Ended(HANDLE process) {
  return process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

// Enumerates until `found` is set.  Between passes it blocks at most one
// wait slice for input or for the editor's end: nothing wakes the launcher
// when another process creates a window.  An editor process that has ended
// without showing the window ends the wait, and so does WM_QUIT.
void WaitForWindow(WNDENUMPROC proc, HWND* found, HANDLE editor) {
  for (;;) {
    EnumWindows(proc, 0);
    if (*found) return;
    if (Ended(editor)) {
      EnumWindows(proc, 0);  // windows shown just before it ended
      return;
    }
    if (!WaitAndPump(kWaitSliceMs, editor)) return;
  }
}

void StartAndWaitForEditor() {
  HANDLE editor = StartEditor();
  if (editor == INVALID_HANDLE_VALUE) return;
  WaitForWindow(FindToolboxProc, &toolboxWindow, editor);
  if (toolboxWindow) {
    WaitForWindow(FindToolOptionsProc, &toolOptionsWindow, editor);
    if (toolOptionsWindow) toolOptionsFound = 1;
  }
  if (editor) CloseHandle(editor);
  HWND tip = FindWindowExA(NULL, NULL, EDITOR_WINDOW_CLASS, EDITOR_TIP_TITLE);
  if (tip) CenterOnScreen(tip, kTipLift);
}

void PlaceToolWindows() {
  RestyleToolWindow(toolboxWindow);
  RestyleToolWindow(toolOptionsWindow);
  if (toolboxWindow) SetParent(toolboxWindow, NULL);
  if (toolOptionsWindow) SetParent(toolOptionsWindow, NULL);
  if (toolboxWindow) {
    BringWindowToTop(toolboxWindow);
    SetWindowPos(toolboxWindow, HWND_TOP, toolboxX, toolboxY, kToolboxWidth,
                 kToolboxHeight, SWP_SHOWWINDOW);
  }
  if (toolOptionsWindow) {
    BringWindowToTop(toolOptionsWindow);
    if (toolOptionsX == 0) toolOptionsX = toolOptionsRect.left;
    SetWindowPos(toolOptionsWindow, HWND_TOPMOST, toolOptionsX, toolOptionsY,
                 0, 0, SWP_SHOWWINDOW | SWP_NOSIZE);
  }
}

int MessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0)) {
    if (!IsDialogMessageA(GetParent(msg.hwnd), &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return (int)msg.wParam;
}

}  // namespace

int RunLauncher() {
  FILE* log = fopen(LOG_FILE, "wt");
  Log(log, "Prepare Memory...OK ");
  ReadWindowsVersion();
  Log(log, "Get Windows Version...OK ");
  EnumDisplayMonitors(NULL, NULL, MonitorSizeProc, 0);
  Log(log, "EnumDisplayMonitors...OK ");
  // The frame built during static construction.  Looking it up by its
  // caption would find the first launcher's frame when a second one runs.
  frameWindow = frame.window();
  Log(log, "Found deskhwnd. ");

  frame.maximize();
  frame.procedure = FrameProc;
  frame.refresh();
  frame.icon = appIcon;

  if (!LoadSettings()) ApplyDefaultPositions();

  RECT client = {0, 0, 0, 0};
  GetClientRect(frameWindow, &client);
  Form panel("", 0, kPanelTop, client.right - client.left,
             client.bottom - client.top - kPanelHeightTrim, WS_POPUP,
             /*enabled*/ true, /*visible*/ true, false, false, false, frame,
             /*child*/ true);
  panel.backgroundColor = BACKGROUND_COLOR;
  panel.procedure = PanelProc;
  panelWindow = panel.window();

  BuildToolbar();
  PrepareSmallWindows();

  toolboxWindow =
      FindWindowExA(NULL, NULL, EDITOR_WINDOW_CLASS, EDITOR_MAIN_TITLE);
  if (toolboxWindow)
    TakeRunningEditor();
  else
    StartAndWaitForEditor();

  PlaceToolWindows();
  if (log) fclose(log);

  frame.startTimer(FRAME_TIMER_NAME, kTimerPeriodMs);
  int code = MessageLoop();
  ForgetTicks();
  return code;
}
