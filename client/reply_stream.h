// Buffers what arrives on one connection and hands out whole replies. All
// replies in a run have the same size, so a wrong length is caught as soon as
// a header arrives instead of after waiting for a payload that never comes.
#pragma once

#include "client/client_socket.h"

#include <cstddef>
#include <string>
#include <vector>

namespace velta::client {

class ReplyStream {
public:
    enum class Next { Reply, Partial, Bad };

    // capacity must hold at least one whole frame.
    ReplyStream(std::size_t payload_size, std::size_t capacity);

    // One receive; false (with why) at end of stream, on error or timeout.
    bool fill(const Socket& s, std::string& why);
    // On Reply, payload points at the reply's bytes until the next fill().
    Next next(const unsigned char*& payload, std::string& why);
    std::size_t buffered() const { return end_ - start_; }

private:
    std::size_t payload_size_;
    std::vector<unsigned char> buf_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
};

}  // namespace velta::client
