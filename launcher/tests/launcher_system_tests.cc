// The real launcher against the stand-in editor, under wine.  Each test is
// one run in its own scratch folder and checks several things, because a
// wine process start costs seconds.  The state checked (parents,
// rectangles, styles, visibility) is read with this program's own calls.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "scenario.h"
#include "wintest.h"

using namespace launchertest;
using wintest::pollUntil;

namespace {

const char kLog[] =
    "Prepare Memory...OK \r\nGet Windows Version...OK \r\n"
    "EnumDisplayMonitors...OK \r\nFound deskhwnd. \r\n";
const char kImage1[] = "[Untitled]-1.0 (RGB color, 1 layer) 640x400 - GIMP";
const char kImage2[] = "[Untitled]-2.0 (RGB color, 1 layer) 640x400 - GIMP";
const char kImage3[] = "[Untitled]-3.0 (RGB color, 1 layer) 640x400 - GIMP";
// Where the stand-in puts its tool options (outer 240 x 420).
const int kStandinOptionsX = 700;

// Adopted and placed: the launcher re-parents first and then moves, so a
// test polls for both.
bool PlacedInPanel(const LauncherRun& run, HWND window, int x, int y) {
  RECT r = wintest::rectInParent(window);
  return Adopted(run, window) && r.left == x && r.top == y &&
         IsWindowVisible(window);
}

bool Topmost(HWND window) {
  return (wintest::windowExStyle(window) & WS_EX_TOPMOST) != 0;
}

// True when `upper` is above `lower` in the z-order of top-level windows.
bool Above(HWND upper, HWND lower) {
  for (HWND w = GetWindow(lower, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV))
    if (w == upper) return true;
  return false;
}

// The tool options float where the user sees them: shown, topmost and above
// every window in `below`.
bool OptionsFloatAbove(HWND options, std::initializer_list<HWND> below) {
  if (!IsWindowVisible(options) || !Topmost(options)) return false;
  for (HWND w : below)
    if (!Above(options, w)) return false;
  return true;
}

bool ToolStyled(HWND window) {
  LONG ex = wintest::windowExStyle(window);
  return (ex & WS_EX_TOOLWINDOW) && !(ex & WS_EX_APPWINDOW);
}

// A window of this test's own process (another program, as the launcher
// sees it).
struct OwnWindow {
  HWND window;
  OwnWindow(const char* cls, const char* title) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = cls;
    RegisterClassA(&wc);
    window = CreateWindowExA(0, cls, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             200, 300, 300, 200, NULL, NULL, NULL, NULL);
  }
  ~OwnWindow() { DestroyWindow(window); }
};

// ---------------------------------------------------------------- start-up

TEST(LauncherStart, StartsTheEditorAndFloatsItsToolWindows) {
  LauncherRun run("start");
  START(run, "splash_ms=300\ntip=1\noptions_delay_ms=1000\n", 20, 115);
  EXPECT_TRUE(pollUntil([&] { return run.readLog() == kLog; }, 3000))
      << run.readLog();

  EXPECT_TRUE(IsZoomed(run.frame));
  HWND panel = run.panel();
  ASSERT_TRUE(panel);
  RECT client = wintest::clientRect(run.frame);
  RECT p = wintest::rectInParent(panel);
  EXPECT_EQ(0, p.left);
  EXPECT_EQ(27, p.top);
  EXPECT_EQ(client.right, p.right - p.left);
  EXPECT_EQ(client.bottom - 25, p.bottom - p.top);
  EXPECT_TRUE(wintest::windowStyle(panel) & WS_CHILD);

  HWND toolbox = run.editorWindow("GIMP");
  HWND options = run.editorWindow("Tool Options");
  ASSERT_TRUE(options);
  EXPECT_TRUE(ToolStyled(toolbox));
  EXPECT_TRUE(ToolStyled(options));
  EXPECT_TRUE(wintest::isTopLevel(toolbox));
  EXPECT_TRUE(wintest::isTopLevel(options));
  EXPECT_TRUE(pollUntil([&] { return Topmost(toolbox) && Topmost(options); },
                        kTickTimeoutMs));
  EXPECT_TRUE(OptionsFloatAbove(options, {run.frame}));
  EXPECT_TRUE(IsWindowVisible(toolbox) && Above(toolbox, run.frame));
  RECT o = wintest::windowRect(options);
  EXPECT_EQ(kStandinOptionsX, o.left);  // its own left edge: no settings file
  EXPECT_EQ(115, o.top);
  EXPECT_EQ(240, o.right - o.left);
  EXPECT_EQ(420, o.bottom - o.top);

  HWND tip = run.editorWindow("GIMP Tip of the Day");
  ASSERT_TRUE(tip);
  EXPECT_TRUE(CenteredOnScreen(tip, 100));
  EXPECT_TRUE(wintest::isTopLevel(tip));
  EXPECT_FALSE(run.editorWindow("GIMP Startup"));

  // Four icon buttons: commands 155 to 158 with images 0 to 3.
  HWND bar = run.toolbar();
  ASSERT_TRUE(bar);
  EXPECT_EQ(4, (int)SendMessageA(bar, TB_BUTTONCOUNT, 0, 0));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(i, (int)SendMessageA(bar, TB_COMMANDTOINDEX, kOptionsCmd + i, 0));
    EXPECT_EQ(i, (int)SendMessageA(bar, TB_GETBITMAP, kOptionsCmd + i, 0));
  }

  // Another program in front hides the tool windows within a tick; the
  // frame in front brings them back.
  {
    OwnWindow other("OtherProgram", "Other program");
    SetForegroundWindow(other.window);
    EXPECT_TRUE(pollUntil(
        [&] { return !IsWindowVisible(toolbox) && !IsWindowVisible(options); },
        kTickTimeoutMs));
    SetForegroundWindow(run.frame);
    EXPECT_TRUE(pollUntil(
        [&] { return IsWindowVisible(toolbox) && IsWindowVisible(options); },
        kTickTimeoutMs));
    EXPECT_TRUE(Topmost(toolbox));
  }

  // The panel is painted grey (160, 160, 160).
  {
    HDC screen = GetDC(NULL);
    RECT pr = wintest::windowRect(panel);
    EXPECT_EQ(RGB(160, 160, 160), GetPixel(screen, pr.right - 20, pr.bottom - 20));
    ReleaseDC(NULL, screen);
  }

  // The panel answers its own resizing by filling the frame again; the
  // frame does not resize the panel when it is restored.
  SetWindowPos(panel, NULL, 0, 0, 300, 200,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(pollUntil(
      [&] {
        RECT q = wintest::rectInParent(panel);
        return q.right - q.left == client.right &&
               q.bottom - q.top == client.bottom - 25 && q.top == 27;
      },
      kTickTimeoutMs));
  ShowWindow(run.frame, SW_RESTORE);
  EXPECT_TRUE(pollUntil([&] { return !IsZoomed(run.frame); }, kTickTimeoutMs));
  RECT q = wintest::rectInParent(panel);
  EXPECT_EQ(client.right, q.right - q.left);
  EXPECT_EQ(client.bottom - 25, q.bottom - q.top);

  // Closing the frame closes the editor first; nothing is saved.
  PostMessageA(run.frame, WM_CLOSE, 0, 0);
  EXPECT_TRUE(run.waitLauncherExit());
  EXPECT_TRUE(run.waitEditorGone());
  EXPECT_FALSE(run.settingsExist());
}

TEST(LauncherStart, TakesOverARunningEditor) {
  LauncherRun run("running");
  ASSERT_TRUE(run.dir.ok());
  ASSERT_TRUE(run.addEditor(
      std::string("splash_ms=0\n") + "open=0 100 300 300 200 " + kImage1 +
      "\nopen=0 140 330 300 200 Close " + kImage1 +
      "\nopen=0 180 360 300 200 GNU Image Manipulation Program"
      "\nopen=0 220 390 300 200 Save Image\n"));
  ASSERT_TRUE(run.writeSettings("1\n30\n140\n800\n150\n"));
  ASSERT_TRUE(run.startEditor());
  ASSERT_TRUE(run.waitEditorWindow("Save Image"));
  DWORD editorPid = run.editorPid();
  ASSERT_EQ(run.editor.pid(), editorPid);
  HWND image = run.editorWindow(kImage1);
  HWND closeDialog = run.editorWindow((std::string("Close ") + kImage1).c_str());
  HWND gnu = run.editorWindow("GNU Image Manipulation Program");
  HWND save = run.editorWindow("Save Image");
  HWND options = run.waitEditorWindow("Tool Options");
  ASSERT_TRUE(image && closeDialog && gnu && options);

  ASSERT_TRUE(run.startLauncher());
  ASSERT_TRUE(run.waitFrame());
  HWND toolbox = run.waitToolboxPlaced(30, 140);
  ASSERT_TRUE(toolbox);
  EXPECT_TRUE(ToolStyled(toolbox));
  EXPECT_TRUE(pollUntil([&] { return run.readLog() == kLog; }, 3000));

  // No second editor: the pid file is still the first editor's.
  std::string pid;
  wintest::readFile(run.dir.file("standin.pid"), &pid);
  EXPECT_EQ(editorPid, strtoul(pid.c_str(), nullptr, 10));

  // Adopted at once, keeping their position values inside the panel; the
  // one pass over a running editor excludes only four prefixes.
  for (HWND w : {image, closeDialog, gnu}) {
    EXPECT_TRUE(Adopted(run, w)) << wintest::windowText(w);
  }
  EXPECT_EQ(100, wintest::rectInParent(image).left);
  EXPECT_EQ(300, wintest::rectInParent(image).top);
  EXPECT_TRUE(wintest::isTopLevel(save));

  EXPECT_TRUE(pollUntil(
      [&] {
        RECT o = wintest::windowRect(options);
        return o.left == 800 && o.top == 150;
      },
      kTickTimeoutMs));
  EXPECT_TRUE(wintest::isTopLevel(options));
  EXPECT_TRUE(ToolStyled(options));

  // The option was on in the file: the check box shows it.
  HWND optionsForm = wintest::findTopWindow("#32770", "Options", run.launcher.pid());
  ASSERT_TRUE(optionsForm);
  EXPECT_EQ(BST_CHECKED, (int)SendDlgItemMessageA(optionsForm, kCheckBoxId,
                                                  BM_GETCHECK, 0, 0));

  // Closing saves the positions (the option is on) and waits for the editor.
  PostMessageA(run.frame, WM_CLOSE, 0, 0);
  EXPECT_TRUE(run.waitLauncherExit());
  EXPECT_TRUE(run.editor.wait(kEndTimeoutMs));
  EXPECT_EQ("1\r\n30\r\n140\r\n800\r\n150\r\n", run.readSettings());
}

TEST(LauncherStart, MissingEditorShowsTheFailureBoxAndEnds) {
  LauncherRun run("noeditor");
  ASSERT_TRUE(run.dir.ok());
  ASSERT_TRUE(run.startLauncher());
  HWND box = wintest::waitForTopWindow("#32770", "Error", run.launcher.pid(),
                                       kStartTimeoutMs);
  ASSERT_TRUE(box);
  EXPECT_EQ("Failed to run Corvella", wintest::dialogMessage(box));
  EXPECT_TRUE(run.launcher.running());
  ASSERT_TRUE(wintest::clickDialogButton(box, IDOK));
  DWORD code = 99;
  EXPECT_TRUE(run.waitLauncherExit(kEndTimeoutMs, &code)) << code;
  EXPECT_EQ(kLog, run.readLog());
  EXPECT_FALSE(run.settingsExist());
}

// Nothing is sent to the launcher when the editor's windows appear, so a
// wait that blocks until the next message would never see them.  The
// probes stop before the windows come, so they cannot wake it.
TEST(LauncherStart, LateWindowsAreFoundOnAQuietDesktop) {
  LauncherRun run("late");
  ASSERT_TRUE(run.dir.ok());
  ASSERT_TRUE(run.addEditor("delay_ms=3000\nsplash_ms=200\noptions_delay_ms=1500\n"));
  ASSERT_TRUE(run.startLauncher());
  ASSERT_TRUE(run.waitFrame());
  // Responsive while waiting (once the editor is started: starting it
  // takes a moment).
  ASSERT_TRUE(pollUntil([&] { return run.editorPid() != 0; }, kStartTimeoutMs));
  ASSERT_TRUE(pollUntil([&] { return run.frameResponsive(1000); }, 5000));
  EXPECT_TRUE(Stays([&] { return run.frameResponsive(1000); }, 1000));
  EXPECT_FALSE(run.editorWindow("GIMP"));
  ASSERT_TRUE(run.waitEditorWindow("GIMP"));
  ASSERT_TRUE(run.waitEditorWindow("Tool Options"));
  EXPECT_TRUE(run.waitToolboxPlaced(20, 115, 10000));
  run.frameCommand(kExitCmd);
  EXPECT_TRUE(run.waitLauncherExit());
  EXPECT_TRUE(run.waitEditorGone());
  EXPECT_FALSE(run.settingsExist());
}

TEST(LauncherStart, EditorThatNeverShowsAWindowLeavesItResponsive) {
  LauncherRun run("nowindow");
  ASSERT_TRUE(run.dir.ok());
  ASSERT_TRUE(run.addEditor("show=0\n"));
  ASSERT_TRUE(run.startLauncher());
  ASSERT_TRUE(run.waitFrame());
  ASSERT_TRUE(pollUntil([&] { return run.editorPid() != 0; }, kStartTimeoutMs));
  ASSERT_TRUE(pollUntil([&] { return run.frameResponsive(1000); }, 5000));
  EXPECT_TRUE(Stays([&] { return run.frameResponsive(1000); }, 1500));
  EXPECT_TRUE(run.launcher.running());
  PostMessageA(run.frame, WM_CLOSE, 0, 0);
  EXPECT_TRUE(run.waitLauncherExit());
}

TEST(LauncherStart, EditorCrashingBeforeItsToolboxEndsTheLauncher) {
  LauncherRun run("crashstart");
  ASSERT_TRUE(run.dir.ok());
  ASSERT_TRUE(run.addEditor("splash_ms=300\ncrash_after_splash=1\n"));
  ASSERT_TRUE(run.startLauncher());
  ASSERT_TRUE(run.waitFrame());
  EXPECT_TRUE(run.waitEditorGone(kStartTimeoutMs));
  EXPECT_TRUE(run.waitLauncherExit());
  EXPECT_FALSE(run.settingsExist());
}

// ---------------------------------------------------------------- adoption

TEST(LauncherAdoption, NewEditorWindowsJoinThePanelWithinATick) {
  LauncherRun run("adopt");
  START(run, "", 20, 115);
  HWND panel = run.panel();
  POINT origin = panelOrigin(panel);
  // A window of the editor's class in another process is never adopted.
  OwnWindow foreign("gdkWindowToplevel", "[Foreign]-1.0 (RGB color) - GIMP");
  SetForegroundWindow(run.frame);

  ASSERT_TRUE(run.openWindow(300, 400, 400, 300, kImage1));
  ASSERT_TRUE(run.openWindow(250, 420, 300, 200, "GNU Image Manipulation Program"));
  HWND image = run.imageWindow(kImage1);
  HWND gnu = run.editorWindow("GNU Image Manipulation Program");
  ASSERT_TRUE(image && gnu);
  ASSERT_TRUE(pollUntil(
      [&] {
        return PlacedInPanel(run, image, 300 - origin.x,
                             400 - origin.y - 100 + 25);
      },
      kTickTimeoutMs))
      << wintest::rectInParent(image).left << ","
      << wintest::rectInParent(image).top;
  RECT r = wintest::rectInParent(image);
  EXPECT_EQ(400, r.right - r.left);
  EXPECT_EQ(300, r.bottom - r.top);
  EXPECT_TRUE(wintest::isTopLevel(gnu));
  // Adopting the window in front hands the activation to the frame; the
  // tool windows still float above it.
  HWND toolbox = run.editorWindow("GIMP");
  EXPECT_TRUE(OptionsFloatAbove(run.editorWindow("Tool Options"), {run.frame}));
  EXPECT_TRUE(IsWindowVisible(toolbox) && Above(toolbox, run.frame));

  // An adopted window is not touched again.
  SetWindowPos(image, NULL, 10, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  // Too close to the panel's top edge: placed at the edge.
  ASSERT_TRUE(run.openWindow(500, origin.y + 10, 300, 200, kImage2));
  HWND second = run.imageWindow(kImage2);
  EXPECT_TRUE(pollUntil(
      [&] { return PlacedInPanel(run, second, 500 - origin.x, 0); },
      kTickTimeoutMs))
      << wintest::rectInParent(second).top;
  EXPECT_EQ(10, wintest::rectInParent(image).left);
  EXPECT_EQ(200, wintest::rectInParent(image).top);
  EXPECT_TRUE(wintest::isTopLevel(foreign.window));
  EXPECT_TRUE(wintest::isTopLevel(gnu));
  EXPECT_TRUE(run.frameResponsive());

  // Exit closes the editor without waiting and ends; the option is off.
  run.frameCommand(kExitCmd);
  EXPECT_TRUE(run.waitLauncherExit());
  EXPECT_TRUE(run.waitEditorGone());
  EXPECT_FALSE(run.settingsExist());
}

// Wine reports Windows 5.1 for a program set to "winxp": adopted windows
// rise 86 pixels instead of 75.
TEST(LauncherAdoption, WindowsXpOffsetRaisesAdoptedWindows86Pixels) {
  const char key[] = "Software\\Wine\\AppDefaults\\corvella-launcher.exe";
  HKEY k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0,
                                           KEY_WRITE, NULL, &k, NULL));
  RegSetValueExA(k, "Version", 0, REG_SZ, (const BYTE*)"winxp", 6);
  struct Cleanup {
    HKEY key;
    ~Cleanup() {
      RegDeleteValueA(key, "Version");
      RegCloseKey(key);
    }
  } cleanup{k};

  LauncherRun run("xp");
  START(run, "", 20, 115);
  POINT origin = panelOrigin(run.panel());
  ASSERT_TRUE(run.openWindow(300, 500, 400, 300, kImage1));
  HWND image = run.imageWindow(kImage1);
  EXPECT_TRUE(pollUntil(
      [&] {
        return PlacedInPanel(run, image, 300 - origin.x,
                             500 - origin.y - 111 + 25);
      },
      kTickTimeoutMs))
      << wintest::rectInParent(image).top << " adopted " << Adopted(run, image)
      << " running " << run.launcher.running() << " foreground "
      << wintest::windowText(GetForegroundWindow()) << " responsive "
      << run.frameResponsive();
  run.frameCommand(kExitCmd);
  EXPECT_TRUE(run.waitLauncherExit());
}

// ---------------------------------------------------------------- dialogs

TEST(LauncherDialogs, EditorDialogsAreCentredAndWaitedForWithoutSpinning) {
  LauncherRun run("dialog");
  START(run, "", 20, 115);
  ASSERT_TRUE(run.openWindow(30, 40, 360, 200, "Open Image"));
  HWND dialog = run.waitEditorWindow("Open Image");
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(pollUntil([&] { return FrontAndCentred(dialog); },
                        kTickTimeoutMs));
  EXPECT_TRUE(wintest::isTopLevel(dialog));

  // While the tick waits for the dialog, later ticks stop before adoption.
  ASSERT_TRUE(run.openWindow(300, 400, 300, 200, kImage1));
  HWND image = run.waitEditorWindow(kImage1);
  ASSERT_TRUE(image);
  ULONGLONG before = ProcessorTimeMs(run.launcher.handle());
  DWORD start = GetTickCount();
  EXPECT_TRUE(Stays([&] { return !Adopted(run, image); }, 1500));
  EXPECT_TRUE(run.frameResponsive());
  DWORD elapsed = GetTickCount() - start;
  ULONGLONG used = ProcessorTimeMs(run.launcher.handle()) - before;
  // A busy loop would use about all of the elapsed time.
  EXPECT_LT(used * 5, (ULONGLONG)elapsed) << used << " ms of " << elapsed;
  // Meanwhile the tool options float above the frame and the dialog, and
  // the toolbox stays above the frame.
  HWND toolbox = run.editorWindow("GIMP");
  EXPECT_TRUE(OptionsFloatAbove(run.editorWindow("Tool Options"),
                                {run.frame, dialog}));
  EXPECT_TRUE(IsWindowVisible(toolbox) && Above(toolbox, run.frame));

  // Once the dialog is gone the waiting ends and adoption goes on.
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(pollUntil([&] { return Adopted(run, image); }, kTickTimeoutMs));

  // The other dialog kinds are centred too, never adopted.
  for (const char* title : {"Save Image", "Close [Untitled]-1.0", "Quit GIMP"}) {
    SCOPED_TRACE(title);
    ASSERT_TRUE(run.openWindow(20, 30, 300 + (int)strlen(title), 180, title));
    HWND d = run.waitEditorWindow(title);
    ASSERT_TRUE(d);
    EXPECT_TRUE(pollUntil([&] { return FrontAndCentred(d); }, kTickTimeoutMs))
        << "foreground: " << wintest::windowText(GetForegroundWindow());
    EXPECT_TRUE(wintest::isTopLevel(d));
    PostMessageA(d, WM_CLOSE, 0, 0);
    EXPECT_TRUE(pollUntil([&] { return !IsWindow(d); }, kTickTimeoutMs));
  }
  run.frameCommand(kExitCmd);
  EXPECT_TRUE(run.waitLauncherExit());
}

TEST(LauncherDialogs, EditorCrashDuringADialogWaitEndsTheLauncher) {
  LauncherRun run("dialogcrash");
  START(run, "", 20, 115);
  ASSERT_TRUE(run.openWindow(30, 40, 360, 200, "Save Image"));
  HWND dialog = run.waitEditorWindow("Save Image");
  ASSERT_TRUE(pollUntil([&] { return FrontAndCentred(dialog); },
                        kTickTimeoutMs));
  run.command(kStandinCrash);
  EXPECT_TRUE(run.waitEditorGone());
  EXPECT_TRUE(run.waitLauncherExit());
}

// ---------------------------------------------------------------- ending

TEST(LauncherEnd, CloseWaitsThroughACancelledQuit) {
  LauncherRun run("quitcancel");
  START(run, "quit_dialog=1\n", 20, 115);
  PostMessageA(run.frame, WM_CLOSE, 0, 0);
  HWND quit = run.waitEditorWindow("Quit GIMP");
  ASSERT_TRUE(quit);
  EXPECT_TRUE(run.frameResponsive());
  EXPECT_TRUE(pollUntil([&] { return FrontAndCentred(quit); }, kTickTimeoutMs));
  run.command(kStandinCancelQuit);
  ASSERT_TRUE(pollUntil([&] { return !IsWindow(quit); }, kTickTimeoutMs));
  // The user cancelled: the launcher keeps waiting for the editor to go.
  EXPECT_TRUE(Stays([&] { return run.launcher.running(); }, 1500));
  EXPECT_TRUE(run.editorRunning());
  EXPECT_TRUE(run.frameResponsive());
  // Asked again, the editor quits; the launcher follows.
  PostMessageA(run.editorWindow("GIMP"), WM_CLOSE, 0, 0);
  ASSERT_TRUE(run.waitEditorWindow("Quit GIMP"));
  run.command(kStandinConfirmQuit);
  EXPECT_TRUE(run.waitEditorGone());
  EXPECT_TRUE(run.waitLauncherExit());
  EXPECT_FALSE(run.settingsExist());
}

TEST(LauncherEnd, ExitDoesNotWaitForTheEditor) {
  LauncherRun run("exitnowait");
  START(run, "quit_dialog=1\n", 20, 115);
  run.frameCommand(kExitCmd);
  EXPECT_TRUE(run.waitLauncherExit());
  // The editor was asked to quit and is still asking the user.
  EXPECT_TRUE(run.waitEditorWindow("Quit GIMP"));
  EXPECT_TRUE(run.editorRunning());
  EXPECT_FALSE(run.settingsExist());
}

TEST(LauncherEnd, EditorCrashDuringTheCloseWaitEndsTheLauncher) {
  LauncherRun run("closecrash");
  START(run, "quit_dialog=1\n", 20, 115);
  PostMessageA(run.frame, WM_CLOSE, 0, 0);
  ASSERT_TRUE(run.waitEditorWindow("Quit GIMP"));
  run.command(kStandinCrash);
  EXPECT_TRUE(run.waitEditorGone());
  EXPECT_TRUE(run.waitLauncherExit());
}

TEST(LauncherEnd, EditorGoneEndsTheLauncherWithoutSaving) {
  LauncherRun run("editorgone");
  const std::string settings = "1\r\n30\r\n140\r\n0\r\n150\r\n";
  ASSERT_TRUE(run.writeSettings(settings));
  START(run, "", 30, 140);
  run.command(kStandinCrash);
  EXPECT_TRUE(run.waitEditorGone());
  EXPECT_TRUE(run.waitLauncherExit());
  EXPECT_EQ(settings, run.readSettings());
}

// ---------------------------------------------------------------- toolbar

TEST(LauncherToolbar, OptionsAboutHelpAndExit) {
  LauncherRun run("toolbar");
  ASSERT_TRUE(run.dir.ok());
  bool manual = run.addManual();
  START(run, "", 20, 115);
  DWORD pid = run.launcher.pid();
  HWND options = wintest::findTopWindow("#32770", "Options", pid);
  HWND about = wintest::findTopWindow("#32770", "About", pid);
  ASSERT_TRUE(options && about);
  EXPECT_FALSE(IsWindowVisible(options));
  EXPECT_FALSE(IsWindowVisible(about));
  EXPECT_EQ(run.frame, GetWindow(options, GW_OWNER));
  EXPECT_EQ(run.frame, GetWindow(about, GW_OWNER));

  // Options: the check box toggles the option; the close box writes nothing.
  run.frameCommand(kOptionsCmd);
  ASSERT_TRUE(pollUntil([&] { return IsWindowVisible(options); }, kTickTimeoutMs));
  HWND check = GetDlgItem(options, kCheckBoxId);
  ASSERT_TRUE(check);
  EXPECT_EQ("Save window position on exit", wintest::windowText(check));
  EXPECT_EQ("  OK  ", wintest::windowText(GetDlgItem(options, kOkButtonId)));
  auto checked = [&] {
    return SendMessageA(check, BM_GETCHECK, 0, 0) == BST_CHECKED;
  };
  PostMessageA(check, BM_CLICK, 0, 0);
  EXPECT_TRUE(pollUntil(checked, kTickTimeoutMs));
  PostMessageA(options, WM_CLOSE, 0, 0);
  EXPECT_TRUE(pollUntil([&] { return !IsWindowVisible(options); }, kTickTimeoutMs));
  EXPECT_FALSE(run.settingsExist());

  // Shown again: a click turns it off, and OK writes the file anyway.
  run.frameCommand(kOptionsCmd);
  ASSERT_TRUE(pollUntil([&] { return IsWindowVisible(options); }, kTickTimeoutMs));
  EXPECT_TRUE(checked());
  PostMessageA(check, BM_CLICK, 0, 0);
  EXPECT_TRUE(pollUntil([&] { return !checked(); }, kTickTimeoutMs));
  PostMessageA(GetDlgItem(options, kOkButtonId), BM_CLICK, 0, 0);
  EXPECT_TRUE(pollUntil([&] { return run.settingsExist(); }, kTickTimeoutMs));
  EXPECT_EQ("0\r\n20\r\n115\r\n700\r\n115\r\n", run.readSettings());
  EXPECT_TRUE(pollUntil([&] { return !IsWindowVisible(options); }, kTickTimeoutMs));

  // Commands reaching the panel go on to the frame: on again, and OK.
  PostMessageA(run.panel(), WM_COMMAND, MAKEWPARAM(kOptionsCmd, 0), 0);
  ASSERT_TRUE(pollUntil([&] { return IsWindowVisible(options); }, kTickTimeoutMs));
  PostMessageA(check, BM_CLICK, 0, 0);
  EXPECT_TRUE(pollUntil(checked, kTickTimeoutMs));
  PostMessageA(GetDlgItem(options, kOkButtonId), BM_CLICK, 0, 0);
  EXPECT_TRUE(pollUntil(
      [&] { return run.readSettings() == "1\r\n20\r\n115\r\n700\r\n115\r\n"; },
      kTickTimeoutMs))
      << run.readSettings();

  // About: the picture box of 300 x 400; the close box hides, the toolbar
  // shows it again.
  for (int round = 0; round < 2; ++round) {
    run.frameCommand(kAboutCmd);
    ASSERT_TRUE(pollUntil([&] { return IsWindowVisible(about); }, kTickTimeoutMs));
    HWND box = GetDlgItem(about, kBmpBoxId);
    ASSERT_TRUE(box);
    EXPECT_EQ(0, _stricmp("STATIC", wintest::windowClass(box).c_str()));
    RECT r = wintest::windowRect(box);
    EXPECT_EQ(300, r.right - r.left);
    EXPECT_EQ(400, r.bottom - r.top);
    EXPECT_TRUE(SendMessageA(box, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0);
    PostMessageA(about, WM_CLOSE, 0, 0);
    EXPECT_TRUE(pollUntil([&] { return !IsWindowVisible(about); }, kTickTimeoutMs));
  }
  EXPECT_TRUE(run.launcher.running());

  // Help opens the manual in an HTML Help window.
  if (manual) {
    run.frameCommand(kHelpCmd);
    HWND help = wintest::waitForTopWindow("HH Parent", nullptr, pid, 10000);
    ASSERT_TRUE(help);
    EXPECT_EQ("Corvella Manual", wintest::windowText(help));
    if (help) PostMessageA(help, WM_CLOSE, 0, 0);
  }

  // Exit with the option on stores the current positions.
  HWND toolbox = run.editorWindow("GIMP");
  SetWindowPos(toolbox, NULL, 40, 130, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  run.frameCommand(kExitCmd);
  EXPECT_TRUE(run.waitLauncherExit());
  EXPECT_TRUE(run.waitEditorGone());
  EXPECT_EQ("1\r\n40\r\n130\r\n700\r\n115\r\n", run.readSettings());
  if (!manual) GTEST_SKIP() << "corvella.chm not built: Help not checked";
}

// Wine's per-program DLL setting: an empty value disables a library, so
// neither the registered control nor the system one loads.
struct DisabledHelpControl {
  HKEY key = NULL;
  DisabledHelpControl() {
    RegCreateKeyExA(HKEY_CURRENT_USER,
                    "Software\\Wine\\AppDefaults\\corvella-launcher.exe\\"
                    "DllOverrides",
                    0, NULL, 0, KEY_WRITE, NULL, &key, NULL);
    if (key) RegSetValueExA(key, "hhctrl.ocx", 0, REG_SZ, (const BYTE*)"", 1);
  }
  ~DisabledHelpControl() {
    if (!key) return;
    RegDeleteValueA(key, "hhctrl.ocx");
    RegCloseKey(key);
  }
};

TEST(LauncherToolbar, HelpWithoutManualOrControlShowsNothing) {
  for (bool withManual : {false, true}) {
    SCOPED_TRACE(withManual ? "no control" : "no manual");
    LauncherRun run(withManual ? "nocontrol" : "nomanual");
    ASSERT_TRUE(run.dir.ok());
    std::unique_ptr<DisabledHelpControl> disabled;
    if (withManual) {
      if (!run.addManual()) GTEST_SKIP() << "corvella.chm not built";
      disabled.reset(new DisabledHelpControl);
      ASSERT_TRUE(disabled->key);
    }
    START(run, "", 20, 115);
    DWORD pid = run.launcher.pid();
    size_t windows = wintest::topWindows(nullptr, nullptr, pid).size();
    run.frameCommand(kHelpCmd);
    run.frameCommand(kHelpCmd);  // a remembered failure: no second attempt
    EXPECT_TRUE(Stays(
        [&] {
          return !wintest::findTopWindow("HH Parent", nullptr, pid) &&
                 wintest::topWindows(nullptr, nullptr, pid).size() == windows;
        },
        1500));
    EXPECT_TRUE(run.frameResponsive());
    run.frameCommand(kExitCmd);
    EXPECT_TRUE(run.waitLauncherExit());
  }
}

}  // namespace
