#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>

#include "service/descriptor_limit.h"
#include "service/service_application.h"

namespace {

sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&set, signal);
  return set;
}

// The control code a signal stands for.
unsigned ControlCodeOf(int signal) {
  switch (signal) {
    case SIGHUP: return 200;
    case SIGUSR1: return kControlPause;
    case SIGUSR2: return kControlContinue;
    default: return kControlStop;
  }
}

}  // namespace

int RunServiceApplication(TService& service, int, char**) {
  RaiseDescriptorLimit();
  // Blocked before any thread starts, the signals reach only the waiter
  // below and never interrupt the server's threads.
  sigset_t signals = ControlSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::atomic<bool> stopped{false};
  std::thread waiter([&] {
    const timespec pollEvery{0, 200 * 1000 * 1000};
    while (!stopped.load()) {
      int signal = sigtimedwait(&signals, nullptr, &pollEvery);
      if (signal > 0) service.GetControlEntry()(ControlCodeOf(signal));
    }
  });
  service.RunServiceThread();
  stopped.store(true);
  waiter.join();
  return 0;
}

void ShowStartupError(const char* message) { std::fprintf(stderr, "veltad: %s\n", message); }
