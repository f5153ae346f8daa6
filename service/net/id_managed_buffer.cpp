#include "service/net/id_managed_buffer.h"

#include <algorithm>
#include <cstring>

#include "service/net/id_exceptions.h"

void TIdManagedBuffer::Append(const char* data, std::size_t count) {
  if (count == 0) return;
  if (FEnd + count > FBlock.Size()) FBlock.Resize(std::max(FEnd + count, FBlock.Size() * 2));
  std::memcpy(FBlock.Data() + FEnd, data, count);
  FEnd += count;
}

void TIdManagedBuffer::Take(char* dest, std::size_t count) {
  if (count > Size()) throw EIdException("Not enough data in buffer.");
  if (count > 0) std::memcpy(dest, Memory(), count);
  Remove(count);
}

void TIdManagedBuffer::Remove(std::size_t count) {
  if (count > Size()) throw EIdException("Not enough data in buffer.");
  if (count == Size()) {
    Clear();
    return;
  }
  FOffset += count;
  if (FOffset >= kCompactOffset) {
    std::memmove(FBlock.Data(), FBlock.Data() + FOffset, Size());
    FEnd = Size();
    FOffset = 0;
  }
}

void TIdManagedBuffer::Clear() {
  FBlock.Resize(0);
  FOffset = 0;
  FEnd = 0;
}
