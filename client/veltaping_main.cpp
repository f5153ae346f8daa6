// veltaping: checks and measures a Velta server from any machine. Every
// reply is compared byte for byte with the frame it answers; the exit status
// and --json are for scripts and monitoring.
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "client/client_socket.h"
#include "client/console.h"
#include "client/ping_exchange.h"
#include "client/ping_options.h"
#include "client/ping_report.h"
#include "client/ping_texts.h"

using namespace velta::client;

namespace {

constexpr int kUsageStatus = 2;

int usage_error(const std::string& why) {
    console_write(ConsoleStream::err, "veltaping: " + why + "\n");
    console_write(ConsoleStream::err, "veltaping -h\n");
    return kUsageStatus;
}

// Each connection in a thread of its own; the counts of all of them.
PingSummary run(const PingOptions& o, const std::vector<HostAddress>& addresses) {
    std::vector<std::unique_ptr<PingConnection>> connections;
    std::vector<PingCounts> counts(static_cast<std::size_t>(o.connections));
    std::vector<std::thread> threads;
    const auto seed = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const PingClock::time_point start = PingClock::now();
    for (int i = 0; i < o.connections; ++i) {
        connections.push_back(std::make_unique<PingConnection>(addresses, o));
        PingConnection& connection = *connections.back();
        PingCounts& mine = counts[static_cast<std::size_t>(i)];
        const std::uint32_t own_seed = seed + 0x9E3779B9u * static_cast<std::uint32_t>(i + 1);
        threads.emplace_back([&o, &connection, &mine, own_seed] {
            mine = o.bandwidth_seconds > 0 ? run_bandwidth(connection, o, own_seed)
                                           : run_exchanges(connection, o, own_seed);
        });
    }
    for (std::thread& t : threads) t.join();

    PingSummary summary;
    summary.target = o.target;
    summary.port = o.port;
    for (const PingCounts& c : counts) summary.counts.add(c);
    for (const auto& c : connections) {
        if (c->ever_connected()) {
            summary.address = c->address();
            break;
        }
    }
    if (o.bandwidth_seconds > 0) {
        summary.bandwidth_seconds = std::chrono::duration<double>(PingClock::now() - start).count();
    }
    return summary;
}

}  // namespace

int main(int argc, char** argv) {
    PingOptions o;
    std::string why;
    if (!parse_ping_options(argc, argv, o, why)) return usage_error(why);
    if (o.help) {
        console_write(ConsoleStream::out, texts::kUsage);
        return 0;
    }
    NetSession net;
    if (!net.ok()) {
        console_write(ConsoleStream::err, std::string("veltaping: ") + texts::kNoNetwork + "\n");
        return 1;
    }
    install_stop_handler();
    std::vector<HostAddress> addresses;
    if (!resolve_host(o.host, o.port, addresses, why)) {
        console_write(ConsoleStream::err,
                      std::string("veltaping: ") + texts::kUnknownHost + o.host + " (" + why + ")\n");
        return kUsageStatus;
    }
    const PingSummary summary = run(o, addresses);
    if (stop_requested() && !o.json) say(std::string("\n") + texts::kStopped + "\n");
    if (o.json) {
        std::fputs(summary_json(summary).c_str(), stdout);
    } else {
        say(summary_text(summary));
    }
    return ping_exit_status(summary.counts);
}
