#include <windows.h>

#include <cstring>

#include "dialog/service_manager.h"

namespace {

static_assert(sizeof(TScHandle) == sizeof(SC_HANDLE), "a handle must survive the round trip through TScHandle");
static_assert(sizeof(TServiceStatus) == sizeof(SERVICE_STATUS), "TServiceStatus mirrors SERVICE_STATUS");
static_assert(sizeof(TOsVersionInfo) == sizeof(OSVERSIONINFOA), "TOsVersionInfo mirrors OSVERSIONINFOA");

SC_HANDLE ToSystem(TScHandle handle) { return reinterpret_cast<SC_HANDLE>(handle); }
TScHandle FromSystem(SC_HANDLE handle) { return reinterpret_cast<TScHandle>(handle); }

// Copied in and back out whole, so that the caller's record ends as if the
// system had written into it directly, whatever the call left untouched.
SERVICE_STATUS SystemStatus(const TServiceStatus& from) {
  SERVICE_STATUS to{};
  to.dwServiceType = from.dwServiceType;
  to.dwCurrentState = from.dwCurrentState;
  to.dwControlsAccepted = from.dwControlsAccepted;
  to.dwWin32ExitCode = from.dwWin32ExitCode;
  to.dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
  to.dwCheckPoint = from.dwCheckPoint;
  to.dwWaitHint = from.dwWaitHint;
  return to;
}

void CopyStatus(const SERVICE_STATUS& from, TServiceStatus* to) {
  to->dwServiceType = from.dwServiceType;
  to->dwCurrentState = from.dwCurrentState;
  to->dwControlsAccepted = from.dwControlsAccepted;
  to->dwWin32ExitCode = from.dwWin32ExitCode;
  to->dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
  to->dwCheckPoint = from.dwCheckPoint;
  to->dwWaitHint = from.dwWaitHint;
}

class TWin32ServiceManager : public TServiceManager {
 public:
  TScHandle OpenSCManagerA(const char* machineName, const char* databaseName, std::uint32_t desiredAccess) override {
    return FromSystem(::OpenSCManagerA(machineName, databaseName, desiredAccess));
  }

  TScHandle OpenServiceA(TScHandle manager, const char* serviceName, std::uint32_t desiredAccess) override {
    return FromSystem(::OpenServiceA(ToSystem(manager), serviceName, desiredAccess));
  }

  bool StartServiceA(TScHandle service, std::uint32_t argumentCount, const char** arguments) override {
    return ::StartServiceA(ToSystem(service), argumentCount, arguments) != FALSE;
  }

  // The system fills the record on success and on some refusals (1052,
  // 1061, 1062) alike.
  bool ControlService(TScHandle service, std::uint32_t control, TServiceStatus* status) override {
    SERVICE_STATUS system = SystemStatus(*status);
    BOOL ok = ::ControlService(ToSystem(service), control, &system);
    CopyStatus(system, status);
    return ok != FALSE;
  }

  bool QueryServiceStatus(TScHandle service, TServiceStatus* status) override {
    SERVICE_STATUS system = SystemStatus(*status);
    BOOL ok = ::QueryServiceStatus(ToSystem(service), &system);
    CopyStatus(system, status);
    return ok != FALSE;
  }

  bool CloseServiceHandle(TScHandle handle) override { return ::CloseServiceHandle(ToSystem(handle)) != FALSE; }

  std::uint32_t GetLastError() override { return ::GetLastError(); }

  // The extended record is the larger one the system may write for some
  // size field: whatever the caller put there, nothing writes past it.
  bool GetVersionExA(TOsVersionInfo* info) override {
    OSVERSIONINFOEXA system{};
    system.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&system))) return false;
    info->dwMajorVersion = system.dwMajorVersion;
    info->dwMinorVersion = system.dwMinorVersion;
    info->dwBuildNumber = system.dwBuildNumber;
    info->dwPlatformId = system.dwPlatformId;
    std::memcpy(info->szCSDVersion, system.szCSDVersion, sizeof info->szCSDVersion);
    return true;
  }
};

}  // namespace

TServiceManager& TServiceManager::Platform() {
  static TWin32ServiceManager manager;
  return manager;
}
