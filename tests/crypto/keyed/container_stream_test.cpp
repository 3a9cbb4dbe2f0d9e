// The container written from a stream of unknown length must be the very
// container the encryption engine writes for the same payload file and the
// same random draws, however the stream is cut into pieces, whichever
// layout its length gives and whichever cipher the version selects.
#include "crypto/keyed/container_stream.h"

#include <gtest/gtest.h>

#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/scripted_random.h"
#include "support/disk.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::keyed {
namespace {

using testing::FolderEntries;
using testing::RandomBytes;
using testing::ReadFile;
using testing::RecordingReporter;
using testing::TempDir;
using testing::WriteFile;

// Filler draws for a short key, then r1, r2, r3.
std::vector<uint8_t> Draws(uint8_t r2) { return {11, 22, 33, 44, 55, 66, 77, 88, 99, 201, r2, 77}; }

std::string EngineContainer(const TempDir& dir, const std::string& payload, uint8_t version, uint8_t r2) {
  WriteFile(dir.File("plain.tar"), payload);
  EncryptJob job;
  job.key = "key";
  job.source_path = dir.File("plain.tar");
  job.target_path = dir.File("engine.jmz");
  job.original_ext = ".tar";
  job.pre_zip_level = 2;
  job.layer_number = 3;
  job.info_click_count = version == kVersionCurrent ? 0 : 8;
  RecordingReporter r;
  r.QueueAnswers({version != kVersionCurrent, version == kVersionOlder});
  ScriptedRandom random(Draws(r2));
  r.RunEngine([&](RunContext& context) { return EncryptEngine(job, context, random); });
  return ReadFile(dir.File("engine.jmz"));
}

std::string StreamedContainer(const TempDir& dir, const std::string& payload, uint8_t version, uint8_t r2,
                              std::size_t piece) {
  ContainerParams params;
  params.key = "key";
  params.pre_zip_level = 2;
  params.layer = 3;
  params.version = version;
  params.ext = ".tar";
  ScriptedRandom random(Draws(r2));
  StagedOutput out;
  out.Open(dir.File("streamed.jmz"));
  ContainerStreamWriter writer(params, random, out);
  for (std::size_t at = 0; at < payload.size(); at += piece) {
    writer.Write(payload.data() + at, std::min(piece, payload.size() - at));
  }
  writer.Finish();
  EXPECT_EQ(writer.PayloadSize(), static_cast<int64_t>(payload.size()));
  out.Commit();
  return ReadFile(dir.File("streamed.jmz"));
}

TEST(ContainerStreamWriter, WritesTheEnginesContainerForEveryLengthPieceAndVersion) {
  TempDir dir;
  // Around the layout change at 1024 bytes, around the 1 MiB buffers, and
  // lengths that leave 1 to 3 tail bytes after the last whole word.
  // 260 + 1 MiB with r2 = 0 ends right after a full buffer.
  const std::size_t sizes[] = {1, 3, 5, 1023, 1024, 1025, 4099, (std::size_t{1} << 20) + 260,
                               (std::size_t{1} << 20) + 517, (std::size_t{3} << 20) + 2};
  for (const uint8_t version : {kVersionCurrent, kVersionOld, kVersionOlder}) {
    for (const std::size_t size : sizes) {
      // r2 = 254 puts the key-check block as late as it goes (P = 512 or 514).
      for (const uint8_t r2 : {uint8_t{0}, uint8_t{254}}) {
        const std::string payload = RandomBytes(size, static_cast<uint32_t>(size + version));
        const std::string expected = EngineContainer(dir, payload, version, r2);
        ASSERT_EQ(expected.size(), size + 4 + 12 + kContainerOverhead) << size;
        for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{4096}, std::size_t{333}}) {
          if (piece < 4096 && size > 100000) continue;  // byte-sized pieces of megabytes add nothing
          ASSERT_EQ(StreamedContainer(dir, payload, version, r2, piece), expected)
              << "version " << int(version) << ", " << size << " bytes in pieces of " << piece;
        }
      }
    }
  }
  // Nothing but the two outputs and the plain file is left in the folder.
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"engine.jmz", "plain.tar", "streamed.jmz"}));
}

TEST(ContainerStreamWriter, RefusesAnEmptyPayloadAndOneBeyondFourGiB) {
  TempDir dir;
  ContainerParams params;
  params.key = "key";
  ScriptedRandom random(Draws(0));
  StagedOutput out;
  out.Open(dir.File("c.jmz"));
  {
    ContainerStreamWriter writer(params, random, out);
    EXPECT_THROW(writer.Finish(), std::invalid_argument);
  }
  ContainerStreamWriter writer(params, random, out);
  const char byte = 'x';
  writer.Write(&byte, 1);
  // The limit is checked before a byte of the piece is read.
  EXPECT_THROW(writer.Write(&byte, static_cast<std::size_t>(kMaxPayloadSize)), PayloadTooLarge);
  EXPECT_EQ(writer.PayloadSize(), 1);
}

}  // namespace
}  // namespace vesk::keyed
