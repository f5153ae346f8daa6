#include "client/frame.h"

#include <algorithm>
#include <cstring>

namespace velta::client {

namespace {

constexpr std::size_t kStampSize = 8;

}  // namespace

void put_length(unsigned char* out, std::int32_t length) {
    const auto u = static_cast<std::uint32_t>(length);
    out[0] = static_cast<unsigned char>(u >> 24);
    out[1] = static_cast<unsigned char>(u >> 16);
    out[2] = static_cast<unsigned char>(u >> 8);
    out[3] = static_cast<unsigned char>(u);
}

std::int32_t get_length(const unsigned char* in) {
    const std::uint32_t u = (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) |
                            (std::uint32_t{in[2]} << 8) | std::uint32_t{in[3]};
    return static_cast<std::int32_t>(u);
}

FrameMaker::FrameMaker(std::size_t payload_size, std::uint32_t seed)
    : base_(payload_size), frame_(kHeaderSize + payload_size) {
    // Pseudo-random bytes cover every byte value, including 0x00 and 0xFF,
    // which a text-like pattern would miss.
    std::uint32_t x = (0x9E3779B9u ^ static_cast<std::uint32_t>(payload_size) ^ (seed * 0x85EBCA6Bu)) | 1u;
    for (auto& b : base_) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<unsigned char>(x >> 24);
    }
    put_length(frame_.data(), static_cast<std::int32_t>(payload_size));
    if (!base_.empty()) std::memcpy(frame_.data() + kHeaderSize, base_.data(), base_.size());
}

void FrameMaker::stamp(unsigned char* payload, std::uint64_t seq) const {
    const std::size_t n = std::min(kStampSize, base_.size());
    for (std::size_t i = 0; i < n; ++i) payload[i] = static_cast<unsigned char>(seq >> (8 * i));
}

const unsigned char* FrameMaker::make(std::uint64_t seq) {
    stamp(frame_.data() + kHeaderSize, seq);
    return frame_.data();
}

void FrameMaker::append(std::vector<unsigned char>& out, std::uint64_t seq) const {
    const std::size_t at = out.size();
    out.resize(at + kHeaderSize);
    put_length(out.data() + at, static_cast<std::int32_t>(base_.size()));
    out.insert(out.end(), base_.begin(), base_.end());
    stamp(out.data() + at + kHeaderSize, seq);
}

bool FrameMaker::matches(const unsigned char* payload, std::uint64_t seq, std::string& why) const {
    const std::size_t n = std::min(kStampSize, base_.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (payload[i] != static_cast<unsigned char>(seq >> (8 * i))) {
            why = "reply payload does not carry the sequence number of frame " + std::to_string(seq);
            return false;
        }
    }
    if (base_.size() > n && std::memcmp(payload + n, base_.data() + n, base_.size() - n) != 0) {
        why = "reply payload differs from what was sent for frame " + std::to_string(seq);
        return false;
    }
    return true;
}

}  // namespace velta::client
