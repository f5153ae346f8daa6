#include <csignal>
#include <pthread.h>

#include "service/stop_signal.h"

namespace {
sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}
}  // namespace

void PrepareStopSignal() {
  // Blocked here, the mask is inherited by every thread started later, so
  // no worker is ever interrupted by the signal.
  sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void WaitForStopSignal() {
  sigset_t set = StopSignals();
  int received = 0;
  sigwait(&set, &received);
}
