#include "client/ping_options.h"

#include <cerrno>
#include <cstdlib>

#include "client/ping_texts.h"

namespace velta::client {

namespace {

bool to_long(const std::string& text, long low, long high, long& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    out = value;
    return true;
}

// A byte count with an optional k or m (1024-based).
bool to_size(std::string text, std::size_t& out) {
    unsigned long long unit = 1;
    if (!text.empty() && (text.back() == 'k' || text.back() == 'K')) unit = 1024;
    if (!text.empty() && (text.back() == 'm' || text.back() == 'M')) unit = 1024 * 1024;
    if (unit != 1) text.pop_back();
    long value = 0;
    if (!to_long(text, 0, static_cast<long>(kMaxPingSize), value)) return false;
    const unsigned long long bytes = static_cast<unsigned long long>(value) * unit;
    if (bytes > kMaxPingSize) return false;
    out = static_cast<std::size_t>(bytes);
    return true;
}

}  // namespace

bool split_target(const std::string& target, std::string& host, std::uint16_t& port) {
    std::string rest;
    if (!target.empty() && target[0] == '[') {
        const std::size_t close = target.find(']');
        if (close == std::string::npos || close == 1) return false;
        host = target.substr(1, close - 1);
        rest = target.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return false;
    } else {
        const std::size_t colon = target.find(':');
        // More than one colon without brackets: an IPv6 address without a port.
        if (colon != std::string::npos && target.find(':', colon + 1) == std::string::npos) {
            host = target.substr(0, colon);
            rest = target.substr(colon);
        } else {
            host = target;
        }
    }
    if (host.empty()) return false;
    port = kDefaultPingPort;
    if (rest.empty()) return true;
    long value = 0;
    if (!to_long(rest.substr(1), 1, 65535, value)) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool parse_ping_options(int argc, char** argv, PingOptions& o, std::string& err) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "-?" || arg == "--help") {
            o.help = true;
            return true;
        }
        if (arg == "-t") {
            o.until_stopped = true;
        } else if (arg == "-q") {
            o.quiet = true;
        } else if (arg == "--json") {
            o.json = true;
            o.quiet = true;
        } else if (arg.size() == 2 && arg[0] == '-' && std::string("nliwcb").find(arg[1]) != std::string::npos) {
            if (i + 1 >= argc) {
                err = texts::kBadValue + arg;
                return false;
            }
            const std::string value = argv[++i];
            long n = 0;
            bool ok = true;
            switch (arg[1]) {
            case 'n': ok = to_long(value, 1, 1L << 30, o.count); break;
            case 'l': ok = to_size(value, o.size); break;
            case 'i': ok = to_long(value, 0, 86400000, o.interval_ms); break;
            case 'w': ok = to_long(value, 1, 86400000, o.timeout_ms); break;
            case 'c':
                ok = to_long(value, 1, 1000, n);
                o.connections = static_cast<int>(n);
                break;
            case 'b': ok = to_long(value, 1, 86400, o.bandwidth_seconds); break;
            }
            if (!ok) {
                err = texts::kBadValue + arg + ": " + value;
                return false;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            err = texts::kBadOption + arg;
            return false;
        } else if (o.target.empty()) {
            o.target = arg;
        } else {
            err = texts::kBadOption + arg;
            return false;
        }
    }
    if (o.target.empty()) {
        err = texts::kNoTarget;
        return false;
    }
    if (!split_target(o.target, o.host, o.port)) {
        err = texts::kBadTarget + o.target;
        return false;
    }
    return true;
}

}  // namespace velta::client
