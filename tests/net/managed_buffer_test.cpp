#include <gtest/gtest.h>

#include <string>

#include "service/net/id_exceptions.h"
#include "service/net/id_managed_buffer.h"

namespace {
std::string Numbered(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 253);
  return bytes;
}
}  // namespace

TEST(ManagedBuffer, SmallTakesOnlyMoveTheOffsetUntilItReaches32768) {
  TIdManagedBuffer buffer;
  std::string bytes = Numbered(40000);
  buffer.Append(bytes.data(), bytes.size());
  char piece[100];
  for (int i = 0; i < 327; ++i) buffer.Take(piece, sizeof piece);
  EXPECT_EQ(buffer.ConsumedOffset(), 32700u);
  buffer.Take(piece, sizeof piece);
  EXPECT_EQ(buffer.ConsumedOffset(), 0u);
  EXPECT_EQ(buffer.Size(), 40000u - 32800u);
  EXPECT_EQ(std::string(buffer.Memory(), buffer.Size()), bytes.substr(32800));
}

TEST(ManagedBuffer, TakingEverythingEmptiesItAndAppendsStartAfresh) {
  TIdManagedBuffer buffer;
  buffer.Append("abcdef", 6);
  char out[6];
  buffer.Take(out, 2);
  buffer.Take(out, 4);
  EXPECT_EQ(std::string(out, 4), "cdef");
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(buffer.ConsumedOffset(), 0u);
  buffer.Append("xy", 2);
  EXPECT_EQ(std::string(buffer.Memory(), buffer.Size()), "xy");
}

TEST(ManagedBuffer, TakingMoreThanItHoldsIsRefusedAndTakesNothing) {
  TIdManagedBuffer buffer;
  buffer.Append("abc", 3);
  char out[4];
  try {
    buffer.Take(out, 4);
    FAIL() << "no error";
  } catch (const EIdException& e) {
    EXPECT_STREQ(e.what(), "Not enough data in buffer.");
  }
  EXPECT_EQ(buffer.Size(), 3u);
}

TEST(ManagedBuffer, AppendsAfterPartialTakesKeepArrivalOrder) {
  TIdManagedBuffer buffer;
  std::string bytes = Numbered(70000);
  buffer.Append(bytes.data(), 30000);
  std::string taken(30000, '\0');
  buffer.Take(&taken[0], 20000);
  buffer.Append(bytes.data() + 30000, 40000);
  buffer.Take(&taken[0], 20000);
  EXPECT_EQ(taken.substr(0, 20000), bytes.substr(20000, 20000));
  EXPECT_EQ(std::string(buffer.Memory(), buffer.Size()), bytes.substr(40000));
}
