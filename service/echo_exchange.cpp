#include "service/echo_exchange.h"

#include <cstdint>

#include "service/net/id_peer_thread.h"
#include "service/net/memory_stream.h"

void IdTCPServerExecute(TIdPeerThread* AThread) {
  TIdTCPServerConnection& connection = *AThread->Connection();
  TMemoryStream buffer;
  connection.ReceiveToStream(buffer, connection.ReceiveInt32(true));
  buffer.SetPosition(0);
  std::int32_t length = static_cast<std::int32_t>(buffer.Size());
  // The payload follows at once; a zero length must leave by itself.
  connection.SendInt32(length, true, length > 0);
  connection.SendStream(buffer);
}
