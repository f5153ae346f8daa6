#include "service/service_host.h"

#include <random>

#include "service/net/id_tcp_server.h"
#include "support/loopback_client.h"

ServiceHost::ServiceHost(const char* ini) {
  if (ini != nullptr) dir.Write("veltactl.ini", ini);
  service = std::make_unique<TVeltaService>(eventLog, dir.Path(""));
}

ServiceHost::~ServiceHost() {
  if (FServiceThread.joinable()) {
    service->Controller(kControlStop);
    FServiceThread.join();
  }
}

void ServiceHost::Start() {
  FServiceThread = std::thread([this] { FResult = service->RunServiceThread(); });
}

int ServiceHost::WaitStopped() {
  if (FServiceThread.joinable()) FServiceThread.join();
  return FResult;
}

bool ServiceHost::WaitForState(TServiceState state) {
  return velta::testing::WaitUntil([&] { return service->State() == state; }, 10000);
}

std::vector<std::string> ServiceHost::LogTexts() const {
  std::vector<std::string> texts;
  std::string bytes = dir.Read("veltactl.log");
  if (bytes == "<missing>") return texts;
  const std::string prefix = "Velta server : dd-mm-yyyy, hh:nn:ss : ";
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    texts.push_back(line.size() > prefix.size() ? line.substr(prefix.size()) : "<bad line: " + line + ">");
    start = end + 2;
  }
  return texts;
}

bool ServiceHost::WaitForLogTexts(std::size_t count) {
  return velta::testing::WaitUntil([&] { return LogTexts().size() >= count; }, 10000);
}

int FreeSettingsPort() {
  static std::mt19937 pick(std::random_device{}());
  std::uniform_int_distribution<int> ports(20000, 32000);
  for (int attempt = 0; attempt < 100; ++attempt) {
    int port = ports(pick);
    TIdTCPServer probe;
    probe.SetDefaultPort(port);
    try {
      probe.SetActive(true);
      probe.SetActive(false);
      return port;
    } catch (const std::exception&) {
    }
  }
  return 0;
}
