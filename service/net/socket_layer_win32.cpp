#include <winsock2.h>
#include <ws2tcpip.h>

#include "service/net/id_exceptions.h"
#include "service/net/socket_layer.h"

namespace {

int Failed() { return Id_SOCKET_ERROR; }

SOCKET Sock(TIdStackSocketHandle socket) { return static_cast<SOCKET>(socket); }

bool ReadAddress(const sockaddr_in& in, TIdSocketAddress& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) == nullptr) return false;
  address.IP = text;
  address.Port = ntohs(in.sin_port);
  return true;
}

class TWinsockLayer : public TIdSocketLayer {
 public:
  TWinsockLayer() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw EIdStackInitializationFailed();
  }
  ~TWinsockLayer() override { WSACleanup(); }

  TIdStackSocketHandle CreateSocket() override {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    return s == INVALID_SOCKET ? Id_INVALID_SOCKET : static_cast<TIdStackSocketHandle>(s);
  }

  int Bind(TIdStackSocketHandle socket, const std::string& ip, int port) override {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<u_short>(port));
    if (ip.empty()) {
      in.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (inet_pton(AF_INET, ip.c_str(), &in.sin_addr) != 1) {
      WSASetLastError(WSAEINVAL);
      return Failed();
    }
    return ::bind(Sock(socket), reinterpret_cast<sockaddr*>(&in), sizeof in) == 0 ? 0 : Failed();
  }

  int Listen(TIdStackSocketHandle socket, int backlog) override {
    return ::listen(Sock(socket), backlog) == 0 ? 0 : Failed();
  }

  TIdStackSocketHandle Accept(TIdStackSocketHandle socket) override {
    SOCKET s = ::accept(Sock(socket), nullptr, nullptr);
    return s == INVALID_SOCKET ? Id_INVALID_SOCKET : static_cast<TIdStackSocketHandle>(s);
  }

  int WaitReadable(TIdStackSocketHandle socket, int timeoutMs) override {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Sock(socket), &readable);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int ready = ::select(0, &readable, nullptr, nullptr, timeoutMs < 0 ? nullptr : &limit);
    return ready == SOCKET_ERROR ? Failed() : ready;
  }

  int Recv(TIdStackSocketHandle socket, void* buffer, int length) override {
    int n = ::recv(Sock(socket), static_cast<char*>(buffer), length, 0);
    return n == SOCKET_ERROR ? Failed() : n;
  }

  // Winsock has no way to hold a send for the next one; each goes alone.
  int Send(TIdStackSocketHandle socket, const void* buffer, int length, bool) override {
    int n = ::send(Sock(socket), static_cast<const char*>(buffer), length, 0);
    return n == SOCKET_ERROR ? Failed() : n;
  }

  int Shutdown(TIdStackSocketHandle socket, int how) override {
    return ::shutdown(Sock(socket), how) == 0 ? 0 : Failed();
  }

  int Close(TIdStackSocketHandle socket) override { return ::closesocket(Sock(socket)) == 0 ? 0 : Failed(); }

  // Only closesocket ends a select, recv or send blocked in another thread
  // (shutdown does not, and CancelSynchronousIo is not honoured for sockets
  // everywhere), so the handle goes here and the caller must keep its value
  // from being reused until that thread is out of the call.
  bool Interrupt(TIdStackSocketHandle socket) override {
    ::closesocket(Sock(socket));
    return true;
  }

  bool LocalAddress(TIdStackSocketHandle socket, TIdSocketAddress& address) override {
    sockaddr_in in{};
    int size = sizeof in;
    if (::getsockname(Sock(socket), reinterpret_cast<sockaddr*>(&in), &size) != 0) return false;
    return ReadAddress(in, address);
  }

  bool PeerAddress(TIdStackSocketHandle socket, TIdSocketAddress& address) override {
    sockaddr_in in{};
    int size = sizeof in;
    if (::getpeername(Sock(socket), reinterpret_cast<sockaddr*>(&in), &size) != 0) return false;
    return ReadAddress(in, address);
  }

  void SetNoDelay(TIdStackSocketHandle socket) override {
    BOOL on = TRUE;
    ::setsockopt(Sock(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  }

  int LastError() override { return WSAGetLastError(); }
};

}  // namespace

TIdSocketLayer& TIdSocketLayer::Platform() {
  static TWinsockLayer layer;
  return layer;
}

// Winsock's accept fails with these when "an incoming connection was
// indicated, but was subsequently terminated by the remote peer prior to
// accepting the call".
bool IdAcceptFailedForOneConnection(int code) { return code == WSAECONNRESET || code == WSAECONNABORTED; }

// Winsock's SOMAXCONN lets the provider choose its maximum.
int IdMaxListenQueue() { return SOMAXCONN; }
