#pragma once

#include <string>
#include <thread>
#include <vector>

#include "doubles/recording_event_log.h"
#include "service/velta_service.h"
#include "support/temp_dir.h"

// Runs the service object as the system would, on a service thread of its
// own, in a directory of its own; the test sends control codes to it.
class ServiceHost {
 public:
  // ini: the configuration file's content, or nullptr for none.
  explicit ServiceHost(const char* ini);
  ~ServiceHost();

  void Start();
  // Waits for the service thread to return; its result.
  int WaitStopped();
  bool WaitForState(TServiceState state);
  // The event texts of the activity log, oldest first, without stamps.
  std::vector<std::string> LogTexts() const;
  bool WaitForLogTexts(std::size_t count);
  void WriteIni(const std::string& ini) { dir.Write("veltactl.ini", ini); }
  int ListeningPort() { return static_cast<int>(service->IdTCPServer.Bindings().Items(0).Port); }

  TempDir dir;
  TRecordingEventLog eventLog;
  std::unique_ptr<TVeltaService> service;

 private:
  std::thread FServiceThread;
  int FResult = -1;
};

// A port of the range the settings allow (1 to 32768) that nobody listens on.
int FreeSettingsPort();
