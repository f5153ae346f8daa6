// The command line of veltaping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velta::client {

constexpr std::uint16_t kDefaultPingPort = 11059;
constexpr std::size_t kMaxPingSize = 1024UL * 1024 * 1024;

struct PingOptions {
    // As given, for the report; host and port are taken out of it.
    std::string target;
    std::string host;
    std::uint16_t port = kDefaultPingPort;
    long count = 4;
    bool until_stopped = false;
    std::size_t size = 32;
    long interval_ms = 1000;
    long timeout_ms = 4000;
    int connections = 1;
    // 0: no bandwidth run.
    long bandwidth_seconds = 0;
    bool quiet = false;
    bool json = false;
    bool help = false;
};

// False with a reason (Windows-1250 text) for anything unusable.
bool parse_ping_options(int argc, char** argv, PingOptions& o, std::string& err);

// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT.
bool split_target(const std::string& target, std::string& host, std::uint16_t& port);

}  // namespace velta::client
