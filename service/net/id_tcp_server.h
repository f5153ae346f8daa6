#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "service/net/id_socket_handle.h"
#include "service/net/id_thread_list.h"

class TIdListenerThread;
class TIdPeerThread;
class TIdThreadMgrDefault;

// The server's listening endpoints, in the order they were added.
class TIdSocketHandles {
 public:
  explicit TIdSocketHandles(TIdSocketLayer& layer) : FLayer(layer) {}
  TIdSocketHandle& Add();
  std::size_t Count() const { return FItems.size(); }
  TIdSocketHandle& Items(std::size_t index) { return *FItems[index]; }

 private:
  TIdSocketLayer& FLayer;
  std::vector<std::unique_ptr<TIdSocketHandle>> FItems;
};

// A TCP server over IPv4: one listener thread per binding, one thread per
// accepted connection calling OnExecute until the connection ends.
class TIdTCPServer {
 public:
  using TPeerEvent = std::function<void(TIdPeerThread*)>;
  using TPeerExceptionEvent = std::function<void(TIdPeerThread*, const std::exception&)>;
  using TListenExceptionEvent = std::function<void(TIdListenerThread*, const std::exception&)>;

  static constexpr int kTerminatePollMs = 250;

  explicit TIdTCPServer(TIdSocketLayer& layer = TIdSocketLayer::Platform());
  ~TIdTCPServer();
  TIdTCPServer(const TIdTCPServer&) = delete;
  TIdTCPServer& operator=(const TIdTCPServer&) = delete;

  bool Active() const { return FActive; }
  // Runs activation or deactivation on the caller's thread; the value the
  // server already has does nothing.
  void SetActive(bool value);
  int DefaultPort() const { return FDefaultPort; }
  // Only stored, for the binding a later first activation creates.
  void SetDefaultPort(int port) { FDefaultPort = port; }
  TIdSocketHandles& Bindings() { return FBindings; }

  int ListenQueue = 15;
  // 0: no limit on simultaneous connections.
  int MaxConnections = 0;
  int TerminateWaitTime = 5000;

  TPeerEvent OnExecute;
  TPeerEvent OnConnect;
  TPeerEvent OnDisconnect;
  TPeerExceptionEvent OnException;
  TListenExceptionEvent OnListenException;

  // Every running connection thread, from just before its start until its
  // clean-up.
  TIdThreadList<TIdPeerThread*>& Threads() { return FThreads; }
  TIdThreadMgrDefault* ThreadMgr() { return FThreadMgr.get(); }

  // Called from the server's threads.
  void DoConnect(TIdPeerThread* thread);
  void DoExecute(TIdPeerThread* thread);
  void DoDisconnect(TIdPeerThread* thread);
  void DoException(TIdPeerThread* thread, const std::exception& error);
  void DoListenException(TIdListenerThread* thread, const std::exception& error);
  // A listener rests after a failure of its own before it accepts again;
  // counted for whoever watches the server.
  void DoListenerRest() { ++FListenerRests; }
  int ListenerRests() const { return FListenerRests; }

 private:
  void Activate();
  void BindAll();
  void ListenAll();
  // Raises EIdTerminateThreadTimeout when connection threads outlive the wait.
  void Deactivate();
  void StopListeners();
  void DropConnections();
  bool WaitForConnectionThreads();

  bool FActive = false;
  int FDefaultPort = 0;
  TIdSocketHandles FBindings;
  std::vector<std::unique_ptr<TIdListenerThread>> FListeners;
  TIdThreadList<TIdPeerThread*> FThreads;
  std::unique_ptr<TIdThreadMgrDefault> FThreadMgr;
  std::atomic<int> FListenerRests{0};
};
