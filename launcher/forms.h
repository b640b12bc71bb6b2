// The launcher's global form objects, built during static construction in
// this order: common controls, application, frame and toolbar, About with
// its picture, Options with its check box and button, the icons.
#pragma once

#include "veltro.h"

extern Application application;
extern Form frame;
extern Toolbar toolbar;
extern Form aboutForm;
extern BmpBox aboutBox;
extern Form optionsForm;
extern CheckBox saveCheck;
extern Button okButton;
extern Icon appIcon, optionsIcon, aboutIcon, helpIcon, exitIcon;
extern ImageList toolbarImages;

// Toolbar command identifiers, given out at start-up.
extern int optionsCommand, aboutCommand, helpCommand, exitCommand;

INT_PTR CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam);
INT_PTR CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam);
INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam);
INT_PTR CALLBACK OptionsProc(HWND window, UINT message, WPARAM wParam,
                             LPARAM lParam);

// The whole program after static construction; returns the exit code.
int RunLauncher();
