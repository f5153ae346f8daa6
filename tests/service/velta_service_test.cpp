// The service object driven through its handlers and its execute loop, as
// the system's service manager drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "doubles/recording_event_log.h"
#include "service/net/id_exceptions.h"
#include "service/service_host.h"
#include "service/service_texts.h"
#include "support/loopback_client.h"

namespace {

using Texts = std::vector<std::string>;
using velta::testing::LoopbackClient;
using velta::testing::Text;
using velta::testing::WaitUntil;

std::string Ini(int port, const char* startType) {
  return "[Connections]\r\nPort=" + std::to_string(port) + "\r\n[Server]\r\nStartType=" + startType + "\r\n";
}

bool Answers(int port) {
  LoopbackClient client(port, 2000);
  if (!client.Connected()) return false;
  client.SendFrame(Text("ping"));
  return client.ReadFrame() == Text("ping");
}

bool Refuses(int port) { return !LoopbackClient(port, 2000).Connected(); }

}  // namespace

TEST(ServiceRun, SwitchedOnItRunsUntilStopped) {
  int port = FreeSettingsPort();
  ServiceHost host(Ini(port, "1").c_str());
  host.Start();
  ASSERT_TRUE(host.WaitForLogTexts(2)) << ::testing::PrintToString(host.eventLog.Entries);
  EXPECT_EQ(host.service->State(), TServiceState::Running);
  EXPECT_TRUE(Answers(port));
  host.service->Controller(kControlStop);
  EXPECT_EQ(host.WaitStopped(), 0);
  EXPECT_EQ(host.LogTexts(), (Texts{kLogStarted, kLogActivated, kLogStopped}));
  EXPECT_FALSE(host.service->IdTCPServer.Active());
  EXPECT_TRUE(host.eventLog.Entries.empty());
}

TEST(ServiceRun, WithoutAConfigurationFileItStopsItself) {
  if (Answers(11059) || !Refuses(11059)) GTEST_SKIP() << "port 11059 is in use on this machine";
  ServiceHost host(nullptr);
  host.Start();
  EXPECT_EQ(host.WaitStopped(), 0);
  EXPECT_EQ(host.LogTexts(), (Texts{kLogStarted, kLogActivated, kLogStopped}));
  EXPECT_EQ(host.service->State(), TServiceState::Stopped);
  EXPECT_EQ(host.service->IdTCPServer.Bindings().Items(0).Port, 11059);
}

TEST(ServiceRun, PauseAndContinueCloseAndReopenTheListenerOnTheSamePort) {
  int port = FreeSettingsPort();
  int other = FreeSettingsPort();
  ServiceHost host(Ini(port, "1").c_str());
  host.Start();
  ASSERT_TRUE(host.WaitForLogTexts(2)) << ::testing::PrintToString(host.eventLog.Entries);
  host.WriteIni(Ini(other, "1"));
  host.service->Controller(kControlPause);
  ASSERT_TRUE(host.WaitForState(TServiceState::Paused));
  EXPECT_TRUE(Refuses(port));
  // A second pause for a paused service changes nothing.
  host.service->Controller(kControlPause);
  host.service->Controller(kControlContinue);
  ASSERT_TRUE(host.WaitForState(TServiceState::Running));
  EXPECT_TRUE(Answers(port));
  EXPECT_TRUE(Refuses(other));
  host.service->Controller(kControlStop);
  host.WaitStopped();
  EXPECT_EQ(host.LogTexts(), (Texts{kLogStarted, kLogActivated, kLogPaused, kLogContinued, kLogStopped}));
}

TEST(ServiceRun, CodeTwoHundredReloadsAndMovesTheListener) {
  int port = FreeSettingsPort();
  int other = FreeSettingsPort();
  ServiceHost host(Ini(port, "1").c_str());
  host.Start();
  ASSERT_TRUE(host.WaitForLogTexts(2)) << ::testing::PrintToString(host.eventLog.Entries);
  LoopbackClient open(port);
  VELTA_ASSERT_CONNECTED(open);
  host.WriteIni(Ini(other, "1") + "[Log]\r\nLines=0500\r\n");
  host.service->Controller(TVeltaService::kReloadControl);
  ASSERT_TRUE(host.WaitForLogTexts(3));
  EXPECT_EQ(host.LogTexts().back(), kLogReloaded);
  EXPECT_EQ(host.ListeningPort(), other);
  EXPECT_EQ(host.service->ServerSettings.Lines, "0500");
  EXPECT_TRUE(Answers(other));
  EXPECT_TRUE(Refuses(port));
  open.ExpectClosedByServer();
}

TEST(ServiceRun, SeveralReloadRequestsInOnePassMakeOneReload) {
  int port = FreeSettingsPort();
  ServiceHost host(Ini(port, "1").c_str());
  // Queued before the loop begins, all three are handled by its first pass.
  for (int i = 0; i < 3; ++i) host.service->Controller(TVeltaService::kReloadControl);
  host.service->Controller(150);
  host.Start();
  ASSERT_TRUE(host.WaitForLogTexts(3));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  host.service->Controller(kControlStop);
  host.WaitStopped();
  EXPECT_EQ(host.LogTexts(), (Texts{kLogStarted, kLogActivated, kLogReloaded, kLogStopped}));
}

TEST(ServiceRun, AReloadWhilePausedLeavesTheServerActive) {
  int port = FreeSettingsPort();
  ServiceHost host(Ini(port, "1").c_str());
  host.Start();
  ASSERT_TRUE(host.WaitForLogTexts(2)) << ::testing::PrintToString(host.eventLog.Entries);
  host.service->Controller(kControlPause);
  ASSERT_TRUE(host.WaitForState(TServiceState::Paused));
  host.service->Controller(TVeltaService::kReloadControl);
  ASSERT_TRUE(host.WaitForLogTexts(4)) << ::testing::PrintToString(host.eventLog.Entries);
  EXPECT_EQ(host.LogTexts().back(), kLogReloaded);
  EXPECT_TRUE(Answers(port));
  EXPECT_EQ(host.service->State(), TServiceState::Paused);
}

TEST(ServiceRun, ASwitchOffWrittenWhileRunningWaitsForTheNextStart) {
  int port = FreeSettingsPort();
  ServiceHost host(Ini(port, "1").c_str());
  host.Start();
  ASSERT_TRUE(host.WaitForLogTexts(2)) << ::testing::PrintToString(host.eventLog.Entries);
  host.WriteIni(Ini(port, "0"));
  host.service->Controller(TVeltaService::kReloadControl);
  ASSERT_TRUE(host.WaitForLogTexts(3));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(host.service->State(), TServiceState::Running);
  EXPECT_EQ(host.service->ServerSettings.StartType, "0");
}

TEST(ServiceStart, APortInUseFailsTheStartWithoutALogLine) {
  int port = FreeSettingsPort();
  TIdTCPServer holder;
  holder.SetDefaultPort(port);
  holder.SetActive(true);
  ServiceHost host(Ini(port, "1").c_str());
  bool started = false;
  EXPECT_THROW(host.service->ServiceStart(host.service.get(), started), EIdCouldNotBindSocket);
  EXPECT_FALSE(started);
  EXPECT_TRUE(host.LogTexts().empty());
  EXPECT_FALSE(host.service->IdTCPServer.Active());
}

TEST(ServiceStart, AFailedStartEndsTheServiceWithOneEventLogEntry) {
  int port = FreeSettingsPort();
  TIdTCPServer holder;
  holder.SetDefaultPort(port);
  holder.SetActive(true);
  ServiceHost host(Ini(port, "1").c_str());
  host.Start();
  EXPECT_EQ(host.WaitStopped(), TService::kStartFailedExitCode);
  EXPECT_EQ(host.service->State(), TServiceState::Stopped);
  EXPECT_TRUE(host.LogTexts().empty());
  ASSERT_EQ(host.eventLog.Entries.size(), 1u);
  EXPECT_NE(host.eventLog.Entries[0].find("OnStart"), std::string::npos);
  EXPECT_NE(host.eventLog.Entries[0].find("Could not bind socket."), std::string::npos);
}

// A process that ended inside a replace, or a replace that lost the log,
// leaves the history only in temporary files: the newest whole one becomes
// the log again, and the others go.
TEST(ServiceStart, AMissingLogComesBackFromTheNewestWholeLeftover) {
  int port = FreeSettingsPort();
  ServiceHost host(Ini(port, "1").c_str());
  const std::string stamp = "Velta server : 01-02-2026, 10:00:00 : ";
  auto leftover = [&](const char* name, const std::string& bytes, int minutesAgo) {
    host.dir.Write(name, bytes);
    std::filesystem::last_write_time(host.dir.Path(name), std::filesystem::file_time_type::clock::now() -
                                                              std::chrono::minutes(minutesAgo));
  };
  leftover("veltactl.log.7.0.tmp", stamp + "Pokrenut.\r\n", 30);
  leftover("veltactl.log.7.1.tmp", stamp + "Pokrenut.\r\n" + stamp + "Zaustavljen.\r\n", 20);
  leftover("veltactl.log.9.0.tmp", stamp + "Pokrenut.\r\n" + stamp + "Zaust", 10);
  host.Start();
  ASSERT_TRUE(host.WaitForLogTexts(4)) << ::testing::PrintToString(host.eventLog.Entries);
  host.service->Controller(kControlStop);
  EXPECT_EQ(host.WaitStopped(), 0);
  EXPECT_EQ(host.LogTexts(), (Texts{kLogStarted, kLogStopped, kLogStarted, kLogActivated, kLogStopped}));
  for (const char* name : {"veltactl.log.7.0.tmp", "veltactl.log.7.1.tmp", "veltactl.log.9.0.tmp"}) {
    EXPECT_EQ(host.dir.Read(name), "<missing>") << name;
  }
  EXPECT_TRUE(host.eventLog.Entries.empty());
}

TEST(ServiceStart, ShutdownClosesTheServerAndSaysSo) {
  int port = FreeSettingsPort();
  ServiceHost host(Ini(port, "1").c_str());
  host.Start();
  ASSERT_TRUE(host.WaitForLogTexts(2)) << ::testing::PrintToString(host.eventLog.Entries);
  host.service->Controller(kControlShutdown);
  EXPECT_EQ(host.WaitStopped(), 0);
  EXPECT_EQ(host.LogTexts(), (Texts{kLogStarted, kLogActivated, kLogShutDown}));
  EXPECT_TRUE(Refuses(port));
}

TEST(ServiceStart, ConstructionLoadsTheConfigurationAndReportsItsProblems) {
  ServiceHost host("[Log]\r\nLines=abc\r\n[Connections]\r\nPort=x\r\n");
  EXPECT_EQ(host.service->ServerSettings.Lines, "500");
  EXPECT_EQ(host.service->ServerSettings.Port, "11059");
  EXPECT_EQ(host.eventLog.Entries,
            (Texts{kEventConfigLinesUnreadable, kEventConfigPortUnreadable}));
  EXPECT_FALSE(host.service->ReloadRequested);
}

namespace {

// A service whose work ends as soon as it is let go, so that it stops
// itself while a stop request arrives from the system's control thread.
class TShortLivedService : public TService {
 public:
  explicit TShortLivedService(TEventLog& eventLog) : TService("ShortLived", "ShortLived", eventLog) {
    OnStart = [](TService*, bool& done) { done = true; };
    OnStop = [](TService*, bool& done) { done = true; };
    OnExecute = [this](TService*) {
      while (!LetGo) std::this_thread::yield();
    };
  }
  TServiceControlEntry GetControlEntry() override { return nullptr; }
  std::atomic<bool> LetGo{false};
};

thread_local bool tOnServiceThread = false;

}  // namespace

TEST(ServiceFramework, TheManagerHearsTheStatesInTheOrderTheyHappened) {
  TRecordingEventLog eventLog;
  for (int round = 0; round < 100; ++round) {
    TShortLivedService service(eventLog);
    std::mutex lock;
    std::vector<TServiceState> reported;
    service.SetStateListener([&](TServiceState state, int) {
      // A report is a call into the service manager; the control thread's
      // is the slow one here.
      if (!tOnServiceThread) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      std::lock_guard<std::mutex> hold(lock);
      reported.push_back(state);
    });
    std::thread serviceThread([&] {
      tOnServiceThread = true;
      service.RunServiceThread();
    });
    while (service.State() != TServiceState::Running) std::this_thread::yield();
    std::thread controlThread([&] { service.Controller(kControlStop); });
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    service.LetGo = true;
    controlThread.join();
    serviceThread.join();
    std::lock_guard<std::mutex> hold(lock);
    ASSERT_EQ(reported.back(), TServiceState::Stopped) << "round " << round << ": a report came after STOPPED";
    ASSERT_EQ(std::count(reported.begin(), reported.end(), TServiceState::Stopped), 1) << "round " << round;
  }
}
