// The launcher soaked: the stand-in editor opens and closes image windows
// and dialogs, the user moves windows, the editor now and then stops
// answering for two seconds, and finally it crashes, all in a seeded random
// order and timing.  The launcher must stay responsive throughout, adopt
// every image window that lives past a tick, centre every dialog, use next
// to no processor time while the editor is idle, and end once the editor is
// gone.  Figures (latencies, idle processor time) are printed.
//
//   CORVELLA_SOAK_SEED     seed to replay (default: from the clock; printed)
//   CORVELLA_SOAK_WINDOWS  image windows to open (default 40; 200 in
//                          make test-long)
//   CORVELLA_SOAK_DIALOGS  file, close and quit dialogs (default 10; 50)
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "scenario.h"
#include "wintest.h"

using namespace launchertest;
using wintest::pollUntil;

namespace {

unsigned EnvNumber(const char* name, unsigned fallback) {
  const char* v = getenv(name);
  return v && *v ? (unsigned)strtoul(v, nullptr, 10) : fallback;
}

struct Latency {
  DWORD worst = 0, total = 0, count = 0, overOneTick = 0;
  void add(DWORD ms) {
    worst = std::max(worst, ms);
    total += ms;
    ++count;
    if (ms > 500) ++overOneTick;
  }
  void print(const char* what) const {
    printf("soak: %s: %lu, mean %lu ms, worst %lu ms, %lu beyond one tick (500 ms)\n",
           what, (unsigned long)count, (unsigned long)(count ? total / count : 0),
           (unsigned long)worst, (unsigned long)overOneTick);
  }
};

// An image window of the editor, top-level or already in the panel.
HWND FindImageWindow(LauncherRun& run, const char* title) {
  HWND top = run.editorWindow(title);
  return top ? top : FindWindowExA(run.panel(), NULL, "gdkWindowToplevel", title);
}

TEST(LauncherSoak, RandomWindowsDialogsHangsAndACrash) {
  const unsigned seed = EnvNumber("CORVELLA_SOAK_SEED", GetTickCount());
  const unsigned windows = EnvNumber("CORVELLA_SOAK_WINDOWS", 40);
  const unsigned dialogs = EnvNumber("CORVELLA_SOAK_DIALOGS", 10);
  printf("soak: seed %u (replay: CORVELLA_SOAK_SEED=%u), %u windows, %u dialogs\n",
         seed, seed, windows, dialogs);
  fflush(stdout);
  std::mt19937 rng(seed);
  auto below = [&](unsigned n) { return (int)(rng() % n); };

  LauncherRun run("soak");
  START(run, "", 20, 115);
  const POINT origin = panelOrigin(run.panel());

  std::vector<HWND> live;
  Latency adoption, centring;
  unsigned opened = 0, shortLived = 0, dialogsShown = 0, hangs = 0, moves = 0,
           closes = 0, unresponsive = 0;
  static const char* const kDialogs[] = {"Open Image", "Save Image",
                                         "Close [Untitled]-1.0", "Quit GIMP"};
  while (opened < windows || dialogsShown < dialogs) {
    int action = below(20);
    if (action < 9 && opened < windows) {
      // A new image window; now and then one that closes at once.
      char title[128];
      snprintf(title, sizeof title,
               "[Untitled]-%u.0 (RGB color, 1 layer) 640x400 - GIMP", opened + 1);
      int w = 200 + below(400), h = 150 + below(300);
      // The stand-in has made the window when the call returns.
      ASSERT_TRUE(run.openWindow(below(900), origin.y + below(500), w, h, title));
      const DWORD made = GetTickCount();
      HWND window = FindImageWindow(run, title);
      ASSERT_TRUE(window) << title;
      ++opened;
      if (below(8) == 0) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(pollUntil([&] { return !IsWindow(window); }, kTickTimeoutMs));
        ++shortLived;
        continue;
      }
      ASSERT_TRUE(pollUntil([&] { return Adopted(run, window); }, kTickTimeoutMs))
          << title << " not adopted";
      adoption.add(GetTickCount() - made);
      live.push_back(window);
    } else if (action < 12 && !live.empty()) {
      size_t k = (size_t)below((unsigned)live.size());
      HWND window = live[k];
      live.erase(live.begin() + (long)k);
      PostMessageA(window, WM_CLOSE, 0, 0);
      ASSERT_TRUE(pollUntil([&] { return !IsWindow(window); }, kTickTimeoutMs));
      ++closes;
    } else if (action < 15 && !live.empty()) {
      // The user drags an adopted window; it stays in the panel.
      HWND window = live[(size_t)below((unsigned)live.size())];
      SetWindowPos(window, NULL, below(800), below(500), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      EXPECT_TRUE(Stays([&] { return Adopted(run, window); }, 300));
      ++moves;
    } else if (action < 18 && dialogsShown < dialogs) {
      const char* title = kDialogs[below(4)];
      ASSERT_TRUE(run.openWindow(below(600), below(500), 300 + below(100),
                                 150 + below(100), title));
      const DWORD made = GetTickCount();
      HWND dialog = run.editorWindow(title);
      ASSERT_TRUE(dialog) << title;
      ASSERT_TRUE(pollUntil([&] { return FrontAndCentred(dialog); }, kTickTimeoutMs))
          << title << " not centred";
      centring.add(GetTickCount() - made);
      EXPECT_TRUE(wintest::isTopLevel(dialog)) << title << " adopted";
      PostMessageA(dialog, WM_CLOSE, 0, 0);
      ASSERT_TRUE(pollUntil([&] { return !IsWindow(dialog); }, kTickTimeoutMs));
      ++dialogsShown;
    } else if (action >= 18 && hangs < 1 + windows / 40) {
      // The editor stops answering for 2 s; the frame does not.
      run.command(kStandinHang);
      Sleep(200);
      if (!run.frameResponsive(1000)) ++unresponsive;
      Sleep(2000);
      ++hangs;
    }
    Sleep((DWORD)below(300));
    if (!run.frameResponsive(1000)) ++unresponsive;
  }
  adoption.print("adopted windows");
  centring.print("centred dialogs");
  printf("soak: %u windows (%u closed at once), %u closed later, %u moves, %u hangs of 2 s, "
         "%u times the frame did not answer within 1 s\n",
         opened, shortLived, closes, moves, hangs, unresponsive);
  EXPECT_EQ(0u, unresponsive);
  // One tick, and the time for the poll here to notice.
  EXPECT_LE(adoption.worst, 1000u);
  EXPECT_LE(centring.worst, 1000u);

  // An idle editor costs the launcher next to nothing: under 2% of one
  // core over 10 s.
  ULONGLONG before = ProcessorTimeMs(run.launcher.handle());
  printf("soak: the launcher used %llu ms of processor time until now\n", before);
  DWORD start = GetTickCount();
  Sleep(10000);
  ULONGLONG used = ProcessorTimeMs(run.launcher.handle()) - before;
  DWORD elapsed = GetTickCount() - start;
  printf("soak: idle: %llu ms of processor time in %lu ms (%.2f%%)\n", used,
         (unsigned long)elapsed, 100.0 * (double)used / (double)elapsed);
  EXPECT_LT(used * 50, (ULONGLONG)elapsed);

  // The editor crashes at a random moment; the launcher ends within a tick
  // of its going.
  Sleep((DWORD)below(1000));
  run.command(kStandinCrash);
  ASSERT_TRUE(run.waitEditorGone());
  DWORD gone = GetTickCount();
  DWORD code = 1;
  EXPECT_TRUE(run.waitLauncherExit(kEndTimeoutMs, &code));
  DWORD endMs = GetTickCount() - gone;
  printf("soak: the launcher ended %lu ms after the editor was gone (exit code %lu)\n",
         (unsigned long)endMs, (unsigned long)code);
  EXPECT_LE(endMs, 1000u) << "one tick (500 ms) and the time to notice";
  fflush(stdout);
}

}  // namespace
