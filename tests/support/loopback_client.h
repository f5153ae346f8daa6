// A test client that talks to a server under test over a real 127.0.0.1
// connection. Every wait is bounded by the client's io timeout, so a server
// that stops answering fails the test instead of hanging it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/client_socket.h"

class TIdTCPServer;

namespace velta::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& text);
Bytes BigEndian32(std::uint32_t value);
// 4-byte big-endian length, then the payload: the plain request and reply form.
Bytes Frame(const Bytes& payload);
// FF FF FF FF, then a 4-byte big-endian length, then the payload.
Bytes EscapedFrame(const Bytes& payload);
Bytes Join(std::initializer_list<Bytes> parts);
// Deterministic bytes that differ between seeds and cover all 256 values, so
// a reply mixed up with another connection's or shifted by one shows.
Bytes Pattern(std::size_t size, std::uint32_t seed);

// For EXPECT_PRED_FORMAT2: names the first differing offset instead of
// printing two 100000-element vectors.
::testing::AssertionResult BytesEqual(const char* expected_expr, const char* actual_expr,
                                      const Bytes& expected, const Bytes& actual);

// How a bounded read ended.
enum class ReadEnd { kComplete, kEndOfStream, kReset, kTimeout, kNotConnected };
const char* Describe(ReadEnd end);

class LoopbackClient {
 public:
  static constexpr int kIoTimeoutMs = 5000;
  // Largest reply length ReadFrame accepts before calling the length garbage.
  static constexpr std::int32_t kMaxFrame = 16 * 1024 * 1024;

  explicit LoopbackClient(int port, int io_timeout_ms = kIoTimeoutMs);
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  bool Connected() const { return socket_.valid(); }
  const std::string& ConnectError() const { return connect_error_; }

  // Quiet forms for worker threads: they never touch GoogleTest.
  bool TrySend(const Bytes& bytes);
  // Appends to `out` whatever arrived, complete or not.
  ReadEnd TryReadExact(std::size_t count, Bytes& out);

  // The forms below record a (non-fatal) test failure when the step fails.
  void SendBytes(const Bytes& bytes);
  void SendFrame(const Bytes& payload);
  // Sends one byte per write; TCP_NODELAY makes each its own segment.
  void SendByteByByte(const Bytes& bytes);
  // What arrived; shorter than count after a failure.
  Bytes ReadExact(std::size_t count);
  // The payload of the next plain reply frame.
  Bytes ReadFrame();
  // The server has closed: the next read gives end of stream or a reset, and
  // not one byte arrives before it.
  void ExpectClosedByServer(int timeout_ms = kIoTimeoutMs);
  // No byte arrives, and the connection stays open, for the given time.
  void ExpectNothingFor(int ms);
  void HalfClose();
  // Abortive close; the client is unusable afterwards.
  void Reset();
  // Orderly close from this side.
  void Close() { socket_.reset(); }

 private:
  bool RequireConnected(const char* step);

  client::NetSession net_;
  client::Socket socket_;
  std::string connect_error_;
  int io_timeout_ms_;
};

#define VELTA_ASSERT_CONNECTED(client) \
  ASSERT_TRUE((client).Connected()) << "connect failed: " << (client).ConnectError()

// Polls `done` until it holds or timeout_ms has passed; the result of the
// last poll.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms = LoopbackClient::kIoTimeoutMs);

// Deactivates a server at the end of a test. Its destructor waits without
// limit for connection threads that never end; such a server is failed and
// left alive, so the run goes on instead of hanging.
void StopOrAbandon(std::unique_ptr<TIdTCPServer>& server);

// A port no one listens on at this moment: a scratch server binds port 0 and
// gives it back.
int FindFreePort();

}  // namespace velta::testing
