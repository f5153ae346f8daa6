// Pieces every load profile shares: connecting, one verified exchange, the
// result line, and collecting the first failure from worker threads.
#pragma once

#include "client/client_socket.h"
#include "client/frame.h"
#include "client/reply_stream.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velta::bench {

// The client side of the protocol is the bench's foundation.
using namespace velta::client;

using Clock = std::chrono::steady_clock;

// Any reply that is late, short, or not byte for byte what was sent.
class LoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Ordered key=value pairs printed as the single result line.
using Result = std::vector<std::pair<std::string, std::string>>;

// A reply slower than this means the server is stuck, not slow.
constexpr int kIoTimeoutMs = 10000;
// Caps every measuring loop in count, alongside its deadline.
constexpr std::uint64_t kMaxExchanges = 1000000000ULL;

Socket open_client(std::uint16_t port);
// Opens connections one by one, each served once (one small verified
// exchange) before the next is opened: a burst of connects would overflow a
// short listen queue and wait out the client's SYN retries, which measures
// the queue, not the server.
std::vector<Socket> open_served(std::uint16_t port, int connections);
// One small verified exchange on a connection that is already open.
void probe(const Socket& s, FrameMaker& maker, std::uint64_t seq);
// Its two halves, for many connections at once: every frame first, then
// every reply.
void send_probe(const Socket& s, FrameMaker& maker, std::uint64_t seq);
void await_probe(const Socket& s, const FrameMaker& maker, std::uint64_t seq);
constexpr std::size_t kProbePayload = 64;

// The sample at fraction (0.99: p99) of the way up; reorders samples.
double percentile(std::vector<double>& samples, double fraction);

Clock::time_point deadline_after(double seconds);
double seconds_since(Clock::time_point start);
std::string fixed(double value, int decimals);

// Sends frame seq and waits for its whole reply, verifying it.
void exchange_one(const Socket& s, FrameMaker& maker, ReplyStream& replies, std::uint64_t seq);
// Waits for the reply to frame seq, verifying it.
void await_reply(const Socket& s, const FrameMaker& maker, ReplyStream& replies, std::uint64_t seq);

// Lets worker threads report the first failure and tells the rest to stop.
class FailureFlag {
public:
    void set(const std::string& message);
    bool raised() const { return raised_.load(std::memory_order_relaxed); }
    // Throws LoadError with the first message, if any was set.
    void rethrow() const;

private:
    std::atomic<bool> raised_{false};
    mutable std::mutex mutex_;
    std::string message_;
};

}  // namespace velta::bench
