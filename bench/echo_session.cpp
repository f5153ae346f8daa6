#include "bench/echo_session.h"

#include "bench/frame.h"

#include <cstdint>
#include <vector>

namespace velta::bench {

namespace {

// Far above the 1 MiB the load profiles send; bounds memory per connection.
constexpr std::int32_t kMaxPayload = 64 * 1024 * 1024;
// Effectively unbounded for any real run; the client decides when it ends.
constexpr std::uint64_t kMaxFrames = 1ULL << 48;

}  // namespace

void serve_echo(const Socket& s) {
    std::vector<unsigned char> payload;
    unsigned char head[kHeaderSize];
    for (std::uint64_t frame = 0; frame < kMaxFrames; ++frame) {
        if (!recv_all(s, head, sizeof head)) return;
        const std::int32_t length = get_length(head);
        if (length < 0 || length > kMaxPayload) return;
        // Grows to the largest frame seen and stays there, so idle
        // connections cost no buffer at all.
        payload.resize(static_cast<std::size_t>(length));
        if (length > 0 && !recv_all(s, payload.data(), payload.size())) return;
        if (!send_pair(s, head, sizeof head, payload.data(), payload.size())) return;
    }
}

}  // namespace velta::bench
