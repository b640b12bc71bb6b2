#include "wintest.h"

#include <cstdio>
#include <cstring>

namespace wintest {

// ---------------------------------------------------------------- processes

ChildProcess::~ChildProcess() {
  if (running()) kill();
  close();
}

void ChildProcess::close() {
  if (process_) CloseHandle(process_);
  process_ = nullptr;
  pid_ = 0;
}

bool ChildProcess::start(const std::string& exe, const std::string& args,
                         const std::string& workDir) {
  if (running()) kill();
  close();
  std::string line = "\"" + exe + "\"";
  if (!args.empty()) line += " " + args;
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof info);
  if (!CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, workDir.empty() ? nullptr : workDir.c_str(),
                      &startup, &info))
    return false;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  pid_ = info.dwProcessId;
  return true;
}

bool ChildProcess::wait(DWORD timeoutMs, DWORD* exitCode) {
  if (!process_) return false;
  bool ended = pollUntil(
      [this] { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; },
      timeoutMs);
  if (ended && exitCode) GetExitCodeProcess(process_, exitCode);
  return ended;
}

bool ChildProcess::running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void ChildProcess::kill() {
  if (!process_) return;
  TerminateProcess(process_, 1);
  WaitForSingleObject(process_, 5000);
}

// ---------------------------------------------------------------- waiting

void pumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Left for the loop that owns it, as nested loops do.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool pollUntil(const std::function<bool()>& condition, DWORD timeoutMs,
               DWORD intervalMs) {
  DWORD start = GetTickCount();
  for (;;) {
    pumpMessages();
    if (condition()) return true;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return condition();
    DWORD left = timeoutMs - elapsed;
    MsgWaitForMultipleObjects(0, nullptr, FALSE,
                              left < intervalMs ? left : intervalMs,
                              QS_ALLINPUT);
  }
}

void pumpFor(DWORD ms) {
  pollUntil([] { return false; }, ms);
}

// ---------------------------------------------------------------- windows

std::string windowText(HWND window) {
  if (!window || !IsWindow(window)) return "";
  char buffer[512] = "";
  int n = GetWindowTextA(window, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, n) : std::string();
}

std::string windowClass(HWND window) {
  if (!window || !IsWindow(window)) return "";
  char buffer[256] = "";
  int n = GetClassNameA(window, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, n) : std::string();
}

RECT windowRect(HWND window) {
  RECT r = {0, 0, 0, 0};
  if (window) GetWindowRect(window, &r);
  return r;
}

RECT clientRect(HWND window) {
  RECT r = {0, 0, 0, 0};
  if (window) GetClientRect(window, &r);
  return r;
}

RECT rectInParent(HWND window) {
  RECT r = windowRect(window);
  HWND parent = windowParent(window);
  if (parent && parent != GetDesktopWindow())
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LONG windowStyle(HWND window) {
  return window ? GetWindowLongA(window, GWL_STYLE) : 0;
}

LONG windowExStyle(HWND window) {
  return window ? GetWindowLongA(window, GWL_EXSTYLE) : 0;
}

HWND windowParent(HWND window) {
  return window ? GetAncestor(window, GA_PARENT) : nullptr;
}

DWORD windowProcess(HWND window) {
  DWORD pid = 0;
  if (window) GetWindowThreadProcessId(window, &pid);
  return pid;
}

bool isTopLevel(HWND window) {
  return window && IsWindow(window) && windowParent(window) == GetDesktopWindow();
}

namespace {

struct Search {
  const char* className;
  const char* title;
  bool prefix;
  DWORD pid;
  std::vector<HWND> found;
};

bool matches(HWND window, const Search& s) {
  if (s.pid && windowProcess(window) != s.pid) return false;
  if (s.className && windowClass(window) != s.className) return false;
  if (s.title) {
    std::string text = windowText(window);
    if (s.prefix) return text.compare(0, strlen(s.title), s.title) == 0;
    return text == s.title;
  }
  return true;
}

BOOL CALLBACK collect(HWND window, LPARAM param) {
  Search* s = reinterpret_cast<Search*>(param);
  if (matches(window, *s)) s->found.push_back(window);
  return TRUE;
}

std::vector<HWND> search(const char* className, const char* title, bool prefix,
                         DWORD pid) {
  Search s = {className, title, prefix, pid, {}};
  EnumWindows(collect, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

}  // namespace

std::vector<HWND> topWindows(const char* className, const char* title,
                             DWORD pid) {
  return search(className, title, false, pid);
}

HWND findTopWindow(const char* className, const char* title, DWORD pid) {
  std::vector<HWND> found = search(className, title, false, pid);
  return found.empty() ? nullptr : found.front();
}

HWND findTopWindowPrefix(const char* className, const char* titlePrefix,
                         DWORD pid) {
  std::vector<HWND> found = search(className, titlePrefix, true, pid);
  return found.empty() ? nullptr : found.front();
}

HWND waitForTopWindow(const char* className, const char* title, DWORD pid,
                      DWORD timeoutMs) {
  HWND found = nullptr;
  pollUntil([&] { return (found = findTopWindow(className, title, pid)) != nullptr; },
            timeoutMs);
  return found;
}

HWND waitForTopWindowPrefix(const char* className, const char* titlePrefix,
                            DWORD pid, DWORD timeoutMs) {
  HWND found = nullptr;
  pollUntil([&] {
    return (found = findTopWindowPrefix(className, titlePrefix, pid)) != nullptr;
  }, timeoutMs);
  return found;
}

std::vector<HWND> childWindows(HWND parent) {
  std::vector<HWND> children;
  if (!parent) return children;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    children.push_back(c);
  return children;
}

std::string dialogMessage(HWND dialog) {
  for (HWND c : childWindows(dialog)) {
    if (windowClass(c) == "Static" || windowClass(c) == "STATIC") {
      std::string text = windowText(c);
      if (!text.empty()) return text;
    }
  }
  return "";
}

bool clickDialogButton(HWND dialog, int buttonId) {
  HWND button = dialog ? GetDlgItem(dialog, buttonId) : nullptr;
  if (!button) return false;
  PostMessageA(button, BM_CLICK, 0, 0);
  return true;
}

// ---------------------------------------------------------------- responder

MessageBoxResponder::MessageBoxResponder(const std::string& title, int buttonId)
    : title_(title), buttonId_(buttonId) {
  InitializeCriticalSection(&lock_);
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
}

MessageBoxResponder::~MessageBoxResponder() {
  SetEvent(stop_);
  if (thread_) {
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
  }
  CloseHandle(stop_);
  DeleteCriticalSection(&lock_);
}

int MessageBoxResponder::count() const {
  EnterCriticalSection(&lock_);
  int n = count_;
  LeaveCriticalSection(&lock_);
  return n;
}

std::string MessageBoxResponder::lastText() const {
  EnterCriticalSection(&lock_);
  std::string text = lastText_;
  LeaveCriticalSection(&lock_);
  return text;
}

DWORD WINAPI MessageBoxResponder::run(void* param) {
  MessageBoxResponder* self = static_cast<MessageBoxResponder*>(param);
  HWND answered = nullptr;
  DWORD pid = GetCurrentProcessId();
  while (WaitForSingleObject(self->stop_, 20) == WAIT_TIMEOUT) {
    HWND box = findTopWindow("#32770", self->title_.c_str(), pid);
    // A box is counted once, when it can be read; its window may linger
    // for a moment after the click.
    if (!box || box == answered || !IsWindowVisible(box)) continue;
    std::string text = dialogMessage(box);
    if (!clickDialogButton(box, self->buttonId_)) continue;
    answered = box;
    EnterCriticalSection(&self->lock_);
    ++self->count_;
    self->lastText_ = text;
    LeaveCriticalSection(&self->lock_);
  }
  return 0;
}

// ---------------------------------------------------------------- files

ScratchDir::ScratchDir(const std::string& tag) {
  static LONG counter = 0;
  char temp[MAX_PATH] = "";
  DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp) return;
  std::string base(temp);
  if (!base.empty() && (base.back() == '\\' || base.back() == '/'))
    base.pop_back();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    snprintf(name, sizeof name, "\\corvella-%s-%lu-%ld", tag.c_str(),
             GetCurrentProcessId(), InterlockedIncrement(&counter));
    std::string candidate = base + name;
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

ScratchDir::~ScratchDir() {
  if (!path_.empty()) removeTree(path_);
}

std::string ScratchDir::file(const std::string& name) const {
  return path_ + "\\" + name;
}

bool removeTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(full);
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  return RemoveDirectoryA(path.c_str()) != 0;
}

bool copyFile(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool fileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool readFile(const std::string& path, std::string* data) {
  data->clear();
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) data->append(buffer, n);
  bool ok = !ferror(f);
  fclose(f);
  if (!ok) data->clear();
  return ok;
}

bool writeFile(const std::string& path, const std::string& data) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = fclose(f) == 0 && ok;
  return ok;
}

std::string programDir() {
  char path[MAX_PATH] = "";
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string full(path, n < sizeof path ? n : 0);
  size_t cut = full.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : full.substr(0, cut);
}

}  // namespace wintest
