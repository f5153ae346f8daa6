// An echo server that fails on purpose, for veltaping's end-to-end test:
//   faulty-echo PORT corrupt        every second reply has one byte changed
//   faulty-echo PORT close-after-1  each connection is closed after its first reply
// Serves one connection at a time until killed.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/client_socket.h"
#include "client/frame.h"

using namespace velta::client;

namespace {

// Echoes frames until the peer goes; false when the mode ends it first.
void serve(const Socket& s, bool corrupt) {
    for (unsigned replies = 0;; ++replies) {
        unsigned char header[kHeaderSize];
        if (!recv_all(s, header, sizeof header)) return;
        const std::int32_t length = get_length(header);
        if (length < 0) return;
        std::vector<unsigned char> payload(static_cast<std::size_t>(length));
        if (!payload.empty() && !recv_all(s, payload.data(), payload.size())) return;
        if (corrupt && replies % 2 == 1 && !payload.empty()) payload[payload.size() / 2] ^= 0x01;
        if (!send_all(s, header, sizeof header) || (!payload.empty() && !send_all(s, payload.data(), payload.size())))
            return;
        if (!corrupt) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 3 ? argv[2] : "";
    if (mode != "corrupt" && mode != "close-after-1") {
        std::fprintf(stderr, "usage: faulty-echo PORT corrupt|close-after-1\n");
        return 2;
    }
    NetSession net;
    std::string err;
    Socket listener = listen_any(static_cast<std::uint16_t>(std::atoi(argv[1])), err);
    if (!listener.valid()) {
        std::fprintf(stderr, "faulty-echo: %s\n", err.c_str());
        return 1;
    }
    for (;;) {
        Socket client = accept_client(listener);
        if (client.valid()) serve(client, mode == "corrupt");
    }
}
