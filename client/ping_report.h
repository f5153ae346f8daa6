// What a veltaping run counted, and how it is told: the lines per exchange,
// the summary, the JSON object and the exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velta::client {

struct PingCounts {
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    std::uint64_t lost = 0;
    std::uint64_t wrong = 0;
    // Payload bytes of replies that matched what was sent.
    std::uint64_t verified_bytes = 0;
    std::vector<double> rtts_ms;

    void add(const PingCounts& other);
};

struct PingSummary {
    std::string target;
    // The address of the first connection made, as "ip" ("::1" without
    // brackets); none when no connection was made.
    std::optional<std::string> address;
    std::uint16_t port = 0;
    PingCounts counts;
    // Set for a bandwidth run: the seconds it measured.
    std::optional<double> bandwidth_seconds;
};

// "ip:port", "[ipv6]:port".
std::string endpoint_text(const std::string& address, std::uint16_t port);
std::string reply_line(const std::string& endpoint, std::size_t bytes, double rtt_ms);
std::string summary_text(const PingSummary& summary);
// One ASCII line: non-ASCII characters escaped, so that it parses whatever
// the code page.
std::string summary_json(const PingSummary& summary);
// 0 when every exchange sent was answered with the same bytes, else 1.
int ping_exit_status(const PingCounts& counts);

}  // namespace velta::client
