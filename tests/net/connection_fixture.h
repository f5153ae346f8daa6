#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "doubles/scripted_socket_layer.h"
#include "service/net/id_tcp_connection.h"

// A connection whose socket is played by the scripted layer.
class ScriptedConnection : public ::testing::Test {
 protected:
  ScriptedConnection() {
    auto socket = std::make_unique<TIdSocketHandle>(layer);
    socket->AllocateSocket();
    connection.SetSocket(std::move(socket));
  }

  static std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) bytes.push_back(static_cast<char>(v));
    return bytes;
  }

  static std::string Contents(const TMemoryStream& stream) {
    return std::string(stream.Memory() == nullptr ? "" : stream.Memory(), static_cast<std::size_t>(stream.Size()));
  }

  TScriptedSocketLayer layer;
  TIdTCPConnection connection;
};
