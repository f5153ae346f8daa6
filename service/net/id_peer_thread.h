#pragma once

#include <memory>

#include "service/net/id_tcp_connection.h"
#include "service/net/id_thread.h"

class TIdTCPServer;

// The thread of one accepted connection: calls the server's OnExecute
// handler again and again until the connection ends, then cleans up and
// frees itself. Serves exactly one connection and is never reused.
class TIdPeerThread : public TIdThread {
 public:
  // After this many socket errors in a row that leave the socket open, the
  // connection is given up instead of being read again without end.
  static constexpr int kMaxConsecutiveSocketErrors = 3;

  // The stack reserved for each connection thread. The echo exchange keeps
  // its buffers on the heap: the transport, echo and service tests pass
  // under AddressSanitizer with 16 KiB, the least a thread may have. A
  // sixteenfold margin costs 2.5 GiB of address space for ten thousand
  // connections, where the platform's default would reserve 80 (Linux) or
  // 20 (Windows).
  static constexpr std::size_t kStackBytes = 256 * 1024;

  explicit TIdPeerThread(TIdTCPServer& server) : TIdThread(kStackBytes), FServer(server) {}

  TIdTCPServerConnection* Connection() { return FConnection.get(); }
  void SetConnection(std::unique_ptr<TIdTCPServerConnection> connection) { FConnection = std::move(connection); }

 protected:
  void Run() override;

 private:
  void Serve();
  // Returns true when the error counts as one in a row that left the socket open.
  bool HandleSocketError(const class EIdSocketError& error);
  std::unique_ptr<TIdPeerThread> CleanUp();

  TIdTCPServer& FServer;
  std::unique_ptr<TIdTCPServerConnection> FConnection;
};
