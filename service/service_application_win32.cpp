#include <windows.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/text_1250.h"
#include "service/service_application.h"
#include "service/sc_handle_win32.h"

namespace {

// Closes a registry key on every way out.
class TRegKey {
 public:
  TRegKey() = default;
  ~TRegKey() {
    if (FKey != nullptr) RegCloseKey(FKey);
  }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;
  HKEY* Receive() { return &FKey; }
  HKEY Get() const { return FKey; }

 private:
  HKEY FKey = nullptr;
};

constexpr char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// Error, warning and information entries.
constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
// How long /uninstall waits for a running service to stop.
constexpr auto kStopWait = std::chrono::seconds(30);
constexpr auto kStopPoll = std::chrono::milliseconds(100);
// What the system is told a pending step may take before it checks again.
constexpr DWORD kPendingWaitHintMs = 5000;
// How long the end of the program waits for the service thread to leave
// ServiceMain after the service has stopped.
constexpr auto kServiceMainExitWait = std::chrono::seconds(5);

std::string ModulePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

struct TLocalFree {
  void operator()(char* text) const { LocalFree(text); }
};

std::string SystemMessage(DWORD code) {
  char* allocated = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<char*>(&allocated), 0, nullptr);
  std::unique_ptr<char, TLocalFree> text(allocated);
  std::string message;
  if (length != 0 && text) message.assign(text.get(), length);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' ' ||
                              message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "error";
  return message + " (" + std::to_string(code) + ")";
}

// A handle that writes go somewhere: a console, a pipe or a file.
HANDLE UsableStdHandle(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  if (GetFileType(handle) == FILE_TYPE_UNKNOWN) return nullptr;
  return handle;
}

// Shows one line of result: on the standard output (error for a failure)
// wherever it leads, a console, a pipe or a file; a message box only when
// the program runs without any, so that a scripted run never waits on a
// window.
void Tell(const std::string& text, bool failure) {
  HANDLE out = UsableStdHandle(failure ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (out != nullptr) {
    std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  MessageBoxA(nullptr, text.c_str(), "veltad.exe",
              MB_OK | MB_SETFOREGROUND | (failure ? MB_ICONERROR : MB_ICONINFORMATION));
}

// Runs an AfterInstall or AfterUninstall event; its failure does not undo
// the registration that already happened.
void RunAfterEvent(TService& service, const TService::TEvent& event) {
  if (!event) return;
  try {
    event(&service);
  } catch (const std::exception& e) {
    service.LogMessage(service.Name() + " : " + e.what());
  } catch (...) {
    service.LogMessage(service.Name() + " : unknown error");
  }
}

DWORD AddEventSource(const std::string& name, const std::string& exePath) {
  TRegKey key;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kEventSourceKey + name).c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
  if (result != ERROR_SUCCESS) return static_cast<DWORD>(result);
  result = RegSetValueExA(key.Get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(exePath.c_str()), static_cast<DWORD>(exePath.size() + 1));
  if (result != ERROR_SUCCESS) return static_cast<DWORD>(result);
  DWORD types = kTypesSupported;
  result = RegSetValueExA(key.Get(), "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                          sizeof types);
  return static_cast<DWORD>(result);
}

DWORD RemoveEventSource(const std::string& name) {
  LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kEventSourceKey + name).c_str());
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(result);
}

DWORD SetDescription(SC_HANDLE handle, const std::string& description) {
  if (description.empty()) return ERROR_SUCCESS;
  // Wide, so that the letters survive whatever code page the system has.
  std::wstring text = WideFrom1250(description);
  SERVICE_DESCRIPTIONW info{};
  info.lpDescription = &text[0];
  if (!ChangeServiceConfig2W(handle, SERVICE_CONFIG_DESCRIPTION, &info)) return GetLastError();
  return ERROR_SUCCESS;
}

DWORD Install(TService& service, std::string& message) {
  std::string exePath = ModulePath();
  if (exePath.empty()) {
    DWORD error = GetLastError();
    message = "cannot tell the program's own path: " + SystemMessage(error);
    return error;
  }
  TScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!manager) {
    DWORD error = GetLastError();
    message = "cannot open the service manager: " + SystemMessage(error);
    return error;
  }
  // Quoted, so that a directory with blanks in its name starts this program.
  std::string commandLine = "\"" + exePath + "\"";
  // Started with the system: StartType in veltactl.ini is the
  // administrator's switch across reboots, and a service that is switched
  // off stops itself at once.
  TScHandle created(CreateServiceA(manager.Get(), service.Name().c_str(), service.DisplayName().c_str(),
                                   SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                   SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr, nullptr, nullptr,
                                   nullptr));
  if (!created) {
    DWORD error = GetLastError();
    message = "cannot create the service: " + SystemMessage(error);
    return error;
  }
  DWORD error = SetDescription(created.Get(), service.Description);
  if (error != ERROR_SUCCESS) {
    DeleteService(created.Get());
    message = "cannot set the service's description: " + SystemMessage(error);
    return error;
  }
  error = AddEventSource(service.Name(), exePath);
  if (error != ERROR_SUCCESS) {
    // Half an installation would leave a service whose errors cannot be read.
    DeleteService(created.Get());
    message = "cannot register the event source: " + SystemMessage(error);
    return error;
  }
  RunAfterEvent(service, service.AfterInstall);
  message = "installed";
  return ERROR_SUCCESS;
}

// Asks a running service to stop and waits, bounded, until it has.
DWORD StopAndWait(SC_HANDLE handle) {
  auto deadline = std::chrono::steady_clock::now() + kStopWait;
  bool asked = false;
  for (;;) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(handle, &status)) return GetLastError();
    if (status.dwCurrentState == SERVICE_STOPPED) return ERROR_SUCCESS;
    // Asked once only: Wine's manager ends the service's process when a
    // second control comes before the service has reported STOP_PENDING.
    // A stop refused while a start is pending is asked again on the next
    // pass.
    if (!asked && status.dwCurrentState != SERVICE_STOP_PENDING) {
      SERVICE_STATUS ignored{};
      asked = ControlService(handle, SERVICE_CONTROL_STOP, &ignored) != FALSE;
    }
    if (std::chrono::steady_clock::now() >= deadline) return ERROR_SERVICE_REQUEST_TIMEOUT;
    std::this_thread::sleep_for(kStopPoll);
  }
}

// Opens the registered service with the given rights; on failure tells why.
DWORD OpenInstalled(TService& service, DWORD access, TScHandle& installed, std::string& message) {
  TScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    DWORD error = GetLastError();
    message = "cannot open the service manager: " + SystemMessage(error);
    return error;
  }
  installed.Reset(OpenServiceA(manager.Get(), service.Name().c_str(), access));
  if (!installed) {
    DWORD error = GetLastError();
    message = "cannot open the service: " + SystemMessage(error);
    return error;
  }
  return ERROR_SUCCESS;
}

// Stops the service and returns once it has stopped: for an installer that
// must not touch veltad.exe while it still runs.
DWORD Stop(TService& service, std::string& message) {
  TScHandle installed;
  DWORD error = OpenInstalled(service, SERVICE_STOP | SERVICE_QUERY_STATUS, installed, message);
  if (error != ERROR_SUCCESS) return error;
  error = StopAndWait(installed.Get());
  if (error != ERROR_SUCCESS) {
    message = "did not stop: " + SystemMessage(error);
    return error;
  }
  message = "stopped";
  return ERROR_SUCCESS;
}

// Starts the service when its settings say it is meant to run, as the
// system would at boot; an installer runs it after it has put the program
// in place. A switched-off service is left alone, and nothing is logged.
DWORD AutoStart(TService& service, std::string& message) {
  if (!service.SwitchedOn()) {
    message = "switched off, not started";
    return ERROR_SUCCESS;
  }
  TScHandle installed;
  DWORD error = OpenInstalled(service, SERVICE_START, installed, message);
  if (error != ERROR_SUCCESS) return error;
  if (!StartServiceA(installed.Get(), 0, nullptr)) {
    error = GetLastError();
    if (error != ERROR_SERVICE_ALREADY_RUNNING) {
      message = "cannot start it: " + SystemMessage(error);
      return error;
    }
  }
  message = "started";
  return ERROR_SUCCESS;
}

DWORD Uninstall(TService& service, std::string& message) {
  TScHandle installed;
  DWORD openError = OpenInstalled(service, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE, installed, message);
  if (openError != ERROR_SUCCESS) return openError;
  DWORD stopError = StopAndWait(installed.Get());
  if (!DeleteService(installed.Get())) {
    DWORD error = GetLastError();
    message = "cannot remove the service: " + SystemMessage(error);
    return error;
  }
  DWORD error = RemoveEventSource(service.Name());
  if (error != ERROR_SUCCESS) {
    message = "removed, but its event source stays registered: " + SystemMessage(error);
    return error;
  }
  RunAfterEvent(service, service.AfterUninstall);
  if (stopError != ERROR_SUCCESS) {
    message = "marked for removal, but it did not stop: " + SystemMessage(stopError);
    return stopError;
  }
  message = "uninstalled";
  return ERROR_SUCCESS;
}

// The one service of the process, for the dispatcher's callbacks, which
// carry no context of their own.
std::atomic<TService*> HostedService{nullptr};
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
std::mutex StatusLock;
DWORD CheckPoint = 0;

bool IsPending(TServiceState state) {
  return state == TServiceState::StartPending || state == TServiceState::StopPending ||
         state == TServiceState::PausePending || state == TServiceState::ContinuePending;
}

void ReportState(TServiceState state, int exitCode) {
  std::lock_guard<std::mutex> hold(StatusLock);
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = static_cast<DWORD>(state);
  // While it starts or stops the service can take no request; the system
  // answers for it.
  if (state != TServiceState::StartPending && state != TServiceState::StopPending &&
      state != TServiceState::Stopped) {
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
  }
  if (state == TServiceState::Stopped && exitCode != 0) {
    status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
  }
  if (IsPending(state)) {
    status.dwCheckPoint = ++CheckPoint;
    status.dwWaitHint = kPendingWaitHintMs;
  } else {
    CheckPoint = 0;
  }
  SetServiceStatus(StatusHandle, &status);
}

// Held while the control thread hands a code to the service object, and
// while the end of the program lets go of that object: a request that comes
// as the service stops never reaches an object that is gone.
std::mutex ControlLock;

// The system's thread for control requests: it only hands the code on, the
// service thread does the work.
DWORD WINAPI ControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
  bool known = control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_PAUSE ||
               control == SERVICE_CONTROL_CONTINUE || control == SERVICE_CONTROL_SHUTDOWN ||
               (control >= kFirstUserControl && control <= kLastUserControl);
  std::lock_guard<std::mutex> hold(ControlLock);
  TService* service = HostedService.load();
  if (!known || service == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  service->GetControlEntry()(control);
  return NO_ERROR;
}

// Whether the service thread is still inside ServiceMain: the dispatcher
// returns as soon as the service reports STOPPED, which may be before that
// thread has left the service object's code.
std::mutex MainLock;
std::condition_variable MainLeft;
bool MainRunning = false;

void SetMainRunning(bool running) {
  std::lock_guard<std::mutex> hold(MainLock);
  MainRunning = running;
  MainLeft.notify_all();
}

// The dispatcher runs this on a thread of its own, which becomes the
// service thread for the service's whole life.
void WINAPI ServiceMain(DWORD, LPSTR*) {
  SetMainRunning(true);
  TService* service = HostedService.load();
  StatusHandle = RegisterServiceCtrlHandlerExA(service->Name().c_str(), ControlHandler, nullptr);
  if (StatusHandle != nullptr) {
    service->SetStateListener(ReportState);
    ReportState(TServiceState::StartPending, 0);
    // Its last step reports STOPPED; nothing may touch the service after it.
    service->RunServiceThread();
  }
  SetMainRunning(false);
}

bool SwitchIs(const char* argument, const char* name) {
  if (argument[0] != '/' && argument[0] != '-') return false;
  const char* given = argument + 1;
  for (; *given != '\0' && *name != '\0'; ++given, ++name) {
    if (std::tolower(static_cast<unsigned char>(*given)) != *name) return false;
  }
  return *given == '\0' && *name == '\0';
}

}  // namespace

int RunServiceApplication(TService& service, int argc, char** argv) {
  bool install = false;
  bool uninstall = false;
  bool stop = false;
  bool autoStart = false;
  bool silent = false;
  for (int i = 1; i < argc; ++i) {
    if (SwitchIs(argv[i], "install")) install = true;
    if (SwitchIs(argv[i], "uninstall")) uninstall = true;
    if (SwitchIs(argv[i], "stop")) stop = true;
    if (SwitchIs(argv[i], "autostart")) autoStart = true;
    if (SwitchIs(argv[i], "silent")) silent = true;
  }

  if (install || uninstall || stop || autoStart) {
    std::string message;
    DWORD result = ERROR_SUCCESS;
    if (int(install) + int(uninstall) + int(stop) + int(autoStart) > 1) {
      result = ERROR_INVALID_PARAMETER;
      message = "give one of /install, /uninstall, /stop and /autostart";
    } else if (install) {
      result = Install(service, message);
    } else if (uninstall) {
      result = Uninstall(service, message);
    } else if (autoStart) {
      result = AutoStart(service, message);
    } else {
      result = Stop(service, message);
    }
    if (!silent) Tell(service.Name() + ": " + message + ".", result != ERROR_SUCCESS);
    // The result is the process's exit code, for scripts and installers.
    return static_cast<int>(result);
  }

  HostedService.store(&service);
  std::string name = service.Name();
  SERVICE_TABLE_ENTRYA table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table) && !silent) {
    DWORD error = GetLastError();
    // Started by hand rather than by the service manager.
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
      Tell("veltad.exe is the Windows service " + name + " (" + service.DisplayName() +
               "): the service manager starts it. Register it with veltad.exe /install, remove it with "
               "veltad.exe /uninstall; veltad.exe /stop stops it and waits until it has stopped; veltad.exe "
               "/autostart starts it when veltactl.ini says StartType=1; /silent suppresses "
               "the messages.",
           false);
    } else {
      Tell("veltad.exe: cannot connect to the service manager: " + SystemMessage(error), true);
    }
  }
  {
    // The service object is the caller's and goes away once this returns.
    std::unique_lock<std::mutex> hold(MainLock);
    MainLeft.wait_for(hold, kServiceMainExitWait, [] { return !MainRunning; });
  }
  std::lock_guard<std::mutex> hold(ControlLock);
  HostedService.store(nullptr);
  return 0;
}

void ShowStartupError(const char* message) {
  std::string text = std::string("veltad.exe : ") + (*message != '\0' ? message : "unknown error");
  HANDLE err = UsableStdHandle(STD_ERROR_HANDLE);
  if (err != nullptr) {
    std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  // A service has no one to read its screen: the event log is where its
  // administrator looks.
  TEventLog::Platform().LogError(text);
}
