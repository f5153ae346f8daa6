#include "dialog/server_main_form.h"

#include "common/settings_load.h"
#include "common/str_to_int.h"
#include "dialog/dialog_ini.h"
#include "dialog/dialog_texts.h"
#include "dialog/main_form_layout.h"

namespace {

constexpr int kServicePage = 0;
constexpr std::uint32_t kStateRunning = 4;
constexpr std::uint32_t kStatePaused = 7;

bool IsSettingsNumber(const std::string& text) {
  int number = 0;
  return TryStrToInt(text, number) && number >= 1 && number <= 32768;
}

}  // namespace

TServerMainForm::TServerMainForm(TPlatform platform)
    : FPlatform(std::move(platform)),
      FForm(FPlatform.Application.CreateForm(ServerMainFormLayout())),
      FClient(FPlatform.Manager, [this](const std::string& text) { FPlatform.Application.MessageDlg(text); }) {
  BindHandlers();
  ServerSettings = {"", "", "", ""};
  FForm.PageControl("PageControl").SetActivePage(kServicePage);
  FBusy = false;
  FForm.Button("DetailsButton").SetVisible(false);
  MakeDigitsOnly(FForm.Edit("PortEdit"));
  MakeDigitsOnly(FForm.Edit("LogEdit"));
  LoadIniSettings(FPlatform.IniPath, ServerSettings);
  SaveIniSettings(FPlatform.IniPath, ServerSettings);
  EnableLinesInput();
  if (!FClient.OpenServiceManager()) {
    FForm.Panel("StatusPanel").SetText(kManagerUnavailable);
    FForm.Button("DetailsButton").SetVisible(true);
    SetButtonState(TButtonState::Locked);
    return;
  }
  ShowStatus(FClient.ServerStatusText());
}

void TServerMainForm::BindHandlers() {
  FForm.Button("StartButton").OnClick = [this] { StartButtonClick(); };
  FForm.Button("PauseButton").OnClick = [this] { PauseButtonClick(); };
  FForm.Button("ContinueButton").OnClick = [this] { ContinueButtonClick(); };
  FForm.Button("StopButton").OnClick = [this] { StopButtonClick(); };
  FForm.Button("RefreshButton").OnClick = [this] { RefreshButtonClick(); };
  FForm.Button("DetailsButton").OnClick = [this] { DetailsButtonClick(); };
  FForm.Button("OkButton").OnClick = [this] { OkButtonClick(); };
  FForm.Button("SendButton").OnClick = [this] { SendButtonClick(); };
  FForm.PageControl("PageControl").OnChanging = [this] { return PageControlChanging(); };
  FForm.PageControl("PageControl").OnChange = [this] { PageControlChange(); };
  FForm.CheckBox("LogCheckBox").OnClick = [this] { LogCheckBoxClick(); };
  FForm.Edit("PortEdit").OnChange = [this] { PortEditChange(); };
  FForm.Edit("LogEdit").OnChange = [this] { LogEditChange(); };
  FForm.OnKeyPress = [this](char& key) { FormKeyPress(key); };
  FForm.OnActivate = [this] { FormActivate(); };
  FForm.OnClose = [this] { FormClose(); };
}

void TServerMainForm::MakeDigitsOnly(TEdit& edit) {
  std::intptr_t window = edit.GetHandle();
  FPlatform.WindowStyle.Set(window, FPlatform.WindowStyle.Get(window) | TWindowStyle::kNumberOnly);
}

void TServerMainForm::EnableLinesInput() {
  bool limited = FForm.CheckBox("LogCheckBox").Checked();
  FForm.Edit("LogEdit").SetEnabled(limited);
  FForm.Label("LogKbLabel").SetEnabled(limited);
}

void TServerMainForm::SetButtonState(TButtonState state) {
  // Start, Pauza, Nastavi, Stop, Osveži, notify.
  struct TRow {
    bool start, pause, resume, stop, refresh, send;
  };
  TRow row{};
  switch (state) {
    case TButtonState::Running: row = {false, true, false, true, true, true}; break;
    case TButtonState::Stopped: row = {true, false, false, false, true, false}; break;
    case TButtonState::Paused: row = {false, false, true, true, true, true}; break;
    case TButtonState::Locked: row = {false, false, false, false, false, false}; break;
    case TButtonState::Pending: row = {false, false, false, false, true, false}; break;
  }
  FForm.Button("StartButton").SetEnabled(row.start);
  FForm.Button("PauseButton").SetEnabled(row.pause);
  FForm.Button("ContinueButton").SetEnabled(row.resume);
  FForm.Button("StopButton").SetEnabled(row.stop);
  FForm.Button("RefreshButton").SetEnabled(row.refresh);
  FForm.Button("SendButton").SetEnabled(row.send);
}

void TServerMainForm::ShowStatus(const TServerStatus& status) {
  FForm.Panel("StatusPanel").SetText(status.text);
  SetButtonState(status.buttons);
}

void TServerMainForm::RefreshStatus() {
  if (FClient.Manager() == 0) return;
  FBusy = true;
  FForm.Panel("StatusPanel").SetText(kStatusChecking);
  SetButtonState(TButtonState::Locked);
  FPlatform.Application.ProcessMessages();
  // A close processed just now ends the dialog: nothing is left to show.
  if (!FForm.Closed()) {
    FPlatform.Sleep(kRefreshPauseMs);
    ShowStatus(FClient.ServerStatusText());
    FPlatform.Application.ProcessMessages();
    FForm.Button("RefreshButton").SetEnabled(true);
  }
  FBusy = false;
}

void TServerMainForm::WriteStartType(const std::string& value) {
  ServerSettings.StartType = value;
  WriteIniValue(FPlatform.IniPath, "Server", "StartType", ServerSettings.StartType);
}

// A refused command puts back what the switch said before the click, read
// from the file then (someone may have changed it since the form loaded
// it): a fixed opposite would turn a switch that already said what the
// button writes the wrong way. A key that cannot be read counts as the
// opposite, as the button expects it.
void TServerMainForm::RunCommand(const char* startType, TOperation operation, const char* opposite) {
  std::string before = ReadIniValue(FPlatform.IniPath, "Server", "StartType", opposite);
  WriteStartType(startType);
  TServiceResult result = (FClient.*operation)();
  if (!result.success) {
    FClient.ReportCommandFailure(result.error);
    WriteStartType(before);
  }
  RefreshStatus();
}

void TServerMainForm::StartButtonClick() { RunCommand("1", &TServiceControlClient::StartServer, "0"); }
void TServerMainForm::PauseButtonClick() { RunCommand("0", &TServiceControlClient::PauseServer, "1"); }
void TServerMainForm::ContinueButtonClick() { RunCommand("1", &TServiceControlClient::ContinueServer, "0"); }
void TServerMainForm::StopButtonClick() { RunCommand("0", &TServiceControlClient::StopServer, "1"); }

void TServerMainForm::DetailsButtonClick() {
  FPlatform.Application.MessageDlg(FForm.Panel("StatusPanel").GetText() + "\n" + FClient.DetailsText());
}

bool TServerMainForm::PageControlChanging() { return !FBusy; }

bool TServerMainForm::OnServerPage() { return FForm.PageControl("PageControl").ActivePage() == kServicePage; }

void TServerMainForm::PageControlChange() {
  if (OnServerPage()) RefreshStatus();
}

void TServerMainForm::FormKeyPress(char& key) {
  if (key != kEscape) return;
  key = 0;
  FForm.Close();
}

void TServerMainForm::FormActivate() {
  FForm.CheckBox("LogCheckBox").SetChecked(ServerSettings.Limiting == "1");
  FForm.Edit("LogEdit").SetText(ServerSettings.Lines);
  FForm.Edit("PortEdit").SetText(ServerSettings.Port);
}

void TServerMainForm::FormClose() { FPlatform.Application.ProcessMessages(); }

void TServerMainForm::LogCheckBoxClick() {
  bool limited = FForm.CheckBox("LogCheckBox").Checked();
  FForm.Edit("LogEdit").SetEnabled(limited);
  FForm.Label("LogKbLabel").SetEnabled(limited);
  ServerSettings.Limiting = limited ? "1" : "0";
  WriteIniValue(FPlatform.IniPath, "Log", "Limiting", ServerSettings.Limiting);
}

void TServerMainForm::EditChanged(TEdit& edit, std::string& setting, const char* defaultValue, const char* section,
                                  const char* key) {
  setting = edit.GetText();
  if (!IsSettingsNumber(setting)) setting = defaultValue;
  WriteIniValue(FPlatform.IniPath, section, key, setting);
  // A replaced text runs this reaction once more, which finds the default
  // valid and changes nothing: the chain ends there.
  edit.SetText(std::string(setting));
}

void TServerMainForm::PortEditChange() {
  EditChanged(FForm.Edit("PortEdit"), ServerSettings.Port, "11059", "Connections", "Port");
}

void TServerMainForm::LogEditChange() {
  EditChanged(FForm.Edit("LogEdit"), ServerSettings.Lines, "500", "Log", "Lines");
}

void TServerMainForm::OkButtonClick() {
  if (!FBusy) FForm.Close();
}

void TServerMainForm::SendButtonClick() {
  TServiceResult query = FClient.QueryServerStatus();
  std::uint32_t state = FClient.Status().dwCurrentState;
  if (query.success && (state == kStateRunning || state == kStatePaused)) {
    TServiceResult notify = FClient.NotifyServer();
    if (!notify.success) FClient.ReportCommandFailure(notify.error);
  }
  FForm.PageControl("PageControl").SetActivePage(kServicePage);
  RefreshStatus();
}
