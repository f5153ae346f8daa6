// The TCP server's activation, bindings and deactivation, observed through
// real loopback connections.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "service/echo_exchange.h"
#include "service/net/id_exceptions.h"
#include "service/net/id_tcp_server.h"
#include "support/loopback_client.h"

namespace {

using velta::testing::Bytes;
using velta::testing::BytesEqual;
using velta::testing::FindFreePort;
using velta::testing::LoopbackClient;
using velta::testing::StopOrAbandon;
using velta::testing::Text;
using velta::testing::WaitUntil;

const char kCouldNotBind[] = "Could not bind socket. Address and port are already in use.";

// One exchange on a new connection: the port is served by an echo handler.
void ExpectEchoOn(int port, const std::string& payload) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client) << " (port " << port << ")";
  client.SendFrame(Text(payload));
  EXPECT_PRED_FORMAT2(BytesEqual, Text(payload), client.ReadFrame());
}

void ExpectNoListenerOn(int port) {
  LoopbackClient client(port);
  EXPECT_FALSE(client.Connected()) << "something still accepts connections on port " << port;
}

class EchoServer : public ::testing::Test {
 protected:
  EchoServer() { server.OnExecute = IdTCPServerExecute; }
  void TearDown() override { StopOrAbandon(owned); }

  // Activates on a port the system picks.
  void ActivateAnywhere() {
    server.SetDefaultPort(0);
    ASSERT_NO_THROW(server.SetActive(true));
    ASSERT_TRUE(server.Active());
    port = server.Bindings().Items(0).Port;
    ASSERT_GT(port, 0);
  }

  bool ConnectionThreadsReach(std::size_t count) {
    return WaitUntil([&] { return server.Threads().Count() == count; });
  }

  std::unique_ptr<TIdTCPServer> owned = std::make_unique<TIdTCPServer>();
  TIdTCPServer& server = *owned;
  int port = 0;
};

// --- Bindings and ports ----------------------------------------------------

using ServerBindings = EchoServer;

TEST_F(ServerBindings, FirstActivationCreatesOneBindingOnEveryAddressAtTheDefaultPort) {
  int chosen = FindFreePort();
  server.SetDefaultPort(chosen);
  EXPECT_EQ(server.Bindings().Count(), 0u);
  ASSERT_NO_THROW(server.SetActive(true));
  EXPECT_TRUE(server.Active());
  ASSERT_EQ(server.Bindings().Count(), 1u);
  EXPECT_EQ(server.Bindings().Items(0).IP, "0.0.0.0");
  EXPECT_EQ(server.Bindings().Items(0).Port, chosen);
  ExpectEchoOn(chosen, "served");
}

TEST_F(ServerBindings, ADefaultPortSetAfterTheFirstActivationDoesNotMoveTheBinding) {
  ActivateAnywhere();
  int later = FindFreePort();
  ASSERT_NE(later, port);
  server.SetDefaultPort(later);
  ASSERT_NO_THROW(server.SetActive(false));
  ASSERT_NO_THROW(server.SetActive(true));
  ASSERT_EQ(server.Bindings().Count(), 1u);
  EXPECT_EQ(server.Bindings().Items(0).Port, port);
  EXPECT_EQ(server.DefaultPort(), later);
  ExpectEchoOn(port, "old port");
  ExpectNoListenerOn(later);
}

TEST_F(ServerBindings, ABindingPortSetWhileInactiveMovesTheListenerAtTheNextActivation) {
  ActivateAnywhere();
  int moved = FindFreePort();
  ASSERT_NE(moved, port);
  ASSERT_NO_THROW(server.SetActive(false));
  server.Bindings().Items(0).Port = moved;
  ASSERT_NO_THROW(server.SetActive(true));
  ASSERT_EQ(server.Bindings().Count(), 1u);
  EXPECT_EQ(server.Bindings().Items(0).Port, moved);
  ExpectEchoOn(moved, "new port");
  ExpectNoListenerOn(port);
}

// --- Activation ------------------------------------------------------------

using ServerActivation = EchoServer;

TEST_F(ServerActivation, ActivatingAnActiveServerLeavesListenerAndConnectionsAlone) {
  ActivateAnywhere();
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendFrame(Text("before"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("before"), client.ReadFrame());

  // A binding change waiting for the next activation shows whether this call
  // quietly bound and listened afresh.
  int pending = FindFreePort();
  ASSERT_NE(pending, port);
  server.Bindings().Items(0).Port = pending;
  EXPECT_NO_THROW(server.SetActive(true));
  EXPECT_TRUE(server.Active());
  EXPECT_EQ(server.Bindings().Count(), 1u);
  client.SendFrame(Text("after"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("after"), client.ReadFrame());
  ExpectEchoOn(port, "new connection");
  ExpectNoListenerOn(pending);
}

TEST_F(ServerActivation, DeactivatingAnInactiveServerDoesNothing) {
  EXPECT_NO_THROW(server.SetActive(false));
  EXPECT_FALSE(server.Active());
  EXPECT_EQ(server.Bindings().Count(), 0u);

  ActivateAnywhere();
  ASSERT_NO_THROW(server.SetActive(false));
  EXPECT_NO_THROW(server.SetActive(false));
  EXPECT_FALSE(server.Active());
  EXPECT_EQ(server.Bindings().Count(), 1u);
  ExpectNoListenerOn(port);
}

TEST_F(ServerActivation, APortInUseFailsTheActivationUntilItIsFree) {
  TIdTCPServer holder;
  holder.OnExecute = IdTCPServerExecute;
  holder.SetDefaultPort(0);
  ASSERT_NO_THROW(holder.SetActive(true));
  int taken = holder.Bindings().Items(0).Port;

  server.SetDefaultPort(taken);
  // Twice: a failed attempt must leave nothing behind that changes the next.
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    try {
      server.SetActive(true);
      ADD_FAILURE() << "activation on a port in use succeeded";
    } catch (const EIdCouldNotBindSocket& e) {
      EXPECT_STREQ(e.what(), kCouldNotBind);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "unexpected error: " << e.what();
    }
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(server.Bindings().Count(), 1u);
    EXPECT_TRUE(server.Threads().IsEmpty());
  }
  // The failed server has not disturbed the one holding the port.
  ExpectEchoOn(taken, "holder");

  ASSERT_NO_THROW(holder.SetActive(false));
  ASSERT_NO_THROW(server.SetActive(true));
  EXPECT_TRUE(server.Active());
  ASSERT_EQ(server.Bindings().Count(), 1u);
  EXPECT_EQ(server.Bindings().Items(0).Port, taken);
  ExpectEchoOn(taken, "now mine");
}

// --- Deactivation ----------------------------------------------------------

using ServerDeactivation = EchoServer;

TEST_F(ServerDeactivation, ClosesEveryOpenConnectionAndStopsListening) {
  server.ListenQueue = IdMaxListenQueue();
  ActivateAnywhere();
  LoopbackClient afterExchange(port);
  LoopbackClient silent(port);
  LoopbackClient midFrame(port);
  VELTA_ASSERT_CONNECTED(afterExchange);
  VELTA_ASSERT_CONNECTED(silent);
  VELTA_ASSERT_CONNECTED(midFrame);
  afterExchange.SendFrame(Text("hello"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("hello"), afterExchange.ReadFrame());
  midFrame.SendBytes({0x00, 0x00, 0x00, 0x09, 0x61, 0x62});
  // Hundreds more, each blocked in its first read.
  std::vector<std::unique_ptr<LoopbackClient>> idle;
  for (int i = 3; i < 300; ++i) {
    idle.push_back(std::make_unique<LoopbackClient>(port));
    VELTA_ASSERT_CONNECTED(*idle.back());
  }
  ASSERT_TRUE(ConnectionThreadsReach(300)) << server.Threads().Count() << " connection threads";

  ASSERT_NO_THROW(server.SetActive(false));
  EXPECT_FALSE(server.Active());
  EXPECT_TRUE(server.Threads().IsEmpty()) << server.Threads().Count() << " connection threads left";
  {
    SCOPED_TRACE("after an exchange");
    afterExchange.ExpectClosedByServer();
  }
  {
    SCOPED_TRACE("without data");
    silent.ExpectClosedByServer();
  }
  {
    SCOPED_TRACE("mid-frame");
    midFrame.ExpectClosedByServer();
  }
  for (std::size_t i = 0; i < idle.size(); ++i) {
    SCOPED_TRACE("idle " + std::to_string(i));
    idle[i]->ExpectClosedByServer();
  }
  ExpectNoListenerOn(port);
}

TEST_F(ServerDeactivation, TheSamePortServesAgainAfterConnectionsWereClosed) {
  ActivateAnywhere();
  {
    LoopbackClient first(port);
    LoopbackClient second(port);
    VELTA_ASSERT_CONNECTED(first);
    VELTA_ASSERT_CONNECTED(second);
    first.SendFrame(Text("one"));
    EXPECT_PRED_FORMAT2(BytesEqual, Text("one"), first.ReadFrame());
    ASSERT_TRUE(ConnectionThreadsReach(2));
    ASSERT_NO_THROW(server.SetActive(false));
    first.ExpectClosedByServer();
    second.ExpectClosedByServer();
  }
  ASSERT_NO_THROW(server.SetActive(true));
  EXPECT_EQ(server.Bindings().Items(0).Port, port);
  ExpectEchoOn(port, "again");
}

TEST(ServerLifetime, DestroyingAnActiveServerClosesItsConnections) {
  auto server = std::make_unique<TIdTCPServer>();
  server->OnExecute = IdTCPServerExecute;
  server->SetDefaultPort(0);
  ASSERT_NO_THROW(server->SetActive(true));
  int port = server->Bindings().Items(0).Port;
  LoopbackClient idle(port);
  LoopbackClient midFrame(port);
  VELTA_ASSERT_CONNECTED(idle);
  VELTA_ASSERT_CONNECTED(midFrame);
  idle.SendFrame(Text("x"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("x"), idle.ReadFrame());
  midFrame.SendBytes({0x00, 0x00, 0x00, 0x04, 0x61});
  ASSERT_TRUE(WaitUntil([&] { return server->Threads().Count() == 2; }));

  // On a thread of its own: a destructor that never returns fails the test
  // instead of hanging it.
  auto destroyed = std::make_shared<std::promise<void>>();
  std::future<void> done = destroyed->get_future();
  std::thread([doomed = std::move(server), destroyed]() mutable {
    doomed.reset();
    destroyed->set_value();
  }).detach();
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the destructor did not return";
  idle.ExpectClosedByServer();
  midFrame.ExpectClosedByServer();
  ExpectNoListenerOn(port);
}

// A handler that ignores the dropped connection until the test lets it go:
// it stands for work of its own that no socket close can interrupt.
struct HandlerGate {
  std::mutex lock;
  std::condition_variable changed;
  int entered = 0;
  bool released = false;

  void Hold() {
    std::unique_lock<std::mutex> hold(lock);
    ++entered;
    changed.notify_all();
    // Bounded so a failing test still ends.
    changed.wait_for(hold, std::chrono::seconds(30), [&] { return released; });
  }
  bool WaitEntered() {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, std::chrono::seconds(5), [&] { return entered > 0; });
  }
  void Release() {
    std::lock_guard<std::mutex> hold(lock);
    released = true;
    changed.notify_all();
  }
};

// Lets the handler go on every way out of the test, failed assertions too.
class ReleaseOnExit {
 public:
  explicit ReleaseOnExit(std::shared_ptr<HandlerGate> gate) : gate_(std::move(gate)) {}
  ~ReleaseOnExit() { gate_->Release(); }
  ReleaseOnExit(const ReleaseOnExit&) = delete;
  ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;

 private:
  std::shared_ptr<HandlerGate> gate_;
};

TEST_F(ServerDeactivation, AHandlerThatOutlivesTheTerminateWaitTimeFailsDeactivationUntilItReturns) {
  auto gate = std::make_shared<HandlerGate>();
  ReleaseOnExit release(gate);
  server.TerminateWaitTime = 500;
  server.OnExecute = [gate](TIdPeerThread* thread) {
    gate->Hold();
    IdTCPServerExecute(thread);
  };
  ActivateAnywhere();
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  ASSERT_TRUE(gate->WaitEntered());

  // Twice: the stuck handler keeps failing it, however often it is asked.
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    try {
      server.SetActive(false);
      ADD_FAILURE() << "deactivation succeeded with a connection thread still running";
    } catch (const EIdTerminateThreadTimeout& e) {
      EXPECT_STREQ(e.what(), "Terminate Thread Timeout");
    } catch (const std::exception& e) {
      ADD_FAILURE() << "unexpected error: " << e.what();
    }
    EXPECT_TRUE(server.Active());
  }
  // The connection itself was dropped all the same.
  client.ExpectClosedByServer();

  gate->Release();
  EXPECT_TRUE(ConnectionThreadsReach(0)) << server.Threads().Count() << " connection threads left";
  EXPECT_NO_THROW(server.SetActive(false));
  EXPECT_FALSE(server.Active());
}

}  // namespace
