#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

// A byte block that is reserved but never touched before it is written: a
// peer that announces a gigabyte and sends nothing costs address space only.
class TRawBlock {
 public:
  TRawBlock() = default;
  explicit TRawBlock(std::size_t size) { Resize(size); }

  char* Data() { return FData.get(); }
  const char* Data() const { return FData.get(); }
  std::size_t Size() const { return FSize; }

  // Keeps the first min(old, new) bytes; raises std::bad_alloc when the
  // memory cannot be had.
  void Resize(std::size_t size) {
    if (size == 0) {
      FData.reset();
    } else {
      void* grown = std::realloc(FData.get(), size);
      if (grown == nullptr) throw std::bad_alloc();
      FData.release();
      FData.reset(static_cast<char*>(grown));
    }
    FSize = size;
  }

 private:
  struct TFree {
    void operator()(char* p) const { std::free(p); }
  };
  std::unique_ptr<char, TFree> FData;
  std::size_t FSize = 0;
};
