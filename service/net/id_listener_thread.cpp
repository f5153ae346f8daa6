#include "service/net/id_listener_thread.h"

#include <memory>

#include "service/net/id_exceptions.h"
#include "service/net/id_peer_thread.h"
#include "service/net/id_tcp_server.h"
#include "service/net/id_thread_mgr.h"

void TIdListenerThread::Run() {
  while (!Stopped()) {
    try {
      if (!AcceptOne()) Stop();
    } catch (const EIdSocketError& e) {
      FServer.DoListenException(this, e);
      // A client that resets while it waits to be accepted must not make
      // every client behind it wait too.
      if (!IdAcceptFailedForOneConnection(e.LastError())) Rest();
    } catch (const std::exception& e) {
      FServer.DoListenException(this, e);
      Rest();
    }
  }
  FBinding.CloseSocket();
}

bool TIdListenerThread::AcceptOne() {
  auto connection = std::make_unique<TIdTCPServerConnection>(FServer);
  auto socket = std::make_unique<TIdSocketHandle>(FBinding.Layer());
  if (!WaitForConnection(*socket)) return false;
  // The reply's length goes in a send of its own; with Nagle's algorithm on,
  // the payload behind it would wait for the client's delayed acknowledgement.
  socket->SetNoDelay();
  TIdPeerThread* peer = FServer.ThreadMgr()->GetThread(FServer);
  try {
    connection->SetSocket(std::move(socket));
    peer->SetConnection(std::move(connection));
    FServer.Threads().Add(peer);
    peer->Start();
  } catch (...) {
    FServer.Threads().Remove(peer);
    FServer.ThreadMgr()->ReleaseThread(peer);
    throw;
  }
  return true;
}

bool TIdListenerThread::WaitForConnection(TIdSocketHandle& into) {
  while (!Stopped()) {
    int ready = FBinding.Select(kAcceptWaitMs);
    if (ready > 0) return FBinding.Accept(into);
    if (ready < 0) Rest();
  }
  return false;
}

void TIdListenerThread::Rest() {
  FServer.DoListenerRest();
  WaitForStop(kAcceptWaitMs);
}
