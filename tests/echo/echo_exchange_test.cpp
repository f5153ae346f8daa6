// The echo exchange as a client sees it: a server with the echo handler on a
// loopback port, driven through real sockets.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service/echo_exchange.h"
#include "service/net/id_tcp_server.h"
#include "support/loopback_client.h"

namespace {

using velta::testing::Bytes;
using velta::testing::BytesEqual;
using velta::testing::Describe;
using velta::testing::EscapedFrame;
using velta::testing::Frame;
using velta::testing::Join;
using velta::testing::LoopbackClient;
using velta::testing::Pattern;
using velta::testing::ReadEnd;
using velta::testing::StopOrAbandon;
using velta::testing::Text;
using velta::testing::WaitUntil;

class EchoExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    server.SetDefaultPort(0);
    server.OnExecute = IdTCPServerExecute;
    ASSERT_NO_THROW(server.SetActive(true));
    port = server.Bindings().Items(0).Port;
    ASSERT_GT(port, 0);
  }

  // Every test leaves the server able to stop cleanly: a connection thread
  // that never ended shows here.
  void TearDown() override { StopOrAbandon(owned); }

  bool ConnectionThreadsReach(std::size_t count) {
    return WaitUntil([&] { return server.Threads().Count() == count; });
  }

  // A fresh connection still gets its frame answered.
  void ExpectServerStillAnswers() {
    LoopbackClient probe(port);
    VELTA_ASSERT_CONNECTED(probe);
    probe.SendFrame(Text("still here"));
    EXPECT_PRED_FORMAT2(BytesEqual, Text("still here"), probe.ReadFrame());
  }

  std::unique_ptr<TIdTCPServer> owned = std::make_unique<TIdTCPServer>();
  TIdTCPServer& server = *owned;
  int port = 0;
};

// --- Plain frames ----------------------------------------------------------

TEST_F(EchoExchange, RepliesWithTheSameLengthAndPayload) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes({0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63});
  EXPECT_PRED_FORMAT2(BytesEqual, (Bytes{0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63}), client.ReadExact(7));
}

TEST_F(EchoExchange, AnswersExchangeAfterExchangeOnOneConnection) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  // Around the connection's 32768-byte receive chunk, where a payload is
  // split over several reads.
  const std::size_t sizes[] = {1, 0, 2, 255, 256, 4096, 32767, 32768, 32769, 65537, 7};
  std::uint32_t seed = 1;
  for (std::size_t size : sizes) {
    SCOPED_TRACE("payload of " + std::to_string(size) + " bytes");
    Bytes payload = Pattern(size, seed++);
    client.SendFrame(payload);
    EXPECT_PRED_FORMAT2(BytesEqual, Frame(payload), client.ReadExact(4 + size));
    if (HasFailure()) return;
  }
}

TEST_F(EchoExchange, AnswersFramesSentInOneWriteInOrder) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  Bytes third = Pattern(1500, 3);
  client.SendBytes(Join({Frame(Text("first")), Frame(Text("2")), Frame(third), Frame(Text("last one"))}));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("first"), client.ReadFrame());
  EXPECT_PRED_FORMAT2(BytesEqual, Text("2"), client.ReadFrame());
  EXPECT_PRED_FORMAT2(BytesEqual, third, client.ReadFrame());
  EXPECT_PRED_FORMAT2(BytesEqual, Text("last one"), client.ReadFrame());
}

TEST_F(EchoExchange, EchoesAPayloadOfOneHundredThousandBytes) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  Bytes payload = Pattern(100000, 42);
  client.SendFrame(payload);
  EXPECT_PRED_FORMAT2(BytesEqual, (Bytes{0x00, 0x01, 0x86, 0xA0}), client.ReadExact(4));
  EXPECT_PRED_FORMAT2(BytesEqual, payload, client.ReadExact(100000));
  // The connection is still in step afterwards.
  client.SendFrame(Text("after"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("after"), client.ReadFrame());
}

TEST_F(EchoExchange, AssemblesAFrameThatArrivesOneByteAtATime) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendByteByByte(Frame(Text("trickle")));
  EXPECT_PRED_FORMAT2(BytesEqual, Frame(Text("trickle")), client.ReadExact(11));
  client.SendByteByByte(EscapedFrame(Text("escaped trickle")));
  EXPECT_PRED_FORMAT2(BytesEqual, Frame(Text("escaped trickle")), client.ReadExact(19));
}

// --- Zero lengths ----------------------------------------------------------

TEST_F(EchoExchange, AnswersAZeroLengthWithAnEmptyReply) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes({0x00, 0x00, 0x00, 0x00});
  EXPECT_PRED_FORMAT2(BytesEqual, (Bytes{0x00, 0x00, 0x00, 0x00}), client.ReadExact(4));
  client.SendFrame(Text("next"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("next"), client.ReadFrame());
}

TEST_F(EchoExchange, AZeroLengthTakesNothingFromTheFrameBehindIt) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63});
  EXPECT_PRED_FORMAT2(BytesEqual, (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63}),
                      client.ReadExact(11));
}

TEST_F(EchoExchange, RunsOfZeroLengthsBetweenFramesEachGetTheirReply) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  Bytes request = Join({Frame({}), Frame({}), Frame(Text("x")), Frame({}), EscapedFrame({}), Frame(Text("yz"))});
  client.SendBytes(request);
  Bytes expected = Join({Frame({}), Frame({}), Frame(Text("x")), Frame({}), Frame({}), Frame(Text("yz"))});
  EXPECT_PRED_FORMAT2(BytesEqual, expected, client.ReadExact(expected.size()));
}

// --- The escaped length form -----------------------------------------------

TEST_F(EchoExchange, AnswersAnEscapedLengthInThePlainForm) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x02, 0x68, 0x69});
  EXPECT_PRED_FORMAT2(BytesEqual, (Bytes{0x00, 0x00, 0x00, 0x02, 0x68, 0x69}), client.ReadExact(6));
}

TEST_F(EchoExchange, AnswersAnEscapedZeroLengthWithAnEmptyReply) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00});
  EXPECT_PRED_FORMAT2(BytesEqual, (Bytes{0x00, 0x00, 0x00, 0x00}), client.ReadExact(4));
  client.SendFrame(Text("next"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("next"), client.ReadFrame());
}

TEST_F(EchoExchange, MixesEscapedAndPlainFramesInOneWrite) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  Bytes big = Pattern(100000, 7);
  client.SendBytes(Join({EscapedFrame(Text("hi")), Frame(Text("plain")), EscapedFrame(big), Frame(Text("end"))}));
  EXPECT_PRED_FORMAT2(BytesEqual, Frame(Text("hi")), client.ReadExact(6));
  EXPECT_PRED_FORMAT2(BytesEqual, Frame(Text("plain")), client.ReadExact(9));
  EXPECT_PRED_FORMAT2(BytesEqual, (Bytes{0x00, 0x01, 0x86, 0xA0}), client.ReadExact(4));
  EXPECT_PRED_FORMAT2(BytesEqual, big, client.ReadExact(big.size()));
  EXPECT_PRED_FORMAT2(BytesEqual, Frame(Text("end")), client.ReadExact(7));
}

// --- Negative lengths ------------------------------------------------------

struct NamedBytes {
  const char* name;
  Bytes bytes;
};

void PrintTo(const NamedBytes& value, std::ostream* out) { *out << value.name; }

std::string NameOf(const ::testing::TestParamInfo<NamedBytes>& info) { return info.param.name; }

class NegativeLength : public EchoExchange, public ::testing::WithParamInterface<NamedBytes> {};

// The valid frame behind the bad length must never be answered: the
// connection is over, not resynchronised.
TEST_P(NegativeLength, ClosesTheConnectionWithoutAnsweringTheFrameBehindIt) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes(Join({GetParam().bytes, Frame(Text("z"))}));
  client.ExpectClosedByServer();
  EXPECT_TRUE(ConnectionThreadsReach(0)) << server.Threads().Count() << " connection threads left";
  ExpectServerStillAnswers();
}

TEST_P(NegativeLength, EndsTheConnectionAfterAnsweringTheFramesBeforeIt) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes(Join({Frame(Text("a")), EscapedFrame(Text("bc")), GetParam().bytes, Frame(Text("z"))}));
  EXPECT_PRED_FORMAT2(BytesEqual, Join({Frame(Text("a")), Frame(Text("bc"))}), client.ReadExact(11));
  client.ExpectClosedByServer();
}

TEST_P(NegativeLength, ClosesTheConnectionWhenTheLengthArrivesAlone) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes(GetParam().bytes);
  client.ExpectClosedByServer();
}

INSTANTIATE_TEST_SUITE_P(
    EchoExchange, NegativeLength,
    ::testing::Values(NamedBytes{"MinusTwo", {0xFF, 0xFF, 0xFF, 0xFE}},
                      NamedBytes{"Int32Min", {0x80, 0x00, 0x00, 0x00}},
                      NamedBytes{"EscapedMinusOne", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                      NamedBytes{"EscapedMinusTwo", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}},
                      NamedBytes{"EscapedInt32Min", {0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}}),
    NameOf);

// --- A request cut short by the client -------------------------------------

class CutShortRequest : public EchoExchange, public ::testing::WithParamInterface<NamedBytes> {};

TEST_P(CutShortRequest, GetsNoReplyAndTheServerClosesAfterAHalfClose) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes(GetParam().bytes);
  client.HalfClose();
  client.ExpectClosedByServer();
  EXPECT_TRUE(ConnectionThreadsReach(0)) << server.Threads().Count() << " connection threads left";
}

TEST_P(CutShortRequest, EndsTheConnectionThreadWhenTheClientCloses) {
  {
    LoopbackClient client(port);
    VELTA_ASSERT_CONNECTED(client);
    // Otherwise an empty thread list could just mean "not accepted yet".
    ASSERT_TRUE(ConnectionThreadsReach(1));
    client.SendBytes(GetParam().bytes);
    // An incomplete request is not answered early.
    client.ExpectNothingFor(100);
  }
  EXPECT_TRUE(ConnectionThreadsReach(0)) << server.Threads().Count() << " connection threads left";
  ExpectServerStillAnswers();
}

INSTANTIATE_TEST_SUITE_P(EchoExchange, CutShortRequest,
                         ::testing::Values(NamedBytes{"NoDataAtAll", {}},
                                           NamedBytes{"MidLength", {0x00, 0x00}},
                                           NamedBytes{"MidPayload", {0x00, 0x00, 0x00, 0x05, 0x61, 0x62, 0x63}},
                                           NamedBytes{"AfterEscape", {0xFF, 0xFF, 0xFF, 0xFF}},
                                           NamedBytes{"MidEscapedLength", {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
                                           NamedBytes{"MidEscapedPayload",
                                                      {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x05, 0x61}}),
                         NameOf);

// --- The client closing its sending side -----------------------------------

TEST_F(EchoExchange, StillRepliesToAFrameFollowedByAHalfClose) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes({0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63});
  client.HalfClose();
  EXPECT_PRED_FORMAT2(BytesEqual, (Bytes{0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63}), client.ReadExact(7));
  client.ExpectClosedByServer();
}

TEST_F(EchoExchange, StillRepliesToEveryPipelinedFrameBeforeAHalfClose) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  Bytes big = Pattern(100000, 9);
  client.SendBytes(Join({Frame(Text("one")), Frame({}), EscapedFrame(Text("two")), Frame(big)}));
  client.HalfClose();
  EXPECT_PRED_FORMAT2(BytesEqual, Join({Frame(Text("one")), Frame({}), Frame(Text("two"))}), client.ReadExact(18));
  EXPECT_PRED_FORMAT2(BytesEqual, Frame(big), client.ReadExact(4 + big.size()));
  client.ExpectClosedByServer();
}

TEST_F(EchoExchange, AnswersTheCompleteFramesButNotTheCutShortOneBeforeAHalfClose) {
  LoopbackClient client(port);
  VELTA_ASSERT_CONNECTED(client);
  client.SendBytes(Join({Frame(Text("whole")), Bytes{0x00, 0x00, 0x00, 0x05, 0x61, 0x62, 0x63}}));
  client.HalfClose();
  EXPECT_PRED_FORMAT2(BytesEqual, Frame(Text("whole")), client.ReadExact(9));
  client.ExpectClosedByServer();
  EXPECT_TRUE(ConnectionThreadsReach(0)) << server.Threads().Count() << " connection threads left";
}

// --- Resets and many connections -------------------------------------------

TEST_F(EchoExchange, AResetConnectionLeavesTheOthersServed) {
  LoopbackClient keeps(port);
  LoopbackClient idleReset(port);
  LoopbackClient midFrameReset(port);
  VELTA_ASSERT_CONNECTED(keeps);
  VELTA_ASSERT_CONNECTED(idleReset);
  VELTA_ASSERT_CONNECTED(midFrameReset);
  for (LoopbackClient* client : {&keeps, &idleReset, &midFrameReset}) {
    client->SendFrame(Text("warm up"));
    EXPECT_PRED_FORMAT2(BytesEqual, Text("warm up"), client->ReadFrame());
  }
  ASSERT_TRUE(ConnectionThreadsReach(3));

  idleReset.Reset();
  keeps.SendFrame(Text("after first reset"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("after first reset"), keeps.ReadFrame());
  EXPECT_TRUE(ConnectionThreadsReach(2)) << server.Threads().Count() << " connection threads";

  midFrameReset.SendBytes({0x00, 0x00, 0x10, 0x00, 0x01, 0x02});
  midFrameReset.Reset();
  keeps.SendFrame(Text("after second reset"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("after second reset"), keeps.ReadFrame());
  EXPECT_TRUE(ConnectionThreadsReach(1)) << server.Threads().Count() << " connection threads";

  LoopbackClient newcomer(port);
  VELTA_ASSERT_CONNECTED(newcomer);
  newcomer.SendFrame(Text("new"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("new"), newcomer.ReadFrame());
  keeps.SendFrame(Text("last"));
  EXPECT_PRED_FORMAT2(BytesEqual, Text("last"), keeps.ReadFrame());
}

// One client's share of the concurrent test: its own payloads, lockstep and
// pipelined, plain and escaped. Returns what went wrong, empty on success.
std::string ExchangeOwnFrames(LoopbackClient& client, std::uint32_t id) {
  std::ostringstream why;
  for (std::uint32_t round = 0; round < 12; ++round) {
    std::uint32_t seed = id * 1000 + round;
    std::vector<Bytes> payloads;
    Bytes request;
    if (round % 3 == 2) {
      // Kept small so neither side can block on full buffers mid-pipeline.
      for (std::uint32_t k = 0; k < 3; ++k) {
        payloads.push_back(Pattern((seed + k) % 1500, seed * 7 + k));
        request = Join({request, k == 1 ? EscapedFrame(payloads.back()) : Frame(payloads.back())});
      }
    } else {
      payloads.push_back(Pattern(round == 4 ? 40000 + id : (seed * 37) % 3000, seed));
      request = round % 2 == 0 ? Frame(payloads.back()) : EscapedFrame(payloads.back());
    }
    if (!client.TrySend(request)) {
      why << "client " << id << " round " << round << ": send failed";
      return why.str();
    }
    for (std::size_t k = 0; k < payloads.size(); ++k) {
      Bytes reply;
      ReadEnd end = client.TryReadExact(4 + payloads[k].size(), reply);
      if (end != ReadEnd::kComplete) {
        why << "client " << id << " round " << round << " frame " << k << ": " << reply.size() << " of "
            << 4 + payloads[k].size() << " bytes before " << Describe(end);
        return why.str();
      }
      if (reply != Frame(payloads[k])) {
        why << "client " << id << " round " << round << " frame " << k << ": reply differs from the request";
        return why.str();
      }
    }
  }
  return std::string();
}

TEST_F(EchoExchange, FiftyConnectionsExchangeConcurrentlyEachGettingItsOwnBytes) {
  constexpr std::uint32_t kClients = 50;
  // Connecting in batches below the listen queue of 15: a burst beyond it has
  // the kernel drop SYNs, and the retries could outlast the connect timeout.
  constexpr std::uint32_t kBatch = 10;
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  for (std::uint32_t i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<LoopbackClient>(port));
    VELTA_ASSERT_CONNECTED(*clients.back()) << " (client " << i << ")";
    if (clients.size() % kBatch == 0 || clients.size() == kClients) {
      ASSERT_TRUE(ConnectionThreadsReach(clients.size())) << server.Threads().Count() << " connection threads";
    }
  }

  std::vector<std::string> failures(kClients);
  {
    std::vector<std::thread> workers;
    for (std::uint32_t i = 0; i < kClients; ++i)
      workers.emplace_back([&, i] { failures[i] = ExchangeOwnFrames(*clients[i], i + 1); });
    for (std::thread& worker : workers) worker.join();
  }
  for (const std::string& failure : failures) EXPECT_EQ(failure, "");

  clients.clear();
  EXPECT_TRUE(ConnectionThreadsReach(0)) << server.Threads().Count() << " connection threads left";
}

}  // namespace
