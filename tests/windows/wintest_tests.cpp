// The helpers the Windows tests stand on: if these are wrong, every system
// test built on them passes or fails for the wrong reason.
#include "wintest.h"

#include <gtest/gtest.h>

using namespace wintest;

namespace {

std::string childPath() { return programDir() + "\\" + WINTEST_CHILD_NAME; }

TEST(WintestBasics, ScratchDirsFilesAndNullWindows) {
  std::string kept;
  {
    ScratchDir a("files"), b("files");
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(b.ok());
    EXPECT_NE(a.path(), b.path());
    EXPECT_TRUE(fileExists(a.path()));
    ASSERT_TRUE(writeFile(a.file("one.bin"), std::string("a\0b\r\n", 5)));
    ASSERT_TRUE(CreateDirectoryA(a.file("sub").c_str(), nullptr));
    ASSERT_TRUE(writeFile(a.file("sub\\two.txt"), "two"));
    ASSERT_TRUE(copyFile(a.file("one.bin"), b.file("copy.bin")));
    std::string data;
    ASSERT_TRUE(readFile(b.file("copy.bin"), &data));
    EXPECT_EQ(data, std::string("a\0b\r\n", 5));  // byte for byte, no CR LF rewriting
    EXPECT_FALSE(copyFile(a.file("missing"), b.file("x")));
    EXPECT_FALSE(readFile(a.file("missing"), &data));
    EXPECT_TRUE(data.empty());
    kept = a.path();
  }
  EXPECT_FALSE(fileExists(kept));

  EXPECT_EQ(windowText(nullptr), "");
  EXPECT_EQ(windowClass(nullptr), "");
  RECT r = windowRect(nullptr);
  EXPECT_EQ(r.right - r.left, 0);
  EXPECT_EQ(windowStyle(nullptr), 0);
  EXPECT_FALSE(isTopLevel(nullptr));
  EXPECT_EQ(findTopWindow("NoSuchClassAnywhere", nullptr), nullptr);
}

TEST(WintestWait, PollUntilStopsWhenTrueTimesOutAndPumps) {
  int calls = 0;
  EXPECT_TRUE(pollUntil([&] { return ++calls == 3; }, 5000, 1));
  EXPECT_EQ(calls, 3);
  DWORD start = GetTickCount();
  EXPECT_FALSE(pollUntil([] { return false; }, 200));
  EXPECT_GE(GetTickCount() - start, 190u);

  // A thread message posted to ourselves must be pumped by the wait, as a
  // timer or a posted command in a test would be.
  static bool handled;
  handled = false;
  struct Hook {
    static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD) { handled = true; }
  };
  UINT_PTR id = SetTimer(nullptr, 0, 10, Hook::onTimer);
  ASSERT_NE(id, 0u);
  EXPECT_TRUE(pollUntil([] { return handled; }, 5000));
  KillTimer(nullptr, id);

  // A quit message belongs to the loop under test, not to the helpers.
  PostQuitMessage(7);
  pumpFor(50);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(WintestProcess, StartFindWaitExitCodesAndKill) {
  ScratchDir dir("child");
  ASSERT_TRUE(dir.ok());
  ChildProcess child;
  ASSERT_TRUE(child.start(childPath(), "window \"Wintest Child\"", dir.path()));
  EXPECT_TRUE(child.running());
  HWND w = waitForTopWindow("WintestChild", "Wintest Child", child.pid(), 20000);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(windowProcess(w), child.pid());
  EXPECT_EQ(findTopWindowPrefix(nullptr, "Wintest Ch", child.pid()), w);
  EXPECT_EQ(findTopWindow("WintestChild", "Wintest Child", child.pid() + 1), nullptr);
  EXPECT_TRUE(isTopLevel(w));
  EXPECT_TRUE(windowStyle(w) & WS_CAPTION);
  RECT r = windowRect(w);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.bottom - r.top, 150);
  EXPECT_TRUE(pollUntil([&] { return fileExists(dir.file("started.txt")); }, 5000));
  PostMessageA(w, WM_CLOSE, 0, 0);
  DWORD code = 0;
  ASSERT_TRUE(child.wait(10000, &code));
  EXPECT_EQ(code, 5u);
  EXPECT_FALSE(child.running());

  ChildProcess quick;
  ASSERT_TRUE(quick.start(childPath(), "exit 42"));
  code = 0;
  ASSERT_TRUE(quick.wait(10000, &code));
  EXPECT_EQ(code, 42u);

  ChildProcess stuck;
  ASSERT_TRUE(stuck.start(childPath(), "window Stuck"));
  ASSERT_NE(waitForTopWindow("WintestChild", "Stuck", stuck.pid(), 20000), nullptr);
  EXPECT_FALSE(stuck.wait(100));
  stuck.kill();
  EXPECT_FALSE(stuck.running());

  ChildProcess missing;
  EXPECT_FALSE(missing.start(programDir() + "\\no-such-program.exe"));
  EXPECT_FALSE(missing.running());
}

TEST(WintestResponder, AnswersModalBoxesOfThisProcess) {
  MessageBoxResponder responder("Wintest box", IDIGNORE);
  int result = MessageBoxA(nullptr, "first line\r\nsecond", "Wintest box",
                           MB_ABORTRETRYIGNORE);
  EXPECT_EQ(result, IDIGNORE);
  EXPECT_TRUE(pollUntil([&] { return responder.count() == 1; }, 5000));
  EXPECT_EQ(responder.lastText(), "first line\r\nsecond");
  result = MessageBoxA(nullptr, "again", "Wintest box", MB_ABORTRETRYIGNORE);
  EXPECT_EQ(result, IDIGNORE);
  EXPECT_TRUE(pollUntil([&] { return responder.count() == 2; }, 5000));
}

}  // namespace
