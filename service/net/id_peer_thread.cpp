#include "service/net/id_peer_thread.h"

#include "service/net/id_exceptions.h"
#include "service/net/id_tcp_server.h"
#include "service/net/id_thread_mgr.h"
#include "service/net/winsock_codes.h"

void TIdPeerThread::Run() {
  try {
    Serve();
  } catch (...) {
    // An error of a connection never leaves its thread.
  }
  std::unique_ptr<TIdPeerThread> self = CleanUp();
  // `self` frees this thread object now that the thread is done with it.
}

void TIdPeerThread::Serve() {
  if (!FConnection || FConnection->Socket() == nullptr) throw EIdNotConnected();
  FServer.DoConnect(this);
  if (!FConnection->IsConnected()) Stop();
  int socketErrorsInARow = 0;
  while (!Stopped()) {
    try {
      FServer.DoExecute(this);
      socketErrorsInARow = 0;
    } catch (const EIdSocketError& e) {
      FServer.DoException(this, e);
      if (e.LastError() == Id_WSAECONNABORTED || e.LastError() == Id_WSAECONNRESET) {
        FConnection->DropSocket();
      } else if (++socketErrorsInARow >= kMaxConsecutiveSocketErrors) {
        FConnection->DropSocket();
      }
    } catch (const EIdClosedSocket& e) {
      FServer.DoException(this, e);
    } catch (const EIdConnClosedGracefully& e) {
      FServer.DoException(this, e);
    } catch (const std::exception& e) {
      FServer.DoException(this, e);
      Stop();
      break;
    }
    if (!FConnection->IsConnected()) Stop();
  }
}

std::unique_ptr<TIdPeerThread> TIdPeerThread::CleanUp() {
  try {
    FServer.DoDisconnect(this);
  } catch (...) {
  }
  // The client sees its connection closed before the thread is unregistered,
  // so a deactivation that has waited for the list to empty has closed them all.
  if (FConnection) FConnection->DropSocket();
  std::unique_ptr<TIdPeerThread> self = FServer.ThreadMgr()->ReleaseThread(this);
  Detach();
  // The last touch of the server: once unregistered, deactivation no longer
  // reaches this thread or its connection, and the server may go.
  FServer.Threads().Remove(this);
  FConnection.reset();
  return self;
}
