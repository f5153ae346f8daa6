#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dialog/button_state.h"
#include "dialog/service_manager.h"

// What one service operation came to: on failure, the manager's error code.
struct TServiceResult {
  bool success;
  std::uint32_t error;
};

struct TServerStatus {
  std::string text;
  TButtonState buttons;
};

// The dialog's hold on the service VeltaService through the service
// manager. It raises no exceptions and works on the caller's thread: every
// answer is the manager's, passed on as it came.
class TServiceControlClient {
 public:
  // Shows a modal information box with one OK button; the form binds it to
  // the GUI toolkit. The text is in Windows-1250.
  using TInformationBox = std::function<void(const std::string& text)>;

  static constexpr std::uint32_t kManagerAllAccess = 0xF003F;
  static constexpr std::uint32_t kServiceAllAccess = 0xF01FF;
  static constexpr std::uint32_t kServiceQueryStatus = 0x0004;
  static constexpr std::uint32_t kServiceUserDefinedControl = 0x0100;
  // The user control that makes the service read its configuration again.
  static constexpr std::uint32_t kReloadControl = 200;

  TServiceControlClient(TServiceManager& manager, TInformationBox showInformation);
  ~TServiceControlClient();
  TServiceControlClient(const TServiceControlClient&) = delete;
  TServiceControlClient& operator=(const TServiceControlClient&) = delete;

  // Connects to the local service manager. On failure keeps the error code
  // and its description (ManagerError, DetailsText).
  bool OpenServiceManager();

  // Each opens the service for its own access right, makes its call and
  // closes the service again. A service that cannot be opened always comes
  // back as code 6: the call still goes out, on the null handle.
  TServiceResult StartServer();
  TServiceResult PauseServer();
  TServiceResult ContinueServer();
  TServiceResult StopServer();
  // Control 200: the service reloads its configuration.
  TServiceResult NotifyServer();
  // Leaves the service's state in Status().
  TServiceResult QueryServerStatus();

  // Queries the service and describes its state for the status line.
  TServerStatus ServerStatusText();
  // Why the service manager could not be opened.
  std::string DescribeManagerError(std::uint32_t code);
  // Shows the refusal of a command for the codes the dialog can explain;
  // stays silent on any other.
  void ReportCommandFailure(std::uint32_t code);
  // The Windows 95/98/Me family, which has no services.
  bool IsWindows9x();

  TScHandle Manager() const { return FManager; }
  const std::string& ServiceName() const { return FServiceName; }
  const TServiceStatus& Status() const { return FStatus; }
  std::uint32_t ManagerError() const { return FManagerError; }
  const std::string& DetailsText() const { return FDetailsText; }

 private:
  template <typename TCall>
  TServiceResult OnService(std::uint32_t access, TCall call);
  TServiceResult Control(std::uint32_t access, std::uint32_t control);

  TServiceManager& FSystem;
  TInformationBox FShowInformation;
  TScHandle FManager = 0;
  std::string FServiceName = "VeltaService";
  TServiceStatus FStatus{};
  std::uint32_t FManagerError = 0;
  std::string FDetailsText;
};
