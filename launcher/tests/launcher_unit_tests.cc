// In-process tests of the launcher's functions.  Windows of this process
// stand in for the editor's; the enumerations, placement and restyling run
// on them exactly as they run on the editor's windows.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "state.h"
#include "wintest.h"

namespace {

// ------------------------------------------------------------ settings file

// Plain reference for one settings value: strtoll over the same prefix,
// clamped to the int range.
int ReferenceValue(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || (line[i] >= 9 && line[i] <= 13)))
    ++i;
  size_t start = i;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) ++i;
  size_t digits = i;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
  if (i == digits) return 0;
  std::string number = line.substr(start, i - start);
  // Long digit runs would overflow strtoll too: compare by length first.
  std::string magnitude = number.substr(digits - start);
  magnitude.erase(0, magnitude.find_first_not_of('0'));
  bool negative = number[0] == '-';
  if (magnitude.size() > 10) return negative ? INT_MIN : INT_MAX;
  long long v = magnitude.empty() ? 0 : strtoll(magnitude.c_str(), nullptr, 10);
  if (negative) v = -v;
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return (int)v;
}

std::string CurrentDirectory() {
  char cwd[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
  return n > 0 && n < sizeof cwd ? std::string(cwd, n) : std::string();
}

// Each case runs in a scratch folder of its own and returns to the folder
// it started in; TearDown checks that it did, so no later test runs in a
// stale folder.
class SettingsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { suiteDir = CurrentDirectory(); }
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    oldDir = CurrentDirectory();
    ASSERT_FALSE(oldDir.empty());
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    ResetValues();
  }
  void TearDown() override {
    SetFileAttributesA(dir.file(SETTINGS_FILE).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(SetCurrentDirectoryA(oldDir.c_str()));
    EXPECT_EQ(suiteDir, CurrentDirectory()) << "not back where the suite began";
  }
  // Values no file line has touched.
  void ResetValues() {
    saveOnExit = 7;
    toolboxX = 71;
    toolboxY = 72;
    toolOptionsX = 73;
    toolOptionsY = 74;
    toolboxWindow = toolOptionsWindow = NULL;
  }
  std::vector<int> Values() {
    return {saveOnExit, toolboxX, toolboxY, toolOptionsX, toolOptionsY};
  }
  std::string Contents() {
    std::string data;
    wintest::readFile(dir.file(SETTINGS_FILE), &data);
    return data;
  }
  wintest::ScratchDir dir{"settings"};
  std::string oldDir;
  static std::string suiteDir;
};
std::string SettingsTest::suiteDir;

struct LoadCase {
  const char* name;
  std::string file;
  std::vector<int> expected;
};

TEST_F(SettingsTest, LoadReadsLinesByTheAtoiRule) {
  const std::string longLine = std::string(255, '1') + "42\n";
  const LoadCase cases[] = {
      {"empty file keeps every value", "", {7, 71, 72, 73, 74}},
      {"plain values", "1\n20\n115\n900\n115\n", {1, 20, 115, 900, 115}},
      {"CR LF lines", "0\r\n5\r\n6\r\n7\r\n8\r\n", {0, 5, 6, 7, 8}},
      {"missing lines keep values", "1\n30\n", {1, 30, 72, 73, 74}},
      {"extra lines ignored", "1\n2\n3\n4\n5\n6\n7\n", {1, 2, 3, 4, 5}},
      {"non-numeric lines read as 0", "yes\n\n-\nx9\n5\n", {0, 0, 0, 0, 5}},
      {"white space, signs and trailing text",
       "  \t+1\n-20\n  300px\n-0\n12 34\n", {1, -20, 300, 0, 12}},
      {"overflow clamps", "99999999999\n-99999999999\n2147483647\n"
                          "-2147483648\n2147483648\n",
       {INT_MAX, INT_MIN, INT_MAX, INT_MIN, INT_MAX}},
      {"a long line is read in 255-character pieces",
       longLine + "5\n6\n7\n", {INT_MAX, 42, 5, 6, 7}},
      {"no final newline", "1\n2\n3\n4\n5", {1, 2, 3, 4, 5}},
      {"binary garbage", std::string("\x01\xff\x80\n\x7f\n", 6) + "3\n",
       {0, 0, 3, 73, 74}},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetValues();
    ASSERT_TRUE(wintest::writeFile(dir.file(SETTINGS_FILE), c.file));
    EXPECT_EQ(1, LoadSettings());
    EXPECT_EQ(c.expected, Values());
  }
}

TEST_F(SettingsTest, MissingFileReportsFailureAndTouchesNothing) {
  EXPECT_EQ(0, LoadSettings());
  EXPECT_EQ((std::vector<int>{7, 71, 72, 73, 74}), Values());
  ApplyDefaultPositions();
  EXPECT_EQ((std::vector<int>{7, 20, 115, 0, 115}), Values());
}

TEST(SettingValue, MatchesReferenceOnRandomLines) {
  std::mt19937 random(12345);
  const char alphabet[] = " \t+-0123456789x\v\f9999";
  for (int i = 0; i < 20000; ++i) {
    std::string line;
    int length = random() % 24;
    for (int j = 0; j < length; ++j)
      line += alphabet[random() % (sizeof alphabet - 1)];
    ASSERT_EQ(ReferenceValue(line), ParseSettingValue(line.c_str()))
        << "line \"" << line << "\"";
  }
}

TEST_F(SettingsTest, SaveWritesFiveDecimalLinesWithCrLf) {
  saveOnExit = 1;
  toolboxRect = {20, 115, 92, 723};
  toolOptionsRect = {-900, -5, 0, 400};
  SaveSettings();
  EXPECT_EQ("1\r\n20\r\n115\r\n-900\r\n-5\r\n", Contents());
  EXPECT_FALSE(wintest::fileExists(dir.file(SETTINGS_TEMP_FILE)));
  // What was written reads back the same.
  saveOnExit = toolboxX = toolboxY = toolOptionsX = toolOptionsY = 99;
  EXPECT_EQ(1, LoadSettings());
  EXPECT_EQ((std::vector<int>{1, 20, 115, -900, -5}), Values());
}

TEST_F(SettingsTest, SaveRecordsTheWindowsCurrentRectangles) {
  HWND a = CreateWindowExA(0, "STATIC", "a", WS_POPUP, 33, 44, 50, 60, NULL,
                           NULL, NULL, NULL);
  HWND b = CreateWindowExA(0, "STATIC", "b", WS_POPUP, -7, 88, 50, 60, NULL,
                           NULL, NULL, NULL);
  toolboxWindow = a;
  toolOptionsWindow = b;
  saveOnExit = 0;
  SaveSettings();
  EXPECT_EQ("0\r\n33\r\n44\r\n-7\r\n88\r\n", Contents());
  EXPECT_EQ(33, toolboxRect.left);
  EXPECT_EQ(88, toolOptionsRect.top);
  // A window that is gone keeps its last recorded rectangle.
  DestroyWindow(a);
  MoveWindow(b, 5, 6, 50, 60, FALSE);
  SaveSettings();
  EXPECT_EQ("0\r\n33\r\n44\r\n5\r\n6\r\n", Contents());
  DestroyWindow(b);
  toolboxWindow = toolOptionsWindow = NULL;
}

TEST_F(SettingsTest, UnwritableFileIsLeftAsItWas) {
  const std::string old = "1\r\n2\r\n3\r\n4\r\n5\r\n";
  ASSERT_TRUE(wintest::writeFile(dir.file(SETTINGS_FILE), old));
  ASSERT_TRUE(SetFileAttributesA(dir.file(SETTINGS_FILE).c_str(),
                                 FILE_ATTRIBUTE_READONLY));
  saveOnExit = 0;
  toolboxRect = {9, 9, 10, 10};
  SaveSettings();
  EXPECT_EQ(old, Contents());
  EXPECT_FALSE(wintest::fileExists(dir.file(SETTINGS_TEMP_FILE)));
}

TEST_F(SettingsTest, SettingsPathThatIsAFolderIsIgnored) {
  ASSERT_TRUE(CreateDirectoryA(dir.file(SETTINGS_FILE).c_str(), NULL));
  SaveSettings();
  EXPECT_EQ(0, LoadSettings());
  EXPECT_FALSE(wintest::fileExists(dir.file(SETTINGS_TEMP_FILE)));
  RemoveDirectoryA(dir.file(SETTINGS_FILE).c_str());
}

// ------------------------------------------------------------ title rules

TEST(TitleRules, PrefixesEqualityAndShortTitles) {
  struct Case {
    const char* title;
    bool tickExcludes, runningPassExcludes, dialog;
  } cases[] = {
      {"GIMP", true, true, false},
      {"GIMP Startup", true, true, false},
      {"GIMP Tip of the Day", true, true, false},
      {"Tool Options", true, true, false},
      {"Open Image", true, true, true},
      {"Save Image", true, true, true},
      {"Close [Untitled]-1.0", true, false, true},
      {"Quit GIMP", true, false, true},
      {"GNU Image Manipulation Program", true, false, false},
      {"GNU", false, false, false},     // shorter than "GNU "
      {"GNUx", false, false, false},
      {"Gim", false, false, false},     // shorter than four characters
      {"", false, false, false},
      {"gimp", false, false, false},    // case matters
      {"[Untitled]-1.0 (RGB color, 1 layer) 640x400 - GIMP", false, false,
       false},
      {"Layers, Channels, Paths", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(c.tickExcludes, TitleExcludedFromAdoption(c.title));
    EXPECT_EQ(c.runningPassExcludes, TitleExcludedFromRunningPass(c.title));
    EXPECT_EQ(c.dialog, TitleIsEditorDialog(c.title));
  }
  EXPECT_TRUE(TitleEquals("GIMP", "GIMP"));
  EXPECT_FALSE(TitleEquals("GIMP ", "GIMP"));
  EXPECT_FALSE(TitleEquals("GIM", "GIMP"));
}

TEST(TitleRules, NullWindowHasNoTitle) {
  char text[kTextBytes] = "stale";
  EXPECT_EQ(0, ReadTitle(NULL, text, sizeof text));
  EXPECT_STREQ("", text);
  EXPECT_EQ(0, ReadClass(NULL, text, sizeof text));
}

TEST(DialogOffset, Windows51And52OnlyGet111) {
  struct { DWORD major, minor; int offset; } cases[] = {
      {5, 0, 100}, {5, 1, 111}, {5, 2, 111}, {6, 0, 100}, {6, 1, 100},
      {10, 0, 100}, {4, 10, 100}};
  for (auto& c : cases)
    EXPECT_EQ(c.offset, DialogOffsetFor(c.major, c.minor))
        << c.major << "." << c.minor;
}

// ------------------------------------------------------------ windows

// Windows of this process with the editor's class.
class EditorWindows : public ::testing::Test {
 protected:
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_GETMINMAXINFO) {
      ((MINMAXINFO*)lp)->ptMinTrackSize = {1, 1};
      return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
  }
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = EDITOR_WINDOW_CLASS;
    RegisterClassA(&wc);
    frameWindow = Make("#32770", "Frame host", 0, 0, 800, 600);
    panelWindow = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0,
                                  40, 800, 500, frameWindow, NULL, NULL, NULL);
    toolboxWindow = toolOptionsWindow = NULL;
    editorProcessId = GetCurrentProcessId();
    toolOptionsFound = 0;
    screenWidth = 1280;
    screenHeight = 1024;
    dialogOffset = kDialogOffsetOther;
  }
  void TearDown() override {
    for (HWND w : made) DestroyWindow(w);
    frameWindow = panelWindow = toolboxWindow = toolOptionsWindow = NULL;
    editorProcessId = 0;
  }
  HWND Make(const char* cls, const char* title, int x, int y, int w, int h) {
    HWND window = CreateWindowExA(0, cls, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  x, y, w, h, NULL, NULL, NULL, NULL);
    made.push_back(window);
    return window;
  }
  HWND Editor(const char* title, int x = 300, int y = 300) {
    return Make(EDITOR_WINDOW_CLASS, title, x, y, 200, 150);
  }
  static bool InPanel(HWND w) {
    return GetAncestor(w, GA_PARENT) == panelWindow;
  }
  static bool TopLevel(HWND w) {
    return GetAncestor(w, GA_PARENT) == GetDesktopWindow();
  }
  std::vector<HWND> made;
};

TEST_F(EditorWindows, FindToolboxSkipsSplashAndOtherClasses) {
  Make("#32770", "GIMP", 10, 10, 100, 100);  // wrong class
  HWND splash = Editor("GIMP Startup");
  HWND image = Editor("[Untitled]-1.0 (RGB color, 1 layer) 640x400 - GIMP");
  editorProcessId = 0;
  EnumWindows(FindToolboxProc, 0);
  EXPECT_EQ(NULL, toolboxWindow);
  HWND main = Editor("GIMP", 123, 45);
  EnumWindows(FindToolboxProc, 0);
  ASSERT_EQ(main, toolboxWindow);
  EXPECT_EQ(GetCurrentProcessId(), editorProcessId);
  EXPECT_EQ(123, toolboxRect.left);
  EXPECT_EQ(45, toolboxRect.top);
  EXPECT_EQ(frameWindow, GetAncestor(main, GA_PARENT));
  EXPECT_TRUE(TopLevel(splash));
  EXPECT_TRUE(TopLevel(image));
}

TEST_F(EditorWindows, FindToolOptionsOnlyInTheEditorProcess) {
  HWND options = Editor("Tool Options", 700, 180);
  editorProcessId = GetCurrentProcessId() + 4;  // some other process
  EnumWindows(FindToolOptionsProc, 0);
  EXPECT_EQ(NULL, toolOptionsWindow);
  editorProcessId = GetCurrentProcessId();
  EnumWindows(FindToolOptionsProc, 0);
  EXPECT_EQ(options, toolOptionsWindow);
  EXPECT_EQ(700, toolOptionsRect.left);
  EXPECT_EQ(frameWindow, GetAncestor(options, GA_PARENT));
}

TEST_F(EditorWindows, RunningEditorPassAdoptsAllButFourPrefixes) {
  struct { const char* title; bool adopted; } cases[] = {
      {"[Untitled]-1.0 (RGB color, 1 layer) 640x400 - GIMP", true},
      {"Close [Untitled]-1.0", true},
      {"Quit GIMP", true},
      {"GNU Image Manipulation Program", true},
      {"Gi", true},
      {"GIMP", false},
      {"Open Image", false},
      {"Save Image", false},
  };
  std::vector<HWND> windows;
  for (auto& c : cases) windows.push_back(Editor(c.title, 150, 250));
  HWND options = Editor("Tool Options", 640, 200);
  HWND second = Editor("Tool Options 2");
  HWND tip = Editor("GIMP Tip of the Day");
  MoveWindow(tip, 0, 0, 360, 240, FALSE);
  EnumWindows(AdoptRunningEditorProc, 0);
  for (size_t i = 0; i < windows.size(); ++i) {
    SCOPED_TRACE(cases[i].title);
    EXPECT_EQ(cases[i].adopted, InPanel(windows[i]));
    if (cases[i].adopted) {
      // Its position values now count from the panel's origin.
      EXPECT_EQ(150, wintest::rectInParent(windows[i]).left);
      EXPECT_EQ(250, wintest::rectInParent(windows[i]).top);
    }
  }
  // Exactly one "Tool" window is taken; the other stays where it was.
  ASSERT_EQ(1, toolOptionsFound);
  EXPECT_TRUE(toolOptionsWindow == options || toolOptionsWindow == second);
  HWND other = toolOptionsWindow == options ? second : options;
  EXPECT_TRUE(InPanel(toolOptionsWindow));
  EXPECT_TRUE(TopLevel(other));
  // The tip is centred 100 pixels above the centre and stays top-level.
  EXPECT_TRUE(TopLevel(tip));
  RECT r = wintest::windowRect(tip);
  EXPECT_EQ((1280 - 360) / 2, r.left);
  EXPECT_EQ((1024 - 240) / 2 - 100, r.top);
}

TEST_F(EditorWindows, TickPassAdoptsOnlyUnreservedTitlesAndRisesByTheOffset) {
  POINT origin = {0, 0};
  ClientToScreen(panelWindow, &origin);
  for (int offset : {kDialogOffsetOther, kDialogOffsetXp}) {
    SCOPED_TRACE(offset);
    dialogOffset = offset;
    struct { const char* title; int y; bool adopted; } cases[] = {
        {"[Untitled]-1.0 (RGB color, 1 layer) 640x400 - GIMP", 300, true},
        {"Layers", 100, true},        // high enough to reach the top edge
        {"Gi", 200, true},
        {"Close [Untitled]-1.0", 300, false},
        {"Quit GIMP", 300, false},
        {"GNU Image Manipulation Program", 300, false},
        {"GIMP Tip of the Day", 300, false},
        {"Tool Options", 300, false},
        {"Open Image", 300, false},
        {"Save Image", 300, false},
    };
    std::vector<HWND> windows;
    for (auto& c : cases) windows.push_back(Editor(c.title, 210, c.y));
    toolOptionsWindow = Editor("Options dock");  // the known tool options
    EnumWindows(AdoptNewWindowsProc, 0);
    for (size_t i = 0; i < windows.size(); ++i) {
      SCOPED_TRACE(cases[i].title);
      ASSERT_EQ(cases[i].adopted, InPanel(windows[i]));
      if (!cases[i].adopted) continue;
      RECT r = wintest::rectInParent(windows[i]);
      int expected = cases[i].y - origin.y - offset + kAdoptRise;
      EXPECT_EQ(210 - origin.x, r.left);
      EXPECT_EQ(expected < 0 ? 0 : expected, r.top);
      EXPECT_EQ(200, r.right - r.left);
      EXPECT_EQ(150, r.bottom - r.top);
      EXPECT_TRUE(IsWindowVisible(windows[i]));
    }
    EXPECT_TRUE(TopLevel(toolOptionsWindow));
    // Adopted windows are no longer enumerated: a second pass moves nothing.
    RECT before = wintest::rectInParent(windows[0]);
    EnumWindows(AdoptNewWindowsProc, 0);
    RECT after = wintest::rectInParent(windows[0]);
    EXPECT_EQ(before.top, after.top);
  }
}

// The frame carries the number of the tick that started last and of the
// tick that last adopted a window, for watchers in other processes.
TEST_F(EditorWindows, TicksAndAdoptionsAreNumberedOnTheFrame) {
  auto number = [](const char* property) {
    return (unsigned)(UINT_PTR)GetPropA(frameWindow, property);
  };
  tickNumber = 0;
  CountTick();
  CountTick();
  EXPECT_EQ(2u, number(TICK_PROPERTY));
  EXPECT_EQ(0u, number(ADOPTION_TICK_PROPERTY));  // nothing adopted yet
  EnumWindows(AdoptNewWindowsProc, 0);
  EXPECT_EQ(0u, number(ADOPTION_TICK_PROPERTY));  // nothing to adopt
  HWND image = Editor("[Untitled]-2.0 (RGB color, 1 layer) 640x400 - GIMP");
  CountTick();
  EnumWindows(AdoptNewWindowsProc, 0);
  ASSERT_TRUE(InPanel(image));
  EXPECT_EQ(3u, number(TICK_PROPERTY));
  EXPECT_EQ(3u, number(ADOPTION_TICK_PROPERTY));
  CountTick();
  EXPECT_EQ(3u, number(ADOPTION_TICK_PROPERTY));  // the last adoption's tick
  ForgetTicks();
  EXPECT_EQ(NULL, GetPropA(frameWindow, TICK_PROPERTY));
  EXPECT_EQ(NULL, GetPropA(frameWindow, ADOPTION_TICK_PROPERTY));
  tickNumber = 0;
}

TEST_F(EditorWindows, WindowsOfOtherProcessesAreNeverAdopted) {
  HWND image = Editor("[Untitled]-2.0 (RGB color, 1 layer) 640x400 - GIMP");
  editorProcessId = GetCurrentProcessId() + 4;
  EnumWindows(AdoptNewWindowsProc, 0);
  EnumWindows(AdoptRunningEditorProc, 0);
  EXPECT_TRUE(TopLevel(image));
  EXPECT_EQ(0, toolOptionsFound);
}

TEST_F(EditorWindows, CenterOnScreenTruncatesTowardZero) {
  HWND w = Editor("Open Image");
  struct { int sw, sh, w, h, lift, x, y; } cases[] = {
      {1280, 1024, 361, 201, 0, 459, 411},
      {1280, 1024, 360, 240, 100, 460, 292},
      {101, 99, 200, 150, 0, -49, -25},   // -49.5 and -25.5 truncate
      {1024, 768, 1024, 768, 0, 0, 0},
  };
  for (auto& c : cases) {
    screenWidth = c.sw;
    screenHeight = c.sh;
    MoveWindow(w, 3, 4, c.w, c.h, FALSE);
    CenterOnScreen(w, c.lift);
    RECT r = wintest::windowRect(w);
    EXPECT_EQ(c.x, r.left);
    EXPECT_EQ(c.y, r.top);
    EXPECT_EQ(c.w, r.right - r.left);
    EXPECT_EQ(c.h, r.bottom - r.top);
  }
  CenterOnScreen(NULL, 0);  // a never-found window is skipped
}

// The system menu of another process's window cannot be edited under wine,
// so the restyling is checked here on a window of this process.
TEST_F(EditorWindows, RestyleMakesAToolWindowWithoutCloseItem) {
  HWND w = CreateWindowExA(WS_EX_APPWINDOW, EDITOR_WINDOW_CLASS, "GIMP",
                           WS_OVERLAPPEDWINDOW, 10, 10, 200, 300, NULL, NULL,
                           NULL, NULL);
  made.push_back(w);
  HMENU menu = GetSystemMenu(w, FALSE);
  ASSERT_TRUE(menu);
  int before = GetMenuItemCount(menu);
  ASSERT_GE(before, 2);
  ASSERT_NE(-1, (int)GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND));
  auto Separators = [](HMENU m) {
    int n = 0;
    for (int i = 0; i < GetMenuItemCount(m); ++i)
      n += (GetMenuState(m, i, MF_BYPOSITION) & MF_SEPARATOR) != 0;
    return n;
  };
  int separatorsBefore = Separators(menu);
  RestyleToolWindow(w);
  LONG ex = GetWindowLongA(w, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(ex & WS_EX_APPWINDOW);
  EXPECT_TRUE(IsWindowVisible(w));
  menu = GetSystemMenu(w, FALSE);
  EXPECT_EQ(before - 2, GetMenuItemCount(menu));
  EXPECT_EQ(-1, (int)GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND));
  // The separator above the closing command went with it; the other
  // commands stay.
  for (UINT command : {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
    EXPECT_NE(-1, (int)GetMenuState(menu, command, MF_BYCOMMAND)) << command;
  EXPECT_EQ(separatorsBefore - 1, Separators(menu));
  RestyleToolWindow(NULL);  // skipped
}

// ------------------------------------------------------------ pumping

TEST(Pumping, QuitSeenByANestedWaitReachesTheMainLoop) {
  PostQuitMessage(5);
  EXPECT_FALSE(WaitAndPump(10));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(5u, msg.wParam);
  EXPECT_TRUE(WaitAndPump(10));
}

// A window of this process that counts what is dispatched to it.
int dispatched = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER) ++dispatched;
  return DefWindowProcA(w, m, wp, lp);
}

TEST(Pumping, TakesAtMostTheGivenNumberOfMessages) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = "CorvellaPumpCounter";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0,
                           HWND_MESSAGE, NULL, NULL, NULL);
  ASSERT_TRUE(w);
  wintest::pumpMessages();
  dispatched = 0;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(PostMessageA(w, WM_USER, 0, 0));
  EXPECT_TRUE(PumpMessages(1));
  EXPECT_EQ(1, dispatched);
  EXPECT_TRUE(PumpMessages());
  EXPECT_EQ(3, dispatched);
  EXPECT_TRUE(PumpMessages(1));  // nothing queued: nothing happens
  EXPECT_EQ(3, dispatched);
  // A quit taken by a one-message pump is put back for the main loop.
  PostQuitMessage(6);
  EXPECT_FALSE(PumpMessages(1));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(6u, msg.wParam);
  DestroyWindow(w);
}

// ------------------------------------------------------------ help

TEST(Help, MissingManualOpensNothing) {
  ResetHelpBinding();
  size_t before = wintest::topWindows("HH Parent").size();
  EXPECT_EQ(0, OpenManual("C:\\no such folder\\corvella.chm"));
  wintest::pumpFor(200);
  EXPECT_EQ(before, wintest::topWindows("HH Parent").size());
}

}  // namespace
