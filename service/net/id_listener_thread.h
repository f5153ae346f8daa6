#pragma once

#include "service/net/id_socket_handle.h"
#include "service/net/id_thread.h"

class TIdTCPServer;

// Accepts connections on one binding and gives each a connection thread.
class TIdListenerThread : public TIdThread {
 public:
  // The listener looks at its stop flag at least this often.
  static constexpr int kAcceptWaitMs = 100;

  TIdListenerThread(TIdTCPServer& server, TIdSocketHandle& binding) : FServer(server), FBinding(binding) {}
  TIdSocketHandle& Binding() { return FBinding; }

 protected:
  void Run() override;

 private:
  // False when the wait yields no connection.
  bool AcceptOne();
  bool WaitForConnection(TIdSocketHandle& into);
  // A failure that lasts (no descriptors left, no buffers) would fail again
  // at once: the listener must not spin a core while it does.
  void Rest();

  TIdTCPServer& FServer;
  TIdSocketHandle& FBinding;
};
