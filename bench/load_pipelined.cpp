#include "bench/load_profiles.h"

#include <algorithm>

namespace velta::bench {

namespace {

constexpr std::uint64_t kWarmup = 20;
constexpr std::size_t kReceiveBuffer = 64 * 1024;

}  // namespace

namespace {

// Keeps depth frames on the way on one connection until the deadline; the
// frames whose replies came back, warm-up excluded.
std::uint64_t keep_window_full(const Socket& s, FrameMaker& maker, int depth, Clock::time_point deadline) {
    ReplyStream replies(maker.payload_size(), std::max(kReceiveBuffer, maker.frame_size()));
    std::uint64_t sent = 0;
    for (; sent < kWarmup; ++sent) exchange_one(s, maker, replies, sent);
    std::uint64_t received = sent;

    // One thread keeps the window full: every reply that comes back is
    // replaced by a new frame, and all frames due after one receive leave in
    // a single write.
    std::vector<unsigned char> batch;
    batch.reserve(static_cast<std::size_t>(depth) * maker.frame_size());
    for (int i = 0; i < depth; ++i) maker.append(batch, sent++);
    if (!send_all(s, batch.data(), batch.size())) throw LoadError("send failed: " + last_socket_error());

    std::string why;
    while (received < sent) {
        const bool refill = sent < kMaxExchanges && Clock::now() < deadline;
        if (!replies.fill(s, why)) throw LoadError(why);
        batch.clear();
        const unsigned char* payload = nullptr;
        for (;;) {
            const ReplyStream::Next n = replies.next(payload, why);
            if (n == ReplyStream::Next::Bad) throw LoadError(why);
            if (n == ReplyStream::Next::Partial) break;
            if (received >= sent) throw LoadError("more replies than frames sent");
            if (!maker.matches(payload, received++, why)) throw LoadError(why);
            if (refill) maker.append(batch, sent++);
        }
        if (!batch.empty() && !send_all(s, batch.data(), batch.size()))
            throw LoadError("send failed: " + last_socket_error());
    }
    return received - kWarmup;
}

}  // namespace

Result run_pipelined(const LoadOptions& o, std::size_t payload_size, int depth) {
    Socket s = open_client(o.port);
    FrameMaker maker(payload_size);
    const Clock::time_point start = Clock::now();
    const std::uint64_t total = keep_window_full(s, maker, depth, deadline_after(o.seconds));
    const double elapsed = seconds_since(start);
    return {{"exchanges_per_s", fixed(static_cast<double>(total) / elapsed, 1)},
            {"exchanges", std::to_string(total)},
            {"depth", std::to_string(depth)},
            {"payload", std::to_string(payload_size)},
            {"seconds", fixed(elapsed, 3)}};
}

Result run_windows(const LoadOptions& o, std::size_t payload_size, int connections, int depth) {
    std::vector<Socket> sockets;
    for (int i = 0; i < connections; ++i) sockets.push_back(open_client(o.port));
    std::vector<std::uint64_t> totals(sockets.size());
    FailureFlag failure;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = deadline_after(o.seconds);
    {
        JoiningThreads threads;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            threads.start([&, i] {
                try {
                    FrameMaker maker(payload_size, static_cast<std::uint32_t>(i));
                    totals[i] = keep_window_full(sockets[i], maker, depth, deadline);
                } catch (const std::exception& e) {
                    failure.set(e.what());
                }
            });
        }
    }
    failure.rethrow();
    const double elapsed = seconds_since(start);
    std::uint64_t total = 0;
    for (std::uint64_t t : totals) total += t;
    const double mib = static_cast<double>(total) * static_cast<double>(payload_size) / (1024.0 * 1024.0);
    return {{"mib_per_s", fixed(mib / elapsed, 1)},
            {"exchanges", std::to_string(total)},
            {"connections", std::to_string(connections)},
            {"depth", std::to_string(depth)},
            {"payload", std::to_string(payload_size)},
            {"seconds", fixed(elapsed, 3)}};
}

}  // namespace velta::bench
