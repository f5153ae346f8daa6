// Connections whose threads are blocked inside a receive or a send: a
// deactivation must still end them, and a payload that never arrives must
// not cost the memory it announced.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "service/echo_exchange.h"
#include "service/net/id_tcp_server.h"
#include "support/loopback_client.h"

namespace {

using velta::testing::BigEndian32;
using velta::testing::Bytes;
using velta::testing::Join;
using velta::testing::LoopbackClient;
using velta::testing::Pattern;
using velta::testing::Text;
using velta::testing::WaitUntil;

class BlockedConnections : public ::testing::Test {
 protected:
  BlockedConnections() {
    server.OnExecute = IdTCPServerExecute;
    server.SetDefaultPort(0);
    server.SetActive(true);
    port = server.Bindings().Items(0).Port;
  }

  TIdTCPServer server;
  int port = 0;
};

// Address space of this process in KiB, where the system tells it: what
// Windows would commit for the same reservations.
long VirtualKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
  }
  return -1;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAllocatorMapsItsOwn = true;  // the sanitizers' allocators map shadow and pools of their own
#else
constexpr bool kAllocatorMapsItsOwn = false;
#endif

}  // namespace

TEST_F(BlockedConnections, AConnectionBlockedInSendingItsReplyIsClosedByDeactivation) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  // A reply far larger than the socket buffers, which the client never reads.
  constexpr std::size_t kSize = 16 * 1024 * 1024;
  std::thread writer([&] { client.TrySend(Join({BigEndian32(kSize), Pattern(kSize, 3)})); });
  ASSERT_TRUE(WaitUntil([&] { return server.Threads().Count() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NO_THROW(server.SetActive(false));
  EXPECT_FALSE(server.Active());
  EXPECT_TRUE(server.Threads().IsEmpty());
  // The server closed with the request unread: the client's send now fails.
  writer.join();
}

TEST_F(BlockedConnections, APayloadThatNeverArrivesCostsNoMemoryAndHoldsItsConnectionUntilDeactivation) {
  constexpr int kClients = 8;
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  // The connections and their threads first, each served once.
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<LoopbackClient>(port));
    VELTA_ASSERT_CONNECTED(*clients.back());
    clients.back()->SendFrame(Bytes());
    EXPECT_EQ(clients.back()->ReadFrame(), Bytes());
  }
  long before = VirtualKiB();
  // Then each declares the largest length there is and sends ten bytes.
  for (auto& client : clients) client->SendBytes(Join({BigEndian32(0x7FFFFFFF), Text("0123456789")}));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(server.Threads().Count(), static_cast<std::size_t>(kClients));
  long after = VirtualKiB();
  if (before > 0 && !kAllocatorMapsItsOwn) {
    EXPECT_LT(after - before, 64 * 1024) << "KiB of address space for 16 GiB declared and 80 bytes received";
  }
  EXPECT_NO_THROW(server.SetActive(false));
  EXPECT_TRUE(server.Threads().IsEmpty());
  for (auto& client : clients) client->ExpectClosedByServer();
}
