#include "service/net/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

void TMemoryStream::Reserve(std::int64_t capacity) {
  if (capacity < 0 || static_cast<std::uint64_t>(capacity) > SIZE_MAX) throw std::bad_alloc();
  if (static_cast<std::size_t>(capacity) > FBlock.Size()) FBlock.Resize(static_cast<std::size_t>(capacity));
}

void TMemoryStream::SetSize(std::int64_t size) {
  Reserve(size);
  FSize = size;
}

void TMemoryStream::ReserveAhead(std::size_t count, std::int64_t limit) {
  // Small enough that a short frame costs little, large enough that a long
  // one does not grow by many small steps.
  constexpr std::int64_t kFirstGrowth = 64 * 1024;
  std::int64_t needed = FPosition + static_cast<std::int64_t>(count);
  std::int64_t capacity = static_cast<std::int64_t>(FBlock.Size());
  if (needed <= capacity) return;
  std::int64_t grown = std::max({needed, capacity * 2, kFirstGrowth});
  Reserve(std::max(needed, std::min(grown, limit)));
}

void TMemoryStream::CommitWritten(std::size_t count) {
  FPosition += static_cast<std::int64_t>(count);
  FSize = std::max(FSize, FPosition);
}

void TMemoryStream::Write(const void* data, std::size_t count) {
  if (count == 0) return;
  std::int64_t end = FPosition + static_cast<std::int64_t>(count);
  if (static_cast<std::size_t>(end) > FBlock.Size()) {
    // Grow geometrically so that many small writes stay linear.
    Reserve(std::max<std::int64_t>(end, static_cast<std::int64_t>(FBlock.Size()) * 2));
  }
  std::memcpy(FBlock.Data() + FPosition, data, count);
  FPosition = end;
  FSize = std::max(FSize, end);
}

std::size_t TMemoryStream::Read(void* data, std::size_t count) {
  std::int64_t available = std::max<std::int64_t>(0, FSize - FPosition);
  std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(available, static_cast<std::int64_t>(count)));
  if (n > 0) std::memcpy(data, FBlock.Data() + FPosition, n);
  FPosition += static_cast<std::int64_t>(n);
  return n;
}
