#include <fcntl.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

TEST(Gbk, ChineseTextRoundTripsWithTwoBytesACharacter) {
  const std::string text = "Vesk加密";
  const std::string gbk = Utf8ToGbk(text);
  EXPECT_EQ(gbk, std::string("Vesk\xBC\xD3\xC3\xDC"));
  EXPECT_EQ(GbkToUtf8(gbk), text);
  EXPECT_EQ(GbkLength("密钥\r\n"), 6u);
}

TEST(Gbk, UnrepresentableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToGbk("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToGbk("x\xFFy"), "x?y");  // not UTF-8
  EXPECT_EQ(GbkToUtf8("a\x81"), "a?");    // truncated double byte
}

TEST(Gbk, StrictConversionRefusesWhatItCannotHold) {
  EXPECT_EQ(Utf8ToGbkStrict("密钥 key\r\n"), std::optional<std::string>("\xC3\xDC\xD4\xBF key\r\n"));
  EXPECT_EQ(Utf8ToGbkStrict(""), std::optional<std::string>(""));
  for (const char* text : {"😀", "한국어", "ab😀", "x\xFFy", "\xE5\xAF"}) {
    EXPECT_EQ(Utf8ToGbkStrict(text), std::nullopt) << text;
  }
  // A refusal leaves no state behind for the next conversion.
  EXPECT_EQ(Utf8ToGbkStrict("加密"), std::optional<std::string>("\xBC\xD3\xC3\xDC"));
}

TEST(Paths, ExtensionIsTheLastDotOfTheLastComponent) {
  EXPECT_EQ(ExtractFileExt("/a/b.txt"), ".txt");
  EXPECT_EQ(ExtractFileExt("/a/b.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("/a.d/b"), "");
  EXPECT_EQ(ExtractFileExt("b."), ".");
  EXPECT_EQ(ChangeFileExt("/a.d/b", ".jmz"), "/a.d/b.jmz");
  EXPECT_EQ(ChangeFileExt("/x/report.doc", ".jmz"), "/x/report.jmz");
  EXPECT_EQ(ChangeFileExt("/x/report.doc", ""), "/x/report");
  EXPECT_EQ(ExtractFileName("/x/y/report.doc"), "report.doc");
  EXPECT_EQ(ExtractFilePath("/x/y/report.doc"), "/x/y/");
}

TEST(Paths, TempFolderEndsWithSlash) {
  const std::string t = TempFolderPath();
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.back(), '/');
}

TEST(Files, CreateNewRefusesExistingFilesAndLinks) {
  testing::TempDir dir;
  const std::string target = dir.File("t");
  testing::WriteFile(target, "old");
  OutputFile out;
  EXPECT_THROW(out.CreateNew(target), IoError);
  const std::string link = dir.File("link");
  ASSERT_EQ(::symlink(dir.File("nowhere").c_str(), link.c_str()), 0);
  EXPECT_THROW(out.CreateNew(link), IoError);
  EXPECT_FALSE(FileExists(dir.File("nowhere")));
}

TEST(Files, ReadStopsAtEndAndReadExactThrows) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("f"), "12345");
  InputFile in(dir.File("f"));
  EXPECT_EQ(in.Size(), 5);
  char buf[8];
  EXPECT_EQ(in.Read(buf, 8), 5u);
  in.Seek(3);
  EXPECT_THROW(in.ReadExact(buf, 3), IoError);
}

// Every way of starting a program hands it its standard streams (and
// descriptor 3 when given) and nothing else, even a descriptor of ours that
// lacks close-on-exec.
TEST(Processes, ChildrenGetOnlyTheDescriptorsTheyAreGiven) {
  const int null = ::open("/dev/null", O_RDONLY);
  const int stray = ::fcntl(null, F_DUPFD, 57);  // no close-on-exec
  ::close(null);
  ASSERT_EQ(stray, 57);
  int given[2];
  ASSERT_EQ(::pipe2(given, O_CLOEXEC), 0);
  const std::vector<std::string> argv = {"/bin/sh", "-c", "test ! -e /proc/self/fd/57"};
  const std::function<int()> starters[] = {
      [&] { return RunProgram(argv); },
      [&] { return RunWithoutTerminal(argv, -1, given[0], {}); },
      [&] {
        PipedProcess p;
        return p.Start(argv) ? p.Wait() : -1;
      },
  };
  for (const auto& start : starters) EXPECT_EQ(start(), 0);
  // Descriptor 3, when given, is there.
  EXPECT_EQ(RunWithoutTerminal({"/bin/sh", "-c", "test -e /proc/self/fd/3"}, -1, given[0], {}), 0);
  EXPECT_NE(RunProgram({"/bin/sh", "-c", "test -e /proc/self/fd/3"}), 0);
  for (int fd : {stray, given[0], given[1]}) ::close(fd);
}

}  // namespace
}  // namespace vesk
