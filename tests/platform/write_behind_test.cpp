#include "platform/write_behind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace vesk {
namespace {

TEST(WriteBehind, WritesEveryBufferInOrder) {
  std::string out;
  {
    WriteBehind writer([&out](const uint8_t* data, std::size_t n) { out.append(reinterpret_cast<const char*>(data), n); },
                       8, 2);
    for (int i = 0; i < 1000; ++i) {
      const std::string piece = std::to_string(i) + ",";
      std::memcpy(writer.Next(), piece.data(), piece.size());
      writer.Commit(piece.size());
    }
    writer.Flush();
  }
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += std::to_string(i) + ",";
  EXPECT_EQ(out, expected);
}

TEST(WriteBehind, SinkFailureReachesTheProducer) {
  int calls = 0;
  WriteBehind writer([&calls](const uint8_t*, std::size_t) {
    if (++calls == 3) throw std::runtime_error("disk full");
  }, 4, 2);
  auto produce_all = [&] {
    for (int i = 0; i < 100; ++i) {
      writer.Next();
      writer.Commit(4);
    }
    writer.Flush();
  };
  EXPECT_THROW(produce_all(), std::runtime_error);
  EXPECT_EQ(calls, 3);  // nothing is written after the failure
  EXPECT_THROW(writer.Flush(), std::runtime_error);
}

}  // namespace
}  // namespace vesk
