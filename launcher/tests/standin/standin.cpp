// Stand-in editor for the launcher's system tests (a test double, never
// shipped).  It behaves like the GTK editor as far as the launcher can see:
// top-level windows of class "gdkWindowToplevel" with the editor's titles,
// no minimum tracking size, and a main window "GIMP" that quits on
// WM_CLOSE.  It reads its scenario from "standin.ini" beside itself (the
// launcher starts it without arguments), one "key=value" a line:
//   delay_ms=N          wait before showing anything
//   splash_ms=N         how long "GIMP Startup" stays (default 200)
//   show=0              never show a window
//   crash_after_splash=1  end abruptly instead of showing the main window
//   options_delay_ms=N  delay between "GIMP" and "Tool Options"
//   tip=1               show "GIMP Tip of the Day" after the main window
//   tip_delay_ms=N      how long after it (default 400)
//   quit_dialog=1       WM_CLOSE of the main window opens "Quit GIMP"
//   open=DELAY X Y W H TITLE   open a window DELAY ms after the main window
//   ready_adopted=N     once N of its windows have been taken into another
//   ready_delay_ms=N    window (re-parented), wait this long and write
//                       "standin.ready" beside itself (for the demo)
// and takes commands from the test:
//   WM_COPYDATA, dwData 1, text "X Y W H TITLE": open a window
//   WM_APP+4 crash, WM_APP+5 confirm the quit dialog, WM_APP+6 cancel it,
//   WM_APP+7 hang (answer no message) for two seconds
// It writes its process id to "standin.pid" beside itself.
// Started as "corvella.exe --open X Y W H TITLE" it instead hands that open
// command to the running stand-in (through its main window) and ends at
// once, with exit code 0 when the running stand-in took it (for the demo).
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {
const char kClass[] = "gdkWindowToplevel";
const char kControlClass[] = "StandinControl";
enum {
  kCmdOpen = 1,
  kMsgCrash = WM_APP + 4,
  kMsgConfirmQuit = WM_APP + 5,
  kMsgCancelQuit = WM_APP + 6,
  kMsgHang = WM_APP + 7,
};
enum {
  kTimerSplash = 1,
  kTimerMain,
  kTimerTip,
  kTimerOptions,
  kTimerAdoptedCheck,
  kTimerReady,
  kTimerOpenBase = 100,
};
enum { kAdoptedCheckMs = 200 };

struct Pending {
  int delay, x, y, w, h;
  std::string title;
};

struct Scenario {
  int delayMs = 0, splashMs = 200, show = 1, crashAfterSplash = 0;
  int optionsDelayMs = 0, tip = 0, tipDelayMs = 400, quitDialog = 0;
  int readyAdopted = 0, readyDelayMs = 0;
  std::vector<Pending> opens;
} scenario;

HINSTANCE instance;
HWND control, splash, mainWindow, quitDialog;
std::vector<HWND> opened;  // windows opened by the scenario's "open=" lines

std::string ProgramDirectory() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
  std::string p(path, n < sizeof path ? n : 0);
  size_t cut = p.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : p.substr(0, cut);
}

bool ParseOpen(const char* text, Pending* out, bool withDelay) {
  int used = 0;
  int n = withDelay ? sscanf(text, "%d %d %d %d %d %n", &out->delay, &out->x,
                             &out->y, &out->w, &out->h, &used)
                    : sscanf(text, "%d %d %d %d %n", &out->x, &out->y, &out->w,
                             &out->h, &used);
  if (n != (withDelay ? 5 : 4)) return false;
  out->title = text + used;
  while (!out->title.empty() &&
         (out->title.back() == '\n' || out->title.back() == '\r'))
    out->title.pop_back();
  return true;
}

void ReadScenario() {
  FILE* f = fopen((ProgramDirectory() + "\\standin.ini").c_str(), "rt");
  if (!f) return;
  char line[512];
  while (fgets(line, sizeof line, f)) {
    char* eq = strchr(line, '=');
    if (!eq) continue;
    *eq = '\0';
    const char* key = line;
    const char* value = eq + 1;
    int n = atoi(value);
    if (!strcmp(key, "delay_ms")) scenario.delayMs = n;
    else if (!strcmp(key, "splash_ms")) scenario.splashMs = n;
    else if (!strcmp(key, "show")) scenario.show = n;
    else if (!strcmp(key, "crash_after_splash")) scenario.crashAfterSplash = n;
    else if (!strcmp(key, "options_delay_ms")) scenario.optionsDelayMs = n;
    else if (!strcmp(key, "tip")) scenario.tip = n;
    else if (!strcmp(key, "tip_delay_ms")) scenario.tipDelayMs = n;
    else if (!strcmp(key, "ready_adopted")) scenario.readyAdopted = n;
    else if (!strcmp(key, "ready_delay_ms")) scenario.readyDelayMs = n;
    else if (!strcmp(key, "quit_dialog")) scenario.quitDialog = n;
    else if (!strcmp(key, "open")) {
      Pending p;
      if (ParseOpen(value, &p, true)) scenario.opens.push_back(p);
    }
  }
  fclose(f);
}

int AdoptedCount() {
  int count = 0;
  for (HWND w : opened)
    if (IsWindow(w) && GetAncestor(w, GA_PARENT) != GetDesktopWindow()) ++count;
  return count;
}

void WriteReady() {
  FILE* f = fopen((ProgramDirectory() + "\\standin.ready").c_str(), "wt");
  if (f) fclose(f);
}

void WritePid() {
  FILE* f = fopen((ProgramDirectory() + "\\standin.pid").c_str(), "wt");
  if (!f) return;
  fprintf(f, "%lu\n", (unsigned long)GetCurrentProcessId());
  fclose(f);
}

HWND OpenWindow(const char* title, int x, int y, int w, int h) {
  HWND window = CreateWindowExA(0, kClass, title, WS_OVERLAPPEDWINDOW, x, y, w,
                                h, NULL, NULL, instance, NULL);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  // GTK presents a new window: it comes to the front.
  SetForegroundWindow(window);
  return window;
}

void Crash() { TerminateProcess(GetCurrentProcess(), 3); }

void Quit() { PostQuitMessage(0); }

void ShowMain() {
  if (splash) DestroyWindow(splash);
  splash = NULL;
  if (scenario.crashAfterSplash) Crash();
  mainWindow = OpenWindow("GIMP", 400, 200, 200, 420);
  // Like the editor, the tip comes after the main window (which the
  // launcher must find first: "GIMP Tip of the Day" begins with "GIMP" too)
  // and before the tool options.
  if (scenario.tip) SetTimer(control, kTimerTip, scenario.tipDelayMs, NULL);
  SetTimer(control, kTimerOptions, scenario.optionsDelayMs, NULL);
  for (size_t i = 0; i < scenario.opens.size(); ++i)
    SetTimer(control, kTimerOpenBase + i, scenario.opens[i].delay, NULL);
  if (scenario.readyAdopted > 0)
    SetTimer(control, kTimerAdoptedCheck, kAdoptedCheckMs, NULL);
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam,
                             LPARAM lParam) {
  if (message != WM_TIMER) return DefWindowProcA(window, message, wParam, lParam);
  if (wParam == kTimerAdoptedCheck) {
    if (AdoptedCount() < scenario.readyAdopted) return 0;
    KillTimer(window, wParam);
    SetTimer(window, kTimerReady, scenario.readyDelayMs, NULL);
    return 0;
  }
  KillTimer(window, wParam);
  if (wParam == kTimerReady) {
    WriteReady();
    return 0;
  }
  if (wParam == kTimerSplash) {
    splash = OpenWindow("GIMP Startup", 440, 380, 400, 260);
    SetTimer(window, kTimerMain, scenario.splashMs, NULL);
  } else if (wParam == kTimerMain) {
    ShowMain();
  } else if (wParam == kTimerTip) {
    OpenWindow("GIMP Tip of the Day", 60, 60, 360, 240);
  } else if (wParam == kTimerOptions) {
    OpenWindow("Tool Options", 700, 180, 240, 420);
  } else if (wParam >= kTimerOpenBase &&
             wParam < kTimerOpenBase + scenario.opens.size()) {
    const Pending& p = scenario.opens[wParam - kTimerOpenBase];
    opened.push_back(OpenWindow(p.title.c_str(), p.x, p.y, p.w, p.h));
  }
  return 0;
}

// Image windows get a colour of their own and their title inside, so a
// screenshot shows which window is which.
void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  char title[256];
  int length = GetWindowTextA(window, title, sizeof title);
  unsigned hash = 2166136261u;
  for (int i = 0; i < length; ++i) hash = (hash ^ (unsigned char)title[i]) * 16777619u;
  RECT client;
  GetClientRect(window, &client);
  HBRUSH brush = CreateSolidBrush(RGB(120 + hash % 100, 120 + (hash >> 8) % 100,
                                      120 + (hash >> 16) % 100));
  FillRect(dc, &client, brush);
  DeleteObject(brush);
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, title, length, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  EndPaint(window, &ps);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam) {
  switch (message) {
    case WM_GETMINMAXINFO:
      // GTK windows set no minimum tracking size of their own.
      ((MINMAXINFO*)lParam)->ptMinTrackSize.x = 1;
      ((MINMAXINFO*)lParam)->ptMinTrackSize.y = 1;
      return 0;
    case WM_CLOSE:
      if (window == mainWindow) {
        if (scenario.quitDialog) {
          if (!quitDialog) quitDialog = OpenWindow("Quit GIMP", 30, 40, 360, 200);
        } else {
          Quit();
        }
      } else {
        if (window == quitDialog) quitDialog = NULL;
        DestroyWindow(window);
      }
      return 0;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_COPYDATA: {
      const COPYDATASTRUCT* data = (const COPYDATASTRUCT*)lParam;
      if (data->dwData != kCmdOpen || !data->lpData || data->cbData == 0)
        return FALSE;
      std::string text((const char*)data->lpData, data->cbData);
      Pending p;
      if (!ParseOpen(text.c_str(), &p, false)) return FALSE;
      OpenWindow(p.title.c_str(), p.x, p.y, p.w, p.h);
      return TRUE;
    }
    case kMsgCrash:
      Crash();
      return 0;
    case kMsgConfirmQuit:
      Quit();
      return 0;
    case kMsgCancelQuit:
      if (quitDialog) DestroyWindow(quitDialog);
      quitDialog = NULL;
      return 0;
    case kMsgHang:
      Sleep(2000);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

// The "--open X Y W H TITLE" command of the demo.
int OpenCommand(char** args) {
  HWND main = FindWindowExA(NULL, NULL, kClass, "GIMP");
  if (!main) return 1;
  std::string text;
  for (int i = 0; i < 5; ++i) text += std::string(i ? " " : "") + args[i];
  COPYDATASTRUCT data = {kCmdOpen, (DWORD)text.size(), (void*)text.data()};
  DWORD_PTR taken = 0;
  if (!SendMessageTimeoutA(main, WM_COPYDATA, 0, (LPARAM)&data,
                           SMTO_ABORTIFHUNG, 5000, &taken))
    return 1;
  return taken ? 0 : 1;
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  if (__argc == 7 && !strcmp(__argv[1], "--open")) return OpenCommand(__argv + 2);
  instance = inst;
  WritePid();
  ReadScenario();
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursor(NULL, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);
  wc.lpfnWndProc = ControlProc;
  wc.hbrBackground = NULL;
  wc.lpszClassName = kControlClass;
  RegisterClassA(&wc);
  control = CreateWindowExA(0, kControlClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                            NULL, inst, NULL);
  if (scenario.show) SetTimer(control, kTimerSplash, scenario.delayMs, NULL);
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
