#include "platform/staged_file.h"

#include <dirent.h>
#include <grp.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/kernel_copy.h"
#include "platform/page_cache_write.h"
#include "support/disk.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> out;
  DIR* d = ::opendir(dir.c_str());
  while (dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") out.push_back(n);
  }
  ::closedir(d);
  return out;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(UniqueFile, NamesAreFreshPrivateAndNeverReused) {
  TempDir dir;
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const std::string path = CreateUniqueFile(dir.path() + "/", "vesk-", ".zak");
    EXPECT_TRUE(seen.insert(path).second) << path;
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(path.substr(path.size() - 4), ".zak");
    EXPECT_EQ(ReadFile(path), "");
  }
  EXPECT_EQ(Names(dir.path()).size(), 50u);
  EXPECT_THROW(CreateUniqueFile(dir.File("missing/"), "x", ""), IoError);
}

TEST(StagedOutput, TargetAppearsOnlyOnCommitAndKeepsItsOldContentUntilThen) {
  TempDir dir;
  const std::string target = dir.File("out.bin");
  WriteFile(target, "old");
  StagedOutput out;
  out.Open(target, 0640);
  out.Write(std::string("new content"));
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.bin"});  // the staging file has no name
  EXPECT_EQ(testing::UnnamedFileModes(dir.path()), std::vector<unsigned>{0600u});
  out.Commit();
  EXPECT_EQ(ReadFile(target), "new content");
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.bin"});
}

TEST(StagedOutput, AbandonAndDestructionLeaveTheOldFileAndNoStagingFile) {
  TempDir dir;
  const std::string target = dir.File("out.bin");
  WriteFile(target, "old");
  {
    StagedOutput out;
    out.Open(target);
    out.Write(std::string("partial"));
  }
  {
    StagedOutput out;
    out.Open(target);
    out.Write(std::string("partial"));
    out.Abandon();
    EXPECT_THROW(out.Commit(), IoError);
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.bin"});
}

TEST(StagedOutput, NoReplaceCommitRefusesAnExistingTargetOrLink) {
  TempDir dir;
  const std::string target = dir.File("out.bin");
  WriteFile(target, "old");
  StagedOutput out;
  out.Open(target);
  out.Write(std::string("new"));
  EXPECT_THROW(out.Commit(/*replace=*/false), TargetExistsError);
  EXPECT_EQ(ReadFile(target), "old");

  const std::string link = dir.File("dangling");
  ASSERT_EQ(::symlink("nowhere", link.c_str()), 0);
  StagedOutput second;
  second.Open(link);
  second.Write(std::string("x"));
  EXPECT_THROW(second.Commit(false), TargetExistsError);
  EXPECT_EQ(Names(dir.path()).size(), 2u);

  StagedOutput fresh;
  fresh.Open(dir.File("fresh.bin"));
  fresh.Write(std::string("y"));
  fresh.Commit(false);
  EXPECT_EQ(ReadFile(dir.File("fresh.bin")), "y");
}

TEST(StagedOutput, ReplacingALinkReplacesTheLinkNotTheFileItNames) {
  TempDir dir;
  WriteFile(dir.File("victim"), "keep me");
  const std::string link = dir.File("out.bin");
  ASSERT_EQ(::symlink("victim", link.c_str()), 0);
  StagedOutput out;
  out.Open(link);
  out.Write(std::string("new"));
  out.Commit();
  EXPECT_EQ(ReadFile(dir.File("victim")), "keep me");
  EXPECT_EQ(ReadFile(link), "new");
}

TEST(StagedOutput, CommitOfAFileWrittenByPathMovesItIntoPlace) {
  TempDir dir;
  const std::string staging = CreateUniqueFile(dir.path() + "/", ".vesk-", ".part");
  WriteFile(staging, "data");
  CommitStagedFile(staging, dir.File("final"), 0604, true);
  EXPECT_EQ(ReadFile(dir.File("final")), "data");
  EXPECT_EQ(ModeOf(dir.File("final")), 0604u);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"final"});
}

TEST(StagedOutput, ABareNameIsStagedInTheWorkingFolder) {
  TempDir dir;
  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  {
    StagedOutput out;
    out.Open("plain.txt");
    out.Write(std::string("z"));
    out.Commit();
  }
  ASSERT_EQ(::chdir(old), 0);
  EXPECT_EQ(ReadFile(dir.File("plain.txt")), "z");
}

TEST(StagedOutput, HookSeesEveryWriteAndTheFinalFlushAndCanFailEither) {
  TempDir dir;
  const std::string target = dir.File("out.bin");
  WriteFile(target, "old");
  std::vector<std::pair<int64_t, std::size_t>> calls;
  {
    StagedOutput out;
    out.SetWriteHook([&calls](int64_t offset, std::size_t size) { calls.emplace_back(offset, size); });
    out.Open(target);
    out.Write(std::string("abc"));
    out.Write(std::string(""));
    out.Write(std::string("defg"));
    out.Commit();
  }
  using Call = std::pair<int64_t, std::size_t>;
  EXPECT_EQ(calls, (std::vector<Call>{{0, 3}, {3, 4}, {7, 0}}));
  EXPECT_EQ(ReadFile(target), "abcdefg");

  // A flush that fails: the old file stays and the staging file is gone.
  StagedOutput out;
  out.SetWriteHook([](int64_t, std::size_t size) {
    if (size == 0) throw IoError("flush failed");
  });
  out.Open(target);
  out.Write(std::string("new"));
  EXPECT_THROW(out.Commit(), IoError);
  EXPECT_EQ(ReadFile(target), "abcdefg");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"out.bin"});
}

TEST(StagedOutput, TemporaryFileIsPrivateUniqueAndHandedOverOnlyWhenClosed) {
  TempDir dir;
  const std::string folder = dir.path() + "/";
  WriteFile(dir.File("vesk-name.zak"), "someone else's");
  StagedOutput a, b;
  a.OpenTemporary(folder, "vesk-", ".zak");
  b.OpenTemporary(folder, "vesk-", ".zak");
  EXPECT_EQ(Names(dir.path()).size(), 1u);  // neither has a name while written
  a.Write(std::string("payload"));
  const std::string kept = a.Keep();
  EXPECT_EQ(ReadFile(kept), "payload");
  EXPECT_EQ(ModeOf(kept), 0600u);
  EXPECT_EQ(kept.substr(kept.size() - 4), ".zak");
  EXPECT_THROW(a.Commit(), IoError);  // a temporary file has no target
  b.Write(std::string("partial"));
  b.Abandon();
  EXPECT_EQ(Names(dir.path()).size(), 2u);  // kept, and the file that was there
  EXPECT_EQ(ReadFile(dir.File("vesk-name.zak")), "someone else's");
  EXPECT_TRUE(DeleteFile(kept));  // frees the file and removes its path
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"vesk-name.zak"});
  EXPECT_TRUE(testing::UnnamedFileModes(dir.path()).empty());
  EXPECT_THROW(StagedOutput().OpenTemporary(dir.File("missing/"), "vesk-", ".zak"), IoError);
}

// A run killed while it writes leaves nothing a later reader could find:
// the staging file has no name, or, where the file system cannot make such
// files, a name that the next run staging in that folder removes.
TEST(StagedOutput, AKilledRunLeavesNoStagingFileBehind) {
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named);
    TempDir dir;
    SetNamedStagingForTests(named);
    const pid_t child = ::fork();
    if (child == 0) {
      StagedOutput out;
      out.Open(dir.File("out.bin"));
      out.Write(std::string("secret"));
      StagedOutput temporary;
      temporary.OpenTemporary(dir.path() + "/", "vesk-", ".zak");
      temporary.Write(std::string("secret"));
      (void)temporary.Keep();
      ::_exit(0);  // no destructor, no cleanup: as after a kill
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(Names(dir.path()).size(), named ? 2u : 1u);  // (the kept temporary's link)
    // A name of a process that still runs stays.
    const std::string live = dir.File(StagingNamePrefix(".vesk-") + "abcdef.part");
    WriteFile(live, "in use");
    StagedOutput next;
    next.Open(dir.File("other.bin"));
    StagedOutput next_temporary;
    next_temporary.OpenTemporary(dir.path() + "/", "vesk-", ".zak");
    const std::vector<std::string> left = Names(dir.path());
    EXPECT_EQ(left.size(), named ? 3u : 1u);
    for (const std::string& name : left) EXPECT_EQ(name.find(std::to_string(child)), std::string::npos) << name;
    ::unlink(live.c_str());
  }
  SetNamedStagingForTests(false);
}

// A replaced file never becomes readable or writable by more people than
// before, whichever way the output is committed.
TEST(StagedOutput, AReplacedFileKeepsTheStricterBits) {
  struct Case {
    mode_t before;  // 0: nothing there
    mode_t output;
    mode_t after;
  };
  const Case cases[] = {{0, 0644, 0644}, {0600, 0644, 0600}, {0640, 0604, 0600}, {0644, 0600, 0600},
                        {0644, 0755, 0755 & 0744}, {0755, 0644, 0644}};
  TempDir dir;
  const mode_t old_mask = ::umask(0);
  for (const Case& c : cases) {
    for (const bool by_path : {false, true}) {
      SCOPED_TRACE(std::to_string(c.before) + " " + std::to_string(c.output) + (by_path ? " by path" : ""));
      const std::string target = dir.File("t");
      ::unlink(target.c_str());
      if (c.before != 0) {
        WriteFile(target, "old");
        ASSERT_EQ(::chmod(target.c_str(), c.before), 0);
      }
      if (by_path) {
        const std::string staging = CreateUniqueFile(dir.path() + "/", ".vesk-", ".part");
        CommitStagedFile(staging, target, c.output, true);
      } else {
        StagedOutput out;
        out.Open(target, c.output);
        out.Commit();
      }
      EXPECT_EQ(ModeOf(target), c.after);
    }
  }
  ::umask(old_mask);
}

TEST(StagedOutput, ReplaceableRefusesFoldersAndLockedFoldersButNotLinks) {
  TempDir dir;
  EXPECT_TRUE(Replaceable(dir.File("free")));
  WriteFile(dir.File("file"), "x");
  EXPECT_TRUE(Replaceable(dir.File("file")));
  ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0755), 0);
  EXPECT_FALSE(Replaceable(dir.File("sub")));
  ASSERT_EQ(::symlink("sub", dir.File("link").c_str()), 0);
  EXPECT_TRUE(Replaceable(dir.File("link")));  // the link is replaced, not the folder
  if (::geteuid() != 0) {
    WriteFile(dir.File("sub/inside"), "y");
    ASSERT_EQ(::chmod(dir.File("sub").c_str(), 0555), 0);
    EXPECT_FALSE(Replaceable(dir.File("sub/inside")));
    ::chmod(dir.File("sub").c_str(), 0755);
  }
}

// Root may write into any folder whatever its mode bits, so for root a
// locked folder is one on a read-only file system, or one seen by a user
// without root's rights.
TEST(StagedOutput, AFolderOnAReadOnlyFileSystemIsRefusedForRootToo) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("ro").c_str(), 0755), 0);
  WriteFile(dir.File("ro/inside"), "y");
  {
    testing::ReadOnlyFolder read_only(dir.File("ro"));
    if (!read_only.Ready()) GTEST_SKIP() << "cannot mount a folder read-only here (needs root)";
    EXPECT_FALSE(Replaceable(dir.File("ro/inside")));
    StagedOutput out;
    EXPECT_THROW(out.Open(dir.File("ro/inside")), IoError);
  }
  EXPECT_TRUE(Replaceable(dir.File("ro/inside")));  // writable again
}

TEST(StagedOutput, AFolderLockedToAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "not root: the mode bits lock the folder (test above)";
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);  // others may pass through
  // Folders of root's: mode 0755 locks them to others, 0777 does not.
  ASSERT_EQ(::mkdir(dir.File("locked").c_str(), 0755), 0);
  ASSERT_EQ(::chmod(dir.File("locked").c_str(), 0755), 0);  // whatever the umask
  ASSERT_EQ(::mkdir(dir.File("open").c_str(), 0777), 0);
  ASSERT_EQ(::chmod(dir.File("open").c_str(), 0777), 0);
  WriteFile(dir.File("locked/inside"), "y");
  WriteFile(dir.File("open/inside"), "z");
  EXPECT_TRUE(Replaceable(dir.File("locked/inside")));  // for root itself
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // As the unprivileged "nobody".
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
    const int locked = Replaceable(dir.File("locked/inside")) ? 1 : 0;
    const int open = Replaceable(dir.File("open/inside")) ? 2 : 0;
    ::_exit(locked | open);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2) << "1: the locked folder was taken as writable; 0: the open one was refused";
}

TEST(Permissions, DefaultModesFollowTheUmask) {
  const mode_t old = ::umask(027);
  EXPECT_EQ(CurrentUmask(), 027u);
  EXPECT_EQ(DefaultFileMode(), 0640u);
  EXPECT_EQ(DefaultProgramMode(), 0750u);
  ::umask(old);
}

TEST(StagedOutput, CopyFromAppendsTheSourceFromItsPositionOn) {
  TempDir dir;
  const std::string source = testing::RandomBytes(300000, 1);
  WriteFile(dir.File("src"), source);
  InputFile in(dir.File("src"));
  in.Seek(1000);
  StagedOutput out;
  out.Open(dir.File("out"));
  out.Write(std::string("head"));
  out.CopyFrom(in, 200000);
  EXPECT_EQ(in.Position(), 201000);
  out.CopyFrom(in, 99000);
  EXPECT_EQ(out.BytesWritten(), 4 + 299000);
  // A source that ends early throws.
  EXPECT_THROW(out.CopyFrom(in, 1), IoError);
  out.Commit();
  EXPECT_EQ(ReadFile(dir.File("out")), "head" + source.substr(1000));

  // From another file system (where the kernel may refuse the direct copy).
  if (::access("/dev/shm", W_OK) == 0) {
    const std::string shm = "/dev/shm/vesk-copy-" + std::to_string(::getpid());
    WriteFile(shm, source);
    InputFile other(shm);
    StagedOutput copy;
    copy.Open(dir.File("copy"));
    copy.CopyFrom(other, source.size());
    copy.Commit();
    ::unlink(shm.c_str());
    EXPECT_EQ(ReadFile(dir.File("copy")), source);
  }
}

// Room set aside never shows: the output is exactly what was written,
// whether it used all of the room, part of it or more, and a committed or
// kept file holds no more of the disk than its data needs.
TEST(StagedOutput, ReservedRoomNeverChangesTheOutputAndIsGivenBackWhenUnused) {
  struct Case {
    int64_t reserve;
    std::size_t write;
    bool keep, named;
  };
  const Case cases[] = {{int64_t{8} << 20, 100000, false, false}, {4096, 300000, false, false},
                        {300000, 300000, false, false},         {int64_t{8} << 20, 10, true, false},
                        {int64_t{8} << 20, 100000, false, true}, {int64_t{8} << 20, 10, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.reserve) + " " + std::to_string(c.write) + (c.keep ? " keep" : " commit") +
                 (c.named ? " named" : ""));
    TempDir dir;
    SetNamedStagingForTests(c.named);
    const std::string data = testing::RandomBytes(c.write, 7);
    StagedOutput out;
    if (c.keep) {
      out.OpenTemporary(dir.path() + "/", "vesk-", ".tmp");
    } else {
      out.Open(dir.File("out"));
    }
    out.Reserve(c.reserve);
    out.Write(data);
    const std::string path = c.keep ? out.Keep() : dir.File("out");
    if (!c.keep) out.Commit();
    SetNamedStagingForTests(false);
    EXPECT_EQ(ReadFile(path), data);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, static_cast<int64_t>(c.write) + (int64_t{1} << 20));
    if (c.keep) {
      EXPECT_TRUE(DeleteFile(path));
    }
  }
}

// The copy takes a splice through a pipe (with a buffer for what the kernel
// leaves) and, on file systems that share extents, the kernel's file-to-file
// copy when source and output sit at the same place within a block. Both
// roads run here, the second forced on this file system: each must give the
// same bytes around every page and buffer boundary, and both must notice a
// source that ends early.
class CopyRoad : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { TreatEveryFileSystemAsSharing(GetParam()); }
  void TearDown() override { TreatEveryFileSystemAsSharing(false); }
};
INSTANTIATE_TEST_SUITE_P(StagedOutput, CopyRoad, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "KernelCopy" : "Splice"; });

TEST_P(CopyRoad, CopyFromGivesTheSameBytesAtEveryAlignment) {
  TempDir dir;
  constexpr std::size_t kBuf = std::size_t{1} << 18;
  const std::string source = testing::RandomBytes(5 * kBuf, 7);
  WriteFile(dir.File("src"), source);
  const std::size_t starts[] = {0, 1, 4095, 4096, 4097, kBuf - 1};
  const std::size_t heads[] = {0, 1, 4095, 4096, kBuf - 1, kBuf, kBuf + 1};
  const std::size_t lengths[] = {0, 1, kBuf - 1, kBuf + 1, 3 * kBuf + 7};
  for (const std::size_t start : starts) {
    for (const std::size_t head : heads) {
      for (const std::size_t length : lengths) {
        SCOPED_TRACE(std::to_string(start) + " " + std::to_string(head) + " " + std::to_string(length));
        InputFile in(dir.File("src"));
        in.Seek(static_cast<int64_t>(start));
        StagedOutput out;
        out.Open(dir.File("out"));
        out.Write(std::string(head, 'h'));
        out.CopyFrom(in, length);
        ASSERT_EQ(in.Position(), static_cast<int64_t>(start + length));
        out.Commit();
        ASSERT_EQ(ReadFile(dir.File("out")), std::string(head, 'h') + source.substr(start, length));
      }
    }
    InputFile in(dir.File("src"));
    in.Seek(static_cast<int64_t>(start));
    StagedOutput out;
    out.Open(dir.File("short"));
    out.Write(std::string(3, 'h'));
    EXPECT_THROW(out.CopyFrom(in, source.size() - start + 1), IoError);
  }
  const std::vector<std::string> left = Names(dir.path());
  EXPECT_EQ(std::set<std::string>(left.begin(), left.end()), (std::set<std::string>{"out", "src"}));
}


TEST(PageCacheWrite, WritesEveryByteInPiecesAndCountsWhatAFailureLeft) {
  TempDir dir;
  const std::string bytes = testing::RandomBytes(3 * kPageCacheWritePiece + 7, 3);
  for (const std::size_t n : {std::size_t{0}, std::size_t{1}, kPageCacheWritePiece - 1, kPageCacheWritePiece,
                              kPageCacheWritePiece + 1, bytes.size()}) {
    const int fd = ::open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int64_t written = 5;
    ASSERT_EQ(WriteInPieces(fd, bytes.data(), n, static_cast<int64_t>(n) % 4099, &written), 0);
    ::close(fd);
    EXPECT_EQ(written, static_cast<int64_t>(5 + n));
    EXPECT_EQ(ReadFile(dir.File("out")), bytes.substr(0, n));
  }
  // A file size limit stops the writes part of the way: the error comes
  // back and the count holds what reached the file.
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kPageCacheWritePiece + 100, kPageCacheWritePiece + 100};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const int fd = ::open(dir.File("limited").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int64_t written = 0;
    const int error = WriteInPieces(fd, bytes.data(), bytes.size(), 0, &written);
    ::_exit(error == EFBIG && written == static_cast<int64_t>(kPageCacheWritePiece + 100) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile(dir.File("limited")), bytes.substr(0, kPageCacheWritePiece + 100));
  EXPECT_FALSE(IsRegularFile(-1));
  // The switch to pieces: a few slow writes, and a good share of them.
  const struct {
    uint64_t slow, timed;
    bool pieces;
  } kSwitch[] = {{1, 1, false}, {7, 7, false}, {8, 8, true}, {8, 32, false}, {9, 35, true}, {760, 1024, true}};
  for (const auto& c : kSwitch) EXPECT_EQ(SlowEnough(c.slow, c.timed), c.pieces) << c.slow << " of " << c.timed;
}

}  // namespace
}  // namespace vesk
