// bench-load: drives one load profile against an echo server on 127.0.0.1 and
// prints one line of key=value pairs; any wrong reply makes it exit 1.
#include "client/client_socket.h"
#include "bench/load_options.h"
#include "bench/load_profiles.h"

#include <cstdio>
#include <exception>
#include <thread>

using namespace velta::bench;

namespace {

// Retries connecting until the port accepts or the time is up.
int wait_ready(const LoadOptions& o) {
    const Clock::time_point deadline = deadline_after(*o.wait_ready);
    for (int attempt = 0; attempt < 100000; ++attempt) {
        std::string err;
        if (connect_loopback(o.port, 1000, err).valid()) return 0;
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 1;
}

Result run_profile(const LoadOptions& o) {
    auto pick = [](int given, int fallback) { return given > 0 ? given : fallback; };
    if (o.profile == "single64") return run_lockstep(o, 64, pick(o.connections, 1));
    if (o.profile == "four64") return run_lockstep(o, 64, pick(o.connections, 4));
    if (o.profile == "pipe64") return run_pipelined(o, 64, 64);
    if (o.profile == "mib") return run_large(o, 1024 * 1024);
    if (o.profile == "c500") return run_fanout(o, 1024, pick(o.connections, 500), pick(o.threads, 4));
    if (o.profile == "idle1000") return run_idle(o, pick(o.connections, 1000));
    if (o.profile == "hostile") return run_hostile(o);
    if (o.profile == "window64k") return run_windows(o, 64 * 1024, pick(o.connections, 2), 8);
    if (o.profile == "c10k") return run_c10k(o, pick(o.connections, 10000));
    throw LoadError("unknown profile " + o.profile);
}

}  // namespace

int main(int argc, char** argv) {
    std::string err;
    const std::optional<LoadOptions> o = parse_load_options(argc, argv, err);
    if (!o) {
        std::fprintf(stderr, "bench-load: %s\n%s", err.c_str(), load_usage());
        return 2;
    }
    raise_descriptor_limit();
    NetSession net;
    if (!net.ok()) {
        std::fprintf(stderr, "bench-load: cannot start networking\n");
        return 1;
    }
    if (o->wait_ready) return wait_ready(*o);
    try {
        const Result r = run_profile(*o);
        std::string line = "profile=" + o->profile;
        for (const auto& kv : r) line += " " + kv.first + "=" + kv.second;
        std::printf("%s\n", line.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench-load: %s: error: %s\n", o->profile.c_str(), e.what());
        return 1;
    }
}
