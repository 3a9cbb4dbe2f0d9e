#include "platform/write_behind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

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

// A run of one buffer is written on the producer's own thread by Flush (no
// helper started); a longer run goes through the helper, in order.
TEST(WriteBehind, OneBufferIsWrittenByFlushOnTheCallersThread) {
  std::vector<std::thread::id> writers;
  std::string out;
  auto sink = [&](const uint8_t* data, std::size_t n) {
    writers.push_back(std::this_thread::get_id());
    out.append(reinterpret_cast<const char*>(data), n);
  };
  {
    WriteBehind writer(sink, 8, 1);
    std::memcpy(writer.Next(), "abc", 3);
    writer.Commit(3);
    EXPECT_TRUE(writers.empty());
    writer.Flush();
  }
  ASSERT_EQ(writers.size(), 1u);
  EXPECT_EQ(writers[0], std::this_thread::get_id());
  {
    // The ring holds one buffer: asking for the second starts the helper
    // and waits for it to write the first.
    WriteBehind writer(sink, 8, 1);
    std::memcpy(writer.Next(), "de", 2);
    writer.Commit(2);
    std::memcpy(writer.Next(), "f", 1);
    writer.Commit(1);
    writer.Flush();
  }
  EXPECT_EQ(out, "abcdef");
  ASSERT_EQ(writers.size(), 3u);
  EXPECT_NE(writers[1], std::this_thread::get_id());
  EXPECT_EQ(writers[2], writers[1]);

  int calls = 0;
  WriteBehind failing([&calls](const uint8_t*, std::size_t) {
    ++calls;
    throw std::runtime_error("disk full");
  }, 4, 2);
  failing.Next();
  failing.Commit(4);
  EXPECT_THROW(failing.Flush(), std::runtime_error);
  EXPECT_THROW(failing.Flush(), std::runtime_error);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace vesk
