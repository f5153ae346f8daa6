#pragma once

#include <cstdint>
#include <memory>

#include "service/net/id_managed_buffer.h"
#include "service/net/id_socket_handle.h"
#include "service/net/memory_stream.h"
#include "service/net/raw_block.h"

// One accepted TCP connection: its socket, its input buffer and the blocking
// read and write primitives. Used by its own thread only, except for
// DropSocket(), which deactivation calls from another thread.
class TIdTCPConnection {
 public:
  TIdTCPConnection();
  virtual ~TIdTCPConnection();
  TIdTCPConnection(const TIdTCPConnection&) = delete;
  TIdTCPConnection& operator=(const TIdTCPConnection&) = delete;

  // 0: every wait for incoming data is without limit.
  int ReadTimeout = 0;
  int RecvBufferSize = 32768;
  int SendBufferSize = 32768;

  void SetSocket(std::unique_ptr<TIdSocketHandle> socket) { FSocket = std::move(socket); }
  TIdSocketHandle* Socket() { return FSocket.get(); }
  TIdManagedBuffer& InputBuffer() { return FInputBuffer; }
  bool PeerClosed() const { return FPeerClosed; }

  std::int32_t ReceiveInt32(bool convert = true);
  // Appends the next byteCount bytes to the stream; -1 means the count
  // follows as a further 4-byte big-endian integer.
  void ReceiveToStream(TMemoryStream& stream, std::int32_t byteCount);
  // moreFollows: the caller sends more at once (a payload after its
  // length), so the 4 bytes need not leave in a segment of their own.
  void SendInt32(std::int32_t value, bool convert = true, bool moreFollows = false);
  void SendStream(TMemoryStream& stream);

  void ReceiveExact(void* buffer, int count);
  int FillInputBuffer(bool raiseIfClosed = true, bool raiseOnTimeout = true);
  void CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffered);
  bool IsConnected();
  void DropSocket();
  void SendBytes(const void* buffer, int count, bool moreFollows = false);

 private:
  // Steps of FillInputBuffer, reading into `into`: the receive block (then
  // appended to the input buffer) or, with nothing buffered, the caller's
  // memory directly.
  int ReadSocket(char* into, int length, bool appendToInputBuffer, bool raiseIfClosed, bool raiseOnTimeout);
  int ReceiveDirect(TMemoryStream& stream, int count);

  std::unique_ptr<TIdSocketHandle> FSocket;
  TIdManagedBuffer FInputBuffer;
  // Where reads land. A connection whose peer is quiet waits with a small
  // block inside the connection object; a block of its own, RecvBufferSize
  // long, lives only while bytes keep coming. Held by every idle connection,
  // that block would cost a page of memory each, a third of what ten
  // thousand of them take.
  static constexpr int kQuietRecvBytes = 256;
  char FQuietBlock[kQuietRecvBytes];
  TRawBlock FRecvBlock;
  bool FPeerClosed = false;
};

class TIdTCPServer;

// A connection accepted by a server.
class TIdTCPServerConnection : public TIdTCPConnection {
 public:
  explicit TIdTCPServerConnection(TIdTCPServer& server) : FServer(server) {}
  TIdTCPServer& Server() { return FServer; }

 private:
  TIdTCPServer& FServer;
};
