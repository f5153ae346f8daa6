#pragma once

#include <cstddef>

#include "service/net/raw_block.h"

// The connection's input buffer: received bytes not yet taken by a reader,
// in arrival order. Readers take from the front by moving an offset; the
// remaining bytes are moved down only once the offset reaches 32768, so
// taking small pieces costs no copying in between.
class TIdManagedBuffer {
 public:
  static constexpr std::size_t kCompactOffset = 32768;

  std::size_t Size() const { return FEnd - FOffset; }
  const char* Memory() const { return FBlock.Data() + FOffset; }
  std::size_t ConsumedOffset() const { return FOffset; }

  void Append(const char* data, std::size_t count);
  // Copies count bytes from the front into dest and takes them out.
  // Raises EIdException "Not enough data in buffer." when fewer are held.
  void Take(char* dest, std::size_t count);
  // Takes count bytes from the front without copying them.
  void Remove(std::size_t count);
  void Clear();

 private:
  TRawBlock FBlock;
  std::size_t FOffset = 0;
  std::size_t FEnd = 0;
};
