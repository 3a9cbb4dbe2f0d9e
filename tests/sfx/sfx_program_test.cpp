// Self-decrypting files whose program part is vesk-sfx: vesk-cli makes them
// from the vesk-sfx in its own folder, they run as programs of their own, and
// vesk-cli reads them, and the older files whose program part is vesk-cli.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "selfextract/elf_image.h"
#include "selfextract/layout.h"
#include "selfextract/sfx_engine.h"
#include "support/disk.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ProcessOptions;
using testing::ProcessResult;
using testing::RandomBytes;
using testing::ReadFile;
using testing::RunProcess;
using testing::TempDir;
using testing::WriteFile;

int64_t SizeOf(const std::string& path) { return static_cast<int64_t>(std::filesystem::file_size(path)); }

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

class SfxProgram : public ::testing::Test {
 protected:
  ProcessResult Run(std::vector<std::string> args, ProcessOptions options = {}) {
    options.env.emplace("TMPDIR", tmp_.path());
    options.env.emplace("VESK_KEY", "口令 secret");
    return RunProcess(args, options);
  }
  ProcessResult Cli(std::vector<std::string> args, ProcessOptions options = {}) {
    args.insert(args.begin(), VESK_CLI_PATH);
    return Run(std::move(args), std::move(options));
  }
  // A keyed container of `plain` under the key in VESK_KEY, compressed first
  // at `level`.
  std::string Container(const std::string& name, const std::string& plain, const char* level = "0") {
    WriteFile(dir_.File(name), plain);
    const ProcessResult enc = Cli({"encrypt", dir_.File(name), "--level", level, "--key-env", "VESK_KEY"});
    EXPECT_EQ(enc.status, 0) << enc.err;
    std::filesystem::remove(dir_.File(name));
    return enc.out.substr(0, enc.out.size() - 1);
  }
  // A self-decrypting file as vesk-cli made them before vesk-sfx: the
  // program part is vesk-cli itself.
  std::string OldStyleFile(const std::string& jmz, const std::string& name) {
    const std::string path = dir_.File(name);
    WriteFile(path, ReadFile(VESK_CLI_PATH) +
                        selfextract::EncodePayloadHeader(SizeOf(jmz), selfextract::FitPayloadName("old.jmz")) +
                        ReadFile(jmz));
    EXPECT_EQ(::chmod(path.c_str(), 0755), 0);
    return path;
  }

  TempDir dir_;
  TempDir tmp_;
};

TEST_F(SfxProgram, AFileMadeByVeskCliCarriesVeskSfxAndDecryptsItsOwnPayload) {
  const std::string plain = RandomBytes(90000, 1);
  const std::string jmz = Container("报告.doc", plain);
  const ProcessResult made = Cli({"make-sfx", jmz});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string exe = dir_.File("报告.run");
  // vesk-sfx's image, the header, the container, which starts on a page.
  const std::string whole = ReadFile(exe);
  const std::string sfx = ReadFile(VESK_SFX_PATH);
  ASSERT_EQ(SizeOf(exe), SizeOf(VESK_SFX_PATH) + selfextract::kHeaderSize + SizeOf(jmz));
  EXPECT_EQ(selfextract::PayloadOffset(selfextract::ImageSizeOf(VESK_SFX_PATH)) % 4096, 0);
  EXPECT_EQ(whole.substr(0, sfx.size()), sfx);
  EXPECT_EQ(whole.substr(sfx.size() + selfextract::kHeaderSize), ReadFile(jmz));

  const std::string status = "自解密文件：报告.jmz  大小：" + std::to_string(SizeOf(jmz)) + "字节。";
  const ProcessResult shown = Run({exe});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out.substr(0, shown.out.find('\n')), status);
  EXPECT_NE(shown.out.find(exe + " self-decrypt"), std::string::npos);
  const ProcessResult info = Run({exe, "sfx-info"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("程序部分：" + std::to_string(SizeOf(VESK_SFX_PATH)) + "字节"), std::string::npos) << info.out;
  const ProcessResult version = Run({exe, "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("vesk-sfx"), std::string::npos);

  // Into an existing folder, under the stored name; then refused and kept
  // when asked not to replace.
  std::filesystem::create_directory(dir_.File("out"));
  const ProcessResult dec = Run({exe, "self-decrypt", "--key-env", "VESK_KEY", "-o", dir_.File("out")});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(dec.out, dir_.File("out/报告.doc") + "\n");
  EXPECT_EQ(ReadFile(dir_.File("out/报告.doc")), plain);
  const ProcessResult no = Run({exe, "self-decrypt", "--key-env", "VESK_KEY", "-o", dir_.File("out"), "--no"});
  EXPECT_EQ(no.status, 1);
  EXPECT_NE(no.err.find("文件已经存在,是否替换? 否 则不替换, 跳过这个文件。 -> 否"), std::string::npos) << no.err;
  EXPECT_EQ(ReadFile(dir_.File("out/报告.doc")), plain);

  // Taken apart by itself: the program part is vesk-sfx again.
  const ProcessResult sep = Run({exe, "separate", "-o", dir_.File("out/back")});
  ASSERT_EQ(sep.status, 0) << sep.err;
  EXPECT_EQ(sep.out, dir_.File("out/Vesk 文件加密.run") + "\n" + dir_.File("out/back.jmz") + "\n");
  EXPECT_EQ(ReadFile(dir_.File("out/Vesk 文件加密.run")), sfx);
  EXPECT_EQ(ReadFile(dir_.File("out/back.jmz")), ReadFile(jmz));

  // vesk-cli reads the same file without running it.
  const ProcessResult read = Cli({"self-decrypt", exe, "--key-env", "VESK_KEY", "-o", dir_.File("again")});
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(ReadFile(dir_.File("again.doc")), plain);
}

TEST_F(SfxProgram, ACompressedPayloadComesBackAsPrivateAsTheFile) {
  const std::string plain = std::string(400000, 'x') + RandomBytes(20000, 2);
  const std::string jmz = Container("p.txt", plain, "2");
  ASSERT_EQ(Cli({"make-sfx", jmz}).status, 0);
  const std::string exe = dir_.File("p.run");
  ASSERT_EQ(::chmod(exe.c_str(), 0700), 0);
  const ProcessResult dec = Run({exe, "self-decrypt", "--key-env", "VESK_KEY", "-o", dir_.File("q")});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_NE(dec.err.find("解密文件 ... 已完成。"), std::string::npos) << dec.err;
  EXPECT_EQ(ReadFile(dir_.File("q.txt")), plain);
  EXPECT_EQ(ModeOf(dir_.File("q.txt")), 0600u);
  EXPECT_TRUE(testing::FolderEntries(tmp_.path()).empty());  // the deciphered copy is gone
}

TEST_F(SfxProgram, DamageWarningsEndWithStatus3AndAWrongKeyWritesNothing) {
  const std::string plain = RandomBytes(5000, 3);
  const std::string jmz = Container("a.txt", plain);
  ASSERT_EQ(Cli({"make-sfx", jmz, "-o", dir_.File("w")}).status, 0);
  // Bytes appended: the stored size differs from the bytes present.
  const std::string exe = dir_.File("long.run");
  WriteFile(exe, ReadFile(dir_.File("w.run")) + "trailing");
  ASSERT_EQ(::chmod(exe.c_str(), 0755), 0);
  const ProcessResult dec = Run({exe, "self-decrypt", "--key-env", "VESK_KEY", "-o", dir_.File("d")});
  EXPECT_EQ(dec.status, 3) << dec.err;
  EXPECT_NE(dec.err.find("不相同！"), std::string::npos) << dec.err;
  EXPECT_EQ(ReadFile(dir_.File("d.txt")), plain);
  std::filesystem::create_directory(dir_.File("apart"));
  EXPECT_EQ(Run({exe, "separate", "-o", dir_.File("apart")}).status, 3);

  ProcessOptions wrong;
  wrong.env = {{"OTHER", "bad"}};
  const ProcessResult bad = Run({dir_.File("w.run"), "self-decrypt", "--key-env", "OTHER", "-o", dir_.File("x")}, wrong);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("解密的密钥与加密的文件里的密钥不相同,不能解密!"), std::string::npos) << bad.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("x.txt")));
}

TEST_F(SfxProgram, ASignalCancelsASelfDecryptAndLeavesNothing) {
  const std::string jmz = Container("big.bin", RandomBytes(8 << 20, 4));
  ProcessOptions test_build;
  test_build.test_build = true;  // the program part with the signal tests' hold
  ASSERT_EQ(Cli({"make-sfx", jmz}, test_build).status, 0);
  std::filesystem::remove(jmz);
  std::filesystem::create_directory(dir_.File("out"));
  const ProcessResult run = Run({dir_.File("big.run"), "self-decrypt", "--key-env", "VESK_KEY", "-o", dir_.File("out")},
                                testing::CancelMidRun(SIGINT, "进行解密文件"));
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("自解密文件已取消。"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(testing::FolderEntries(dir_.File("out")).empty());
  EXPECT_TRUE(testing::FolderEntries(tmp_.path()).empty());
}

// Double-clicked in a file manager (no terminal, a display, the output going
// to a log file rather than a pipe), a self-decrypting file hands itself to
// the window, else to a terminal emulator, else to a message box. Stand-in
// programs record how they were started.
TEST_F(SfxProgram, StartedWithoutATerminalItHandsItselfToWhatTheDesktopHas) {
  const std::string jmz = Container("d.txt", "desktop");
  ASSERT_EQ(Cli({"make-sfx", jmz}).status, 0);
  const std::string exe = dir_.File("d.run");
  const std::string record = dir_.File("record.txt");
  const struct {
    const char* name;
    std::vector<std::string> on_path;  // stand-ins in the folder PATH names
    bool window_beside = false;        // a stand-in "vesk" beside the file
    std::string terminal;              // $TERMINAL
    std::vector<std::string> expected;  // the recorded command line; "EXE" is the file
  } cases[] = {
      {"the window on PATH", {"vesk", "xterm"}, false, "", {"vesk", "--self-decrypt", "EXE"}},
      {"the window beside the file", {"xterm"}, true, "", {"vesk", "--self-decrypt", "EXE"}},
      {"$TERMINAL first", {"gnome-terminal", "my-term"}, false, "my-term", {"my-term", "-e", "/bin/sh", "-c"}},
      {"gnome-terminal's own option", {"gnome-terminal", "xterm"}, false, "", {"gnome-terminal", "--", "/bin/sh", "-c"}},
      {"xfce4-terminal's own option", {"xfce4-terminal"}, false, "", {"xfce4-terminal", "-x", "/bin/sh", "-c"}},
      {"no terminal: a box", {"xmessage"}, false, "", {"xmessage", "-center"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir bin;
    std::filesystem::remove(record);
    std::filesystem::remove(dir_.File("vesk"));
    std::vector<std::string> stand_ins;
    for (const std::string& name : c.on_path) stand_ins.push_back(bin.File(name));
    if (c.window_beside) stand_ins.push_back(dir_.File("vesk"));
    for (const std::string& path : stand_ins) {
      WriteFile(path, "#!/bin/sh\nfor a in \"${0##*/}\" \"$@\"; do printf '%s\\n' \"$a\"; done > " + record + "\n");
      ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
    }
    ProcessOptions options;
    options.env = {{"PATH", bin.path()}, {"DISPLAY", ":99"}, {"WAYLAND_DISPLAY", ""}, {"TERMINAL", c.terminal}};
    const ProcessResult r = Run({"/bin/sh", "-c", "exec \"$0\" > \"$1\" 2>&1", exe, dir_.File("log.txt")}, options);
    EXPECT_EQ(r.status, 0) << ReadFile(dir_.File("log.txt"));
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(record));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::vector<std::string> expected = c.expected;
    for (std::string& e : expected) if (e == "EXE") e = exe;
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(expected.size())), expected);
    if (expected.back() == "-c") {
      EXPECT_EQ(lines.at(expected.size() + 1), exe);  // the script's $0
    }
    if (expected.front() == "xmessage") {
      EXPECT_NE(lines.back().find(exe), std::string::npos);
    }
  }
  std::filesystem::remove(dir_.File("vesk"));

  // Nothing at all: said on standard error, status 1. With a terminal, or
  // read through a pipe, or without a display, the file describes itself.
  TempDir empty;
  ProcessOptions bare;
  bare.env = {{"PATH", empty.path()}, {"DISPLAY", ":99"}, {"TERMINAL", ""}};
  const ProcessResult none = Run({"/bin/sh", "-c", "exec \"$0\" > \"$1\" 2>&1", exe, dir_.File("log.txt")}, bare);
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(ReadFile(dir_.File("log.txt")).find("不能在这里解密"), std::string::npos);
  const ProcessResult piped = Run({exe}, bare);
  EXPECT_EQ(piped.status, 0);
  EXPECT_NE(piped.out.find("自解密文件：d.jmz"), std::string::npos) << piped.out;
  bare.env["DISPLAY"] = "";
  const ProcessResult headless = Run({"/bin/sh", "-c", "exec \"$0\" > \"$1\" 2>&1", exe, dir_.File("log.txt")}, bare);
  EXPECT_EQ(headless.status, 0);
  EXPECT_NE(ReadFile(dir_.File("log.txt")).find("自解密文件：d.jmz"), std::string::npos);
}

TEST_F(SfxProgram, TheBareProgramCarriesNothingAndSaysSo) {
  EXPECT_EQ(Run({VESK_SFX_PATH}).status, 2);  // a subcommand is needed
  const ProcessResult dec = Run({VESK_SFX_PATH, "self-decrypt", "--key-env", "VESK_KEY"});
  EXPECT_EQ(dec.status, 2);
  EXPECT_NE(dec.err.find("vesk-sfx 本身不是自解密文件"), std::string::npos) << dec.err;
  // It acts on itself only: no file to name, and none of vesk-cli's other commands.
  EXPECT_EQ(Run({VESK_SFX_PATH, "sfx-info", dir_.File("any.run")}).status, 2);
  EXPECT_EQ(Run({VESK_SFX_PATH, "make-sfx", dir_.File("a.jmz")}).status, 2);
}

TEST_F(SfxProgram, WithoutVeskSfxBesideItMakeSfxWritesNothing) {
  const std::string jmz = Container("a.txt", RandomBytes(3000, 5));
  std::filesystem::create_directory(dir_.File("bin"));
  const std::string cli = dir_.File("bin/vesk-cli");
  std::filesystem::copy_file(VESK_CLI_PATH, cli);
  const ProcessResult missing = Run({cli, "make-sfx", jmz, "-o", dir_.File("x")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("找不到自解密文件的程序部分“" + dir_.File("bin/vesk-sfx") + "”"), std::string::npos)
      << missing.err;
  EXPECT_EQ(missing.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("x.run")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("a.run")));

  // Installed beside it, it is taken.
  std::filesystem::copy_file(VESK_SFX_PATH, dir_.File("bin/vesk-sfx"));
  const ProcessResult made = Run({cli, "make-sfx", jmz, "-o", dir_.File("x")});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(SizeOf(dir_.File("x.run")), SizeOf(VESK_SFX_PATH) + selfextract::kHeaderSize + SizeOf(jmz));
}

TEST_F(SfxProgram, FilesWhoseProgramPartIsVeskCliStillOpen) {
  const std::string plain = RandomBytes(6000, 6);
  const std::string jmz = Container("a.txt", plain);
  const std::string old = OldStyleFile(jmz, "old.run");

  const ProcessResult info = Cli({"sfx-info", old});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("程序部分：" + std::to_string(SizeOf(VESK_CLI_PATH)) + "字节"), std::string::npos);
  const ProcessResult dec = Cli({"self-decrypt", old, "--key-env", "VESK_KEY", "-o", dir_.File("back")});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(ReadFile(dir_.File("back.txt")), plain);
  std::filesystem::create_directory(dir_.File("apart"));
  const ProcessResult sep = Cli({"separate", old, "-o", dir_.File("apart")});
  ASSERT_EQ(sep.status, 0) << sep.err;
  EXPECT_EQ(ReadFile(dir_.File("apart/Vesk 文件加密.run")), ReadFile(VESK_CLI_PATH));
  EXPECT_EQ(ReadFile(dir_.File("apart/old.jmz")), ReadFile(jmz));

  // Run as itself, it still decrypts its payload.
  const ProcessResult own = Run({old, "self-decrypt", "--key-env", "VESK_KEY", "-o", dir_.File("own")});
  ASSERT_EQ(own.status, 0) << own.err;
  EXPECT_EQ(ReadFile(dir_.File("own.txt")), plain);
}

// How the running process `pid` of `program` stands for core files and
// debuggers, once it runs `program`: "core 0, undumpable" when no core file
// can be written and no other process of its user can read its memory.
std::string DumpState(int pid, const std::string& program) {
  const std::string proc = "/proc/" + std::to_string(pid);
  for (int i = 0; i < 500; ++i) {
    std::error_code error;
    if (std::filesystem::read_symlink(proc + "/exe", error) == std::filesystem::canonical(program)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // past the start of main
  std::ifstream limits(proc + "/limits");
  std::string line, core = "?";
  while (std::getline(limits, line)) {
    if (line.rfind("Max core file size", 0) == 0) core = line.substr(26, 20);
  }
  core.erase(core.find_last_not_of(' ') + 1);
  struct stat st {};
  ::stat((proc + "/status").c_str(), &st);
  // An undumpable process's /proc files belong to root.
  return "core " + core + (st.st_uid == 0 ? ", undumpable" : ", dumpable");
}

// A key read by any of the programs cannot end up in a core file or be read
// by a debugger of the same user: each is asked for its key through a FIFO
// and looked at while it waits, running as an unprivileged user.
TEST_F(SfxProgram, EveryProgramKeepsItsKeysOutOfCoreFilesAndDebuggers) {
  const std::string jmz = Container("a.doc", "plain");
  ASSERT_EQ(Cli({"make-sfx", jmz}).status, 0);
  const std::string fifo = dir_.File("key");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  ::chmod(fifo.c_str(), 0666);
  ::chmod(dir_.path().c_str(), 0755);
  if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv";
  const std::vector<std::string> as_user = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  struct Program {
    std::string path;
    std::vector<std::string> args;
  };
  const Program programs[] = {{VESK_CLI_PATH, {"decrypt", jmz, "--key-file", fifo}},
                              {dir_.File("a.run"), {"self-decrypt", "--key-file", fifo}}};
  for (const Program& program : programs) {
    SCOPED_TRACE(program.path);
    std::vector<std::string> argv = as_user;
    argv.push_back(program.path);
    argv.insert(argv.end(), program.args.begin(), program.args.end());
    ProcessOptions options;
    std::string state;
    options.while_running = [&](int pid) {
      state = DumpState(pid, program.path);
      ::kill(pid, SIGKILL);  // its run is of no interest
    };
    Run(argv, options);
    EXPECT_EQ(state, "core 0, undumpable");
  }
}

}  // namespace
}  // namespace vesk
