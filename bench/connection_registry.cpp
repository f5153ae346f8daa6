#include "bench/connection_registry.h"

namespace velta::bench {

std::uint64_t ConnectionRegistry::begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t id = next_id_++;
    live_.emplace(id, nullptr);
    return id;
}

bool ConnectionRegistry::attach(std::uint64_t id, const Socket& s) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return false;
    live_[id] = &s;
    return true;
}

void ConnectionRegistry::end(std::uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    live_.erase(id);
    if (live_.empty()) emptied_.notify_all();
}

void ConnectionRegistry::shutdown_all() {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    // Holding the lock keeps each socket open: end() must take it first.
    for (const auto& entry : live_)
        if (entry.second != nullptr) shutdown_both(*entry.second);
}

bool ConnectionRegistry::wait_empty(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return emptied_.wait_for(lock, limit, [&] { return live_.empty(); });
}

}  // namespace velta::bench
