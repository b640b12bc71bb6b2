// The launcher's resources, linked into this test program, loaded the way
// the launcher loads them.
#include <gtest/gtest.h>
#include <windows.h>

#include "state.h"
#include "veltro.h"

namespace {

TEST(Resources, AboutPictureDecodesTo300x400) {
  // Not a bitmap resource: decoded by the system picture loader.
  EXPECT_EQ(NULL, LoadBitmapA(GetModuleHandleA(NULL),
                              MAKEINTRESOURCEA(kAboutPicture)));
  Bitmap picture(kAboutPicture, ABOUT_PICTURE_TYPE);
  ASSERT_FALSE(picture.empty());
  EXPECT_EQ(kAboutPictureWidth, picture.width());
  EXPECT_EQ(kAboutPictureHeight, picture.height());

  // The About window's picture box holds a bitmap of that size.
  HWND host = CreateWindowExA(0, "#32770", "About", WS_POPUP, 0, 0, 300, 425,
                              NULL, NULL, NULL, NULL);
  {
    BmpBox box(152, 0, 0, 300, 400, host, picture, true);
    HBITMAP shown = (HBITMAP)SendMessageA(box.window(), STM_GETIMAGE,
                                          IMAGE_BITMAP, 0);
    ASSERT_TRUE(shown);
    BITMAP info;
    ASSERT_EQ((int)sizeof info, GetObjectA(shown, sizeof info, &info));
    EXPECT_EQ(300, info.bmWidth);
    EXPECT_EQ(400, info.bmHeight);
  }
  DestroyWindow(host);
}

TEST(Resources, AboutPictureIsAJfifJpeg) {
  HMODULE module = GetModuleHandleA(NULL);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(kAboutPicture),
                              ABOUT_PICTURE_TYPE);
  ASSERT_TRUE(found);
  DWORD size = SizeofResource(module, found);
  const unsigned char* data =
      (const unsigned char*)LockResource(LoadResource(module, found));
  ASSERT_TRUE(data);
  ASSERT_GT(size, 20u);
  EXPECT_EQ(0xFF, data[0]);
  EXPECT_EQ(0xD8, data[1]);
  EXPECT_EQ(0, memcmp(data + 6, "JFIF", 5));
}

TEST(Resources, IconsTwoToSixHave16And32PixelImages) {
  HMODULE module = GetModuleHandleA(NULL);
  for (int id = kIconApp; id <= kIconExit; ++id) {
    for (int size : {16, 32}) {
      SCOPED_TRACE(id * 100 + size);
      HICON icon = (HICON)LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                     size, size, 0);
      ASSERT_TRUE(icon);
      ICONINFO info;
      ASSERT_TRUE(GetIconInfo(icon, &info));
      BITMAP mask;
      GetObjectA(info.hbmMask, sizeof mask, &mask);
      EXPECT_EQ(size, mask.bmWidth);
      if (info.hbmColor) DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
      DestroyIcon(icon);
    }
    Icon icon(id);
    EXPECT_FALSE(icon.empty());
  }
  // The toolbar's image list takes icons 3 to 6 as images 0 to 3.
  ImageList list(0);
  for (int id = kIconOptions; id <= kIconExit; ++id)
    EXPECT_EQ(id - kIconOptions, list.addIcon(id));
  EXPECT_EQ(4, list.count());
}

}  // namespace
