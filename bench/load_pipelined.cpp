#include "bench/load_profiles.h"

namespace velta::bench {

namespace {

constexpr std::uint64_t kWarmup = 20;
constexpr std::size_t kReceiveBuffer = 64 * 1024;

}  // namespace

Result run_pipelined(const LoadOptions& o, std::size_t payload_size, int depth) {
    Socket s = open_client(o.port);
    FrameMaker maker(payload_size);
    ReplyStream replies(payload_size, kReceiveBuffer);
    std::uint64_t sent = 0;
    for (; sent < kWarmup; ++sent) exchange_one(s, maker, replies, sent);
    std::uint64_t received = sent;

    // One thread keeps the window full: every reply that comes back is
    // replaced by a new frame, and all frames due after one receive leave in
    // a single write.
    std::vector<unsigned char> batch;
    batch.reserve(static_cast<std::size_t>(depth) * maker.frame_size());
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = deadline_after(o.seconds);
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
    const double elapsed = seconds_since(start);
    const std::uint64_t total = received - kWarmup;
    return {{"exchanges_per_s", fixed(static_cast<double>(total) / elapsed, 1)},
            {"exchanges", std::to_string(total)},
            {"depth", std::to_string(depth)},
            {"payload", std::to_string(payload_size)},
            {"seconds", fixed(elapsed, 3)}};
}

}  // namespace velta::bench
