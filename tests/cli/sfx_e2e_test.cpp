// Self-decrypting files as a user makes and opens them: vesk-cli wraps a
// container with the small program part vesk-sfx, the result runs as a
// program of its own, and vesk-cli reads such files without running them.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "selfextract/layout.h"
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

constexpr int64_t kHeader = 259;

mode_t ProgramMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0777 & ~mask;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

int64_t SizeOf(const std::string& path) { return static_cast<int64_t>(std::filesystem::file_size(path)); }

// A folder as given after "-o", with its final "/".
std::string AsFolder(const std::string& folder) { return folder.back() == '/' ? folder : folder + "/"; }

class SfxCli : public ::testing::Test {
 protected:
  ProcessResult Run(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
    env.emplace("TMPDIR", tmp_.path());
    env.emplace("VESK_KEY", "口令 secret");
    ProcessOptions options;
    options.env = env;
    return RunProcess(args, options);
  }
  ProcessResult Cli(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
    args.insert(args.begin(), VESK_CLI_PATH);
    return Run(std::move(args), std::move(env));
  }
  // A keyed container of `plain` under the key in VESK_KEY.
  std::string Container(const std::string& name, const std::string& plain) {
    WriteFile(dir_.File(name), plain);
    const ProcessResult enc = Cli({"encrypt", dir_.File(name), "--level", "0", "--key-env", "VESK_KEY"});
    EXPECT_EQ(enc.status, 0) << enc.err;
    std::filesystem::remove(dir_.File(name));
    return enc.out.substr(0, enc.out.size() - 1);
  }

  TempDir dir_;
  TempDir tmp_;
};

TEST_F(SfxCli, AMadeFileRunsAsAProgramAndRestoresItsPayload) {
  const std::string plain = RandomBytes(70000, 1);
  const std::string jmz = Container("报告.doc", plain);
  const ProcessResult made = Cli({"make-sfx", jmz});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string exe = dir_.File("报告.run");
  EXPECT_EQ(made.out, exe + "\n");
  EXPECT_NE(made.err.find("创建自解密文件已完成。（" + exe + "）"), std::string::npos);
  EXPECT_EQ(ModeOf(exe), ProgramMode());
  // The program image is vesk-sfx, then the header, then the container.
  const std::string program = ReadFile(VESK_SFX_PATH);
  const std::string whole = ReadFile(exe);
  ASSERT_EQ(SizeOf(exe), SizeOf(VESK_SFX_PATH) + kHeader + SizeOf(jmz));
  EXPECT_EQ(whole.substr(0, program.size()), program);
  EXPECT_EQ(whole.substr(program.size() + kHeader), ReadFile(jmz));

  // Started without arguments it says what it carries and how to open it.
  const ProcessResult shown = Run({exe});
  ASSERT_EQ(shown.status, 0) << shown.err;
  const std::string status = "自解密文件：报告.jmz  大小：" + std::to_string(SizeOf(jmz)) + "字节。";
  EXPECT_EQ(shown.out.substr(0, shown.out.find('\n')), status);
  EXPECT_NE(shown.out.find(exe + " self-decrypt"), std::string::npos);
  EXPECT_NE(shown.out.find(exe + " separate"), std::string::npos);

  // Self-decrypt acts on its own file: the output is the typed name plus the
  // stored extension.
  WriteFile(dir_.File("key.txt"), "口令 secret\n");
  const ProcessResult dec = Run({exe, "self-decrypt", "--key-file", dir_.File("key.txt"), "-o", dir_.File("还原")});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(dec.out, dir_.File("还原.doc") + "\n");
  EXPECT_EQ(ReadFile(dir_.File("还原.doc")), plain);

  // A wrong key writes nothing.
  const ProcessResult wrong = Run({exe, "self-decrypt", "--key-env", "OTHER", "-o", dir_.File("x")}, {{"OTHER", "bad"}});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("解密的密钥与加密的文件里的密钥不相同,不能解密!"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("x.doc")));

  // The same file read by vesk-cli without running it.
  const ProcessResult info = Cli({"sfx-info", exe});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.out.substr(0, info.out.find('\n')), status);
  EXPECT_NE(info.out.find("附带的是保存密钥的加密文件。"), std::string::npos);
  std::filesystem::remove(dir_.File("还原.doc"));
  const ProcessResult read = Cli({"self-decrypt", exe, "--key-env", "VESK_KEY"});
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out, dir_.File("报告.doc") + "\n");  // proposed: the file's folder and the stored name
  EXPECT_EQ(ReadFile(dir_.File("报告.doc")), plain);
}

TEST_F(SfxCli, SeparateGivesTheContainerAndARunnableProgramPart) {
  const std::string jmz = Container("a.txt", RandomBytes(5000, 2));
  ASSERT_EQ(Cli({"make-sfx", jmz, "-o", dir_.File("wrapped.bin")}).status, 0);
  const std::string exe = dir_.File("wrapped.run");  // the extension is always ".run"
  std::filesystem::create_directory(dir_.File("out"));

  const ProcessResult sep = Run({exe, "separate", "-o", dir_.File("out/back")});
  ASSERT_EQ(sep.status, 0) << sep.err;
  const std::string part = dir_.File("out/Vesk 文件加密.run");
  EXPECT_EQ(sep.out, part + "\n" + dir_.File("out/back.jmz") + "\n");
  EXPECT_EQ(ReadFile(dir_.File("out/back.jmz")), ReadFile(jmz));
  EXPECT_EQ(ReadFile(part), ReadFile(VESK_SFX_PATH));
  EXPECT_EQ(ModeOf(part), ProgramMode());
  const ProcessResult version = Run({part, "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("vesk-sfx"), std::string::npos);

  // Both files exist now: --no leaves them as they are, --yes replaces them.
  WriteFile(dir_.File("out/back.jmz"), "old");
  const ProcessResult no = Cli({"separate", exe, "-o", dir_.File("out/back.jmz"), "--no"});
  EXPECT_EQ(no.status, 1);
  EXPECT_NE(no.err.find(part + " 文件已经存在,是否替换? 否 则取消。"), std::string::npos);
  EXPECT_NE(no.err.find("分离自解密文件已取消。"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_.File("out/back.jmz")), "old");
  const ProcessResult yes = Cli({"separate", exe, "-o", dir_.File("out/back.jmz"), "--yes"});
  ASSERT_EQ(yes.status, 0) << yes.err;
  EXPECT_EQ(ReadFile(dir_.File("out/back.jmz")), ReadFile(jmz));
}

TEST_F(SfxCli, DamagedSelfDecryptingFilesEndWithTheDamageStatus) {
  const std::string jmz = Container("a.txt", RandomBytes(5000, 3));
  ASSERT_EQ(Cli({"make-sfx", jmz, "-o", dir_.File("w.bin")}).status, 0);
  const std::string exe = dir_.File("w.run");
  const std::string whole = ReadFile(exe);
  // Cut short: the stored size exceeds the bytes present. Bytes appended: the
  // stored size differs from them. Both are warnings the run completes after.
  struct Case {
    std::string name, bytes, warning;
  };
  for (const Case& c : {Case{"cut.exe", whole.substr(0, whole.size() - 100), "被破坏或者出错！"},
                        Case{"long.exe", whole + "trailing", "不相同！"}}) {
    SCOPED_TRACE(c.name);
    WriteFile(dir_.File(c.name), c.bytes);
    const std::string out = dir_.File(c.name + ".out");
    std::filesystem::create_directory(out);
    const ProcessResult sep = Cli({"separate", dir_.File(c.name), "-o", out + "/back.jmz"});
    EXPECT_EQ(sep.status, 3) << sep.err;
    EXPECT_NE(sep.err.find(c.warning), std::string::npos) << sep.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/back.jmz"));
  }
  // A clean file still ends with 0.
  std::filesystem::create_directory(dir_.File("clean"));
  EXPECT_EQ(Cli({"separate", exe, "-o", dir_.File("clean/back.jmz")}).status, 0);
}

TEST_F(SfxCli, SelfDecryptingADamagedFileEndsWithTheDamageStatus) {
  const std::string plain = RandomBytes(5000, 7);
  const std::string jmz = Container("a.txt", plain);
  ASSERT_EQ(Cli({"make-sfx", jmz, "-o", dir_.File("w")}).status, 0);
  const std::string whole = ReadFile(dir_.File("w.run"));
  const auto name_at = static_cast<std::size_t>(SizeOf(VESK_SFX_PATH)) + 8;
  std::string unnamed = whole;
  unnamed.replace(name_at, 251, std::string(251, '\0'));  // length byte and name field emptied
  struct Case {
    std::string name, bytes, warning;
  };
  for (const Case& c : {Case{"cut.run", whole.substr(0, whole.size() - 100), "被破坏或者出错！"},
                        Case{"long.run", whole + "trailing", "不相同！"},
                        Case{"unnamed.run", unnamed, "自解密里的加密文件名称(出错)是空的！"}}) {
    SCOPED_TRACE(c.name);
    WriteFile(dir_.File(c.name), c.bytes);
    const std::string out = dir_.File(c.name + ".out");
    const ProcessResult dec = Cli({"self-decrypt", dir_.File(c.name), "--key-env", "VESK_KEY", "-o", out});
    EXPECT_EQ(dec.status, 3) << dec.err;
    EXPECT_NE(dec.err.find(c.warning), std::string::npos) << dec.err;
    EXPECT_EQ(dec.out, out + ".txt\n");
  }
  // The file with bytes appended still holds the whole container.
  EXPECT_EQ(ReadFile(dir_.File("long.run.out.txt")), plain);
  const ProcessResult clean = Cli({"self-decrypt", dir_.File("w.run"), "--key-env", "VESK_KEY", "-o", dir_.File("ok")});
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_EQ(ReadFile(dir_.File("ok.txt")), plain);
}

TEST_F(SfxCli, AnExistingFolderAfterDashOGetsTheOutputUnderItsProposedName) {
  const std::string plain = RandomBytes(3000, 8);
  const std::string jmz = Container("a.txt", plain);
  for (const char* folder : {"d1", "d2", "d3", "d4", "d5", "d6"}) std::filesystem::create_directory(dir_.File(folder));
  // With and without the final "/", as for the other commands.
  for (const std::string& folder : {dir_.File("d1"), dir_.File("d2") + "/"}) {
    SCOPED_TRACE(folder);
    const ProcessResult made = Cli({"make-sfx", jmz, "-o", folder});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string exe = AsFolder(folder) + "a.run";
    EXPECT_EQ(made.out, exe + "\n");
    EXPECT_EQ(ReadFile(exe).substr(static_cast<std::size_t>(SizeOf(VESK_SFX_PATH) + kHeader)), ReadFile(jmz));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("d1.run")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("d2/.run")));

  const std::string exe = dir_.File("d1/a.run");
  for (const std::string& folder : {dir_.File("d3"), dir_.File("d4") + "/"}) {
    SCOPED_TRACE(folder);
    const ProcessResult sep = Cli({"separate", exe, "-o", folder});
    ASSERT_EQ(sep.status, 0) << sep.err;
    const std::string into = AsFolder(folder);
    EXPECT_EQ(sep.out, into + "Vesk 文件加密.run\n" + into + "a.jmz\n");
    EXPECT_EQ(ReadFile(into + "a.jmz"), ReadFile(jmz));
  }
  for (const std::string& folder : {dir_.File("d5"), dir_.File("d6") + "/"}) {
    SCOPED_TRACE(folder);
    const ProcessResult dec = Cli({"self-decrypt", exe, "--key-env", "VESK_KEY", "-o", folder});
    ASSERT_EQ(dec.status, 0) << dec.err;
    const std::string into = AsFolder(folder);
    EXPECT_EQ(dec.out, into + "a.txt\n");
    EXPECT_EQ(ReadFile(into + "a.txt"), plain);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("d4/.jmz")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("d6/.txt")));
}

TEST_F(SfxCli, ControlCharactersInAStoredNameNeverReachTheTerminalOrAFileName) {
  const std::string plain = RandomBytes(4000, 9);
  const std::string jmz = Container("a.txt", plain);
  ASSERT_EQ(Cli({"make-sfx", jmz, "-o", dir_.File("w")}).status, 0);
  // The name field rewritten: a title sequence, a bell and a line break.
  const std::string crafted = "a\x1B]0;owned\x07\nb.jmz";
  std::string bytes = ReadFile(dir_.File("w.run"));
  const auto name_at = static_cast<std::size_t>(SizeOf(VESK_SFX_PATH)) + 8;
  bytes[name_at] = static_cast<char>(crafted.size());
  bytes.replace(name_at + 1, crafted.size(), crafted);
  const std::string exe = dir_.File("crafted.run");
  WriteFile(exe, bytes);
  ASSERT_EQ(::chmod(exe.c_str(), 0755), 0);
  const std::string status = "自解密文件：a\\x1B]0;owned\\x07\\x0Ab.jmz  大小：" + std::to_string(SizeOf(jmz)) + "字节。";
  auto raw = [](const ProcessResult& r) {
    return (r.out + r.err).find_first_of("\x1B\x07") != std::string::npos;
  };

  const ProcessResult info = Cli({"sfx-info", exe});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.out.substr(0, info.out.find('\n')), status);
  EXPECT_FALSE(raw(info));
  const ProcessResult shown = Run({exe});
  EXPECT_EQ(shown.out.substr(0, shown.out.find('\n')), status);
  EXPECT_FALSE(raw(shown));

  const ProcessResult sep = Cli({"separate", exe});
  ASSERT_EQ(sep.status, 0) << sep.err;
  EXPECT_EQ(sep.out, dir_.File("Vesk 文件加密.run") + "\n" + dir_.File("a_]0;owned__b.jmz") + "\n");
  EXPECT_EQ(ReadFile(dir_.File("a_]0;owned__b.jmz")), ReadFile(jmz));
  EXPECT_FALSE(raw(sep));
  const ProcessResult dec = Cli({"self-decrypt", exe, "--key-env", "VESK_KEY"});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(dec.out, dir_.File("a_]0;owned__b.txt") + "\n");
  EXPECT_EQ(ReadFile(dir_.File("a_]0;owned__b.txt")), plain);
  EXPECT_FALSE(raw(dec));
}

TEST_F(SfxCli, NewFilesAreNamedRunAndFilesOfAnyNameAreRead) {
  const std::string plain = RandomBytes(3000, 10);
  const std::string jmz = Container("b.txt", plain);
  const ProcessResult made = Cli({"make-sfx", jmz, "-o", dir_.File("b.exe")});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, dir_.File("b.run") + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("b.exe")));
  // One made under the old name (or renamed) is read, decrypted and taken apart.
  std::filesystem::rename(dir_.File("b.run"), dir_.File("old.exe"));
  EXPECT_EQ(Cli({"sfx-info", dir_.File("old.exe")}).status, 0);
  const ProcessResult dec = Cli({"self-decrypt", dir_.File("old.exe"), "--key-env", "VESK_KEY", "-o", dir_.File("c")});
  ASSERT_EQ(dec.status, 0) << dec.err;
  EXPECT_EQ(ReadFile(dir_.File("c.txt")), plain);
  std::filesystem::create_directory(dir_.File("apart"));
  const ProcessResult sep = Cli({"separate", dir_.File("old.exe"), "-o", dir_.File("apart/b.jmz")});
  ASSERT_EQ(sep.status, 0) << sep.err;
  EXPECT_EQ(sep.out, dir_.File("apart/Vesk 文件加密.run") + "\n" + dir_.File("apart/b.jmz") + "\n");
}

TEST_F(SfxCli, PrivateFilesStayPrivateThroughEveryCommand) {
  WriteFile(dir_.File("p.txt"), RandomBytes(40000, 11));
  ASSERT_EQ(::chmod(dir_.File("p.txt").c_str(), 0600), 0);
  const ProcessResult enc = Cli({"encrypt", dir_.File("p.txt"), "--level", "0", "--key-env", "VESK_KEY"});
  ASSERT_EQ(enc.status, 0) << enc.err;
  EXPECT_EQ(ModeOf(dir_.File("p.jmz")), 0600u);
  // Compressed first: through a temporary copy, the container still takes the source's bits.
  const ProcessResult packed = Cli({"encrypt", dir_.File("p.txt"), "-o", dir_.File("q"), "--key-env", "VESK_KEY"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(ModeOf(dir_.File("q.jmz")), 0600u);
  const ProcessResult keyless = Cli({"keyless-encrypt", dir_.File("p.txt"), "--key-env", "VESK_KEY"});
  ASSERT_EQ(keyless.status, 0) << keyless.err;
  EXPECT_EQ(ModeOf(dir_.File("p.txt.jmz")), 0600u);
  const ProcessResult made = Cli({"make-sfx", dir_.File("p.jmz")});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(ModeOf(dir_.File("p.run")), 0700u);
  std::filesystem::create_directory(dir_.File("apart"));
  const ProcessResult sep = Cli({"separate", dir_.File("p.run"), "-o", dir_.File("apart")});
  ASSERT_EQ(sep.status, 0) << sep.err;
  EXPECT_EQ(ModeOf(dir_.File("apart/p.jmz")), 0600u);
  EXPECT_EQ(ModeOf(dir_.File("apart/Vesk 文件加密.run")), 0700u);
}

TEST_F(SfxCli, AnOlderSelfDecryptingFileThatMakesOneGivesItOnlyVeskSfxAndTheNewPayload) {
  const std::string first = Container("one.txt", RandomBytes(3000, 3));
  const std::string second = Container("two.txt", RandomBytes(9000, 4));
  // An older file, whose program part is vesk-cli, with vesk-sfx beside it.
  const std::string older = dir_.File("one.run");
  WriteFile(older, ReadFile(VESK_CLI_PATH) + selfextract::EncodePayloadHeader(SizeOf(first), "one.jmz") + ReadFile(first));
  ASSERT_EQ(::chmod(older.c_str(), 0755), 0);
  std::filesystem::copy_file(VESK_SFX_PATH, dir_.File("vesk-sfx"));
  const ProcessResult made = Run({older, "make-sfx", second, "-o", dir_.File("nested")});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string nested = dir_.File("nested.run");
  EXPECT_EQ(SizeOf(nested), SizeOf(VESK_SFX_PATH) + kHeader + SizeOf(second));
  const ProcessResult info = Cli({"sfx-info", nested});
  EXPECT_NE(info.out.find("自解密文件：two.jmz  大小：" + std::to_string(SizeOf(second)) + "字节。"), std::string::npos);
}

TEST_F(SfxCli, OnlyKeyedContainersAreWrapped) {
  WriteFile(dir_.File("plain.txt"), RandomBytes(4000, 5));
  ASSERT_EQ(Cli({"keyless-encrypt", dir_.File("plain.txt"), "--key-env", "VESK_KEY"}).status, 0);
  ASSERT_EQ(Cli({"compress", dir_.File("plain.txt")}).status, 0);
  for (const std::string& file : {dir_.File("plain.txt.jmz"), dir_.File("plain.txt.zak"), dir_.File("plain.txt")}) {
    const ProcessResult r = Cli({"make-sfx", file, "-o", dir_.File("x.exe")});
    EXPECT_EQ(r.status, 1) << file;
    EXPECT_NE(r.err.find("文件未经此软件加密或者是另外(不保存密钥)加密的，不能创建自解密文件!"), std::string::npos);
  }
  WriteFile(dir_.File("empty.jmz"), "");
  const ProcessResult empty = Cli({"make-sfx", dir_.File("empty.jmz"), "-o", dir_.File("x.exe")});
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("文件是空的，不需要创建自解密文件!创建自解密文件已取消。"), std::string::npos);
  EXPECT_EQ(Cli({"make-sfx", dir_.File("missing.jmz")}).status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("x.run")));  // "-o x.exe" would have written x.run

  // Files that are no self-decrypting files, and vesk-cli itself without a FILE.
  const ProcessResult not_sfx = Cli({"sfx-info", dir_.File("plain.txt")});
  EXPECT_EQ(not_sfx.status, 1);
  EXPECT_NE(not_sfx.err.find("不是自解密文件"), std::string::npos);
  EXPECT_EQ(Cli({"separate", VESK_CLI_PATH, "-o", dir_.File("s.jmz")}).status, 1);
  EXPECT_EQ(Cli({"self-decrypt", "--key-env", "VESK_KEY"}).status, 2);
  EXPECT_EQ(Cli({}).status, 2);  // the plain program needs a subcommand
}

TEST_F(SfxCli, TheWindowProgramBesideVeskCliCanBeTheProgramPart) {
  const std::string jmz = Container("w.txt", RandomBytes(2000, 6));
  // An installation folder with vesk-cli alone, then with vesk beside it.
  std::filesystem::create_directory(dir_.File("bin"));
  const std::string cli = dir_.File("bin/vesk-cli");
  std::filesystem::copy_file(VESK_CLI_PATH, cli);
  const ProcessResult missing = Run({cli, "make-sfx", jmz, "--window"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("找不到窗口程序 " + dir_.File("bin/vesk")), std::string::npos);
#ifndef VESK_WINDOW_PATH
  GTEST_SKIP() << "the window program is not built";
#else
  std::filesystem::copy_file(VESK_WINDOW_PATH, dir_.File("bin/vesk"));
  const ProcessResult made = Run({cli, "make-sfx", jmz, "--window"});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string exe = dir_.File("w.run");
  EXPECT_EQ(SizeOf(exe), SizeOf(VESK_WINDOW_PATH) + kHeader + SizeOf(jmz));
  EXPECT_EQ(ReadFile(exe).substr(0, static_cast<std::size_t>(SizeOf(VESK_WINDOW_PATH))), ReadFile(VESK_WINDOW_PATH));

  // Started, it opens its window and shows what it carries.
  const std::string status = "自解密文件：w.jmz  大小：" + std::to_string(SizeOf(jmz)) + "字节。";
  ProcessOptions options;
  options.env = {{"QT_QPA_PLATFORM", "offscreen"}, {"VESK_ECHO_STATUS", "1"}, {"XDG_CONFIG_HOME", tmp_.path()},
                 {"XDG_RUNTIME_DIR", tmp_.path()}};
  options.stop_when = [&](const std::string& err) { return err.find(status) != std::string::npos; };
  const ProcessResult window = RunProcess({exe}, options);
  EXPECT_NE(window.err.find(status), std::string::npos) << window.err;

  // vesk-cli reads it, measuring the window program's image from the file.
  const ProcessResult sep = Cli({"separate", exe, "-o", dir_.File("w2.jmz")});
  ASSERT_EQ(sep.status, 0) << sep.err;
  EXPECT_EQ(ReadFile(dir_.File("Vesk 文件加密.run")), ReadFile(VESK_WINDOW_PATH));
  EXPECT_EQ(ReadFile(dir_.File("w2.jmz")), ReadFile(jmz));
#endif
}

}  // namespace
}  // namespace vesk
