// Helpers for the Windows test programs (run under wine): child processes,
// waits that pump messages, window search and state, scratch folders.
// Every wait takes a timeout in milliseconds; nothing sleeps blindly.
#ifndef CORVELLA_WINTEST_H
#define CORVELLA_WINTEST_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace wintest {

// A process started by a test.  The destructor kills it if it still runs,
// so a failing test leaves nothing behind.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `exe` (full path) with the argument text `args` (may be empty)
  // in the folder `workDir` (empty: the test's own current folder).
  bool start(const std::string& exe, const std::string& args = "",
             const std::string& workDir = "");
  // Waits for the process to end; true if it ended within the timeout.
  // `exitCode` receives its exit code then.
  bool wait(DWORD timeoutMs, DWORD* exitCode = nullptr);
  bool running() const;
  // TerminateProcess (exit code 1) and wait up to 5 s for it to go.
  void kill();
  DWORD pid() const { return pid_; }
  HANDLE handle() const { return process_; }

 private:
  void close();
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

// Dispatches every message queued for this thread.  A WM_QUIT is not
// consumed: it is posted again and pumping stops there.
void pumpMessages();
// Calls `condition` until it returns true or `timeoutMs` have passed,
// pumping this thread's messages between calls (it waits at most
// `intervalMs` for a message before the next call).  Returns the last result.
bool pollUntil(const std::function<bool()>& condition, DWORD timeoutMs,
               DWORD intervalMs = 20);
// Pumps messages for `ms` milliseconds.  For letting a window settle after an
// action when there is no condition to wait for; prefer pollUntil.
void pumpFor(DWORD ms);

// Window text and class; "" for a null or vanished window (GetWindowTextA on
// a null handle would read the desktop's title).
std::string windowText(HWND window);
std::string windowClass(HWND window);
// Outer rectangle in screen coordinates, client rectangle; all 0 for null.
RECT windowRect(HWND window);
RECT clientRect(HWND window);
// Outer rectangle relative to the parent's client area (screen for
// top-level windows).
RECT rectInParent(HWND window);
LONG windowStyle(HWND window);
LONG windowExStyle(HWND window);
// GetAncestor(GA_PARENT): the desktop window for top-level windows.
HWND windowParent(HWND window);
DWORD windowProcess(HWND window);
bool isTopLevel(HWND window);

// Top-level windows, in z-order (top first).  A null `className` or `title`
// matches any; `pid` 0 matches any process.  Titles are compared exactly,
// or by prefix with the *Prefix variants.
std::vector<HWND> topWindows(const char* className = nullptr,
                             const char* title = nullptr, DWORD pid = 0);
HWND findTopWindow(const char* className, const char* title, DWORD pid = 0);
HWND findTopWindowPrefix(const char* className, const char* titlePrefix,
                         DWORD pid = 0);
// Polls (pumping messages) until such a window exists; null on timeout.
HWND waitForTopWindow(const char* className, const char* title, DWORD pid,
                      DWORD timeoutMs);
HWND waitForTopWindowPrefix(const char* className, const char* titlePrefix,
                            DWORD pid, DWORD timeoutMs);
// Direct children of `parent` (GW_CHILD chain), in z-order.
std::vector<HWND> childWindows(HWND parent);
// Text of the first STATIC child of a dialog (a message box's message).
std::string dialogMessage(HWND dialog);
// Clicks button `buttonId` of a dialog (BM_CLICK, posted); false if absent.
bool clickDialogButton(HWND dialog, int buttonId);

// Answers message boxes of this process from a second thread: every dialog
// ("#32770") titled `title` that appears is read and then dismissed with the
// button `buttonId` (IDOK, IDIGNORE, ...).  For code that shows a modal box
// on the test's own thread.
class MessageBoxResponder {
 public:
  MessageBoxResponder(const std::string& title, int buttonId);
  ~MessageBoxResponder();
  MessageBoxResponder(const MessageBoxResponder&) = delete;
  MessageBoxResponder& operator=(const MessageBoxResponder&) = delete;
  int count() const;            // boxes answered so far
  std::string lastText() const;  // message of the last box answered

 private:
  static DWORD WINAPI run(void* self);
  std::string title_;
  int buttonId_;
  HANDLE thread_ = nullptr;
  HANDLE stop_ = nullptr;
  mutable CRITICAL_SECTION lock_;
  int count_ = 0;
  std::string lastText_;
};

// A new empty folder under the system's temporary folder; removed with all
// its contents by the destructor.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag = "test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "\\" + name
  std::string file(const std::string& name) const;
  bool ok() const { return !path_.empty(); }

 private:
  std::string path_;
};

bool removeTree(const std::string& path);
bool copyFile(const std::string& from, const std::string& to);
bool fileExists(const std::string& path);
// Whole file as bytes; false (and `data` empty) if it cannot be read.
bool readFile(const std::string& path, std::string* data);
bool writeFile(const std::string& path, const std::string& data);
// Folder of the running test program, without a trailing separator.
std::string programDir();

}  // namespace wintest

#endif
