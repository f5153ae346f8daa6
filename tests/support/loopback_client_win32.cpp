#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <winsock2.h>

#include "support/loopback_client.h"

namespace velta::testing {

namespace {

SOCKET Handle(const bench::Socket& socket) { return static_cast<SOCKET>(socket.native()); }

}  // namespace

bool ShutdownSending(const bench::Socket& socket) { return ::shutdown(Handle(socket), SD_SEND) == 0; }

bool CloseWithReset(bench::Socket& socket) {
  // A zero linger time turns closesocket() into an abort: the peer gets an
  // RST instead of a FIN.
  linger hard{};
  hard.l_onoff = 1;
  hard.l_linger = 0;
  bool set = ::setsockopt(Handle(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                          sizeof hard) == 0;
  socket.reset();
  return set;
}

}  // namespace velta::testing
