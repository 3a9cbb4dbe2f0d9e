// The inflate reader against zlib's own inflate over a sweep of sizes around
// the 65,535-byte chunk and the 32 KiB window, where the end of the source
// meets the end of an output request in every way.
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "compress/deflate_writer.h"
#include "compress/inflate_reader.h"
#include "platform/file_io.h"
#include "samples.h"
#include "support/temp_dir.h"
#include "zlib_oracle.h"

namespace vesk::compress {
namespace {

using vesk::testing::ReadFile;
using vesk::testing::WriteFile;

std::string Compress2(const char* data, std::size_t n, int level) {
  uLongf len = compressBound(n);
  std::string out(len, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(data), n, level),
            Z_OK);
  out.resize(len);
  return out;
}

// What zlib's uncompress makes of `stream`, or nothing and false when it
// refuses it.
bool ZlibUncompress(const std::string& stream, std::size_t limit, std::string* out) {
  out->assign(limit + 1, '\0');
  uLongf len = out->size();
  const int rc = uncompress(reinterpret_cast<Bytef*>(out->data()), &len, reinterpret_cast<const Bytef*>(stream.data()),
                            stream.size());
  out->resize(rc == Z_OK ? len : 0);
  return rc == Z_OK;
}

class InflateSweepTest : public ::testing::Test {
 protected:
  // Our compressor, fed the way the compression component feeds it.
  std::string DeflateWriterStream(const char* data, std::size_t n, int level) {
    {
      OutputFile out;
      out.CreateNew(dir.File("w.zak"));
      DeflateWriter writer(out, level);
      for (std::size_t at = 0; at < n; at += 65535) writer.Write(data + at, std::min<std::size_t>(65535, n - at));
      writer.Finish();
      out.Close();
    }
    std::string stream = ReadFile(dir.File("w.zak"));
    DeleteFile(dir.File("w.zak"));
    return stream;
  }

  // Everything the reader yields, `step` bytes per request; throws ZlibError
  // as the reader does.
  std::string ReadAll(const std::string& stream, std::size_t step) {
    return vesk::testing::ReadAllThroughReader(dir.File("s.zak"), stream, step);
  }

  bool ReaderRefuses(const std::string& stream) {
    try {
      ReadAll(stream, 65535);
    } catch (const ZlibError&) {
      return true;
    }
    return false;
  }

  // One stream of `n` source bytes: our reader, zlib and the source agree;
  // the stream without its last byte is refused by both, and our reader
  // refuses it cut in the middle too.
  void Check(const std::string& stream, const char* data, std::size_t n, std::size_t step) {
    std::string expected;
    ASSERT_TRUE(ZlibUncompress(stream, n, &expected));
    ASSERT_TRUE(expected.size() == n && expected.compare(0, n, data, n) == 0);
    std::string got;
    ASSERT_NO_THROW(got = ReadAll(stream, step));
    ASSERT_EQ(got.size(), n);
    ASSERT_TRUE(got == expected) << "first difference at "
                                 << std::mismatch(got.begin(), got.end(), expected.begin()).first - got.begin();
    std::string ignored;
    EXPECT_FALSE(ZlibUncompress(stream.substr(0, stream.size() - 1), n, &ignored));
    EXPECT_TRUE(ReaderRefuses(stream.substr(0, stream.size() - 1)));
    if (n < (1 << 20)) {
      EXPECT_TRUE(ReaderRefuses(stream.substr(0, stream.size() / 2)));
    }
  }

  vesk::testing::TempDir dir;
};

TEST_F(InflateSweepTest, AgreesWithZlibAroundChunkAndWindowMultiples) {
  // Sizes k * 65535 + r and k * 32768 + r.
  std::vector<std::size_t> sizes;
  for (std::size_t k = 1; k <= 3; ++k) {
    for (int r = -1; r <= 2; ++r) sizes.push_back(k * 65535 + r);
  }
  for (std::size_t k = 1; k <= 4; ++k) {
    for (int r = -1; r <= 1; ++r) sizes.push_back(k * 32768 + r);
  }
  // Larger sizes cost time, at level 9 most: 1 MiB below level 9, 3 MiB at
  // level 1 (random data adds nothing there: deflate stores it).
  const std::size_t mib = 16 * 65535 + 1, three_mib = 48 * 65535 + 2;
  const std::size_t largest = three_mib;

  const struct {
    const char* kind;
    std::string data;
  } kinds[] = {
      {"text", vesk::testing::Text(largest, 81)},
      {"random", vesk::testing::RandomBytes(largest, 82)},
      {"zeros", std::string(largest, '\0')},
  };
  int count = 0;
  for (const auto& k : kinds) {
    for (int level : {1, 6, 9}) {
      std::vector<std::size_t> these = sizes;
      if (level < 9) these.push_back(mib);
      if (level == 1 && std::string(k.kind) != "random") these.push_back(three_mib);
      for (std::size_t n : these) {
        SCOPED_TRACE(std::string(k.kind) + ", level " + std::to_string(level) + ", " + std::to_string(n) + " bytes");
        // Alternate between the component's 65535-byte requests and one large request.
        const std::size_t step = (count++ % 2 == 0) ? 65535 : (1 << 20) + 1;
        Check(Compress2(k.data.data(), n, level), k.data.data(), n, step);
        // Our own compressor, on the small sizes below level 9 (it writes what zlib does).
        if (n < mib && level < 9) Check(DeflateWriterStream(k.data.data(), n, level), k.data.data(), n, 65535);
      }
    }
  }
}

}  // namespace
}  // namespace vesk::compress
