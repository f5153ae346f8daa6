#include "bench/load_profiles.h"

#include "bench/proc_status.h"

namespace velta::bench {

namespace {

void probe_all(const std::vector<Socket>& sockets, std::uint64_t seq) {
    FrameMaker maker(kProbePayload);
    for (const Socket& s : sockets) probe(s, maker, seq);
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
