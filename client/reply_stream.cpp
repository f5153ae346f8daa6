#include "client/reply_stream.h"

#include "client/frame.h"

#include <algorithm>
#include <cstring>

namespace velta::client {

ReplyStream::ReplyStream(std::size_t payload_size, std::size_t capacity)
    : payload_size_(payload_size), buf_(std::max(capacity, kHeaderSize + payload_size)) {}

bool ReplyStream::fill(const Socket& s, std::string& why) {
    if (start_ == end_) {
        start_ = end_ = 0;
    } else if (buf_.size() - end_ < kHeaderSize + payload_size_) {
        // Slide the unfinished reply to the front so a whole frame fits.
        std::memmove(buf_.data(), buf_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    const long n = recv_some(s, buf_.data() + end_, buf_.size() - end_);
    if (n == 0) {
        why = "server closed the connection before replying";
        return false;
    }
    if (n < 0) {
        why = "receive failed: " + last_socket_error();
        return false;
    }
    end_ += static_cast<std::size_t>(n);
    return true;
}

ReplyStream::Next ReplyStream::next(const unsigned char*& payload, std::string& why) {
    const std::size_t have = end_ - start_;
    if (have < kHeaderSize) return Next::Partial;
    const std::int32_t length = get_length(buf_.data() + start_);
    if (length < 0 || static_cast<std::size_t>(length) != payload_size_) {
        why = "reply length " + std::to_string(length) + " where " + std::to_string(payload_size_) +
              " was sent";
        return Next::Bad;
    }
    if (have < kHeaderSize + payload_size_) return Next::Partial;
    payload = buf_.data() + start_ + kHeaderSize;
    start_ += kHeaderSize + payload_size_;
    return Next::Reply;
}

}  // namespace velta::client
