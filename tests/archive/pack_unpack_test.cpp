// Packing and unpacking checked against an independent reader and writer:
// GNU tar unpacks what the packer writes into the tree it was made from, and
// the unpacker turns what the packer and GNU tar write back into that tree,
// with every kind of entry, name, mode and time the sample tree holds.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "archive/packer.h"
#include "archive/tree_fixture.h"
#include "archive/tree_walk.h"
#include "archive/unpacker.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "support/disk.h"
#include "support/temp_dir.h"

namespace vesk::archive {
namespace {

using testing::BuildSampleTree;
using testing::Differences;
using testing::FolderEntries;
using testing::MakeRemovable;
using testing::Quote;
using testing::ReadFile;
using testing::Shell;
using testing::TakeSnapshot;
using testing::TempDir;
using testing::WithoutSpecials;
using testing::WriteFile;

class FileSink : public ByteSink {
 public:
  explicit FileSink(const std::string& path) { out_.Open(path); }
  void Write(const void* data, std::size_t n) override { out_.Write(data, n); }
  void Commit() { out_.Commit(); }

 private:
  StagedOutput out_;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path) : in_(path) {}
  std::size_t Read(void* data, std::size_t n) override { return in_.Read(data, n); }

 private:
  InputFile in_;
};

class PackUnpack : public ::testing::Test {
 protected:
  PackUnpack() : source_(dir_.File("src/top")) {
    ::mkdir(dir_.File("src").c_str(), 0755);
    specials_ = BuildSampleTree(source_);
  }
  ~PackUnpack() override { MakeRemovable(dir_.path()); }

  PackStats Pack(const std::string& tar) {
    FileSink sink(tar);
    PackStats stats = PackTree(source_, "top", sink, {});
    sink.Commit();
    return stats;
  }
  UnpackStats Unpack(const std::string& tar, const std::string& target) {
    FileSource source(tar);
    return UnpackTree(source, target, {});
  }

  TempDir dir_;
  std::string source_;
  std::vector<std::string> specials_;
};

TEST_F(PackUnpack, GnuTarUnpacksThePackedTreeAsItWas) {
  const PackStats stats = Pack(dir_.File("top.tar"));
  EXPECT_EQ(stats.skipped, (std::vector<std::string>{"top/fifo", "top/socket"}));
  EXPECT_EQ(stats.files, 9);  // 8 files and the one at the bottom of the deep chain
  EXPECT_EQ(stats.links, 6);  // four symbolic links, two further names of hard/a
  EXPECT_EQ(stats.folders, 7 + 24);  // the top folder, six below it, the deep chain
  ASSERT_EQ(::mkdir(dir_.File("gnu").c_str(), 0755), 0);
  ASSERT_EQ(Shell("tar -xpf " + Quote(dir_.File("top.tar")) + " -C " + Quote(dir_.File("gnu"))), 0);
  EXPECT_EQ(Differences(WithoutSpecials(TakeSnapshot(source_)), TakeSnapshot(dir_.File("gnu/top"))), "");
  // The names are stored as UTF-8 (and the GBK one byte for byte): GNU tar
  // lists them so in a UTF-8 locale.
  ASSERT_EQ(Shell("LC_ALL=C.UTF-8 tar -tf " + Quote(dir_.File("top.tar")) + " --quoting-style=literal > " +
                  Quote(dir_.File("list"))),
            0);
  const std::string list = ReadFile(dir_.File("list"));
  EXPECT_NE(list.find("top/中文 文件.txt\n"), std::string::npos) << list;
  EXPECT_NE(list.find("top/\xd6\xd0\xce\xc4.txt\n"), std::string::npos);
  // A stream, not a file of 10 KiB blocks: it ends right after its two end records.
  const std::string tar = ReadFile(dir_.File("top.tar"));
  ASSERT_GE(tar.size(), 1024u);
  EXPECT_EQ(tar.size() % 512, 0u);
  EXPECT_EQ(tar.substr(tar.size() - 1024), std::string(1024, '\0'));
}

TEST_F(PackUnpack, TheUnpackerGivesBackThePackedTreeToTheNanosecond) {
  Pack(dir_.File("top.tar"));
  const UnpackStats stats = Unpack(dir_.File("top.tar"), dir_.File("back"));
  EXPECT_EQ(Differences(WithoutSpecials(TakeSnapshot(source_)), TakeSnapshot(dir_.File("back"))), "");
  EXPECT_EQ(stats.files, 9);
  EXPECT_EQ(stats.links, 6);
  EXPECT_TRUE(stats.skipped.empty());
  EXPECT_TRUE(stats.cleared.empty());
  // The one top folder became the target; nothing else is left beside it.
  EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"back", "src", "top.tar"}));
  struct stat st {};
  ASSERT_EQ(::stat(dir_.File("back").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST_F(PackUnpack, TheUnpackerTakesWhatGnuTarPacks) {
  // Without the FIFO and the socket, which GNU tar would store.
  ::unlink((source_ + "/fifo").c_str());
  ::unlink((source_ + "/socket").c_str());
  for (const char* format : {"gnu", "pax", "ustar"}) {
    SCOPED_TRACE(format);
    const std::string tar = dir_.File(std::string(format) + ".tar");
    // ustar cannot hold the deep names; the others hold everything.
    const std::string exclude = std::string(format) == "ustar" ? " --exclude=top/deep" : "";
    ASSERT_EQ(Shell("tar --format=" + std::string(format) + exclude + " -cf " + Quote(tar) + " -C " +
                    Quote(dir_.File("src")) + " top"),
              0);
    const std::string target = dir_.File(std::string("from-") + format);
    Unpack(tar, target);
    testing::Snapshot expected = TakeSnapshot(source_);
    if (std::string(format) == "ustar") {
      for (auto it = expected.begin(); it != expected.end();) {
        it = it->first.rfind("deep", 0) == 0 ? expected.erase(it) : std::next(it);
      }
    }
    // GNU tar keeps nanoseconds only in pax headers.
    if (std::string(format) != "pax") expected = testing::ToSeconds(expected);
    EXPECT_EQ(Differences(expected, TakeSnapshot(target)), "");
  }
}

TEST(PackUnpackDeep, NamesLongerThanTheSystemTakesAtOnceComeBack) {
  TempDir dir;
  ::mkdir(dir.File("top").c_str(), 0755);
  testing::BuildDeepChain(dir.File("top"), 40);  // 40 names of 152 bytes: 6 KB, beyond PATH_MAX
  FileSink sink(dir.File("deep.tar"));
  PackTree(dir.File("top"), "top", sink, {});
  sink.Commit();
  FileSource source(dir.File("deep.tar"));
  const UnpackStats stats = UnpackTree(source, dir.File("back"), {});
  EXPECT_EQ(stats.files, 1);
  EXPECT_EQ(stats.folders, 41);
  EXPECT_EQ(Differences(TakeSnapshot(dir.File("top")), TakeSnapshot(dir.File("back"))), "");
}

TEST_F(PackUnpack, EntriesOutsideOneTopFolderBecomeTheTargetsContents) {
  ASSERT_EQ(Shell("cd " + Quote(source_) + " && tar -cf " + Quote(dir_.File("loose.tar")) + " read-only.txt hard private"),
            0);
  Unpack(dir_.File("loose.tar"), dir_.File("loose"));
  EXPECT_EQ(FolderEntries(dir_.File("loose")), (std::vector<std::string>{"hard", "private", "read-only.txt"}));
  EXPECT_EQ(ReadFile(dir_.File("loose/private/secret")), "only mine");
  // The folder that holds them takes the mode of a new folder.
  struct stat st {};
  ASSERT_EQ(::stat(dir_.File("loose").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0777 & ~CurrentUmask());
}

TEST_F(PackUnpack, AnExistingTargetIsNeverMergedInto) {
  Pack(dir_.File("top.tar"));
  ASSERT_EQ(::mkdir(dir_.File("there").c_str(), 0755), 0);
  WriteFile(dir_.File("there/mine.txt"), "mine");
  try {
    Unpack(dir_.File("top.tar"), dir_.File("there"));
    FAIL() << "unpacked into an existing folder";
  } catch (const UnpackError& e) {
    EXPECT_EQ(e.kind, UnpackError::Kind::kExists);
  }
  EXPECT_EQ(FolderEntries(dir_.File("there")), (std::vector<std::string>{"mine.txt"}));
  // A file or a link of that name is no more replaced than a folder.
  ASSERT_EQ(::symlink("there", dir_.File("link").c_str()), 0);
  EXPECT_THROW(Unpack(dir_.File("top.tar"), dir_.File("link")), UnpackError);
  EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"link", "src", "there", "top.tar"}));
}

// A sink that fails after some bytes, as a full disk would.
class FailingSink : public ByteSink {
 public:
  void Write(const void*, std::size_t n) override {
    written_ += n;
    if (written_ > 200000) throw IoError("disk full");
  }

 private:
  std::size_t written_ = 0;
};

TEST_F(PackUnpack, TheSinksFailureEndsThePackingWithThatFailure) {
  WriteFile(source_ + "/big", testing::RandomBytes(1 << 20, 7));
  FailingSink sink;
  EXPECT_THROW(PackTree(source_, "top", sink, {}), IoError);
}

TEST_F(PackUnpack, AFileThatChangesWhileItIsPackedStopsThePacking) {
  const std::string big = source_ + "/big";
  WriteFile(big, testing::RandomBytes(3 << 20, 3));
  // Halfway through its data the file is cut short: the stream would hold
  // bytes the file never had together.
  PackControl control;
  control.progress = [&](int64_t, int64_t delta) {
    if (delta == 1 << 20) ::truncate(big.c_str(), 100);
  };
  FileSink sink(dir_.File("changed.tar"));
  try {
    PackTree(source_, "top", sink, control);
    FAIL() << "packed a file that changed";
  } catch (const PackError& e) {
    EXPECT_EQ(e.kind, PackError::Kind::kChanged);
    EXPECT_EQ(e.name, "top/big");
  }
}

TEST_F(PackUnpack, StoppingLeavesTheStreamUnfinishedAndTheUnpackerLeavesNothing) {
  std::atomic<bool> keep{true};
  PackControl pack;
  pack.keep = &keep;
  int entries = 0;
  pack.progress = [&](int64_t, int64_t) {
    if (++entries == 5) keep = false;
  };
  {
    FileSink sink(dir_.File("stopped.tar"));  // abandoned with the sink, as the engines abandon theirs
    EXPECT_TRUE(PackTree(source_, "top", sink, pack).stopped);
  }

  Pack(dir_.File("top.tar"));
  keep = true;
  UnpackControl unpack;
  unpack.keep = &keep;
  unpack.progress = [&](int64_t) { keep = false; };
  FileSource source(dir_.File("top.tar"));
  EXPECT_TRUE(UnpackTree(source, dir_.File("never"), unpack).stopped);
  EXPECT_FALSE(PathExists(dir_.File("never")));
  for (const std::string& name : FolderEntries(dir_.path())) EXPECT_NE(name.rfind(".vesk-", 0), 0u) << name;
}

TEST(TreeSurvey, CountsEachFileOnceAndListsWhatCannotBePacked) {
  TempDir dir;
  BuildSampleTree(dir.File("top"));
  std::atomic<bool> keep{true};
  const TreeTotals totals = SurveyTree(dir.File("top"), "top", keep);
  EXPECT_EQ(totals.files, 9);
  EXPECT_EQ(totals.links, 6);
  EXPECT_EQ(totals.folders, 7 + 24);
  EXPECT_EQ(totals.skipped, (std::vector<std::string>{"top/fifo", "top/socket"}));
  // Each hard-linked file counted once.
  EXPECT_EQ(totals.bytes, int64_t{15 + 29 + 0 + 13 + 18 + 9 + 21 + 1 + 13});
  MakeRemovable(dir.path());
}

// A tree deeper than the descriptor limit is walked, packed, unpacked (a
// hard link reaching to its bottom among it) and, when a run stops, removed
// whole: every walk keeps only a few folders open and opens the others again
// on its way back.
TEST(FolderDepth, ATreeDeeperThanTheDescriptorLimitIsWalkedPackedUnpackedAndRemoved) {
  TempDir dir;
  std::string path = dir.File("top");
  constexpr int kDepth = 300;
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  const int top = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
  int at = ::dup(top);
  for (int i = 0; i < kDepth; ++i) {
    ASSERT_EQ(::mkdirat(at, "d", 0755), 0);
    const int next = ::openat(at, "d", O_RDONLY | O_DIRECTORY);
    ::close(at);
    at = next;
    const int file = ::openat(at, "f", O_WRONLY | O_CREAT, 0644);
    ::close(file);
  }
  ASSERT_EQ(::linkat(at, "f", top, "same", 0), 0);
  ::close(at);
  ::close(top);
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit few{64, 64};
    if (::setrlimit(RLIMIT_NOFILE, &few) != 0) ::_exit(100);
    try {
      const std::atomic<bool> keep{true};
      const TreeTotals totals = SurveyTree(dir.File("top"), "top", keep, {});
      if (totals.folders != kDepth + 1 || totals.files != kDepth || totals.links != 1) ::_exit(1);
      FileSink sink(dir.File("deep.tar"));
      PackTree(dir.File("top"), "top", sink, {});
      sink.Commit();
      FileSource whole(dir.File("deep.tar"));
      if (UnpackTree(whole, dir.File("back"), {}).stopped) ::_exit(2);
      const TreeTotals back = SurveyTree(dir.File("back"), "back", keep, {});
      struct stat same {};
      if (back.folders != totals.folders || back.files != totals.files || back.links != 1 ||
          ::stat(dir.File("back/same").c_str(), &same) != 0 || same.st_nlink != 2) {
        ::_exit(5);
      }
      std::atomic<bool> go{true};
      UnpackControl stop_at_end;
      stop_at_end.keep = &go;
      stop_at_end.progress = [&](int64_t done) {
        if (done > 200 * 1024) go = false;
      };
      struct SmallReads : FileSource {
        using FileSource::FileSource;
        std::size_t Read(void* data, std::size_t n) override { return FileSource::Read(data, std::min<std::size_t>(n, 4096)); }
      } stopped(dir.File("deep.tar"));
      if (!UnpackTree(stopped, dir.File("never"), stop_at_end).stopped) ::_exit(3);
      ::_exit(0);
    } catch (...) {
      ::_exit(4);
    }
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"back", "deep.tar", "top"}));
}

}  // namespace
}  // namespace vesk::archive
