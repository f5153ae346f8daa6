#include "service/velta_service.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "common/program_paths.h"
#include "common/str_to_int.h"
#include "service/activity_log.h"
#include "service/echo_exchange.h"
#include "service/local_time.h"
#include "service/service_ini.h"
#include "service/service_texts.h"

TVeltaService* VeltaService = nullptr;

void ControlEntry(unsigned code) { VeltaService->Controller(code); }

TVeltaService::TVeltaService(TEventLog& eventLog, std::string directory)
    : TService("VeltaService", "VeltaServer", eventLog),
      FDirectory(directory.empty() ? ExtractFilePath(ParamStr0()) : std::move(directory)),
      FEventLog(eventLog) {
  Description = kServiceDescription;
  AfterInstall = [this](TService* sender) { ServiceAfterInstall(sender); };
  AfterUninstall = [this](TService* sender) { ServiceAfterUninstall(sender); };
  OnStart = [this](TService* sender, bool& done) { ServiceStart(sender, done); };
  OnPause = [this](TService* sender, bool& done) { ServicePause(sender, done); };
  OnContinue = [this](TService* sender, bool& done) { ServiceContinue(sender, done); };
  OnStop = [this](TService* sender, bool& done) { ServiceStop(sender, done); };
  OnShutdown = [this](TService* sender) { ServiceShutdown(sender); };
  OnExecute = [this](TService* sender) { ServiceExecute(sender); };
  IdTCPServer.SetDefaultPort(0);
  // A burst of clients (a failover, a load balancer's checks) must find room
  // in the queue: Windows refuses a connection the queue has no room for.
  IdTCPServer.ListenQueue = IdMaxListenQueue();
  IdTCPServer.OnExecute = [this](TIdPeerThread* thread) { IdTCPServerExecute(thread); };

  ServerSettings = {"", "", "", ""};
  ReloadIniToFastConfig();
  ReloadRequested = false;
  LogLock = std::make_unique<std::mutex>();
}

TVeltaService::~TVeltaService() {
  LogLock.reset();
  ServerSettings = {};
}

void TVeltaService::ReloadIniToFastConfig() {
  ::ReloadIniToFastConfig(FDirectory + "veltactl.ini", ServerSettings, FEventLog);
}

void TVeltaService::GoSendMessageToLog(const std::string& text) {
  std::lock_guard<std::mutex> hold(*LogLock);
  WriteActivityLogRecord(LogPath(), text, ServerSettings.Limiting, ServerSettings.Lines,
                         FEventLog, LocalTimeStamp());
}

int TVeltaService::PortSetting() const {
  int port = 0;
  if (!TryStrToInt(ServerSettings.Port, port)) {
    throw std::invalid_argument("'" + ServerSettings.Port + "' is not a valid integer value");
  }
  return port;
}

std::string TVeltaService::LogPath() const { return FDirectory + "veltactl.log"; }

void TVeltaService::ServiceStart(TService*, bool& started) {
  {
    // A process that ended between writing a new log and putting it in
    // place left it beside the log, perhaps as the only copy.
    std::lock_guard<std::mutex> hold(*LogLock);
    TidyActivityLog(LogPath());
  }
  IdTCPServer.SetDefaultPort(PortSetting());
  IdTCPServer.SetActive(true);
  GoSendMessageToLog(kLogStarted);
  started = true;
}

void TVeltaService::ServiceExecute(TService*) {
  if (ServerSettings.StartType == "0") Controller(kControlStop);
  GoSendMessageToLog(kLogActivated);
  while (!Terminated()) {
    if (ReloadRequested) Reload();
    std::this_thread::sleep_for(std::chrono::milliseconds(kLoopPassMs));
    ProcessRequests(false);
  }
}

void TVeltaService::Reload() {
  ReloadRequested = false;
  ReloadIniToFastConfig();
  int port = PortSetting();
  IdTCPServer.SetActive(false);
  for (std::size_t i = 0; i < IdTCPServer.Bindings().Count(); ++i) IdTCPServer.Bindings().Items(i).Port = port;
  IdTCPServer.SetActive(true);
  GoSendMessageToLog(kLogReloaded);
}

void TVeltaService::ServicePause(TService*, bool& paused) {
  IdTCPServer.SetActive(false);
  GoSendMessageToLog(kLogPaused);
  paused = true;
}

void TVeltaService::ServiceContinue(TService*, bool& continued) {
  IdTCPServer.SetDefaultPort(PortSetting());
  IdTCPServer.SetActive(true);
  GoSendMessageToLog(kLogContinued);
  continued = true;
}

void TVeltaService::ServiceStop(TService*, bool& stopped) {
  IdTCPServer.SetActive(false);
  GoSendMessageToLog(kLogStopped);
  stopped = true;
}

void TVeltaService::ServiceShutdown(TService*) {
  IdTCPServer.SetActive(false);
  GoSendMessageToLog(kLogShutDown);
}

void TVeltaService::ServiceAfterInstall(TService*) { GoSendMessageToLog(kLogInstalled); }

void TVeltaService::ServiceAfterUninstall(TService*) { GoSendMessageToLog(kLogUninstalled); }

void TVeltaService::IdTCPServerExecute(TIdPeerThread* AThread) { ::IdTCPServerExecute(AThread); }

bool TVeltaService::HandleUserControl(unsigned code) {
  if (code == kReloadControl) ReloadRequested = true;
  return true;
}

bool TVeltaService::SwitchedOn() const { return ServerSettings.StartType == "1"; }

TServiceControlEntry TVeltaService::GetControlEntry() { return ControlEntry; }
