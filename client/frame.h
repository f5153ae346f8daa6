// Frames as the echo protocol puts them on the wire, and the payloads the load
// generator sends. Each payload carries its sequence number so a reply that
// is stale, reordered or belongs to another frame cannot pass as correct.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velta::client {

constexpr std::size_t kHeaderSize = 4;

void put_length(unsigned char* out, std::int32_t length);
std::int32_t get_length(const unsigned char* in);

class FrameMaker {
public:
    // seed picks the payload's bytes: the same seed, the same frames.
    explicit FrameMaker(std::size_t payload_size, std::uint32_t seed = 0);

    std::size_t payload_size() const { return base_.size(); }
    std::size_t frame_size() const { return kHeaderSize + base_.size(); }

    // Header plus payload for sequence number seq; valid until the next call.
    const unsigned char* make(std::uint64_t seq);
    // Appends the frame for seq to out, for batching several into one write.
    void append(std::vector<unsigned char>& out, std::uint64_t seq) const;
    // Checks a received payload (header already stripped) against seq.
    bool matches(const unsigned char* payload, std::uint64_t seq, std::string& why) const;

private:
    void stamp(unsigned char* payload, std::uint64_t seq) const;

    std::vector<unsigned char> base_;
    std::vector<unsigned char> frame_;
};

}  // namespace velta::client
