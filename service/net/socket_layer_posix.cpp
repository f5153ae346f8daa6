#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "service/net/socket_layer.h"
#include "service/net/winsock_codes.h"

namespace {

thread_local int tLastError = 0;

int WinsockCode(int error) {
  switch (error) {
    case EINTR: return Id_WSAEINTR;
    case EBADF: return Id_WSAEBADF;
    case EACCES: return Id_WSAEACCES;
    case EFAULT: return Id_WSAEFAULT;
    case EINVAL: return Id_WSAEINVAL;
    case EMFILE: return Id_WSAEMFILE;
    case EWOULDBLOCK: return Id_WSAEWOULDBLOCK;
    case EINPROGRESS: return Id_WSAEINPROGRESS;
    case EALREADY: return Id_WSAEALREADY;
    case ENOTSOCK: return Id_WSAENOTSOCK;
    case EDESTADDRREQ: return Id_WSAEDESTADDRREQ;
    case EMSGSIZE: return Id_WSAEMSGSIZE;
    case EPROTOTYPE: return Id_WSAEPROTOTYPE;
    case ENOPROTOOPT: return Id_WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return Id_WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return Id_WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return Id_WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return Id_WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return Id_WSAEAFNOSUPPORT;
    case EADDRINUSE: return Id_WSAEADDRINUSE;
    case EADDRNOTAVAIL: return Id_WSAEADDRNOTAVAIL;
    case ENETDOWN: return Id_WSAENETDOWN;
    case ENETUNREACH: return Id_WSAENETUNREACH;
    case ENETRESET: return Id_WSAENETRESET;
    case ECONNABORTED: return Id_WSAECONNABORTED;
    case ECONNRESET: return Id_WSAECONNRESET;
    case ENOBUFS: return Id_WSAENOBUFS;
    case EISCONN: return Id_WSAEISCONN;
    case ENOTCONN: return Id_WSAENOTCONN;
    // Writing after our own shutdown, or to a peer that has gone: Winsock
    // answers both with WSAESHUTDOWN or a reset, which end the connection.
    case EPIPE: return Id_WSAESHUTDOWN;
    case ESHUTDOWN: return Id_WSAESHUTDOWN;
    case ETOOMANYREFS: return Id_WSAETOOMANYREFS;
    case ETIMEDOUT: return Id_WSAETIMEDOUT;
    case ECONNREFUSED: return Id_WSAECONNREFUSED;
    case ELOOP: return Id_WSAELOOP;
    case ENAMETOOLONG: return Id_WSAENAMETOOLONG;
    case EHOSTDOWN: return Id_WSAEHOSTDOWN;
    case EHOSTUNREACH: return Id_WSAEHOSTUNREACH;
    case ENOTEMPTY: return Id_WSAENOTEMPTY;
    default: return error;
  }
}

int Failed() {
  tLastError = WinsockCode(errno);
  return Id_SOCKET_ERROR;
}

int Fd(TIdStackSocketHandle socket) { return static_cast<int>(socket); }

bool ReadAddress(const sockaddr_in& in, TIdSocketAddress& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) == nullptr) return false;
  address.IP = text;
  address.Port = ntohs(in.sin_port);
  return true;
}

class TPosixSocketLayer : public TIdSocketLayer {
 public:
  TIdStackSocketHandle CreateSocket() override {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      Failed();
      return Id_INVALID_SOCKET;
    }
    return static_cast<TIdStackSocketHandle>(fd);
  }

  int Bind(TIdStackSocketHandle socket, const std::string& ip, int port) override {
    // Windows lets a port be bound again while old connections of it linger
    // in TIME_WAIT; Linux needs this option for the same rule. A port that
    // another socket listens on still fails with WSAEADDRINUSE.
    int on = 1;
    ::setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<uint16_t>(port));
    if (ip.empty()) {
      in.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (inet_pton(AF_INET, ip.c_str(), &in.sin_addr) != 1) {
      tLastError = Id_WSAEINVAL;
      return Id_SOCKET_ERROR;
    }
    if (::bind(Fd(socket), reinterpret_cast<sockaddr*>(&in), sizeof in) != 0) return Failed();
    return 0;
  }

  int Listen(TIdStackSocketHandle socket, int backlog) override {
    return ::listen(Fd(socket), backlog) == 0 ? 0 : Failed();
  }

  TIdStackSocketHandle Accept(TIdStackSocketHandle socket) override {
    int fd = ::accept4(Fd(socket), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      Failed();
      return Id_INVALID_SOCKET;
    }
    return static_cast<TIdStackSocketHandle>(fd);
  }

  int WaitReadable(TIdStackSocketHandle socket, int timeoutMs) override {
    pollfd entry{Fd(socket), POLLIN, 0};
    for (;;) {
      int ready = ::poll(&entry, 1, timeoutMs < 0 ? -1 : timeoutMs);
      if (ready >= 0) return ready;
      // A signal is no reason to give up a wait that Winsock would not end.
      if (errno != EINTR) return Failed();
    }
  }

  int Recv(TIdStackSocketHandle socket, void* buffer, int length) override {
    for (;;) {
      ssize_t n = ::recv(Fd(socket), buffer, static_cast<size_t>(length), 0);
      if (n >= 0) return static_cast<int>(n);
      if (errno != EINTR) return Failed();
    }
  }

  int Send(TIdStackSocketHandle socket, const void* buffer, int length, bool moreFollows) override {
    int flags = MSG_NOSIGNAL | (moreFollows ? MSG_MORE : 0);
    for (;;) {
      ssize_t n = ::send(Fd(socket), buffer, static_cast<size_t>(length), flags);
      if (n >= 0) return static_cast<int>(n);
      if (errno != EINTR) return Failed();
    }
  }

  int Shutdown(TIdStackSocketHandle socket, int how) override {
    int posixHow = how == Id_SD_Recv ? SHUT_RD : how == Id_SD_Send ? SHUT_WR : SHUT_RDWR;
    return ::shutdown(Fd(socket), posixHow) == 0 ? 0 : Failed();
  }

  int Close(TIdStackSocketHandle socket) override { return ::close(Fd(socket)) == 0 ? 0 : Failed(); }

  // Closing a descriptor does not wake a thread blocked on it on Linux, and
  // would let the number be reused under that thread; shutting it down in
  // both directions ends every wait, recv and send and keeps the number ours.
  bool Interrupt(TIdStackSocketHandle socket) override {
    ::shutdown(Fd(socket), SHUT_RDWR);
    return false;
  }

  bool LocalAddress(TIdStackSocketHandle socket, TIdSocketAddress& address) override {
    sockaddr_in in{};
    socklen_t size = sizeof in;
    if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&in), &size) != 0) return Failed(), false;
    return ReadAddress(in, address);
  }

  bool PeerAddress(TIdStackSocketHandle socket, TIdSocketAddress& address) override {
    sockaddr_in in{};
    socklen_t size = sizeof in;
    if (::getpeername(Fd(socket), reinterpret_cast<sockaddr*>(&in), &size) != 0) return Failed(), false;
    return ReadAddress(in, address);
  }

  void SetNoDelay(TIdStackSocketHandle socket) override {
    int on = 1;
    ::setsockopt(Fd(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }

  int LastError() override { return tLastError; }
};

}  // namespace

TIdSocketLayer& TIdSocketLayer::Platform() {
  static TPosixSocketLayer layer;
  return layer;
}

// Linux hands the network errors already pending on a new connection to
// accept itself; accept(2) asks for these to be treated as a retry.
bool IdAcceptFailedForOneConnection(int code) {
  for (int error : {ECONNABORTED, ECONNRESET, EPROTO, ENETDOWN, EHOSTUNREACH, ENETUNREACH, ENONET, EHOSTDOWN,
                    ENOPROTOOPT, EOPNOTSUPP}) {
    if (code == WinsockCode(error)) return true;
  }
  return false;
}

// The system caps it at net.core.somaxconn.
int IdMaxListenQueue() { return SOMAXCONN; }
