#pragma once

#include <cstddef>
#include <cstdint>

#include "service/net/raw_block.h"

// A growable in-memory byte stream with a position.
class TMemoryStream {
 public:
  std::int64_t Size() const { return FSize; }
  std::int64_t Position() const { return FPosition; }
  void SetPosition(std::int64_t position) { FPosition = position; }
  // Growing reserves the memory at once, without touching it; raises
  // std::bad_alloc when it cannot be had. The position is kept.
  void SetSize(std::int64_t size);
  // Writes at the position, growing the stream as needed.
  void Write(const void* data, std::size_t count);
  // Reads at most count bytes from the position; returns how many.
  std::size_t Read(void* data, std::size_t count);
  const char* Memory() const { return FBlock.Data(); }
  char* Memory() { return FBlock.Data(); }

 private:
  void Reserve(std::int64_t capacity);

  TRawBlock FBlock;
  std::int64_t FSize = 0;
  std::int64_t FPosition = 0;
};
