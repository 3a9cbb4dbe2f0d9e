// The program's decoder (the fast one where the build has it) against
// zlib's, stream by stream: both yield the same bytes, or both refuse with
// the same fault. The streams: a size sweep of zlib's and of the parallel
// writer's (whose fast level is the fast deflater's), every block kind and
// flush zlib writes, and each of them damaged: cut short, a bit flipped,
// the trailer wrong, the header wrong, bytes behind it.
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "compress/inflate_codecs.h"
#include "compress/inflate_reader.h"
#include "compress/parallel_deflate.h"
#include "platform/file_io.h"
#include "samples.h"
#include "support/temp_dir.h"
#include "zlib_oracle.h"

namespace vesk::compress {
namespace {

using vesk::testing::ReadFile;
using vesk::testing::WriteFile;

struct Verdict {
  bool accepted = false;
  std::string out;
  StreamFault fault = StreamFault::kFailure;
};

class InflateDifferentialTest : public ::testing::Test {
 protected:
  Verdict Decode(const std::string& path, std::unique_ptr<InflateEngine> engine, std::size_t step) {
    InputFile in(path);
    InflateReader reader(in, std::move(engine));
    Verdict v;
    std::vector<char> buf(step);
    try {
      for (;;) {
        const std::size_t got = reader.Read(buf.data(), step);
        v.out.append(buf.data(), got);
        if (got < step) break;
      }
      v.accepted = reader.Complete();
    } catch (const ZlibError& e) {
      v.fault = e.Fault();
    }
    return v;
  }

  // Both decoders on `stream`; returns zlib's verdict.
  Verdict Agree(const std::string& stream, std::size_t step = 65535) {
    WriteFile(dir.File("d.zak"), stream);
    const Verdict zlib = Decode(dir.File("d.zak"), NewZlibInflateEngine(), step);
    const Verdict ours = Decode(dir.File("d.zak"), NewInflateEngine(), step);
    EXPECT_EQ(ours.accepted, zlib.accepted);
    if (ours.accepted && zlib.accepted) {
      EXPECT_TRUE(ours.out == zlib.out) << "different bytes";
    } else {
      EXPECT_EQ(static_cast<int>(ours.fault), static_cast<int>(zlib.fault));
    }
    return zlib;
  }

  // The stream itself and its damaged forms; `expected` is the source.
  void CheckWithDamage(const std::string& stream, const std::string& expected) {
    const Verdict whole = Agree(stream, 1 + stream.size() % 70000);
    ASSERT_TRUE(whole.accepted && whole.out == expected);
    // Bytes behind the trailer are not read.
    EXPECT_TRUE(Agree(stream + "trailing garbage").accepted);
    // Cut anywhere before the trailer's last byte: refused as cut short.
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{2}, stream.size() / 3, stream.size() - 5,
                            stream.size() - 4, stream.size() - 1}) {
      if (cut >= stream.size()) continue;
      EXPECT_EQ(Agree(stream.substr(0, cut)).fault, StreamFault::kTruncated) << "cut at " << cut;
    }
    // The trailer wrong in each byte: a failed check.
    for (std::size_t k = 1; k <= 4; ++k) {
      std::string bad = stream;
      bad[bad.size() - k] = static_cast<char>(bad[bad.size() - k] ^ 0x10);
      EXPECT_EQ(Agree(bad).fault, StreamFault::kChecksum);
    }
    // A bit flipped in the deflate data, here and there: whatever zlib says.
    for (std::size_t at = 2; at + 4 < stream.size(); at += 1 + stream.size() / 23) {
      std::string bad = stream;
      bad[at] = static_cast<char>(bad[at] ^ (1 << (at % 8)));
      Agree(bad);
    }
  }

  std::string Parallel(const std::string& data, int level) {
    const std::string path = dir.File("p.zak");
    {
      OutputFile out;
      out.CreateNew(path);
      ParallelDeflateWriter writer(out, level, 2, 64 << 10);
      writer.Write(data.data(), data.size());
      writer.Finish();
      out.Close();
    }
    std::string stream = ReadFile(path);
    DeleteFile(path);
    return stream;
  }

  vesk::testing::TempDir dir;
};

TEST_F(InflateDifferentialTest, SizeSweepOfZlibsAndTheParallelWritersStreams) {
  std::printf("decoders: %s\n", CodecsName());
  const std::string text = vesk::testing::Text(700000, 61);
  const std::string random = vesk::testing::RandomBytes(300000, 62);
  for (std::size_t n : {0, 1, 2, 257, 32767, 32768, 32769, 65535, 65536, 65537, 131073, 300000, 700000}) {
    for (int level : {0, 1, 6, 9}) {
      SCOPED_TRACE(std::to_string(n) + " bytes at level " + std::to_string(level));
      const std::string t = text.substr(0, n);
      CheckWithDamage(vesk::testing::ZlibCompress(t, level), t);
      CheckWithDamage(Parallel(t, level), t);
      if (n <= random.size()) {
        const std::string r = random.substr(0, n);
        CheckWithDamage(vesk::testing::ZlibCompress(r, level), r);
      }
    }
  }
}

// The parallel writer's blocks take the faster Adler-32; a wrong one would
// show only as a refused stream. All-0xFF bytes push its sums furthest
// before each modulo.
TEST(FastAdler32, MatchesZlibsAtEverySizeAroundItsRuns) {
  const std::string random = vesk::testing::RandomBytes(1 << 20, 63);
  const std::string ones(1 << 20, '\xFF');
  for (const std::string* data : {&random, &ones}) {
    for (std::size_t n : {0, 1, 15, 16, 31, 32, 33, 5551, 5552, 5553, 65536, 65539, 1 << 20}) {
      const auto* p = reinterpret_cast<const unsigned char*>(data->data());
      EXPECT_EQ(Adler32(p, n), adler32_z(1, p, n)) << n << " bytes";
    }
  }
}

TEST_F(InflateDifferentialTest, EveryBlockKindFlushAndWindowZlibWrites) {
  const std::string data = vesk::testing::Prose(150000, 63) + vesk::testing::RandomBytes(30000, 64);
  const int kFlushes[] = {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK};
  for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
    for (int window : {9, 12, 15}) {
      for (int flush : kFlushes) {
        SCOPED_TRACE("strategy " + std::to_string(strategy) + ", window " + std::to_string(window) + ", flush " +
                     std::to_string(flush));
        z_stream z{};
        ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, window, 8, strategy), Z_OK);
        std::string stream(deflateBound(&z, data.size()) + 4096, '\0');
        z.next_out = reinterpret_cast<Bytef*>(stream.data());
        z.avail_out = static_cast<uInt>(stream.size());
        for (std::size_t at = 0; at < data.size(); at += 40000) {
          z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
          z.avail_in = static_cast<uInt>(std::min<std::size_t>(40000, data.size() - at));
          ASSERT_EQ(deflate(&z, flush), Z_OK);
        }
        ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        stream.resize(z.total_out);
        deflateEnd(&z);
        CheckWithDamage(stream, data);
      }
    }
  }
}

TEST_F(InflateDifferentialTest, HeadersAreJudgedAsZlibJudgesThem) {
  const std::string good = vesk::testing::ZlibCompress("header test", 6);
  const std::string body = good.substr(2);
  const struct {
    const char* what;
    std::string stream;
    bool accepted;
    StreamFault fault;
  } cases[] = {
      {"empty", "", false, StreamFault::kTruncated},
      {"one byte", good.substr(0, 1), false, StreamFault::kTruncated},
      {"check bits wrong", std::string("\x78\x9d", 2) + body, false, StreamFault::kDamaged},
      {"method 7", std::string("\x77\x85", 2) + body, false, StreamFault::kDamaged},
      {"window of 64 KiB", std::string("\x88\x1c", 2) + body, false, StreamFault::kDamaged},
      {"window of 256 bytes", std::string("\x08\x1d", 2) + body, true, StreamFault::kFailure},
      {"level bits 3", std::string("\x78\xda", 2) + body, true, StreamFault::kFailure},
      {"dictionary asked, id cut", std::string("\x78\xbb\x00\x01", 4), false, StreamFault::kTruncated},
      {"dictionary asked", std::string("\x78\xbb\x00\x01\x02\x03", 6) + body, false, StreamFault::kNeedsDictionary},
      {"gzip header", std::string("\x1f\x8b\x08\x00", 4) + body, false, StreamFault::kDamaged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Verdict v = Agree(c.stream, 7);
    EXPECT_EQ(v.accepted, c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(static_cast<int>(v.fault), static_cast<int>(c.fault));
    }
  }
}

// Streams the fuzz target found where the two decoders refuse for different
// reasons: zlib refuses a dynamic block whose distance code is incomplete,
// ISA-L decodes it and the wrong bytes fail the Adler-32 check; zlib runs
// out of input inside a damaged block header that ISA-L already finds
// damaged. Both refuse, which is all a run shows.
TEST_F(InflateDifferentialTest, MalformedTablesAreRefusedByBoth) {
  const char* const kHex[] = {
      "7801ecc13101000000c220fba736c53e600000000000000000000000000000000000000000000000000000000000000000000000000000"
      "0000000040ef000000ffffedc3310d00000080a0feadade1019baaaaaaaa02000000000000000000000000000000f017000e0001",
      "484becc1010d000000c2a0f74f6d0e37a0000000000000008073030000ffffecc13101000000c2a0f54f6d085fa0000000000000000000"
      "000000000000000000000000000080cbd88303120000000041ff5fb723500100000000000080bdd88303120000000041ff5fb723500100"
      "000000000080bd000000ffffecc1210100000080a0ffaf9d6101000000000000000000000000000000885b000000ffff830200000e0001",
  };
  for (const char* hex : kHex) {
    std::string stream;
    for (const char* p = hex; p[0] != '\0' && p[1] != '\0'; p += 2) {
      stream += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    }
    WriteFile(dir.File("m.zak"), stream);
    EXPECT_FALSE(Decode(dir.File("m.zak"), NewZlibInflateEngine(), 65536).accepted);
    EXPECT_FALSE(Decode(dir.File("m.zak"), NewInflateEngine(), 65536).accepted);
  }
}

}  // namespace
}  // namespace vesk::compress
