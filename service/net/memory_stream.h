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
  // Makes room for count bytes at the position, without changing the size.
  // The memory grows geometrically as a stream fills piece by piece, but
  // never beyond limit bytes in all unless the count itself needs more.
  // Raises std::bad_alloc when the memory cannot be had.
  void ReserveAhead(std::size_t count, std::int64_t limit);
  // Takes in count bytes that were written straight into Memory() at the
  // position (after ReserveAhead), and moves past them.
  void CommitWritten(std::size_t count);
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
