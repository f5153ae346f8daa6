#include "service/net/handle_reuse_gate.h"

THandleReuseGate& THandleReuseGate::Instance() {
  static THandleReuseGate gate;
  return gate;
}

void THandleReuseGate::End() {
  std::lock_guard<std::mutex> hold(FLock);
  --FOutstanding;
  FChanged.notify_all();
}

std::unique_lock<std::mutex> THandleReuseGate::EnterCreation(const std::atomic<bool>* wanted) {
  std::unique_lock<std::mutex> hold(FLock);
  FChanged.wait(hold, [&] { return FOutstanding == 0 || (wanted != nullptr && !wanted->load()); });
  if (FOutstanding != 0) hold.unlock();
  return hold;
}
