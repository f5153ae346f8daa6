#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dialog/service_manager.h"

// The service manager of one machine with at most one service,
// VeltaService, answering as the system's manager does (the codes are the
// ones seen from Wine's): a service that is not installed cannot be opened
// (1060); a handle that is null, closed or of the wrong kind is refused
// with 6; a handle opened without the right a call needs is refused with 5;
// a start while the service is not stopped gives 1056, of a disabled
// service 1058; a control to a stopped service 1062, while a state is in
// motion 1061 (a stop during a start: 1052). Starts and controls move the
// service into the pending state they cause; Settle() completes it.
//
// Every successful call clears the last error, as many system calls do: a
// caller who reads it one call late reads 0.
class TServiceManagerDouble : public TServiceManager {
 public:
  // Access rights the calls need, as the system numbers them.
  static constexpr std::uint32_t kQueryStatus = 0x0004;
  static constexpr std::uint32_t kStart = 0x0010;
  static constexpr std::uint32_t kStop = 0x0020;
  static constexpr std::uint32_t kPauseContinue = 0x0040;
  static constexpr std::uint32_t kInterrogate = 0x0080;
  static constexpr std::uint32_t kUserDefinedControl = 0x0100;

  // The scenario, set by the test before the calls.
  bool Installed = true;
  // dwCurrentState as the manager reports it: 1 to 7, or any other number.
  std::uint32_t State = 1;
  bool Disabled = false;
  // Non-zero: OpenSCManagerA fails with this code.
  std::uint32_t ManagerOpenError = 0;
  // Non-zero: OpenServiceA fails with this code even for an installed service.
  std::uint32_t ServiceOpenError = 0;
  // Non-zero: every start, control and query on a good handle fails with it.
  std::uint32_t CallError = 0;
  // dwPlatformId: 1 for Windows 95/98/Me, 2 for the NT family.
  std::uint32_t PlatformId = 2;
  bool VersionUnavailable = false;

  // What the caller did. Opens holds failed opens too (handle 0); Closes
  // every handle given to CloseServiceHandle, valid or not.
  struct TOpen {
    TScHandle handle;
    bool manager;
    std::string serviceName;
    std::uint32_t access;
  };
  std::vector<TOpen> Opens;
  std::vector<TScHandle> Closes;
  std::vector<std::uint32_t> UserControls;
  int VersionQueries = 0;

  std::vector<TOpen> ServiceOpens() const;
  std::size_t OpenHandleCount() const { return FHandles.size(); }
  // A pending state reaches the state it leads to.
  void Settle();

  TScHandle OpenSCManagerA(const char* machineName, const char* databaseName, std::uint32_t desiredAccess) override;
  TScHandle OpenServiceA(TScHandle manager, const char* serviceName, std::uint32_t desiredAccess) override;
  bool StartServiceA(TScHandle service, std::uint32_t argumentCount, const char** arguments) override;
  bool ControlService(TScHandle service, std::uint32_t control, TServiceStatus* status) override;
  bool QueryServiceStatus(TScHandle service, TServiceStatus* status) override;
  bool CloseServiceHandle(TScHandle handle) override;
  std::uint32_t GetLastError() override { return FLastError; }
  bool GetVersionExA(TOsVersionInfo* info) override;

 private:
  struct THandle {
    bool manager;
    std::uint32_t access;
  };

  bool Fail(std::uint32_t code);
  bool Succeed();
  // Refuses (6) a handle that is not an open one of the given kind.
  bool Valid(TScHandle handle, bool manager);
  bool Allowed(TScHandle service, std::uint32_t right);
  void Fill(TServiceStatus* status) const;

  std::map<TScHandle, THandle> FHandles;
  TScHandle FNextHandle = 0x1000;
  std::uint32_t FLastError = 0;
};
