#include "bench/load_profiles.h"

#include <algorithm>

namespace velta::bench {

namespace {

// Uncounted exchanges that let both sides settle before timing starts.
constexpr int kWarmup = 20;

struct Tally {
    std::uint64_t exchanges = 0;
    double finished_at = 0;  // seconds after the common start
};

}  // namespace

Result run_lockstep(const LoadOptions& o, std::size_t payload_size, int connections) {
    std::vector<Socket> sockets;
    for (int i = 0; i < connections; ++i) sockets.push_back(open_client(o.port));

    // Every thread waits for one shared start so their windows coincide.
    const Clock::time_point start = Clock::now() + std::chrono::milliseconds(100);
    const Clock::time_point deadline = start + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(o.seconds));
    std::vector<Tally> tallies(sockets.size());
    FailureFlag failure;
    {
        JoiningThreads threads;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            threads.start([&, i] {
                try {
                    const Socket& s = sockets[i];
                    FrameMaker maker(payload_size);
                    ReplyStream replies(payload_size, maker.frame_size());
                    std::uint64_t seq = 0;
                    for (; seq < kWarmup; ++seq) exchange_one(s, maker, replies, seq);
                    std::this_thread::sleep_until(start);
                    std::uint64_t done = 0;
                    while (done < kMaxExchanges && !failure.raised() && Clock::now() < deadline) {
                        exchange_one(s, maker, replies, seq++);
                        ++done;
                    }
                    tallies[i].exchanges = done;
                    tallies[i].finished_at = std::chrono::duration<double>(Clock::now() - start).count();
                } catch (const std::exception& e) {
                    failure.set(e.what());
                }
            });
        }
    }
    failure.rethrow();

    std::uint64_t total = 0;
    double elapsed = 0;
    for (const Tally& t : tallies) {
        total += t.exchanges;
        elapsed = std::max(elapsed, t.finished_at);
    }
    return {{"exchanges_per_s", fixed(static_cast<double>(total) / elapsed, 1)},
            {"exchanges", std::to_string(total)},
            {"connections", std::to_string(connections)},
            {"payload", std::to_string(payload_size)},
            {"seconds", fixed(elapsed, 3)}};
}

}  // namespace velta::bench
