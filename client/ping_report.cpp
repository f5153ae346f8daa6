#include "client/ping_report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "client/ping_texts.h"

namespace velta::client {

namespace {

std::string ms(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

struct RttFigures {
    double min = 0;
    double avg = 0;
    double max = 0;
    double p50 = 0;
    double p99 = 0;
};

std::optional<RttFigures> rtt_figures(std::vector<double> samples) {
    if (samples.empty()) return std::nullopt;
    std::sort(samples.begin(), samples.end());
    RttFigures f;
    f.min = samples.front();
    f.max = samples.back();
    double sum = 0;
    for (double s : samples) sum += s;
    f.avg = sum / static_cast<double>(samples.size());
    auto at = [&](double fraction) {
        return samples[std::min(samples.size() - 1, static_cast<std::size_t>(fraction * samples.size()))];
    };
    f.p50 = at(0.50);
    f.p99 = at(0.99);
    return f;
}

double mib_per_s(const PingSummary& s) {
    const double seconds = s.bandwidth_seconds.value_or(0);
    return seconds > 0 ? static_cast<double>(s.counts.verified_bytes) / seconds / (1024.0 * 1024.0) : 0;
}

}  // namespace

void PingCounts::add(const PingCounts& other) {
    sent += other.sent;
    received += other.received;
    lost += other.lost;
    wrong += other.wrong;
    verified_bytes += other.verified_bytes;
    rtts_ms.insert(rtts_ms.end(), other.rtts_ms.begin(), other.rtts_ms.end());
}

std::string endpoint_text(const std::string& address, std::uint16_t port) {
    const bool v6 = address.find(':') != std::string::npos;
    return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

std::string reply_line(const std::string& endpoint, std::size_t bytes, double rtt_ms) {
    return texts::kReply + endpoint + texts::kBytes + std::to_string(bytes) + texts::kTime + ms(rtt_ms) + " ms\n";
}

std::string summary_text(const PingSummary& s) {
    const PingCounts& c = s.counts;
    std::string text = std::string("\n") + texts::kStatistics + s.target + ":\n" + texts::kSent +
                       std::to_string(c.sent) + texts::kReceived + std::to_string(c.received) + texts::kLost +
                       std::to_string(c.lost) + texts::kWrong + std::to_string(c.wrong) + "\n";
    if (const std::optional<RttFigures> f = rtt_figures(c.rtts_ms)) {
        text += texts::kRtt + ms(f->min) + ", prosek = " + ms(f->avg) + ", max = " + ms(f->max) + ", p50 = " +
                ms(f->p50) + ", p99 = " + ms(f->p99) + "\n";
    }
    if (s.bandwidth_seconds) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f", mib_per_s(s));
        text += texts::kBandwidth + std::string(rate) + " MiB/s\n";
    }
    return text;
}

std::string summary_json(const PingSummary& s) {
    using nlohmann::json;
    const PingCounts& c = s.counts;
    json rtt = {{"min", nullptr}, {"avg", nullptr}, {"max", nullptr}, {"p50", nullptr}, {"p99", nullptr}};
    if (const std::optional<RttFigures> f = rtt_figures(c.rtts_ms)) {
        rtt = {{"min", f->min}, {"avg", f->avg}, {"max", f->max}, {"p50", f->p50}, {"p99", f->p99}};
    }
    json object = {{"target", s.target},
                   {"address", s.address ? json(*s.address) : json(nullptr)},
                   {"port", s.port},
                   {"sent", c.sent},
                   {"received", c.received},
                   {"lost", c.lost},
                   {"wrong", c.wrong},
                   {"rtt_ms", rtt}};
    if (s.bandwidth_seconds) object["mib_per_s"] = mib_per_s(s);
    // A target that is not UTF-8 (a Windows code page's bytes) still gives
    // valid JSON.
    return object.dump(-1, ' ', true, json::error_handler_t::replace) + "\n";
}

int ping_exit_status(const PingCounts& counts) { return counts.lost == 0 && counts.wrong == 0 ? 0 : 1; }

}  // namespace velta::client
