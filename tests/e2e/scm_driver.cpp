// scm-driver: drives one installed service through the service control
// manager, one request per run, for end-to-end tests and scripts.
//
//   scm-driver [--service NAME] start
//   scm-driver [--service NAME] stop | pause | continue | interrogate
//   scm-driver [--service NAME] control CODE
//   scm-driver [--service NAME] state
//   scm-driver [--service NAME] wait STATE SECONDS
//
// The exit code is the Win32 error of the request (0 on success), so that a
// script can tell 1056 (already running) or 1062 (not active) apart. state
// and wait print "NAME NUMBER win32=CODE specific=CODE" for the state the
// manager reports; wait ends with 1460 (timeout) when the state did not come
// within SECONDS.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "service/sc_handle_win32.h"

namespace {

struct TStateName {
  DWORD State;
  const char* Name;
};

constexpr TStateName kStates[] = {
    {SERVICE_STOPPED, "STOPPED"},
    {SERVICE_START_PENDING, "START_PENDING"},
    {SERVICE_STOP_PENDING, "STOP_PENDING"},
    {SERVICE_RUNNING, "RUNNING"},
    {SERVICE_CONTINUE_PENDING, "CONTINUE_PENDING"},
    {SERVICE_PAUSE_PENDING, "PAUSE_PENDING"},
    {SERVICE_PAUSED, "PAUSED"},
};

// A manager that has just come up reports a locked database for a while;
// starts are retried within this bound.
constexpr auto kLockedRetryFor = std::chrono::seconds(60);
constexpr auto kLockedRetryPause = std::chrono::milliseconds(200);
constexpr auto kPollEvery = std::chrono::milliseconds(50);

const char* StateName(DWORD state) {
  for (const TStateName& entry : kStates) {
    if (entry.State == state) return entry.Name;
  }
  return "UNKNOWN";
}

bool ParseState(const char* text, DWORD& state) {
  for (const TStateName& entry : kStates) {
    if (_stricmp(text, entry.Name) == 0) {
      state = entry.State;
      return true;
    }
  }
  char* end = nullptr;
  unsigned long number = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || number < SERVICE_STOPPED || number > SERVICE_PAUSED) return false;
  state = static_cast<DWORD>(number);
  return true;
}

bool ParseNumber(const char* text, unsigned long& value) {
  char* end = nullptr;
  value = std::strtoul(text, &end, 10);
  return end != text && *end == '\0';
}

void PrintStatus(const SERVICE_STATUS& status) {
  std::printf("%s %lu win32=%lu specific=%lu\n", StateName(status.dwCurrentState),
              static_cast<unsigned long>(status.dwCurrentState), static_cast<unsigned long>(status.dwWin32ExitCode),
              static_cast<unsigned long>(status.dwServiceSpecificExitCode));
  std::fflush(stdout);
}

DWORD Fail(const char* what) {
  DWORD error = GetLastError();
  std::fprintf(stderr, "scm-driver: %s failed: %lu\n", what, static_cast<unsigned long>(error));
  return error;
}

DWORD Start(SC_HANDLE service) {
  auto deadline = std::chrono::steady_clock::now() + kLockedRetryFor;
  while (!StartServiceA(service, 0, nullptr)) {
    DWORD error = GetLastError();
    if (error != ERROR_SERVICE_DATABASE_LOCKED || std::chrono::steady_clock::now() >= deadline) {
      SetLastError(error);
      return Fail("StartServiceA");
    }
    std::this_thread::sleep_for(kLockedRetryPause);
  }
  return ERROR_SUCCESS;
}

DWORD Control(SC_HANDLE service, DWORD code) {
  SERVICE_STATUS status{};
  if (!ControlService(service, code, &status)) return Fail("ControlService");
  return ERROR_SUCCESS;
}

DWORD State(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service, &status)) return Fail("QueryServiceStatus");
  PrintStatus(status);
  return ERROR_SUCCESS;
}

DWORD Wait(SC_HANDLE service, DWORD wanted, unsigned long seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) return Fail("QueryServiceStatus");
    if (status.dwCurrentState == wanted) {
      PrintStatus(status);
      return ERROR_SUCCESS;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      PrintStatus(status);
      std::fprintf(stderr, "scm-driver: no %s within %lu s\n", StateName(wanted), seconds);
      return ERROR_TIMEOUT;
    }
    std::this_thread::sleep_for(kPollEvery);
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: scm-driver [--service NAME] start | stop | pause | continue | interrogate | control CODE |"
               " state | wait STATE SECONDS\n");
  return ERROR_INVALID_PARAMETER;
}

}  // namespace

int main(int argc, char** argv) {
  std::string name = "VeltaService";
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--service") == 0) {
    name = argv[2];
    first = 3;
  }
  if (first >= argc) return Usage();
  std::string command = argv[first];
  int extra = argc - first - 1;
  char** args = argv + first + 1;

  TScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return static_cast<int>(Fail("OpenSCManagerA"));
  TScHandle service(OpenServiceA(manager.Get(), name.c_str(),
                                 SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE |
                                     SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS));
  if (!service) return static_cast<int>(Fail("OpenServiceA"));

  DWORD result = ERROR_SUCCESS;
  if (command == "start" && extra == 0) {
    result = Start(service.Get());
  } else if (command == "stop" && extra == 0) {
    result = Control(service.Get(), SERVICE_CONTROL_STOP);
  } else if (command == "pause" && extra == 0) {
    result = Control(service.Get(), SERVICE_CONTROL_PAUSE);
  } else if (command == "continue" && extra == 0) {
    result = Control(service.Get(), SERVICE_CONTROL_CONTINUE);
  } else if (command == "interrogate" && extra == 0) {
    result = Control(service.Get(), SERVICE_CONTROL_INTERROGATE);
  } else if (command == "control" && extra == 1) {
    unsigned long code = 0;
    if (!ParseNumber(args[0], code)) return Usage();
    result = Control(service.Get(), static_cast<DWORD>(code));
  } else if (command == "state" && extra == 0) {
    result = State(service.Get());
  } else if (command == "wait" && extra == 2) {
    DWORD wanted = 0;
    unsigned long seconds = 0;
    if (!ParseState(args[0], wanted) || !ParseNumber(args[1], seconds)) return Usage();
    result = Wait(service.Get(), wanted, seconds);
  } else {
    return Usage();
  }
  return static_cast<int>(result);
}
