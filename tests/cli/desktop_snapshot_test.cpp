// vesk-cli context-menu, associate and unregister in a private home: what
// they say about each place, and that unregister gives the user's folders
// back exactly as they were before.
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::ReadFile;
using testing::RunProcess;
using testing::TempDir;
using testing::WriteFile;

// Every file, folder and link under `root` with its permission bits and
// content.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> state;
  if (!fs::exists(root)) return state;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const auto perms = static_cast<unsigned>(fs::symlink_status(e.path()).permissions());
    state[e.path().string()] = std::to_string(perms) + (e.is_symlink()     ? " link " + fs::read_symlink(e.path()).string()
                                                        : e.is_directory() ? " folder"
                                                                           : " " + ReadFile(e.path().string()));
  }
  return state;
}

class DesktopHome : public ::testing::Test {
 protected:
  DesktopHome() {
    fs::create_directories(dir.File("bin"));
    program = dir.File("bin/vesk");
    WriteFile(program, "#!/bin/sh\nexit 0\n");
    ::chmod(program.c_str(), 0755);
    fs::create_directories(dir.File("etc/Thunar"));
    WriteFile(dir.File("etc/Thunar/uca.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action><name>System</name><command>x %f</command>"
              "<patterns>*</patterns></action>\n</actions>\n");
  }
  ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), VESK_CLI_PATH);
    ProcessOptions options;
    options.env = {{"HOME", dir.File("home")},
                   {"XDG_DATA_HOME", dir.File("home/.local/share")},
                   {"XDG_CONFIG_HOME", dir.File("home/.config")},
                   {"XDG_CONFIG_DIRS", dir.File("etc")},
                   {"PATH", "/usr/bin:/bin"}};
    return RunProcess(args, options);
  }
  TempDir dir;
  std::string program;
};

TEST_F(DesktopHome, UnregisterGivesTheFoldersBackAsTheyWereBeforeContextMenu) {
  // A home with some of the user's own files at shared places.
  fs::create_directories(dir.File("home/.config/Thunar"));
  WriteFile(dir.File("home/.config/Thunar/uca.xml"),
            "<?xml version=\"1.0\"?>\n<actions>\n  <action><name>Mine</name><unique-id>1-1</unique-id>"
            "<command>mine %F</command><patterns>*</patterns></action>\n</actions>\n");
  WriteFile(dir.File("home/.config/mimeapps.list"), "[Default Applications]\napplication/x-vesk-jmz=other.desktop;\n");
  fs::create_directories(dir.File("home/.local/share/nemo/actions"));
  WriteFile(dir.File("home/.local/share/nemo/actions/mine.nemo_action"), "[Nemo Action]\nName=Mine\n");
  const auto before = Snapshot(dir.File("home"));

  ProcessResult r = Cli({"context-menu", "--program", program});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* place : {"GNOME 文件", "Thunar: 已写入", "Dolphin (KDE 5): 已写入", "Dolphin (KDE 6): 已写入",
                            "Nemo: 已写入", "Caja"}) {
    EXPECT_NE(r.err.find(place), std::string::npos) << place << "\n" << r.err;
  }
  EXPECT_NE(r.err.find("已在右键菜单中增加 “用 Vesk 加密” 和 “用 Vesk 解密”"), std::string::npos) << r.err;
  r = Cli({"associate", "--program", program});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("已注册关联 .jmz 加密文件。"), std::string::npos) << r.err;
  EXPECT_NE(ReadFile(dir.File("home/.config/mimeapps.list")).find("=vesk-jmz.desktop;other.desktop;"), std::string::npos);
  EXPECT_NE(Snapshot(dir.File("home")), before);

  r = Cli({"unregister"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("已清除本程序的全部注册项和设置。"), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot(dir.File("home")), before);
}

TEST_F(DesktopHome, AnEmptyHomeIsEmptyAgainAndTheSystemsThunarActionsStayVisible) {
  fs::create_directories(dir.File("home"));
  ASSERT_EQ(Cli({"context-menu", "--program", program}).status, 0);
  // Thunar shows the system's actions only to a user without uca.xml: the
  // file made for ours keeps them.
  EXPECT_NE(ReadFile(dir.File("home/.config/Thunar/uca.xml")).find("<name>System</name>"), std::string::npos);
  ASSERT_EQ(Cli({"associate", "--program", program}).status, 0);
  ASSERT_EQ(Cli({"unregister"}).status, 0);
  EXPECT_EQ(Snapshot(dir.File("home")), (std::map<std::string, std::string>{}));
}

TEST_F(DesktopHome, AFileOfTheUsersIsRefusedByNameAndTheExitStatusSaysSo) {
  fs::create_directories(dir.File("home/.local/share/kio/servicemenus"));
  const std::string mine = dir.File("home/.local/share/kio/servicemenus/vesk-open.desktop");
  WriteFile(mine, "[Desktop Entry]\nName=Mine\n");
  const ProcessResult r = Cli({"context-menu", "--program", program});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Dolphin (KDE 6): 这里已有不是本程序写的文件, 没有覆盖: " + mine), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("右键菜单项只增加到了 "), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(mine), "[Desktop Entry]\nName=Mine\n");
  // Removing leaves it too, and says so.
  const ProcessResult removed = Cli({"unregister"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_NE(removed.err.find("Dolphin (KDE 6): 这里的文件不是本程序写的, 保留未动: " + mine), std::string::npos)
      << removed.err;
  EXPECT_EQ(ReadFile(mine), "[Desktop Entry]\nName=Mine\n");
}

}  // namespace
}  // namespace vesk
