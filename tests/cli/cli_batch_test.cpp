// Several files in one run: each as if given alone, one key for all, a
// failure on one not stopping the others, "-o" naming a folder.
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "cli/cli_fixture.h"

namespace vesk {
namespace {

using testing::CliTest;
using testing::ProcessOptions;
using testing::RandomBytes;
using testing::ReadFile;
using testing::RunInTerminal;
using testing::WriteFile;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliBatch : public CliTest {
 protected:
  // Files a.txt, b.txt, c.txt with different contents, their paths in order.
  std::vector<std::string> ThreeFiles() {
    std::vector<std::string> paths;
    for (const char* name : {"a", "b", "c"}) {
      const std::string path = dir_.File(std::string(name) + ".txt");
      WriteFile(path, std::string(20000 + name[0], name[0]) + RandomBytes(500, name[0]));
      paths.push_back(path);
    }
    return paths;
  }
  std::string Out(const std::string& name) { return dir_.File("out/" + name); }
  std::string Lines(std::initializer_list<std::string> paths) {
    std::string out;
    for (const auto& p : paths) out += p + "\n";
    return out;
  }
};

TEST_F(CliBatch, EveryCommandTakesSeveralFilesAndAFolderForThem) {
  const auto files = ThreeFiles();
  std::filesystem::create_directory(dir_.File("out"));
  std::vector<std::string> args = {"encrypt"};
  args.insert(args.end(), files.begin(), files.end());
  args.insert(args.end(), {"--key-env", "VESK_KEY"});
  auto enc = Cli(args);
  ASSERT_EQ(enc.status, 0) << enc.err;
  EXPECT_EQ(enc.out, Lines({dir_.File("a.jmz"), dir_.File("b.jmz"), dir_.File("c.jmz")}));

  auto dec = Cli({"decrypt", dir_.File("a.jmz"), dir_.File("b.jmz"), dir_.File("c.jmz"), "-o", dir_.File("out"),
                  "--key-env", "VESK_KEY"});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(dec.out, Lines({Out("a.txt"), Out("b.txt"), Out("c.txt")}));
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) EXPECT_EQ(ReadFile(Out(name)), ReadFile(dir_.File(name)));

  auto zip = Cli({"compress", files[0], files[1], "-o", dir_.File("out/"), "--level", "3"});
  ASSERT_EQ(zip.status, 0) << zip.err;
  EXPECT_EQ(zip.out, Lines({Out("a.txt.zak"), Out("b.txt.zak")}));
  std::filesystem::create_directory(dir_.File("out2"));
  auto unzip = Cli({"decompress", Out("a.txt.zak"), Out("b.txt.zak"), "-o", dir_.File("out2")});
  ASSERT_EQ(unzip.status, 0) << unzip.err;
  EXPECT_EQ(unzip.out, Lines({dir_.File("out2/a.txt"), dir_.File("out2/b.txt")}));
  EXPECT_EQ(ReadFile(dir_.File("out2/b.txt")), ReadFile(files[1]));

  auto kenc = Cli({"keyless-encrypt", files[0], files[2], "-o", dir_.File("out"), "--key-env", "VESK_KEY"});
  ASSERT_EQ(kenc.status, 0) << kenc.err;
  EXPECT_EQ(kenc.out, Lines({Out("a.txt.jmz"), Out("c.txt.jmz")}));
  auto kdec = Cli({"keyless-decrypt", Out("a.txt.jmz"), Out("c.txt.jmz"), "-o", dir_.File("out2"), "--key-env",
                   "VESK_KEY", "--yes"});
  ASSERT_EQ(kdec.status, 0) << kdec.err;
  EXPECT_EQ(kdec.out, Lines({dir_.File("out2/a.txt"), dir_.File("out2/c.txt")}));
  EXPECT_EQ(ReadFile(dir_.File("out2/c.txt")), ReadFile(files[2]));
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

TEST_F(CliBatch, AFailureOnOneFileIsReportedAndTheOthersStillRun) {
  const auto files = ThreeFiles();
  WriteFile(dir_.File("empty.txt"), "");
  auto enc = Cli({"encrypt", files[0], dir_.File("missing.txt"), dir_.File("empty.txt"), files[2], "--level", "0",
                  "--key-env", "VESK_KEY"});
  EXPECT_EQ(enc.status, 1);
  EXPECT_EQ(enc.out, Lines({dir_.File("a.jmz"), dir_.File("c.jmz")}));
  EXPECT_TRUE(Contains(enc.err, "文件是空的!不需要加密。")) << enc.err;
  EXPECT_TRUE(Contains(enc.err, "要加密的文件:“" + dir_.File("missing.txt") + "”不存在!")) << enc.err;
  EXPECT_TRUE(Contains(enc.err, dir_.File("empty.txt") + ": 没有完成。")) << enc.err;

  // "--no" keeps an existing output and goes on with the next file.
  auto again = Cli({"encrypt", files[0], files[1], "--key-env", "VESK_KEY", "--no"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out, Lines({dir_.File("b.jmz")}));
}

TEST_F(CliBatch, SeveralFilesNeedAFolderForTheirOutputs) {
  const auto files = ThreeFiles();
  WriteFile(dir_.File("plain-file"), "x");
  auto to_file = Cli({"compress", files[0], files[1], "-o", dir_.File("plain-file")});
  EXPECT_EQ(to_file.status, 2);
  auto to_nothing = Cli({"compress", files[0], files[1], "-o", dir_.File("no-such-folder")});
  EXPECT_EQ(to_nothing.status, 2);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("a.txt.zak")));
  // One file and a folder: the output goes into the folder.
  std::filesystem::create_directory(dir_.File("out"));
  auto one = Cli({"compress", files[0], "-o", dir_.File("out")});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.out, Lines({Out("a.txt.zak")}));
}

TEST_F(CliBatch, TheKeyIsAskedOnceForAllFiles) {
  const auto files = ThreeFiles();
  int prompts = 0, confirmations = 0;
  const int status = RunInTerminal(
      {VESK_CLI_PATH, "encrypt", files[0], files[1], files[2], "--level", "0"}, {{"TMPDIR", tmp_.path()}},
      [&](int master, int slave, int /*pid*/) {
        std::string seen;
        auto wait_for = [&](const std::string& text, std::size_t from) {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
          while (seen.find(text, from) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) return false;
            seen.append(buf, static_cast<std::size_t>(n));
          }
          return seen.find(text, from) != std::string::npos;
        };
        // Typed once the echo is off: switching it off drops what was typed before.
        auto type_when_hidden = [&] {
          for (int i = 0; i < 2000; ++i) {
            termios t{};
            ::tcgetattr(slave, &t);
            if ((t.c_lflag & ECHO) == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
          return ::write(master, "k\n", 2) == 2;
        };
        ASSERT_TRUE(wait_for("加密的密钥: ", 0));
        ASSERT_TRUE(type_when_hidden());
        ASSERT_TRUE(wait_for("再次输入密钥: ", 0));
        ASSERT_TRUE(type_when_hidden());
        wait_for(dir_.File("c.jmz"), 0);
        // Drain until the program ends.
        for (;;) {
          pollfd p{master, POLLIN, 0};
          if (::poll(&p, 1, 300) <= 0) break;
          char buf[512];
          const ssize_t n = ::read(master, buf, sizeof buf);
          if (n <= 0) break;
          seen.append(buf, static_cast<std::size_t>(n));
        }
        for (std::size_t at = seen.find("加密的密钥: "); at != std::string::npos; at = seen.find("加密的密钥: ", at + 1)) {
          ++prompts;
        }
        for (std::size_t at = seen.find("再次输入密钥: "); at != std::string::npos; at = seen.find("再次输入密钥: ", at + 1)) {
          ++confirmations;
        }
      });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(confirmations, 1);
  auto dec = Cli({"decrypt", dir_.File("a.jmz"), dir_.File("b.jmz"), dir_.File("c.jmz"), "-o", tmp_.path(),
                  "--key-env", "K"},
                 {{"K", "k"}});
  EXPECT_EQ(dec.status, 0) << dec.err;
}

TEST_F(CliBatch, AnInterruptCancelsTheFileBeingProcessedAndTheRest) {
  WriteFile(dir_.File("first.txt"), "first");
  WriteFile(dir_.File("noise.bin"), RandomBytes(4 << 20, 11));
  WriteFile(dir_.File("last.txt"), "last");
  // The second file's compression has begun when the interrupt comes.
  const ProcessOptions options = testing::CancelMidRun(SIGINT, "进行压缩文件", 2);
  auto r = Cli({"encrypt", dir_.File("first.txt"), dir_.File("noise.bin"), dir_.File("last.txt"), "--level", "3",
                "--key-env", "VESK_KEY"},
               {}, options);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, Lines({dir_.File("first.jmz")}));
  EXPECT_NE(r.err.find(dir_.File("noise.bin") + ": 没有完成。"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("noise.jmz")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("last.jmz")));
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

}  // namespace
}  // namespace vesk
