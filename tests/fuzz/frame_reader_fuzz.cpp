// libFuzzer target: the echo exchange on a connection whose socket hands
// over arbitrary bytes in arbitrary recv pieces. The replies must be exactly
// the echoes of the complete frames before the first negative length, an
// escaped length (-1, then the real one) answered in the plain form.
//
// Input: 8 bytes that choose the recv pieces, then the bytes the client sends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "doubles/scripted_socket_layer.h"
#include "service/echo_exchange.h"
#include "service/net/id_peer_thread.h"
#include "service/net/id_tcp_server.h"

namespace {

std::int32_t BigEndian(const std::string& bytes, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
  return static_cast<std::int32_t>(byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3));
}

// What a correct server answers to the whole stream, worked out apart from
// the server's code.
std::string ExpectedReplies(const std::string& sent) {
  std::string replies;
  std::size_t at = 0;
  for (;;) {
    if (sent.size() - at < 4) return replies;
    std::size_t header = at;
    std::int32_t length = BigEndian(sent, at);
    at += 4;
    if (length == -1) {
      if (sent.size() - at < 4) return replies;
      header = at;
      length = BigEndian(sent, at);
      at += 4;
    }
    if (length < 0 || sent.size() - at < static_cast<std::size_t>(length)) return replies;
    replies += sent.substr(header, 4);
    replies += sent.substr(at, static_cast<std::size_t>(length));
    at += static_cast<std::size_t>(length);
  }
}

// Cuts the stream into recv results whose sizes a small generator, seeded
// by the input, chooses: from single bytes to a few kilobytes.
void QueueInPieces(TScriptedSocketLayer& layer, const std::string& sent, std::uint64_t seed) {
  std::uint64_t state = seed | 1;
  std::size_t at = 0;
  while (at < sent.size()) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::size_t limit = (state & 3) == 0 ? 4096 : (state & 3) == 1 ? 7 : 300;
    std::size_t piece = 1 + static_cast<std::size_t>((state >> 8) % limit);
    piece = std::min(piece, sent.size() - at);
    layer.QueueRecv(sent.substr(at, piece));
    at += piece;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::uint64_t seed = 0;
  std::memcpy(&seed, data, 8);
  std::string sent(reinterpret_cast<const char*>(data) + 8, size - 8);

  TScriptedSocketLayer layer;
  QueueInPieces(layer, sent, seed);
  TIdTCPServer server;
  TIdPeerThread peer(server);
  auto socket = std::make_unique<TIdSocketHandle>(layer);
  socket->AllocateSocket();
  auto connection = std::make_unique<TIdTCPServerConnection>(server);
  connection->SetSocket(std::move(socket));
  peer.SetConnection(std::move(connection));

  // The connection loop: exchanges until the first error ends it.
  try {
    for (;;) IdTCPServerExecute(&peer);
  } catch (const std::exception&) {
  }

  std::string replies;
  for (const std::string& piece : layer.Sends()) replies += piece;
  if (replies != ExpectedReplies(sent)) std::abort();
  return 0;
}
