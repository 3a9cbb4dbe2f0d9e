// The context-menu items as each file manager reads them: the GNOME Files
// and Caja extensions loaded with the real GObject bindings, Thunar's
// uca.xml read by an XML parser, Dolphin's and Nemo's key files, the
// scripts of the "Scripts" submenu; and the places where a file of the
// user's own stands, which registration never replaces.
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>


#include "desktop/file_manager_menus.h"
#include "shell_folders.h"

namespace vesk::shell {
namespace {

constexpr char kSystemPython[] = "/usr/bin/python3";

std::string SourceFile(const std::string& name) { return std::string(VESK_TEST_SOURCE_DIR) + "/" + name; }

// The actions of a uca.xml as an XML parser reads them: id, name, command,
// patterns and whether folders count, one action per line.
std::vector<std::string> ParsedThunarActions(const std::string& path) {
  const ProcessResult parsed = RunProcess(
      {kSystemPython, "-c",
       "import sys, xml.etree.ElementTree as ET\n"
       "for a in ET.parse(sys.argv[1]).getroot().findall('action'):\n"
       "    print('|'.join([a.findtext('unique-id') or '', a.findtext('name') or '', a.findtext('command') or '',"
       " a.findtext('patterns') or '', 'dirs' if a.find('directories') is not None else 'files']))\n",
       path});
  EXPECT_EQ(parsed.status, 0) << parsed.err;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < parsed.out.size()) {
    const std::size_t end = parsed.out.find('\n', start);
    lines.push_back(parsed.out.substr(start, end - start));
    start = end == std::string::npos ? parsed.out.size() : end + 1;
  }
  return lines;
}

// `path` quoted as GLib's g_shell_quote does, which Thunar uses for %F.
std::string GShellQuote(const std::string& path) { return ShellQuote(path); }

// The names of the files and folders under `root`, with their content (for
// files) and permission bits: the state a removal must give back.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> state;
  if (!fs::exists(root)) return state;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const auto perms = static_cast<unsigned>(fs::symlink_status(e.path()).permissions());
    std::string what = std::to_string(perms) + (e.is_symlink() ? " link " + fs::read_symlink(e.path()).string()
                                                : e.is_directory() ? " folder"
                                                                   : " " + ReadFile(e.path().string()));
    state[e.path().string()] = what;
  }
  return state;
}

class Menus : public ShellFolders {
 protected:
  // Runs the bindings' check on a written extension; false (and the test
  // skipped) when the bindings are not installed.
  void CheckExtension(const char* module, const char* version, const std::string& extension) {
    fs::create_directories(dir.File(std::string("selected-") + module));
    const ProcessResult check =
        RunProcess({kSystemPython, SourceFile("menu_extension_check.py"), module, version, extension,
                    dir.File("record"), dir.File(std::string("selected-") + module)});
    if (check.status == 77) GTEST_SKIP() << check.err << " (scripts/setup.sh installs python3-nautilus, python3-caja)";
    EXPECT_EQ(check.status, 0) << module << ":\n" << check.out << check.err;
  }
};

TEST_F(Menus, TheGnomeFilesAndCajaExtensionsOfferTheItemsAndPassEveryPathAsItIs) {
  if (!fs::exists(kSystemPython)) GTEST_SKIP() << "python3 is not installed";
  // An older registration's "Scripts" entries go once the extensions are in.
  const std::string program = NulStub("the program's folder");
  ASSERT_TRUE(AddContextMenu(at, program, Desktop{}).ok());
  ASSERT_TRUE(fs::exists(at.NautilusScript()));
  const Result r = AddContextMenu(at, program, Desktop{true, true, ""});
  ASSERT_TRUE(r.ok()) << ProblemsOf(r);
  EXPECT_FALSE(fs::exists(at.NautilusScript()));
  EXPECT_FALSE(fs::exists(at.CajaScript()));
  EXPECT_EQ(r.Find(Place::kNautilus)->outcome, Outcome::kWritten);
  EXPECT_EQ(r.Find(Place::kCaja)->outcome, Outcome::kWritten);
  EXPECT_EQ(Summary(Action::kContextMenu, r),
            "已在右键菜单中增加 “用 Vesk 加密” 和 “用 Vesk 解密”: GNOME 文件、Thunar、Dolphin、Nemo、Caja。");

  CheckExtension("Nautilus", "4.0", at.NautilusExtension());
  CheckExtension("Caja", "2.0", at.CajaExtension());
}

// True when `text` holds "@NAME@" with NAME of capitals and underscores.
bool HasPlaceholder(const std::string& text) {
  for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
    std::size_t end = at + 1;
    while (end < text.size() && (std::isupper(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
    if (end > at + 1 && end < text.size() && text[end] == '@') return true;
  }
  return false;
}

TEST_F(Menus, ThePythonExtensionHasEveryPlaceholderFilledIn) {
  EXPECT_TRUE(HasPlaceholder("x @ENCRYPT_ITEM@ y"));
  for (const auto& [module, version] : {std::pair{"Nautilus", "4.0"}, std::pair{"Caja", "2.0"}}) {
    const std::string text = menus::PythonExtension(module, version, "/opt/vesk/vesk");
    EXPECT_FALSE(HasPlaceholder(text)) << module << ":\n" << text;
  }
}

TEST_F(Menus, WithoutThePythonBindingsTheScriptsStandInAndTheResultSaysWhichPackageIsMissing) {
  const std::string program = NulStub("p");
  const Result r = AddContextMenu(at, program, Desktop{});
  ASSERT_TRUE(r.ok()) << ProblemsOf(r);
  EXPECT_EQ(r.Find(Place::kNautilus)->outcome, Outcome::kFallback);
  EXPECT_EQ(r.Find(Place::kNautilus)->detail, "python3-nautilus");
  EXPECT_EQ(r.Find(Place::kCaja)->detail, "python3-caja");
  const std::string summary = Summary(Action::kContextMenu, r);
  EXPECT_NE(summary.find("GNOME 文件: 没有安装 python3-nautilus"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Caja: 没有安装 python3-caja"), std::string::npos) << summary;
  EXPECT_FALSE(fs::exists(at.NautilusExtension()));

  // Containers only: decrypt; anything else among them: encrypt. Names
  // relative to the shown folder become whole paths.
  const std::string a = File("a.jmz"), b = File("B.AGE"), c = File("c.txt");
  fs::create_directories(dir.File("files/box.jmz"));
  for (const std::string& script : {at.NautilusScript(), at.CajaScript()}) {
    RunProcess({"/bin/sh", "-c", "cd \"$1\" && shift && exec \"$@\"", "sh", dir.File("files"), script, "a.jmz", b});
    EXPECT_EQ(RecordedArguments(), (std::vector<std::string>{program, "--decrypt", a, b})) << script;
    RunProcess({script, a, c});
    EXPECT_EQ(RecordedArguments(), (std::vector<std::string>{program, "--encrypt", a, c})) << script;
    RunProcess({script, dir.File("files/box.jmz")});
    EXPECT_EQ(RecordedArguments(), (std::vector<std::string>{program, "--encrypt", dir.File("files/box.jmz")}));
  }
}

TEST_F(Menus, ThunarGetsTwoActionsAndTheUsersOwnStayByteForByte) {
  if (!fs::exists(kSystemPython)) GTEST_SKIP() << "python3 is not installed";
  const std::string users =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<actions>\n"
      "<action>\n"
      "\t<icon>utilities-terminal</icon>\n"
      "\t<name>Open Terminal Here</name>\n"
      "\t<unique-id>1599234567890-1</unique-id>\n"
      "\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>\n"
      "\t<patterns>*</patterns>\n"
      "\t<directories/>\n"
      "</action>\n"
      "<!-- my own note -->\n"
      "<action><icon>x</icon><name>Mine &amp; yours</name><unique-id>vesk</unique-id>"
      "<command>true %F</command><patterns>*.txt</patterns><text-files/></action>\n"
      "</actions>\n";
  fs::create_directories(at.config_home + "/Thunar");
  WriteFile(at.ThunarActions(), users);
  ::chmod(at.ThunarActions().c_str(), 0640);

  const std::string program = NulStub(kOddFolder);
  Result r = AddContextMenu(at, program, Desktop{});
  ASSERT_TRUE(r.ok()) << ProblemsOf(r);
  const std::string written = ReadFile(at.ThunarActions());
  // The user's text up to their last action is untouched.
  const std::size_t users_end = users.rfind("</actions>");
  EXPECT_EQ(written.substr(0, users_end), users.substr(0, users_end));
  EXPECT_EQ(fs::status(at.ThunarActions()).permissions(), fs::perms(0640));

  const std::vector<std::string> actions = ParsedThunarActions(at.ThunarActions());
  ASSERT_EQ(actions.size(), 4u) << written;
  EXPECT_EQ(actions[0], "1599234567890-1|Open Terminal Here|exo-open --working-directory %f --launch TerminalEmulator|*|dirs");
  EXPECT_EQ(actions[1], "vesk|Mine & yours|true %F|*.txt|files");
  EXPECT_EQ(actions[2], "vesk-encrypt|用 Vesk 加密|" + ShellQuote(program) + " --encrypt %F|*|dirs");
  EXPECT_EQ(actions[3], "vesk-decrypt|用 Vesk 解密|" + ShellQuote(program) + " --decrypt %F|*.jmz;*.JMZ;*.age;*.AGE|files");

  // The command as Thunar runs it: %F replaced by the quoted paths, the
  // line split as a shell does.
  const std::string a = File("it's a \"b\" $c.jmz"), b = File("two words.jmz");
  std::string line = ShellQuote(program) + " --decrypt %F";
  line.replace(line.find("%F"), 2, GShellQuote(a) + " " + GShellQuote(b));
  RunProcess({"/bin/sh", "-c", line});
  EXPECT_EQ(RecordedArguments(), (std::vector<std::string>{program, "--decrypt", a, b}));

  // Registering again leaves one pair; removing gives the user's file back.
  r = AddContextMenu(at, program, Desktop{});
  EXPECT_EQ(r.Find(Place::kThunar)->outcome, Outcome::kUnchanged);
  EXPECT_EQ(ParsedThunarActions(at.ThunarActions()).size(), 4u);
  r = RemoveAll(at);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(ReadFile(at.ThunarActions()), users);
  EXPECT_EQ(fs::status(at.ThunarActions()).permissions(), fs::perms(0640));
  // The report says the file stays, with only our entries gone.
  EXPECT_EQ(r.Find(Place::kThunar)->outcome, Outcome::kEntriesRemoved);
}

TEST_F(Menus, AUserWithoutUcaXmlKeepsTheSystemsActionsAndTheFileGoesAgain) {
  const std::string system_actions =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE actions [\n  <!ELEMENT actions (action)+>\n]>\n"
      "<actions>\n\n  <action>\n    <icon>utilities-terminal</icon>\n    <patterns>*</patterns>\n"
      "    <name>Open Terminal Here</name>\n    <command>exo-open %f</command>\n    <directories/>\n  </action>\n"
      "\n</actions>\n";
  fs::create_directories(dir.File("etc/Thunar"));
  WriteFile(dir.File("etc/Thunar/uca.xml"), system_actions);
  setenv("XDG_CONFIG_DIRS", (dir.File("nowhere") + ":" + dir.File("etc")).c_str(), 1);
  const Desktop desktop = Desktop::OfThisComputer();
  EXPECT_EQ(desktop.thunar_system_actions, system_actions);

  ASSERT_TRUE(AddContextMenu(at, Stub("p"), desktop).ok());
  if (fs::exists(kSystemPython)) {
    const auto actions = ParsedThunarActions(at.ThunarActions());
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0], "|Open Terminal Here|exo-open %f|*|dirs");
  }
  const Result removed = RemoveAll(at);
  ASSERT_TRUE(removed.ok());
  EXPECT_EQ(removed.Find(Place::kThunar)->outcome, Outcome::kRemoved);
  EXPECT_FALSE(fs::exists(at.ThunarActions()));
  EXPECT_FALSE(fs::exists(at.config_home + "/Thunar"));

  // A file that is no list of actions is not touched.
  fs::create_directories(at.config_home + "/Thunar");
  WriteFile(at.ThunarActions(), "<actions><action>");
  const Result r = AddContextMenu(at, Stub("p"), desktop);
  ASSERT_EQ(r.Find(Place::kThunar)->outcome, Outcome::kFailed);
  EXPECT_EQ(ReadFile(at.ThunarActions()), "<actions><action>");
}

// What KDE Frameworks 5 requires of a file in its service menu folder
// before Dolphin shows its items (kbuildsycoca5 logs "Invalid Service" and
// drops it otherwise): a service of the type Service whose service types
// name the popup menu plugin, and every listed action with a name and a
// command. Empty when the menu meets them.
std::string KServiceMenuProblems(const KeyFile& menu) {
  std::string problems;
  const auto entry = menu.find("Desktop Entry");
  if (entry == menu.end()) return "no [Desktop Entry]";
  const auto value = [&](const std::string& key) {
    const auto found = entry->second.find(key);
    return found == entry->second.end() ? std::string() : found->second;
  };
  if (value("Type") != "Service") problems += "Type is not Service; ";
  const std::string types = "," + value("X-KDE-ServiceTypes") + "," + value("ServiceTypes") + ",";
  if (types.find(",KonqPopupMenu/Plugin,") == std::string::npos) problems += "not a KonqPopupMenu/Plugin; ";
  if (value("Actions").empty()) problems += "no Actions; ";
  std::string actions = value("Actions");
  for (std::size_t start = 0; start < actions.size();) {
    const std::size_t end = std::min(actions.find(';', start), actions.size());
    const std::string id = actions.substr(start, end - start);
    start = end + 1;
    if (id.empty()) continue;
    const auto action = menu.find("Desktop Action " + id);
    if (action == menu.end() || action->second.count("Name") == 0 || action->second.count("Exec") == 0) {
      problems += "action " + id + " without a name or a command; ";
    }
  }
  return problems;
}

TEST(KServiceRules, TellAServiceMenuFromAnApplicationEntry) {
  const std::string menu =
      "[Desktop Entry]\nType=Service\nX-KDE-ServiceTypes=KonqPopupMenu/Plugin,all/all\nActions=a;\n\n"
      "[Desktop Action a]\nName=A\nExec=true %F\n";
  EXPECT_EQ(KServiceMenuProblems(ReadKeyFile(menu)), "");
  std::string application = menu;
  application.replace(application.find("Service\n"), 7, "Application");
  EXPECT_EQ(KServiceMenuProblems(ReadKeyFile(application)), "Type is not Service; ");
  EXPECT_NE(KServiceMenuProblems(ReadKeyFile(menu.substr(0, menu.find("Exec")))), "");
}

TEST_F(Menus, DolphinMenusForBothFrameworksValidateFilterAndStartTheProgram) {
  const std::string program = Stub(kOddFolder);
  ASSERT_TRUE(AddContextMenu(at, program, Desktop{}).ok());
  const std::string file = File("a b.jmz");
  struct Expected {
    std::string path;
    bool kf5, decrypt;
  };
  for (const Expected& e : {Expected{at.DolphinMenu(), false, false}, Expected{at.DolphinDecryptMenu(), false, true},
                            Expected{at.Dolphin5Menu(), true, false}, Expected{at.Dolphin5DecryptMenu(), true, true}}) {
    SCOPED_TRACE(e.path);
    // KIO runs only the service menus of a user that are executable.
    EXPECT_TRUE(Executable(e.path));
    const KeyFile menu = ReadKeyFile(ReadFile(e.path));
    // A desktop entry for Frameworks 6; a service by Frameworks 5's rules
    // for Frameworks 5, which desktop-file-validate does not know.
    if (e.kf5) {
      EXPECT_EQ(KServiceMenuProblems(menu), "");
    } else if (Tool("desktop-file-validate")) {
      const ProcessResult valid = Run("desktop-file-validate", {e.path});
      EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
      EXPECT_EQ(valid.out, "");
    }
    const auto& entry = menu.at("Desktop Entry");
    EXPECT_EQ(entry.at("X-KDE-Priority"), "TopLevel");
    EXPECT_EQ(entry.at("X-KDE-Protocols"), "file");
    EXPECT_EQ(entry.at("NoDisplay"), "true");
    if (e.kf5) {
      // Frameworks 5 finds it by the service type, and filters by the types after it.
      EXPECT_EQ(entry.count("MimeType"), 0u);
      EXPECT_EQ(entry.at("X-KDE-ServiceTypes"),
                e.decrypt ? "KonqPopupMenu/Plugin,application/x-vesk-jmz" : "KonqPopupMenu/Plugin,all/all");
    } else {
      EXPECT_EQ(entry.count("X-KDE-ServiceTypes"), 0u);
      EXPECT_EQ(entry.count("ServiceTypes"), 0u);
      EXPECT_EQ(entry.at("MimeType"), e.decrypt ? "application/x-vesk-jmz;" : "application/octet-stream;inode/directory;");
    }
    const std::string id = e.decrypt ? "vesk-decrypt" : "vesk-encrypt";
    EXPECT_EQ(entry.at("Actions"), id + ";");
    const auto& action = menu.at("Desktop Action " + id);
    EXPECT_EQ(action.at("Name"), e.decrypt ? kDecryptItemEnglish : kEncryptItemEnglish);
    EXPECT_EQ(action.at("Name[zh_CN]"), e.decrypt ? kDecryptItem : kEncryptItem);
    EXPECT_EQ(action.at("Icon"), "vesk");
    EXPECT_NE(action.at("Exec").find("%F"), std::string::npos);
    RunProcess(ExecArguments(action.at("Exec"), file));
    EXPECT_EQ(Recorded(), (std::vector<std::string>{program, e.decrypt ? "--decrypt" : "--encrypt", file}));
  }
  // Frameworks 5.85 and later read both folders and show a name once.
  EXPECT_EQ(fs::path(at.DolphinMenu()).filename(), fs::path(at.Dolphin5Menu()).filename());
  EXPECT_EQ(fs::path(at.DolphinDecryptMenu()).filename(), fs::path(at.Dolphin5DecryptMenu()).filename());
}

TEST_F(Menus, NemoActionsFilterByTypeAndExtension) {
  const std::string program = Stub(kOddFolder);
  ASSERT_TRUE(AddContextMenu(at, program, Desktop{}).ok());
  const auto encrypt = ReadKeyFile(ReadFile(at.NemoAction())).at("Nemo Action");
  const auto decrypt = ReadKeyFile(ReadFile(at.NemoDecryptAction())).at("Nemo Action");
  EXPECT_EQ(encrypt.at("Selection"), "notnone");
  EXPECT_EQ(encrypt.at("Extensions"), "any;");
  EXPECT_EQ(encrypt.count("Mimetypes"), 0u);
  EXPECT_EQ(decrypt.at("Name"), kDecryptItemEnglish);
  EXPECT_EQ(decrypt.at("Name[zh_CN]"), kDecryptItem);
  EXPECT_EQ(decrypt.at("Selection"), "notnone");
  EXPECT_EQ(decrypt.at("Mimetypes"), "application/x-vesk-jmz;");
  EXPECT_EQ(decrypt.at("Extensions"), "jmz;age;");
  EXPECT_EQ(decrypt.at("Icon-Name"), "vesk");
  // With Quote=double Nemo puts each path in double quotes, escaped, and
  // parses the line as a shell would.
  const std::string a = File("x \"y\" $z.jmz"), b = File("w.age");
  const auto quoted = [](const std::string& path) {
    std::string q = "\"";
    for (char c : path) {
      if (c == '"' || c == '\\' || c == '$' || c == '`') q += '\\';
      q += c;
    }
    return q + "\"";
  };
  std::string line = decrypt.at("Exec");
  line.replace(line.find("%F"), 2, quoted(a) + " " + quoted(b));
  RunProcess({"/bin/sh", "-c", line});
  EXPECT_EQ(Recorded(), (std::vector<std::string>{program, "--decrypt", a, b}));
}

TEST_F(Menus, AFileThatIsNotOursIsNeverReplacedAndTheResultNamesIt) {
  const std::string program = Stub("p");
  // The user's own files at our places: plain files, a link, a folder.
  const std::vector<std::string> places = {at.MimePackage(),        at.AssociationEntry(),
                                           at.DolphinMenu(),        at.Dolphin5DecryptMenu(),
                                           at.NemoAction(),         at.NautilusExtension(),
                                           at.CajaScript(),         at.ProgramIcon()};
  for (const std::string& path : places) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, "the user's own " + path + "\n");
  }
  fs::create_directories(fs::path(at.TypeIcon()).parent_path());
  fs::create_symlink(dir.File("elsewhere.svg"), at.TypeIcon());
  fs::create_directories(at.NemoDecryptAction());
  const auto before = Snapshot(dir.path());

  const Result association = RegisterAssociation(at, program);
  EXPECT_FALSE(association.ok());
  EXPECT_EQ(association.Find(Place::kMimePackage)->outcome, Outcome::kRefusedForeign);
  // The default would name an entry that is not ours: not written.
  EXPECT_EQ(association.Find(Place::kDefaultApplication)->outcome, Outcome::kSkipped);
  EXPECT_FALSE(fs::exists(at.MimeAppsList()));
  const std::string said = Summary(Action::kAssociate, association);
  EXPECT_NE(said.find("文件类型 .jmz: 这里已有不是本程序写的文件, 没有覆盖 (" + at.MimePackage() + ")"), std::string::npos)
      << said;

  const Result menus = AddContextMenu(at, program, Desktop{true, false, ""});
  EXPECT_FALSE(menus.ok());
  std::vector<std::string> refused;
  for (const Step& s : menus.steps) {
    if (s.outcome == Outcome::kRefusedForeign) refused.push_back(s.path);
  }
  EXPECT_EQ(refused, (std::vector<std::string>{at.ProgramIcon(), at.NautilusExtension(), at.CajaScript(),
                                               at.DolphinMenu(), at.Dolphin5DecryptMenu(), at.NemoAction(),
                                               at.NemoDecryptAction()}));
  // The free places got their files.
  EXPECT_TRUE(fs::exists(at.DolphinDecryptMenu()));
  EXPECT_TRUE(fs::exists(at.Dolphin5Menu()));
  EXPECT_TRUE(fs::exists(at.ThunarActions()));
  const std::string summary = Summary(Action::kContextMenu, menus);
  EXPECT_NE(summary.find("Nemo: 这里已有不是本程序写的文件, 没有覆盖 (" + at.NemoAction() + ")"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("右键菜单项只增加到了 Thunar"), std::string::npos) << summary;

  // Removing takes ours and leaves every one of the user's as it was.
  ASSERT_TRUE(RemoveAll(at).ok());
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST_F(Menus, RemovingRestoresTheFoldersAsTheyWereBeforeRegistering) {
  // Some of the folders are there already, with files of the user's.
  fs::create_directories(at.data_home + "/nemo/actions");
  WriteFile(at.data_home + "/nemo/actions/mine.nemo_action", "[Nemo Action]\nName=Mine\n");
  fs::create_directories(at.config_home);
  WriteFile(at.MimeAppsList(), "[Default Applications]\napplication/x-vesk-jmz=other.desktop;\n");
  fs::create_directories(at.data_home + "/icons/hicolor");  // empty, and the user's
  const auto data_before = Snapshot(at.data_home);
  const auto config_before = Snapshot(at.config_home);

  const std::string program = Stub("p");
  ASSERT_TRUE(AddContextMenu(at, program, Desktop{true, true, ""}).ok());
  ASSERT_TRUE(RegisterAssociation(at, program).ok());
  ASSERT_TRUE(AddContextMenu(at, program, Desktop{}).ok());  // again, with the other form
  EXPECT_NE(Snapshot(at.data_home), data_before);
  const Result r = RemoveAll(at);
  ASSERT_TRUE(r.ok()) << ProblemsOf(r);
  EXPECT_EQ(Snapshot(at.data_home), data_before);
  EXPECT_EQ(Snapshot(at.config_home), config_before);
}

TEST_F(Menus, TheJmzIconIsTheOnlyNameTheThemeLookupIsGiven) {
  // GTK looks for every name of a file's icon in the current theme before
  // the next one; Adwaita has the generic file icon, so any generic name in
  // the list would be drawn instead of ours, which is in hicolor.
  REQUIRE_TOOLS("gio", "update-mime-database");
  ASSERT_TRUE(RegisterAssociation(at, Stub("p")).ok());
  const std::string file = File("a.jmz");
  const ProcessResult info = Run("gio", {"info", "-a", "standard::icon,standard::content-type", file});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("standard::content-type: application/x-vesk-jmz"), std::string::npos) << info.out;
  const std::size_t at_icon = info.out.find("standard::icon: ");
  ASSERT_NE(at_icon, std::string::npos) << info.out;
  std::string names = info.out.substr(at_icon + 16);
  names = names.substr(0, names.find('\n'));
  std::size_t start = 0;
  int count = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(", ", start);
    if (end == std::string::npos) end = names.size();
    const std::string name = names.substr(start, end - start);
    EXPECT_TRUE(name == "application-x-vesk-jmz" || name == "application-x-vesk-jmz-symbolic") << names;
    ++count;
    start = end + 2;
  }
  EXPECT_GE(count, 1);
}

TEST(ProgramPathName, AReplacedProgramIsRegisteredByItsPathNameAndAGoneOneNotAtAll) {
  TempDir dir;
  const std::string program = dir.File("vesk");
  fs::copy_file("/bin/sleep", program);
  // The program runs, and an upgrade replaces its file meanwhile.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(program.c_str(), program.c_str(), "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string link;
  for (int i = 0; i < 200; ++i) {
    std::error_code ec;
    link = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string();
    if (link == program) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(link, program);
  fs::remove(program);
  link = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe").string();
  EXPECT_EQ(link, program + " (deleted)");  // what the kernel reads now
  EXPECT_EQ(ProgramPathName(link), std::nullopt);  // nothing there: refused
  fs::copy_file("/bin/sleep", program);            // the new version
  EXPECT_EQ(ProgramPathName(link), program);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);

  EXPECT_EQ(ProgramPathName(program), program);
  EXPECT_EQ(ProgramPathName("vesk"), std::nullopt);
  WriteFile(dir.File("text"), "not a program");
  EXPECT_EQ(ProgramPathName(dir.File("text")), std::nullopt);
  // Registering a program that is not there writes nothing.
  const Locations at{dir.File("data"), dir.File("config")};
  const Result r = AddContextMenu(at, program + " (deleted)", Desktop{});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.Problems().front().place, Place::kProgram);
  EXPECT_FALSE(fs::exists(at.data_home));
  EXPECT_EQ(RunningProgramPathName(), fs::read_symlink("/proc/self/exe").string());
}

}  // namespace
}  // namespace vesk::shell
