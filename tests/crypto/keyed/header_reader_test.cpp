// The header reader: every known-answer container's header decodes to the
// fields it was made with, at the place the writer put it; each way a header
// can be unreadable gives its own reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container_fixture.h"
#include "crypto/keyed/header_reader.h"
#include "platform/file_io.h"
#include "support/faults.h"
#include "support/known_answers.h"
#include "support/temp_dir.h"

namespace vesk::keyed {
namespace {

using testing::TempDir;
using testing::WriteFile;

HeaderRead ReadFileHeader(const std::string& path, const ReadHook& hook = {}) {
  InputFile in(path);
  if (hook) in.SetReadHook(hook);
  return ReadHeader(in, 0, in.Size());
}

TEST(HeaderReader, KnownAnswersDecodeToTheirInputs) {
  TempDir dir;
  const auto answers = testing::LoadKnownAnswers("keyed");
  ASSERT_FALSE(answers.empty());
  for (const auto& ka : answers) {
    SCOPED_TRACE(ka.name);
    const std::string path = dir.File(ka.name + ".jmz");
    WriteFile(path, ka.container);
    const HeaderRead h = ReadFileHeader(path);
    EXPECT_EQ(h.fault, HeaderFault::kNone);
    EXPECT_EQ(h.offset, ka.header_offset);
    EXPECT_EQ(h.fields.version, ka.version);
    EXPECT_EQ(h.fields.layer, ka.layer);
    EXPECT_EQ(h.fields.pre_zip_level, ka.compression);
    EXPECT_EQ(h.fields.payload_size, static_cast<int64_t>(ka.payload.size()));
    EXPECT_EQ(h.fields.key_length, static_cast<int>(ka.key.size()));
    EXPECT_EQ(h.extension, ka.ext);
    EXPECT_FALSE(h.extension_length_damaged);
  }
}

TEST(HeaderReader, EachUnreadableHeaderGivesItsReason) {
  // A 100-byte payload: the header stands at 0, its extension ".txt" at 21..24.
  const fixture::Recipe recipe;
  const std::string small = fixture::MakeContainer(recipe, std::string(100, 'p'));
  std::string wrong_marker = small;
  wrong_marker[8] = static_cast<char>(wrong_marker[8] ^ 1);
  Header long_ext = fixture::MakeHeader(recipe, 100);
  fixture::SetStoredExtLength(long_ext, 250);

  struct Case {
    const char* name;
    std::string bytes;
    ReadHook hook;
    HeaderFault fault;
    HeaderPart part;
    bool ext_damaged;
  };
  const std::vector<Case> cases = {
      // Only four marker bytes short: the missing ones are not taken as zeros.
      {"seven bytes", std::string("\0\0\0.jmz", 7), {}, HeaderFault::kNoMarker, HeaderPart::kSizeField, false},
      {"marker byte changed", wrong_marker, {}, HeaderFault::kNoMarker, HeaderPart::kSizeField, false},
      {"header at 0 of a container too long for it", small + std::string(4000, 'x'), {}, HeaderFault::kNoMarker,
       HeaderPart::kSizeField, false},
      {"cut in the size field", small.substr(0, 15), {}, HeaderFault::kCut, HeaderPart::kSizeField, false},
      {"size field unreadable", small, testing::faults::FailReadAt(13), HeaderFault::kReadFailed,
       HeaderPart::kSizeField, false},
      {"extension length unreadable", small, testing::faults::FailReadAt(20), HeaderFault::kReadFailed,
       HeaderPart::kExtensionLength, false},
      {"cut in the extension", small.substr(0, 23), {}, HeaderFault::kCut, HeaderPart::kExtension, false},
      {"extension unreadable", small, testing::faults::FailReadAt(24), HeaderFault::kReadFailed,
       HeaderPart::kExtension, false},
      // Damage, not a fault: the extension is read as 4 bytes.
      {"extension length over 215", fixture::AssembleContainer(long_ext, std::string(100, 'p')), {},
       HeaderFault::kNone, HeaderPart::kSizeField, true},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("in.jmz");
    WriteFile(path, c.bytes);
    const HeaderRead h = ReadFileHeader(path, c.hook);
    EXPECT_EQ(h.fault, c.fault);
    if (c.fault == HeaderFault::kCut || c.fault == HeaderFault::kReadFailed) {
      EXPECT_EQ(h.part, c.part);
    }
    EXPECT_EQ(h.extension_length_damaged, c.ext_damaged);
    if (c.ext_damaged) {
      EXPECT_EQ(h.extension_length, 4u);
    }
  }
  // The first read failing leaves nothing to report: it throws.
  WriteFile(dir.File("in.jmz"), small);
  EXPECT_THROW(ReadFileHeader(dir.File("in.jmz"), testing::faults::FailReadAt(5)), IoError);
}

}  // namespace
}  // namespace vesk::keyed
