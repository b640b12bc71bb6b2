// Shared bits of the form-layer tests.
#ifndef VELTRO_TEST_SUPPORT_H
#define VELTRO_TEST_SUPPORT_H

#include <windows.h>
#include <commctrl.h>

#include <vector>

// Windows are never destroyed by the layer; a test destroys its own at the
// end so that later cases in the same process start from a clean desktop.
class WindowSweeper {
 public:
  ~WindowSweeper() {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
      if (*it && IsWindow(*it)) DestroyWindow(*it);
  }
  HWND operator()(HWND w) {
    windows_.push_back(w);
    return w;
  }

 private:
  std::vector<HWND> windows_;
};

inline void InitControlsOnce() {
  static bool done = false;
  if (!done) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, 0x3FFF};
    InitCommonControlsEx(&icc);
    done = true;
  }
}

#endif
