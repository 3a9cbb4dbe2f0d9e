// The copy engines of the create and separate commands, the marker test a
// container must pass to be wrapped, and the name the header stores.
#include "selfextract/sfx_engine.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <tuple>

#include <gtest/gtest.h>

#include "crypto/keyed/container_fixture.h"
#include "crypto/keyless/engine.h"
#include "platform/gbk.h"
#include "platform/staged_file.h"
#include "selfextract/layout.h"
#include "support/recording_reporter.h"
#include "support/faults.h"
#include "support/temp_dir.h"

namespace vesk::selfextract {
namespace {

using keyed::fixture::MakeContainer;
using keyed::fixture::Recipe;
using vesk::testing::RandomBytes;
using vesk::testing::ReadFile;
using vesk::testing::RecordingReporter;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

constexpr int64_t kImage = 1000;  // a stand-in program image keeps the files small

// A keyed container of `total` bytes: S = total - E - L - 37 with E = 0 and
// a key of `key_length` bytes (L = max(key_length, 12)).
std::string ContainerOfLength(int64_t total, std::size_t key_length = 1) {
  Recipe recipe;
  recipe.key = std::string(key_length, 'k');
  recipe.ext = "";
  const int64_t l = static_cast<int64_t>(std::max<std::size_t>(key_length, 12));
  const std::string c = MakeContainer(recipe, RandomBytes(static_cast<std::size_t>(total - l - 37), 9));
  EXPECT_EQ(static_cast<int64_t>(c.size()), total);
  return c;
}

class Marker : public ::testing::Test {
 protected:
  bool Carries(const std::string& bytes) {
    WriteFile(dir.File("c"), bytes);
    InputFile in(dir.File("c"));
    return CarriesKeyedMarker(in, 0, in.Size());
  }
  TempDir dir;
};

TEST_F(Marker, KeyedContainersPassWhereverTheirHeaderMayBe) {
  EXPECT_TRUE(Carries(ContainerOfLength(50)));
  // 1,072 to 1,080 bytes: the header at 0 (payloads up to 1,023 bytes with
  // longer keys) and at 260 (payloads of 1,024 bytes and more) both pass.
  for (int64_t total = 1072; total <= 1080; ++total) {
    EXPECT_TRUE(Carries(ContainerOfLength(total, static_cast<std::size_t>(total - 1023 - 37)))) << total << " at 0";
    if (total >= 1073) {
      EXPECT_TRUE(Carries(ContainerOfLength(total))) << total << " at 260";
    }
  }
  EXPECT_TRUE(Carries(ContainerOfLength(3499)));  // found on the second try at 260
  EXPECT_TRUE(Carries(ContainerOfLength(3500)));  // tried at 260 only
}

TEST_F(Marker, TheSecondTryAt260IsOnlyForLengths1033To3499) {
  const std::string split = ContainerOfLength(3600);  // header at 260
  EXPECT_FALSE(Carries(split.substr(0, 1032)));
  EXPECT_TRUE(Carries(split.substr(0, 1033)));
  // From 3,500 bytes on a header at 0 no longer counts.
  const std::string front = ContainerOfLength(500);
  EXPECT_TRUE(Carries(front + std::string(2999, 'x')));
  EXPECT_FALSE(Carries(front + std::string(3000, 'x')));
  // A file too short to hold a header at all.
  EXPECT_FALSE(Carries("short"));
}

TEST_F(Marker, KeylessContainersCompressedAndPlainFilesFail) {
  WriteFile(dir.File("plain"), RandomBytes(5000, 3));
  RecordingReporter r;
  keyless::KeylessJob job;
  job.key = "k";
  job.source_path = dir.File("plain");
  job.target_path = dir.File("keyless.jmz");
  RunContext context{r, r, {}};
  keyless::EncryptKeyless(job, context);
  ASSERT_TRUE(FileExists(dir.File("keyless.jmz"))) << r.Status();
  for (const char* name : {"keyless.jmz", "plain"}) {
    InputFile in(dir.File(name));
    EXPECT_FALSE(CarriesKeyedMarker(in, 0, in.Size())) << name;
  }

  const std::string text(2000, 'a');
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string zak(size, '\0');
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(zak.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
                      static_cast<uLong>(text.size()), 6),
            Z_OK);
  zak.resize(size);
  EXPECT_FALSE(Carries(zak));
}

TEST(PayloadName, NamesUpTo250BytesAreKeptAndLongerOnesCutAtACharacter) {
  const std::string n249 = std::string(245, 'a') + ".jmz";
  EXPECT_EQ(FitPayloadName(n249), n249);
  EXPECT_EQ(FitPayloadName(n249 + "x").size(), 250u);  // 250 bytes as they are
  // 251 bytes: the stem gives way, the extension stays.
  EXPECT_EQ(FitPayloadName(std::string(247, 'b') + ".jmz"), std::string(246, 'b') + ".jmz");

  // Chinese: two GBK bytes a character, never split.
  std::string chinese = "a";
  for (int i = 0; i < 130; ++i) chinese += "测";
  const std::string cut = FitPayloadName(chinese + ".jmz");
  EXPECT_EQ(cut.size(), 249u);  // "a" + 122 characters + ".jmz"; one more would make 251
  EXPECT_EQ(GbkToUtf8(cut), "a" + [] {
    std::string s;
    for (int i = 0; i < 122; ++i) s += "测";
    return s;
  }() + ".jmz");
  std::string exact;
  for (int i = 0; i < 123; ++i) exact += "测";
  EXPECT_EQ(FitPayloadName(exact + ".jmz").size(), 250u);

  // An extension that leaves no room is cut with the rest.
  const std::string long_ext = "x." + std::string(300, 'e');
  EXPECT_EQ(FitPayloadName(long_ext), long_ext.substr(0, 250));
}

TEST(PayloadName, StoredNamesAreProposedWithoutTheirFolders) {
  EXPECT_EQ(SafePayloadName("a.jmz"), "a.jmz");
  EXPECT_EQ(SafePayloadName("../../.bashrc"), ".bashrc");
  EXPECT_EQ(SafePayloadName("/etc/passwd"), "passwd");
  EXPECT_EQ(SafePayloadName(".."), "未命名.jmz");
  EXPECT_EQ(SafePayloadName("dir/"), "未命名.jmz");
  // Control characters (a terminal title sequence, a bell, a line break) never name a file.
  EXPECT_EQ(SafePayloadName("a\x1B]0;owned\x07.jmz"), "a_]0;owned_.jmz");
  EXPECT_EQ(SafePayloadName("x/two\nlines.jmz"), "two_lines.jmz");
}

class Engines : public ::testing::Test {
 protected:
  Engines() {
    // The program file may itself carry a payload: only its image is copied.
    WriteFile(program_, image_ + EncodePayloadHeader(60, "old.jmz") + RandomBytes(60, 2));
  }

  // Creates `target` from the container file at `container`.
  void Create(const std::string& container, const std::string& target, const std::string& name, bool replace = false,
              FaultHooks faults = {}) {
    InputFile in(container);
    CreateJob job{program_, kImage, target, replace, name, in.Size(), std::move(faults)};
    stop_ = StopSource();
    RunContext context{r_, r_, stop_.Token()};
    result_ = CreateSelfDecrypting(job, in, context);
  }
  RunResult Separate(const SeparateJob& job, InputFile& in) {
    stop_ = StopSource();
    RunContext context{r_, r_, stop_.Token()};
    return SeparatePayload(job, in, context);
  }
  std::size_t FilesIn(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
  }
  static mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
  }

  TempDir dir_, out_;
  const std::string image_ = RandomBytes(kImage, 1);
  const std::string program_ = dir_.File("program");
  RecordingReporter r_;
  StopSource stop_;
  RunResult result_;
};

TEST_F(Engines, CreateWritesImageHeaderAndContainerAsAnExecutable) {
  const std::string container = ContainerOfLength(200000);
  WriteFile(dir_.File("c.jmz"), container);
  const std::string target = out_.File("c.exe");
  Create(dir_.File("c.jmz"), target, "报告.jmz");

  const std::string written = ReadFile(target);
  ASSERT_EQ(written.size(), static_cast<std::size_t>(PayloadOffset(kImage)) + container.size());
  EXPECT_EQ(written.substr(0, kImage), image_);
  // 200000 as 8 bytes little-endian, the name's length and GBK bytes, zeros to 259 bytes.
  EXPECT_EQ(written.substr(kImage, kHeaderSize),
            std::string("\x40\x0D\x03\0\0\0\0\0\x08" "\xB1\xA8\xB8\xE6.jmz", 17) + std::string(242, '\0'));
  EXPECT_EQ(written.substr(static_cast<std::size_t>(PayloadOffset(kImage))), container);
  EXPECT_EQ(ModeOf(target), DefaultProgramMode());
  EXPECT_EQ(r_.Status(), "创建自解密文件已完成。（" + target + "）");
  EXPECT_TRUE(r_.messages.empty());
  // The bar counts container bytes only and ends full.
  EXPECT_EQ(r_.bar_ranges.back(), 200000);
  EXPECT_EQ(r_.bar_positions.back(), 200000);
  EXPECT_LE(r_.bar_positions.size(), 102u);
  EXPECT_EQ(result_.outcome, Outcome::kDone);
  EXPECT_EQ(result_.written, std::vector<std::string>{target});
}

TEST_F(Engines, EveryOutputIsAsPrivateAsTheFileItComesFrom) {
  // The executable: the container's bits, with execute where read is set.
  WriteFile(dir_.File("c.jmz"), ContainerOfLength(3000));
  for (const auto& [container, executable] : {std::pair<mode_t, mode_t>{0600, 0700}, {0640, 0750}, {0604, 0705}}) {
    SCOPED_TRACE(container);
    ASSERT_EQ(::chmod(dir_.File("c.jmz").c_str(), container), 0);
    const std::string target = out_.File("c" + std::to_string(container) + ".run");
    Create(dir_.File("c.jmz"), target, "c.jmz");
    ASSERT_TRUE(FileExists(target));
    EXPECT_EQ(ModeOf(target), executable);
  }
  // Taken apart: the container gets the executable's bits without execute,
  // the program part those bits with execute where read is set.
  const std::string payload = RandomBytes(5000, 5);
  WriteFile(dir_.File("sfx"), image_ + EncodePayloadHeader(5000, "p.jmz") + payload);
  for (const auto& [sfx, container, part] :
       {std::tuple<mode_t, mode_t, mode_t>{0700, 0600, 0700}, {0750, 0640, 0750}, {0640, 0640, 0750}}) {
    SCOPED_TRACE(sfx);
    ASSERT_EQ(::chmod(dir_.File("sfx").c_str(), sfx), 0);
    const std::string name = std::to_string(sfx);
    InputFile in(dir_.File("sfx"));
    WriteProgramPart(in, kImage, out_.File(name + ".run"), false);
    EXPECT_EQ(ModeOf(out_.File(name + ".run")), part);
    Separate({PayloadOffset(kImage), 5000, out_.File(name + ".jmz"), false, ""}, in);
    ASSERT_EQ(ReadFile(out_.File(name + ".jmz")), payload);
    EXPECT_EQ(ModeOf(out_.File(name + ".jmz")), container);
  }
}

TEST_F(Engines, TheNameFieldHoldsTheNameAndZeroPaddingAndThePayloadStartsBehindIt) {
  WriteFile(dir_.File("c.jmz"), ContainerOfLength(50));
  for (std::size_t length : {249u, 250u, 251u, 400u}) {
    const std::string name = std::string(length - 4, 'n') + ".jmz";
    const std::string target = out_.File(std::to_string(length) + ".exe");
    Create(dir_.File("c.jmz"), target, name);
    const std::string header = ReadFile(target).substr(kImage, kHeaderSize);
    const std::size_t stored = std::min<std::size_t>(length, 250);
    EXPECT_EQ(static_cast<unsigned char>(header[8]), stored) << length;
    // A longer name loses the end of its stem; ".jmz" stays.
    EXPECT_EQ(header.substr(9, stored), std::string(stored - 4, 'n') + ".jmz") << length;
    EXPECT_EQ(header.substr(9 + stored), std::string(250 - stored, '\0')) << length;
    EXPECT_EQ(ReadFile(target).substr(static_cast<std::size_t>(PayloadOffset(kImage))), ReadFile(dir_.File("c.jmz")));
  }
}

TEST_F(Engines, CancelInTheMiddleLeavesNoOutputAndTheOldFileUntouched) {
  WriteFile(dir_.File("c.jmz"), ContainerOfLength(1 << 20));
  WriteFile(out_.File("c.exe"), "old");
  r_.on_bar_position = [this](int64_t position) {
    if (position > 0) stop_.RequestStop();
  };
  Create(dir_.File("c.jmz"), out_.File("c.exe"), "c.jmz", /*replace=*/true);
  EXPECT_EQ(ReadFile(out_.File("c.exe")), "old");
  EXPECT_EQ(FilesIn(out_.path()), 1u);  // no staging file either
  EXPECT_TRUE(r_.messages.empty());
  // The front end shows the cancel; the engine says nothing of it.
  EXPECT_EQ(result_.outcome, Outcome::kCancelled);
  EXPECT_EQ(r_.Status(), "");
}

TEST_F(Engines, FailuresReportAndLeaveNothing) {
  auto error_for = [](const std::string& target) { return "创建自解密文件“" + target + "”出错!已停止。"; };
  // The container shrinks while it is copied: a read error.
  WriteFile(dir_.File("c.jmz"), ContainerOfLength(static_cast<int64_t>(2 * kChunksPerRun * kCopyChunk)));
  WriteFile(out_.File("c.exe"), "old");
  r_.on_bar_position = [this](int64_t position) {
    if (position > 0) {
      ASSERT_EQ(::truncate(dir_.File("c.jmz").c_str(), 100000), 0);
    }
  };
  Create(dir_.File("c.jmz"), out_.File("c.exe"), "c.jmz", /*replace=*/true);
  ASSERT_EQ(r_.messages.size(), 1u);
  EXPECT_EQ(r_.messages[0], error_for(out_.File("c.exe")));
  EXPECT_EQ(ReadFile(out_.File("c.exe")), "old");
  EXPECT_EQ(FilesIn(out_.path()), 1u);
  EXPECT_EQ(result_.outcome, Outcome::kFailed);
  r_.on_bar_position = nullptr;

  // A file that appeared at the target after the question: not replaced.
  WriteFile(dir_.File("d.jmz"), ContainerOfLength(3000));
  Create(dir_.File("d.jmz"), out_.File("c.exe"), "d.jmz", /*replace=*/false);
  ASSERT_EQ(r_.messages.size(), 2u);
  EXPECT_EQ(r_.messages[1], error_for(out_.File("c.exe")));
  EXPECT_EQ(ReadFile(out_.File("c.exe")), "old");

  // A write of the executable, its final flush, and a read of the container
  // that fail; a container that ends early.
  const int64_t end = PayloadOffset(kImage) + 3000;
  const std::vector<FaultHooks> faults = {{testing::faults::FailWriteAt(kImage + 10), nullptr},
                                          {testing::faults::FailWriteAt(end, EIO), nullptr},
                                          {nullptr, testing::faults::FailReadAt(2000)},
                                          {nullptr, testing::faults::EndAt(2999)}};
  for (const FaultHooks& fault : faults) {
    r_.messages.clear();
    Create(dir_.File("d.jmz"), out_.File("c.exe"), "d.jmz", /*replace=*/true, fault);
    EXPECT_EQ(r_.messages, std::vector<std::string>{error_for(out_.File("c.exe"))});
    EXPECT_EQ(ReadFile(out_.File("c.exe")), "old");
    EXPECT_EQ(FilesIn(out_.path()), 1u);
    EXPECT_EQ(result_.outcome, Outcome::kFailed);
  }

  // A folder that does not exist, and a program file shorter than its image.
  r_.messages.clear();
  Create(dir_.File("d.jmz"), out_.File("no/such/d.exe"), "d.jmz");
  WriteFile(program_, image_.substr(0, 10));
  Create(dir_.File("d.jmz"), out_.File("d.exe"), "d.jmz");
  EXPECT_EQ(r_.messages, (std::vector<std::string>{error_for(out_.File("no/such/d.exe")), error_for(out_.File("d.exe"))}));
  EXPECT_EQ(FilesIn(out_.path()), 1u);
}

TEST_F(Engines, ALinkAtTheTargetIsReplacedNotFollowed) {
  WriteFile(dir_.File("c.jmz"), ContainerOfLength(3000));
  WriteFile(dir_.File("elsewhere"), "keep me");
  std::filesystem::create_symlink(dir_.File("elsewhere"), out_.File("c.exe"));
  Create(dir_.File("c.jmz"), out_.File("c.exe"), "c.jmz", /*replace=*/true);
  EXPECT_FALSE(std::filesystem::is_symlink(out_.File("c.exe")));
  EXPECT_EQ(ReadFile(dir_.File("elsewhere")), "keep me");
  EXPECT_EQ(std::filesystem::file_size(out_.File("c.exe")), static_cast<uintmax_t>(PayloadOffset(kImage) + 3000));
  // Without leave to replace, a dangling link counts as a file that is there.
  std::filesystem::create_symlink(dir_.File("nothing"), out_.File("d.exe"));
  Create(dir_.File("c.jmz"), out_.File("d.exe"), "c.jmz", /*replace=*/false);
  EXPECT_EQ(r_.messages, std::vector<std::string>{"创建自解密文件“" + out_.File("d.exe") + "”出错!已停止。"});
  EXPECT_TRUE(std::filesystem::is_symlink(out_.File("d.exe")));
  EXPECT_FALSE(PathExists(dir_.File("nothing")));
}

TEST_F(Engines, SeparateCopiesExactlyThePayloadSize) {
  const std::string payload = RandomBytes(300000, 4);
  WriteFile(dir_.File("sfx"), image_ + EncodePayloadHeader(250000, "p.jmz") + payload);
  InputFile in(dir_.File("sfx"));
  // A stored size smaller than the bytes present: the bytes behind it stay.
  EXPECT_EQ(Separate({PayloadOffset(kImage), 250000, out_.File("p.jmz"), false, ""}, in).outcome, Outcome::kDone);
  EXPECT_EQ(ReadFile(out_.File("p.jmz")), payload.substr(0, 250000));
  EXPECT_EQ(ModeOf(out_.File("p.jmz")), DefaultFileMode());
  EXPECT_EQ(r_.Status(), "分离自解密文件 ... 已完成。");
  EXPECT_EQ(r_.bar_positions.back(), 250000);

  // Cancelled in the middle: no ".jmz".
  in.Open(dir_.File("sfx"));
  r_.on_bar_position = [this](int64_t position) {
    if (position > 0) stop_.RequestStop();
  };
  EXPECT_EQ(Separate({PayloadOffset(kImage), 300000, out_.File("q.jmz"), false, ""}, in).outcome, Outcome::kCancelled);
  EXPECT_FALSE(PathExists(out_.File("q.jmz")));
  EXPECT_EQ(FilesIn(out_.path()), 1u);

  // More than the file holds: a read error, reported, nothing written.
  in.Open(dir_.File("sfx"));
  r_.on_bar_position = nullptr;
  EXPECT_EQ(Separate({PayloadOffset(kImage), 400000, out_.File("r.jmz"), false, ""}, in).outcome, Outcome::kFailed);
  EXPECT_EQ(r_.messages, std::vector<std::string>{"分离自解密文件 ... 出错!已停止。"});
  EXPECT_FALSE(PathExists(out_.File("r.jmz")));
}

TEST_F(Engines, TheProgramPartIsTheImageAsAnExecutable) {
  InputFile in(program_);
  WriteProgramPart(in, kImage, out_.File("part.exe"), false);
  EXPECT_EQ(ReadFile(out_.File("part.exe")), image_);
  EXPECT_EQ(ModeOf(out_.File("part.exe")), DefaultProgramMode());
  // Without leave to replace, an existing file stays.
  EXPECT_THROW(WriteProgramPart(in, kImage, out_.File("part.exe"), false), TargetExistsError);
  WriteFile(out_.File("part.exe"), "old");
  EXPECT_THROW(WriteProgramPart(in, kImage, out_.File("part.exe"), false), TargetExistsError);
  EXPECT_EQ(ReadFile(out_.File("part.exe")), "old");
  WriteProgramPart(in, kImage, out_.File("part.exe"), true);
  EXPECT_EQ(ReadFile(out_.File("part.exe")), image_);
  EXPECT_EQ(FilesIn(out_.path()), 1u);
}

}  // namespace
}  // namespace vesk::selfextract
