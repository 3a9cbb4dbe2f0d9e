// What scripts rely on: exit statuses, signals, a closed standard error, the
// terminal, how "-o" names the output, links at the target, permissions,
// keys, and runs at once sharing one temporary folder.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "cli/cli_fixture.h"

namespace vesk {
namespace {

using testing::CliTest;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::RandomBytes;
using testing::ReadFile;
using testing::RunInTerminal;
using testing::WriteFile;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

bool Holds(const std::string& path, const std::string& expected) {
  return std::filesystem::exists(path) && ReadFile(path) == expected;
}

using CliContract = CliTest;

TEST_F(CliContract, ADecryptionThatOnlyCompletedDespiteDamageExitsWithThree) {
  // Without compression the decryption completes the run; with it, the
  // decompression it hands over to does, and the damage goes along.
  for (const char* level : {"0", "2"}) {
    SCOPED_TRACE(level);
    const std::string plain = RandomBytes(5000, 1);
    WriteFile(dir_.File("f.bin"), plain);
    std::filesystem::remove(dir_.File("f.jmz"));
    std::filesystem::remove(dir_.File("g.bin"));
    ASSERT_EQ(Cli({"encrypt", dir_.File("f.bin"), "--level", level, "--key-env", "VESK_KEY"}).status, 0);
    std::ofstream(dir_.File("f.jmz"), std::ios::app | std::ios::binary) << "garbage";
    auto dec = Cli({"decrypt", dir_.File("f.jmz"), "-o", dir_.File("g"), "--key-env", "VESK_KEY"});
    EXPECT_EQ(dec.status, 3) << dec.err;
    EXPECT_TRUE(Contains(dec.err, "加密的文件(被破坏)")) << dec.err;
    EXPECT_TRUE(Contains(dec.err, "(退出状态 3)")) << dec.err;
    // Damage inside an uncompressed payload goes unseen: the warning says so.
    EXPECT_TRUE(Contains(dec.err, "请使用 .age 格式")) << dec.err;
    EXPECT_EQ(dec.out, dir_.File("g.bin") + "\n");
    EXPECT_TRUE(Holds(dir_.File("g.bin"), plain));
  }
}

TEST_F(CliContract, HangupAndBrokenPipeCancelCleanly) {
  WriteFile(dir_.File("noise.bin"), RandomBytes(4 << 20, 11));
  for (int sig : {SIGHUP, SIGPIPE, SIGTERM}) {
    SCOPED_TRACE(sig);
    const ProcessOptions options = testing::CancelMidRun(sig, "进行压缩文件");
    auto r = Cli({"encrypt", dir_.File("noise.bin"), "--level", "3", "--key-env", "VESK_KEY"}, {}, options);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "加密文件已取消。")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("noise.jmz")));
    EXPECT_EQ(FilesIn(tmp_.path()), 0u);
    EXPECT_EQ(FilesIn(dir_.path()), 1u);
  }
}

TEST_F(CliContract, AClosedStandardErrorDoesNotEndTheRun) {
  const std::string plain = std::string(300000, 'c') + RandomBytes(3000, 2);
  WriteFile(dir_.File("c.txt"), plain);
  ProcessOptions options;
  options.close_stderr = true;
  auto enc = Cli({"encrypt", dir_.File("c.txt"), "--key-env", "VESK_KEY"}, {}, options);
  EXPECT_EQ(enc.status, 0);
  EXPECT_EQ(enc.out, dir_.File("c.jmz") + "\n");
  auto dec = Cli({"decrypt", dir_.File("c.jmz"), "-o", dir_.File("d"), "--key-env", "VESK_KEY"}, {}, options);
  EXPECT_EQ(dec.status, 0);
  EXPECT_TRUE(Holds(dir_.File("d.txt"), plain));
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

TEST_F(CliContract, CtrlCAtTheHiddenKeyPromptGivesTheEchoBack) {
  WriteFile(dir_.File("f.txt"), "data");
  bool prompted = false, echo_off_while_asking = false;
  const int status = RunInTerminal({VESK_CLI_PATH, "encrypt", dir_.File("f.txt")}, {{"TMPDIR", tmp_.path()}},
                                   [&](int master, int slave, int /*pid*/) {
                                     std::string seen;
                                     const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                                     while (!Contains(seen, "密钥: ") && std::chrono::steady_clock::now() < deadline) {
                                       pollfd p{master, POLLIN, 0};
                                       if (::poll(&p, 1, 100) <= 0) continue;
                                       char buf[256];
                                       const ssize_t n = ::read(master, buf, sizeof buf);
                                       if (n <= 0) break;
                                       seen.append(buf, static_cast<std::size_t>(n));
                                     }
                                     prompted = Contains(seen, "密钥: ");
                                     // The prompt comes before the echo goes off: wait for it.
                                     for (int i = 0; i < 200 && !echo_off_while_asking; ++i) {
                                       termios t{};
                                       ::tcgetattr(slave, &t);
                                       echo_off_while_asking = (t.c_lflag & ECHO) == 0;
                                       if (!echo_off_while_asking) std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                     }
                                     const char ctrl_c = 3;
                                     EXPECT_EQ(::write(master, &ctrl_c, 1), 1);
                                     // Keep draining so that the child never blocks on a full terminal.
                                     for (;;) {
                                       pollfd p{master, POLLIN, 0};
                                       if (::poll(&p, 1, 300) <= 0) break;
                                       char buf[256];
                                       if (::read(master, buf, sizeof buf) <= 0) break;
                                     }
                                     termios after{};
                                     ::tcgetattr(slave, &after);
                                     EXPECT_NE(after.c_lflag & ECHO, 0u) << "the echo stayed off";
                                   });
  EXPECT_TRUE(prompted);
  EXPECT_TRUE(echo_off_while_asking);
  EXPECT_EQ(status, 128 + SIGINT);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("f.jmz")));
}

TEST_F(CliContract, CompressingAContainerTakesItsDecryptionKey) {
  WriteFile(dir_.File("p.bin"), RandomBytes(3000, 4));
  ASSERT_EQ(Cli({"encrypt", dir_.File("p.bin"), "--level", "0", "--key-env", "VESK_KEY"}).status, 0);
  auto refused = Cli({"compress", dir_.File("p.jmz")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Contains(refused.err, "解密密钥是空的")) << refused.err;
  auto zip = Cli({"compress", dir_.File("p.jmz"), "--decrypt-key-env", "VESK_KEY"});
  ASSERT_EQ(zip.status, 0) << zip.err;
  EXPECT_EQ(zip.out, dir_.File("p.jmz.zak") + "\n");
  auto unzip = Cli({"decompress", dir_.File("p.jmz.zak"), "-o", dir_.File("q.jmz")});
  ASSERT_EQ(unzip.status, 0) << unzip.err;
  EXPECT_EQ(ReadFile(dir_.File("q.jmz")), ReadFile(dir_.File("p.jmz")));
}

TEST_F(CliContract, ADanglingLinkAtTheTargetIsAnExistingFile) {
  WriteFile(dir_.File("f.txt"), std::string(4000, 'f'));
  struct Case {
    std::vector<std::string> args;
    std::string target;
  };
  ASSERT_EQ(Cli({"compress", dir_.File("f.txt"), "-o", dir_.File("g.zak")}).status, 0);
  const std::vector<Case> cases = {
      {{"encrypt", dir_.File("f.txt"), "--key-env", "VESK_KEY"}, dir_.File("f.jmz")},
      {{"compress", dir_.File("f.txt")}, dir_.File("f.txt.zak")},
      {{"decompress", dir_.File("g.zak"), "-o", dir_.File("h")}, dir_.File("h")},
      {{"keyless-encrypt", dir_.File("f.txt"), "--key-env", "VESK_KEY"}, dir_.File("f.txt.jmz")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    std::filesystem::create_symlink(dir_.File("nowhere"), c.target);
    auto args = c.args;
    args.push_back("--no");
    auto r = Cli(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, c.target + " 文件已经存在,是否替换? 否 则")) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(c.target));
    args.back() = "--yes";
    r = Cli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(c.target)));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("nowhere")));
  }
}

TEST_F(CliContract, AnOutputThatEndsWithTheExtensionNamesTheFinalFile) {
  const std::string plain = std::string(20000, 'x') + RandomBytes(2000, 5);
  WriteFile(dir_.File("x.txt"), plain);
  for (const char* level : {"0", "2"}) {
    SCOPED_TRACE(level);
    ASSERT_EQ(Cli({"encrypt", dir_.File("x.txt"), "--level", level, "--key-env", "VESK_KEY", "--yes"}).status, 0);
    auto named = Cli({"decrypt", dir_.File("x.jmz"), "-o", dir_.File("out.txt"), "--key-env", "VESK_KEY", "--yes"});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, dir_.File("out.txt") + "\n");
    EXPECT_TRUE(Holds(dir_.File("out.txt"), plain));
    auto stem = Cli({"decrypt", dir_.File("x.jmz"), "-o", dir_.File("other"), "--key-env", "VESK_KEY", "--yes"});
    EXPECT_EQ(stem.out, dir_.File("other.txt") + "\n");
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out.txt.txt")));

  auto zak = Cli({"compress", dir_.File("x.txt"), "-o", dir_.File("b.zak")});
  ASSERT_EQ(zak.status, 0) << zak.err;
  EXPECT_EQ(zak.out, dir_.File("b.zak") + "\n");
  auto derived = Cli({"compress", dir_.File("x.txt"), "-o", dir_.File("c")});
  EXPECT_EQ(derived.out, dir_.File("c.txt.zak") + "\n");
  auto back = Cli({"decompress", dir_.File("b.zak"), "-o", dir_.File("b.txt")});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_TRUE(Holds(dir_.File("b.txt"), plain));
}

TEST_F(CliContract, DecompressedFilesTakeTheirSourcesPermissions) {
  WriteFile(dir_.File("s.txt"), std::string(100000, 's'));
  ASSERT_EQ(Cli({"encrypt", dir_.File("s.txt"), "--key-env", "VESK_KEY"}).status, 0);
  ASSERT_EQ(::chmod(dir_.File("s.jmz").c_str(), 0600), 0);
  auto dec = Cli({"decrypt", dir_.File("s.jmz"), "-o", dir_.File("t"), "--key-env", "VESK_KEY"});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(ModeOf(dir_.File("t.txt")), 0600u);

  ASSERT_EQ(Cli({"compress", dir_.File("s.txt")}).status, 0);
  ASSERT_EQ(::chmod(dir_.File("s.txt.zak").c_str(), 0640), 0);
  ASSERT_EQ(Cli({"decompress", dir_.File("s.txt.zak"), "-o", dir_.File("u.txt")}).status, 0);
  EXPECT_EQ(ModeOf(dir_.File("u.txt")), 0640u);
}

TEST_F(CliContract, KeysGbkCannotHoldAreRefusedAndAByteOrderMarkIsNoPartOfAKey) {
  WriteFile(dir_.File("f.txt"), "data");
  auto refused = Cli({"encrypt", dir_.File("f.txt"), "--key-env", "EMOJI"}, {{"EMOJI", "😀😀😀😀"}});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Contains(refused.err, "加密的密钥中有GBK编码不能表示的字符")) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("f.jmz")));

  WriteFile(dir_.File("key.txt"), "\xEF\xBB\xBF密钥\n");
  ASSERT_EQ(Cli({"encrypt", dir_.File("f.txt"), "--key-file", dir_.File("key.txt")}).status, 0);
  auto dec = Cli({"decrypt", dir_.File("f.jmz"), "-o", dir_.File("g"), "--key-env", "PLAIN"}, {{"PLAIN", "密钥"}});
  EXPECT_EQ(dec.status, 0) << dec.err;
  EXPECT_TRUE(Holds(dir_.File("g.txt"), "data"));
}

TEST_F(CliContract, RunsAtOnceSharingTheTemporaryFolderKeepTheirOwnFiles) {
  // Same names in two folders, and a file of the user's named as a
  // temporary copy once was.
  const std::string a = dir_.File("a"), b = dir_.File("b");
  std::filesystem::create_directory(a);
  std::filesystem::create_directory(b);
  const std::string plain_a = std::string(6 << 20, 'a') + RandomBytes(70000, 6);
  const std::string plain_b = RandomBytes(2 << 20, 7) + std::string(3 << 20, 'b') + RandomBytes(333, 8);
  WriteFile(a + "/x.txt", plain_a);
  WriteFile(b + "/x.txt", plain_b);
  WriteFile(tmp_.File("x.zak"), "mine");

  auto both = [&](const std::vector<std::string>& args_a, const std::vector<std::string>& args_b) {
    auto first = std::async(std::launch::async, [&] { return Cli(args_a); });
    auto second = std::async(std::launch::async, [&] { return Cli(args_b); });
    return std::pair{first.get(), second.get()};
  };
  auto enc = both({"encrypt", a + "/x.txt", "--level", "1", "--key-env", "VESK_KEY"},
                  {"encrypt", b + "/x.txt", "--level", "1", "--key-env", "VESK_KEY"});
  ASSERT_EQ(enc.first.status, 0) << enc.first.err;
  ASSERT_EQ(enc.second.status, 0) << enc.second.err;
  auto zip = both({"compress", a + "/x.txt"}, {"compress", b + "/x.txt"});
  ASSERT_EQ(zip.first.status, 0) << zip.first.err;
  ASSERT_EQ(zip.second.status, 0) << zip.second.err;
  auto unzip = both({"decompress", a + "/x.txt.zak", "-o", a + "/y.txt"}, {"decompress", b + "/x.txt.zak", "-o", b + "/y.txt"});
  ASSERT_EQ(unzip.first.status, 0) << unzip.first.err;
  ASSERT_EQ(unzip.second.status, 0) << unzip.second.err;
  EXPECT_TRUE(Holds(a + "/y.txt", plain_a));
  EXPECT_TRUE(Holds(b + "/y.txt", plain_b));

  for (const std::string& folder : {a, b}) {
    auto dec = Cli({"decrypt", folder + "/x.jmz", "-o", folder + "/z", "--key-env", "VESK_KEY"});
    ASSERT_EQ(dec.status, 0) << dec.err;
  }
  EXPECT_TRUE(Holds(a + "/z.txt", plain_a));
  EXPECT_TRUE(Holds(b + "/z.txt", plain_b));
  EXPECT_EQ(ReadFile(tmp_.File("x.zak")), "mine");
  EXPECT_EQ(FilesIn(tmp_.path()), 1u);
}

}  // namespace
}  // namespace vesk
