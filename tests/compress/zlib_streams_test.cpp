#include "compress/deflate_writer.h"
#include "compress/inflate_reader.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "samples.h"
#include "zlib_oracle.h"

namespace vesk::compress {
namespace {

using vesk::testing::Prose;
using vesk::testing::ReadFile;
using vesk::testing::WriteFile;

struct Shape {
  int level = 6;
  int window_bits = 15;
  int strategy = Z_DEFAULT_STRATEGY;
  int mid_flush = Z_NO_FLUSH;  // a flush after every third of the input
};

// A zlib stream of `data` as zlib's deflate writes it for `shape`.
std::string Deflate(const std::string& data, const Shape& shape) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, shape.level, Z_DEFLATED, shape.window_bits, 8, shape.strategy), Z_OK);
  std::string out(deflateBound(&z, data.size()) + 64 + data.size() / 100, '\0');
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const std::size_t third = data.size() / 3;
  for (std::size_t at = 0; at < data.size();) {
    const std::size_t n = std::min(third + 1, data.size() - at);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
    z.avail_in = static_cast<uInt>(n);
    at += n;
    EXPECT_EQ(deflate(&z, at < data.size() ? shape.mid_flush : Z_NO_FLUSH), Z_OK);
  }
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

class InflateReaderTest : public ::testing::Test {
 protected:
  // Everything the reader yields from `stream`, asking `step` bytes at a time.
  std::string ReadAll(const std::string& stream, std::size_t step) {
    return vesk::testing::ReadAllThroughReader(dir.File("s.zak"), stream, step);
  }

  vesk::testing::TempDir dir;
};

TEST_F(InflateReaderTest, YieldsWhatZlibDoesForEveryLevelAndDataKind) {
  std::string repeats = vesk::testing::RandomBytes(32768, 41);
  repeats += repeats + repeats;  // matches at the window's full distance
  const struct {
    const char* kind;
    std::string data;
  } kinds[] = {
      {"random", vesk::testing::RandomBytes(200000, 42)},
      {"prose", Prose(300000, 43)},
      {"far repeats", repeats},
      {"one byte run", std::string(150000, 'z')},
  };
  for (const auto& k : kinds) {
    for (int level = 0; level <= 9; ++level) {
      SCOPED_TRACE(std::string(k.kind) + " at level " + std::to_string(level));
      const std::string stream = Deflate(k.data, Shape{level});
      const std::string out = ReadAll(stream, 65535);
      EXPECT_TRUE(out == vesk::testing::ZlibUncompress(stream, k.data.size()));
      EXPECT_TRUE(out == k.data);
    }
  }
}

TEST_F(InflateReaderTest, TakesEveryBlockKindAndStreamShapeZlibWrites) {
  const std::string data = Prose(120000, 44) + vesk::testing::RandomBytes(40000, 45);
  const struct {
    const char* what;
    Shape shape;
  } shapes[] = {
      {"fixed codes", {6, 15, Z_FIXED, Z_NO_FLUSH}},
      {"Huffman only", {6, 15, Z_HUFFMAN_ONLY, Z_NO_FLUSH}},
      {"runs", {6, 15, Z_RLE, Z_NO_FLUSH}},
      {"filtered", {6, 15, Z_FILTERED, Z_NO_FLUSH}},
      {"sync flushes (empty stored blocks)", {6, 15, Z_DEFAULT_STRATEGY, Z_SYNC_FLUSH}},
      {"full flushes", {9, 15, Z_DEFAULT_STRATEGY, Z_FULL_FLUSH}},
      {"stored with flushes", {0, 15, Z_DEFAULT_STRATEGY, Z_SYNC_FLUSH}},
      {"small window", {6, 9, Z_DEFAULT_STRATEGY, Z_NO_FLUSH}},
  };
  for (const auto& s : shapes) {
    SCOPED_TRACE(s.what);
    const std::string stream = Deflate(data, s.shape);
    EXPECT_TRUE(ReadAll(stream, 65535) == vesk::testing::ZlibUncompress(stream, data.size()));
  }
  // Output boundaries anywhere: tiny and odd reads, and reads larger than the source.
  const std::string stream = Deflate(data, Shape{});
  for (std::size_t step : {std::size_t{1}, std::size_t{4093}, std::size_t{1} << 20}) {
    SCOPED_TRACE(step);
    EXPECT_TRUE(ReadAll(stream, step) == data);
  }
}

TEST_F(InflateReaderTest, StopsAtTheTrailerAndRewindsToTheStart) {
  // Larger than one read of the source, with bytes behind it in the same read.
  const std::string data = vesk::testing::RandomBytes(kInflateReadSize + 5000, 46);
  const std::string stream = Deflate(data, Shape{0});
  WriteFile(dir.File("s.zak"), stream + "bytes behind the stream");
  InputFile in(dir.File("s.zak"));
  InflateReader reader(in);
  std::string first(1000, '\0');
  ASSERT_EQ(reader.Read(first.data(), first.size()), first.size());
  EXPECT_FALSE(reader.Complete());

  reader.Rewind();
  std::string all(data.size() + 100, '\0');
  ASSERT_EQ(reader.Read(all.data(), all.size()), data.size());
  EXPECT_TRUE(reader.Complete());
  all.resize(data.size());
  EXPECT_TRUE(all == data);
  EXPECT_EQ(first, data.substr(0, first.size()));
  EXPECT_EQ(reader.Read(all.data(), all.size()), 0u);  // and stays at the end

  // A stream that asks for a preset dictionary is not one of ours.
  z_stream z{};
  ASSERT_EQ(deflateInit(&z, 6), Z_OK);
  ASSERT_EQ(deflateSetDictionary(&z, reinterpret_cast<const Bytef*>("dictionary"), 10), Z_OK);
  std::string dict_stream(256, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>("dictionary words"));
  z.avail_in = 16;
  z.next_out = reinterpret_cast<Bytef*>(dict_stream.data());
  z.avail_out = static_cast<uInt>(dict_stream.size());
  ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  dict_stream.resize(z.total_out);
  deflateEnd(&z);
  EXPECT_THROW(ReadAll(dict_stream, 100), ZlibError);
}

}  // namespace
}  // namespace vesk::compress
