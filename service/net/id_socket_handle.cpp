#include "service/net/id_socket_handle.h"

#include "service/net/handle_reuse_gate.h"
#include "service/net/id_exceptions.h"
#include "service/net/winsock_codes.h"

namespace {
// The code of the calling thread's last failed call, taken before the call's
// lease is released (a release may make socket calls of its own).
thread_local int tLastError = 0;

int Remember(TIdSocketLayer& layer, int result) {
  if (result == Id_SOCKET_ERROR) tLastError = layer.LastError();
  return result;
}
}  // namespace

// Holds the socket for the length of one call, so that a close from another
// thread leaves the handle to be released when the call is over.
class TIdSocketHandle::TLease {
 public:
  explicit TLease(TIdSocketHandle& owner) : FOwner(owner), FHandle(owner.AcquireLease()) {}
  ~TLease() {
    if (FHandle != Id_INVALID_SOCKET) FOwner.ReleaseLease();
  }
  TLease(const TLease&) = delete;
  TLease& operator=(const TLease&) = delete;

  bool Held() const { return FHandle != Id_INVALID_SOCKET; }
  TIdStackSocketHandle Handle() const { return FHandle; }

 private:
  TIdSocketHandle& FOwner;
  TIdStackSocketHandle FHandle;
};

TIdSocketHandle::TIdSocketHandle(TIdSocketLayer& layer) : FLayer(layer) {}

TIdSocketHandle::~TIdSocketHandle() {
  CloseSocket();
  // The owner frees the holder only once no call of its own is running, but
  // a handle left behind by an interrupted call is released here at the latest.
  std::lock_guard<std::mutex> hold(FLock);
  if (FReleasePending) ReleaseHandleLocked();
}

TIdStackSocketHandle TIdSocketHandle::AcquireLease() {
  std::lock_guard<std::mutex> hold(FLock);
  if (!FAllocated.load()) return Id_INVALID_SOCKET;
  ++FLeases;
  return FHandle;
}

void TIdSocketHandle::ReleaseLease() {
  std::lock_guard<std::mutex> hold(FLock);
  --FLeases;
  if (FLeases == 0 && FReleasePending) ReleaseHandleLocked();
}

void TIdSocketHandle::ReleaseHandleLocked() {
  if (FReleasedByInterrupt) {
    THandleReuseGate::Instance().End();
  } else {
    FLayer.Close(FHandle);
  }
  FHandle = Id_INVALID_SOCKET;
  FReleasePending = false;
  FReleasedByInterrupt = false;
}

void TIdSocketHandle::Adopt(TIdStackSocketHandle handle) {
  std::lock_guard<std::mutex> hold(FLock);
  FHandle = handle;
  FAllocated.store(true);
}

void TIdSocketHandle::AllocateSocket() {
  CloseSocket();
  TIdStackSocketHandle handle = Id_INVALID_SOCKET;
  {
    std::unique_lock<std::mutex> creating = THandleReuseGate::Instance().EnterCreation(nullptr);
    handle = FLayer.CreateSocket();
  }
  if (handle == Id_INVALID_SOCKET) throw EIdInvalidSocket();
  std::lock_guard<std::mutex> hold(FLock);
  if (FReleasePending) ReleaseHandleLocked();
  FHandle = handle;
  FAllocated.store(true);
}

void TIdSocketHandle::Bind() {
  TLease lease(*this);
  if (!lease.Held()) throw EIdClosedSocket();
  if (FLayer.Bind(lease.Handle(), IP, Port) == Id_SOCKET_ERROR) {
    int code = FLayer.LastError();
    if (code == Id_WSAEADDRINUSE) throw EIdCouldNotBindSocket();
    throw EIdSocketError(code);
  }
  TIdSocketAddress local;
  if (FLayer.LocalAddress(lease.Handle(), local)) {
    IP = local.IP;
    Port = local.Port;
  }
}

void TIdSocketHandle::Listen(int backlog) {
  TLease lease(*this);
  if (!lease.Held()) throw EIdClosedSocket();
  if (FLayer.Listen(lease.Handle(), backlog) == Id_SOCKET_ERROR) throw EIdSocketError(FLayer.LastError());
}

int TIdSocketHandle::Select(int timeoutMs) {
  TLease lease(*this);
  if (!lease.Held()) return Id_SOCKET_ERROR;
  return Remember(FLayer, FLayer.WaitReadable(lease.Handle(), timeoutMs));
}

bool TIdSocketHandle::Accept(TIdSocketHandle& into) {
  TLease lease(*this);
  if (!lease.Held()) return false;
  TIdStackSocketHandle accepted = Id_INVALID_SOCKET;
  int code = 0;
  {
    std::unique_lock<std::mutex> creating = THandleReuseGate::Instance().EnterCreation(&FAllocated);
    if (!creating.owns_lock()) return false;
    accepted = FLayer.Accept(lease.Handle());
    if (accepted == Id_INVALID_SOCKET) code = FLayer.LastError();
  }
  if (accepted == Id_INVALID_SOCKET) {
    if (code == Id_WSAEINTR || code == Id_WSAENOTSOCK) return false;
    throw EIdSocketError(code);
  }
  into.Adopt(accepted);
  TIdSocketAddress address;
  if (FLayer.LocalAddress(accepted, address)) {
    into.IP = address.IP;
    into.Port = address.Port;
  }
  if (FLayer.PeerAddress(accepted, address)) {
    into.PeerIP = address.IP;
    into.PeerPort = address.Port;
  }
  return true;
}

int TIdSocketHandle::Recv(void* buffer, int length) {
  TLease lease(*this);
  if (!lease.Held()) throw EIdClosedSocket();
  return Remember(FLayer, FLayer.Recv(lease.Handle(), buffer, length));
}

int TIdSocketHandle::Send(const void* buffer, int length, bool moreFollows) {
  TLease lease(*this);
  if (!lease.Held()) throw EIdClosedSocket();
  return Remember(FLayer, FLayer.Send(lease.Handle(), buffer, length, moreFollows));
}

void TIdSocketHandle::SetNoDelay() {
  TLease lease(*this);
  if (lease.Held()) FLayer.SetNoDelay(lease.Handle());
}

void TIdSocketHandle::CloseSocket() {
  std::lock_guard<std::mutex> hold(FLock);
  if (!FAllocated.load()) return;
  FAllocated.store(false);
  FLayer.Shutdown(FHandle, Id_SD_Send);
  if (FLeases == 0) {
    FLayer.Close(FHandle);
    FHandle = Id_INVALID_SOCKET;
    return;
  }
  // Another thread is inside a call on this socket: wake it, and leave the
  // release to the end of its call.
  FReleasePending = true;
  THandleReuseGate& gate = THandleReuseGate::Instance();
  std::unique_lock<std::mutex> releasing = gate.Lock();
  if (FLayer.Interrupt(FHandle)) {
    FReleasedByInterrupt = true;
    gate.BeginLocked();
  }
}

int TIdSocketHandle::LastError() { return tLastError; }
