// A key-less container written from a stream is the container the pure
// transform makes of the whole payload, however the stream is cut.
#include "crypto/keyless/stream_writer.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace vesk::keyless {
namespace {

using testing::RandomBytes;
using testing::ReadFile;
using testing::TempDir;

TEST(KeylessStreamWriter, WritesWhatTheTransformMakesOfTheWholePayload) {
  TempDir dir;
  const RandomBlock r = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const std::size_t sizes[] = {1, 2, 3, 4, 5, (std::size_t{1} << 20) - 1, std::size_t{1} << 20, (std::size_t{1} << 20) + 3,
                               (std::size_t{2} << 20) + 6};
  for (const Version version : {Version::kCurrent, Version::kOld, Version::kOlder}) {
    for (const std::size_t size : sizes) {
      const std::string payload = RandomBytes(size, static_cast<uint32_t>(size));
      const auto* bytes = reinterpret_cast<const uint8_t*>(payload.data());
      const std::vector<uint8_t> whole = EncryptToContainer({bytes, size}, "密钥", version, r);
      for (const std::size_t piece : {std::size_t{7}, std::size_t{65536}}) {
        if (piece == 7 && size > 100000) continue;
        StagedOutput out;
        out.Open(dir.File("c.jmz"));
        StreamWriter writer("密钥", version, r, out);
        for (std::size_t at = 0; at < size; at += piece) writer.Write(bytes + at, std::min(piece, size - at));
        writer.Finish();
        out.Commit();
        ASSERT_EQ(ReadFile(dir.File("c.jmz")), std::string(whole.begin(), whole.end()))
            << int(version) << ", " << size << " bytes in pieces of " << piece;
      }
    }
  }
}

TEST(KeylessStreamWriter, RefusesAnEmptyPayload) {
  TempDir dir;
  StagedOutput out;
  out.Open(dir.File("c.jmz"));
  StreamWriter writer("k", Version::kCurrent, RandomBlock{}, out);
  EXPECT_THROW(writer.Finish(), std::invalid_argument);
}

}  // namespace
}  // namespace vesk::keyless
