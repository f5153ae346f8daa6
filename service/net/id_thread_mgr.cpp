#include "service/net/id_thread_mgr.h"

#include <algorithm>

#include "service/net/id_peer_thread.h"

TIdPeerThread* TIdThreadMgrDefault::GetThread(TIdTCPServer& server) {
  auto thread = std::make_unique<TIdPeerThread>(server);
  TIdPeerThread* handedOut = thread.get();
  std::lock_guard<std::mutex> hold(FLock);
  FActiveThreads.push_back(std::move(thread));
  return handedOut;
}

std::unique_ptr<TIdPeerThread> TIdThreadMgrDefault::ReleaseThread(TIdPeerThread* thread) {
  std::lock_guard<std::mutex> hold(FLock);
  auto found = std::find_if(FActiveThreads.begin(), FActiveThreads.end(),
                            [thread](const std::unique_ptr<TIdPeerThread>& item) { return item.get() == thread; });
  if (found == FActiveThreads.end()) return nullptr;
  std::unique_ptr<TIdPeerThread> released = std::move(*found);
  FActiveThreads.erase(found);
  return released;
}

std::size_t TIdThreadMgrDefault::ActiveThreadCount() {
  std::lock_guard<std::mutex> hold(FLock);
  return FActiveThreads.size();
}
