#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/server_settings.h"
#include "dialog/button_state.h"
#include "dialog/gui_toolkit.h"
#include "dialog/service_control_client.h"
#include "dialog/window_style.h"

// The dialog's one form: the server page with the service's state and its
// four commands, the connections and logs pages with the settings, the OK
// and notify buttons. Every change of a setting goes to the configuration
// file at once.
class TServerMainForm {
 public:
  // What the form works with; tests give doubles.
  struct TPlatform {
    TApplication& Application;
    TServiceManager& Manager;
    TWindowStyle& WindowStyle;
    std::string IniPath;
    // The status refresh's pause; tests need not wait.
    std::function<void(int milliseconds)> Sleep;
  };

  static constexpr int kRefreshPauseMs = 2000;
  static constexpr char kEscape = 27;

  explicit TServerMainForm(TPlatform platform);
  TServerMainForm(const TServerMainForm&) = delete;
  TServerMainForm& operator=(const TServerMainForm&) = delete;

  TForm& Form() { return FForm; }
  const ::ServerSettings& Settings() const { return ServerSettings; }
  bool Busy() const { return FBusy; }
  const TServiceControlClient& Client() const { return FClient; }

  void RefreshStatus();
  void SetButtonState(TButtonState state);

  // The handlers, by the events the layout binds them to.
  void StartButtonClick();
  void PauseButtonClick();
  void ContinueButtonClick();
  void StopButtonClick();
  void RefreshButtonClick() { RefreshStatus(); }
  void DetailsButtonClick();
  bool PageControlChanging();
  void PageControlChange();
  void FormKeyPress(char& key);
  void FormActivate();
  void FormClose();
  void LogCheckBoxClick();
  void PortEditChange();
  void LogEditChange();
  void OkButtonClick();
  void SendButtonClick();

 private:
  using TOperation = TServiceResult (TServiceControlClient::*)();

  void BindHandlers();
  void MakeDigitsOnly(TEdit& edit);
  void EnableLinesInput();
  void ShowStatus(const TServerStatus& status);
  void RunCommand(const char* startType, TOperation operation, const char* opposite);
  void WriteStartType(const std::string& value);
  // The reaction of a settings edit: the text if valid, else the default.
  void EditChanged(TEdit& edit, std::string& setting, const char* defaultValue, const char* section,
                   const char* key);
  bool OnServerPage();

  TPlatform FPlatform;
  TForm& FForm;
  TServiceControlClient FClient;
  ::ServerSettings ServerSettings;
  bool FBusy = false;
};
