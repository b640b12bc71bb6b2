#include "scenario.h"

#include <stdio.h>
#include <stdlib.h>

namespace launchertest {

namespace {
std::string buildDir() { return wintest::programDir(); }
std::string launcherExe() { return buildDir() + "\\..\\corvella-launcher.exe"; }
std::string standinExe() { return buildDir() + "\\standin.exe"; }
std::string manualFile() { return buildDir() + "\\..\\corvella.chm"; }
}  // namespace

LauncherRun::LauncherRun(const std::string& tag) : dir(tag) {}

LauncherRun::~LauncherRun() {
  launcher.kill();
  editor.kill();
  HANDLE process = editorHandle();
  if (process) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}

bool LauncherRun::addEditor(const std::string& scenario) {
  return wintest::copyFile(standinExe(), dir.file("corvella.exe")) &&
         wintest::writeFile(dir.file("standin.ini"), scenario);
}

bool LauncherRun::addManual() {
  return wintest::fileExists(manualFile()) &&
         wintest::copyFile(manualFile(), dir.file("corvella.chm"));
}

bool LauncherRun::writeSettings(const std::string& contents) {
  return wintest::writeFile(dir.file("corvella.ini"), contents);
}

std::string LauncherRun::readSettings() const {
  std::string data;
  wintest::readFile(dir.file("corvella.ini"), &data);
  return data;
}

bool LauncherRun::settingsExist() const {
  return wintest::fileExists(dir.file("corvella.ini"));
}

std::string LauncherRun::readLog() const {
  std::string data;
  wintest::readFile(dir.file("corvella.log"), &data);
  return data;
}

bool LauncherRun::startEditor() {
  return editor.start(dir.file("corvella.exe"), "", dir.path());
}

bool LauncherRun::startLauncher() {
  return wintest::copyFile(launcherExe(), dir.file("corvella-launcher.exe")) &&
         launcher.start(dir.file("corvella-launcher.exe"), "", dir.path());
}

HWND LauncherRun::waitFrame(DWORD timeoutMs) {
  frame = wintest::waitForTopWindow(nullptr, "Corvella", launcher.pid(),
                                    timeoutMs);
  return frame;
}

HWND LauncherRun::panel() const {
  for (HWND child : wintest::childWindows(frame))
    if (wintest::windowClass(child) == "#32770") return child;
  return nullptr;
}

HWND LauncherRun::toolbar() const {
  for (HWND child : wintest::childWindows(frame))
    if (wintest::windowClass(child) == "ToolbarWindow32") return child;
  return nullptr;
}

HWND LauncherRun::waitToolboxPlaced(int x, int y, DWORD timeoutMs) {
  HWND found = nullptr;
  wintest::pollUntil(
      [&] {
        HWND w = editorWindow("GIMP");
        if (!w || !wintest::isTopLevel(w)) return false;
        RECT r = wintest::windowRect(w);
        if (r.left != x || r.top != y || r.right - r.left != 72 ||
            r.bottom - r.top != 608)
          return false;
        found = w;
        return true;
      },
      timeoutMs);
  return found;
}

HWND LauncherRun::editorWindow(const char* title) const {
  return wintest::findTopWindow("gdkWindowToplevel", title,
                                const_cast<LauncherRun*>(this)->editorPid());
}

HWND LauncherRun::imageWindow(const char* title) const {
  HWND top = editorWindow(title);
  return top ? top : FindWindowExA(panel(), NULL, "gdkWindowToplevel", title);
}

HWND LauncherRun::waitEditorWindow(const char* title, DWORD timeoutMs) {
  HWND found = nullptr;
  wintest::pollUntil(
      [&] {
        found = editorPid() ? editorWindow(title) : nullptr;
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

bool LauncherRun::openWindow(int x, int y, int w, int h, const std::string& title) {
  HWND main = wintest::findTopWindow("gdkWindowToplevel", "GIMP", editorPid());
  if (!main) return false;
  char text[512];
  snprintf(text, sizeof text, "%d %d %d %d %s", x, y, w, h, title.c_str());
  COPYDATASTRUCT data = {kStandinOpen, (DWORD)strlen(text), text};
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(main, WM_COPYDATA, 0, (LPARAM)&data,
                             SMTO_ABORTIFHUNG, 5000, &result) &&
         result == TRUE;
}

void LauncherRun::command(UINT message) {
  HWND main = wintest::findTopWindow("gdkWindowToplevel", "GIMP", editorPid());
  PostMessageA(main, message, 0, 0);
}

void LauncherRun::frameCommand(int id) {
  PostMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

bool LauncherRun::frameResponsive(DWORD ms) {
  DWORD_PTR result = 0;
  return frame && SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                       ms, &result) != 0;
}

DWORD LauncherRun::editorPid() {
  if (editorPid_) return editorPid_;
  std::string text;
  if (!wintest::readFile(dir.file("standin.pid"), &text)) return 0;
  editorPid_ = strtoul(text.c_str(), nullptr, 10);
  return editorPid_;
}

HANDLE LauncherRun::editorHandle() {
  if (!editorProcess_ && editorPid())
    editorProcess_ = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE |
                                     PROCESS_QUERY_INFORMATION,
                                 FALSE, editorPid_);
  HANDLE h = editorProcess_;
  return h;
}

bool LauncherRun::editorRunning() {
  HANDLE h = editorHandle();
  return h && WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
}

bool LauncherRun::waitEditorGone(DWORD timeoutMs) {
  HANDLE h = editorHandle();
  if (!h) return editorPid() == 0;
  return wintest::pollUntil(
      [h] { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }, timeoutMs);
}

bool LauncherRun::waitLauncherExit(DWORD timeoutMs, DWORD* code) {
  DWORD exitCode = 1;
  bool ended = launcher.wait(timeoutMs, &exitCode);
  if (code) *code = exitCode;
  return ended && exitCode == 0;
}

POINT panelOrigin(HWND panel) {
  POINT p = {0, 0};
  ClientToScreen(panel, &p);
  return p;
}

bool Adopted(const LauncherRun& run, HWND window) {
  return window && wintest::windowParent(window) == run.panel();
}

bool Stays(const std::function<bool()>& condition, DWORD ms) {
  return !wintest::pollUntil([&] { return !condition(); }, ms);
}

bool CenteredOnScreen(HWND window, int lift) {
  RECT r = wintest::windowRect(window);
  int w = r.right - r.left, h = r.bottom - r.top;
  return r.left == (kScreenWidth - w) / 2 &&
         r.top == (kScreenHeight - h) / 2 - lift;
}

bool FrontAndCentred(HWND dialog) {
  if (GetForegroundWindow() != dialog) SetForegroundWindow(dialog);
  return CenteredOnScreen(dialog, 0);
}

bool FrameStaysInFront(const LauncherRun& run) {
  return wintest::pollUntil(
      [&] {
        if (GetForegroundWindow() != run.frame) SetForegroundWindow(run.frame);
        return Stays([&] { return GetForegroundWindow() == run.frame; }, 700);
      },
      8000);
}

ULONGLONG ProcessorTimeMs(HANDLE process) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
  auto ms = [](FILETIME t) {
    return ((ULONGLONG)t.dwHighDateTime << 32 | t.dwLowDateTime) / 10000;
  };
  return ms(kernel) + ms(user);
}

}  // namespace launchertest
