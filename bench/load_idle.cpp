#include "bench/load_profiles.h"

#include "bench/proc_status.h"

namespace velta::bench {

namespace {

constexpr std::size_t kProbePayload = 64;

}  // namespace

Result run_idle(const LoadOptions& o, int connections) {
    if (o.pid <= 0) throw LoadError("idle1000 needs --pid of the server");
    if (!read_proc_status(o.pid)) throw LoadError("cannot read /proc/" + std::to_string(o.pid) + "/status");

    std::vector<Socket> sockets;
    sockets.reserve(static_cast<std::size_t>(connections));
    for (int i = 0; i < connections; ++i) sockets.push_back(open_client(o.port));

    // Hold the connections idle long enough for the server to have accepted
    // and settled every one of them before its footprint is read.
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_until(deadline_after(o.seconds));
    const std::optional<ProcStatus> st = read_proc_status(o.pid);
    if (!st) throw LoadError("server process " + std::to_string(o.pid) + " vanished while idle");

    // Only count the figures if every connection is still served afterwards.
    FrameMaker maker(kProbePayload);
    for (const Socket& s : sockets)
        if (!send_all(s, maker.make(0), maker.frame_size())) throw LoadError("send failed: " + last_socket_error());
    for (const Socket& s : sockets) {
        ReplyStream replies(kProbePayload, maker.frame_size());
        await_reply(s, maker, replies, 0);
    }
    const double elapsed = seconds_since(start);

    return {{"rss_kib", std::to_string(st->rss_kib)},
            {"threads", std::to_string(st->threads)},
            {"connections", std::to_string(connections)},
            {"verified", std::to_string(sockets.size())},
            {"seconds", fixed(elapsed, 3)}};
}

}  // namespace velta::bench
