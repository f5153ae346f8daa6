// The dialog's service control client against the system's own service
// manager and the real veltad.exe, installed from a fresh directory: the
// status line and the codes the dialog shows through a service's whole
// life, from not installed to removed again.
//
//   client_e2e.exe VELTAD_EXE [WORK_DIR] [gtest flags]
//
// Paths may be Linux paths (as ctest gives them): Wine's drive Z: is the
// Linux root. The service is removed at the end of every test, whatever
// failed.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dialog/service_control_client.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

std::string VeltadSource;
std::string WorkRoot;

constexpr char kServiceName[] = "VeltaService";
// Not the product's default port, so that a server left running elsewhere
// on this machine cannot make the service's start fail.
constexpr char kPort[] = "11071";
// The activity log's line for control 200; "\xE8" ends its literal so that
// the "i" after it stays a letter of its own.
constexpr char kReloadedLine[] = "Konfiguracije je po zahtevu ponovo u\xE8" "itana.";

constexpr auto kStateWait = seconds(30);
constexpr auto kLogWait = seconds(10);
constexpr auto kPoll = milliseconds(100);
// A manager that has only just come up reports a locked database (1055)
// for a while; starts are retried within this bound.
constexpr auto kLockedRetryFor = seconds(60);
constexpr DWORD kProgramWaitMs = 60000;

std::string WindowsPath(const std::string& path) {
  std::string converted = path;
  if (!converted.empty() && converted[0] == '/') converted = "Z:" + converted;
  for (char& c : converted) {
    if (c == '/') c = '\\';
  }
  return converted;
}

class TOwnedHandle {
 public:
  explicit TOwnedHandle(HANDLE handle) : FHandle(handle) {}
  ~TOwnedHandle() {
    if (FHandle != nullptr) CloseHandle(FHandle);
  }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;
  HANDLE Get() const { return FHandle; }

 private:
  HANDLE FHandle;
};

class TOwnedScHandle {
 public:
  explicit TOwnedScHandle(SC_HANDLE handle) : FHandle(handle) {}
  ~TOwnedScHandle() {
    if (FHandle != nullptr) CloseServiceHandle(FHandle);
  }
  TOwnedScHandle(const TOwnedScHandle&) = delete;
  TOwnedScHandle& operator=(const TOwnedScHandle&) = delete;
  SC_HANDLE Get() const { return FHandle; }

 private:
  SC_HANDLE FHandle;
};

// Runs a program to its end; false when it could not be started or did not
// end in time.
bool RunProgram(const std::string& commandLine, DWORD& exitCode) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::printf("cannot run %s: error %lu\n", commandLine.c_str(), GetLastError());
    return false;
  }
  TOwnedHandle processHandle(process.hProcess);
  TOwnedHandle threadHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, kProgramWaitMs) != WAIT_OBJECT_0) {
    std::printf("%s did not end in time\n", commandLine.c_str());
    return false;
  }
  return GetExitCodeProcess(process.hProcess, &exitCode) != FALSE;
}

bool Installed() {
  TOwnedScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  TOwnedScHandle service(OpenServiceA(manager.Get(), kServiceName, SERVICE_QUERY_STATUS));
  return service.Get() != nullptr;
}

bool WaitUntilRemoved() {
  auto deadline = steady_clock::now() + kStateWait;
  while (Installed()) {
    if (steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

// Removes the service straight through the manager, whatever program it
// belongs to: a run that died before its clean-up, or an uninstall that
// failed, must not decide the next run.
void RemoveDirectly() {
  TOwnedScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  TOwnedScHandle service(OpenServiceA(manager.Get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (service.Get() == nullptr) return;
  SERVICE_STATUS status{};
  ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
  if (!DeleteService(service.Get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
    std::printf("cannot remove %s: error %lu\n", kServiceName, GetLastError());
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const char* ButtonsName(TButtonState buttons) {
  switch (buttons) {
    case TButtonState::Running: return "Running";
    case TButtonState::Stopped: return "Stopped";
    case TButtonState::Paused: return "Paused";
    case TButtonState::Locked: return "Locked";
    case TButtonState::Pending: return "Pending";
  }
  return "?";
}

class ClientE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Installed()) {
      std::printf("%s was installed before the test; removing it\n", kServiceName);
      RemoveDirectly();
      ASSERT_TRUE(WaitUntilRemoved()) << kServiceName << " left from before cannot be removed";
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    FDirectory = fs::path(WorkRoot) / (std::string(test->name()) + "-" + std::to_string(GetCurrentProcessId()));
    std::error_code ignored;
    fs::remove_all(FDirectory, ignored);
    fs::create_directories(FDirectory);
    fs::copy_file(VeltadSource, FDirectory / "veltad.exe");
    // StartType 1: the service keeps running after its start.
    std::ofstream ini(FDirectory / "veltactl.ini", std::ios::binary);
    ini << "[Server]\r\nStartType=1\r\n[Connections]\r\nPort=" << kPort << "\r\n";
    ini.close();
    ASSERT_TRUE(ini) << "cannot write veltactl.ini";

    FClient = std::make_unique<TServiceControlClient>(
        TServiceManager::Platform(), [this](const std::string& text) { FBoxes.push_back(text); });
    ASSERT_TRUE(FClient->OpenServiceManager()) << "service manager refused: " << FClient->ManagerError();
  }

  void TearDown() override {
    FClient.reset();
    if (Installed()) {
      DWORD exitCode = 0;
      if (!Veltad("/uninstall /silent", exitCode) || exitCode != 0) {
        std::printf("veltad.exe /uninstall failed (%lu); removing the service directly\n", exitCode);
        RemoveDirectly();
      }
      EXPECT_TRUE(WaitUntilRemoved()) << kServiceName << " is still installed after the test";
    }
    // The service's process may take a moment to let go of its files.
    auto deadline = steady_clock::now() + seconds(10);
    for (;;) {
      std::error_code error;
      fs::remove_all(FDirectory, error);
      if (!error || steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(kPoll);
    }
  }

  bool Veltad(const std::string& switches, DWORD& exitCode) {
    return RunProgram("\"" + (FDirectory / "veltad.exe").string() + "\" " + switches, exitCode);
  }

  void Install() {
    DWORD exitCode = 0;
    ASSERT_TRUE(Veltad("/install /silent", exitCode));
    ASSERT_EQ(exitCode, 0u) << "veltad.exe /install";
  }

  // Polls the status line until it shows the text, within a bound; the
  // last status read either way.
  TServerStatus WaitForStatus(const std::string& text) {
    auto deadline = steady_clock::now() + kStateWait;
    TServerStatus status = FClient->ServerStatusText();
    while (status.text != text && steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kPoll);
      status = FClient->ServerStatusText();
    }
    std::printf("status: %s (%s)\n", status.text.c_str(), ButtonsName(status.buttons));
    return status;
  }

  TServiceResult StartRetryingWhileLocked() {
    auto deadline = steady_clock::now() + kLockedRetryFor;
    TServiceResult result = FClient->StartServer();
    while (!result.success && result.error == ERROR_SERVICE_DATABASE_LOCKED && steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(500));
      result = FClient->StartServer();
    }
    return result;
  }

  bool LogShows(const std::string& line) {
    auto deadline = steady_clock::now() + kLogWait;
    for (;;) {
      if (ReadFile((FDirectory / "veltactl.log").string()).find(line) != std::string::npos) return true;
      if (steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(kPoll);
    }
  }

  fs::path FDirectory;
  std::unique_ptr<TServiceControlClient> FClient;
  std::vector<std::string> FBoxes;
};

#define EXPECT_RESULT(call, ok, code)              \
  do {                                             \
    TServiceResult result_ = (call);               \
    EXPECT_EQ(result_.success, ok) << #call;       \
    EXPECT_EQ(result_.error, code) << #call;       \
  } while (false)

}  // namespace

TEST_F(ClientE2e, AServiceThatIsNotInstalledReadsAsMissingAndCannotBeStarted) {
  TServerStatus status = FClient->ServerStatusText();
  EXPECT_EQ(status.text, "Proverite da li je server instaliran.");
  EXPECT_EQ(status.buttons, TButtonState::Pending);

  TServiceResult started = FClient->StartServer();
  EXPECT_FALSE(started.success);
  EXPECT_EQ(started.error, 6u);
  EXPECT_RESULT(FClient->StopServer(), false, 6u);
  EXPECT_RESULT(FClient->NotifyServer(), false, 6u);

  FClient->ReportCommandFailure(started.error);
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0], "Komanda nije prihv\xE6" "ena\nIzabrani postupak nije ispravan.");
}

TEST_F(ClientE2e, TheServiceGoesThroughItsWholeLifeFromTheDialog) {
  ASSERT_NO_FATAL_FAILURE(Install());
  TServerStatus status = FClient->ServerStatusText();
  EXPECT_EQ(status.text, "Server nije pokrenut.");
  EXPECT_EQ(status.buttons, TButtonState::Stopped);

  // The service refuses any control while it is stopped.
  EXPECT_RESULT(FClient->PauseServer(), false, 1062u);
  EXPECT_RESULT(FClient->StopServer(), false, 1062u);
  EXPECT_RESULT(FClient->NotifyServer(), false, 1062u);

  EXPECT_RESULT(StartRetryingWhileLocked(), true, 0u);
  status = WaitForStatus("Server je pokrenut.");
  ASSERT_EQ(status.text, "Server je pokrenut.");
  EXPECT_EQ(status.buttons, TButtonState::Running);

  TServiceResult again = FClient->StartServer();
  EXPECT_FALSE(again.success);
  EXPECT_EQ(again.error, 1056u);
  FClient->ReportCommandFailure(again.error);
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0], "Komanda nije prihv\xE6" "ena\nJedna instanca servisa ve\xE6" " je pokrenuta.");

  EXPECT_RESULT(FClient->PauseServer(), true, 0u);
  status = WaitForStatus("Server je pauziran.");
  ASSERT_EQ(status.text, "Server je pauziran.");
  EXPECT_EQ(status.buttons, TButtonState::Paused);

  EXPECT_RESULT(FClient->ContinueServer(), true, 0u);
  status = WaitForStatus("Server je pokrenut.");
  ASSERT_EQ(status.text, "Server je pokrenut.");
  EXPECT_EQ(status.buttons, TButtonState::Running);

  EXPECT_RESULT(FClient->NotifyServer(), true, 0u);
  EXPECT_TRUE(LogShows(kReloadedLine)) << "no reload line in veltactl.log:\n"
                                       << ReadFile((FDirectory / "veltactl.log").string());

  EXPECT_RESULT(FClient->StopServer(), true, 0u);
  status = WaitForStatus("Server nije pokrenut.");
  ASSERT_EQ(status.text, "Server nije pokrenut.");
  EXPECT_EQ(status.buttons, TButtonState::Stopped);
  EXPECT_RESULT(FClient->ContinueServer(), false, 1062u);
  EXPECT_RESULT(FClient->StopServer(), false, 1062u);

  DWORD exitCode = 0;
  ASSERT_TRUE(Veltad("/uninstall /silent", exitCode));
  EXPECT_EQ(exitCode, 0u) << "veltad.exe /uninstall";
  ASSERT_TRUE(WaitUntilRemoved());
  EXPECT_EQ(FClient->ServerStatusText().text, "Proverite da li je server instaliran.");
  EXPECT_RESULT(FClient->StartServer(), false, 6u);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: client_e2e.exe VELTAD_EXE [WORK_DIR]\n");
    return 2;
  }
  VeltadSource = WindowsPath(argv[1]);
  if (argc >= 3) {
    WorkRoot = WindowsPath(argv[2]);
  } else {
    char temp[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof temp, temp);
    WorkRoot = std::string(temp, length) + "velta-client-e2e";
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  return RUN_ALL_TESTS();
}
