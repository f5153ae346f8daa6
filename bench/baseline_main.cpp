// bench-baseline [--chunked] PORT: a plain echo server (one blocking thread
// per connection) that gives echo-host's figures something to be read
// against. By default it reads and writes as few times as it can; with
// --chunked it makes echo-host's calls, so that the two ratios tell the
// design's cost from the implementation's.
#include "client/client_socket.h"
#include "bench/connection_registry.h"
#include "bench/echo_session.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

using namespace velta::bench;

namespace {

constexpr int kAcceptSliceMs = 200;
// Effectively forever; the stop signal is what really ends the loop.
constexpr std::uint64_t kMaxAcceptRounds = 1ULL << 40;
constexpr auto kDrainLimit = std::chrono::seconds(3);

bool parse_port(const char* text, std::uint16_t& port) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 1 || v > 65535) return false;
    port = static_cast<std::uint16_t>(v);
    return true;
}

void start_session(const std::shared_ptr<ConnectionRegistry>& registry, Socket client, EchoPattern pattern) {
    const std::uint64_t id = registry->begin();
    try {
        std::thread([registry, id, pattern, s = std::move(client)] {
            if (registry->attach(id, s)) serve_echo(s, pattern);
            registry->end(id);
        }).detach();
    } catch (const std::system_error& e) {
        // Out of threads: this client is dropped, the server keeps going.
        registry->end(id);
        std::fprintf(stderr, "bench-baseline: cannot start a thread: %s\n", e.what());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::uint16_t port = 0;
    EchoPattern pattern = EchoPattern::Gathered;
    if (argc == 3 && std::strcmp(argv[1], "--chunked") == 0) pattern = EchoPattern::Chunked;
    if (argc < 2 || argc > 3 || (argc == 3 && pattern != EchoPattern::Chunked) || !parse_port(argv[argc - 1], port)) {
        std::fprintf(stderr, "usage: bench-baseline [--chunked] PORT\n");
        return 2;
    }
    raise_descriptor_limit();
    NetSession net;
    if (!net.ok()) {
        std::fprintf(stderr, "bench-baseline: cannot start networking\n");
        return 1;
    }
    install_stop_handler();

    std::string err;
    Socket listener = listen_any(port, err);
    if (!listener.valid()) {
        std::fprintf(stderr, "bench-baseline: port %u: %s\n", static_cast<unsigned>(port), err.c_str());
        return 1;
    }
    std::fprintf(stderr, "bench-baseline: listening on 0.0.0.0:%u\n", static_cast<unsigned>(port));

    auto registry = std::make_shared<ConnectionRegistry>();
    // Waiting with a timeout rather than blocking in accept lets the loop
    // notice the stop flag within a fraction of a second.
    for (std::uint64_t round = 0; round < kMaxAcceptRounds && !stop_requested(); ++round) {
        const int ready = wait_readable(listener, kAcceptSliceMs);
        if (ready < 0) {
            std::fprintf(stderr, "bench-baseline: wait failed: %s\n", last_socket_error().c_str());
            break;
        }
        if (ready == 0) continue;
        Socket client = accept_client(listener);
        if (!client.valid()) {
            // Typically out of descriptors; pausing avoids a busy loop.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        set_no_delay(client);
        start_session(registry, std::move(client), pattern);
    }

    listener.reset();
    registry->shutdown_all();
    if (!registry->wait_empty(kDrainLimit))
        std::fprintf(stderr, "bench-baseline: some connections did not close in time\n");
    return 0;
}
