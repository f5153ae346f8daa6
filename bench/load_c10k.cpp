// c10k: thousands of connections opened in bursts, as a failover or a rig
// of clients starting at once opens them, then held while the server is
// measured, woken all at once, and finally stopped with all of them open.
#include "bench/load_profiles.h"

#include "bench/proc_status.h"

#include <algorithm>

namespace velta::bench {

namespace {

// Connects started together before any is waited for: a listen queue that
// is too short drops some of them, which costs a client a 1 s SYN retry.
constexpr int kBurst = 500;
constexpr int kNewClientTries = 200;

// Every burst is under way before the first of it is answered; then each
// connection makes one verified exchange.
std::vector<Socket> open_in_bursts(std::uint16_t port, int connections) {
    FrameMaker maker(kProbePayload);
    std::vector<Socket> sockets;
    sockets.reserve(static_cast<std::size_t>(connections));
    for (int first = 0; first < connections; first += kBurst) {
        const std::size_t start = sockets.size();
        const int count = std::min(kBurst, connections - first);
        std::string err;
        for (int i = 0; i < count; ++i) {
            sockets.push_back(start_connect_loopback(port, err));
            if (!sockets.back().valid()) throw LoadError("connection " + std::to_string(first + i) + ": " + err);
        }
        for (std::size_t i = start; i < sockets.size(); ++i) {
            if (!finish_connect(sockets[i], kIoTimeoutMs, kIoTimeoutMs, err))
                throw LoadError("connection " + std::to_string(i) + ": " + err);
        }
        for (std::size_t i = start; i < sockets.size(); ++i) send_probe(sockets[i], maker, i);
        for (std::size_t i = start; i < sockets.size(); ++i) await_probe(sockets[i], maker, i);
    }
    return sockets;
}

// Connect to reply of a client that comes while all the others are open.
std::vector<double> new_client_latencies(std::uint16_t port) {
    FrameMaker maker(kProbePayload);
    std::vector<double> samples;
    for (int i = 0; i < kNewClientTries; ++i) {
        const Clock::time_point start = Clock::now();
        Socket s = open_client(port);
        probe(s, maker, static_cast<std::uint64_t>(i));
        samples.push_back(seconds_since(start) * 1000);
    }
    return samples;
}

// Every connection sends one frame at once; the time until every reply is
// back.
double wake_storm(const std::vector<Socket>& sockets) {
    FrameMaker maker(kProbePayload);
    const std::uint64_t base = sockets.size();
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < sockets.size(); ++i) send_probe(sockets[i], maker, base + i);
    for (std::size_t i = 0; i < sockets.size(); ++i) await_probe(sockets[i], maker, base + i);
    return seconds_since(start) * 1000;
}

// SIGTERM with every connection open: the time until the process has ended
// and every connection has seen its close (an end of stream or a reset).
double stop_with_all_open(long pid, const std::vector<Socket>& sockets) {
    const Clock::time_point start = Clock::now();
    if (!request_process_stop(pid)) throw LoadError("cannot send SIGTERM to " + std::to_string(pid));
    unsigned char byte = 0;
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        // Each waits at most kIoTimeoutMs: a receive that times out is an
        // error too, told apart by the time it took.
        const Clock::time_point asked = Clock::now();
        const long n = recv_some(sockets[i], &byte, 1);
        if (n > 0) throw LoadError("connection " + std::to_string(i) + " got bytes after the stop");
        if (n < 0 && seconds_since(asked) * 1000 >= kIoTimeoutMs - 100)
            throw LoadError("connection " + std::to_string(i) + " was not closed by the stop");
    }
    const Clock::time_point deadline = deadline_after(kIoTimeoutMs / 1000.0);
    while (!process_exited(pid)) {
        if (Clock::now() >= deadline) throw LoadError("the server did not exit after SIGTERM");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return seconds_since(start);
}

std::string per_connection(long grown_kib, int connections) {
    return fixed(static_cast<double>(grown_kib) / connections, 2);
}

}  // namespace

Result run_c10k(const LoadOptions& o, int connections) {
    std::optional<ProcStatus> before;
    if (o.pid > 0 && !(before = read_proc_status(o.pid)))
        throw LoadError("cannot read /proc/" + std::to_string(o.pid) + "/status");

    const Clock::time_point start = Clock::now();
    std::vector<Socket> sockets = open_in_bursts(o.port, connections);
    Result r{{"connections", std::to_string(connections)}, {"open_s", fixed(seconds_since(start), 3)}};

    if (before) {
        const std::optional<ProcStatus> held = read_proc_status(o.pid);
        if (!held) throw LoadError("server process " + std::to_string(o.pid) + " vanished");
        r.push_back({"rss_kib_per_conn", per_connection(held->rss_kib - before->rss_kib, connections)});
        r.push_back({"vm_kib_per_conn", per_connection(held->vm_kib - before->vm_kib, connections)});
        r.push_back({"threads", std::to_string(held->threads)});
    }
    std::vector<double> latencies = new_client_latencies(o.port);
    r.push_back({"new_p50_ms", fixed(percentile(latencies, 0.50), 3)});
    r.push_back({"new_p99_ms", fixed(percentile(latencies, 0.99), 3)});
    r.push_back({"storm_ms", fixed(wake_storm(sockets), 1)});
    if (o.stop) r.push_back({"stop_s", fixed(stop_with_all_open(o.pid, sockets), 3)});
    return r;
}

}  // namespace velta::bench
