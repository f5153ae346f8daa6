#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "doubles/scripted_socket_layer.h"
#include "service/echo_exchange.h"
#include "service/net/id_tcp_server.h"

namespace {

bool WaitUntil(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The echo server over the scripted layer, with one connection to accept.
class ScriptedServer : public ::testing::Test {
 protected:
  ScriptedServer() : server(layer) {
    server.SetDefaultPort(11059);
    server.OnExecute = IdTCPServerExecute;
  }
  ~ScriptedServer() override { server.SetActive(false); }

  void ServeOneConnection() {
    layer.QueueAccept();
    server.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return layer.RecvCalls() > 0 && server.Threads().IsEmpty(); }));
  }

  TScriptedSocketLayer layer;
  TIdTCPServer server;
};

}  // namespace

TEST_F(ScriptedServer, ASocketThatKeepsFailingIsGivenUpAfterAFewErrorsInARow) {
  layer.FailRecvForever(10055);
  ServeOneConnection();
  EXPECT_EQ(layer.RecvCalls(), 3);
  EXPECT_TRUE(layer.Sends().empty());
}

TEST_F(ScriptedServer, AnErrorThatLeavesTheSocketOpenDoesNotEndTheConnection) {
  layer.QueueRecvError(10055);
  layer.QueueRecvError(10055);
  layer.QueueRecv(std::string("\0\0\0\2hi", 6));
  ServeOneConnection();
  std::vector<std::string> sends = layer.Sends();
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0], std::string("\0\0\0\2", 4));
  EXPECT_EQ(sends[1], "hi");
}

// Only a length with a payload behind it may wait for the next send: the
// answer to a zero-length frame must leave at once.
TEST_F(ScriptedServer, OnlyALengthWithAPayloadBehindItIsHeldForTheNextSend) {
  layer.QueueRecv(std::string("\0\0\0\1x\0\0\0\0", 9));
  ServeOneConnection();
  ASSERT_EQ(layer.Sends().size(), 3u);
  EXPECT_EQ(layer.SendsHeldForMore(), (std::vector<bool>{true, false, false}));
}

TEST_F(ScriptedServer, AResetEndsTheConnectionAtOnce) {
  layer.QueueRecvError(10054);
  layer.FailRecvForever(10055);
  ServeOneConnection();
  EXPECT_EQ(layer.RecvCalls(), 1);
}

TEST_F(ScriptedServer, ANegativeLengthEndsTheConnectionWithNothingSent) {
  layer.QueueRecv(std::string("\xFF\xFF\xFF\xFE\0\0\0\1x", 9));
  ServeOneConnection();
  EXPECT_TRUE(layer.Sends().empty());
}

// Winsock fails an accept with 10054 or 10053 when the client reset the
// connection before it was taken: that concerns one client only, and the
// listener goes straight back to accepting. A failure of its own (10024: no
// descriptors left) makes it rest before it tries again.
TEST_F(ScriptedServer, OnlyAFailureOfTheListenersOwnMakesItRest) {
  layer.QueueAcceptError(10054);
  layer.QueueAcceptError(10053);
  ServeOneConnection();
  EXPECT_EQ(server.ListenerRests(), 0);
  int served = layer.RecvCalls();
  layer.QueueAcceptError(10024);
  layer.QueueAccept();
  ASSERT_TRUE(WaitUntil([&] { return layer.RecvCalls() > served && server.Threads().IsEmpty(); }));
  EXPECT_EQ(server.ListenerRests(), 1);
}
