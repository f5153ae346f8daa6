#include <sys/socket.h>

#include "support/loopback_client.h"

namespace velta::testing {

namespace {

int Descriptor(const bench::Socket& socket) { return static_cast<int>(socket.native()); }

}  // namespace

bool ShutdownSending(const bench::Socket& socket) { return ::shutdown(Descriptor(socket), SHUT_WR) == 0; }

bool CloseWithReset(bench::Socket& socket) {
  // A zero linger time turns close() into an abort: the unsent data is
  // dropped and the peer gets an RST instead of a FIN.
  linger hard{};
  hard.l_onoff = 1;
  hard.l_linger = 0;
  bool set = ::setsockopt(Descriptor(socket), SOL_SOCKET, SO_LINGER, &hard, sizeof hard) == 0;
  socket.reset();
  return set;
}

}  // namespace velta::testing
