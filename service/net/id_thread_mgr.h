#pragma once

#include <memory>
#include <mutex>
#include <vector>

class TIdPeerThread;
class TIdTCPServer;

// Hands out one new connection thread per connection and takes it back when
// the connection ends. Owns the threads it has handed out until then.
class TIdThreadMgrDefault {
 public:
  // A new thread, not started, registered in the manager's list.
  TIdPeerThread* GetThread(TIdTCPServer& server);
  // Takes the thread out of the list and gives it to the caller: a thread
  // releasing itself keeps its object until it ends; anyone else frees it.
  std::unique_ptr<TIdPeerThread> ReleaseThread(TIdPeerThread* thread);
  std::size_t ActiveThreadCount();

 private:
  std::mutex FLock;
  std::vector<std::unique_ptr<TIdPeerThread>> FActiveThreads;
};
