#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "service/net/socket_layer.h"

// One socket: a listening binding of the server, or the holder of an
// accepted connection. CloseSocket() may come from any thread; the handle
// itself is only released once no thread is inside a call on it, so a handle
// value is never reused under a thread that still uses it.
class TIdSocketHandle {
 public:
  explicit TIdSocketHandle(TIdSocketLayer& layer = TIdSocketLayer::Platform());
  ~TIdSocketHandle();
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  // The local endpoint: what to bind (empty IP: every local IPv4 address),
  // and after a bind or accept what the socket reports.
  std::string IP;
  int Port = 0;
  std::string PeerIP;
  int PeerPort = 0;

  // Creates a fresh socket, closing the one held before; EIdInvalidSocket.
  void AllocateSocket();
  // EIdCouldNotBindSocket for a port in use, EIdSocketError otherwise.
  void Bind();
  void Listen(int backlog);
  // > 0 readable, 0 time is up, Id_SOCKET_ERROR when the wait failed or the
  // socket is closed. A timeout below 0 waits without limit.
  int Select(int timeoutMs);
  // Gives `into` the accepted socket. False when the accept yields no
  // connection (interrupted, or this socket was closed); EIdSocketError for
  // any other failure.
  bool Accept(TIdSocketHandle& into);
  // Both raise EIdClosedSocket once the socket is closed; otherwise they
  // return what the socket layer returned.
  int Recv(void* buffer, int length);
  int Send(const void* buffer, int length, bool moreFollows = false);
  // Shutdown for sending, then close. Does nothing to a closed socket.
  void CloseSocket();
  bool HandleAllocated() const { return FAllocated.load(); }
  void SetNoDelay();
  // The Winsock code of this thread's last failed Select, Recv or Send.
  int LastError();
  TIdSocketLayer& Layer() { return FLayer; }

 private:
  TIdStackSocketHandle AcquireLease();
  void ReleaseLease();
  void ReleaseHandleLocked();
  void Adopt(TIdStackSocketHandle handle);

  class TLease;

  TIdSocketLayer& FLayer;
  std::mutex FLock;
  TIdStackSocketHandle FHandle = Id_INVALID_SOCKET;
  std::atomic<bool> FAllocated{false};
  int FLeases = 0;
  bool FReleasePending = false;
  bool FReleasedByInterrupt = false;
};
