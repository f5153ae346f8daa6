#include "bench/load_profiles.h"

#include <condition_variable>

namespace velta::bench {

namespace {

constexpr std::uint64_t kWarmup = 2;

// Tells the writer how many frames it may have sent so far. Only one frame
// is ever outstanding, but the writer is a thread of its own so that a
// server which starts echoing before the whole frame arrived never waits on
// a client that is still busy sending.
class SendPermits {
public:
    void allow(std::uint64_t frames) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            allowed_ = frames;
        }
        cv_.notify_one();
    }
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        cv_.notify_one();
    }
    // False once stopped.
    bool wait_for(std::uint64_t seq) {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [&] { return stopped_ || seq < allowed_; });
        return !stopped_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::uint64_t allowed_ = 0;
    bool stopped_ = false;
};

// Stops the writer on every exit path before its thread is joined; after a
// failure it also unblocks a writer stuck in send.
class WriterStopper {
public:
    WriterStopper(SendPermits& permits, const Socket& s) : permits_(permits), socket_(s) {}
    ~WriterStopper() {
        if (!finished_) shutdown_both(socket_);
        permits_.stop();
    }
    WriterStopper(const WriterStopper&) = delete;
    WriterStopper& operator=(const WriterStopper&) = delete;
    void finished() { finished_ = true; }

private:
    SendPermits& permits_;
    const Socket& socket_;
    bool finished_ = false;
};

}  // namespace

Result run_large(const LoadOptions& o, std::size_t payload_size) {
    Socket s = open_client(o.port);
    FrameMaker checker(payload_size);
    ReplyStream replies(payload_size, checker.frame_size());
    SendPermits permits;
    FailureFlag failure;

    JoiningThreads writer;
    WriterStopper stopper(permits, s);
    writer.start([&] {
        FrameMaker maker(payload_size);
        for (std::uint64_t seq = 0; seq < kMaxExchanges && permits.wait_for(seq); ++seq) {
            if (!send_all(s, maker.make(seq), maker.frame_size())) {
                failure.set("send failed: " + last_socket_error());
                shutdown_both(s);
                return;
            }
        }
    });

    auto exchange = [&](std::uint64_t seq) {
        permits.allow(seq + 1);
        try {
            await_reply(s, checker, replies, seq);
        } catch (const LoadError&) {
            failure.rethrow();  // a send failure explains the receive failure
            throw;
        }
    };

    std::uint64_t seq = 0;
    for (; seq < kWarmup; ++seq) exchange(seq);
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = deadline_after(o.seconds);
    std::uint64_t done = 0;
    while (done < kMaxExchanges && Clock::now() < deadline) {
        exchange(seq++);
        ++done;
    }
    const double elapsed = seconds_since(start);
    stopper.finished();

    const double mib = static_cast<double>(done) * static_cast<double>(payload_size) / (1024.0 * 1024.0);
    return {{"mib_per_s", fixed(mib / elapsed, 1)},
            {"exchanges", std::to_string(done)},
            {"payload", std::to_string(payload_size)},
            {"seconds", fixed(elapsed, 3)}};
}

}  // namespace velta::bench
