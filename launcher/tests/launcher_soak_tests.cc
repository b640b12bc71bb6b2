// The launcher soaked: the stand-in editor opens and closes image windows
// and dialogs, the user moves windows, the editor now and then stops
// answering for two seconds, and finally it crashes, all in a seeded random
// order and timing.  The launcher must stay responsive throughout, adopt
// every image window that lives past a tick within the first tick that
// starts after the window appeared, centre every dialog, use next to no
// processor time while the editor is idle, and end within one tick once the
// editor is gone.  Latencies are counted in the launcher's own ticks, which
// it numbers on its frame window (TICK_PROPERTY, ADOPTION_TICK_PROPERTY);
// figures (latencies in ticks and milliseconds, the intervals between ticks
// as seen from here, idle processor time) are printed.
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
#include "state.h"
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

// The number a launcher property holds (0 before it is first set).
unsigned FrameNumber(HWND frame, const char* property) {
  return (unsigned)(UINT_PTR)GetPropA(frame, property);
}

// Watches the frame's tick number from a thread of its own and notes when
// each new tick was first seen (to within kSampleMs), so the intervals
// between ticks are known however busy the test's own thread is.  Reading
// another process's window property costs that process processor time
// under wine, so the watch pauses while the launcher's idle cost is
// measured; no interval spans a pause.  The destructor stops the thread.
class TickWatch {
 public:
  explicit TickWatch(HWND frame) : frame_(frame) {
    stop_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
  }
  ~TickWatch() { stop(); }
  bool running() const { return thread_ != NULL; }
  void stop() {
    if (thread_) {
      SetEvent(stop_);
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
      thread_ = NULL;
    }
    if (stop_) CloseHandle(stop_);
    stop_ = NULL;
  }
  void pause(bool paused) { InterlockedExchange(&paused_, paused ? 1 : 0); }
  // Valid once stopped.
  unsigned lastTick() const { return last_; }
  struct Interval {
    DWORD end, ms;  // when the later tick was seen; the time since the earlier
  };
  const std::vector<Interval>& intervals() const { return intervals_; }

 private:
  enum { kSampleMs = 10 };
  static DWORD WINAPI Run(LPVOID self) {
    static_cast<TickWatch*>(self)->watch();
    return 0;
  }
  void watch() {
    DWORD seen = 0;
    bool counting = false;  // `seen` is when tick `last_` started
    do {
      if (InterlockedCompareExchange(&paused_, 0, 0)) {
        counting = false;
        continue;
      }
      unsigned tick = FrameNumber(frame_, TICK_PROPERTY);
      if (tick <= last_) continue;  // the same tick, or the frame has gone
      DWORD now = GetTickCount();
      // A skipped number (a tick shorter than a sample) spreads the
      // interval over the ticks it covers.
      if (counting && last_ != 0)
        for (unsigned t = last_; t < tick; ++t)
          intervals_.push_back({now, (now - seen) / (tick - last_)});
      last_ = tick;
      seen = now;
      counting = true;
    } while (WaitForSingleObject(stop_, kSampleMs) == WAIT_TIMEOUT);
  }
  HWND frame_;
  HANDLE stop_ = NULL, thread_ = NULL;
  unsigned last_ = 0;
  volatile LONG paused_ = 0;
  std::vector<Interval> intervals_;
};

void PrintIntervals(const char* what, std::vector<DWORD> sorted) {
  if (sorted.empty()) return;
  std::sort(sorted.begin(), sorted.end());
  const unsigned long count = (unsigned long)sorted.size();
  unsigned long total = 0, late = 0;
  for (DWORD ms : sorted) {
    total += ms;
    if (ms > 600) ++late;
  }
  printf("soak: tick intervals %s: %lu, mean %lu ms, median %lu ms, worst %lu ms, "
         "%lu longer than 600 ms\n",
         what, count, total / count, (unsigned long)sorted[count / 2],
         (unsigned long)sorted.back(), late);
}

// Intervals that overlap a hang of the editor apart from the others: a tick
// that waited for the hung editor would show among the former.
void PrintIntervals(const std::vector<TickWatch::Interval>& intervals,
                    const std::vector<DWORD>& hangStarts, DWORD hangMs) {
  std::vector<DWORD> quiet, hung;
  for (const TickWatch::Interval& i : intervals) {
    bool overlaps = false;
    for (DWORD h : hangStarts)
      overlaps |= (int)(i.end - h) > 0 && (int)(h + hangMs - (i.end - i.ms)) > 0;
    (overlaps ? hung : quiet).push_back(i.ms);
  }
  PrintIntervals("outside hangs", quiet);
  PrintIntervals("across hangs", hung);
}

// How many ticks after the window appeared it was adopted: 0 when the tick
// in progress took it, 1 when the next one did.
struct TickCounts {
  unsigned counts[4] = {0, 0, 0, 0};  // 0, 1, 2, 3 or more
  unsigned late = 0;                  // beyond the first tick after
  void add(unsigned ticks) {
    ++counts[std::min(ticks, 3u)];
    if (ticks > 1) ++late;
  }
  void print(const char* what) const {
    printf("soak: %s, in ticks after appearing: 0: %u, 1: %u, 2: %u, 3 or more: %u\n",
           what, counts[0], counts[1], counts[2], counts[3]);
  }
};

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
  TickWatch ticks(run.frame);
  ASSERT_TRUE(ticks.running());
  auto tickNow = [&] { return FrameNumber(run.frame, TICK_PROPERTY); };

  std::vector<HWND> live;
  Latency adoption, centring;
  TickCounts adoptionTicks, centringTicks;
  std::vector<DWORD> hangStarts;
  unsigned ticksHeldUp = 0;  // hangs during which the ticks stopped
  enum { kHangLookMs = 1800 };
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
      // A tick that started before this read may be in progress; the first
      // tick that starts after the window appeared is at most the next.
      const unsigned appeared = tickNow();
      HWND window = run.imageWindow(title);
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
      // Recorded before the window moved, so it is this window's tick.
      // It may be below `appeared` when this thread was held up for a tick.
      const unsigned took = FrameNumber(run.frame, ADOPTION_TICK_PROPERTY);
      adoptionTicks.add(took > appeared ? took - appeared : 0);
      EXPECT_LE(took, appeared + 1)
          << title << " adopted by tick " << took << ", appeared at tick " << appeared;
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
      const unsigned appeared = tickNow();
      HWND dialog = run.editorWindow(title);
      ASSERT_TRUE(dialog) << title;
      ASSERT_TRUE(pollUntil([&] { return FrontAndCentred(dialog); }, kTickTimeoutMs))
          << title << " not centred";
      centring.add(GetTickCount() - made);
      // An upper bound: the tick in progress when the centring was seen.
      centringTicks.add(tickNow() - appeared);
      EXPECT_TRUE(wintest::isTopLevel(dialog)) << title << " adopted";
      PostMessageA(dialog, WM_CLOSE, 0, 0);
      ASSERT_TRUE(pollUntil([&] { return !IsWindow(dialog); }, kTickTimeoutMs));
      ++dialogsShown;
    } else if (action >= 18 && hangs < 1 + windows / 40) {
      // The editor stops answering for 2 s; the frame does not, and its
      // ticks go on: at least two start within its first 1.8 s.
      const DWORD hangStart = GetTickCount();
      const unsigned hangTick = tickNow();
      hangStarts.push_back(hangStart);
      run.command(kStandinHang);
      Sleep(200);
      if (!run.frameResponsive(1000)) ++unresponsive;
      const DWORD inHang = GetTickCount() - hangStart;
      if (inHang < kHangLookMs) Sleep(kHangLookMs - inHang);
      if (tickNow() - hangTick < 2) ++ticksHeldUp;
      Sleep(kStandinHangMs + 200 - kHangLookMs);
      ++hangs;
    }
    Sleep((DWORD)below(300));
    if (!run.frameResponsive(1000)) ++unresponsive;
  }
  adoption.print("adopted windows");
  adoptionTicks.print("adopted windows");
  centring.print("centred dialogs");
  centringTicks.print("centred dialogs (at most)");
  printf("soak: %u windows (%u closed at once), %u closed later, %u moves, %u hangs of 2 s "
         "(the ticks stopped in %u), %u times the frame did not answer within 1 s\n",
         opened, shortLived, closes, moves, hangs, ticksHeldUp, unresponsive);
  EXPECT_EQ(0u, unresponsive);
  EXPECT_EQ(0u, ticksHeldUp) << "a hung editor held up the launcher's ticks";
  EXPECT_EQ(0u, adoptionTicks.late) << "adoptions after the first tick that followed";
  // One tick, and the time for the poll here to notice.
  EXPECT_LE(centring.worst, 1000u);

  // An idle editor costs the launcher next to nothing: under 2% of one
  // core over 10 s.
  ticks.pause(true);
  ULONGLONG before = ProcessorTimeMs(run.launcher.handle());
  printf("soak: the launcher used %llu ms of processor time until now\n", before);
  const unsigned idleTick = tickNow();
  DWORD start = GetTickCount();
  Sleep(10000);
  ULONGLONG used = ProcessorTimeMs(run.launcher.handle()) - before;
  DWORD elapsed = GetTickCount() - start;
  const unsigned idleTicks = tickNow() - idleTick;
  ticks.pause(false);
  printf("soak: idle: %llu ms of processor time in %lu ms (%.2f%%), %u ticks\n", used,
         (unsigned long)elapsed, 100.0 * (double)used / (double)elapsed, idleTicks);
  EXPECT_LT(used * 50, (ULONGLONG)elapsed);
  EXPECT_GE(idleTicks, 10u) << "the ticks go on while the editor is idle";

  // The editor crashes at a random moment; the launcher ends within a tick
  // of its going.
  Sleep((DWORD)below(1000));
  run.command(kStandinCrash);
  ASSERT_TRUE(run.waitEditorGone());
  DWORD gone = GetTickCount();
  const unsigned goneTick = tickNow();
  DWORD code = 1;
  EXPECT_TRUE(run.waitLauncherExit(kEndTimeoutMs, &code));
  DWORD endMs = GetTickCount() - gone;
  ticks.stop();
  printf("soak: the launcher ended %lu ms after the editor was gone (exit code %lu), "
         "in its tick %u, the editor gone in tick %u\n",
         (unsigned long)endMs, (unsigned long)code, ticks.lastTick(), goneTick);
  PrintIntervals(ticks.intervals(), hangStarts, kStandinHangMs);
  EXPECT_LE(ticks.lastTick(), goneTick + 1) << "ended in the first tick after";
  EXPECT_LE(endMs, 1000u) << "one tick (500 ms) and the time to notice";
  fflush(stdout);
}

}  // namespace
