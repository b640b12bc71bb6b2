// The compiled manual opens in the system's HTML Help viewer, in a window
// titled with the manual's title, and lists its topics.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "wintest.h"

namespace {

typedef HWND(WINAPI* HtmlHelpFunction)(HWND, LPCSTR, UINT, DWORD_PTR);
const UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC

TEST(Manual, HoldsEveryTopicAndOpensTitledCorvellaManual) {
  std::string chm;
  ASSERT_TRUE(wintest::readFile(MANUAL_PATH, &chm)) << MANUAL_PATH;
  ASSERT_EQ(chm.compare(0, 4, "ITSF"), 0);  // the CHM signature
  for (const char* topic : {"/index.html", "/frame.html", "/toolbox.html", "/options.html",
                            "/commands.html", "/refocus.html", "/cameranoise.html",
                            "/filmgrain.html", "/corvella.hhc", "/corvella.hhk"})
    EXPECT_NE(chm.find(topic), std::string::npos) << topic;

  char system[MAX_PATH];
  UINT n = GetSystemDirectoryA(system, sizeof system);
  ASSERT_GT(n, 0u);
  HMODULE control = LoadLibraryA((std::string(system, n) + "\\hhctrl.ocx").c_str());
  ASSERT_NE(control, nullptr);
  HtmlHelpFunction htmlHelp =
      reinterpret_cast<HtmlHelpFunction>(
          reinterpret_cast<void*>(GetProcAddress(control, MAKEINTRESOURCEA(14))));
  ASSERT_NE(htmlHelp, nullptr);
  htmlHelp(nullptr, MANUAL_PATH, kDisplayTopic, 0);
  HWND viewer = wintest::waitForTopWindow("HH Parent", nullptr, GetCurrentProcessId(), 20000);
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(wintest::windowText(viewer), "Corvella Manual");
  DestroyWindow(viewer);
}

}  // namespace
