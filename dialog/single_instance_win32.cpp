#include <windows.h>

#include "dialog/dialog_texts.h"
#include "dialog/single_instance.h"

bool CheckSingleInstance(TApplication& application, const std::string& title, const std::string& mutexName) {
  // The handle is kept for the life of the process on purpose: the mutex
  // marks this instance until it ends.
  CreateMutexA(nullptr, FALSE, mutexName.c_str());
  if (GetLastError() == 0) return true;
  // Renamed first, so that the search below cannot find this process's own
  // application window.
  application.SetTitle(kSearchingTitle);
  HWND first = FindWindowA("TApplication", title.c_str());
  if (IsIconic(first)) ShowWindow(first, SW_SHOWDEFAULT);
  SetForegroundWindow(first);
  return false;
}
