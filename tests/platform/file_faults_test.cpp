// The file handles call their fault hooks where the system calls are made,
// so that the faults of tests/support/faults.h act as a failing disk would.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "support/disk.h"
#include "support/faults.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::FolderEntries;
using testing::RandomBytes;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
namespace faults = testing::faults;

// The IoError text of `fn`, or "" when it throws none.
template <typename Fn>
std::string ErrorOf(Fn fn) {
  try {
    fn();
  } catch (const IoError& e) {
    return e.what();
  }
  return "";
}

TEST(InputFaults, ShortReadsStillDeliverEverythingAndAnEarlyEndOrAFailureIsReported) {
  TempDir dir;
  const std::string bytes = RandomBytes(100000, 1);
  WriteFile(dir.File("in"), bytes);
  std::string got(bytes.size(), '\0');

  InputFile in(dir.File("in"));
  in.SetReadHook(faults::ShortReads(7));
  in.ReadExact(got.data(), got.size());
  EXPECT_TRUE(got == bytes);
  EXPECT_EQ(in.Position(), 100000);

  // The file ends at byte 5000: Read stops there, ReadExact fails.
  in.Seek(0);
  in.SetReadHook(faults::EndAt(5000));
  EXPECT_EQ(in.Read(got.data(), 8000), 5000u);
  EXPECT_EQ(in.Read(got.data(), 10), 0u);
  in.Seek(4000);
  EXPECT_EQ(ErrorOf([&] { in.ReadExact(got.data(), 1001); }), "unexpected end of file");

  // A read that fails with EIO, as the device says it.
  in.Seek(0);
  in.SetReadHook(faults::FailReadAt(70000));
  in.ReadExact(got.data(), 70000);
  EXPECT_EQ(ErrorOf([&] { in.ReadExact(got.data(), 1); }), std::string("cannot read: ") + std::strerror(EIO));
}

TEST(OutputFaults, AnOutputFileFailsAtTheChosenByteOrAtItsClose) {
  TempDir dir;
  faults::WriteLog log;
  {
    OutputFile out;
    out.CreateNew(dir.File("log"));
    out.SetWriteHook(log.Hook());
    out.Write("abc", 3);
    out.Write("", 0);
    out.Seek(10);
    out.Write("defg", 4);
    out.Close();
  }
  using Call = std::pair<int64_t, std::size_t>;
  EXPECT_EQ(log.Writes(), (std::vector<Call>{{0, 3}, {10, 4}}));
  EXPECT_EQ(log.Flushes(), 1);

  OutputFile out;
  out.CreateNew(dir.File("full"));
  out.SetWriteHook(faults::FailWriteAt(5, ENOSPC));
  out.Write("abcde", 5);
  EXPECT_EQ(ErrorOf([&] { out.Write("f", 1); }), std::string("cannot write: ") + std::strerror(ENOSPC));
  EXPECT_EQ(ReadFile(dir.File("full")), "abcde");
  out.SetWriteHook(faults::FailOnFlush(EIO));
  EXPECT_EQ(ErrorOf([&] { out.Close(); }), std::string("cannot flush: ") + std::strerror(EIO));
}

TEST(OutputFaults, ACopyMeetsTheHooksOfBothFilesAndKeepsTheOldTarget) {
  TempDir dir;
  // A write hook sees the writes of a copy as it sees any other.
  const std::string source = RandomBytes(1 << 20, 2);
  WriteFile(dir.File("src"), source);
  WriteFile(dir.File("out"), "old");
  {
    InputFile in(dir.File("src"));
    StagedOutput out;
    out.Open(dir.File("out"));
    out.SetWriteHook(faults::FailWriteAt(700000));
    EXPECT_THROW(out.CopyFrom(in, source.size()), IoError);
  }
  EXPECT_EQ(ReadFile(dir.File("out")), "old");
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"out", "src"}));

  // A source with a read hook is copied through Read, which sees it end early.
  {
    InputFile in(dir.File("src"));
    in.SetReadHook(faults::EndAt(300000));
    StagedOutput out;
    out.Open(dir.File("out"));
    EXPECT_EQ(ErrorOf([&] { out.CopyFrom(in, source.size()); }), "unexpected end of file");
  }
  EXPECT_EQ(ReadFile(dir.File("out")), "old");

  // Short reads change nothing in what is copied.
  {
    InputFile in(dir.File("src"));
    in.SetReadHook(faults::ShortReads(1000));
    StagedOutput out;
    out.Open(dir.File("out"));
    out.CopyFrom(in, source.size());
    out.Commit();
  }
  EXPECT_TRUE(ReadFile(dir.File("out")) == source);
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"out", "src"}));
}

}  // namespace
}  // namespace vesk
