#pragma once

#include <windows.h>

// Closes a service manager or service handle on every way out.
class TScHandle {
 public:
  explicit TScHandle(SC_HANDLE handle = nullptr) : FHandle(handle) {}
  ~TScHandle() {
    if (FHandle != nullptr) CloseServiceHandle(FHandle);
  }
  TScHandle(const TScHandle&) = delete;
  TScHandle& operator=(const TScHandle&) = delete;
  SC_HANDLE Get() const { return FHandle; }
  void Reset(SC_HANDLE handle) {
    if (FHandle != nullptr) CloseServiceHandle(FHandle);
    FHandle = handle;
  }
  explicit operator bool() const { return FHandle != nullptr; }

 private:
  SC_HANDLE FHandle;
};
