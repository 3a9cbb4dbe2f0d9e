// The desktop integration, checked through the desktop's own tools
// (xdg-utils, shared-mime-info, desktop-file-utils, GLib's gio) in folders of
// the test's own: what a file manager and a desktop see after each action.
#include "desktop/shell_integration.h"

#include "shell_folders.h"

namespace vesk::shell {
namespace {

TEST_F(ShellFolders, AfterAssociatingTheDesktopKnowsTheTypeAndOpensItWithTheProgram) {
  // xdg-mime asks mimetype(1) for a file's type on a desktop it does not
  // know; the file(1) it would fall back to reads no MIME packages.
  REQUIRE_TOOLS("xdg-mime", "mimetype", "update-mime-database", "update-desktop-database", "desktop-file-validate");
  const std::string program = Stub(kOddFolder);
  const Result r = RegisterAssociation(at, program);
  ASSERT_TRUE(r.ok()) << ProblemsOf(r);

  const std::string file = File("a b.jmz");
  EXPECT_EQ(Trimmed(Run("xdg-mime", {"query", "filetype", file}).out), kMimeType);
  EXPECT_EQ(Trimmed(Run("xdg-mime", {"query", "default", kMimeType}).out), kAssociationEntry);
  const ProcessResult valid = Run("desktop-file-validate", {at.AssociationEntry()});
  EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
  EXPECT_EQ(valid.out, "");

  const KeyFile entry = ReadKeyFile(ReadFile(at.AssociationEntry()));
  const auto& group = entry.at("Desktop Entry");
  EXPECT_EQ(group.at("MimeType"), std::string(kMimeType) + ";");
  EXPECT_EQ(group.at("NoDisplay"), "true");
  EXPECT_EQ(group.at("Icon"), "application-x-vesk-jmz");
  EXPECT_TRUE(fs::exists(at.data_home + "/icons/hicolor/scalable/mimetypes/application-x-vesk-jmz.svg"));
  const std::string package = ReadFile(at.MimePackage());
  EXPECT_NE(package.find("<glob pattern=\"*.jmz\"/>"), std::string::npos);
  EXPECT_NE(package.find("xml:lang=\"zh_CN\">Vesk 加密文件<"), std::string::npos);
  EXPECT_NE(package.find("<comment>Vesk encrypted file</comment>"), std::string::npos);

  // The command runs the program with the file, as a launcher forms it.
  const std::vector<std::string> expected{program, file};
  std::vector<std::string> argv = ExecArguments(group.at("Exec"), file);
  ASSERT_FALSE(argv.empty());
  RunProcess(argv);
  EXPECT_EQ(Recorded(), expected);
  // And as GLib's launcher (GNOME's) forms it.
  if (Tool("gio")) {
    Run("gio", {"launch", at.AssociationEntry(), file});
    EXPECT_EQ(Recorded(), expected);
  }
}

TEST_F(ShellFolders, RegisteringAgainLeavesOneSetForTheSecondProgram) {
  const std::string first = Stub("first");
  const std::string second = Stub("second place");
  ASSERT_TRUE(RegisterAssociation(at, first).ok());
  ASSERT_TRUE(RegisterAssociation(at, second).ok());

  int lines_of_ours = 0;
  for (const std::string& line : ReadLines(at.MimeAppsList())) lines_of_ours += line.rfind(kMimeType, 0) == 0;
  EXPECT_EQ(lines_of_ours, 1);
  // Package, icon, entry and the note of the folders made (mimeapps.list
  // holds no marker).
  EXPECT_EQ(FilesOfOurs().size(), 4u);
  const std::string exec = ReadKeyFile(ReadFile(at.AssociationEntry())).at("Desktop Entry").at("Exec");
  EXPECT_EQ(exec.find("first"), std::string::npos);
  const std::string file = File("x.jmz");
  RunProcess(ExecArguments(exec, file));
  EXPECT_EQ(Recorded(), (std::vector<std::string>{second, file}));
  if (Tool("xdg-mime")) {
    EXPECT_EQ(Trimmed(Run("xdg-mime", {"query", "default", kMimeType}).out), kAssociationEntry);
  }
}

TEST(MimeAppsList, OnlyTheTypesLineChanges) {
  const std::string list =
      "# mine\n"
      "[Added Associations]\n"
      "application/x-vesk-jmz=other.desktop;\n"
      "\n"
      "[Default Applications]\n"
      "text/html=firefox.desktop;\n"
      "application/x-vesk-jmz = other.desktop;\n"
      "image/png=eog.desktop;\n"
      "application/x-vesk-jmz=late.desktop;\n"
      "\n"
      "[Removed Associations]\n"
      "text/plain=nano.desktop;";
  // Ours goes first in the line that counts (a key file reader takes the
  // last); the user's choices stay behind it, every other line as it was.
  EXPECT_EQ(WithDefaultApplication(list, kMimeType, kAssociationEntry),
            "# mine\n"
            "[Added Associations]\n"
            "application/x-vesk-jmz=other.desktop;\n"
            "\n"
            "[Default Applications]\n"
            "text/html=firefox.desktop;\n"
            "application/x-vesk-jmz = other.desktop;\n"
            "image/png=eog.desktop;\n"
            "application/x-vesk-jmz=vesk-jmz.desktop;late.desktop;\n"
            "\n"
            "[Removed Associations]\n"
            "text/plain=nano.desktop;");

  // A section without the type gets it after its last line.
  EXPECT_EQ(WithDefaultApplication("[Default Applications]\ntext/html=f.desktop;\n\n\n[X]\n", kMimeType, kAssociationEntry),
            "[Default Applications]\ntext/html=f.desktop;\napplication/x-vesk-jmz=vesk-jmz.desktop;\n\n\n[X]\n");
  EXPECT_EQ(WithDefaultApplication("[Added Associations]\na/b=c.desktop;\n", kMimeType, kAssociationEntry),
            "[Added Associations]\na/b=c.desktop;\n[Default Applications]\napplication/x-vesk-jmz=vesk-jmz.desktop;\n");
  EXPECT_EQ(WithDefaultApplication("", kMimeType, kAssociationEntry),
            "[Default Applications]\napplication/x-vesk-jmz=vesk-jmz.desktop;\n");

  // Removing takes our entry only.
  const std::string ours = "[Default Applications]\ntext/html=f.desktop;\napplication/x-vesk-jmz=vesk-jmz.desktop;\n";
  EXPECT_EQ(WithoutDefaultApplication(ours, kMimeType, kAssociationEntry), "[Default Applications]\ntext/html=f.desktop;\n");
  EXPECT_EQ(WithoutDefaultApplication("[Default Applications]\napplication/x-vesk-jmz=vesk-jmz.desktop;b.desktop;\n",
                                      kMimeType, kAssociationEntry),
            "[Default Applications]\napplication/x-vesk-jmz=b.desktop;\n");
  EXPECT_EQ(WithoutDefaultApplication(list, kMimeType, kAssociationEntry), list);
}

TEST(MimeAppsList, OursFirstTheUsersKeptAndRemovingGivesTheListBack) {
  // The defect: the user's own default was replaced by ours, and removing
  // ours then lost it.
  EXPECT_EQ(WithDefaultApplication("[Default Applications]\napplication/x-vesk-jmz=other.desktop;more.desktop;\n",
                                   kMimeType, kAssociationEntry),
            "[Default Applications]\napplication/x-vesk-jmz=vesk-jmz.desktop;other.desktop;more.desktop;\n");
  // Ours further back moves to the front; already first, nothing changes.
  EXPECT_EQ(WithDefaultApplication("[Default Applications]\napplication/x-vesk-jmz=a.desktop;vesk-jmz.desktop;\n",
                                   kMimeType, kAssociationEntry),
            "[Default Applications]\napplication/x-vesk-jmz=vesk-jmz.desktop;a.desktop;\n");
  const std::string first = "[Default Applications]\napplication/x-vesk-jmz=vesk-jmz.desktop;a.desktop;\n";
  EXPECT_EQ(WithDefaultApplication(first, kMimeType, kAssociationEntry), first);
  // Removing leaves no empty section behind, and nothing when the list held
  // only ours.
  EXPECT_EQ(WithoutDefaultApplication("[Added Associations]\na/b=c.desktop;\n[Default Applications]\n"
                                      "application/x-vesk-jmz=vesk-jmz.desktop;\n",
                                      kMimeType, kAssociationEntry),
            "[Added Associations]\na/b=c.desktop;\n");
  EXPECT_EQ(WithoutDefaultApplication("[Default Applications]\napplication/x-vesk-jmz=vesk-jmz.desktop;\n", kMimeType,
                                      kAssociationEntry),
            "");

  // A section left empty goes, even one that was empty before.
  EXPECT_EQ(WithoutDefaultApplication(WithDefaultApplication("[Default Applications]\n", kMimeType, kAssociationEntry),
                                      kMimeType, kAssociationEntry),
            "");
  // Every other list comes back character for character after both.
  const std::vector<std::string> lists = {
      "",
      "[Default Applications]\ntext/html=firefox.desktop;\n",
      "[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\ntext/html=f.desktop;\n\n",
      "[Default Applications]\napplication/x-vesk-jmz = other.desktop;\r\n",
      "[Default Applications]\napplication/x-vesk-jmz=other.desktop\n",
      "# comment\n[Default Applications]\n# mine\napplication/x-vesk-jmz=a.desktop;b.desktop;\n[X]\ny=z\n",
      "[Default Applications]\ntext/html=f.desktop;\n[Default Applications]\napplication/x-vesk-jmz=a.desktop;\n",
      "[Removed Associations]\napplication/x-vesk-jmz=vesk-jmz.desktop;\n",
  };
  for (const std::string& list : lists) {
    const std::string with = WithDefaultApplication(list, kMimeType, kAssociationEntry);
    EXPECT_NE(with, list) << list;
    EXPECT_EQ(WithoutDefaultApplication(with, kMimeType, kAssociationEntry), list) << with;
    // Registering twice is registering once.
    EXPECT_EQ(WithDefaultApplication(with, kMimeType, kAssociationEntry), with);
  }
}

TEST_F(ShellFolders, AnExistingMimeappsListKeepsItsOtherEntriesAndStaysALink) {
  const std::string original =
      "[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\ntext/html=firefox.desktop;\n";
  // Kept by a dotfile manager: the list is a link to its real file.
  fs::create_directories(at.config_home);
  WriteFile(dir.File("dotfiles-mimeapps.list"), original);
  fs::create_symlink(dir.File("dotfiles-mimeapps.list"), at.MimeAppsList());

  // The browser the user chose stays the default for pages.
  fs::create_directories(at.ApplicationsFolder());
  WriteFile(at.ApplicationsFolder() + "/firefox.desktop", "[Desktop Entry]\nType=Application\nName=B\nExec=true %u\n");

  ASSERT_TRUE(RegisterAssociation(at, Stub("p")).ok());
  EXPECT_TRUE(fs::is_symlink(at.MimeAppsList()));
  EXPECT_EQ(ReadFile(at.MimeAppsList()), original + "application/x-vesk-jmz=vesk-jmz.desktop;\n");
  if (Tool("xdg-mime")) {
    EXPECT_EQ(Trimmed(Run("xdg-mime", {"query", "default", "text/html"}).out), "firefox.desktop");
  }

  ASSERT_TRUE(RemoveAll(at).ok());
  EXPECT_TRUE(fs::is_symlink(at.MimeAppsList()));
  EXPECT_EQ(ReadFile(at.MimeAppsList()), original);
}

TEST_F(ShellFolders, EveryFileManagerRunsTheProgramWithTheSelectedFile) {
  const std::string program = Stub(kOddFolder);
  const Result r = AddContextMenu(at, program, Desktop{});
  ASSERT_TRUE(r.ok()) << ProblemsOf(r);
  const std::string file = File("it's \"my\" $file.txt");
  const std::vector<std::string> expected{program, "--encrypt", file};

  // Dolphin: a KIO service menu, executable, for every file and folder.
  EXPECT_TRUE(Executable(at.DolphinMenu()));
  const KeyFile dolphin = ReadKeyFile(ReadFile(at.DolphinMenu()));
  EXPECT_EQ(dolphin.at("Desktop Entry").at("MimeType"), "application/octet-stream;inode/directory;");
  const auto& action = dolphin.at("Desktop Action " + dolphin.at("Desktop Entry").at("Actions").substr(
                                                          0, dolphin.at("Desktop Entry").at("Actions").find(';')));
  EXPECT_EQ(action.at("Name"), kEncryptItemEnglish);
  EXPECT_EQ(action.at("Name[zh_CN]"), kEncryptItem);
  RunProcess(ExecArguments(action.at("Exec"), file));
  EXPECT_EQ(Recorded(), expected);
  if (Tool("desktop-file-validate")) {
    const ProcessResult valid = Run("desktop-file-validate", {at.DolphinMenu()});
    EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
  }

  // GNOME Files and Caja without their Python extensions: executable
  // scripts named as the menu shows them, given the file by its name in the
  // shown folder or by its whole path.
  for (const std::string& script : {at.NautilusScript(), at.CajaScript()}) {
    EXPECT_EQ(fs::path(script).filename().string(), kMenuText);
    EXPECT_TRUE(Executable(script)) << script;
    RunProcess({"/bin/sh", "-c", "cd \"$1\" && exec \"$2\" \"$3\"", "sh", dir.File("files"), script,
                fs::path(file).filename().string()});
    EXPECT_EQ(Recorded(), expected) << script;
    RunProcess({script, file});
    EXPECT_EQ(Recorded(), expected) << script;
  }

  // Nemo: an action for any file; with Quote=double it puts the path in
  // double quotes, escaped, and parses the line as a shell would.
  const KeyFile nemo_file = ReadKeyFile(ReadFile(at.NemoAction()));
  const auto& nemo = nemo_file.at("Nemo Action");
  EXPECT_EQ(nemo.at("Name"), kEncryptItemEnglish);
  EXPECT_EQ(nemo.at("Name[zh_CN]"), kEncryptItem);
  EXPECT_EQ(nemo.at("Extensions"), "any;");
  EXPECT_EQ(nemo.at("Quote"), "double");
  std::string quoted = "\"";
  for (char c : file) {
    if (c == '"' || c == '\\' || c == '$' || c == '`') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string line = nemo.at("Exec");
  line.replace(line.find("%F"), 2, quoted);
  RunProcess({"/bin/sh", "-c", line});
  EXPECT_EQ(Recorded(), expected);

  // The context menu asks for no database refresh.
  EXPECT_FALSE(fs::exists(at.MimeFolder()));
  EXPECT_FALSE(fs::exists(at.ApplicationsFolder()));
}

TEST_F(ShellFolders, RemovingTakesEverythingOfOursAndNothingElse) {
  const std::string program = Stub("p");
  fs::create_directories(at.config_home);
  WriteFile(at.MimeAppsList(), "[Default Applications]\ntext/html=firefox.desktop;\n");
  ASSERT_TRUE(RegisterAssociation(at, program).ok());
  ASSERT_TRUE(AddContextMenu(at, program, Desktop{}).ok());
  // A script of the user's own under our name stays, as do other files.
  WriteFile(at.CajaScript(), "#!/bin/sh\necho mine\n");
  WriteFile(at.data_home + "/nemo/actions/mine.nemo_action", "[Nemo Action]\nName=Mine\n");
  const std::string file = File("a.jmz");

  const Result r = RemoveAll(at);
  ASSERT_TRUE(r.ok()) << ProblemsOf(r);
  EXPECT_EQ(FilesOfOurs(), std::vector<std::string>{});
  for (const std::string& path : {at.MimePackage(), at.AssociationEntry(), at.TypeIcon(), at.DolphinMenu(),
                                  at.NautilusScript(), at.NemoAction()}) {
    EXPECT_FALSE(fs::exists(path)) << path;
  }
  EXPECT_EQ(ReadFile(at.CajaScript()), "#!/bin/sh\necho mine\n");
  EXPECT_TRUE(fs::exists(at.data_home + "/nemo/actions/mine.nemo_action"));
  EXPECT_EQ(ReadFile(at.MimeAppsList()), "[Default Applications]\ntext/html=firefox.desktop;\n");
  // The databases the registration's own folders held go with them; the
  // desktop no longer knows the type.
  EXPECT_FALSE(fs::exists(at.MimeFolder()));
  EXPECT_FALSE(fs::exists(at.ApplicationsFolder()));
  if (Tool("xdg-mime") && Tool("mimetype")) {
    EXPECT_NE(Trimmed(Run("xdg-mime", {"query", "filetype", file}).out), kMimeType);
    EXPECT_EQ(Trimmed(Run("xdg-mime", {"query", "default", kMimeType}).out), "");
  }

  // Removing again, or when nothing was ever written, is no failure.
  EXPECT_TRUE(RemoveAll(at).ok());
  TempDir empty;
  const Locations none{empty.File("data"), empty.File("config")};
  EXPECT_TRUE(RemoveAll(none).ok());
  EXPECT_FALSE(fs::exists(none.data_home));
  EXPECT_FALSE(fs::exists(none.config_home));
}

TEST_F(ShellFolders, AListThatHeldOnlyOurLineGoesWithIt) {
  ASSERT_TRUE(RegisterAssociation(at, Stub("p")).ok());
  EXPECT_EQ(ReadFile(at.MimeAppsList()), "[Default Applications]\napplication/x-vesk-jmz=vesk-jmz.desktop;\n");
  ASSERT_TRUE(RemoveAll(at).ok());
  EXPECT_FALSE(fs::exists(at.MimeAppsList()));
}

TEST_F(ShellFolders, FailuresAreReportedAndStopTheRegistration) {
  // A path no entry can carry: nothing is written.
  for (const std::string& bad : {std::string("relative/vesk"), dir.File("line\nbreak"), dir.File("\xff\xfe")}) {
    const Result r = RegisterAssociation(at, bad);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(AddContextMenu(at, bad, Desktop{}).ok());
  }
  EXPECT_FALSE(fs::exists(at.data_home));
  EXPECT_FALSE(fs::exists(at.config_home));

  // A data folder that cannot be made: the first step fails, the rest is
  // skipped, so no default names an entry that is not there.
  WriteFile(dir.File("blocker"), "");
  const Locations blocked{dir.File("blocker/data"), at.config_home};
  const Result r = RegisterAssociation(blocked, Stub("p"));
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.Problems().front().place, Place::kMimePackage);
  EXPECT_EQ(r.Problems().front().outcome, Outcome::kFailed);
  EXPECT_EQ(r.Find(Place::kDefaultApplication)->outcome, Outcome::kSkipped);
  EXPECT_FALSE(fs::exists(blocked.MimeAppsList()));
  EXPECT_FALSE(AddContextMenu(blocked, Stub("p"), Desktop{}).ok());

  // A database tool that fails is a failure; one that is missing is
  // reported with its package, without failing the registration.
  const std::string bin = dir.File("bin");
  fs::create_directories(bin);
  WriteFile(bin + "/update-mime-database", "#!/bin/sh\nexit 2\n");
  ::chmod((bin + "/update-mime-database").c_str(), 0755);
  setenv("PATH", bin.c_str(), 1);
  const Result refreshed = RegisterAssociation(at, Stub("p"));
  ASSERT_EQ(refreshed.Problems().size(), 1u) << ProblemsOf(refreshed);
  EXPECT_EQ(refreshed.Problems()[0].place, Place::kDatabases);
  EXPECT_NE(refreshed.Problems()[0].detail.find("update-mime-database"), std::string::npos);
  bool desktop_tool_missing = false;
  for (const Step& s : refreshed.steps) {
    desktop_tool_missing |= s.outcome == Outcome::kToolMissing && s.detail == "update-desktop-database (desktop-file-utils)";
  }
  EXPECT_TRUE(desktop_tool_missing);
  EXPECT_TRUE(fs::exists(at.AssociationEntry()));
  EXPECT_FALSE(fs::exists(at.ApplicationsFolder() + "/mimeinfo.cache"));

  // A list of defaults that cannot be read is not replaced by ours.
  fs::remove(at.MimeAppsList());
  fs::create_directories(at.MimeAppsList());
  const Result unreadable_list = RegisterAssociation(at, Stub("p"));
  ASSERT_FALSE(unreadable_list.ok());
  EXPECT_EQ(unreadable_list.Problems().front().place, Place::kDefaultApplication);
  EXPECT_TRUE(fs::is_directory(at.MimeAppsList()));
  EXPECT_FALSE(RemoveAll(at).ok());
}

TEST(Quoting, ArgumentsSurviveEveryLayer) {
  for (const std::string path : {"/plain/vesk", "/a b/c", "/x\"y\\z$w`v/%f%%/vesk", "/it's/a'b"}) {
    const std::string exec = ReadKeyFile("[G]\nExec=" + DesktopExecArgument(path) + " %f\n").at("G").at("Exec");
    EXPECT_EQ(ExecArguments(exec, "F"), (std::vector<std::string>{path, "F"})) << path;
    const ProcessResult echoed = RunProcess({"/bin/sh", "-c", "printf %s " + ShellQuote(path)});
    EXPECT_EQ(echoed.out, path);
  }
}

}  // namespace
}  // namespace vesk::shell
