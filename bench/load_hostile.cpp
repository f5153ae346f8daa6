// The hostile profile: well-behaved clients verifying every reply while
// others connect and close, send half a header and wait, declare 2 GiB and
// send nothing, trickle a byte every 100 ms, send a negative length, reset
// in the middle of a payload, and hold 500 idle connections. Reports the
// wrong replies (0 for a sound server), the good clients' exchange rate and
// p99 latency, and the server's footprint before, at its peak and after.
#include "bench/load_profiles.h"

#include "bench/proc_status.h"

#include <algorithm>

namespace velta::bench {

namespace {

constexpr int kGoodClients = 8;
constexpr std::size_t kGoodPayload = 1024;
constexpr int kIdleConnections = 500;
constexpr int kHalfHeaders = 4;
constexpr int kHugeDeclarations = 4;
constexpr int kTricklers = 2;
constexpr std::size_t kTricklePayload = 8;
constexpr auto kTrickleStep = std::chrono::milliseconds(100);
constexpr auto kSampleStep = std::chrono::milliseconds(100);
constexpr auto kChurnPause = std::chrono::milliseconds(5);
// Long enough for a trickled frame or two to complete.
constexpr double kMinSeconds = 5.0;
// Bounds the latency samples a run keeps.
constexpr std::size_t kMaxSamples = 4000000;
constexpr std::int32_t kLargestLength = 0x7FFFFFFF;

struct Footprint {
    ProcStatus before;
    ProcStatus peak;
    ProcStatus after;
};

ProcStatus status_of(long pid) {
    const std::optional<ProcStatus> st = read_proc_status(pid);
    if (!st) throw LoadError("server process " + std::to_string(pid) + " vanished");
    return *st;
}

void raise_peak(ProcStatus& peak, const ProcStatus& now) {
    peak.rss_kib = std::max(peak.rss_kib, now.rss_kib);
    peak.vm_kib = std::max(peak.vm_kib, now.vm_kib);
    peak.threads = std::max(peak.threads, now.threads);
}

// Everything the hostile clients share: the deadline and the tallies.
struct Run {
    std::uint16_t port;
    Clock::time_point deadline;
    std::atomic<std::uint64_t> wrong{0};
    std::atomic<std::uint64_t> hostile_connections{0};

    bool going() const { return Clock::now() < deadline; }
};

// A well-behaved client: lockstep exchanges, every reply verified. A wrong
// or missing reply is counted and the client starts over on a new connection.
void good_client(Run& run, std::uint64_t first_seq, std::vector<double>& latencies) {
    FrameMaker maker(kGoodPayload);
    std::uint64_t seq = first_seq;
    for (std::uint64_t n = 0; n < kMaxExchanges && run.going();) {
        Socket s = open_client(run.port);
        ReplyStream replies(kGoodPayload, maker.frame_size());
        try {
            for (; n < kMaxExchanges && run.going(); ++n) {
                const Clock::time_point sent = Clock::now();
                exchange_one(s, maker, replies, seq++);
                if (latencies.size() < kMaxSamples) latencies.push_back(seconds_since(sent));
            }
        } catch (const LoadError&) {
            ++run.wrong;
        }
    }
}

void connect_and_close(Run& run) {
    for (std::uint64_t n = 0; n < kMaxExchanges && run.going(); ++n) {
        std::string err;
        Socket s = connect_loopback(run.port, kIoTimeoutMs, err);
        if (s.valid()) ++run.hostile_connections;
        std::this_thread::sleep_for(kChurnPause);
    }
}

// Sends the bytes and keeps the connection open, silent, until the end.
void send_and_hold(Run& run, const std::vector<unsigned char>& bytes) {
    Socket s = open_client(run.port);
    ++run.hostile_connections;
    send_all(s, bytes.data(), bytes.size());
    std::this_thread::sleep_until(run.deadline);
}

// One frame at a time, a byte every 100 ms; its reply must still be right.
void trickle(Run& run, std::uint64_t first_seq) {
    FrameMaker maker(kTricklePayload);
    std::uint64_t seq = first_seq;
    for (std::uint64_t n = 0; n < kMaxExchanges && run.going(); ++n) {
        Socket s = open_client(run.port);
        ++run.hostile_connections;
        const unsigned char* frame = maker.make(seq);
        for (std::size_t i = 0; i < maker.frame_size(); ++i) {
            if (!send_all(s, frame + i, 1)) break;
            std::this_thread::sleep_for(kTrickleStep);
        }
        ReplyStream replies(kTricklePayload, maker.frame_size());
        try {
            await_reply(s, maker, replies, seq++);
        } catch (const LoadError&) {
            ++run.wrong;
        }
    }
}

// A negative length must end the connection without any reply.
void negative_length(Run& run) {
    unsigned char frame[kHeaderSize + 4] = {};
    put_length(frame, -5);
    for (std::uint64_t n = 0; n < kMaxExchanges && run.going(); ++n) {
        Socket s = open_client(run.port);
        ++run.hostile_connections;
        send_all(s, frame, sizeof frame);
        unsigned char reply[kHeaderSize];
        if (recv_some(s, reply, sizeof reply) > 0) ++run.wrong;
        std::this_thread::sleep_for(kChurnPause);
    }
}

void reset_mid_payload(Run& run) {
    std::vector<unsigned char> part(kHeaderSize + 1000, 0x5A);
    put_length(part.data(), 4096);
    for (std::uint64_t n = 0; n < kMaxExchanges && run.going(); ++n) {
        Socket s = open_client(run.port);
        ++run.hostile_connections;
        send_all(s, part.data(), part.size());
        reset_close(s);
        std::this_thread::sleep_for(kChurnPause);
    }
}

void add_footprint(Result& r, const char* name, const ProcStatus& st) {
    r.push_back({std::string("rss_kib_") + name, std::to_string(st.rss_kib)});
    r.push_back({std::string("vm_kib_") + name, std::to_string(st.vm_kib)});
    r.push_back({std::string("threads_") + name, std::to_string(st.threads)});
}

}  // namespace

Result run_hostile(const LoadOptions& o) {
    if (o.pid <= 0) throw LoadError("hostile needs --pid of the server");
    Footprint footprint;
    footprint.before = status_of(o.pid);
    footprint.peak = footprint.before;

    std::vector<Socket> idle = open_served(o.port, kIdleConnections);
    const double seconds = std::max(o.seconds, kMinSeconds);
    Run run{o.port, deadline_after(seconds)};
    const Clock::time_point start = Clock::now();

    std::vector<unsigned char> half_header = {0x00, 0x00};
    std::vector<unsigned char> huge(kHeaderSize);
    put_length(huge.data(), kLargestLength);
    std::vector<std::vector<double>> latencies(kGoodClients);
    FailureFlag failure;
    {
        JoiningThreads threads;
        auto guarded = [&](auto body) {
            threads.start([&failure, body] {
                try {
                    body();
                } catch (const std::exception& e) {
                    failure.set(e.what());
                }
            });
        };
        for (int i = 0; i < kGoodClients; ++i) {
            guarded([&, i] { good_client(run, static_cast<std::uint64_t>(i) << 40, latencies[i]); });
        }
        guarded([&] { connect_and_close(run); });
        for (int i = 0; i < kHalfHeaders; ++i) guarded([&] { send_and_hold(run, half_header); });
        for (int i = 0; i < kHugeDeclarations; ++i) guarded([&] { send_and_hold(run, huge); });
        for (int i = 0; i < kTricklers; ++i) guarded([&, i] { trickle(run, static_cast<std::uint64_t>(i + 100) << 40); });
        guarded([&] { negative_length(run); });
        guarded([&] { reset_mid_payload(run); });
        for (std::uint64_t n = 0; n < kMaxExchanges && run.going(); ++n) {
            raise_peak(footprint.peak, status_of(o.pid));
            std::this_thread::sleep_for(kSampleStep);
        }
    }
    failure.rethrow();
    const double elapsed = seconds_since(start);

    // Every idle connection must have outlived the storm.
    FrameMaker maker(kProbePayload);
    for (const Socket& s : idle) probe(s, maker, 1);
    idle.clear();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    footprint.after = status_of(o.pid);

    std::vector<double> all;
    for (const auto& own : latencies) all.insert(all.end(), own.begin(), own.end());
    const std::size_t exchanges = all.size();
    Result r = {{"wrong_replies", std::to_string(run.wrong.load())},
                {"exchanges_per_s", fixed(static_cast<double>(exchanges) / elapsed, 1)},
                {"p99_ms", fixed(percentile(all, 0.99) * 1000, 3)},
                {"hostile_connections", std::to_string(run.hostile_connections.load())},
                {"idle", std::to_string(kIdleConnections)}};
    add_footprint(r, "before", footprint.before);
    add_footprint(r, "peak", footprint.peak);
    add_footprint(r, "after", footprint.after);
    r.push_back({"seconds", fixed(elapsed, 3)});
    return r;
}

}  // namespace velta::bench
