// Serves one connection of a baseline server, in one of two call patterns:
// the best a thread-per-connection echo can do (reads as large as what
// remains, one gathered write per reply), and echo-host's own (the length in
// a send of its own, flagged "more follows" where the platform has the flag,
// the payload in 32768-byte calls each way). The first shows what the design
// costs, the second what our implementation of it costs.
#pragma once

#include "client/client_socket.h"

namespace velta::bench {

// The client side of the protocol is the bench's foundation.
using namespace velta::client;

enum class EchoPattern { Gathered, Chunked };

// Returns when the client closes, on any socket error, or on a frame whose
// length is negative or beyond what the baseline is willing to buffer.
void serve_echo(const Socket& s, EchoPattern pattern);

}  // namespace velta::bench
