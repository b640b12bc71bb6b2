// Global form objects and the Options and About windows.
#include "forms.h"

#include "state.h"

namespace {
// The common controls must be initialised before the toolbar is built, so
// this object comes first.
struct CommonControls {
  CommonControls() {
    INITCOMMONCONTROLSEX init;
    init.dwSize = sizeof init;  // 8
    init.dwICC = 0x3FFF;        // every control class
    InitCommonControlsEx(&init);
  }
} commonControls;

// About and Options: caption, system menu, modal frame (0xC80080).
const DWORD kSmallWindowStyle = WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
}  // namespace

Application application;

Form frame(FRAME_CAPTION, 100, 100, 400, 300, WS_OVERLAPPEDWINDOW,
           /*enabled*/ true, /*visible*/ true, /*maximized*/ false,
           /*minimized*/ false, /*centered*/ true, nullptr, /*child*/ false);
Toolbar toolbar(++nextControlId, frame, 0, 0, /*enabled*/ true,
                /*visible*/ true, /*flat*/ true, /*divider*/ false);

Form aboutForm("About", 100, 100, 300, 425, kSmallWindowStyle, true, false,
               false, false, true, frame, false);
static Bitmap aboutPicture(kAboutPicture, ABOUT_PICTURE_TYPE);
BmpBox aboutBox(++nextControlId, 0, 0, kAboutPictureWidth, kAboutPictureHeight,
                aboutForm, aboutPicture, /*visible*/ true);

Form optionsForm("Options", 100, 100, 250, 150, kSmallWindowStyle, true, false,
                 false, false, true, frame, false);
CheckBox saveCheck("Save window position on exit", ++nextControlId, 35, 35, 200,
                   25, optionsForm, /*checked*/ false, /*enabled*/ true,
                   /*visible*/ true, /*centered*/ false);
Button okButton("  OK  ", ++nextControlId, 100, 85, 50, 25, optionsForm,
                /*enabled*/ true, /*visible*/ true, /*centered*/ false,
                /*default*/ false);

Icon appIcon(kIconApp), optionsIcon(kIconOptions), aboutIcon(kIconAbout),
    helpIcon(kIconHelp), exitIcon(kIconExit);
ImageList toolbarImages(0);

int optionsCommand, aboutCommand, helpCommand, exitCommand;

// ---- About ----------------------------------------------------------------

INT_PTR CALLBACK AboutProc(HWND, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) aboutForm.hide();
  return 0;
}

// ---- Options --------------------------------------------------------------

static void OnSaveCheckClicked() {
  // The box always shows the flag's new value, whatever the click did.
  saveOnExit = saveOnExit == 1 ? 0 : 1;
  saveCheck.checked = saveOnExit == 1;
}

static void OnOptionsOk() {
  SaveSettings();  // whatever the option's value
  optionsForm.hide();
}

INT_PTR CALLBACK OptionsProc(HWND, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == saveCheck.identifier())
        OnSaveCheckClicked();
      else if (LOWORD(wParam) == okButton.identifier())
        OnOptionsOk();
      break;
    case WM_CLOSE:
      optionsForm.hide();
      break;
  }
  return 0;
}
