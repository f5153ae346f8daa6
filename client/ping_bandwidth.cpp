#include <algorithm>

#include "client/frame.h"
#include "client/ping_exchange.h"
#include "client/reply_stream.h"

namespace velta::client {

namespace {

constexpr std::uint64_t kInFlight = 8;
constexpr std::size_t kReceiveBuffer = 256 * 1024;

// One connection's window, in one thread: every reply that comes back is
// checked and replaced by a new frame, and the frames due after one receive
// leave in one write. Both sides' socket buffers hold the window (8 frames);
// the send timeout (-w) ends the window should they not.
class Window {
public:
    Window(const Socket& s, FrameMaker& maker, PingClock::time_point end, long timeout_ms)
        : s_(s), maker_(maker), end_(end), timeout_ms_(timeout_ms),
          replies_(maker.payload_size(), std::max(kReceiveBuffer, maker.frame_size())) {}

    // Until the end, Ctrl+C or a failure; false after a failure (the
    // connection cannot go on).
    bool run(PingCounts& counts) {
        const bool whole = refill() && take_replies(counts);
        const std::uint64_t outstanding = sent_ - taken_;
        counts.sent += sent_;
        // Frames that Ctrl+C cut short count for nothing.
        if (stop_requested()) {
            counts.sent -= outstanding;
        } else {
            counts.lost += outstanding;
        }
        return whole;
    }

private:
    bool refill() {
        batch_.clear();
        while (sent_ - taken_ < kInFlight && PingClock::now() < end_ && !stop_requested()) {
            sent_at_[sent_ % kInFlight] = PingClock::now();
            maker_.append(batch_, sent_++);
        }
        return batch_.empty() || send_all(s_, batch_.data(), batch_.size());
    }

    bool take_replies(PingCounts& counts) {
        std::string why;
        while (taken_ < sent_) {
            const int ready = wait_readable_until(s_, PingClock::now() + std::chrono::milliseconds(timeout_ms_));
            // No reply within the timeout, Ctrl+C, or a failed wait.
            if (ready <= 0) return false;
            if (!replies_.fill(s_, why)) return false;
            const unsigned char* payload = nullptr;
            for (ReplyStream::Next n; (n = replies_.next(payload, why)) != ReplyStream::Next::Partial;) {
                const std::uint64_t seq = taken_++;
                if (n == ReplyStream::Next::Bad || !maker_.matches(payload, seq, why)) {
                    ++counts.wrong;
                    return false;
                }
                ++counts.received;
                counts.verified_bytes += maker_.payload_size();
                counts.rtts_ms.push_back(
                    std::chrono::duration<double, std::milli>(PingClock::now() - sent_at_[seq % kInFlight]).count());
            }
            if (!refill()) return false;
        }
        return true;
    }

    const Socket& s_;
    FrameMaker& maker_;
    const PingClock::time_point end_;
    const long timeout_ms_;
    ReplyStream replies_;
    std::vector<unsigned char> batch_;
    std::uint64_t sent_ = 0;
    std::uint64_t taken_ = 0;
    PingClock::time_point sent_at_[kInFlight];
};

}  // namespace

PingCounts run_bandwidth(PingConnection& connection, const PingOptions& options, std::uint32_t seed) {
    PingCounts counts;
    FrameMaker maker(options.size, seed);
    const PingClock::time_point end = PingClock::now() + std::chrono::seconds(options.bandwidth_seconds);
    while (!stop_requested() && PingClock::now() < end) {
        std::string why;
        if (!connection.connect(why)) {
            if (stop_requested()) break;
            ++counts.sent;
            ++counts.lost;
            continue;
        }
        Window window(connection.socket(), maker, end, options.timeout_ms);
        if (!window.run(counts)) connection.drop();
    }
    return counts;
}

}  // namespace velta::client
