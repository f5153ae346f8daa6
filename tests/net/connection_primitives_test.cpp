#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "net/connection_fixture.h"
#include "service/net/id_exceptions.h"

using Reads = ScriptedConnection;
using StreamReads = ScriptedConnection;
using Writes = ScriptedConnection;

TEST_F(Reads, BytesBeyondTheReadServeTheNextReadWithoutAnotherRecv) {
  layer.QueueRecv(Bytes({0, 0, 0, 7, 0, 0, 0, 9}));
  EXPECT_EQ(connection.ReceiveInt32(true), 7);
  EXPECT_EQ(connection.InputBuffer().Size(), 4u);
  EXPECT_EQ(connection.ReceiveInt32(true), 9);
  EXPECT_EQ(layer.RecvCalls(), 1);
}

TEST_F(Reads, AnIntegerSplitOverTwoRecvsIsReadWhole) {
  layer.QueueRecv(Bytes({0x00, 0x01}));
  layer.QueueRecv(Bytes({0x86, 0xA0}));
  EXPECT_EQ(connection.ReceiveInt32(true), 100000);
  EXPECT_EQ(layer.RecvCalls(), 2);
}

TEST_F(Reads, NegativeLengthsAreReadAsSigned) {
  layer.QueueRecv(Bytes({0xFF, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(connection.ReceiveInt32(true), -2);
}

TEST_F(Reads, AReadOfNothingConsumesNothing) {
  layer.QueueRecv("abcd");
  char unused = 0;
  connection.ReceiveExact(&unused, 0);
  EXPECT_EQ(layer.RecvCalls(), 0);
  EXPECT_EQ(connection.ReceiveInt32(true), 0x61626364);
}

TEST_F(Reads, PeerCloseWithNothingBufferedRaisesClosedGracefullyAndDropsTheSocket) {
  EXPECT_THROW(connection.ReceiveInt32(true), EIdConnClosedGracefully);
  EXPECT_FALSE(connection.IsConnected());
  EXPECT_EQ(layer.ShutdownCalls(), 1);
}

TEST_F(Reads, PeerCloseInTheMiddleOfAnIntegerRaisesClosedGracefully) {
  layer.QueueRecv(Bytes({0, 0}));
  EXPECT_THROW(connection.ReceiveInt32(true), EIdConnClosedGracefully);
}

TEST_F(Reads, AResetIsASocketErrorThatLeavesTheDropToTheConnectionLoop) {
  layer.QueueRecvError(10054);
  try {
    connection.ReceiveInt32(true);
    FAIL() << "no error";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10054);
  }
  EXPECT_TRUE(connection.IsConnected());
}

TEST_F(Reads, AnAbortWithBytesBufferedClosesWithoutRaisingTheSocketError) {
  layer.QueueRecv(Bytes({0, 0}));
  layer.QueueRecvError(10053);
  EXPECT_THROW(connection.ReceiveInt32(true), EIdConnClosedGracefully);
  EXPECT_FALSE(connection.IsConnected());
}

TEST_F(StreamReads, MinusOneTakesTheCountFromTheNextFourBytes) {
  layer.QueueRecv(Bytes({0, 0, 0, 2, 'h', 'i', 'X'}));
  TMemoryStream stream;
  connection.ReceiveToStream(stream, -1);
  EXPECT_EQ(Contents(stream), "hi");
  EXPECT_EQ(connection.InputBuffer().Size(), 1u);
}

TEST_F(StreamReads, ZeroTakesNothingFromTheInputBuffer) {
  layer.QueueRecv(Bytes({0, 0, 0, 0, 0, 0, 0, 1, 'z'}));
  ASSERT_EQ(connection.ReceiveInt32(true), 0);
  TMemoryStream stream;
  connection.ReceiveToStream(stream, 0);
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(connection.InputBuffer().Size(), 5u);
  EXPECT_EQ(connection.ReceiveInt32(true), 1);
}

TEST_F(StreamReads, BelowMinusOneConsumesNothingAndRaisesAnErrorTheLoopDoesNotTolerate) {
  layer.QueueRecv("abcd");
  ASSERT_EQ(connection.FillInputBuffer(true, true), 4);
  TMemoryStream stream;
  try {
    connection.ReceiveToStream(stream, -2);
    FAIL() << "no error";
  } catch (const EIdSocketError&) {
    FAIL() << "a tolerated kind";
  } catch (const EIdClosedSocket&) {
    FAIL() << "a tolerated kind";
  } catch (const EIdConnClosedGracefully&) {
    FAIL() << "a tolerated kind";
  } catch (const std::exception&) {
  }
  EXPECT_EQ(connection.InputBuffer().Size(), 4u);
  EXPECT_EQ(stream.Size(), 0);
}

TEST_F(StreamReads, AnEscapedNegativeCountConsumesItsFourBytesAndRaises) {
  layer.QueueRecv(Bytes({0x80, 0, 0, 0, 'a'}));
  TMemoryStream stream;
  EXPECT_ANY_THROW(connection.ReceiveToStream(stream, -1));
  EXPECT_EQ(connection.InputBuffer().Size(), 1u);
  EXPECT_EQ(stream.Size(), 0);
}

TEST_F(StreamReads, PeerCloseMidPayloadLeavesExactlyTheBytesThatArrived) {
  layer.QueueRecv("abc");
  TMemoryStream stream;
  EXPECT_THROW(connection.ReceiveToStream(stream, 10), EIdConnClosedGracefully);
  EXPECT_EQ(Contents(stream), "abc");
}

TEST_F(StreamReads, PeerCloseAfterSeveralChunksLeavesExactlyTheBytesThatArrived) {
  std::string sent(40000, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7);
  layer.QueueRecv(sent);
  TMemoryStream stream;
  EXPECT_THROW(connection.ReceiveToStream(stream, 100000), EIdConnClosedGracefully);
  EXPECT_EQ(Contents(stream), sent);
}

TEST_F(StreamReads, ALargePayloadArrivesWholeThroughRecvsOfAtMost32768Bytes) {
  std::string sent(100000, 'q');
  sent[0] = 'a';
  sent[99999] = 'z';
  layer.QueueRecv(sent);
  TMemoryStream stream;
  connection.ReceiveToStream(stream, 100000);
  EXPECT_EQ(Contents(stream), sent);
  EXPECT_EQ(layer.RecvCalls(), 4);
}

TEST_F(Writes, SendIntegerGoesBigEndianInOneSend) {
  connection.SendInt32(100000, true);
  ASSERT_EQ(layer.Sends().size(), 1u);
  EXPECT_EQ(layer.Sends()[0], Bytes({0x00, 0x01, 0x86, 0xA0}));
}

TEST_F(Writes, AStreamOf100000BytesLeavesInSendsOf32768AndTheRest) {
  TMemoryStream stream;
  std::string payload(100000, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i % 251);
  stream.Write(payload.data(), payload.size());
  connection.SendStream(stream);
  std::vector<std::string> sends = layer.Sends();
  ASSERT_EQ(sends.size(), 4u);
  EXPECT_EQ(sends[0].size(), 32768u);
  EXPECT_EQ(sends[1].size(), 32768u);
  EXPECT_EQ(sends[2].size(), 32768u);
  EXPECT_EQ(sends[3].size(), 1696u);
  EXPECT_EQ(sends[0] + sends[1] + sends[2] + sends[3], payload);
}

TEST_F(Writes, AnEmptyStreamSendsNothing) {
  TMemoryStream stream;
  connection.SendStream(stream);
  EXPECT_TRUE(layer.Sends().empty());
}

TEST_F(Writes, APartialSendIsFollowedByTheRest) {
  layer.LimitNextSend(3);
  connection.SendBytes("abcdefgh", 8);
  std::vector<std::string> sends = layer.Sends();
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0], "abc");
  EXPECT_EQ(sends[1], "defgh");
}

TEST_F(Writes, APeerThatIsGoneDropsTheSocket) {
  for (int code : {10053, 10054, 10058}) {
    TScriptedSocketLayer gone;
    TIdTCPConnection failing;
    auto socket = std::make_unique<TIdSocketHandle>(gone);
    socket->AllocateSocket();
    failing.SetSocket(std::move(socket));
    gone.QueueSendError(code);
    EXPECT_THROW(failing.SendBytes("x", 1), EIdSocketError) << code;
    EXPECT_FALSE(failing.IsConnected()) << code;
  }
}

TEST_F(Writes, AnotherSendErrorLeavesTheSocketOpen) {
  layer.QueueSendError(10055);
  EXPECT_THROW(connection.SendBytes("x", 1), EIdSocketError);
  EXPECT_TRUE(connection.IsConnected());
}

TEST_F(Writes, SendingOnADroppedConnectionRaisesClosedGracefully) {
  connection.DropSocket();
  EXPECT_THROW(connection.SendBytes("x", 1), EIdConnClosedGracefully);
  EXPECT_TRUE(layer.Sends().empty());
}
