// Serves one connection of the baseline server: plain blocking reads and one
// gathered write per reply, the simplest correct echo to compare against.
#pragma once

#include "bench/bench_socket.h"

namespace velta::bench {

// Returns when the client closes, on any socket error, or on a frame whose
// length is negative or beyond what the baseline is willing to buffer.
void serve_echo(const Socket& s);

}  // namespace velta::bench
