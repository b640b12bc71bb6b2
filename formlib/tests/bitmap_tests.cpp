// Pictures: plain bitmap resources, encoded pictures in custom resources and
// in files, icons, image lists and the picture box.  Decoded pixels are read
// back, so a mirrored, empty or wrongly sized bitmap shows.
#include "veltro.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "wintest.h"

namespace {

COLORREF PixelAt(HBITMAP bitmap, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  COLORREF c = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return c;
}

// JPEG is lossy: a channel is "on" above 200 and "off" below 60.
bool Near(COLORREF c, int r, int g, int b) {
  auto close = [](int have, int want) { return want ? have > 200 : have < 60; };
  return close(GetRValue(c), r) && close(GetGValue(c), g) && close(GetBValue(c), b);
}

// The split pictures are 30 x 40, red on the left half, blue on the right.
void ExpectSplit(const Bitmap& b) {
  ASSERT_FALSE(b.empty());
  EXPECT_EQ(b.width(), 30);
  EXPECT_EQ(b.height(), 40);
  for (int y : {1, 20, 38}) {
    EXPECT_TRUE(Near(PixelAt(b.handle(), 2, y), 255, 0, 0)) << std::hex << PixelAt(b.handle(), 2, y);
    EXPECT_TRUE(Near(PixelAt(b.handle(), 27, y), 0, 0, 255)) << std::hex << PixelAt(b.handle(), 27, y);
  }
}

TEST(Bitmap, ResourceAndFileLoadingRules) {
  struct Case {
    int id;
    const char* type;
    int width, height;  // 0: empty
    COLORREF colour;    // pure colour at the centre, or 0 for the split one
  } cases[] = {
      // A plain bitmap resource wins over an encoded picture of the same id.
      {201, "RT_IMAGE", 12, 8, RGB(0, 255, 0)},
      {201, nullptr, 12, 8, RGB(0, 255, 0)},
      {106, "RT_IMAGE", 30, 40, 0},        // JPEG through the picture loader
      {108, "RT_IMAGE", 30, 40, 0},        // BMP file bytes, same loader
      {106, "OTHER_TYPE", 0, 0, 0},        // wrong type name
      {107, "RT_IMAGE", 0, 0, 0},          // bytes that are no picture
      {999, "RT_IMAGE", 0, 0, 0},          // no such resource
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "id " << c.id << " type " << (c.type ? c.type : "-"));
    Bitmap b(c.id, c.type);
    if (c.width == 0) {
      EXPECT_TRUE(b.empty());
      EXPECT_EQ(b.width(), 0);
      continue;
    }
    if (c.colour == 0) {
      ExpectSplit(b);
    } else {
      ASSERT_FALSE(b.empty());
      EXPECT_EQ(b.width(), c.width);
      EXPECT_EQ(b.height(), c.height);
      EXPECT_EQ(PixelAt(b.handle(), c.width / 2, c.height / 2), c.colour);
    }
  }
  // Reloading replaces the held bitmap; a failed load leaves it empty.
  Bitmap b(106, "RT_IMAGE");
  HBITMAP first = b.handle();
  EXPECT_TRUE(b.loadResource(201, "RT_IMAGE"));
  EXPECT_NE(b.handle(), nullptr);
  EXPECT_EQ(GetObjectA(first, 0, nullptr), 0);  // the old one was freed
  EXPECT_FALSE(b.loadResource(999, "RT_IMAGE"));
  EXPECT_TRUE(b.empty());

  // Picture files go through the same loader.
  std::string dir = wintest::programDir();
  Bitmap jpeg;
  EXPECT_TRUE(jpeg.loadFile((dir + "\\split.jpg").c_str()));
  ExpectSplit(jpeg);
  Bitmap bmp;
  EXPECT_TRUE(bmp.loadFile((dir + "\\split.bmp").c_str()));
  ExpectSplit(bmp);
  // The decoded bitmap stays valid after the picture object is released:
  // draw it somewhere else after the loader is long gone.
  HBITMAP copy = static_cast<HBITMAP>(CopyImage(jpeg.handle(), IMAGE_BITMAP, 0, 0, 0));
  ASSERT_NE(copy, nullptr);
  DeleteObject(copy);

  wintest::ScratchDir scratch("bitmap");
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(wintest::writeFile(scratch.file("empty.jpg"), ""));
  ASSERT_TRUE(wintest::writeFile(scratch.file("text.jpg"), "hello, not a JPEG"));
  std::string truncated;
  ASSERT_TRUE(wintest::readFile(dir + "\\split.jpg", &truncated));
  truncated.resize(20);
  ASSERT_TRUE(wintest::writeFile(scratch.file("cut.jpg"), truncated));
  for (const char* name : {"empty.jpg", "text.jpg", "cut.jpg", "missing.jpg"}) {
    SCOPED_TRACE(name);
    Bitmap b;
    EXPECT_FALSE(b.loadFile(scratch.file(name).c_str()));
    EXPECT_TRUE(b.empty());
  }
  Bitmap none;
  EXPECT_FALSE(none.loadFile(nullptr));
  EXPECT_EQ(VeltroDecodePicture(nullptr, 10), nullptr);
  EXPECT_EQ(VeltroDecodePicture("x", 0), nullptr);
}

TEST(IconsAndLists, IconLoadAndImageListSizes) {
  InitControlsOnce();
  Icon icon;
  EXPECT_TRUE(icon.empty());
  EXPECT_TRUE(icon.load(3));
  EXPECT_NE(icon.handle(), nullptr);
  EXPECT_FALSE(icon.load(12345));
  EXPECT_TRUE(icon.empty());

  struct Case {
    int mode, size;
  } cases[] = {
      {0, GetSystemMetrics(SM_CXSMICON)},
      {1, 24},
      {2, GetSystemMetrics(SM_CXICON)},
      {-1, GetSystemMetrics(SM_CXICON)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ImageList list(c.mode);
    ASSERT_NE(list.handle(), nullptr);
    int w = 0, h = 0;
    ASSERT_TRUE(ImageList_GetIconSize(list.handle(), &w, &h));
    EXPECT_EQ(w, c.size);
    EXPECT_EQ(h, c.size);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.addIcon(3), 0);
    EXPECT_EQ(list.addIcon(4), 1);
    EXPECT_EQ(list.addIcon(12345), -1);  // no such icon: nothing appended
    EXPECT_EQ(list.count(), 2);
  }
}

TEST(IconsAndLists, BmpBoxShowsItsOwnCopy) {
  InitControlsOnce();
  WindowSweeper sweep;
  Form about("About", 100, 100, 300, 425, WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
             true, true, false, false, false, nullptr, false);
  sweep(about.window());
  HBITMAP shown;
  {
    Bitmap picture(106, "RT_IMAGE");
    ASSERT_FALSE(picture.empty());
    BmpBox box(155, 0, 0, 300, 400, about, picture, true, WS_EX_CLIENTEDGE);
    HWND w = box.window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(wintest::windowClass(w), "Static");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)), 0x40010B0Eu | WS_VISIBLE);
    EXPECT_EQ(GetDlgCtrlID(w), 155);
    EXPECT_EQ(GetClassLongA(w, GCL_STYLE), static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_NE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_NE(box.setExtendedStyle(0) & WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    shown = reinterpret_cast<HBITMAP>(SendMessageA(w, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown, box.bitmap());
    EXPECT_NE(shown, picture.handle());
    picture.reset();  // the caller's bitmap goes; the box's copy stays
    BITMAP info;
    ASSERT_EQ(GetObjectA(shown, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 30);
    EXPECT_EQ(info.bmHeight, 40);
    EXPECT_TRUE(Near(PixelAt(shown, 27, 20), 0, 0, 255));

    // An empty Bitmap shows nothing.
    Bitmap none;
    BmpBox blank(156, 0, 0, 10, 10, about, none, false);
    EXPECT_EQ(SendMessageA(blank.window(), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    EXPECT_FALSE(IsWindowVisible(blank.window()));
  }
  EXPECT_EQ(GetObjectA(shown, 0, nullptr), 0);  // freed with the box
}

}  // namespace
