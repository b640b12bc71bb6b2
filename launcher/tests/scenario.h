// One run of the real launcher against the stand-in editor, in a scratch
// folder of its own.  The destructor ends every process the run started.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "wintest.h"

namespace launchertest {

// Commands the stand-in editor takes (see standin/standin.cpp).
enum {
  kStandinOpen = 1,  // WM_COPYDATA
  kStandinCrash = WM_APP + 4,
  kStandinConfirmQuit = WM_APP + 5,
  kStandinCancelQuit = WM_APP + 6,
  kStandinHang = WM_APP + 7,  // no message answered for kStandinHangMs
};
enum { kStandinHangMs = 2000 };

// Identifiers the launcher gives its controls: 150 incremented before each
// use, in creation order (toolbar, picture box, check box, OK button, then
// the four toolbar commands).
enum {
  kToolbarId = 151,
  kBmpBoxId = 152,
  kCheckBoxId = 153,
  kOkButtonId = 154,
  kOptionsCmd = 155,
  kAboutCmd = 156,
  kHelpCmd = 157,
  kExitCmd = 158,
};

enum { kScreenWidth = 1280, kScreenHeight = 1024 };
// Waits: a tick is 500 ms; a wine process start takes 1-3 s.
enum { kStartTimeoutMs = 30000, kTickTimeoutMs = 5000, kEndTimeoutMs = 10000 };

class LauncherRun {
 public:
  explicit LauncherRun(const std::string& tag);
  ~LauncherRun();
  LauncherRun(const LauncherRun&) = delete;
  LauncherRun& operator=(const LauncherRun&) = delete;

  // Puts the stand-in beside the launcher as corvella.exe with this
  // scenario ("key=value" lines).
  bool addEditor(const std::string& scenario);
  bool addManual();  // corvella.chm from the build tree; false if not built
  bool writeSettings(const std::string& contents);
  std::string readSettings() const;  // "" when there is no file
  bool settingsExist() const;
  std::string readLog() const;

  // Starts the editor itself (the "already running" case).
  bool startEditor();
  bool startLauncher();

  // The launcher's frame, once it exists (null on timeout).
  HWND waitFrame(DWORD timeoutMs = kStartTimeoutMs);
  // The frame's grey panel (child at y = 27 of its client area).
  HWND panel() const;
  HWND toolbar() const;
  // The editor's main window, once the launcher has placed it at (x, y)
  // with 72 x 608 pixels; null on timeout.
  HWND waitToolboxPlaced(int x, int y, DWORD timeoutMs = kStartTimeoutMs);
  HWND editorWindow(const char* title) const;
  HWND waitEditorWindow(const char* title, DWORD timeoutMs = kStartTimeoutMs);
  // A window the editor has made, top-level or already adopted into the
  // panel (a tick may take it the moment it appears).
  HWND imageWindow(const char* title) const;
  // Asks the stand-in to open a window (screen position, outer size).
  bool openWindow(int x, int y, int w, int h, const std::string& title);
  void command(UINT message);  // posts a stand-in command to its main window
  void frameCommand(int id);   // posts WM_COMMAND to the frame
  // The frame answers a message within `ms` (it is pumping its queue).
  bool frameResponsive(DWORD ms = 1000);

  DWORD editorPid();  // from the pid file the stand-in writes; 0 if none
  bool editorRunning();
  bool waitEditorGone(DWORD timeoutMs = kEndTimeoutMs);
  // Waits for the launcher to end and returns true if it did with code 0.
  bool waitLauncherExit(DWORD timeoutMs = kEndTimeoutMs, DWORD* code = nullptr);

  wintest::ScratchDir dir;
  wintest::ChildProcess launcher;
  wintest::ChildProcess editor;  // only when the test starts it
  HWND frame = nullptr;

 private:
  HANDLE editorHandle();
  HANDLE editorProcess_ = nullptr;
  DWORD editorPid_ = 0;
};

// Where the panel's client origin is on the screen.
POINT panelOrigin(HWND panel);

// The window is a child of the run's grey panel.
bool Adopted(const LauncherRun& run, HWND window);

// True when `condition` stays true for `ms` (a negative check needs a
// bounded look).
bool Stays(const std::function<bool()>& condition, DWORD ms);

// Centred on the 1280 x 1024 screen, raised by `lift` pixels.
bool CenteredOnScreen(HWND window, int lift);

// The user brings an editor dialog to the front (a new window of another
// process does not always become the foreground window under wine when the
// foreground window was just adopted) and the launcher centres it.
bool FrontAndCentred(HWND dialog);

// The user clicks the frame until it stays in front: the first activation
// of the frame shows the tool windows without SWP_NOACTIVATE, which puts
// "Tool Options" in front, and ticks do not adopt while a "Tool" window is.
bool FrameStaysInFront(const LauncherRun& run);

// Kernel and user time the process has used, in milliseconds.
ULONGLONG ProcessorTimeMs(HANDLE process);

}  // namespace launchertest

// Starts the launcher with the stand-in and waits for the tool windows to
// be placed (toolbox at x, y) and the frame to stay in front; fails the
// test otherwise.
#define START(run, scenario, x, y)                                  \
  ASSERT_TRUE(run.dir.ok());                                        \
  ASSERT_TRUE(run.addEditor(scenario));                             \
  ASSERT_TRUE(run.startLauncher());                                 \
  ASSERT_TRUE(run.waitFrame());                                     \
  ASSERT_TRUE(run.waitToolboxPlaced(x, y)) << "toolbox not placed"; \
  ASSERT_TRUE(launchertest::FrameStaysInFront(run))

namespace launchertest {

}  // namespace launchertest
