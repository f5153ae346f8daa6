#include "service/net/id_thread.h"

TIdThread::~TIdThread() {
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id()) {
      FThread.detach();
    } else {
      Stop();
      FThread.join();
    }
  }
}

void TIdThread::Start() {
  // The new thread may end, and a connection thread free itself, before
  // std::thread's assignment here is done; it starts its work only once
  // FThread is in place.
  std::lock_guard<std::mutex> starting(FStartLock);
  FThread = std::thread([this] {
    { std::lock_guard<std::mutex> started(FStartLock); }
    Run();
  });
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
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TIdThread::Detach() {
  if (FThread.joinable()) FThread.detach();
}
