#include "selfextract/layout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "selfextract/elf_image.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::selfextract {
namespace {

using vesk::testing::RandomBytes;
using vesk::testing::ReadFile;
using vesk::testing::RecordingReporter;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

constexpr int64_t kImage = 1000;  // a stand-in image keeps the files small
const std::string kNameGbk = "\xB2\xE2\xCA\xD4.jmz";  // "测试.jmz"

// A header with the name field given in full (for odd name lengths).
std::string RawHeader(int64_t size, int name_length, const std::string& field) {
  std::string h = EncodePayloadHeader(size, "x");
  h[8] = static_cast<char>(name_length);
  h.replace(9, 250, std::string(field).append(250 - field.size(), '\0'));
  return h;
}

class ReadInfo : public ::testing::Test {
 protected:
  SelfDecryptInfo Read(const std::string& header, int64_t payload_bytes) {
    const std::string path = dir.File("program");
    WriteFile(path, RandomBytes(kImage, 1) + header + RandomBytes(static_cast<std::size_t>(payload_bytes), 2));
    return ReadSelfDecryptInfo(reporter, reporter, path, kImage);
  }

  TempDir dir;
  RecordingReporter reporter;
};

TEST_F(ReadInfo, PlainProgramAndShortFilesSayNothing) {
  for (int64_t extra : {int64_t{0}, kHeaderSize + 49}) {
    const std::string path = dir.File("program");
    WriteFile(path, RandomBytes(static_cast<std::size_t>(kImage + extra), 3));
    const SelfDecryptInfo info = ReadSelfDecryptInfo(reporter, reporter, path, kImage);
    EXPECT_EQ(info.OwnFileSize, kImage + extra);
    EXPECT_FALSE(info.CommandsEnabled);
    EXPECT_FALSE(info.Failed);
    EXPECT_EQ(info.PayloadSize, 0);
    EXPECT_TRUE(info.PayloadName.empty());
  }
  EXPECT_TRUE(reporter.statuses.empty());

  const SelfDecryptInfo missing = ReadSelfDecryptInfo(reporter, reporter, dir.File("nothing"), kImage);
  EXPECT_TRUE(missing.Failed);
  EXPECT_FALSE(missing.CommandsEnabled);
  EXPECT_EQ(missing.OwnFileSize, 0);
}

TEST_F(ReadInfo, SmallestPayloadIsRecognisedSilently) {
  const SelfDecryptInfo info = Read(EncodePayloadHeader(50, kNameGbk), 50);
  EXPECT_EQ(info.OwnFileSize, SelfDecryptMinimum(kImage));
  EXPECT_TRUE(info.CommandsEnabled);
  EXPECT_EQ(info.PayloadSize, 50);
  EXPECT_EQ(info.PayloadName, "测试.jmz");
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(reporter.statuses, std::vector<std::string>{"自解密文件：测试.jmz  大小：50字节。"});
  EXPECT_EQ(info.StatusHint, reporter.Status());

  // What was found is what the command state needs to enable the
  // self-decrypt commands.
  reporter.SetOwnFileSize(info.OwnFileSize);
  reporter.SetImageSize(info.ImageSize);
  reporter.SetCommandState(Operation::MenuCommand, true);
  EXPECT_TRUE(reporter.controls[Control::SelfDecryptButton].enabled);
}

TEST_F(ReadInfo, NameLengthOutsideOneTo250ReadsTheWholeField) {
  const std::string name250 = std::string(240, 'n') + "0123456789";
  for (int length : {0, 251, 255}) {
    SCOPED_TRACE(length);
    EXPECT_EQ(Read(RawHeader(60, length, "ab"), 60).PayloadName, "ab");
    EXPECT_EQ(Read(RawHeader(60, length, name250), 60).PayloadName, name250);
  }
  EXPECT_TRUE(reporter.messages.empty());

  // A name without a zero within its n bytes is all n bytes; bytes behind
  // the first zero do not count.
  EXPECT_EQ(Read(RawHeader(60, 5, "abcdefgh"), 60).PayloadName, "abcde");
  EXPECT_EQ(Read(RawHeader(60, 250, std::string("ab\0cd", 5)), 60).PayloadName, "ab");

  const SelfDecryptInfo empty = Read(RawHeader(60, 0, ""), 60);
  EXPECT_EQ(empty.PayloadName, "");
  EXPECT_TRUE(empty.CommandsEnabled);
  EXPECT_EQ(reporter.messages, std::vector<std::string>{"自解密里的加密文件名称(出错)是空的！"});
}

TEST_F(ReadInfo, DamagedStoredSizeIsReportedOnceAndCorrected) {
  const int64_t present = 80;
  for (int64_t stored : {int64_t{0}, int64_t{-5}, kMaxPayloadSize + 1, present + 1, INT64_MIN}) {
    SCOPED_TRACE(stored);
    reporter.messages.clear();
    const SelfDecryptInfo info = Read(EncodePayloadHeader(stored, "a.jmz"), present);
    const std::string s = std::to_string(stored);
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"自解密里的加密文件的大小(" + s + "字节)数据被破坏或者出错！"});
    EXPECT_EQ(info.PayloadSize, present);
    EXPECT_TRUE(info.CommandsEnabled);
    // The description keeps the stored value.
    EXPECT_EQ(info.StatusHint, "自解密文件：a.jmz  大小：" + s + "字节。");
  }
}

TEST_F(ReadInfo, BytesBehindThePayloadAreReportedAndTheStoredSizeKept) {
  const SelfDecryptInfo info = Read(EncodePayloadHeader(50, "a.jmz"), 75);
  EXPECT_EQ(reporter.messages, std::vector<std::string>{"自解密里的加密文件的大小(50字节)数据与效验数据(75)不相同！"});
  EXPECT_EQ(info.PayloadSize, 50);
  EXPECT_TRUE(info.CommandsEnabled);
}

TEST_F(ReadInfo, FourGibibytePayloadIsAccepted) {
  const std::string path = dir.File("big");
  WriteFile(path, RandomBytes(kImage, 4) + EncodePayloadHeader(kMaxPayloadSize, "big.jmz"));
  // Sparse: only the image and the header take disk space.
  {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, PayloadOffset(kImage) + kMaxPayloadSize), 0);
    ::close(fd);
  }
  const SelfDecryptInfo info = ReadSelfDecryptInfo(reporter, reporter, path, kImage);
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(info.PayloadSize, kMaxPayloadSize);
  EXPECT_EQ(info.OwnFileSize, PayloadOffset(kImage) + kMaxPayloadSize);
  EXPECT_TRUE(info.CommandsEnabled);
}

TEST(ElfImage, ImageSizeIgnoresAnAppendedPayload) {
  TempDir dir;
  const std::string program = ReadFile(kRunningProgramFile);
  const std::string copy = dir.File("program");
  WriteFile(copy, program);
  const int64_t size = static_cast<int64_t>(program.size());
  EXPECT_EQ(ImageSizeOf(copy), size);
  EXPECT_EQ(RunningImageSize(), size);

  // Image + header + a tail shaped like the smallest keyed container.
  const std::string composite = dir.File("composite");
  WriteFile(composite, program + EncodePayloadHeader(50, kNameGbk) + RandomBytes(50, 5));
  EXPECT_EQ(ImageSizeOf(composite), size);

  RecordingReporter reporter;
  const SelfDecryptInfo info = ReadSelfDecryptInfo(reporter, reporter, composite, ImageSizeOf(composite));
  EXPECT_TRUE(info.CommandsEnabled);
  EXPECT_EQ(info.PayloadSize, 50);
  EXPECT_EQ(info.PayloadName, "测试.jmz");
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(info.ImageSize, size);

  // The running test program is a plain program.
  RecordingReporter self;
  const SelfDecryptInfo running = ReadRunningSelfDecryptInfo(self, self);
  EXPECT_FALSE(running.Failed);
  EXPECT_FALSE(running.CommandsEnabled);
  EXPECT_EQ(running.OwnFileSize, size);
  EXPECT_EQ(RunningProgramPath()[0], '/');
}

void Put(std::string& s, std::size_t at, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A minimal 64-bit or 32-bit image whose section header table (at 64) is
// followed by section data and a segment that reach further than the table.
std::string SyntheticElf(bool wide, uint64_t segment_size) {
  const std::size_t eh = wide ? 64 : 52, sh = wide ? 64 : 40, ph = wide ? 56 : 32;
  const std::size_t shoff = 64, phoff = shoff + 3 * sh;
  std::string f(phoff + ph, '\0');
  f.replace(0, 4, "\x7F" "ELF");
  f[4] = wide ? 2 : 1;
  f[5] = 1;
  const int w = wide ? 8 : 4;
  Put(f, wide ? 0x20 : 0x1C, phoff, w);
  Put(f, wide ? 0x28 : 0x20, shoff, w);
  Put(f, wide ? 0x34 : 0x28, eh, 2);
  Put(f, wide ? 0x36 : 0x2A, ph, 2);
  Put(f, wide ? 0x38 : 0x2C, 1, 2);
  Put(f, wide ? 0x3A : 0x2E, sh, 2);
  Put(f, wide ? 0x3C : 0x30, 3, 2);
  // Section 1: data at 400, 150 bytes. Section 2: .bss, no file space.
  const std::size_t s1 = shoff + sh, s2 = shoff + 2 * sh;
  Put(f, s1 + 4, 1, 4);
  Put(f, s1 + (wide ? 0x18 : 0x10), 400, w);
  Put(f, s1 + (wide ? 0x20 : 0x14), 150, w);
  Put(f, s2 + 4, 8, 4);
  Put(f, s2 + (wide ? 0x18 : 0x10), 450, w);
  Put(f, s2 + (wide ? 0x20 : 0x14), 1000000, w);
  // The segment starts at 300.
  Put(f, phoff + (wide ? 8 : 4), 300, w);
  Put(f, phoff + (wide ? 0x20 : 0x10), segment_size, w);
  f.resize(std::max<std::size_t>(550, 300 + segment_size), '\0');
  return f;
}

TEST(ElfImage, ImageEndsWhereItsFurthestPartEnds) {
  TempDir dir;
  for (bool wide : {true, false}) {
    for (uint64_t segment : {220, 300}) {  // ends before or after the section
      SCOPED_TRACE(wide);
      const std::string elf = SyntheticElf(wide, segment);
      const int64_t end = segment == 220 ? 550 : 600;
      ASSERT_EQ(static_cast<int64_t>(elf.size()), end);
      WriteFile(dir.File("f"), elf + EncodePayloadHeader(50, "a") + RandomBytes(50, 6));
      EXPECT_EQ(ImageSizeOf(dir.File("f")), end);
      // Cut one byte short: the image is incomplete.
      WriteFile(dir.File("f"), elf.substr(0, elf.size() - 1));
      EXPECT_THROW(ImageSizeOf(dir.File("f")), IoError);
    }
  }
}

// Padding the image moves the section header table behind it and adds one
// unloaded section; the rest of the file, its mode and what a later reader
// measures stay as they were.
TEST(ElfImage, AligningTheImageEndKeepsTheImage) {
  TempDir dir;
  const std::string path = dir.File("program");
  const struct {
    std::string elf;
    std::size_t header;
  } images[] = {{SyntheticElf(true, 220), 64}, {SyntheticElf(false, 300), 52}, {ReadFile(kRunningProgramFile), 64}};
  for (const auto& image : images) {
    for (int64_t residue : {int64_t{3837}, int64_t{0}, int64_t{4095}}) {
      SCOPED_TRACE(residue);
      WriteFile(path, image.elf);
      ASSERT_EQ(::chmod(path.c_str(), 0750), 0);
      AlignImageEnd(path, 4096, residue);
      const std::string padded = ReadFile(path);
      EXPECT_EQ(ImageSizeOf(path), static_cast<int64_t>(padded.size()));
      EXPECT_EQ(static_cast<int64_t>(padded.size()) % 4096, residue);
      EXPECT_EQ(padded.substr(image.header, image.elf.size() - image.header), image.elf.substr(image.header));
      struct stat st {};
      ASSERT_EQ(::stat(path.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0750u);
      AlignImageEnd(path, 4096, residue);  // already there
      EXPECT_TRUE(ReadFile(path) == padded);
    }
  }
  // Bytes behind the image, or no section header table to extend: refused,
  // the file untouched.
  std::string no_table = SyntheticElf(true, 220);
  Put(no_table, 0x28, 0, 8);
  for (const std::string& content : {SyntheticElf(true, 220) + "payload", no_table}) {
    WriteFile(path, content);
    EXPECT_THROW(AlignImageEnd(path, 4096, 3837), IoError);
    EXPECT_TRUE(ReadFile(path) == content);
  }
}

TEST(ElfImage, FilesThatAreNoCompleteImageAreRefused) {
  TempDir dir;
  const std::string program = ReadFile(kRunningProgramFile);
  const std::string cases[] = {
      "",
      "plain text, long enough to hold an ELF header but not one at all.........",
      program.substr(0, program.size() / 2),  // section header table cut off
      program.substr(0, 40),
  };
  for (const std::string& content : cases) {
    WriteFile(dir.File("f"), content);
    EXPECT_THROW(ImageSizeOf(dir.File("f")), IoError);
  }
  EXPECT_THROW(ImageSizeOf(dir.File("missing")), IoError);
}

TEST(PayloadHeader, LayoutIsLittleEndianWithAZeroPaddedName) {
  const std::string h = EncodePayloadHeader(0x0102030405, "ab");
  ASSERT_EQ(h.size(), 259u);
  EXPECT_EQ(h.substr(0, 11), std::string("\x05\x04\x03\x02\x01\0\0\0\x02" "ab", 11));
  EXPECT_EQ(h.substr(11), std::string(248, '\0'));
  EXPECT_EQ(EncodePayloadHeader(1, std::string(250, 'z')).substr(9), std::string(250, 'z'));
  EXPECT_THROW(EncodePayloadHeader(1, ""), std::invalid_argument);
  EXPECT_THROW(EncodePayloadHeader(1, std::string(251, 'z')), std::invalid_argument);
}

}  // namespace
}  // namespace vesk::selfextract
