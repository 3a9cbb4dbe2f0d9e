#include "compress/parallel_deflate.h"

#include <stdlib.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "samples.h"
#include "support/temp_dir.h"
#include "zlib_oracle.h"

namespace vesk::compress {
namespace {

using vesk::testing::ReadFile;
using vesk::testing::ZlibCompress;
using vesk::testing::ZlibUncompress;

class ParallelDeflateTest : public ::testing::Test {
 protected:
  // The stream the writer makes of `data`, fed in pieces of `piece` bytes;
  // only the first `stop_at` bytes when given, as a stopped run does.
  std::string Deflate(const std::string& data, int level, int threads, std::size_t block_size,
                      std::size_t piece = 65535, std::size_t stop_at = SIZE_MAX, double* rate = nullptr) {
    const std::string path = dir.File("p.zak");
    {
      OutputFile out;
      out.CreateNew(path);
      ParallelDeflateWriter writer(out, level, threads, block_size);
      const std::size_t n = std::min(stop_at, data.size());
      for (std::size_t at = 0; at < n; at += piece) writer.Write(data.data() + at, std::min(piece, n - at));
      EXPECT_EQ(writer.BytesIn(), static_cast<int64_t>(n));
      const int64_t before_end = writer.BytesOut();
      if (rate != nullptr) *rate = n > 0 ? 1.0 - static_cast<double>(before_end) / static_cast<double>(n) : 0.0;
      writer.Finish();
      EXPECT_EQ(writer.BytesOut(), static_cast<int64_t>(vesk::FileSizeOf(path)));
      out.Close();
    }
    std::string stream = ReadFile(path);
    DeleteFile(path);
    return stream;
  }

  vesk::testing::TempDir dir;
};

TEST_F(ParallelDeflateTest, ZlibInflatesEverySizeLevelAndThreadCountToTheSource) {
  constexpr std::size_t kBlock = 64 << 10;  // small blocks: many boundaries in little data
  std::vector<std::size_t> sizes = {0, 1, kBlock - 1, kBlock, kBlock + 1, 2 * kBlock + 1};
  for (std::size_t k : {1, 3}) {
    sizes.push_back(k * 32768 - 1);
    sizes.push_back(k * 32768 + 1);
    sizes.push_back(k * 65536 - 1);
    sizes.push_back(k * 65536 + 1);
  }
  const std::size_t few_mib = 2 * 1024 * 1024 + 17;
  const std::string text = vesk::testing::Text(few_mib, 91);
  for (int level : {0, 1, Z_DEFAULT_COMPRESSION, 9}) {
    std::vector<std::size_t> these = sizes;
    if (level == 0 || level == 1) these.push_back(few_mib);  // the slow levels take the small sizes only
    for (std::size_t n : these) {
      SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(n) + " bytes");
      const std::string data = text.substr(0, n);
      const std::string stream = Deflate(data, level, 1, kBlock);
      ASSERT_TRUE(ZlibUncompress(stream, n) == data);
      // The stream depends on the blocks only, not on which thread made each.
      for (int threads = 2; threads <= 4; ++threads) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        ASSERT_TRUE(Deflate(data, level, threads, kBlock, 4093) == stream);
      }
    }
  }
}

TEST_F(ParallelDeflateTest, OtherDataAndTheHeaderZlibWouldWrite) {
  const struct {
    const char* kind;
    std::string data;
  } kinds[] = {
      {"random", vesk::testing::RandomBytes(700001, 92)},
      {"zeros", std::string(900000, '\0')},
      {"repeats at the window's distance", [] {
         const std::string part = vesk::testing::RandomBytes(32768, 93);
         return part + part + part + part + part + part + part + part + part + part;
       }()},
      // The fast level's way changes between runs of blocks here.
      {"text and random in turns", [] {
         std::string mixed;
         for (uint32_t i = 0; i < 6; ++i) {
           mixed += vesk::testing::Text(48 << 10, 100 + i) + vesk::testing::Text(5 * (48 << 10), 110 + i);
           mixed += vesk::testing::RandomBytes((i + 1) * (48 << 10), 120 + i);
         }
         return mixed;
       }()},
  };
  for (const auto& k : kinds) {
    for (int level : {0, 1, Z_DEFAULT_COMPRESSION, 9}) {
      SCOPED_TRACE(std::string(k.kind) + ", level " + std::to_string(level));
      const std::string stream = Deflate(k.data, level, 3, 48 << 10);
      EXPECT_TRUE(ZlibUncompress(stream, k.data.size()) == k.data);
      // Whichever worker takes a block, the same stream.
      if (level == 1) {
        EXPECT_TRUE(Deflate(k.data, level, 1, 48 << 10) == stream);
      }
      // The same two header bytes as zlib's own.
      EXPECT_EQ(stream.substr(0, 2), ZlibCompress("x", level).substr(0, 2));
    }
  }
  // An empty source gives the very stream zlib writes.
  EXPECT_EQ(Deflate("", Z_DEFAULT_COMPRESSION, 2, kParallelBlockSize), ZlibCompress("", Z_DEFAULT_COMPRESSION));
}

TEST_F(ParallelDeflateTest, SizeStaysWithinOnePercentOfSingleThreadedZlib) {
  const std::string text = vesk::testing::Text(2 << 20, 94);
  for (int level : {0, 1, Z_DEFAULT_COMPRESSION, 9}) {
    SCOPED_TRACE(level);
    double rate = 0;
    const std::string ours = Deflate(text, level, 2, kParallelBlockSize, 65535, SIZE_MAX, &rate);
    const std::string zlib = ZlibCompress(text, level);
    EXPECT_LE(static_cast<double>(ours.size()), 1.01 * static_cast<double>(zlib.size()));
    EXPECT_TRUE(ZlibUncompress(ours, text.size()) == text);
    // Measured before the last block: close to, and above, the final rate.
    const double final_rate = 1.0 - static_cast<double>(ours.size()) / static_cast<double>(text.size());
    EXPECT_GE(rate, final_rate);
    if (level != 0) {
      EXPECT_LT(rate, final_rate + 0.1);
    }
  }
}

TEST_F(ParallelDeflateTest, AStopLeavesACompleteStreamOfWhatWasWritten) {
  const std::string text = vesk::testing::Text(1 << 20, 95);
  for (std::size_t stop : {std::size_t{0}, std::size_t{65535}, std::size_t{3 * 65535}, (std::size_t{1} << 20) - 1}) {
    SCOPED_TRACE(stop);
    const std::string stream = Deflate(text, 6, 4, 64 << 10, 65535, stop);
    EXPECT_TRUE(ZlibUncompress(stream, text.size()) == text.substr(0, stop));
  }
}

TEST(CompressionThreadsTest, TheEnvironmentPinsTheCount) {
  const char* old = std::getenv("VESK_THREADS");
  const std::string saved = old != nullptr ? old : "";
  ::unsetenv("VESK_THREADS");
  const int cores = CompressionThreads();
  EXPECT_GE(cores, 1);
  ::setenv("VESK_THREADS", "3", 1);
  EXPECT_EQ(CompressionThreads(), 3);
  ::setenv("VESK_THREADS", "1", 1);
  EXPECT_EQ(CompressionThreads(), 1);
  for (const char* ignored : {"0", "-2", "two", "4x", "", "100000"}) {
    ::setenv("VESK_THREADS", ignored, 1);
    EXPECT_EQ(CompressionThreads(), cores) << ignored;
  }
  if (old != nullptr) {
    ::setenv("VESK_THREADS", saved.c_str(), 1);
  } else {
    ::unsetenv("VESK_THREADS");
  }
}

}  // namespace
}  // namespace vesk::compress
