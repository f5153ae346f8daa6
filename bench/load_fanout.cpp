#include "bench/load_profiles.h"

#include <algorithm>

namespace velta::bench {

namespace {

constexpr int kPollSliceMs = 200;
constexpr auto kStallLimit = std::chrono::milliseconds(kIoTimeoutMs);

struct Connection {
    Connection(const Socket& sock, std::size_t payload_size)
        : s(&sock), replies(payload_size, kHeaderSize + payload_size) {}
    const Socket* s;
    ReplyStream replies;
    std::uint64_t seq = 0;
    bool outstanding = false;
};

struct Tally {
    std::uint64_t exchanges = 0;
    double finished_at = 0;
};

void send_frame(Connection& c, FrameMaker& maker) {
    if (!send_all(*c.s, maker.make(c.seq), maker.frame_size()))
        throw LoadError("send failed: " + last_socket_error());
    c.outstanding = true;
}

// Receives what one ready connection has; sends its next frame when the
// reply is complete and the window is still open. Returns replies verified.
std::uint64_t service(Connection& c, FrameMaker& maker, bool keep_going) {
    std::string why;
    if (!c.replies.fill(*c.s, why)) throw LoadError(why);
    std::uint64_t verified = 0;
    const unsigned char* payload = nullptr;
    for (;;) {
        const ReplyStream::Next n = c.replies.next(payload, why);
        if (n == ReplyStream::Next::Bad) throw LoadError(why);
        if (n == ReplyStream::Next::Partial) return verified;
        if (!c.outstanding) throw LoadError("reply arrived for a frame never sent");
        if (!maker.matches(payload, c.seq, why)) throw LoadError(why);
        ++verified;
        ++c.seq;
        c.outstanding = false;
        if (keep_going) send_frame(c, maker);
    }
}

// Drives its share of the connections from one thread: each connection has
// exactly one frame outstanding until the window closes, then drains.
Tally drive(std::vector<Connection>& conns, std::size_t payload_size, Clock::time_point start,
            Clock::time_point deadline, const FailureFlag& failure) {
    FrameMaker maker(payload_size);
    ReadinessSet waiter;
    for (const Connection& c : conns) waiter.add(*c.s);

    std::this_thread::sleep_until(start);
    for (Connection& c : conns) send_frame(c, maker);

    Tally tally;
    Clock::time_point last_progress = Clock::now();
    std::size_t outstanding = conns.size();
    while (outstanding > 0 && !failure.raised()) {
        const int rc = waiter.wait(kPollSliceMs);
        const Clock::time_point now = Clock::now();
        if (rc < 0) throw LoadError("poll failed: " + last_socket_error());
        if (rc == 0) {
            if (now - last_progress > kStallLimit) throw LoadError("no reply on any connection for 10 s");
            continue;
        }
        last_progress = now;
        const bool keep_going = now < deadline && tally.exchanges < kMaxExchanges;
        for (std::size_t i = 0; i < conns.size(); ++i) {
            if (!waiter.ready(i)) continue;
            if (!conns[i].outstanding) throw LoadError("data arrived on an idle connection");
            tally.exchanges += service(conns[i], maker, keep_going);
            if (!conns[i].outstanding) --outstanding;
        }
    }
    tally.finished_at = std::chrono::duration<double>(Clock::now() - start).count();
    return tally;
}

}  // namespace

Result run_fanout(const LoadOptions& o, std::size_t payload_size, int connections, int threads) {
    threads = std::max(1, std::min(threads, connections));
    const Clock::time_point setup_start = Clock::now();
    std::vector<Socket> sockets;
    sockets.reserve(static_cast<std::size_t>(connections));
    for (int i = 0; i < connections; ++i) sockets.push_back(open_client(o.port));
    // Reported because a short listen backlog shows up here, not in the rate.
    const double setup = seconds_since(setup_start);

    std::vector<std::vector<Connection>> shares(static_cast<std::size_t>(threads));
    for (std::size_t i = 0; i < sockets.size(); ++i)
        shares[i % shares.size()].emplace_back(sockets[i], payload_size);

    const Clock::time_point start = Clock::now() + std::chrono::milliseconds(100);
    const Clock::time_point deadline = start + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(o.seconds));
    std::vector<Tally> tallies(shares.size());
    FailureFlag failure;
    {
        JoiningThreads workers;
        for (std::size_t t = 0; t < shares.size(); ++t) {
            workers.start([&, t] {
                try {
                    tallies[t] = drive(shares[t], payload_size, start, deadline, failure);
                } catch (const std::exception& e) {
                    failure.set(e.what());
                }
            });
        }
    }
    failure.rethrow();

    std::uint64_t total = 0;
    double elapsed = 0;
    for (const Tally& t : tallies) {
        total += t.exchanges;
        elapsed = std::max(elapsed, t.finished_at);
    }
    return {{"exchanges_per_s", fixed(static_cast<double>(total) / elapsed, 1)},
            {"exchanges", std::to_string(total)},
            {"connections", std::to_string(connections)},
            {"threads", std::to_string(threads)},
            {"payload", std::to_string(payload_size)},
            {"setup_seconds", fixed(setup, 3)},
            {"seconds", fixed(elapsed, 3)}};
}

}  // namespace velta::bench
