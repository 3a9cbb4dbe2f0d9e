// vesk-cli with folders: a folder encrypted into one container and decrypted
// back into its place, the plain tar in between read by GNU tar, unpacking
// that never merges into a folder that is there, hostile tar files refused
// without leftovers, folders among several sources, and a signal that stops
// the packing without leaving anything.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "archive/tree_fixture.h"
#include "cli/cli_fixture.h"

namespace vesk {
namespace {

using testing::BuildSampleTree;
using testing::CliTest;
using testing::Differences;
using testing::MakeRemovable;
using testing::Quote;
using testing::ReadFile;
using testing::Shell;
using testing::SignalOnCue;
using testing::TakeSnapshot;
using testing::WithoutSpecials;
using testing::WriteFile;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliFolders : public CliTest {
 protected:
  CliFolders() : folder_(dir_.File("我的 资料")) {
    BuildSampleTree(folder_);
    expected_ = WithoutSpecials(TakeSnapshot(folder_));
  }
  ~CliFolders() override { MakeRemovable(dir_.path()); }
  // Moves the original away, so that unpacking may make the folder again.
  void MoveOriginalAway() { ASSERT_EQ(::rename(folder_.c_str(), dir_.File("original").c_str()), 0); }
  std::vector<std::string> Leftovers() {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      if (e.path().filename().string().rfind(".vesk-", 0) == 0) found.push_back(e.path().filename());
    }
    return found;
  }

  std::string folder_;
  testing::Snapshot expected_;
};

TEST_F(CliFolders, AFolderBecomesOneContainerAndComesBackWithUnpack) {
  for (const char* level : {"0", "2"}) {
    SCOPED_TRACE(level);
    const auto enc = Cli({"encrypt", folder_, "--key-env", "VESK_KEY", "--level", level, "--yes"});
    ASSERT_EQ(enc.status, 0) << enc.err;
    EXPECT_EQ(enc.out, folder_ + ".tar.jmz\n");
    // The summary counts what went in and names what could not.
    EXPECT_TRUE(Contains(enc.err, "共 9 个文件，119 字节")) << enc.err;
    EXPECT_TRUE(Contains(enc.err, "我的 资料/fifo")) << enc.err;
    MoveOriginalAway();
    const auto dec = Cli({"decrypt", folder_ + ".tar.jmz", "--key-env", "VESK_KEY", "--unpack"});
    ASSERT_EQ(dec.status, 0) << dec.err;
    EXPECT_EQ(dec.out, folder_ + "\n");
    EXPECT_EQ(Differences(expected_, TakeSnapshot(folder_)), "");
    // The tar in between is gone; nothing is left beside it or in the temporary folder.
    EXPECT_FALSE(std::filesystem::exists(folder_ + ".tar"));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_EQ(FilesIn(tmp_.path()), 0u);
    // The original (with its FIFO and socket) back for the next round.
    MakeRemovable(folder_);
    std::filesystem::remove_all(folder_);
    std::filesystem::remove(folder_ + ".tar.jmz");
    ASSERT_EQ(::rename(dir_.File("original").c_str(), folder_.c_str()), 0);
  }
}

TEST_F(CliFolders, TheDecryptedTarIsWhatGnuTarReads) {
  ASSERT_EQ(Cli({"keyless-encrypt", folder_, "--key-env", "VESK_KEY"}).status, 0);
  const auto dec = Cli({"keyless-decrypt", folder_ + ".tar.jmz", "--key-env", "VESK_KEY"});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(dec.out, folder_ + ".tar\n");
  EXPECT_TRUE(Contains(dec.err, "解开文件夹？ -> 否")) << dec.err;
  ::mkdir(dir_.File("gnu").c_str(), 0755);
  ASSERT_EQ(Shell("tar -xpf " + Quote(folder_ + ".tar") + " -C " + Quote(dir_.File("gnu"))), 0);
  EXPECT_EQ(Differences(expected_, TakeSnapshot(dir_.File("gnu/我的 资料"))), "");
}

TEST_F(CliFolders, AnExistingFolderIsNeverMergedIntoNotEvenWithYes) {
  ASSERT_EQ(Cli({"encrypt", folder_, "--key-env", "VESK_KEY"}).status, 0);
  const auto before = TakeSnapshot(folder_);
  const auto dec = Cli({"decrypt", folder_ + ".tar.jmz", "--key-env", "VESK_KEY", "--unpack", "--yes"});
  EXPECT_EQ(dec.status, 1);
  EXPECT_EQ(dec.out, "");
  EXPECT_TRUE(Contains(dec.err, "已经存在，没有解开")) << dec.err;
  EXPECT_EQ(Differences(before, TakeSnapshot(folder_)), "");
  // The decrypted tar stays, to be unpacked elsewhere, and the user is told where.
  ASSERT_TRUE(std::filesystem::exists(folder_ + ".tar"));
  EXPECT_TRUE(Contains(dec.err, "解密出的tar文件保留在“" + folder_ + ".tar”")) << dec.err;
  const auto there = Cli({"unpack", folder_ + ".tar", "--yes"});
  EXPECT_EQ(there.status, 1);
  const auto elsewhere = Cli({"unpack", folder_ + ".tar", "-o", dir_.File("copy")});
  ASSERT_EQ(elsewhere.status, 0) << elsewhere.err;
  EXPECT_EQ(elsewhere.out, dir_.File("copy") + "\n");
  EXPECT_EQ(Differences(expected_, TakeSnapshot(dir_.File("copy"))), "");
  // unpack keeps the tar it was given.
  EXPECT_TRUE(std::filesystem::exists(folder_ + ".tar"));
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(CliFolders, AHostileTarIsRefusedAndLeavesNothing) {
  const std::string evil = dir_.File("evil.tar");
  WriteFile(dir_.File("victim"), "untouched");
  ASSERT_EQ(Shell("tar -cPf " + Quote(evil) + " -C " + Quote(dir_.path()) +
                  " --transform='s|^victim$|x/../../victim|' victim"),
            0);
  const auto run = Cli({"unpack", evil, "--yes"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "不安全")) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("evil")));
  EXPECT_EQ(ReadFile(dir_.File("victim")), "untouched");
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(CliFolders, FoldersAndFilesTogetherEachGetTheirOutput) {
  WriteFile(dir_.File("note.txt"), "a note");
  const auto run = Cli({"encrypt", dir_.File("note.txt"), folder_, "--key-env", "VESK_KEY", "--level", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir_.File("note.jmz") + "\n" + folder_ + ".tar.jmz\n");
  const auto zak = Cli({"compress", folder_, "--level", "1"});
  ASSERT_EQ(zak.status, 0) << zak.err;
  EXPECT_EQ(zak.out, folder_ + ".tar.zak\n");
  // A compression says nothing of encryption, its list of skipped files neither.
  EXPECT_FALSE(Contains(zak.err, "加密")) << zak.err;
  const auto unzip = Cli({"decompress", folder_ + ".tar.zak"});
  ASSERT_EQ(unzip.status, 0) << unzip.err;
  EXPECT_EQ(unzip.out, folder_ + ".tar\n");
  const auto unpack = Cli({"unpack", folder_ + ".tar", "-o", dir_.File("again")});
  ASSERT_EQ(unpack.status, 0) << unpack.err;
  EXPECT_EQ(Differences(expected_, TakeSnapshot(dir_.File("again"))), "");
}

// The strong format takes folders too: DIR.tar.age, which the age tool
// itself opens into the same tar, and --unpack brings the folder back.
TEST_F(CliFolders, AFolderBecomesOneAgeFileThatTheAgeToolReads) {
  const auto key = Cli({"keygen", "-o", dir_.File("id.txt")});
  ASSERT_EQ(key.status, 0) << key.err;
  const std::string recipient = key.out.substr(0, key.out.find('\n'));
  const auto enc = Cli({"encrypt", folder_, "--format", "age", "--recipient", recipient});
  ASSERT_EQ(enc.status, 0) << enc.err;
  EXPECT_EQ(enc.out, folder_ + ".tar.age\n");
  EXPECT_TRUE(Contains(enc.err, "共 9 个文件，119 字节")) << enc.err;
  if (Shell("command -v age >/dev/null") == 0) {
    ASSERT_EQ(Shell("age -d -i " + Quote(dir_.File("id.txt")) + " " + Quote(folder_ + ".tar.age") + " > " +
                    Quote(dir_.File("peer.tar"))),
              0);
    ::mkdir(dir_.File("peer").c_str(), 0755);
    ASSERT_EQ(Shell("tar -xpf " + Quote(dir_.File("peer.tar")) + " -C " + Quote(dir_.File("peer"))), 0);
    EXPECT_EQ(Differences(expected_, TakeSnapshot(dir_.File("peer/我的 资料"))), "");
  }
  MoveOriginalAway();
  const auto dec = Cli({"decrypt", folder_ + ".tar.age", "--identity", dir_.File("id.txt"), "--unpack"});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(dec.out, folder_ + "\n");
  EXPECT_EQ(Differences(expected_, TakeSnapshot(folder_)), "");
  EXPECT_FALSE(std::filesystem::exists(folder_ + ".tar"));
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(CliFolders, ASignalStopsThePackingAndLeavesNothing) {
  WriteFile(folder_ + "/big.bin", testing::RandomBytes(64 << 20, 8));
  const auto run = Cli({"encrypt", folder_, "--key-env", "VESK_KEY", "--level", "3"}, {},
                       SignalOnCue(SIGTERM, "进行压缩并加密文件夹"));
  EXPECT_NE(run.status, 128 + SIGTERM) << "ended by the signal itself";
  if (run.status != 0) {
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder_ + ".tar.jmz"));
  }
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(CliFolders, ASignalStopsTheAgePackingAndLeavesNothing) {
  WriteFile(folder_ + "/big.bin", testing::RandomBytes(256 << 20, 9));
  const auto key = Cli({"keygen", "-o", dir_.File("id.txt")});
  ASSERT_EQ(key.status, 0) << key.err;
  const std::string recipient = key.out.substr(0, key.out.find('\n'));
  const auto run = Cli({"encrypt", folder_, "--format", "age", "--recipient", recipient}, {},
                       SignalOnCue(SIGINT, "进行 age 强加密文件夹"));
  EXPECT_NE(run.status, 128 + SIGINT) << "ended by the signal itself";
  if (run.status != 0) {
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder_ + ".tar.age"));
  }
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// A large file among ten thousand small ones, through the whole road and
// back: about 300 MiB on the disk three times over, so it runs only when
// VESK_BIG_TESTS is set (scripts/test.sh sets it for the release build).
// The trees are compared by GNU diff and by find's list of types, modes,
// times and link targets, which keeps the test's own memory small.
TEST_F(CliFolders, ALargeFileAmongTenThousandSmallOnesComesBackWhole) {
  if (std::getenv("VESK_BIG_TESTS") == nullptr) GTEST_SKIP() << "set VESK_BIG_TESTS=1 to run";
  const std::string tree = dir_.File("大 树");
  ::mkdir(tree.c_str(), 0755);
  {
    // 300 MiB of bytes that do not repeat within a block: each MiB differs.
    const std::string block = testing::RandomBytes(1 << 20, 21);
    std::string big;
    FILE* f = std::fopen((tree + "/large.bin").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 300; ++i) {
      big = block;
      std::memcpy(big.data(), &i, sizeof i);
      ASSERT_EQ(std::fwrite(big.data(), 1, big.size(), f), big.size());
    }
    ASSERT_EQ(std::fclose(f), 0);
  }
  for (int i = 0; i < 10000; ++i) {
    const std::string sub = tree + "/d" + std::to_string(i % 100);
    ::mkdir(sub.c_str(), 0750);
    WriteFile(sub + "/f" + std::to_string(i) + ".txt", testing::RandomBytes(static_cast<std::size_t>(i % 9) * 512, i));
  }
  const std::string listing = "cd " + Quote(tree) + " && find . -printf '%P %y %m %T@ %l\\n' | sort > ";
  ASSERT_EQ(Shell(listing + Quote(dir_.File("before.txt"))), 0);

  const auto enc = Cli({"encrypt", tree, "--key-env", "VESK_KEY", "--level", "0"});
  ASSERT_EQ(enc.status, 0) << enc.err;
  EXPECT_TRUE(Contains(enc.err, "共 10001 个文件")) << enc.err;
  ASSERT_EQ(::rename(tree.c_str(), dir_.File("original").c_str()), 0);
  const auto dec = Cli({"decrypt", tree + ".tar.jmz", "--key-env", "VESK_KEY", "--unpack"});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(Shell("diff -r " + Quote(dir_.File("original")) + " " + Quote(tree)), 0);
  ASSERT_EQ(Shell(listing + Quote(dir_.File("after.txt"))), 0);
  EXPECT_EQ(ReadFile(dir_.File("after.txt")), ReadFile(dir_.File("before.txt")));
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

}  // namespace
}  // namespace vesk
