#include "dialog/service_control_client.h"

#include "dialog/dialog_texts.h"

namespace {

constexpr std::uint32_t kControlStop = 1;
constexpr std::uint32_t kControlPause = 2;
constexpr std::uint32_t kControlContinue = 3;

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorDatabaseDoesNotExist = 1065;

// OSVERSIONINFOA's own size: the system rejects the record without it.
constexpr std::uint32_t kVersionInfoSize = 148;
constexpr std::uint32_t kPlatformWin32Windows = 1;

struct TRefusal {
  std::uint32_t code;
  const char* text;
};

const TRefusal kRefusals[] = {
    {3, kRefusedFileNotFound},
    {5, kRefusedAccessDenied},
    {6, kRefusedInvalidHandle},
    {1051, kRefusedDependentServices},
    {1052, kRefusedInvalidControl},
    {1053, kRefusedRequestTimeout},
    {1054, kRefusedNoThread},
    {1055, kRefusedDatabaseLocked},
    {1056, kRefusedAlreadyRunning},
    {1058, kRefusedDisabled},
    {1061, kRefusedCannotAcceptControl},
    {1062, kRefusedNotActive},
    {1068, kRefusedDependencyFailed},
    {1069, kRefusedLogonFailed},
    {1072, kRefusedMarkedForDelete},
    {1075, kRefusedDependencyMissing},
};

}  // namespace

TServiceControlClient::TServiceControlClient(TServiceManager& manager, TInformationBox showInformation)
    : FSystem(manager), FShowInformation(std::move(showInformation)) {}

TServiceControlClient::~TServiceControlClient() {
  if (FManager != 0) FSystem.CloseServiceHandle(FManager);
}

bool TServiceControlClient::OpenServiceManager() {
  if (FManager != 0) return true;
  FManager = FSystem.OpenSCManagerA(nullptr, nullptr, kManagerAllAccess);
  if (FManager != 0) return true;
  FManagerError = FSystem.GetLastError();
  FDetailsText = DescribeManagerError(FManagerError);
  return false;
}

// The call goes out even on a null handle: the manager then refuses it with
// code 6, the one answer the dialog gives for a service it cannot reach,
// whatever kept the open from succeeding. The error is taken before the
// close, which may overwrite it.
template <typename TCall>
TServiceResult TServiceControlClient::OnService(std::uint32_t access, TCall call) {
  TScHandle service = FSystem.OpenServiceA(FManager, FServiceName.c_str(), access);
  TServiceResult result{true, 0};
  if (!call(service)) result = {false, FSystem.GetLastError()};
  if (service != 0) FSystem.CloseServiceHandle(service);
  return result;
}

TServiceResult TServiceControlClient::Control(std::uint32_t access, std::uint32_t control) {
  return OnService(access, [&](TScHandle service) { return FSystem.ControlService(service, control, &FStatus); });
}

TServiceResult TServiceControlClient::StartServer() {
  return OnService(kServiceAllAccess, [&](TScHandle service) { return FSystem.StartServiceA(service, 0, nullptr); });
}

TServiceResult TServiceControlClient::PauseServer() { return Control(kServiceAllAccess, kControlPause); }

TServiceResult TServiceControlClient::ContinueServer() { return Control(kServiceAllAccess, kControlContinue); }

TServiceResult TServiceControlClient::StopServer() { return Control(kServiceAllAccess, kControlStop); }

TServiceResult TServiceControlClient::NotifyServer() { return Control(kServiceUserDefinedControl, kReloadControl); }

TServiceResult TServiceControlClient::QueryServerStatus() {
  return OnService(kServiceQueryStatus, [&](TScHandle service) { return FSystem.QueryServiceStatus(service, &FStatus); });
}

TServerStatus TServiceControlClient::ServerStatusText() {
  TServiceResult queried = QueryServerStatus();
  if (!queried.success) {
    switch (queried.error) {
      case kErrorAccessDenied: return {kStatusAccessDenied, TButtonState::Pending};
      case kErrorInvalidHandle: return {kStatusNotInstalled, TButtonState::Pending};
      default: return {kUnknownError, TButtonState::Pending};
    }
  }
  switch (FStatus.dwCurrentState) {
    case 1: return {kStatusStopped, TButtonState::Stopped};
    case 2: return {kStatusStartPending, TButtonState::Pending};
    case 3: return {kStatusStopPending, TButtonState::Pending};
    case 4: return {kStatusRunning, TButtonState::Running};
    case 5: return {kStatusContinuePending, TButtonState::Pending};
    case 6: return {kStatusPausePending, TButtonState::Pending};
    case 7: return {kStatusPaused, TButtonState::Paused};
    default: return {kStatusUnknown, TButtonState::Pending};
  }
}

std::string TServiceControlClient::DescribeManagerError(std::uint32_t code) {
  switch (code) {
    case kErrorAccessDenied: return kManagerAccessDenied;
    case kErrorInvalidParameter: return kManagerInvalidParameter;
    case kErrorDatabaseDoesNotExist: return kManagerDatabaseMissing;
    default: return IsWindows9x() ? kManagerNotSupported : kUnknownError;
  }
}

void TServiceControlClient::ReportCommandFailure(std::uint32_t code) {
  for (const TRefusal& refusal : kRefusals) {
    if (refusal.code != code) continue;
    if (FShowInformation) FShowInformation(std::string(kCommandRefused) + "\n" + refusal.text);
    return;
  }
}

bool TServiceControlClient::IsWindows9x() {
  TOsVersionInfo info{};
  info.dwOSVersionInfoSize = kVersionInfoSize;
  return FSystem.GetVersionExA(&info) && info.dwPlatformId == kPlatformWin32Windows;
}
