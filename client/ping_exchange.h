// One connection of a veltaping run and its exchanges, each a fresh frame
// whose reply is compared byte for byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "client/client_socket.h"
#include "client/ping_options.h"
#include "client/ping_report.h"

namespace velta::client {

using PingClock = std::chrono::steady_clock;

// Waits for s to be readable until deadline, in short steps so that Ctrl+C
// is seen: 1 readable, 0 time is up, -1 stopped or failed.
int wait_readable_until(const Socket& s, PingClock::time_point deadline);
// Sleeps until then, or less when Ctrl+C comes first.
void sleep_until_or_stopped(PingClock::time_point then);

class PingConnection {
public:
    PingConnection(const std::vector<HostAddress>& addresses, const PingOptions& options);

    // Connects unless connected, to the first address that takes it; false
    // with why when none does.
    bool connect(std::string& why);
    bool connected() const { return socket_.valid(); }
    const Socket& socket() const { return socket_; }
    void drop() { socket_.reset(); }
    // The address of the connection in use, or of the last one made.
    const std::string& address() const { return address_; }
    bool ever_connected() const { return !address_.empty(); }
    std::string endpoint() const { return endpoint_text(address_, options_.port); }

private:
    const std::vector<HostAddress>& addresses_;
    const PingOptions& options_;
    Socket socket_;
    std::string address_;
};

// COUNT exchanges (or until Ctrl+C with -t) on one connection, spaced by
// -i, each printed unless -q. An exchange cut short by Ctrl+C is not
// counted.
PingCounts run_exchanges(PingConnection& connection, const PingOptions& options, std::uint32_t seed);

// The same connection for -b seconds: frames back to back, up to 8 in
// flight.
PingCounts run_bandwidth(PingConnection& connection, const PingOptions& options, std::uint32_t seed);

// One line at a time to the terminal, from any connection's thread.
void say(const std::string& text1250);

}  // namespace velta::client
