// Worker threads that are always joined, so an early throw in the thread that
// started them never meets a joinable std::thread (which would terminate).
#pragma once

#include <thread>
#include <utility>
#include <vector>

namespace velta::bench {

class JoiningThreads {
public:
    JoiningThreads() = default;
    ~JoiningThreads() { join(); }
    JoiningThreads(const JoiningThreads&) = delete;
    JoiningThreads& operator=(const JoiningThreads&) = delete;

    template <typename F>
    void start(F&& body) {
        threads_.emplace_back(std::forward<F>(body));
    }
    void join() {
        for (auto& t : threads_)
            if (t.joinable()) t.join();
        threads_.clear();
    }

private:
    std::vector<std::thread> threads_;
};

}  // namespace velta::bench
