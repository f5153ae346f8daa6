#include "support/loopback_client.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <sstream>
#include <thread>

#include "service/net/id_tcp_server.h"

namespace velta::testing {

namespace {

std::string Hex(const Bytes& bytes, std::size_t from, std::size_t count) {
  std::string text;
  char cell[4];
  std::size_t end = std::min(bytes.size(), from + count);
  for (std::size_t i = from; i < end; ++i) {
    std::snprintf(cell, sizeof cell, "%02X", bytes[i]);
    if (!text.empty()) text += ' ';
    text += cell;
  }
  if (end < bytes.size()) text += " ...";
  return text;
}

std::int32_t DecodeBigEndian32(const Bytes& bytes) {
  std::uint32_t value = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                        (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
  return static_cast<std::int32_t>(value);
}

}  // namespace

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes BigEndian32(std::uint32_t value) {
  return Bytes{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
               static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes Frame(const Bytes& payload) {
  return Join({BigEndian32(static_cast<std::uint32_t>(payload.size())), payload});
}

Bytes EscapedFrame(const Bytes& payload) {
  return Join({Bytes{0xFF, 0xFF, 0xFF, 0xFF}, Frame(payload)});
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Pattern(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<std::uint8_t>((state >> 24) ^ i);
  }
  return bytes;
}

::testing::AssertionResult BytesEqual(const char* expected_expr, const char* actual_expr,
                                      const Bytes& expected, const Bytes& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  std::size_t first = 0;
  while (first < expected.size() && first < actual.size() && expected[first] == actual[first]) ++first;
  std::size_t from = first < 8 ? 0 : first - 8;
  std::ostringstream why;
  why << actual_expr << " differs from " << expected_expr << " at offset " << first << "\n  expected "
      << expected.size() << " bytes: [" << from << "] " << Hex(expected, from, 32) << "\n  actual   "
      << actual.size() << " bytes: [" << from << "] " << Hex(actual, from, 32);
  return ::testing::AssertionFailure() << why.str();
}

const char* Describe(ReadEnd end) {
  switch (end) {
    case ReadEnd::kComplete: return "complete";
    case ReadEnd::kEndOfStream: return "end of stream";
    case ReadEnd::kReset: return "connection reset";
    case ReadEnd::kTimeout: return "timeout";
    case ReadEnd::kNotConnected: return "not connected";
  }
  return "?";
}

LoopbackClient::LoopbackClient(int port, int io_timeout_ms) : io_timeout_ms_(io_timeout_ms) {
  if (!net_.ok()) {
    connect_error_ = "socket library did not start";
    return;
  }
  socket_ = client::connect_loopback(static_cast<std::uint16_t>(port), io_timeout_ms, connect_error_);
}

bool LoopbackClient::TrySend(const Bytes& bytes) {
  return Connected() && client::send_all(socket_, bytes.data(), bytes.size());
}

ReadEnd LoopbackClient::TryReadExact(std::size_t count, Bytes& out) {
  if (!Connected()) return ReadEnd::kNotConnected;
  std::uint8_t chunk[8192];
  while (count > 0) {
    // Waiting first tells a timeout apart from a failed receive, which the
    // seam reports alike.
    int ready = client::wait_readable(socket_, io_timeout_ms_);
    if (ready == 0) return ReadEnd::kTimeout;
    if (ready < 0) return ReadEnd::kReset;
    long n = client::recv_some(socket_, chunk, std::min(count, sizeof chunk));
    if (n == 0) return ReadEnd::kEndOfStream;
    if (n < 0) return ReadEnd::kReset;
    out.insert(out.end(), chunk, chunk + n);
    count -= static_cast<std::size_t>(n);
  }
  return ReadEnd::kComplete;
}

bool LoopbackClient::RequireConnected(const char* step) {
  if (Connected()) return true;
  ADD_FAILURE() << step << " on a client that is not connected (" << connect_error_ << ")";
  return false;
}

void LoopbackClient::SendBytes(const Bytes& bytes) {
  if (!RequireConnected("send")) return;
  if (!client::send_all(socket_, bytes.data(), bytes.size()))
    ADD_FAILURE() << "sending " << bytes.size() << " bytes failed: " << client::last_socket_error();
}

void LoopbackClient::SendFrame(const Bytes& payload) { SendBytes(Frame(payload)); }

void LoopbackClient::SendByteByByte(const Bytes& bytes) {
  if (!RequireConnected("send")) return;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!client::send_all(socket_, &bytes[i], 1)) {
      ADD_FAILURE() << "sending byte " << i << " failed: " << client::last_socket_error();
      return;
    }
  }
}

Bytes LoopbackClient::ReadExact(std::size_t count) {
  Bytes got;
  if (!RequireConnected("read")) return got;
  ReadEnd end = TryReadExact(count, got);
  if (end != ReadEnd::kComplete)
    ADD_FAILURE() << "expected " << count << " bytes, got " << got.size() << " before " << Describe(end)
                  << (got.empty() ? "" : ": ") << Hex(got, 0, 32);
  return got;
}

Bytes LoopbackClient::ReadFrame() {
  Bytes head = ReadExact(4);
  if (head.size() != 4) return Bytes();
  std::int32_t length = DecodeBigEndian32(head);
  if (length < 0 || length > kMaxFrame) {
    ADD_FAILURE() << "reply length out of range: " << Hex(head, 0, 4);
    return Bytes();
  }
  return ReadExact(static_cast<std::size_t>(length));
}

void LoopbackClient::ExpectClosedByServer(int timeout_ms) {
  if (!RequireConnected("expecting the close")) return;
  int ready = client::wait_readable(socket_, timeout_ms);
  if (ready == 0) {
    ADD_FAILURE() << "the server had not closed the connection after " << timeout_ms << " ms";
    return;
  }
  if (ready < 0) return;  // The poll itself reports the broken connection.
  std::uint8_t chunk[256];
  long n = client::recv_some(socket_, chunk, sizeof chunk);
  if (n > 0)
    ADD_FAILURE() << "expected the connection closed, but " << n
                  << " bytes arrived: " << Hex(Bytes(chunk, chunk + n), 0, 32);
}

void LoopbackClient::ExpectNothingFor(int ms) {
  if (!RequireConnected("expecting silence")) return;
  int ready = client::wait_readable(socket_, ms);
  if (ready == 0) return;
  std::uint8_t chunk[256];
  long n = ready > 0 ? client::recv_some(socket_, chunk, sizeof chunk) : -1;
  if (n > 0)
    ADD_FAILURE() << "expected nothing, but " << n << " bytes arrived: " << Hex(Bytes(chunk, chunk + n), 0, 32);
  else
    ADD_FAILURE() << "expected the connection to stay open, but it ended (" << (n == 0 ? "end of stream" : "reset")
                  << ")";
}

void LoopbackClient::HalfClose() {
  if (!RequireConnected("half-close")) return;
  if (!client::shutdown_send(socket_)) ADD_FAILURE() << "shutdown for sending failed: " << client::last_socket_error();
}

void LoopbackClient::Reset() {
  if (!RequireConnected("reset")) return;
  if (!client::reset_close(socket_)) ADD_FAILURE() << "setting a zero linger failed: " << client::last_socket_error();
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void StopOrAbandon(std::unique_ptr<TIdTCPServer>& server) {
  if (!server) return;
  try {
    server->SetActive(false);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "deactivation at the end of the test failed: " << e.what();
  }
  if (!WaitUntil([&] { return server->Threads().IsEmpty(); })) {
    ADD_FAILURE() << server->Threads().Count() << " connection threads never ended; the server is abandoned";
    static_cast<void>(server.release());
  }
}

int FindFreePort() {
  TIdTCPServer scratch;
  scratch.SetDefaultPort(0);
  scratch.SetActive(true);
  int port = scratch.Bindings().Items(0).Port;
  scratch.SetActive(false);
  return port;
}

}  // namespace velta::testing
