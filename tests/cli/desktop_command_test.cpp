// vesk-cli associate | context-menu | unregister as a packager's script runs
// them: which window program they register, their exit status and messages,
// and what they leave in the user's folders.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/desktop_entry.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::ExecArguments;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::ReadFile;
using testing::ReadKeyFile;
using testing::RunProcess;
using testing::TempDir;
using testing::WriteFile;

class DesktopCommands : public ::testing::Test {
 protected:
  DesktopCommands() {
    fs::create_directories(dir.File("empty-path"));
    fs::create_directories(dir.File("config/vesk"));
  }
  ProcessResult Cli(std::vector<std::string> args, const std::string& cli = VESK_CLI_PATH,
                    const std::string& path = "") {
    args.insert(args.begin(), cli);
    ProcessOptions options;
    options.env = {{"XDG_DATA_HOME", dir.File("data")},
                   {"XDG_CONFIG_HOME", dir.File("config")},
                   {"PATH", path.empty() ? dir.File("empty-path") : path}};
    return RunProcess(args, options);
  }
  std::string Program(const std::string& folder, const std::string& name = "vesk") {
    fs::create_directories(dir.File(folder));
    const std::string path = dir.File(folder + "/" + name);
    WriteFile(path, "#!/bin/sh\nexit 0\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }
  // The program the ".jmz" entry starts.
  std::string Registered() {
    const auto entry = ReadKeyFile(ReadFile(dir.File("data/applications/vesk-jmz.desktop")));
    return ExecArguments(entry.at("Desktop Entry").at("Exec"), "F").front();
  }

  TempDir dir;
};

TEST_F(DesktopCommands, TheWindowProgramIsTheGivenOneElseBesideElseOnThePath) {
  const std::string given = Program("given dir");
  ProcessResult r = Cli({"associate", "--program", given});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Registered(), given);
  EXPECT_NE(r.err.find(given), std::string::npos);

  // A vesk-cli with the window program beside it (as installed in /usr/bin).
  fs::create_directories(dir.File("bin"));
  const std::string cli = dir.File("bin/vesk-cli");
  fs::copy_file(VESK_CLI_PATH, cli);
  const std::string beside = Program("bin");
  const std::string on_path = Program("path dir");
  r = Cli({"associate"}, cli, dir.File("path dir"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Registered(), beside);

  // Nothing beside it: the one on PATH.
  fs::remove(beside);
  r = Cli({"associate"}, cli, dir.File("empty-path") + ":" + dir.File("path dir"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Registered(), on_path);

  // None at all, or a given one that is no program: a clear refusal, and the
  // registration stays as it was.
  r = Cli({"associate"}, cli);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("找不到窗口程序 vesk"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--program"), std::string::npos);
  WriteFile(dir.File("not-a-program"), "text");
  r = Cli({"context-menu", "--program", dir.File("not-a-program")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("不是可执行的程序"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir.File("data/nautilus")));
  EXPECT_EQ(Registered(), on_path);
}

TEST_F(DesktopCommands, ARelativeProgramIsRegisteredByItsWholePath) {
  Program("rel");
  ProcessOptions options;
  options.env = {{"XDG_DATA_HOME", dir.File("data")}, {"XDG_CONFIG_HOME", dir.File("config")}};
  const ProcessResult r = RunProcess({"/bin/sh", "-c", "cd \"$1\" && exec \"$2\" associate --program rel/vesk", "sh",
                                      dir.path(), VESK_CLI_PATH},
                                     options);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Registered(), dir.File("rel/vesk"));
}

TEST_F(DesktopCommands, UnregisterRemovesTheEntriesAndTheSettingsWithoutReadingThem) {
  const std::string program = Program("p");
  ASSERT_EQ(Cli({"associate", "--program", program}).status, 0);
  ASSERT_EQ(Cli({"context-menu", "--program", program}).status, 0);
  EXPECT_TRUE(fs::exists(dir.File("data/nemo/actions/vesk-open.nemo_action")));
  // Settings no reader could parse, and a file of the user's own beside.
  WriteFile(dir.File("config/vesk/vesk.conf"), std::string("\0\xff[[[", 5));
  WriteFile(dir.File("config/other.conf"), "mine");

  const ProcessResult r = Cli({"unregister"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir.File("config/vesk")));
  EXPECT_FALSE(fs::exists(dir.File("data/applications/vesk-jmz.desktop")));
  EXPECT_FALSE(fs::exists(dir.File("data/nemo/actions/vesk-open.nemo_action")));
  EXPECT_FALSE(fs::exists(dir.File("config/caja/scripts/Vesk 文件加密")));
  EXPECT_FALSE(fs::exists(dir.File("config/mimeapps.list")));
  EXPECT_EQ(ReadFile(dir.File("config/other.conf")), "mine");
  EXPECT_EQ(Cli({"unregister"}).status, 0);  // nothing left: still done

  // Settings that cannot be deleted: a failure with a message.
  fs::create_directories(dir.File("config/vesk/vesk.conf/inside"));
  const ProcessResult failed = Cli({"unregister"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("出错"), std::string::npos);
}

}  // namespace
}  // namespace vesk
