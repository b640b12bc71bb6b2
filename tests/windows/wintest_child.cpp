// Child program for the helper tests.  Arguments:
//   exit N          end at once with exit code N
//   window TITLE    show a top-level window TITLE (class "WintestChild");
//                   write "started.txt" in the current folder; end with
//                   exit code 5 when the window is closed
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static LRESULT CALLBACK ChildProc(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(5);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc >= 3 && strcmp(__argv[1], "exit") == 0) return atoi(__argv[2]);
  if (__argc < 3 || strcmp(__argv[1], "window") != 0) return 2;
  FILE* f = fopen("started.txt", "wb");
  if (f) fclose(f);
  WNDCLASSA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = ChildProc;
  wc.hInstance = instance;
  wc.lpszClassName = "WintestChild";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, "WintestChild", __argv[2], WS_OVERLAPPEDWINDOW,
                                50, 60, 200, 150, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOW);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
