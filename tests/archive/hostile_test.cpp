// Hostile and broken tar streams, most of them made by GNU tar itself: each
// one must leave nothing outside the target, and every refused or broken one
// must leave nothing at all, neither the target nor the hidden folder it was
// being built in.
#include <fcntl.h>
#include <sys/stat.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include <gtest/gtest.h>

#include "archive/tree_fixture.h"
#include "archive/unpacker.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "support/disk.h"
#include "support/temp_dir.h"

namespace vesk::archive {
namespace {

using testing::EndRecords;
using testing::FolderEntries;
using testing::Padded;
using testing::Quote;
using testing::ReadFile;
using testing::Shell;
using testing::TempDir;
using testing::UstarHeader;
using testing::WriteFile;

class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string data, std::size_t fail_at = std::string::npos)
      : data_(std::move(data)), fail_at_(fail_at) {}
  std::size_t Read(void* out, std::size_t n) override {
    if (at_ >= fail_at_) throw IoError("the source broke");
    n = std::min({n, data_.size() - at_, fail_at_ - at_});
    std::memcpy(out, data_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  std::string data_;
  std::size_t at_ = 0;
  std::size_t fail_at_;
};

class Hostile : public ::testing::Test {
 protected:
  Hostile() {
    // A folder beside the target that no entry may reach, with a file in it.
    ::mkdir(dir_.File("outside").c_str(), 0755);
    WriteFile(dir_.File("outside/victim"), "untouched");
    ::mkdir(dir_.File("work").c_str(), 0755);
    ::mkdir(dir_.File("a").c_str(), 0755);
    ::mkdir(dir_.File("a/top").c_str(), 0755);
    ::mkdir(dir_.File("b").c_str(), 0755);
    ::mkdir(dir_.File("b/top").c_str(), 0755);
    WriteFile(dir_.File("a/top/file.txt"), "harmless");
  }

  std::string Tar(const std::string& args) {
    const std::string tar = dir_.File("evil.tar");
    ::unlink(tar.c_str());
    EXPECT_EQ(Shell("tar -cf " + Quote(tar) + " " + args + " 2>/dev/null"), 0) << args;
    return ReadFile(tar);
  }

  // Unpacks `stream` into work/out: the kind of failure, or nothing.
  std::optional<UnpackError::Kind> Unpack(const std::string& stream, UnpackStats* stats = nullptr) {
    StringSource source(stream);
    try {
      const UnpackStats s = UnpackTree(source, dir_.File("work/out"), {});
      if (stats != nullptr) *stats = s;
      return std::nullopt;
    } catch (const UnpackError& e) {
      return e.kind;
    }
  }
  // Nothing outside was touched, and nothing is left where the target was to be.
  void ExpectNothingLeft() {
    EXPECT_EQ(FolderEntries(dir_.File("work")), std::vector<std::string>{});
    EXPECT_EQ(FolderEntries(dir_.File("outside")), (std::vector<std::string>{"victim"}));
    EXPECT_EQ(ReadFile(dir_.File("outside/victim")), "untouched");
  }

  TempDir dir_;
};

TEST_F(Hostile, AnAbsoluteNameIsRefused) {
  const std::string evil = dir_.File("outside/evil");
  WriteFile(evil, "planted");
  const std::string stream = Tar("-P " + Quote(evil));
  ::unlink(evil.c_str());
  EXPECT_EQ(Unpack(stream), UnpackError::Kind::kUnsafe);
  ExpectNothingLeft();
}

TEST_F(Hostile, ANameThatClimbsOutIsRefused) {
  const std::string stream =
      Tar("-P -C " + Quote(dir_.File("a")) + " --transform='s|^top/file.txt$|top/../../outside/evil|' top/file.txt");
  EXPECT_EQ(Unpack(stream), UnpackError::Kind::kUnsafe);
  ExpectNothingLeft();
  // Climbing above the target by a single step is as unsafe as further.
  EXPECT_EQ(Unpack(UstarHeader("../evil", '0', 1) + Padded("x") + EndRecords()), UnpackError::Kind::kUnsafe);
  ExpectNothingLeft();
}

TEST_F(Hostile, AFileThroughALinkStoredBeforeItIsRefused) {
  // a/top/link points at the outside folder; b/top/link is a real folder
  // with a file in it: the stream holds the link, then link/evil.
  ASSERT_EQ(::symlink(dir_.File("outside").c_str(), dir_.File("a/top/link").c_str()), 0);
  ::mkdir(dir_.File("b/top/link").c_str(), 0755);
  WriteFile(dir_.File("b/top/link/evil"), "planted");
  const std::string stream = Tar("-C " + Quote(dir_.File("a")) + " top/link -C " + Quote(dir_.File("b")) + " top/link/evil");
  EXPECT_EQ(Unpack(stream), UnpackError::Kind::kUnsafe);
  ExpectNothingLeft();
  // The same through a relative link that climbs.
  ::unlink(dir_.File("a/top/link").c_str());
  ASSERT_EQ(::symlink("../../../outside", dir_.File("a/top/link").c_str()), 0);
  EXPECT_EQ(Unpack(Tar("-C " + Quote(dir_.File("a")) + " top/link -C " + Quote(dir_.File("b")) + " top/link/evil")),
            UnpackError::Kind::kUnsafe);
  ExpectNothingLeft();
}

TEST_F(Hostile, ANameStoredTwiceIsRefusedInsteadOfReplaced) {
  // The same file appended once more.
  const std::string tar = dir_.File("twice.tar");
  ASSERT_EQ(Shell("tar -cf " + Quote(tar) + " -C " + Quote(dir_.File("a")) + " top/file.txt && tar -rf " + Quote(tar) +
                  " -C " + Quote(dir_.File("a")) + " top/file.txt"),
            0);
  EXPECT_EQ(Unpack(ReadFile(tar)), UnpackError::Kind::kUnsafe);
  ExpectNothingLeft();
  // A link to the victim, then a file of the same name: writing the file
  // would write the victim.
  ASSERT_EQ(::symlink(dir_.File("outside/victim").c_str(), dir_.File("a/top/x").c_str()), 0);
  WriteFile(dir_.File("b/top/x"), "overwritten");
  EXPECT_EQ(Unpack(Tar("-C " + Quote(dir_.File("a")) + " top/x -C " + Quote(dir_.File("b")) + " top/x")),
            UnpackError::Kind::kUnsafe);
  ExpectNothingLeft();
  // A folder stored twice.
  EXPECT_EQ(Unpack(UstarHeader("top/", '5', 0) + UstarHeader("top/", '5', 0) + EndRecords()),
            UnpackError::Kind::kUnsafe);
  ExpectNothingLeft();
}

TEST_F(Hostile, AHardLinkMustNameAFileUnpackedBeforeIt) {
  const std::string file = UstarHeader("top/file", '0', 4) + Padded("data");
  for (const std::string& to : {std::string("../outside/victim"), dir_.File("outside/victim"),
                                std::string("top/missing"), std::string("top/link"), std::string("top")}) {
    SCOPED_TRACE(to);
    const std::string stream = UstarHeader("top/", '5', 0) + file +
                               UstarHeader("top/link", '2', 0, dir_.File("outside/victim")) +
                               UstarHeader("top/hard", '1', 0, to) + EndRecords();
    EXPECT_EQ(Unpack(stream), UnpackError::Kind::kUnsafe);
    ExpectNothingLeft();
  }
  // To a file stored before it: one file, two names.
  UnpackStats stats;
  ASSERT_EQ(Unpack(UstarHeader("top/", '5', 0) + file + UstarHeader("top/hard", '1', 0, "top/file") + EndRecords(),
                   &stats),
            std::nullopt);
  struct stat a {}, b {};
  ASSERT_EQ(::stat(dir_.File("work/out/file").c_str(), &a), 0);
  ASSERT_EQ(::stat(dir_.File("work/out/hard").c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
  EXPECT_EQ(stats.links, 1);
}

TEST_F(Hostile, DevicesAreSkippedAndListedAndSetIdBitsCleared) {
  WriteFile(dir_.File("a/top/setuid"), "#!/bin/sh\n");
  ASSERT_EQ(::chmod(dir_.File("a/top/setuid").c_str(), 06755), 0);
  // /dev/null stored as a character device inside the top folder.
  UnpackStats stats;
  ASSERT_EQ(Unpack(Tar("-C " + Quote(dir_.File("a")) + " top --transform='s|^null$|top/null|' -C /dev null"), &stats),
            std::nullopt);
  EXPECT_EQ(stats.skipped, std::vector<std::string>{"top/null"});
  EXPECT_EQ(stats.cleared, std::vector<std::string>{"top/setuid"});
  EXPECT_EQ(FolderEntries(dir_.File("work/out")), (std::vector<std::string>{"file.txt", "setuid"}));
  struct stat st {};
  ASSERT_EQ(::stat(dir_.File("work/out/setuid").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(ReadFile(dir_.File("outside/victim")), "untouched");
}

TEST_F(Hostile, AStreamCutShortAnywhereLeavesNothing) {
  WriteFile(dir_.File("a/top/big"), testing::RandomBytes(100000, 5));
  const std::string whole = Tar("-C " + Quote(dir_.File("a")) + " top");
  // GNU tar pads to 10 KiB blocks: find where its end records begin.
  std::size_t end = whole.size();
  while (end >= 512 && whole.compare(end - 512, 512, std::string(512, '\0')) == 0) end -= 512;
  ASSERT_GT(end, 100000u);
  ASSERT_EQ(Unpack(whole.substr(0, end + 512)), std::nullopt);  // one end record is enough
  ::system(("rm -rf " + Quote(dir_.File("work/out"))).c_str());
  for (const std::size_t cut : {end, end - 512, std::size_t{50000}, std::size_t{700}, std::size_t{100}, std::size_t{0}}) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(Unpack(whole.substr(0, cut)), UnpackError::Kind::kDamaged);
    ExpectNothingLeft();
  }
  // Something that is no tar stream at all.
  EXPECT_EQ(Unpack(testing::RandomBytes(20000, 9)), UnpackError::Kind::kDamaged);
  ExpectNothingLeft();
  // A source that breaks midway: its failure, and nothing left.
  StringSource breaking(whole, 60000);
  EXPECT_THROW(UnpackTree(breaking, dir_.File("work/out"), {}), IoError);
  ExpectNothingLeft();
}

// A user other than root unpacks as GNU tar does: a read-only top folder
// is no obstacle (modes come after the tree is in place), and the umask
// takes its bits from every stored mode. Root keeps the stored bits.
TEST_F(Hostile, AUserUnpacksReadOnlyFoldersUnderTheUmaskAndRootKeepsTheStoredBits) {
  ::mkdir(dir_.File("a/top/sub").c_str(), 0777);
  ::chmod(dir_.File("a/top/sub").c_str(), 0777);
  ::chmod(dir_.File("a/top/file.txt").c_str(), 0666);
  ::chmod(dir_.File("a/top").c_str(), 0555);
  const std::string stream = Tar("-C " + Quote(dir_.File("a")) + " top");
  ::chmod(dir_.File("a/top").c_str(), 0755);
  ::chmod(dir_.path().c_str(), 0755);  // for the user to reach work/
  struct Case {
    bool root;
    mode_t top, sub, file;
  };
  for (const Case c : {Case{false, 0500, 0700, 0600}, Case{true, 0555, 0777, 0666}}) {
    SCOPED_TRACE(c.root);
    ::system(("chmod -R u+w " + Quote(dir_.File("work/out")) + " 2>/dev/null; rm -rf " + Quote(dir_.File("work/out"))).c_str());
    ASSERT_EQ(::chown(dir_.File("work").c_str(), c.root ? 0 : 65534, c.root ? 0 : 65534), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      if (!c.root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
      ::umask(077);
      if (const auto failure = Unpack(stream)) ::_exit(10 + static_cast<int>(*failure));
      struct stat top {}, sub {}, file {};
      if (::stat(dir_.File("work/out").c_str(), &top) != 0 || ::stat(dir_.File("work/out/sub").c_str(), &sub) != 0 ||
          ::stat(dir_.File("work/out/file.txt").c_str(), &file) != 0) {
        ::_exit(2);
      }
      if ((top.st_mode & 07777) != c.top) ::_exit(3);
      if ((sub.st_mode & 07777) != c.sub) ::_exit(4);
      ::_exit((file.st_mode & 07777) != c.file ? 5 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
}

// The staging folder of a run that was killed is removed by the next run
// beside it; one of a run still going stays.
TEST_F(Hostile, AKilledRunsStagingFolderGoesWithTheNextRun) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string stale = dir_.File("work/.vesk-" + std::to_string(gone) + "-abcdef.unpack");
  const std::string live = dir_.File("work/" + StagingNamePrefix(".vesk-") + "abcdef.unpack");
  for (const std::string& folder : {stale, live}) {
    ::mkdir(folder.c_str(), 0700);
    ::mkdir((folder + "/top").c_str(), 0500);
  }
  ASSERT_EQ(Unpack(Tar("-C " + Quote(dir_.File("a")) + " top")), std::nullopt);
  EXPECT_EQ(FolderEntries(dir_.File("work")), (std::vector<std::string>{live.substr(live.rfind('/') + 1), "out"}));
}

}  // namespace
}  // namespace vesk::archive
