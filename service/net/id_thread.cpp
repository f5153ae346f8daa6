#include "service/net/id_thread.h"

TIdThread::~TIdThread() {
  if (FThread.Joinable()) {
    if (FThread.IsCurrent()) {
      FThread.Detach();
    } else {
      Stop();
      FThread.Join();
    }
  }
}

void TIdThread::Start() {
  // The new thread may end, and a connection thread free itself, before
  // Start has recorded it here; it starts its work only once FThread is in
  // place.
  std::lock_guard<std::mutex> starting(FStartLock);
  FThread.Start(
      [this] {
        { std::lock_guard<std::mutex> started(FStartLock); }
        Run();
      },
      FStackBytes);
}

void TIdThread::Stop() {
  std::lock_guard<std::mutex> hold(FLock);
  FStopped = true;
  FTerminated = true;
  FStopRequested.notify_all();
}

bool TIdThread::WaitForStop(int ms) {
  std::unique_lock<std::mutex> hold(FLock);
  return FStopRequested.wait_for(hold, std::chrono::milliseconds(ms), [this] { return FStopped; });
}

bool TIdThread::Stopped() {
  std::lock_guard<std::mutex> hold(FLock);
  return FStopped;
}

bool TIdThread::Terminated() {
  std::lock_guard<std::mutex> hold(FLock);
  return FTerminated;
}

void TIdThread::WaitFor() {
  if (FThread.Joinable() && !FThread.IsCurrent()) FThread.Join();
}

void TIdThread::Detach() {
  FThread.Detach();
}
