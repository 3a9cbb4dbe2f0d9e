// The shredder engine on real files with a recording reporter: what is
// written where, what survives, and what is refused untouched.
#include "shred/shredder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "support/disk.h"
#include "support/faults.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::shred {
namespace {

using testing::RandomBytes;
using testing::ReadFile;
using testing::RecordingReporter;
using testing::TempDir;
using testing::WriteFile;

const char kCannotOpen[] = "粉碎文件出错，已停止。 要粉碎的文件正在使用中或者有只读属性等。";
const char kCopyOnWriteLine[] =
    "注意：此文件位于写时复制文件系统(btrfs、ZFS、bcachefs)上，零会写到新的位置，"
    "文件原有内容的旧副本(包括快照中的)可能仍留在磁盘上。";
std::string OtherNamesLine(int others) {
  return "注意：此文件另有 " + std::to_string(others) + " 个硬链接名称，粉碎只删除这一个名称，其他名称仍会留下(内容已被零覆盖)。";
}

class ShredderTest : public ::testing::Test {
 protected:
  ShredderTest() {
    job.overwriting = [this] { ++busy_marks; };
    job.faults.before_write = [this](int64_t offset, std::size_t size) {
      if (size > 0) writes.emplace_back(offset, size);  // size 0: the flush
    };
  }

  // Shreds `path`, answering the question with `yes`; true when it was.
  bool Shred(const std::string& path, bool yes = true) {
    job.path = path;
    R().QueueAnswers({yes});
    RunContext context{R(), R(), stop.Token()};
    result = ShredFile(job, context);
    return result.Completed();
  }

  // The file must be refused with the in-use message and left as it was.
  void ExpectRefused(const std::string& path) {
    EXPECT_FALSE(Shred(path));
    ASSERT_EQ(R().messages, std::vector<std::string>{kCannotOpen}) << path;
    EXPECT_EQ(result.outcome, Outcome::kRefused);
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(busy_marks, 0);
  }

  RecordingReporter& R() { return *recorder; }
  // A new reporter and a new stop: nothing recorded.
  void Fresh() {
    recorder = std::make_unique<RecordingReporter>();
    stop = StopSource();
  }

  TempDir dir;
  std::unique_ptr<RecordingReporter> recorder = std::make_unique<RecordingReporter>();
  StopSource stop;
  ShredJob job;
  RunResult result;
  int busy_marks = 0;
  std::vector<std::pair<int64_t, std::size_t>> writes;
};

TEST_F(ShredderTest, WritesZeroBlocksFromTheStartAndDeletesTheFile) {
  const int64_t full = static_cast<int64_t>(kZeroBlockSize);
  const std::vector<std::pair<std::size_t, std::vector<std::pair<int64_t, std::size_t>>>> cases = {
      {0, {}},
      {65535, {{0, 65535}}},
      {65536, {{0, 65535}, {full, 1}}},
      {3 * 65535 + 7, {{0, 65535}, {full, 65535}, {2 * full, 65535}, {3 * full, 7}}},
  };
  for (const auto& [size, expected] : cases) {
    SCOPED_TRACE(size);
    const std::string path = dir.File("victim " + std::to_string(size) + ".bin");
    WriteFile(path, RandomBytes(size, 5));
    Fresh();
    writes.clear();
    busy_marks = 0;

    EXPECT_TRUE(Shred(path));
    EXPECT_EQ(writes, expected);
    EXPECT_FALSE(PathExists(path));  // neither the file nor the one-byte file made after it
    ASSERT_EQ(R().questions.size(), 1u);
    EXPECT_EQ(R().questions[0].first, "真的要粉碎文件“" + path + "”吗？");
    EXPECT_EQ(R().questions[0].second, "粉碎文件");
    EXPECT_EQ(R().messages, std::vector<std::string>{"粉碎文件已完成 — " + path});
    EXPECT_NE(std::find(R().statuses.begin(), R().statuses.end(), "进行粉碎文件 ..."), R().statuses.end());
    EXPECT_EQ(R().hints[Hint::Output], "粉碎的文件：" + path);
    EXPECT_EQ(busy_marks, 1);
    EXPECT_EQ(result.outcome, Outcome::kDone);
    EXPECT_TRUE(result.written.empty());
    if (size > 0) {
      EXPECT_EQ(R().bar_ranges.back(), static_cast<int64_t>(size));
    }
  }
}

TEST_F(ShredderTest, TheZerosAreOnTheInodeAndFlushedBeforeTheNameGoes) {
  const std::string path = dir.File("secret.txt");
  const std::string keeper = dir.File("keeper");  // keeps the inode readable after the unlink
  const std::string original = RandomBytes(200000, 9);
  WriteFile(path, original);
  ASSERT_EQ(::link(path.c_str(), keeper.c_str()), 0);
  bool flushed_while_named = false;
  job.faults.before_write = [&](int64_t, std::size_t size) {
    if (size == 0) flushed_while_named = PathExists(path) && ReadFile(keeper) == std::string(200000, '\0');
  };

  EXPECT_TRUE(Shred(path));
  EXPECT_TRUE(flushed_while_named);
  EXPECT_FALSE(PathExists(path));
  EXPECT_EQ(ReadFile(keeper), std::string(original.size(), '\0'));
  // The question says that the other name stays.
  ASSERT_EQ(R().questions.size(), 1u);
  EXPECT_EQ(R().questions[0].first, "真的要粉碎文件“" + path + "”吗？\n" + OtherNamesLine(1));
}

TEST_F(ShredderTest, AFailedFlushOrWriteIsReportedAndTheFileStays) {
  const std::string path = dir.File("a.bin");
  const std::string original = RandomBytes(5 * 65535, 3);

  // The flush: everything is zero, but it is not known to be on the disk.
  WriteFile(path, original);
  job.faults.before_write = testing::faults::FailOnFlush(EIO);
  EXPECT_FALSE(Shred(path));
  EXPECT_EQ(R().messages, std::vector<std::string>{"粉碎文件出错，已停止。"});
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(busy_marks, 1);
  EXPECT_EQ(ReadFile(path), std::string(original.size(), '\0'));

  // A write: the blocks before it are zero, the rest as it was.
  WriteFile(path, original);
  Fresh();
  job.faults.before_write = testing::faults::FailWriteAt(2 * 65535);
  EXPECT_FALSE(Shred(path));
  EXPECT_EQ(R().messages, std::vector<std::string>{"粉碎文件出错，已停止。"});
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(ReadFile(path), std::string(2 * 65535, '\0') + original.substr(2 * 65535));
}

TEST_F(ShredderTest, OnlyTheOverwrittenFileIsDeleted) {
  // Another program moves the file away and puts its own under the name
  // while the zeros are written: that one stays.
  const std::string path = dir.File("name");
  WriteFile(path, RandomBytes(3 * 65535, 2));
  job.faults.before_write = [&](int64_t, std::size_t size) {
    if (size != 0) return;
    std::filesystem::rename(path, dir.File("moved"));
    WriteFile(path, "someone else's");
  };
  EXPECT_FALSE(Shred(path));
  EXPECT_EQ(R().messages, std::vector<std::string>{"粉碎文件出错，已停止。"});
  EXPECT_EQ(ReadFile(path), "someone else's");
  EXPECT_EQ(ReadFile(dir.File("moved")), std::string(3 * 65535, '\0'));
}

TEST_F(ShredderTest, StoppingLeavesAZeroedPrefixAndTheLength) {
  const std::string path = dir.File("big.bin");
  const std::string original = RandomBytes(10 * 65535 + 100, 4);
  WriteFile(path, original);
  // The stop item, during the third block.
  job.faults.before_write = testing::faults::AtByte(2 * 65535, [this] { stop.RequestStop(); });
  EXPECT_FALSE(Shred(path));
  EXPECT_TRUE(R().messages.empty());
  EXPECT_EQ(result.outcome, Outcome::kCancelled);
  EXPECT_EQ(ReadFile(path), std::string(3 * 65535, '\0') + original.substr(3 * 65535));
}

TEST_F(ShredderTest, AStoppedRunStaysStoppedWhenALaterRunStarts) {
  const std::string path = dir.File("first.bin");
  const std::string original = RandomBytes(6 * 65535, 8);
  WriteFile(path, original);
  job.faults.before_write = [&](int64_t offset, std::size_t) {
    if (offset != 65535) return;
    // Stopped while this write hangs; a new run starts with a stop of its own.
    const StopSource stopped = stop;
    stop = StopSource();
    stopped.RequestStop();
  };
  EXPECT_FALSE(Shred(path));
  EXPECT_TRUE(PathExists(path));
  EXPECT_EQ(ReadFile(path), std::string(2 * 65535, '\0') + original.substr(2 * 65535));
}

TEST_F(ShredderTest, NoLeavesTheFileUntouched) {
  const std::string path = dir.File("keep.txt");
  WriteFile(path, "still here");
  EXPECT_FALSE(Shred(path, false));
  EXPECT_EQ(R().messages, std::vector<std::string>{"粉碎文件已取消。 - " + path});
  EXPECT_EQ(result.outcome, Outcome::kCancelled);
  EXPECT_EQ(ReadFile(path), "still here");
  EXPECT_TRUE(writes.empty());
  EXPECT_EQ(busy_marks, 0);
}

TEST_F(ShredderTest, OnlyWritableRegularFilesAreOpened) {
  const std::string data = RandomBytes(70000, 6);

  // Read-only: refused even for the superuser, who passes every access test.
  const std::string read_only = dir.File("ro.txt");
  WriteFile(read_only, data);
  ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
  ExpectRefused(read_only);
  EXPECT_EQ(ReadFile(read_only), data);

  // A link is not followed: the file it points to stays, and so does the link.
  const std::string target = dir.File("target.txt");
  const std::string link = dir.File("link.txt");
  WriteFile(target, data);
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  Fresh();
  ExpectRefused(link);
  EXPECT_EQ(ReadFile(target), data);
  EXPECT_TRUE(std::filesystem::is_symlink(link));

  const std::string folder = dir.File("folder");
  std::filesystem::create_directory(folder);
  Fresh();
  ExpectRefused(folder);
  EXPECT_TRUE(DirectoryExists(folder));

  // A FIFO nobody writes to: opening it must not wait for a writer.
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Fresh();
  ExpectRefused(fifo);
  EXPECT_TRUE(PathExists(fifo));

  const std::string socket_path = dir.File("sock");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socket_path.size(), sizeof(address.sun_path));
  socket_path.copy(address.sun_path, socket_path.size());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  Fresh();
  ExpectRefused(socket_path);
  EXPECT_TRUE(PathExists(socket_path));
  ::close(sock);

  Fresh();
  ExpectRefused(dir.File("missing"));
}

TEST_F(ShredderTest, AFileLockedElsewhereIsRefused) {
  const std::string path = dir.File("busy.db");
  WriteFile(path, "in use");
  const int holder = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  ExpectRefused(path);
  EXPECT_EQ(ReadFile(path), "in use");
  ::close(holder);

  Fresh();
  EXPECT_TRUE(Shred(path));  // free again
}

// Another process holding a lock on a file until it is destroyed. `take`
// runs in that process on the file opened for reading and writing and
// returns whether it got its lock.
class LockHolder {
 public:
  LockHolder(const std::string& path, bool (*take)(int fd)) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      const int fd = ::open(path.c_str(), O_RDWR);
      const char got = fd >= 0 && take(fd) ? 1 : 0;
      [[maybe_unused]] ssize_t n = ::write(ready[1], &got, 1);
      char wait = 0;
      n = ::read(release[0], &wait, 1);  // ends when the test closes its end
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char got = 0;
    holding_ = pid_ > 0 && ::read(ready[0], &got, 1) == 1 && got == 1;
    ::close(ready[0]);
  }
  ~LockHolder() {
    if (release_ >= 0) ::close(release_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  bool Holding() const { return holding_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool holding_ = false;
};

bool RecordLock(int fd, int command, short type, off_t start, off_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = length;
  return ::fcntl(fd, command, &lock) == 0;
}

TEST_F(ShredderTest, AFileWithARecordLockHeldElsewhereIsRefused) {
  // What databases hold: process locks taken with fcntl or lockf, on the
  // whole file or only a part of it, and locks owned by an open file.
  const std::pair<const char*, bool (*)(int)> kinds[] = {
      {"fcntl write lock", [](int fd) { return RecordLock(fd, F_SETLK, F_WRLCK, 0, 0); }},
      {"lockf", [](int fd) { return ::lockf(fd, F_TLOCK, 0) == 0; }},
      {"read lock on bytes 100-199", [](int fd) { return RecordLock(fd, F_SETLK, F_RDLCK, 100, 100); }},
      {"open-file write lock on the last byte", [](int fd) { return RecordLock(fd, F_OFD_SETLK, F_WRLCK, 69999, 1); }},
  };
  const std::string path = dir.File("records.db");
  const std::string data = RandomBytes(70000, 11);
  WriteFile(path, data);
  for (const auto& [kind, take] : kinds) {
    SCOPED_TRACE(kind);
    LockHolder holder(path, take);
    ASSERT_TRUE(holder.Holding());
    Fresh();
    writes.clear();
    ExpectRefused(path);
    EXPECT_EQ(ReadFile(path), data);
  }
  // Once the other process has let go, the file is shredded.
  Fresh();
  writes.clear();
  EXPECT_TRUE(Shred(path));
  EXPECT_FALSE(PathExists(path));
}

TEST_F(ShredderTest, ASparseFileIsOverwrittenWhereItHoldsDataAndNowhereElse) {
  // 100 MiB long, three pages of data, on a file system of 20 MiB: zeros
  // written into the holes would fill the disk long before the last page.
  testing::SmallDisk disk(20 << 20);
  if (!disk.Ready()) GTEST_SKIP() << "cannot mount a small tmpfs here";
  const auto page = static_cast<int64_t>(::sysconf(_SC_PAGESIZE));
  const int64_t length = int64_t{100} << 20;
  const std::string path = disk.File("sparse.img");
  const std::string keeper = disk.File("keeper");  // keeps the inode readable after the unlink
  const std::vector<int64_t> pieces = {0, int64_t{50} << 20, length - page};
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    for (int64_t at : pieces) {
      const std::string bytes = RandomBytes(static_cast<std::size_t>(page), static_cast<uint32_t>(at / page + 1));
      ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), page);
    }
    ASSERT_EQ(::ftruncate(fd, length), 0);
    ::close(fd);
  }
  ASSERT_EQ(::link(path.c_str(), keeper.c_str()), 0);

  EXPECT_TRUE(Shred(path));
  EXPECT_EQ(R().messages, std::vector<std::string>{"粉碎文件已完成 — " + path});
  EXPECT_FALSE(PathExists(path));
  std::vector<std::pair<int64_t, std::size_t>> expected;
  for (int64_t at : pieces) expected.emplace_back(at, static_cast<std::size_t>(page));
  EXPECT_EQ(writes, expected);
  EXPECT_EQ(R().bar_ranges.back(), 3 * page);  // the bar counts the data, not the holes

  struct stat st {};
  ASSERT_EQ(::stat(keeper.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, length);
  EXPECT_LE(st.st_blocks * 512, 3 * page);  // nothing was allocated
  const int fd = ::open(keeper.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  for (int64_t at : pieces) {
    std::string back(static_cast<std::size_t>(page), 'x');
    ASSERT_EQ(::pread(fd, back.data(), back.size(), at), page);
    EXPECT_EQ(back, std::string(static_cast<std::size_t>(page), '\0')) << at;
  }
  ::close(fd);

  // A file that is one hole has nothing to overwrite and is deleted all the same.
  const std::string empty = disk.File("hole.img");
  WriteFile(empty, "");
  ASSERT_EQ(::truncate(empty.c_str(), length), 0);
  Fresh();
  writes.clear();
  EXPECT_TRUE(Shred(empty));
  EXPECT_TRUE(writes.empty());
  EXPECT_FALSE(PathExists(empty));
}

TEST_F(ShredderTest, AFullDiskAtTheNameStepLeavesNoMarkerAndSaysWhatHappened) {
  testing::SmallDisk disk(1 << 20);
  if (!disk.Ready()) GTEST_SKIP() << "cannot mount a small tmpfs here";
  const std::string path = disk.File("secret.txt");
  const std::string keeper = disk.File("keeper");  // its blocks stay taken after the unlink
  const std::string original = RandomBytes(100000, 12);
  WriteFile(path, original);
  ASSERT_EQ(::link(path.c_str(), keeper.c_str()), 0);
  // The disk fills up after the zeros are written, before the name goes.
  job.faults.before_write = [&](int64_t, std::size_t size) {
    if (size == 0) disk.Fill("filler");
  };

  EXPECT_FALSE(Shred(path));
  EXPECT_EQ(testing::FolderEntries(disk.path()), (std::vector<std::string>{"filler", "keeper"}));
  EXPECT_EQ(ReadFile(keeper), std::string(original.size(), '\0'));
  EXPECT_EQ(R().messages, std::vector<std::string>{"粉碎文件没有全部完成：“" + path +
                                                  "”的内容已经用零覆盖，文件已经删除，但磁盘已满，不能清除原来的文件名。"});
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(result.code, Reason::kNoSpace);
}

TEST_F(ShredderTest, TheBarMovesAboutAHundredTimesAndEndsFull) {
  const std::string path = dir.File("many.bin");
  WriteFile(path, std::string(500 * 65535 + 1, 'x'));
  EXPECT_TRUE(Shred(path));
  // The bar starts at 0. One percent is 327,675 bytes: it moves after every
  // sixth block (393,210 bytes), 83 times, and then to the end.
  std::vector<int64_t> expected = {0};
  for (int64_t k = 1; k <= 83; ++k) expected.push_back(k * 393210);
  expected.push_back(500 * 65535 + 1);
  EXPECT_EQ(R().bar_positions, expected);
}

TEST(ShredReach, CopyOnWriteFileSystemsAndOtherNamesAddALineEach) {
  EXPECT_TRUE(IsCopyOnWriteFileSystem(0x9123683E));  // btrfs
  EXPECT_TRUE(IsCopyOnWriteFileSystem(0x2FC12FC1));  // ZFS
  EXPECT_TRUE(IsCopyOnWriteFileSystem(0xCA451A4E));  // bcachefs
  // Where statfs reports the type as a signed 32-bit word.
  EXPECT_TRUE(IsCopyOnWriteFileSystem(static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(0x9123683E)))));
  EXPECT_FALSE(IsCopyOnWriteFileSystem(0xEF53));      // ext4
  EXPECT_FALSE(IsCopyOnWriteFileSystem(0x58465342));  // XFS
  EXPECT_FALSE(IsCopyOnWriteFileSystem(0x01021994));  // tmpfs

  const std::string question = "真的要粉碎文件“/a/b”吗？";
  EXPECT_EQ(Confirmation("/a/b", Reach{}), question);
  EXPECT_EQ(Confirmation("/a/b", Reach{true, 1}), question + "\n" + kCopyOnWriteLine);
  EXPECT_EQ(Confirmation("/a/b", Reach{true, 3}),
            question + "\n" + kCopyOnWriteLine + "\n" + OtherNamesLine(2));

  TempDir dir;
  WriteFile(dir.File("f"), "x");
  EXPECT_EQ(ReachOf(dir.File("f")).links, 1u);
  ASSERT_EQ(::link(dir.File("f").c_str(), dir.File("g").c_str()), 0);
  EXPECT_EQ(ReachOf(dir.File("f")).links, 2u);
  ASSERT_EQ(::symlink(dir.File("f").c_str(), dir.File("l").c_str()), 0);
  EXPECT_EQ(ReachOf(dir.File("l")).links, 1u);  // a link is no file to shred
}

}  // namespace
}  // namespace vesk::shred
