#include "bench/echo_session.h"

#include "client/frame.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace velta::bench {

namespace {

// Far above the 1 MiB the load profiles send; bounds memory per connection.
constexpr std::int32_t kMaxPayload = 64 * 1024 * 1024;
// Effectively unbounded for any real run; the client decides when it ends.
constexpr std::uint64_t kMaxFrames = 1ULL << 48;
// echo-host's largest recv and send.
constexpr std::size_t kChunk = 32768;

bool recv_chunked(const Socket& s, unsigned char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const std::size_t n = std::min(kChunk, size - done);
        if (!recv_all(s, data + done, n)) return false;
        done += n;
    }
    return true;
}

bool send_chunked(const Socket& s, const unsigned char* head, const unsigned char* data, std::size_t size) {
    if (!send_all(s, head, kHeaderSize, size > 0)) return false;
    for (std::size_t done = 0; done < size;) {
        const std::size_t n = std::min(kChunk, size - done);
        if (!send_all(s, data + done, n)) return false;
        done += n;
    }
    return true;
}

}  // namespace

void serve_echo(const Socket& s, EchoPattern pattern) {
    std::vector<unsigned char> payload;
    unsigned char head[kHeaderSize];
    for (std::uint64_t frame = 0; frame < kMaxFrames; ++frame) {
        if (!recv_all(s, head, sizeof head)) return;
        const std::int32_t length = get_length(head);
        if (length < 0 || length > kMaxPayload) return;
        // Grows to the largest frame seen and stays there, so idle
        // connections cost no buffer at all.
        payload.resize(static_cast<std::size_t>(length));
        if (pattern == EchoPattern::Chunked) {
            if (!recv_chunked(s, payload.data(), payload.size())) return;
            if (!send_chunked(s, head, payload.data(), payload.size())) return;
            continue;
        }
        if (length > 0 && !recv_all(s, payload.data(), payload.size())) return;
        if (!send_pair(s, head, sizeof head, payload.data(), payload.size())) return;
    }
}

}  // namespace velta::bench
