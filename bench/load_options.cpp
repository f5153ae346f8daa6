#include "bench/load_options.h"

#include <cstdlib>
#include <cerrno>

namespace velta::bench {

namespace {

bool to_long(const char* text, long lo, long hi, long& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool to_double(const char* text, double lo, double hi, double& out) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

}  // namespace

const char* load_usage() {
    return "usage: bench-load --port P --profile NAME [--seconds S] [--pid PID]\n"
           "                  [--connections N] [--threads T] [--stop]\n"
           "       bench-load --port P --wait-ready S\n"
           "profiles: single64 four64 pipe64 mib c500 idle1000 hostile c10k window64k\n"
           "  idle1000 and hostile need --pid of the server (its /proc/PID/status is read);\n"
           "  hostile runs for at least 5 s;\n"
           "  c10k opens --connections (default 10000) in bursts of 500; with --pid it reads\n"
           "  the server's footprint, and --stop ends it with SIGTERM while all are open\n";
}

std::optional<LoadOptions> parse_load_options(int argc, char** argv, std::string& err) {
    LoadOptions o;
    bool have_port = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--stop") {
            o.stop = true;
            continue;
        }
        if (i + 1 >= argc) {
            err = "missing value after " + arg;
            return std::nullopt;
        }
        const char* value = argv[++i];
        long n = 0;
        double d = 0;
        if (arg == "--port") {
            if (!to_long(value, 1, 65535, n)) {
                err = "bad port";
                return std::nullopt;
            }
            o.port = static_cast<std::uint16_t>(n);
            have_port = true;
        } else if (arg == "--profile") {
            o.profile = value;
        } else if (arg == "--seconds") {
            if (!to_double(value, 0.05, 3600, d)) {
                err = "bad --seconds";
                return std::nullopt;
            }
            o.seconds = d;
        } else if (arg == "--pid") {
            if (!to_long(value, 1, 1L << 30, n)) {
                err = "bad --pid";
                return std::nullopt;
            }
            o.pid = n;
        } else if (arg == "--connections") {
            if (!to_long(value, 1, 100000, n)) {
                err = "bad --connections";
                return std::nullopt;
            }
            o.connections = static_cast<int>(n);
        } else if (arg == "--threads") {
            if (!to_long(value, 1, 64, n)) {
                err = "bad --threads";
                return std::nullopt;
            }
            o.threads = static_cast<int>(n);
        } else if (arg == "--wait-ready") {
            if (!to_double(value, 0, 600, d)) {
                err = "bad --wait-ready";
                return std::nullopt;
            }
            o.wait_ready = d;
        } else {
            err = "unknown option " + arg;
            return std::nullopt;
        }
    }
    if (!have_port) {
        err = "--port is required";
        return std::nullopt;
    }
    if (o.stop && o.pid <= 0) {
        err = "--stop needs --pid";
        return std::nullopt;
    }
    if (!o.wait_ready && o.profile.empty()) {
        err = "--profile is required";
        return std::nullopt;
    }
    return o;
}

}  // namespace velta::bench
