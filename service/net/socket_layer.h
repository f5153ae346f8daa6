#pragma once

#include <cstdint>
#include <string>

// A platform socket handle: SOCKET on Windows, a descriptor on POSIX.
using TIdStackSocketHandle = std::uintptr_t;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = ~TIdStackSocketHandle(0);
constexpr int Id_SOCKET_ERROR = -1;

// shutdown() directions, numbered as Winsock numbers them.
enum : int { Id_SD_Recv = 0, Id_SD_Send = 1, Id_SD_Both = 2 };

struct TIdSocketAddress {
  std::string IP;
  int Port = 0;
};

// The one place where the transport meets the platform's sockets (Winsock 2,
// or BSD sockets with errno mapped to the Winsock codes). Every call that
// fails leaves its Winsock code for LastError() on the calling thread.
class TIdSocketLayer {
 public:
  virtual ~TIdSocketLayer() = default;

  // AF_INET, SOCK_STREAM, protocol 0; Id_INVALID_SOCKET on failure.
  virtual TIdStackSocketHandle CreateSocket() = 0;
  // An empty ip binds every local IPv4 address.
  virtual int Bind(TIdStackSocketHandle socket, const std::string& ip, int port) = 0;
  virtual int Listen(TIdStackSocketHandle socket, int backlog) = 0;
  virtual TIdStackSocketHandle Accept(TIdStackSocketHandle socket) = 0;
  // > 0 readable, 0 time is up, Id_SOCKET_ERROR when the wait failed.
  // A timeout below 0 waits without limit.
  virtual int WaitReadable(TIdStackSocketHandle socket, int timeoutMs) = 0;
  virtual int Recv(TIdStackSocketHandle socket, void* buffer, int length) = 0;
  // Never raises SIGPIPE: a peer that has gone is an error code. With
  // moreFollows the platform may hold the bytes briefly for the next send,
  // so that both leave in one segment.
  virtual int Send(TIdStackSocketHandle socket, const void* buffer, int length, bool moreFollows) = 0;
  virtual int Shutdown(TIdStackSocketHandle socket, int how) = 0;
  virtual int Close(TIdStackSocketHandle socket) = 0;
  // Makes a call blocked on the socket in another thread return. True when
  // that could only be done by releasing the handle (then the handle value
  // may be handed out again by the system).
  virtual bool Interrupt(TIdStackSocketHandle socket) = 0;
  virtual bool LocalAddress(TIdStackSocketHandle socket, TIdSocketAddress& address) = 0;
  virtual bool PeerAddress(TIdStackSocketHandle socket, TIdSocketAddress& address) = 0;
  virtual void SetNoDelay(TIdStackSocketHandle socket) = 0;
  virtual int LastError() = 0;

  // The platform's layer, started on first use (WSAStartup 2.2 on Windows).
  static TIdSocketLayer& Platform();
};

// Whether a failed accept failed for one pending connection only (its
// client reset or aborted it before it was taken): the listener then goes
// straight back to accepting. Any other failure is the listener's own.
bool IdAcceptFailedForOneConnection(int code);

// The longest listen queue the platform lets a server ask for (SOMAXCONN):
// a burst of clients must find room in it, not be dropped or refused.
int IdMaxListenQueue();
