// Sends one frame to an echo server on 127.0.0.1 and shows the exchange:
// what went out and what came back, byte for byte. Exit code 0 when the
// reply carries the same bytes.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_socket.h"
#include "bench/frame.h"

namespace {

void Show(const char* direction, const std::vector<unsigned char>& bytes) {
  std::printf("%s %zu bytes:", direction, bytes.size());
  for (unsigned char b : bytes) std::printf(" %02X", b);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velta::bench;
  if (argc != 3) {
    std::fprintf(stderr, "usage: echo-probe PORT TEXT\n");
    return 2;
  }
  NetSession net;
  std::string error;
  Socket s = connect_loopback(static_cast<std::uint16_t>(std::atoi(argv[1])), 5000, error);
  if (!s.valid()) {
    std::fprintf(stderr, "echo-probe: %s\n", error.c_str());
    return 1;
  }
  std::string text = argv[2];
  std::vector<unsigned char> request(kHeaderSize + text.size());
  put_length(request.data(), static_cast<std::int32_t>(text.size()));
  std::copy(text.begin(), text.end(), request.begin() + kHeaderSize);
  Show("sent    ", request);
  if (!send_all(s, request.data(), request.size())) {
    std::fprintf(stderr, "echo-probe: send failed: %s\n", last_socket_error().c_str());
    return 1;
  }
  std::vector<unsigned char> reply(request.size());
  if (!recv_all(s, reply.data(), reply.size())) {
    std::fprintf(stderr, "echo-probe: no complete reply: %s\n", last_socket_error().c_str());
    return 1;
  }
  Show("received", reply);
  std::printf("reply %s the request\n", reply == request ? "matches" : "DIFFERS FROM");
  return reply == request ? 0 : 1;
}
