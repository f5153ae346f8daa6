#include "bench/load_profiles.h"

#include "bench/proc_status.h"

namespace velta::bench {

namespace {

constexpr std::size_t kProbePayload = 64;

// One small exchange on every connection: proves the server has accepted
// and is serving each of them, which a bare connect does not (the kernel
// completes it before the server ever calls accept).
void probe(const Socket& s, FrameMaker& maker, std::uint64_t seq) {
    if (!send_all(s, maker.make(seq), maker.frame_size())) throw LoadError("send failed: " + last_socket_error());
    ReplyStream replies(kProbePayload, maker.frame_size());
    await_reply(s, maker, replies, seq);
}

void probe_all(const std::vector<Socket>& sockets, std::uint64_t seq) {
    FrameMaker maker(kProbePayload);
    for (const Socket& s : sockets) probe(s, maker, seq);
}

// Each connection is served before the next is opened: a burst of connects
// would overflow a short listen queue and wait out the client's SYN retries,
// which measures the queue, not the server.
std::vector<Socket> open_served(int port, int connections) {
    FrameMaker maker(kProbePayload);
    std::vector<Socket> sockets;
    sockets.reserve(static_cast<std::size_t>(connections));
    for (int i = 0; i < connections; ++i) {
        sockets.push_back(open_client(port));
        probe(sockets.back(), maker, 0);
    }
    return sockets;
}

}  // namespace

Result run_idle(const LoadOptions& o, int connections) {
    if (o.pid <= 0) throw LoadError("idle1000 needs --pid of the server");
    if (!read_proc_status(o.pid)) throw LoadError("cannot read /proc/" + std::to_string(o.pid) + "/status");

    const Clock::time_point start = Clock::now();
    std::vector<Socket> sockets = open_served(o.port, connections);
    const double setup = seconds_since(start);

    // Idle long enough for the server to settle before its footprint is read.
    std::this_thread::sleep_until(deadline_after(o.seconds));
    const std::optional<ProcStatus> st = read_proc_status(o.pid);
    if (!st) throw LoadError("server process " + std::to_string(o.pid) + " vanished while idle");

    // The figures only count if every connection survived the idle spell.
    probe_all(sockets, 1);

    return {{"rss_kib", std::to_string(st->rss_kib)},
            {"threads", std::to_string(st->threads)},
            {"connections", std::to_string(connections)},
            {"verified", std::to_string(sockets.size())},
            {"setup_seconds", fixed(setup, 3)},
            {"seconds", fixed(seconds_since(start), 3)}};
}

}  // namespace velta::bench
