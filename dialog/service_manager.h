#pragma once

#include <cstdint>

// The service control manager as the dialog uses it: the advapi32 calls
// behind its buttons and status line, plus the kernel32 calls it needs to
// read their results and to tell the platform family. Names, arguments and
// results follow the Win32 functions one for one, so that the client reads
// like the system calls it makes; tests put a double in their place.

// A manager or service handle; 0 is the null handle.
using TScHandle = std::uintptr_t;

// SERVICE_STATUS, field for field.
struct TServiceStatus {
  std::uint32_t dwServiceType;
  std::uint32_t dwCurrentState;
  std::uint32_t dwControlsAccepted;
  std::uint32_t dwWin32ExitCode;
  std::uint32_t dwServiceSpecificExitCode;
  std::uint32_t dwCheckPoint;
  std::uint32_t dwWaitHint;
};

// OSVERSIONINFOA, field for field: the caller sets the size field, as the
// system requires.
struct TOsVersionInfo {
  std::uint32_t dwOSVersionInfoSize;
  std::uint32_t dwMajorVersion;
  std::uint32_t dwMinorVersion;
  std::uint32_t dwBuildNumber;
  std::uint32_t dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(TOsVersionInfo) == 148, "the size the system expects in dwOSVersionInfoSize");

class TServiceManager {
 public:
  virtual ~TServiceManager() = default;

  virtual TScHandle OpenSCManagerA(const char* machineName, const char* databaseName, std::uint32_t desiredAccess) = 0;
  virtual TScHandle OpenServiceA(TScHandle manager, const char* serviceName, std::uint32_t desiredAccess) = 0;
  virtual bool StartServiceA(TScHandle service, std::uint32_t argumentCount, const char** arguments) = 0;
  virtual bool ControlService(TScHandle service, std::uint32_t control, TServiceStatus* status) = 0;
  virtual bool QueryServiceStatus(TScHandle service, TServiceStatus* status) = 0;
  virtual bool CloseServiceHandle(TScHandle handle) = 0;
  // The calling thread's last error, as the failed call above left it.
  virtual std::uint32_t GetLastError() = 0;
  virtual bool GetVersionExA(TOsVersionInfo* info) = 0;

#ifdef _WIN32
  // The system's own service manager. There is none on POSIX, where only
  // the tests' double exists.
  static TServiceManager& Platform();
#endif
};
