#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "service/net/socket_layer.h"

// A socket layer that plays back what the tests script: the results of recv
// calls in order, connections waiting to be accepted, and send results; it
// records every send. Once the recv script is used up, recv reports the
// peer's close (0), unless FailRecvForever says otherwise.
class TScriptedSocketLayer : public TIdSocketLayer {
 public:
  // The next recv brings these bytes (at most what the caller asks for;
  // the rest stays queued for the next recv).
  void QueueRecv(const std::string& bytes);
  void QueueRecvError(int code);
  // From now on every recv fails with the code, after the queued results.
  void FailRecvForever(int code);
  // A connection that the listening socket offers to accept.
  void QueueAccept();
  // The next accept fails with the code (in order with QueueAccept).
  void QueueAcceptError(int code);
  // The next send takes at most this many bytes (one entry per call).
  void LimitNextSend(int count);
  void QueueSendError(int code);

  std::vector<std::string> Sends();
  // For each send, whether the caller said more would follow at once.
  std::vector<bool> SendsHeldForMore();
  int RecvCalls();
  int ShutdownCalls();
  int CloseCalls();

  TIdStackSocketHandle CreateSocket() override;
  int Bind(TIdStackSocketHandle socket, const std::string& ip, int port) override;
  int Listen(TIdStackSocketHandle socket, int backlog) override;
  TIdStackSocketHandle Accept(TIdStackSocketHandle socket) override;
  int WaitReadable(TIdStackSocketHandle socket, int timeoutMs) override;
  int Recv(TIdStackSocketHandle socket, void* buffer, int length) override;
  int Send(TIdStackSocketHandle socket, const void* buffer, int length, bool moreFollows) override;
  int Shutdown(TIdStackSocketHandle socket, int how) override;
  int Close(TIdStackSocketHandle socket) override;
  bool Interrupt(TIdStackSocketHandle socket) override;
  bool LocalAddress(TIdStackSocketHandle socket, TIdSocketAddress& address) override;
  bool PeerAddress(TIdStackSocketHandle socket, TIdSocketAddress& address) override;
  void SetNoDelay(TIdStackSocketHandle socket) override;
  int LastError() override;

 private:
  struct TRecvResult {
    std::string Bytes;
    int Error = 0;
  };
  struct TSendResult {
    int Limit = -1;
    int Error = 0;
  };
  bool IsListening(TIdStackSocketHandle socket);

  std::mutex FLock;
  std::deque<TRecvResult> FRecvs;
  int FRecvForeverError = 0;
  std::deque<TSendResult> FSendResults;
  std::vector<std::string> FSends;
  std::vector<bool> FSendsHeldForMore;
  std::vector<TIdStackSocketHandle> FListening;
  // Accept results in order: 0 a connection, else the error code.
  std::deque<int> FAccepts;
  TIdStackSocketHandle FNextHandle = 100;
  int FBoundPort = 0;
  int FRecvCalls = 0;
  int FShutdownCalls = 0;
  int FCloseCalls = 0;
};

