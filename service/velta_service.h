#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "common/server_settings.h"
#include "service/event_log.h"
#include "service/net/id_tcp_server.h"
#include "service/service_framework.h"

// The service VeltaService: the echo server, switched on and off by the
// system's control requests, reloading its configuration on control code
// 200, and writing each life event into its activity log.
class TVeltaService : public TService {
 public:
  static constexpr unsigned kReloadControl = 200;
  static constexpr int kLoopPassMs = 500;

  // directory: where veltactl.ini and veltactl.log lie; by default the
  // directory of the running executable.
  explicit TVeltaService(TEventLog& eventLog = TEventLog::Platform(), std::string directory = "");
  ~TVeltaService() override;

  TIdTCPServer IdTCPServer;
  // Held by GoSendMessageToLog for its whole run.
  std::unique_ptr<std::mutex> LogLock;
  bool ReloadRequested = false;
  ::ServerSettings ServerSettings;

  void ServiceStart(TService* sender, bool& started);
  void ServiceExecute(TService* sender);
  void ServicePause(TService* sender, bool& paused);
  void ServiceContinue(TService* sender, bool& continued);
  void ServiceStop(TService* sender, bool& stopped);
  void ServiceShutdown(TService* sender);
  void ServiceAfterInstall(TService* sender);
  void ServiceAfterUninstall(TService* sender);
  void IdTCPServerExecute(TIdPeerThread* AThread);

  void ReloadIniToFastConfig();
  void GoSendMessageToLog(const std::string& text);
  TServiceControlEntry GetControlEntry() override;
  // StartType "1", as the constructor loaded it.
  bool SwitchedOn() const override;

 protected:
  bool HandleUserControl(unsigned code) override;

 private:
  void Reload();
  int PortSetting() const;
  std::string LogPath() const;

  std::string FDirectory;
  TEventLog& FEventLog;
};

// The one service object of the process.
extern TVeltaService* VeltaService;

// Hands a control code from the system's dispatcher to the service object.
void ControlEntry(unsigned code);
