#include "service/echo_exchange.h"

#include <cstdint>

#include "service/net/id_peer_thread.h"
#include "service/net/memory_stream.h"

void IdTCPServerExecute(TIdPeerThread* AThread) {
  TIdTCPServerConnection& connection = *AThread->Connection();
  TMemoryStream buffer;
  std::int32_t length = connection.ReceiveInt32(true);
  connection.ReceiveToStream(buffer, length);
  buffer.SetPosition(0);
  connection.SendInt32(static_cast<std::int32_t>(buffer.Size()), true);
  connection.SendStream(buffer);
}
