#include "service/net/id_tcp_server.h"

#include <chrono>
#include <thread>

#include "service/net/id_exceptions.h"
#include "service/net/id_listener_thread.h"
#include "service/net/id_peer_thread.h"
#include "service/net/id_thread_mgr.h"

TIdSocketHandle& TIdSocketHandles::Add() {
  FItems.push_back(std::make_unique<TIdSocketHandle>(FLayer));
  return *FItems.back();
}

TIdTCPServer::TIdTCPServer(TIdSocketLayer& layer) : FBindings(layer) {}

TIdTCPServer::~TIdTCPServer() {
  try {
    SetActive(false);
  } catch (...) {
  }
  // Connection threads hold a reference to this server until they have
  // unregistered; the server cannot go before they have.
  while (!FThreads.IsEmpty()) {
    DropConnections();
    std::this_thread::sleep_for(std::chrono::milliseconds(kTerminatePollMs));
  }
}

void TIdTCPServer::SetActive(bool value) {
  if (value == FActive) return;
  if (value) {
    Activate();
    FActive = true;
  } else {
    Deactivate();
    FActive = false;
  }
}

void TIdTCPServer::Activate() {
  if (FBindings.Count() == 0) {
    TIdSocketHandle& binding = FBindings.Add();
    binding.IP = "";
    binding.Port = FDefaultPort;
  }
  if (!FThreadMgr) FThreadMgr = std::make_unique<TIdThreadMgrDefault>();
  BindAll();
  ListenAll();
}

void TIdTCPServer::BindAll() {
  std::size_t index = 0;
  try {
    for (; index < FBindings.Count(); ++index) {
      FBindings.Items(index).AllocateSocket();
      FBindings.Items(index).Bind();
    }
  } catch (...) {
    // The failing binding's own socket goes too, then those before it.
    for (std::size_t i = index + 1; i-- > 0;) {
      if (i < FBindings.Count()) FBindings.Items(i).CloseSocket();
    }
    try {
      Deactivate();
    } catch (...) {
    }
    throw;
  }
}

void TIdTCPServer::ListenAll() {
  try {
    for (std::size_t i = 0; i < FBindings.Count(); ++i) {
      TIdSocketHandle& binding = FBindings.Items(i);
      binding.Listen(ListenQueue);
      FListeners.push_back(std::make_unique<TIdListenerThread>(*this, binding));
      FListeners.back()->Start();
    }
  } catch (...) {
    // Never left listening while inactive: stop what was started and close
    // every binding.
    try {
      Deactivate();
    } catch (...) {
    }
    for (std::size_t i = FBindings.Count(); i-- > 0;) FBindings.Items(i).CloseSocket();
    throw;
  }
}

void TIdTCPServer::Deactivate() {
  StopListeners();
  DropConnections();
  bool ended = WaitForConnectionThreads();
  if (FThreads.IsEmpty()) FThreadMgr.reset();
  if (!ended) throw EIdTerminateThreadTimeout();
}

void TIdTCPServer::StopListeners() {
  for (std::unique_ptr<TIdListenerThread>& listener : FListeners) {
    listener->Stop();
    listener->Binding().CloseSocket();
    listener->WaitFor();
    listener.reset();
  }
  FListeners.clear();
}

void TIdTCPServer::DropConnections() {
  FThreads.ForEach([](TIdPeerThread* thread) {
    if (thread->Connection() != nullptr) thread->Connection()->DropSocket();
  });
}

bool TIdTCPServer::WaitForConnectionThreads() {
  if (FThreads.IsEmpty()) return true;
  for (int i = 0; i < TerminateWaitTime / kTerminatePollMs; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kTerminatePollMs));
    if (FThreads.IsEmpty()) return true;
  }
  return FThreads.IsEmpty();
}

void TIdTCPServer::DoConnect(TIdPeerThread* thread) {
  if (OnConnect) OnConnect(thread);
}

void TIdTCPServer::DoExecute(TIdPeerThread* thread) {
  if (!OnExecute) {
    // Nothing would ever read this connection.
    thread->Stop();
    return;
  }
  OnExecute(thread);
}

void TIdTCPServer::DoDisconnect(TIdPeerThread* thread) {
  if (OnDisconnect) OnDisconnect(thread);
}

void TIdTCPServer::DoException(TIdPeerThread* thread, const std::exception& error) {
  if (OnException) OnException(thread, error);
}

void TIdTCPServer::DoListenException(TIdListenerThread* thread, const std::exception& error) {
  if (OnListenException) OnListenException(thread, error);
}
