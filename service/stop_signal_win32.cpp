#include <windows.h>

#include "service/stop_signal.h"

namespace {
HANDLE gStopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
    SetEvent(gStopEvent);
    return TRUE;
  }
  return FALSE;
}
}  // namespace

void PrepareStopSignal() {
  gStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void WaitForStopSignal() { WaitForSingleObject(gStopEvent, INFINITE); }
