#include "doubles/service_manager_double.h"

#include <cstring>

namespace {

constexpr char kServiceName[] = "VeltaService";

enum : std::uint32_t {
  kStopped = 1,
  kStartPending = 2,
  kStopPending = 3,
  kRunning = 4,
  kContinuePending = 5,
  kPausePending = 6,
  kPaused = 7,
};

enum : std::uint32_t {
  kControlStop = 1,
  kControlPause = 2,
  kControlContinue = 3,
  kControlInterrogate = 4,
  kFirstUserControl = 128,
  kLastUserControl = 255,
};

enum : std::uint32_t {
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorInvalidParameter = 87,
  kErrorInsufficientBuffer = 122,
  kErrorInvalidServiceControl = 1052,
  kErrorServiceAlreadyRunning = 1056,
  kErrorServiceDisabled = 1058,
  kErrorServiceDoesNotExist = 1060,
  kErrorServiceCannotAcceptControl = 1061,
  kErrorServiceNotActive = 1062,
};

constexpr std::uint32_t kOwnProcess = 0x10;
// GetVersionExA takes the plain record or the extended one, nothing else.
constexpr std::uint32_t kVersionInfoSize = 148;
constexpr std::uint32_t kVersionInfoExSize = 156;

bool IsPending(std::uint32_t state) {
  return state == kStartPending || state == kStopPending || state == kContinuePending || state == kPausePending;
}

}  // namespace

std::vector<TServiceManagerDouble::TOpen> TServiceManagerDouble::ServiceOpens() const {
  std::vector<TOpen> opens;
  for (const TOpen& open : Opens) {
    if (!open.manager) opens.push_back(open);
  }
  return opens;
}

void TServiceManagerDouble::Settle() {
  switch (State) {
    case kStartPending: State = kRunning; break;
    case kStopPending: State = kStopped; break;
    case kContinuePending: State = kRunning; break;
    case kPausePending: State = kPaused; break;
    default: break;
  }
}

bool TServiceManagerDouble::Fail(std::uint32_t code) {
  FLastError = code;
  return false;
}

bool TServiceManagerDouble::Succeed() {
  FLastError = 0;
  return true;
}

bool TServiceManagerDouble::Valid(TScHandle handle, bool manager) {
  auto found = FHandles.find(handle);
  if (found == FHandles.end() || found->second.manager != manager) return Fail(kErrorInvalidHandle);
  return true;
}

bool TServiceManagerDouble::Allowed(TScHandle service, std::uint32_t right) {
  if ((FHandles.at(service).access & right) != right) return Fail(kErrorAccessDenied);
  return true;
}

void TServiceManagerDouble::Fill(TServiceStatus* status) const {
  *status = TServiceStatus{};
  status->dwServiceType = kOwnProcess;
  status->dwCurrentState = State;
}

TScHandle TServiceManagerDouble::OpenSCManagerA(const char*, const char*, std::uint32_t desiredAccess) {
  TOpen open{0, true, "", desiredAccess};
  if (ManagerOpenError != 0) {
    Opens.push_back(open);
    Fail(ManagerOpenError);
    return 0;
  }
  open.handle = FNextHandle++;
  FHandles[open.handle] = {true, desiredAccess};
  Opens.push_back(open);
  Succeed();
  return open.handle;
}

TScHandle TServiceManagerDouble::OpenServiceA(TScHandle manager, const char* serviceName, std::uint32_t desiredAccess) {
  TOpen open{0, false, serviceName != nullptr ? serviceName : "", desiredAccess};
  Opens.push_back(open);
  if (!Valid(manager, true)) return 0;
  if (serviceName == nullptr) {
    Fail(kErrorInvalidParameter);
    return 0;
  }
  if (ServiceOpenError != 0) {
    Fail(ServiceOpenError);
    return 0;
  }
  if (!Installed || std::strcmp(serviceName, kServiceName) != 0) {
    Fail(kErrorServiceDoesNotExist);
    return 0;
  }
  TScHandle handle = FNextHandle++;
  FHandles[handle] = {false, desiredAccess};
  Opens.back().handle = handle;
  Succeed();
  return handle;
}

bool TServiceManagerDouble::StartServiceA(TScHandle service, std::uint32_t, const char**) {
  if (!Valid(service, false) || !Allowed(service, kStart)) return false;
  if (CallError != 0) return Fail(CallError);
  if (Disabled) return Fail(kErrorServiceDisabled);
  if (State != kStopped) return Fail(kErrorServiceAlreadyRunning);
  State = kStartPending;
  return Succeed();
}

bool TServiceManagerDouble::ControlService(TScHandle service, std::uint32_t control, TServiceStatus* status) {
  if (!Valid(service, false)) return false;
  std::uint32_t right = 0;
  switch (control) {
    case kControlStop: right = kStop; break;
    case kControlPause:
    case kControlContinue: right = kPauseContinue; break;
    case kControlInterrogate: right = kInterrogate; break;
    default:
      if (control < kFirstUserControl || control > kLastUserControl) return Fail(kErrorInvalidParameter);
      right = kUserDefinedControl;
  }
  if (!Allowed(service, right)) return false;
  if (CallError != 0) return Fail(CallError);
  Fill(status);
  if (State == kStopped) return Fail(kErrorServiceNotActive);
  if (State == kStartPending && control == kControlStop) return Fail(kErrorInvalidServiceControl);
  if (IsPending(State)) return Fail(kErrorServiceCannotAcceptControl);
  if (control == kControlStop) {
    State = kStopPending;
  } else if (control == kControlPause && State == kRunning) {
    State = kPausePending;
  } else if (control == kControlContinue && State == kPaused) {
    State = kContinuePending;
  } else if (control >= kFirstUserControl) {
    UserControls.push_back(control);
  }
  Fill(status);
  return Succeed();
}

bool TServiceManagerDouble::QueryServiceStatus(TScHandle service, TServiceStatus* status) {
  if (!Valid(service, false) || !Allowed(service, kQueryStatus)) return false;
  if (CallError != 0) return Fail(CallError);
  Fill(status);
  return Succeed();
}

bool TServiceManagerDouble::CloseServiceHandle(TScHandle handle) {
  Closes.push_back(handle);
  if (FHandles.erase(handle) == 0) return Fail(kErrorInvalidHandle);
  return Succeed();
}

bool TServiceManagerDouble::GetVersionExA(TOsVersionInfo* info) {
  ++VersionQueries;
  if (info->dwOSVersionInfoSize != kVersionInfoSize && info->dwOSVersionInfoSize != kVersionInfoExSize) {
    return Fail(kErrorInsufficientBuffer);
  }
  if (VersionUnavailable) return Fail(kErrorInvalidParameter);
  info->dwMajorVersion = PlatformId == 1 ? 4 : 10;
  info->dwMinorVersion = PlatformId == 1 ? 10 : 0;
  info->dwBuildNumber = PlatformId == 1 ? 2222 : 19045;
  info->dwPlatformId = PlatformId;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  return Succeed();
}
