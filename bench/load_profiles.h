// One function per load profile; each throws LoadError on any failure.
#pragma once

#include "bench/joining_threads.h"
#include "bench/load_common.h"
#include "bench/load_options.h"

namespace velta::bench {

// One frame outstanding per connection, one thread per connection.
Result run_lockstep(const LoadOptions& o, std::size_t payload_size, int connections);
// A fixed number of frames outstanding on one connection.
Result run_pipelined(const LoadOptions& o, std::size_t payload_size, int depth);
// depth frames on the way on each of several connections, each in a thread
// of its own: the verified payload bytes per second.
Result run_windows(const LoadOptions& o, std::size_t payload_size, int connections, int depth);
// One large frame at a time, sent and received concurrently.
Result run_large(const LoadOptions& o, std::size_t payload_size);
// Many connections, one frame outstanding each, few threads.
Result run_fanout(const LoadOptions& o, std::size_t payload_size, int connections, int threads);
// Many idle connections; reports the server's memory and thread count.
Result run_idle(const LoadOptions& o, int connections);
// Good clients among hostile ones; reports wrong replies, the good clients'
// rate and p99, and the server's footprint before, at peak and after.
Result run_hostile(const LoadOptions& o);
// Thousands of connections opened in bursts, then held: the server's
// footprint per connection (with --pid), a new client's latency, a wake-up
// of them all at once, and (with --stop) a SIGTERM with all open.
Result run_c10k(const LoadOptions& o, int connections);

}  // namespace velta::bench
