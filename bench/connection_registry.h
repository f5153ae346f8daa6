// Tracks the baseline server's live connections so that shutdown can wake
// every blocked session and wait, for a bounded time, until all have left.
// Sessions hold it by shared_ptr: a session that outlives the wait still
// touches valid memory.
#pragma once

#include "client/client_socket.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace velta::bench {

// The client side of the protocol is the bench's foundation.
using namespace velta::client;

class ConnectionRegistry {
public:
    // Called before a session thread starts, so the wait counts it even if
    // the thread has not run yet.
    std::uint64_t begin();
    // The session announces its socket; false when shutdown already began,
    // in which case the session should end at once.
    bool attach(std::uint64_t id, const Socket& s);
    // Must run before the session's socket is closed.
    void end(std::uint64_t id);

    void shutdown_all();
    bool wait_empty(std::chrono::milliseconds limit);

private:
    std::mutex mutex_;
    std::condition_variable emptied_;
    std::unordered_map<std::uint64_t, const Socket*> live_;
    std::uint64_t next_id_ = 0;
    bool closing_ = false;
};

}  // namespace velta::bench
