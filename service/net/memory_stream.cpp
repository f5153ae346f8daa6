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
