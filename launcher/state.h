// Launcher-wide state and the constants its behaviour depends on.
// Everything here is a process global; the launcher runs on one thread.
#pragma once

#include <windows.h>

// ---- Editor windows -------------------------------------------------------
// Every top-level window of the editor (a GTK 2 program) has this class.
#define EDITOR_WINDOW_CLASS "gdkWindowToplevel"
#define EDITOR_MAIN_TITLE "GIMP"
#define EDITOR_SPLASH_TITLE "GIMP Startup"
#define EDITOR_TIP_TITLE "GIMP Tip of the Day"
#define EDITOR_PROGRAM "\\corvella.exe"
#define MANUAL_FILE "\\corvella.chm"
#define FRAME_CAPTION "Corvella"
#define SYSTEM_DIALOG_CLASS "#32770"

// ---- Files ----------------------------------------------------------------
#define LOG_FILE "corvella.log"
#define SETTINGS_FILE "corvella.ini"
// Written first and then moved over the settings file, so a failed write
// never leaves a truncated settings file behind.
#define SETTINGS_TEMP_FILE "corvella.ini.new"
enum { kSettingsLineBytes = 256, kTextBytes = 256 };

// ---- Geometry (pixels) ----------------------------------------------------
enum {
  kToolboxWidth = 72,
  kToolboxHeight = 608,
  kPanelTop = 27,          // panel origin in the frame's client area
  kPanelHeightTrim = 25,   // panel height = client height - 25 (not - 27)
  kAdoptRise = 25,         // adopted window: y = panel y - dialogOffset + 25
  kTipLift = 100,          // "GIMP Tip of the Day" sits this far above centre
  kDialogOffsetXp = 111,   // Windows 5.1 and 5.2
  kDialogOffsetOther = 100,
};
#define BACKGROUND_COLOR RGB(160, 160, 160)  // 0xA0A0A0, frame and panel

// ---- Settings defaults ----------------------------------------------------
enum {
  kDefaultToolboxX = 20,
  kDefaultToolboxY = 115,
  kDefaultToolOptionsX = 0,  // 0: the tool options keep their own left edge
  kDefaultToolOptionsY = 115,
};

// ---- Timing ---------------------------------------------------------------
#define FRAME_TIMER_NAME "Timer1"
enum {
  kTimerPeriodMs = 500,
  // Nested waits block at most this long between checks: nothing is sent to
  // the launcher when another process creates or hides a window.
  kWaitSliceMs = 50,
};

// Each tick numbers itself (from 1) in a property of the frame window, so
// another process can count in ticks: TICK_PROPERTY names the tick that
// started last, ADOPTION_TICK_PROPERTY the tick that last adopted a window.
// One property write per tick and one per adoption; nothing reads them here.
#define TICK_PROPERTY "CorvellaTick"
#define ADOPTION_TICK_PROPERTY "CorvellaAdoptionTick"

// ---- Identifiers, z-order flags, resources --------------------------------
enum { kFirstControlId = 150 };  // incremented before each use
enum {
  kZFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE,  // 0x13
  kZShowFlags = kZFlags | SWP_SHOWWINDOW,              // 0x53
  kZHideFlags = kZFlags | SWP_HIDEWINDOW,              // 0x93
  kTopmostShowFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW,  // 0x43
  kPanelSizeFlags = SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE,  // 0x16
};
enum {
  kIconApp = 2,
  kIconOptions = 3,
  kIconAbout = 4,
  kIconHelp = 5,
  kIconExit = 6,
  kAboutPicture = 106,
};
#define ABOUT_PICTURE_TYPE "RT_IMAGE"
enum { kAboutPictureWidth = 300, kAboutPictureHeight = 400 };

// ---- State ----------------------------------------------------------------
extern HWND frameWindow;
extern HWND panelWindow;
extern HWND toolboxWindow;
extern HWND toolOptionsWindow;
extern RECT toolboxRect;
extern RECT toolOptionsRect;
extern DWORD editorProcessId;
extern int toolOptionsFound;
extern int toolsShown;
extern int dialogBusy;
extern int screenWidth;
extern int screenHeight;
extern int dialogOffset;
extern int saveOnExit;
extern int toolboxX;
extern int toolboxY;
extern int toolOptionsX;
extern int toolOptionsY;
extern int nextControlId;
extern unsigned tickNumber;

// Settings file (current directory).
int LoadSettings();
int ParseSettingValue(const char* text);
void SaveSettings();
void ApplyDefaultPositions();

// The tick record on the frame window (TICK_PROPERTY and
// ADOPTION_TICK_PROPERTY); ForgetTicks removes it before the frame goes.
void CountTick();
void RecordAdoption();
void ForgetTicks();

// Window discovery and adoption.
BOOL CALLBACK FindToolboxProc(HWND window, LPARAM unused);
BOOL CALLBACK FindToolOptionsProc(HWND window, LPARAM unused);
BOOL CALLBACK AdoptRunningEditorProc(HWND window, LPARAM unused);
BOOL CALLBACK AdoptNewWindowsProc(HWND window, LPARAM unused);
void CenterOnScreen(HWND window, int lift);

// Title rules: whole-title equality and four-character prefixes.
bool TitleEquals(const char* title, const char* text);
bool TitleBegins(const char* title, const char* prefix4);
// Titles the per-tick pass never adopts ("GIMP", "Tool", "Open", ...).
bool TitleExcludedFromAdoption(const char* title);
// Titles the one pass over an already running editor leaves alone.
bool TitleExcludedFromRunningPass(const char* title);
// An editor file, close or quit dialog that a tick centres and waits for.
bool TitleIsEditorDialog(const char* title);

// Reads a window's title; a null handle has no title (GetWindowTextA(NULL)
// would report the desktop's).
int ReadTitle(HWND window, char* buffer, int size);
int ReadClass(HWND window, char* buffer, int size);
bool IsEditorWindow(HWND window, const char* className);

int DialogOffsetFor(DWORD major, DWORD minor);
void RestyleToolWindow(HWND window);

// Message pumping for nested waits: dispatches what is queued, at most
// `most` messages (the enumerations of the start-up waits take one per
// window).  Returns false once WM_QUIT was taken from the queue (it is
// posted again, so the main loop still sees it).
enum : unsigned { kPumpAll = ~0u };
bool PumpMessages(unsigned most = kPumpAll);
// Blocks up to timeoutMs for input (or for `object` to be signalled, when
// not null), then dispatches what is queued.  Returns false on WM_QUIT.
bool WaitAndPump(DWORD timeoutMs, HANDLE object = NULL);

// HTML Help.
int OpenManual(const char* path);
void ResetHelpBinding();  // forgets a loaded control or a failure (tests)
