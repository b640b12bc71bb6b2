// Forms, the control base, named timers and the controls the launcher uses,
// checked through the windows' own state (class, styles, identifiers,
// rectangles), not through the layer's bookkeeping.
#include "veltro.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include "test_support.h"
#include "wintest.h"

namespace {

using wintest::pollUntil;
using wintest::windowClass;

const DWORD kPopup = WS_POPUP;
const DWORD kOverlapped = WS_OVERLAPPEDWINDOW;             // 0xCF0000
const DWORD kSmall = WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;  // 0xC80080

RECT OuterInParent(HWND w) { return wintest::rectInParent(w); }

TEST(Application, ProgramPathDirectoryAndArguments) {
  DWORD before = GetTickCount();
  Application app;
  EXPECT_GE(app.tickCount, before);
  EXPECT_LE(app.tickCount, GetTickCount());
  EXPECT_EQ(app.directory, wintest::programDir());
  EXPECT_EQ(app.path, app.directory + "\\veltro_tests.exe");
  ASSERT_FALSE(app.directory.empty());
  EXPECT_NE(app.directory.back(), '\\');  // separator removed
  // The arguments as the shell's own parser splits the command line,
  // without the program name.
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_NE(words, nullptr);
  ASSERT_EQ(app.arguments.size(), static_cast<size_t>(count - 1));
  for (int i = 1; i < count; ++i) {
    char narrow[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, words[i], -1, narrow, sizeof narrow, nullptr, nullptr);
    EXPECT_EQ(app.arguments[i - 1], narrow);
  }
  LocalFree(words);
}

TEST(Form, CreationStylesClassCaptionAndSystemIcon) {
  WindowSweeper sweep;
  struct Case {
    DWORD style;
    bool child;
    DWORD exStyle;
    DWORD wantStyleBits;   // must be set
    DWORD wantClearBits;   // must be clear
  } cases[] = {
      {kOverlapped, false, 0, kOverlapped | WS_CLIPCHILDREN, WS_CHILD},
      {kSmall, false, WS_EX_TOOLWINDOW, kSmall | WS_CLIPCHILDREN, WS_CHILD},
      {kPopup, false, 0, WS_POPUP | WS_CLIPCHILDREN, WS_CHILD},
      // A child form drops WS_POPUP and gains WS_CHILD.
      {kPopup, true, 0, WS_CHILD | WS_CLIPCHILDREN, WS_POPUP},
      {0, true, 0, WS_CHILD | WS_CLIPCHILDREN, WS_POPUP | WS_CAPTION},
  };
  Form host("Host", 0, 0, 500, 400, kPopup, true, true, false, false, false,
            nullptr, false, 0);
  sweep(host.window());
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << std::hex << c.style << " child " << c.child);
    Form f("Caption text", 10, 20, 150, 120, c.style, true, false, false, false,
           false, c.child ? WindowRef(host) : WindowRef(nullptr), c.child, c.exStyle);
    HWND w = sweep(f.window());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(windowClass(w), "#32770");
    EXPECT_EQ(wintest::windowText(w), "Caption text");
    DWORD style = GetWindowLongA(w, GWL_STYLE);
    EXPECT_EQ(style & c.wantStyleBits, c.wantStyleBits);
    EXPECT_EQ(style & c.wantClearBits, 0u);
    EXPECT_EQ(style & WS_VISIBLE, 0u);
    DWORD ex = GetWindowLongA(w, GWL_EXSTYLE);
    EXPECT_EQ(ex & (0x10010 | c.exStyle), 0x10010 | c.exStyle);
    EXPECT_EQ(f.style(), c.style);
    EXPECT_EQ(Control::fromWindow(w), &f);
    EXPECT_EQ(GetParent(w) == host.window(), c.child);
    HICON system = LoadIconA(nullptr, IDI_APPLICATION);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(w, WM_GETICON, ICON_BIG, 0)), system);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(w, WM_GETICON, ICON_SMALL, 0)), system);
  }
}

TEST(Form, FlagsVisibleDisabledMaximisedOwned) {
  WindowSweeper sweep;
  Form owner("Owner", 0, 0, 300, 200, kPopup, true, true, false, false, false,
             nullptr, false);
  sweep(owner.window());
  Form shown("Shown", 0, 0, 300, 200, kOverlapped, false, true, false, false,
             false, owner, false);
  sweep(shown.window());
  EXPECT_TRUE(IsWindowVisible(shown.window()));
  EXPECT_FALSE(IsWindowEnabled(shown.window()));
  // A non-child form with a parent is owned by it, not its child.
  EXPECT_EQ(GetWindow(shown.window(), GW_OWNER), owner.window());
  EXPECT_TRUE(wintest::isTopLevel(shown.window()));

  Form big("Big", 0, 0, 300, 200, kOverlapped, true, true, true, false, false,
           nullptr, false);
  sweep(big.window());
  EXPECT_TRUE(IsZoomed(big.window()));
  Form small("Small", 0, 0, 300, 200, kOverlapped, true, true, false, true,
             false, nullptr, false);
  sweep(small.window());
  EXPECT_TRUE(IsIconic(small.window()));

  shown.enable();
  EXPECT_TRUE(IsWindowEnabled(shown.window()));
  shown.hide();
  EXPECT_FALSE(IsWindowVisible(shown.window()));
  shown.setCaption("Renamed");
  EXPECT_EQ(shown.caption(), "Renamed");
  shown.text = std::string("Through text");
  EXPECT_EQ(wintest::windowText(shown.window()), "Through text");
  EXPECT_EQ(static_cast<std::string>(shown.text), "Through text");
}

// Sizes below 10 become 10 and negative positions 0, for top-level forms
// (screen coordinates) and child forms (parent's client coordinates).
TEST(Form, SizeAndPositionClamping) {
  WindowSweeper sweep;
  Form host("Host", 0, 0, 600, 500, kPopup, true, true, false, false, false,
            nullptr, false);
  sweep(host.window());
  struct Case {
    int x, y, w, h;
    int wantX, wantY, wantW, wantH;
  } cases[] = {
      {100, 100, 400, 300, 100, 100, 400, 300},
      {-5, 7, 9, 10, 0, 7, 10, 10},
      {3, -1, 10, 0, 3, 0, 10, 10},
      {-300, -300, -20, 5, 0, 0, 10, 10},
      {0, 0, 11, 1, 0, 0, 11, 10},
  };
  for (bool child : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "child " << child << " at " << c.x << "," << c.y
                                      << " size " << c.w << "x" << c.h);
      // Hidden: placement is the same, and wine maps no X window for it.
      Form f("", c.x, c.y, c.w, c.h, kPopup, true, false, false, false, false,
             child ? WindowRef(host) : WindowRef(nullptr), child);
      sweep(f.window());
      RECT r = OuterInParent(f.window());
      EXPECT_EQ(r.left, c.wantX);
      EXPECT_EQ(r.top, c.wantY);
      EXPECT_EQ(r.right - r.left, c.wantW);
      EXPECT_EQ(r.bottom - r.top, c.wantH);
      EXPECT_EQ(static_cast<int>(f.left), c.wantX);
      EXPECT_EQ(static_cast<int>(f.width), c.wantW);
      // Later moves and resizes clamp the same way and keep the other half.
      f.move(-1, 33);
      f.resize(4, 250);
      r = OuterInParent(f.window());
      EXPECT_EQ(r.left, 0);
      EXPECT_EQ(r.top, 33);
      EXPECT_EQ(r.right - r.left, 10);
      EXPECT_EQ(r.bottom - r.top, 250);
      f.width = 77;
      f.top = -8;
      r = OuterInParent(f.window());
      EXPECT_EQ(r.right - r.left, 77);
      EXPECT_EQ(r.bottom - r.top, 250);
      EXPECT_EQ(r.top, 0);
      EXPECT_EQ(r.left, 0);
    }
  }
}

TEST(Form, CentringOnDesktopAndInParent) {
  WindowSweeper sweep;
  RECT desk;
  GetClientRect(GetDesktopWindow(), &desk);
  Form top("", 0, 0, 301, 201, kPopup, true, false, false, false, true, nullptr, false);
  sweep(top.window());
  RECT r = wintest::windowRect(top.window());
  EXPECT_EQ(r.left, (desk.right - 301) / 2);
  EXPECT_EQ(r.top, (desk.bottom - 201) / 2);

  Form host("", 40, 30, 500, 400, kPopup, true, false, false, false, false, nullptr, false);
  sweep(host.window());
  RECT area = wintest::clientRect(host.window());
  Form inner("", 0, 0, 101, 51, kPopup, true, true, false, false, true, host, true);
  sweep(inner.window());
  r = OuterInParent(inner.window());
  EXPECT_EQ(r.left, (area.right - 101) / 2);
  EXPECT_EQ(r.top, (area.bottom - 51) / 2);
  // Larger than its parent: the centred position would be negative, and
  // is placed at 0.
  Form wide("", 5, 5, 900, 100, kPopup, true, true, false, false, false, host, true);
  sweep(wide.window());
  wide.center();
  r = OuterInParent(wide.window());
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, (area.bottom - 100) / 2);
}

// ------------------------------------------------------------ procedures

int g_closeCount;
std::vector<UINT_PTR> g_timerTicks;

INT_PTR CALLBACK CountingProc(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_CLOSE) ++g_closeCount;
  if (message == WM_TIMER) g_timerTicks.push_back(wParam);
  return 0;
}

// The quit message, taken from the queue if one is there.  Posting happens
// inside the procedure, so it is queued as soon as SendMessage returns.
bool TakeQuit(WPARAM* code) {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
  *code = msg.wParam;
  return true;
}

TEST(FormProcedure, DefaultPostsQuitOnCloseAndReplacementTakesOver) {
  WindowSweeper sweep;
  Form f("Closing", 0, 0, 200, 100, kOverlapped, true, true, false, false, false,
         nullptr, false);
  sweep(f.window());
  EXPECT_EQ(static_cast<DLGPROC>(f.procedure), &VeltroDefaultFormProc);

  // The close box of a form without its own procedure ends the message loop.
  PostMessageA(f.window(), WM_CLOSE, 0, 0);
  MSG msg;
  int loops = 0;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0 && ++loops < 10000) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_TRUE(IsWindow(f.window()));  // the form itself stays

  // Once a procedure is set, it gets the messages and no quit is posted.
  g_closeCount = 0;
  f.procedure = CountingProc;
  EXPECT_EQ(static_cast<DLGPROC>(f.procedure), &CountingProc);
  EXPECT_EQ(Control::fromWindow(f.window()), &f);
  SendMessageA(f.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(g_closeCount, 1);
  WPARAM code = 99;
  EXPECT_FALSE(TakeQuit(&code));

  // And the last one set wins.
  f.procedure = VeltroDefaultFormProc;
  SendMessageA(f.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(g_closeCount, 1);
  EXPECT_TRUE(TakeQuit(&code));
  EXPECT_EQ(code, 0u);
}

TEST(FormProcedure, NamedTimers) {
  WindowSweeper sweep;
  Form f("Timers", 0, 0, 200, 100, kPopup, true, true, false, false, false,
         nullptr, false);
  sweep(f.window());
  f.procedure = CountingProc;
  g_timerTicks.clear();

  EXPECT_EQ(f.timerId("Timer1"), -1);
  ASSERT_TRUE(f.startTimer("Timer1", 30));
  EXPECT_EQ(f.timerId("Timer1"), 1);
  // A second start under the same name fails and leaves the first running.
  EXPECT_FALSE(f.startTimer("Timer1", 1000));
  EXPECT_EQ(f.timerId("Timer1"), 1);
  ASSERT_TRUE(f.startTimer("Other", 5000));
  EXPECT_EQ(f.timerId("Other"), 2);
  auto ticksOf = [](UINT_PTR id) {
    int n = 0;
    for (UINT_PTR t : g_timerTicks) n += t == id;
    return n;
  };
  EXPECT_TRUE(pollUntil([&] { return ticksOf(1) >= 3; }, 5000));
  EXPECT_EQ(ticksOf(2), 0);  // the 5 s timer has not fired yet

  EXPECT_TRUE(f.stopTimer("Timer1"));
  EXPECT_EQ(f.timerId("Timer1"), -1);
  EXPECT_FALSE(f.stopTimer("Timer1"));
  EXPECT_FALSE(f.stopTimer("Never started"));
  wintest::pumpMessages();
  int after = ticksOf(1);
  wintest::pumpFor(200);
  EXPECT_EQ(ticksOf(1), after);  // stopped for real

  // Identifiers keep counting: a restarted name gets a fresh one.
  ASSERT_TRUE(f.startTimer("Timer1", 1000));
  EXPECT_EQ(f.timerId("Timer1"), 3);
  EXPECT_TRUE(f.stopTimer("Other"));
  EXPECT_TRUE(f.stopTimer("Timer1"));

  // Timers of separate controls count separately; a control without a
  // window has none.
  Form g("", 0, 0, 50, 50, kPopup, true, false, false, false, false, nullptr, false);
  sweep(g.window());
  EXPECT_TRUE(g.startTimer("Timer1", 1000));
  EXPECT_EQ(g.timerId("Timer1"), 1);
  EXPECT_TRUE(g.stopTimer("Timer1"));
  CheckBox orphan("x", 5, 0, 0, 10, 10, nullptr, false, true, true, false);
  EXPECT_EQ(orphan.window(), nullptr);
  EXPECT_FALSE(orphan.startTimer("Timer1", 100));
  EXPECT_EQ(orphan.timerId("Timer1"), -1);
}

TEST(FormProcedure, BackgroundColorIconAndLookup) {
  WindowSweeper sweep;
  Form f("", 0, 0, 200, 100, kPopup, true, true, false, false, false, nullptr, false);
  sweep(f.window());
  EXPECT_FALSE(f.hasCustomColor());
  SetWindowLongPtrA(f.window(), GWLP_USERDATA, 0);
  EXPECT_EQ(Control::fromWindow(f.window()), nullptr);
  f.backgroundColor = RGB(160, 160, 160);
  EXPECT_TRUE(f.hasCustomColor());
  EXPECT_EQ(static_cast<COLORREF>(f.backgroundColor), 0xA0A0A0u);
  EXPECT_EQ(Control::fromWindow(f.window()), &f);
  HBRUSH brush = f.backgroundBrush();
  LOGBRUSH info;
  ASSERT_EQ(GetObjectA(brush, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.lbColor, 0xA0A0A0u);
  EXPECT_EQ(f.backgroundBrush(), brush);  // one brush per colour
  f.backgroundColor = RGB(1, 2, 3);
  ASSERT_EQ(GetObjectA(f.backgroundBrush(), sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.lbColor, RGB(1, 2, 3));

  // Windows that are not live objects of the layer are never taken for one.
  EXPECT_EQ(Control::fromWindow(nullptr), nullptr);
  HWND plain = sweep(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 5, 5, nullptr,
                                     nullptr, nullptr, nullptr));
  SetWindowLongPtrA(plain, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&f));
  EXPECT_EQ(Control::fromWindow(plain), nullptr);
  HWND gone;
  {
    Form temporary("", 0, 0, 50, 50, kPopup, true, false, false, false, false,
                   nullptr, false);
    gone = sweep(temporary.window());
    temporary.backgroundColor = 0;
    EXPECT_EQ(Control::fromWindow(gone), &temporary);
  }
  EXPECT_TRUE(IsWindow(gone));  // the window outlives its object
  EXPECT_EQ(Control::fromWindow(gone), nullptr);

  Icon icon(3);
  ASSERT_FALSE(icon.empty());
  f.icon = icon;
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(f.window(), WM_GETICON, ICON_BIG, 0)),
            icon.handle());
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(f.window(), WM_GETICON, ICON_SMALL, 0)),
            icon.handle());
  EXPECT_EQ(static_cast<const Icon&>(f.icon).handle(), icon.handle());

  LONG old = f.setExtendedStyle(WS_EX_TOOLWINDOW);
  EXPECT_EQ(old & 0x10010, 0x10010);
  EXPECT_EQ(GetWindowLongA(f.window(), GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | 0x10010),
            WS_EX_TOOLWINDOW);
}

// ------------------------------------------------------------ controls

std::vector<WORD> g_commands;
INT_PTR CALLBACK CommandProc(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) g_commands.push_back(LOWORD(wParam));
  return 0;
}

TEST(Controls, CheckBoxAndButton) {
  InitControlsOnce();
  WindowSweeper sweep;
  Form options("Options", 100, 100, 250, 150, kSmall, true, true, false, false,
               false, nullptr, false);
  sweep(options.window());
  options.procedure = CommandProc;
  g_commands.clear();

  CheckBox box("Save window position on exit", 151, 35, 35, 200, 25, options,
               false, true, true, false);
  HWND b = box.window();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(windowClass(b), "Button");
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(b, GWL_STYLE)), 0x40012003u | WS_VISIBLE);
  EXPECT_EQ(GetDlgCtrlID(b), 151);
  EXPECT_EQ(GetParent(b), options.window());
  EXPECT_EQ(wintest::windowText(b), "Save window position on exit");
  RECT r = OuterInParent(b);
  EXPECT_EQ(r.left, 35);
  EXPECT_EQ(r.top, 35);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.bottom - r.top, 25);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(b, WM_GETFONT, 0, 0)),
            GetStockObject(DEFAULT_GUI_FONT));
  EXPECT_FALSE(box.checked);
  box.checked = true;
  EXPECT_EQ(SendMessageA(b, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(box.checked);
  box.checked = false;
  EXPECT_EQ(SendMessageA(b, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // A click reaches the form's procedure as WM_COMMAND with the identifier.
  SendMessageA(b, BM_CLICK, 0, 0);
  EXPECT_TRUE(pollUntil([] { return !g_commands.empty(); }, 2000));
  ASSERT_FALSE(g_commands.empty());
  EXPECT_EQ(g_commands.back(), 151);
  EXPECT_TRUE(box.checked);  // auto check box

  CheckBox preset("Preset", 152, 0, 60, 100, 20, options, true, false, false, true);
  EXPECT_EQ(SendMessageA(preset.window(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(IsWindowEnabled(preset.window()));
  EXPECT_FALSE(IsWindowVisible(preset.window()));
  RECT area = wintest::clientRect(options.window());
  EXPECT_EQ(OuterInParent(preset.window()).left, (area.right - 100) / 2);

  Button ok("  OK  ", 153, 100, 85, 50, 25, options, true, true, false, false, 0,
            false, nullptr);
  HWND o = ok.window();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(windowClass(o), "Button");
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(o, GWL_STYLE)), 0x40012000u | WS_VISIBLE);
  EXPECT_EQ(GetDlgCtrlID(o), 153);
  EXPECT_EQ(wintest::windowText(o), "  OK  ");
  EXPECT_EQ(Control::fromWindow(o), &ok);
  r = OuterInParent(o);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 85);
  EXPECT_EQ(r.right - r.left, 50);
  g_commands.clear();
  SendMessageA(o, BM_CLICK, 0, 0);
  EXPECT_TRUE(pollUntil([] { return !g_commands.empty(); }, 2000));
  ASSERT_FALSE(g_commands.empty());
  EXPECT_EQ(g_commands.back(), 153);

  Icon icon(4);
  Button iconic("", 154, 0, 0, 40, 40, options, true, true, false, true, 0, true, &icon);
  DWORD style = GetWindowLongA(iconic.window(), GWL_STYLE);
  EXPECT_EQ(style & (BS_DEFPUSHBUTTON | BS_ICON), static_cast<DWORD>(BS_DEFPUSHBUTTON | BS_ICON));
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(iconic.window(), BM_GETIMAGE, IMAGE_ICON, 0)),
            icon.handle());
}

TEST(Controls, ToolbarStylesButtonsAndDocking) {
  InitControlsOnce();
  WindowSweeper sweep;
  Form frame("Corvella", 0, 0, 640, 480, kPopup, true, true, false, false, false,
             nullptr, false);
  sweep(frame.window());
  struct Case {
    bool flat, divider;
    DWORD styleBits;
  } cases[] = {
      {true, false, 0x670 | 0x800},
      {false, false, 0x670},
      {true, true, 0x630 | 0x800},
      {false, true, 0x630},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flat " << c.flat << " divider " << c.divider);
    Toolbar bar(160, frame, 0, 0, true, true, c.flat, c.divider, 0);
    HWND t = sweep(bar.window());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(windowClass(t), "ToolbarWindow32");
    DWORD style = GetWindowLongA(t, GWL_STYLE);
    EXPECT_EQ(style & (0x670 | TBSTYLE_FLAT), c.styleBits);
    EXPECT_EQ(style & (WS_CHILD | WS_TABSTOP | WS_VISIBLE),
              static_cast<DWORD>(WS_CHILD | WS_TABSTOP | WS_VISIBLE));
    EXPECT_EQ(GetDlgCtrlID(t), 160);
    EXPECT_FALSE(bar.textLabels);
    EXPECT_TRUE(bar.wrapable);
    bar.wrapable = false;
    EXPECT_EQ(GetWindowLongA(t, GWL_STYLE) & TBSTYLE_WRAPABLE, 0);
    EXPECT_FALSE(bar.wrapable);
    bar.wrapable = true;
    EXPECT_NE(GetWindowLongA(t, GWL_STYLE) & TBSTYLE_WRAPABLE, 0);
    DestroyWindow(t);
  }

  ImageList images(0);
  ASSERT_EQ(images.addIcon(3), 0);
  ASSERT_EQ(images.addIcon(4), 1);
  Toolbar bar(161, frame, 0, 0, true, true, true, false, 0);
  sweep(bar.window());
  bar.setImageList(images);
  EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageA(bar.window(), TB_GETIMAGELIST, 0, 0)),
            images.handle());
  bar.textLabels = false;
  bar.wrapable = false;
  const char* captions[] = {"Options", "About", "Help", "Exit"};
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(bar.addButton(captions[i], i, 170 + i));
  bar.textLabels = true;
  EXPECT_TRUE(bar.addButton("Labelled", 1, 180));
  EXPECT_EQ(bar.buttonCount(), 5);
  for (int i = 0; i < 5; ++i) {
    TBBUTTON button;
    ZeroMemory(&button, sizeof button);
    ASSERT_TRUE(SendMessageA(bar.window(), TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button)));
    EXPECT_EQ(button.iBitmap, i < 4 ? i : 1);
    EXPECT_EQ(button.idCommand, i < 4 ? 170 + i : 180);
    EXPECT_EQ(button.fsState & TBSTATE_ENABLED, TBSTATE_ENABLED);
    EXPECT_EQ(button.fsStyle, TBSTYLE_BUTTON);
    char text[64] = "";
    LRESULT n = SendMessageA(bar.window(), TB_GETBUTTONTEXTA, button.idCommand,
                             reinterpret_cast<LPARAM>(text));
    if (i < 4) {
      EXPECT_LE(n, 0) << "button " << i << " shows no caption";
    } else {
      EXPECT_STREQ(text, "Labelled");
    }
  }
  // Docked at the top of the frame's client area, across its width.
  RECT r = OuterInParent(bar.window());
  RECT area = wintest::clientRect(frame.window());
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right - r.left, area.right);
  EXPECT_GT(r.bottom, 0);
}

}  // namespace
