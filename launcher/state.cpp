#include "state.h"

HWND frameWindow = NULL;
HWND panelWindow = NULL;
HWND toolboxWindow = NULL;
HWND toolOptionsWindow = NULL;
RECT toolboxRect = {0, 0, 0, 0};
RECT toolOptionsRect = {0, 0, 0, 0};
DWORD editorProcessId = 0;
int toolOptionsFound = 0;
int toolsShown = 0;
int dialogBusy = 0;
int screenWidth = 0;
int screenHeight = 0;
int dialogOffset = kDialogOffsetOther;
int saveOnExit = 0;
int toolboxX = kDefaultToolboxX;
int toolboxY = kDefaultToolboxY;
int toolOptionsX = kDefaultToolOptionsX;
int toolOptionsY = kDefaultToolOptionsY;
int nextControlId = kFirstControlId;
unsigned tickNumber = 0;

int DialogOffsetFor(DWORD major, DWORD minor) {
  return (major == 5 && minor != 0) ? kDialogOffsetXp : kDialogOffsetOther;
}

static void SetNumber(const char* property, unsigned number) {
  if (frameWindow)
    SetPropA(frameWindow, property, (HANDLE)(UINT_PTR)number);
}

void CountTick() { SetNumber(TICK_PROPERTY, ++tickNumber); }

void RecordAdoption() { SetNumber(ADOPTION_TICK_PROPERTY, tickNumber); }

void ForgetTicks() {
  if (!frameWindow) return;
  RemovePropA(frameWindow, TICK_PROPERTY);
  RemovePropA(frameWindow, ADOPTION_TICK_PROPERTY);
}

bool PumpMessages(unsigned most) {
  MSG msg;
  for (unsigned taken = 0; taken < most; ++taken) {
    if (!PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) break;
    if (msg.message == WM_QUIT) {
      PostQuitMessage((int)msg.wParam);
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

bool WaitAndPump(DWORD timeoutMs, HANDLE object) {
  DWORD count = object ? 1 : 0;
  MsgWaitForMultipleObjects(count, object ? &object : NULL, FALSE, timeoutMs,
                            QS_ALLINPUT);
  return PumpMessages();
}
