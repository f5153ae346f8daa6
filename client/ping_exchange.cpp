#include "client/ping_exchange.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include "client/console.h"
#include "client/frame.h"
#include "client/ping_texts.h"

namespace velta::client {

namespace {

constexpr int kStepMs = 50;

enum class Outcome { answered, wrong, lost, stopped };

struct Exchange {
    Outcome outcome = Outcome::lost;
    double rtt_ms = 0;
    std::size_t reply_bytes = 0;
    std::string why;
};

// Fresh bytes for every exchange: a server that answered with an older
// frame, or with a constant, cannot pass.
void fill_fresh(std::vector<unsigned char>& payload, std::uint32_t& state) {
    for (unsigned char& b : payload) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<unsigned char>(state >> 24);
    }
}

// Receives exactly size bytes into out before deadline.
Outcome receive(const Socket& s, unsigned char* out, std::size_t size, PingClock::time_point deadline,
                std::string& why) {
    std::size_t done = 0;
    while (done < size) {
        const int ready = wait_readable_until(s, deadline);
        if (ready < 0) return stop_requested() ? Outcome::stopped : Outcome::lost;
        if (ready == 0) {
            why = "timeout";
            return Outcome::lost;
        }
        const long n = recv_some(s, out + done, std::min<std::size_t>(size - done, 1 << 20));
        if (n <= 0) {
            why = n == 0 ? "closed" : last_socket_error();
            return Outcome::lost;
        }
        done += static_cast<std::size_t>(n);
    }
    return Outcome::answered;
}

Exchange exchange(const Socket& s, const std::vector<unsigned char>& payload, long timeout_ms) {
    Exchange result;
    unsigned char header[kHeaderSize];
    put_length(header, static_cast<std::int32_t>(payload.size()));
    const PingClock::time_point start = PingClock::now();
    if (!send_all(s, header, sizeof header, !payload.empty()) ||
        (!payload.empty() && !send_all(s, payload.data(), payload.size()))) {
        result.why = last_socket_error();
        return result;
    }
    const PingClock::time_point deadline = PingClock::now() + std::chrono::milliseconds(timeout_ms);
    unsigned char reply_header[kHeaderSize];
    result.outcome = receive(s, reply_header, sizeof reply_header, deadline, result.why);
    if (result.outcome != Outcome::answered) return result;
    const std::int32_t length = get_length(reply_header);
    result.reply_bytes = length < 0 ? 0 : static_cast<std::size_t>(length);
    if (length < 0 || static_cast<std::size_t>(length) != payload.size()) {
        result.outcome = Outcome::wrong;
        return result;
    }
    // Compared a piece at a time: a 1 GiB reply needs no second gigabyte.
    std::vector<unsigned char> piece(std::min<std::size_t>(payload.size(), 1 << 20));
    bool same = true;
    for (std::size_t at = 0; at < payload.size(); at += piece.size()) {
        const std::size_t n = std::min(piece.size(), payload.size() - at);
        result.outcome = receive(s, piece.data(), n, deadline, result.why);
        if (result.outcome != Outcome::answered) return result;
        same = same && std::memcmp(piece.data(), payload.data() + at, n) == 0;
    }
    if (!same) result.outcome = Outcome::wrong;
    result.rtt_ms = std::chrono::duration<double, std::milli>(PingClock::now() - start).count();
    return result;
}

std::mutex g_say_lock;

}  // namespace

void say(const std::string& text1250) {
    std::lock_guard<std::mutex> hold(g_say_lock);
    console_write(ConsoleStream::out, text1250);
}

int wait_readable_until(const Socket& s, PingClock::time_point deadline) {
    for (;;) {
        if (stop_requested()) return -1;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - PingClock::now()).count();
        if (left <= 0) return 0;
        const int ready = wait_readable(s, static_cast<int>(std::min<long long>(left, kStepMs)));
        if (ready != 0) return ready;
    }
}

void sleep_until_or_stopped(PingClock::time_point then) {
    while (!stop_requested() && PingClock::now() < then) {
        const PingClock::duration left = then - PingClock::now();
        std::this_thread::sleep_for(std::min<PingClock::duration>(left, std::chrono::milliseconds(kStepMs)));
    }
}

PingConnection::PingConnection(const std::vector<HostAddress>& addresses, const PingOptions& options)
    : addresses_(addresses), options_(options) {}

bool PingConnection::connect(std::string& why) {
    if (socket_.valid()) return true;
    for (const HostAddress& a : addresses_) {
        if (stop_requested()) return false;
        socket_ = connect_address(a, static_cast<int>(options_.timeout_ms), why);
        if (socket_.valid()) {
            address_ = a.text;
            return true;
        }
    }
    return false;
}

PingCounts run_exchanges(PingConnection& connection, const PingOptions& options, std::uint32_t seed) {
    PingCounts counts;
    std::vector<unsigned char> payload(options.size);
    for (long i = 0; options.until_stopped || i < options.count; ++i) {
        if (stop_requested()) break;
        const PingClock::time_point start = PingClock::now();
        std::string why;
        if (!connection.connect(why)) {
            if (stop_requested()) break;
            ++counts.sent;
            ++counts.lost;
            if (!options.quiet) say(texts::kCannotConnect + options.target + " (" + why + ")\n");
        } else {
            fill_fresh(payload, seed);
            const Exchange e = exchange(connection.socket(), payload, options.timeout_ms);
            if (e.outcome == Outcome::stopped) break;
            ++counts.sent;
            const std::string endpoint = connection.endpoint();
            if (e.outcome == Outcome::answered) {
                ++counts.received;
                counts.verified_bytes += payload.size();
                counts.rtts_ms.push_back(e.rtt_ms);
                if (!options.quiet) say(reply_line(endpoint, payload.size(), e.rtt_ms));
            } else {
                // The stream cannot be trusted after a wrong or missing reply.
                connection.drop();
                if (e.outcome == Outcome::wrong) {
                    ++counts.wrong;
                    if (!options.quiet) {
                        say(texts::kWrongReply + endpoint + texts::kBytes + std::to_string(e.reply_bytes) +
                            texts::kWrongSent + std::to_string(payload.size()) + ")\n");
                    }
                } else {
                    ++counts.lost;
                    if (!options.quiet && e.why == "timeout") say(texts::kNoReply + endpoint + "\n");
                    if (!options.quiet && e.why != "timeout") say(texts::kClosed + endpoint + " (" + e.why + ")\n");
                }
            }
        }
        const bool last = !options.until_stopped && i + 1 >= options.count;
        if (!last) sleep_until_or_stopped(start + std::chrono::milliseconds(options.interval_ms));
    }
    return counts;
}

}  // namespace velta::client
