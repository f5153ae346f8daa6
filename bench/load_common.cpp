#include "bench/load_common.h"

#include <algorithm>
#include <cstdio>

namespace velta::bench {

Socket open_client(std::uint16_t port) {
    std::string err;
    Socket s = connect_loopback(port, kIoTimeoutMs, err);
    if (!s.valid()) throw LoadError("cannot connect to 127.0.0.1:" + std::to_string(port) + ": " + err);
    return s;
}

void probe(const Socket& s, FrameMaker& maker, std::uint64_t seq) {
    send_probe(s, maker, seq);
    await_probe(s, maker, seq);
}

void send_probe(const Socket& s, FrameMaker& maker, std::uint64_t seq) {
    if (!send_all(s, maker.make(seq), maker.frame_size())) throw LoadError("send failed: " + last_socket_error());
}

void await_probe(const Socket& s, const FrameMaker& maker, std::uint64_t seq) {
    ReplyStream replies(kProbePayload, maker.frame_size());
    await_reply(s, maker, replies, seq);
}

std::vector<Socket> open_served(std::uint16_t port, int connections) {
    FrameMaker maker(kProbePayload);
    std::vector<Socket> sockets;
    sockets.reserve(static_cast<std::size_t>(connections));
    for (int i = 0; i < connections; ++i) {
        sockets.push_back(open_client(port));
        probe(sockets.back(), maker, 0);
    }
    return sockets;
}

double percentile(std::vector<double>& samples, double fraction) {
    if (samples.empty()) return 0;
    const std::size_t at = std::min(samples.size() - 1, static_cast<std::size_t>(fraction * samples.size()));
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(at), samples.end());
    return samples[at];
}

Clock::time_point deadline_after(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void exchange_one(const Socket& s, FrameMaker& maker, ReplyStream& replies, std::uint64_t seq) {
    if (!send_all(s, maker.make(seq), maker.frame_size()))
        throw LoadError("send failed: " + last_socket_error());
    await_reply(s, maker, replies, seq);
}

void await_reply(const Socket& s, const FrameMaker& maker, ReplyStream& replies, std::uint64_t seq) {
    std::string why;
    const unsigned char* payload = nullptr;
    // Each pass receives at least one byte or fails, so a frame bounds it.
    for (std::size_t pass = 0; pass <= maker.frame_size(); ++pass) {
        switch (replies.next(payload, why)) {
        case ReplyStream::Next::Reply:
            if (!maker.matches(payload, seq, why)) throw LoadError(why);
            return;
        case ReplyStream::Next::Bad:
            throw LoadError(why);
        case ReplyStream::Next::Partial:
            break;
        }
        if (!replies.fill(s, why)) throw LoadError(why);
    }
    throw LoadError("reply never completed");
}

void FailureFlag::set(const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!raised_.load()) {
        message_ = message;
        raised_.store(true);
    }
}

void FailureFlag::rethrow() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (raised_.load()) throw LoadError(message_);
}

}  // namespace velta::bench
