#include "service/net/id_tcp_connection.h"

#include <algorithm>
#include <cstring>

#include "service/net/id_exceptions.h"
#include "service/net/winsock_codes.h"

namespace {

std::uint32_t FromBigEndian(const unsigned char bytes[4]) {
  return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
         std::uint32_t(bytes[3]);
}

void ToBigEndian(std::uint32_t value, unsigned char bytes[4]) {
  bytes[0] = static_cast<unsigned char>(value >> 24);
  bytes[1] = static_cast<unsigned char>(value >> 16);
  bytes[2] = static_cast<unsigned char>(value >> 8);
  bytes[3] = static_cast<unsigned char>(value);
}

std::uint32_t FromHostOrder(const unsigned char bytes[4]) {
  std::uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// Cuts a stream back to its position when a read ends, whatever the reason,
// so that it holds exactly the bytes that were received.
class TTrimToPosition {
 public:
  explicit TTrimToPosition(TMemoryStream& stream) : FStream(stream) {}
  ~TTrimToPosition() {
    if (FStream.Size() > FStream.Position()) FStream.SetSize(FStream.Position());
  }
  TTrimToPosition(const TTrimToPosition&) = delete;
  TTrimToPosition& operator=(const TTrimToPosition&) = delete;

 private:
  TMemoryStream& FStream;
};

}  // namespace

TIdTCPConnection::TIdTCPConnection() = default;

TIdTCPConnection::~TIdTCPConnection() { DropSocket(); }

void TIdTCPConnection::DropSocket() {
  if (FSocket) FSocket->CloseSocket();
}

void TIdTCPConnection::CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffered) {
  bool closed = false;
  if (FSocket) {
    if (FPeerClosed) {
      if (FSocket->HandleAllocated()) DropSocket();
      closed = true;
    } else {
      closed = !FSocket->HandleAllocated();
    }
  }
  if (closed && (FInputBuffer.Size() == 0 || ignoreBuffered) && raiseIfClosed) throw EIdConnClosedGracefully();
}

bool TIdTCPConnection::IsConnected() {
  CheckPeerClosed(false, false);
  return FSocket && FSocket->HandleAllocated();
}

int TIdTCPConnection::FillInputBuffer(bool raiseIfClosed, bool raiseOnTimeout) {
  bool streaming = FRecvBlock.Size() > 0;
  char* into = streaming ? FRecvBlock.Data() : FQuietBlock;
  int length = std::min<int>(RecvBufferSize, streaming ? static_cast<int>(FRecvBlock.Size()) : kQuietRecvBytes);
  int n = ReadSocket(into, length, true, raiseIfClosed, raiseOnTimeout);
  // A read that filled the small block leaves more waiting: the next reads
  // take it in large pieces. A read that emptied the socket's queue means
  // the peer has paused: the large block goes until bytes keep coming again.
  if (!streaming && n == length && RecvBufferSize > kQuietRecvBytes) {
    FRecvBlock.Resize(static_cast<std::size_t>(RecvBufferSize));
  } else if (streaming && n < length) {
    FRecvBlock.Resize(0);
  }
  return n;
}

int TIdTCPConnection::ReadSocket(char* into, int length, bool appendToInputBuffer, bool raiseIfClosed,
                                 bool raiseOnTimeout) {
  CheckPeerClosed(raiseIfClosed, false);
  if (!IsConnected()) {
    if (raiseIfClosed) throw EIdNotConnected();
    return 0;
  }
  int n = 0;
  do {
    if (!FSocket->HandleAllocated()) throw EIdConnClosedGracefully();
    // Without a read limit, a blocking recv waits just as a select without
    // limit would, one system call sooner; a close from another thread
    // ends either wait.
    if (ReadTimeout > 0 && FSocket->Select(ReadTimeout) <= 0) {
      if (raiseOnTimeout) throw EIdReadTimeout();
      return -1;
    }
    n = FSocket->Recv(into, length);
    FPeerClosed = n == 0;
    if (n == Id_SOCKET_ERROR) {
      int code = FSocket->LastError();
      if (code != Id_WSAESHUTDOWN && code != Id_WSAECONNABORTED) throw EIdSocketError(code);
      n = 0;
      DropSocket();
      if (FInputBuffer.Size() == 0) throw EIdSocketError(code);
    }
    if (n > 0 && appendToInputBuffer) FInputBuffer.Append(into, static_cast<std::size_t>(n));
    CheckPeerClosed(raiseIfClosed, false);
  } while (n == 0 && IsConnected());
  return n;
}

void TIdTCPConnection::ReceiveExact(void* buffer, int count) {
  if (count <= 0) return;
  while (FInputBuffer.Size() < static_cast<std::size_t>(count)) {
    FillInputBuffer(true, true);
    CheckPeerClosed(true, true);
  }
  FInputBuffer.Take(static_cast<char*>(buffer), static_cast<std::size_t>(count));
}

std::int32_t TIdTCPConnection::ReceiveInt32(bool convert) {
  unsigned char bytes[4];
  ReceiveExact(bytes, 4);
  return static_cast<std::int32_t>(convert ? FromBigEndian(bytes) : FromHostOrder(bytes));
}

void TIdTCPConnection::ReceiveToStream(TMemoryStream& stream, std::int32_t byteCount) {
  if (byteCount == -1) byteCount = ReceiveInt32(true);
  TTrimToPosition trim(stream);
  if (byteCount < 0) throw EIdException("Count out of range.");
  // The memory follows the bytes that arrive, never the length a peer
  // declares: Windows commits a heap block in full when it is reserved, so
  // idle peers declaring 2 GiB each would exhaust the whole host's memory.
  const std::int64_t end = stream.Position() + byteCount;

  std::int32_t remaining = byteCount;
  if (FInputBuffer.Size() > 0 && remaining > 0) {
    std::size_t k = std::min<std::size_t>(FInputBuffer.Size(), static_cast<std::size_t>(remaining));
    stream.ReserveAhead(k, end);
    stream.Write(FInputBuffer.Memory(), k);
    FInputBuffer.Remove(k);
    remaining -= static_cast<std::int32_t>(k);
  }
  int chunk = std::min(remaining, static_cast<std::int32_t>(RecvBufferSize));
  TRawBlock scratch;
  while (IsConnected() && remaining > 0) {
    int n = std::min(remaining, chunk);
    stream.ReserveAhead(static_cast<std::size_t>(n), end);
    if (FInputBuffer.Size() == 0) {
      // Nothing buffered: the socket writes straight into the stream, and a
      // recv of at most n bytes cannot take any of the next frame.
      remaining -= ReceiveDirect(stream, n);
      continue;
    }
    if (scratch.Size() == 0) scratch.Resize(static_cast<std::size_t>(chunk));
    try {
      ReceiveExact(scratch.Data(), n);
    } catch (...) {
      // Keep what did arrive: the stream must hold exactly the bytes received.
      std::size_t partial = FInputBuffer.Size();
      FInputBuffer.Take(scratch.Data(), partial);
      stream.Write(scratch.Data(), partial);
      throw;
    }
    stream.Write(scratch.Data(), static_cast<std::size_t>(n));
    remaining -= n;
  }
}

int TIdTCPConnection::ReceiveDirect(TMemoryStream& stream, int count) {
  int n = ReadSocket(stream.Memory() + stream.Position(), count, false, true, true);
  if (n <= 0) {
    CheckPeerClosed(true, true);
    throw EIdConnClosedGracefully();
  }
  stream.CommitWritten(static_cast<std::size_t>(n));
  return n;
}

void TIdTCPConnection::SendBytes(const void* buffer, int count, bool moreFollows) {
  if (count <= 0) return;
  CheckPeerClosed(true, true);
  if (!IsConnected()) throw EIdNotConnected();
  const char* bytes = static_cast<const char*>(buffer);
  int sent = 0;
  while (sent < count) {
    int result = FSocket->Send(bytes + sent, count - sent, moreFollows);
    FPeerClosed = result == 0;
    CheckPeerClosed(true, false);
    if (result == Id_SOCKET_ERROR) {
      int code = FSocket->LastError();
      if (code == Id_WSAESHUTDOWN || code == Id_WSAECONNABORTED || code == Id_WSAECONNRESET) DropSocket();
      throw EIdSocketError(code);
    }
    sent += result;
  }
}

void TIdTCPConnection::SendInt32(std::int32_t value, bool convert, bool moreFollows) {
  unsigned char bytes[4];
  if (convert) {
    ToBigEndian(static_cast<std::uint32_t>(value), bytes);
  } else {
    std::memcpy(bytes, &value, sizeof bytes);
  }
  SendBytes(bytes, 4, moreFollows);
}

void TIdTCPConnection::SendStream(TMemoryStream& stream) {
  stream.SetPosition(0);
  std::int64_t end = stream.Size();
  for (;;) {
    int n = static_cast<int>(std::min<std::int64_t>(end - stream.Position(), SendBufferSize));
    if (n <= 0) break;
    // The chunk goes from the stream's own memory; there is nothing a copy
    // into a block of its own would add.
    if (stream.Memory() == nullptr) throw EIdNoDataToRead();
    SendBytes(stream.Memory() + stream.Position(), n);
    stream.SetPosition(stream.Position() + n);
  }
}
