// vesk-cli as a user runs it: a separate process, keys from the environment,
// answers from the flags, results judged by files, exit status and texts.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "cli/cli_fixture.h"

namespace vesk {
namespace {

using testing::CliTest;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::ReadFile;
using testing::RandomBytes;
using testing::RunProcess;
using testing::TempDir;
using testing::WriteFile;

TEST_F(CliTest, EncryptThenDecryptRestoresTheFileUnderItsExtension) {
  const std::string plain = RandomBytes(5000, 1);
  WriteFile(dir_.File("report.doc"), plain);
  auto enc = Cli({"encrypt", dir_.File("report.doc"), "--level", "0", "--key-env", "VESK_KEY"});
  ASSERT_EQ(enc.status, 0) << enc.err;
  EXPECT_EQ(enc.out, dir_.File("report.jmz") + "\n");
  EXPECT_NE(enc.err.find("加密文件 ... 已完成。"), std::string::npos);
  // payload + extension + 12-byte key ("口令 secret" is 11 GBK bytes, padded) + 37
  EXPECT_EQ(std::filesystem::file_size(dir_.File("report.jmz")), 5000u + 4 + 12 + 37);

  std::filesystem::remove(dir_.File("report.doc"));
  auto dec = Cli({"decrypt", dir_.File("report.jmz"), "--key-env", "VESK_KEY"});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(dec.out, dir_.File("report.doc") + "\n");
  EXPECT_EQ(ReadFile(dir_.File("report.doc")), plain);
}

TEST_F(CliTest, CompressedEncryptionLeavesNoTemporaryFile) {
  const std::string plain(300000, 'a');
  WriteFile(dir_.File("a.txt"), plain);
  auto enc = Cli({"encrypt", dir_.File("a.txt"), "-o", dir_.File("out.bin"), "--key-env", "VESK_KEY"});
  ASSERT_EQ(enc.status, 0) << enc.err;
  EXPECT_EQ(enc.out, dir_.File("out.jmz") + "\n");
  EXPECT_LT(std::filesystem::file_size(dir_.File("out.jmz")), 10000u);
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);

  auto dec = Cli({"decrypt", dir_.File("out.jmz"), "-o", dir_.File("back"), "--key-env", "VESK_KEY"});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(ReadFile(dir_.File("back.txt")), plain);
  EXPECT_NE(dec.err.find("解密文件 ... 已完成。"), std::string::npos);
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

TEST_F(CliTest, CompressAndDecompressRoundTrip) {
  const std::string plain = RandomBytes(200000, 2) + std::string(100000, 'z');
  WriteFile(dir_.File("bar.txt"), plain);
  auto zip = Cli({"compress", dir_.File("bar.txt"), "--level", "3"});
  ASSERT_EQ(zip.status, 0) << zip.err;
  EXPECT_EQ(zip.out, dir_.File("bar.txt.zak") + "\n");
  auto unzip = Cli({"decompress", dir_.File("bar.txt.zak"), "-o", dir_.File("copy.txt")});
  ASSERT_EQ(unzip.status, 0) << unzip.err;
  EXPECT_EQ(ReadFile(dir_.File("copy.txt")), plain);
}

TEST_F(CliTest, RefusalsExitWithOneAndWriteNothing) {
  WriteFile(dir_.File("empty"), "");
  auto empty = Cli({"encrypt", dir_.File("empty"), "--level", "0", "--key-env", "VESK_KEY"});
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("文件是空的!不需要加密。加密文件已取消。"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("empty.jmz")));

  WriteFile(dir_.File("f.txt"), "data");
  auto nokey = Cli({"encrypt", dir_.File("f.txt")});
  EXPECT_EQ(nokey.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("f.jmz")));

  auto missing = Cli({"decrypt", dir_.File("nothing.jmz"), "--key-env", "VESK_KEY"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("不存在!解密文件已取消。"), std::string::npos);
}

TEST_F(CliTest, WrongKeyIsRefused) {
  WriteFile(dir_.File("f.txt"), RandomBytes(2000, 3));
  ASSERT_EQ(Cli({"encrypt", dir_.File("f.txt"), "--level", "0", "--key-env", "VESK_KEY"}).status, 0);
  auto dec = Cli({"decrypt", dir_.File("f.jmz"), "-o", dir_.File("g"), "--key-env", "OTHER"}, {{"OTHER", "wrong"}});
  EXPECT_EQ(dec.status, 1);
  EXPECT_NE(dec.err.find("解密的密钥与加密的文件里的密钥不相同,不能解密!"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("g.txt")));
}

TEST_F(CliTest, ExistingTargetIsReplacedOnlyAfterYes) {
  WriteFile(dir_.File("f.txt"), "new content");
  WriteFile(dir_.File("f.jmz"), "old");
  auto no = Cli({"encrypt", dir_.File("f.txt"), "--level", "0", "--key-env", "VESK_KEY"});
  EXPECT_EQ(no.status, 1);
  EXPECT_NE(no.err.find("文件已经存在,是否替换? 否 则不替换, 跳过这个文件。"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_.File("f.jmz")), "old");
  auto yes = Cli({"encrypt", dir_.File("f.txt"), "--level", "0", "--key-env", "VESK_KEY", "--yes"});
  EXPECT_EQ(yes.status, 0) << yes.err;
  EXPECT_NE(ReadFile(dir_.File("f.jmz")), "old");
}

TEST_F(CliTest, LayersNeedTheInnerKeyAndPeelOffOneByOne) {
  const std::string plain = RandomBytes(1500, 4);
  WriteFile(dir_.File("p.bin"), plain);
  ASSERT_EQ(Cli({"encrypt", dir_.File("p.bin"), "--level", "0", "--key-env", "VESK_KEY"}).status, 0);
  // Encrypting the container again without its key is refused.
  auto refused = Cli({"encrypt", dir_.File("p.jmz"), "-o", dir_.File("q"), "--level", "0", "--key-env", "VESK_KEY"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("不能再次加密!解密密钥是空的"), std::string::npos);
  auto outer = Cli({"encrypt", dir_.File("p.jmz"), "-o", dir_.File("q"), "--level", "0", "--key-env", "K2",
                    "--decrypt-key-env", "VESK_KEY"},
                   {{"K2", "second"}});
  ASSERT_EQ(outer.status, 0) << outer.err;
  std::filesystem::remove(dir_.File("p.jmz"));
  auto one = Cli({"decrypt", dir_.File("q.jmz"), "-o", dir_.File("p"), "--key-env", "K2"}, {{"K2", "second"}});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.out, dir_.File("p.jmz") + "\n");
  auto two = Cli({"decrypt", dir_.File("p.jmz"), "-o", dir_.File("plain"), "--key-env", "VESK_KEY"});
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(ReadFile(dir_.File("plain.bin")), plain);
}

TEST_F(CliTest, KeylessRoundTripKeepsTheExtensionInTheName) {
  const std::string plain = RandomBytes(4099, 5);
  WriteFile(dir_.File("a.txt"), plain);
  for (const char* algorithm : {"30", "20", "0"}) {
    SCOPED_TRACE(algorithm);
    auto enc = Cli({"keyless-encrypt", dir_.File("a.txt"), "--algorithm", algorithm, "--key-env", "VESK_KEY", "--yes"});
    ASSERT_EQ(enc.status, 0) << enc.err;
    EXPECT_EQ(enc.out, dir_.File("a.txt.jmz") + "\n");
    auto dec = Cli({"keyless-decrypt", dir_.File("a.txt.jmz"), "-o", dir_.File("b.txt"), "--key-env", "VESK_KEY", "--yes"});
    ASSERT_EQ(dec.status, 0) << dec.err;
    EXPECT_NE(dec.err.find("解密(不保存密钥的)文件 ... 已完成。"), std::string::npos);
    EXPECT_EQ(ReadFile(dir_.File("b.txt")), plain);
  }
  // A keyed container is no key-less one.
  ASSERT_EQ(Cli({"encrypt", dir_.File("a.txt"), "--level", "0", "--key-env", "VESK_KEY"}).status, 0);
  auto wrong = Cli({"keyless-decrypt", dir_.File("a.jmz"), "--key-env", "VESK_KEY"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("文件不是本软件(不保存密钥)加密的，解密已取消。"), std::string::npos);
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Cli({}).status, 2);
  EXPECT_EQ(Cli({"encrypt"}).status, 2);
  EXPECT_EQ(Cli({"encrypt", "x", "--algorithm", "12"}).status, 2);
  EXPECT_EQ(Cli({"compress", "x", "--level", "0"}).status, 2);
  EXPECT_EQ(Cli({"--help"}).status, 0);
}

// A command line that starts with a subcommand builds only that one's
// parser; the overview, each subcommand's help and its mistakes must look
// the same as with every parser built.
TEST_F(CliTest, EverySubcommandIsListedAndParsedOnItsOwn) {
  const auto overview = Cli({"--help"});
  const char* names[] = {"encrypt",   "compress",     "decrypt",    "decompress", "keyless-encrypt",
                         "keyless-decrypt", "shred", "associate", "context-menu", "unregister",
                         "make-sfx",  "sfx-info",     "self-decrypt", "separate"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_NE(overview.out.find(std::string("\n  ") + name + " "), std::string::npos);
    const auto help = Cli({name, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find(std::string("Usage: vesk-cli ") + name), std::string::npos) << help.out;
    EXPECT_EQ(Cli({name, "--no-such-option"}).status, 2);
  }
  EXPECT_NE(Cli({"encrypt", "--help"}).out.find("--level"), std::string::npos);
  EXPECT_EQ(Cli({"--version"}).out, "vesk-cli 2.8.63\n");
  EXPECT_EQ(Cli({"encryp", "x"}).status, 2);
}

TEST_F(CliTest, InterruptCancelsAndLeavesNoPartialFile) {
  // A large sparse file keeps the encryption busy long enough to interrupt.
  const std::string big = dir_.File("big.img");
  int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, int64_t{64} << 20), 0);
  ::close(fd);
  ProcessOptions options = testing::CancelMidRun(SIGINT, "进行加密文件");
  options.env.insert({{"TMPDIR", tmp_.path()}, {"VESK_KEY", "k"}});
  auto r = RunProcess({VESK_CLI_PATH, "encrypt", big, "--level", "0", "--key-env", "VESK_KEY"}, options);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("加密文件已取消。"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("big.jmz")));
  EXPECT_EQ(FilesIn(dir_.path()), 1u);
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

TEST_F(CliTest, InterruptDuringCompressionRemovesTheTemporaryCopy) {
  WriteFile(dir_.File("noise.bin"), RandomBytes(4 << 20, 11));
  ProcessOptions options = testing::CancelMidRun(SIGINT, "进行压缩文件");
  options.env.insert({{"TMPDIR", tmp_.path()}, {"VESK_KEY", "k"}});
  auto r = RunProcess({VESK_CLI_PATH, "encrypt", dir_.File("noise.bin"), "--level", "3", "--key-env", "VESK_KEY"},
                      options);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("加密文件已取消。"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("noise.jmz")));
  EXPECT_EQ(FilesIn(dir_.path()), 1u);
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

}  // namespace
}  // namespace vesk
