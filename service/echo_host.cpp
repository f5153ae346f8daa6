// Hosts the echo exchange on a TCP port in the foreground, without the
// service around it: for tests, benchmarks and quick checks.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "service/descriptor_limit.h"
#include "service/echo_exchange.h"
#include "service/net/id_tcp_server.h"
#include "service/stop_signal.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: echo-host PORT\n");
    return 2;
  }
  int port = std::atoi(argv[1]);
  PrepareStopSignal();
  RaiseDescriptorLimit();
  try {
    TIdTCPServer server;
    server.SetDefaultPort(port);
    server.ListenQueue = IdMaxListenQueue();
    server.OnExecute = IdTCPServerExecute;
    server.SetActive(true);
    std::printf("echo-host: listening on 0.0.0.0:%d\n", server.Bindings().Items(0).Port);
    std::fflush(stdout);
    WaitForStopSignal();
    server.SetActive(false);
    std::printf("echo-host: stopped\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "echo-host: %s\n", e.what());
    return 1;
  }
  return 0;
}
