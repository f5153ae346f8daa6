// Command line of bench-load.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velta::bench {

struct LoadOptions {
    std::uint16_t port = 0;
    std::string profile;
    double seconds = 2.0;
    long pid = 0;
    // 0 means the profile's own default.
    int connections = 0;
    int threads = 0;
    // c10k: ends by stopping the server (--pid) with SIGTERM.
    bool stop = false;
    // When set, only waits for the port to accept and exits 0 or 1.
    std::optional<double> wait_ready;
};

// Returns nothing and fills err when the arguments are unusable.
std::optional<LoadOptions> parse_load_options(int argc, char** argv, std::string& err);

const char* load_usage();

}  // namespace velta::bench
