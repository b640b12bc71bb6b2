// corvella-launcher: everything before WinMain happens in the global form
// objects' construction (forms.cpp).
#include "forms.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunLauncher(); }
