#include "desktop/shell_integration.h"

#include <glob.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "desktop/file_manager_menus.h"
#include "desktop/texts.h"
#include "platform/file_io.h"
#include "platform/process.h"
#include "platform/staged_file.h"

namespace vesk::shell {

// Generated from packaging/vesk-jmz.xml and packaging/icons/vesk.svg, the
// files the package installs for every user.
extern const char kMimePackageXml[];
extern const char kIconSvg[];

namespace {

constexpr char kTypeIconName[] = "application-x-vesk-jmz";
// Files larger than this were not written by this program.
constexpr off_t kLargestOwnFile = 64 * 1024;
// Shared lists larger than this are not edited.
constexpr off_t kLargestList = 16 << 20;
constexpr char kFolderNoteHeader[] = "# X-Vesk-Integration: folders made for the desktop registration\n";

[[noreturn]] void Fail(const std::string& what, int error) { throw IoError(what + ": " + std::strerror(error)); }

bool IsUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    // Overlong three- and four-byte forms and surrogates.
    const auto c1 = static_cast<unsigned char>(n > 1 ? s[i + 1] : 0);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90)) {
      return false;
    }
    i += n;
  }
  return true;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Why no entry can start `program`; empty when every one can: absolute,
// UTF-8 (desktop entries are UTF-8), without control characters (no entry
// format can hold a line break inside a command), and an executable file.
std::string ProgramProblem(const std::string& program) {
  if (program.empty() || program.front() != '/') return text::ProgramNotAbsolute(program);
  if (!IsUtf8(program)) return text::kProgramNotUtf8;
  for (char c : program) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return text::kProgramHasControlCharacters;
  }
  if (!IsExecutableFile(program)) return text::NoExecutableProgram(program);
  return {};
}

// Folders made on the way to our files, in the order they were made.
using MadeFolders = std::vector<std::string>;

// Creates the missing folders of `folder` (mode 0700, as the conventions
// ask for the user's base folders) and notes the ones it made.
void MakeFolders(const std::string& folder, MadeFolders& made) {
  std::size_t start = 0;
  while (start < folder.size()) {
    std::size_t end = folder.find('/', start);
    if (end == std::string::npos) end = folder.size();
    const std::string partial = folder.substr(0, end);
    start = end + 1;
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) == 0) {
      made.push_back(partial);
      continue;
    }
    if (errno != EEXIST) Fail(text::CannotMakeFolder(partial), errno);
    if (!DirectoryExists(partial)) throw IoError(text::NotAFolder(partial));
  }
}

void WriteAtomically(const std::string& path, std::string_view content, mode_t mode, MadeFolders& made) {
  MakeFolders(FolderOf(path), made);
  StagedOutput out;
  out.Open(path, mode);
  out.Write(content);
  out.Commit(/*replace=*/true);
}

// What is at a place of ours.
struct Found {
  bool present = false;     // anything at all, links included
  bool ours = false;        // a regular file of ours
  std::string text;         // its content when ours
  mode_t mode = 0;
};

Found Examine(const std::string& path) {
  Found found;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return found;
    Fail(text::CannotExamine(path), errno);
  }
  found.present = true;
  if (!S_ISREG(st.st_mode) || st.st_size > kLargestOwnFile) return found;
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(text::CannotRead(path), errno);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) Fail(text::CannotRead(path), errno);
  found.text = text.str();
  found.ours = found.text.find(kMarker) != std::string::npos;
  found.mode = st.st_mode & 07777;
  return found;
}

// A shared list (mimeapps.list, uca.xml) as it is now; nullopt when there is
// none. One that is there but cannot be read whole is a failure: writing
// ours would lose it.
std::optional<std::string> ReadList(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return std::nullopt;
    Fail(text::CannotExamine(path), errno);
  }
  if (!S_ISREG(st.st_mode) || st.st_size > kLargestList) throw IoError(text::NotAnEditableList(path));
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(text::CannotRead(path), errno);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) Fail(text::CannotRead(path), errno);
  return text.str();
}

// The file a symbolic link at `path` leads to (so that a linked list, as
// dotfile managers keep it, stays a link), else `path`.
std::string ResolvedPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string out(real);
  std::free(real);
  return out;
}

void Remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) Fail(text::CannotDelete(path), errno);
}

// One file of ours at `path`: written when the place is free or holds our
// own file, refused when something else is there.
void PutOurs(Result& r, Place place, const std::string& path, const std::string& content, mode_t mode,
             MadeFolders& made) {
  try {
    const Found found = Examine(path);
    if (found.present && !found.ours) return r.Add(place, Outcome::kRefusedForeign, path);
    if (found.ours && found.text == content && found.mode == mode) return r.Add(place, Outcome::kUnchanged, path);
    WriteAtomically(path, content, mode, made);
    r.Add(place, Outcome::kWritten, path);
  } catch (const std::exception& e) {
    r.Add(place, Outcome::kFailed, path, e.what());
  }
}

// Deletes our file at `path`, quietly when there is none (used where an
// older registration may have left one).
void DropOurs(Result& r, Place place, const std::string& path, bool report_absent) {
  try {
    const Found found = Examine(path);
    if (!found.present) {
      if (report_absent) r.Add(place, Outcome::kAbsent, path);
    } else if (!found.ours) {
      if (report_absent) r.Add(place, Outcome::kKeptForeign, path);
    } else {
      Remove(path);
      r.Add(place, Outcome::kRemoved, path);
    }
  } catch (const std::exception& e) {
    r.Add(place, Outcome::kFailed, path, e.what());
  }
}

// ---- The note of the folders registration made --------------------------------

std::vector<std::string> ReadFolderNote(const Locations& at) {
  std::vector<std::string> folders;
  const Found found = Examine(at.FolderNote());
  if (!found.ours) return folders;
  std::istringstream lines(found.text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.front() == '/') folders.push_back(line);
  }
  return folders;
}

// Adds the folders made now to the note (itself in a folder that may be new).
void NoteFolders(Result& r, const Locations& at, MadeFolders made) {
  if (made.empty()) return;
  try {
    std::vector<std::string> folders = ReadFolderNote(at);
    const Found note = Examine(at.FolderNote());
    if (note.present && !note.ours) return r.Add(Place::kFolders, Outcome::kRefusedForeign, at.FolderNote());
    MadeFolders for_note;
    MakeFolders(FolderOf(at.FolderNote()), for_note);
    made.insert(made.end(), for_note.begin(), for_note.end());
    std::string text = kFolderNoteHeader;
    for (const std::string& f : folders) text += f + "\n";
    for (const std::string& f : made) {
      // A name with a line break cannot be noted; that folder simply stays.
      if (f.find('\n') == std::string::npos && std::find(folders.begin(), folders.end(), f) == folders.end()) {
        text += f + "\n";
      }
    }
    MadeFolders ignored;
    WriteAtomically(at.FolderNote(), text, DefaultFileMode(), ignored);
  } catch (const std::exception& e) {
    r.Add(Place::kFolders, Outcome::kFailed, at.FolderNote(), e.what());
  }
}

bool IsNoted(const std::vector<std::string>& folders, const std::string& folder) {
  return std::find(folders.begin(), folders.end(), folder) != folders.end();
}

// Whether `folder` holds nothing but files named in `names`.
bool HoldsOnly(const std::string& folder, const std::vector<std::string>& names) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (std::find(names.begin(), names.end(), entry.path().filename().string()) == names.end()) return false;
  }
  return !ec;
}

// The MIME and desktop databases in folders this registration made hold
// only what the tools generated from our own files once ours are gone:
// they go with them, instead of being rebuilt empty.
void DropGeneratedDatabases(const Locations& at, const std::vector<std::string>& noted) {
  const std::string packages = at.MimeFolder() + "/packages";
  if (IsNoted(noted, at.MimeFolder()) && (!DirectoryExists(packages) || HoldsOnly(packages, {}))) {
    std::error_code ignored;
    std::filesystem::remove_all(at.MimeFolder(), ignored);
  }
  if (IsNoted(noted, at.ApplicationsFolder()) && HoldsOnly(at.ApplicationsFolder(), {"mimeinfo.cache"})) {
    ::unlink((at.ApplicationsFolder() + "/mimeinfo.cache").c_str());
    ::rmdir(at.ApplicationsFolder().c_str());
  }
}

// Removes the noted folders that are empty, deepest first, then the note.
void DropFolders(Result& r, const Locations& at, const std::vector<std::string>& noted) {
  try {
    Remove(at.FolderNote());
    std::vector<std::string> folders = noted;
    std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    bool removed = false;
    for (const std::string& f : folders) removed |= ::rmdir(f.c_str()) == 0;
    if (removed) r.Add(Place::kFolders, Outcome::kRemoved);
  } catch (const std::exception& e) {
    r.Add(Place::kFolders, Outcome::kFailed, at.FolderNote(), e.what());
  }
}

bool AnyLibrary(const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns) {
    glob_t found{};
    const int status = ::glob(pattern.c_str(), 0, nullptr, &found);
    const bool any = status == 0 && found.gl_pathc > 0;
    ::globfree(&found);
    if (any) return true;
  }
  return false;
}

}  // namespace

// ---- Result ----------------------------------------------------------------------

bool Result::ok() const { return Problems().empty(); }

std::vector<Step> Result::Problems() const {
  std::vector<Step> problems;
  for (const Step& s : steps) {
    if (s.outcome == Outcome::kFailed || s.outcome == Outcome::kRefusedForeign || s.outcome == Outcome::kSkipped) {
      problems.push_back(s);
    }
  }
  return problems;
}

const Step* Result::Find(Place place) const {
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    if (it->place == place) return &*it;
  }
  return nullptr;
}

void Result::Add(Place place, Outcome outcome, std::string path, std::string detail) {
  steps.push_back({place, outcome, std::move(path), std::move(detail)});
}

void Result::Append(const Result& other) { steps.insert(steps.end(), other.steps.begin(), other.steps.end()); }

// ---- Locations ------------------------------------------------------------------

Locations Locations::ForUser() {
  const auto base = [](const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return std::string(value);
    const char* home = std::getenv("HOME");
    std::string h = home != nullptr && home[0] == '/' ? home : "";
    if (h.empty()) {
      if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) h = pw->pw_dir;
    }
    if (h.empty()) throw std::runtime_error("the home folder is unknown");
    return h + "/" + fallback;
  };
  Locations at{base("XDG_DATA_HOME", ".local/share"), base("XDG_CONFIG_HOME", ".config")};
  for (std::string* s : {&at.data_home, &at.config_home}) {
    while (s->size() > 1 && s->back() == '/') s->pop_back();
  }
  return at;
}

std::string Locations::MimeFolder() const { return data_home + "/mime"; }
std::string Locations::ApplicationsFolder() const { return data_home + "/applications"; }
std::string Locations::MimePackage() const { return MimeFolder() + "/packages/vesk-jmz.xml"; }
std::string Locations::AssociationEntry() const { return ApplicationsFolder() + "/" + kAssociationEntry; }
std::string Locations::TypeIcon() const { return data_home + "/icons/hicolor/scalable/mimetypes/" + kTypeIconName + ".svg"; }
std::string Locations::MimeAppsList() const { return config_home + "/mimeapps.list"; }
std::string Locations::ProgramIcon() const { return data_home + "/icons/hicolor/scalable/apps/vesk.svg"; }
std::string Locations::NautilusExtension() const { return data_home + "/nautilus-python/extensions/vesk_menu.py"; }
std::string Locations::NautilusScript() const { return data_home + "/nautilus/scripts/" + kMenuText; }
std::string Locations::ThunarActions() const { return config_home + "/Thunar/uca.xml"; }
std::string Locations::DolphinMenu() const { return data_home + "/kio/servicemenus/vesk-open.desktop"; }
std::string Locations::DolphinDecryptMenu() const { return data_home + "/kio/servicemenus/vesk-decrypt.desktop"; }
std::string Locations::Dolphin5Menu() const { return data_home + "/kservices5/ServiceMenus/vesk-open.desktop"; }
std::string Locations::Dolphin5DecryptMenu() const { return data_home + "/kservices5/ServiceMenus/vesk-decrypt.desktop"; }
std::string Locations::NemoAction() const { return data_home + "/nemo/actions/vesk-open.nemo_action"; }
std::string Locations::NemoDecryptAction() const { return data_home + "/nemo/actions/vesk-decrypt.nemo_action"; }
std::string Locations::CajaExtension() const { return data_home + "/caja-python/extensions/vesk_menu.py"; }
std::string Locations::CajaScript() const { return config_home + "/caja/scripts/" + kMenuText; }
std::string Locations::FolderNote() const { return data_home + "/vesk/registration-folders"; }

Desktop Desktop::OfThisComputer() {
  Desktop d;
  d.nautilus_python = AnyLibrary({"/usr/lib/*/nautilus/extensions-4/libnautilus-python.so",
                                  "/usr/lib64/nautilus/extensions-4/libnautilus-python.so",
                                  "/usr/lib/nautilus/extensions-4/libnautilus-python.so"});
  d.caja_python = AnyLibrary({"/usr/lib/*/caja/extensions-2.0/libcaja-python.so",
                              "/usr/lib64/caja/extensions-2.0/libcaja-python.so",
                              "/usr/lib/caja/extensions-2.0/libcaja-python.so"});
  const char* dirs = std::getenv("XDG_CONFIG_DIRS");
  std::string list = dirs != nullptr && *dirs != '\0' ? dirs : "/etc/xdg";
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string dir = list.substr(start, end - start);
    start = end + 1;
    if (dir.empty() || dir.front() != '/') continue;
    try {
      if (auto text = ReadList(dir + "/Thunar/uca.xml")) {
        d.thunar_system_actions = *text;
        break;
      }
    } catch (...) {
      // An unreadable system list counts as none.
    }
  }
  return d;
}

// ---- Quoting ----------------------------------------------------------------------

std::string DesktopExecArgument(std::string_view path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c == '%' ? std::string("%%") : std::string(1, c);
  }
  quoted += '"';
  std::string out;
  for (char c : quoted) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

std::string ShellQuote(std::string_view text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string_view TypeIconSvg() { return kIconSvg; }

// ---- The program ------------------------------------------------------------------

std::optional<std::string> ProgramPathName(const std::string& link) {
  if (link.empty() || link.front() != '/') return std::nullopt;
  if (IsExecutableFile(link)) return link;
  constexpr std::string_view kDeleted = " (deleted)";
  if (link.size() > kDeleted.size() && link.compare(link.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
    const std::string name = link.substr(0, link.size() - kDeleted.size());
    if (IsExecutableFile(name)) return name;
  }
  return std::nullopt;
}

std::optional<std::string> RunningProgramPathName() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return std::nullopt;
  return ProgramPathName(std::string(buf.data(), static_cast<std::size_t>(n)));
}

// ---- The three actions ------------------------------------------------------------

Result RefreshDatabases(const Locations& at) {
  Result r;
  struct Tool {
    const char* name;
    const char* package;
    std::string folder;
  };
  const Tool tools[] = {{"update-mime-database", "shared-mime-info", at.MimeFolder()},
                        {"update-desktop-database", "desktop-file-utils", at.ApplicationsFolder()}};
  for (const Tool& tool : tools) {
    if (!DirectoryExists(tool.folder)) continue;
    const auto program = FindProgramOnPath(tool.name);
    if (!program) {
      r.Add(Place::kDatabases, Outcome::kToolMissing, tool.folder, std::string(tool.name) + " (" + tool.package + ")");
      continue;
    }
    const int status = RunProgram({*program, tool.folder});
    if (status != 0) {
      r.Add(Place::kDatabases, Outcome::kFailed, tool.folder,
            text::ToolFailed(tool.name, status));
    } else {
      r.Add(Place::kDatabases, Outcome::kWritten, tool.folder, tool.name);
    }
  }
  return r;
}

Result RegisterAssociation(const Locations& at, const std::string& program) {
  Result r;
  if (std::string problem = ProgramProblem(program); !problem.empty()) {
    r.Add(Place::kProgram, Outcome::kFailed, program, problem);
    return r;
  }
  MadeFolders made;
  const mode_t file_mode = DefaultFileMode();
  const std::string entry = std::string("[Desktop Entry]\n") +
                            "Type=Application\n"
                            "Version=1.4\n"
                            "Name=" + kProgramNameEnglish + "\n"
                            "Name[zh_CN]=" + kProgramName + "\n"
                            "Comment=" + text::kAssociationComment + "\n"
                            "Comment[zh_CN]=" + text::kAssociationCommentChinese + "\n"
                            "Exec=" + DesktopExecArgument(program) + " %f\n"
                            "Icon=" + kTypeIconName + "\n"
                            "Terminal=false\n"
                            "NoDisplay=true\n"
                            "MimeType=" + kMimeType + ";\n" +
                            kMarker + "=association\n";
  const auto xml_marked = [](std::string_view text) {
    const std::size_t eol = text.find('\n');
    const std::size_t cut = eol == std::string_view::npos ? text.size() : eol + 1;
    std::string out(text.substr(0, cut));
    out += std::string("<!-- ") + kMarker + ": association (" + kProgramName + ") -->\n";
    out += text.substr(cut);
    return out;
  };
  // Each step needs the ones before it: the default names our entry only
  // when the entry is ours and in place.
  const std::vector<std::function<void()>> steps = {
      [&] { PutOurs(r, Place::kMimePackage, at.MimePackage(), xml_marked(kMimePackageXml), file_mode, made); },
      [&] { PutOurs(r, Place::kTypeIcon, at.TypeIcon(), xml_marked(kIconSvg), file_mode, made); },
      [&] { PutOurs(r, Place::kAssociationEntry, at.AssociationEntry(), entry, file_mode, made); },
      [&] {
        const std::string path = ResolvedPath(at.MimeAppsList());
        try {
          const std::string old = ReadList(path).value_or("");
          const std::string updated = WithDefaultApplication(old, kMimeType, kAssociationEntry);
          if (updated == old) return r.Add(Place::kDefaultApplication, Outcome::kUnchanged, path);
          WriteAtomically(path, updated, PermissionsOf(path), made);
          r.Add(Place::kDefaultApplication, Outcome::kWritten, path);
        } catch (const std::exception& e) {
          r.Add(Place::kDefaultApplication, Outcome::kFailed, path, e.what());
        }
      }};
  for (const auto& step : steps) {
    step();
    if (!r.ok()) break;
  }
  NoteFolders(r, at, made);
  if (!r.ok()) {
    const Place later[] = {Place::kMimePackage, Place::kTypeIcon, Place::kAssociationEntry, Place::kDefaultApplication};
    for (Place p : later) {
      if (r.Find(p) == nullptr) r.Add(p, Outcome::kSkipped);
    }
  }
  // The databases change only with what was written.
  if (std::any_of(r.steps.begin(), r.steps.end(), [](const Step& s) { return s.outcome == Outcome::kWritten; })) {
    r.Append(RefreshDatabases(at));
  }
  return r;
}

Result AddContextMenu(const Locations& at, const std::string& program) {
  return AddContextMenu(at, program, Desktop::OfThisComputer());
}

Result AddContextMenu(const Locations& at, const std::string& program, const Desktop& desktop) {
  Result r;
  if (std::string problem = ProgramProblem(program); !problem.empty()) {
    r.Add(Place::kProgram, Outcome::kFailed, program, problem);
    return r;
  }
  MadeFolders made;
  const mode_t file_mode = DefaultFileMode();
  const mode_t program_mode = DefaultProgramMode();
  PutOurs(r, Place::kProgramIcon, at.ProgramIcon(), std::string(kIconSvg).insert(
      std::string_view(kIconSvg).find('\n') + 1, std::string("<!-- ") + kMarker + ": context-menu (" + kProgramName + ") -->\n"),
      file_mode, made);

  // GNOME Files and Caja: the Python extension where the file manager loads
  // them (the older "Scripts" entry goes), else the script as before.
  struct Extended {
    Place place;
    bool python;
    const char* package;
    const char* module;
    const char* version;
    std::string extension, script;
  };
  const Extended extended[] = {
      {Place::kNautilus, desktop.nautilus_python, "python3-nautilus", "Nautilus", "4.0", at.NautilusExtension(), at.NautilusScript()},
      {Place::kCaja, desktop.caja_python, "python3-caja", "Caja", "2.0", at.CajaExtension(), at.CajaScript()}};
  for (const Extended& e : extended) {
    if (e.python) {
      PutOurs(r, e.place, e.extension, menus::PythonExtension(e.module, e.version, program), file_mode, made);
      Result dropped;
      DropOurs(dropped, e.place, e.script, false);
      for (const Step& s : dropped.Problems()) r.steps.push_back(s);
    } else {
      Result script;
      PutOurs(script, e.place, e.script, menus::MenuScript(program), program_mode, made);
      if (script.ok()) {
        r.Add(e.place, Outcome::kFallback, e.script, e.package);
      } else {
        r.Append(script);
      }
      Result dropped;
      DropOurs(dropped, e.place, e.extension, false);
      for (const Step& s : dropped.Problems()) r.steps.push_back(s);
    }
  }

  // Thunar: our actions merged into the user's list.
  {
    const std::string path = ResolvedPath(at.ThunarActions());
    try {
      const std::optional<std::string> old = ReadList(path);
      const std::string updated = menus::WithThunarActions(old, desktop.thunar_system_actions, menus::ThunarActions(program));
      if (old && updated == *old) {
        r.Add(Place::kThunar, Outcome::kUnchanged, path);
      } else {
        WriteAtomically(path, updated, old ? PermissionsOf(path) : file_mode, made);
        r.Add(Place::kThunar, Outcome::kWritten, path);
      }
    } catch (const std::exception& e) {
      r.Add(Place::kThunar, Outcome::kFailed, path, e.what());
    }
  }

  // Dolphin: the same two menus for each generation of KDE's frameworks
  // (executable, as KIO requires of a user's service menus).
  PutOurs(r, Place::kDolphin6, at.DolphinMenu(), menus::DolphinMenu(false, false, program), program_mode, made);
  PutOurs(r, Place::kDolphin6, at.DolphinDecryptMenu(), menus::DolphinMenu(false, true, program), program_mode, made);
  PutOurs(r, Place::kDolphin5, at.Dolphin5Menu(), menus::DolphinMenu(true, false, program), program_mode, made);
  PutOurs(r, Place::kDolphin5, at.Dolphin5DecryptMenu(), menus::DolphinMenu(true, true, program), program_mode, made);
  PutOurs(r, Place::kNemo, at.NemoAction(), menus::NemoAction(false, program), file_mode, made);
  PutOurs(r, Place::kNemo, at.NemoDecryptAction(), menus::NemoAction(true, program), file_mode, made);
  NoteFolders(r, at, made);
  return r;
}

Result RemoveAll(const Locations& at) {
  Result r;
  std::vector<std::string> noted;
  try {
    noted = ReadFolderNote(at);
  } catch (const std::exception& e) {
    r.Add(Place::kFolders, Outcome::kFailed, at.FolderNote(), e.what());
  }
  // Each removal is tried even when another failed: what can go, goes.
  const std::pair<Place, std::string> files[] = {
      {Place::kNautilus, at.NautilusExtension()}, {Place::kNautilus, at.NautilusScript()},
      {Place::kCaja, at.CajaExtension()},         {Place::kCaja, at.CajaScript()},
      {Place::kDolphin6, at.DolphinMenu()},       {Place::kDolphin6, at.DolphinDecryptMenu()},
      {Place::kDolphin5, at.Dolphin5Menu()},      {Place::kDolphin5, at.Dolphin5DecryptMenu()},
      {Place::kNemo, at.NemoAction()},            {Place::kNemo, at.NemoDecryptAction()},
      {Place::kProgramIcon, at.ProgramIcon()}};
  for (const auto& [place, path] : files) DropOurs(r, place, path, true);

  {
    const std::string path = ResolvedPath(at.ThunarActions());
    try {
      const auto old = ReadList(path);
      if (!old || !menus::HasThunarActions(*old)) {
        r.Add(Place::kThunar, Outcome::kAbsent, path);
      } else if (const auto updated = menus::WithoutThunarActions(*old, Desktop::OfThisComputer().thunar_system_actions)) {
        MadeFolders ignored;
        WriteAtomically(path, *updated, PermissionsOf(path), ignored);
        r.Add(Place::kThunar, Outcome::kEntriesRemoved, path);
      } else {
        Remove(path);
        r.Add(Place::kThunar, Outcome::kRemoved, path);
      }
    } catch (const std::exception& e) {
      r.Add(Place::kThunar, Outcome::kFailed, path, e.what());
    }
  }

  {
    const std::string path = ResolvedPath(at.MimeAppsList());
    try {
      const auto old = ReadList(path);
      const std::string updated = old ? WithoutDefaultApplication(*old, kMimeType, kAssociationEntry) : "";
      if (!old || updated == *old) {
        r.Add(Place::kDefaultApplication, Outcome::kAbsent, path);
      } else if (updated.find_first_not_of(" \t\r\n") == std::string::npos) {
        // A list that held nothing but our line goes as a whole.
        Remove(path);
        r.Add(Place::kDefaultApplication, Outcome::kRemoved, path);
      } else {
        MadeFolders ignored;
        WriteAtomically(path, updated, PermissionsOf(path), ignored);
        r.Add(Place::kDefaultApplication, Outcome::kEntriesRemoved, path);
      }
    } catch (const std::exception& e) {
      r.Add(Place::kDefaultApplication, Outcome::kFailed, path, e.what());
    }
  }
  DropOurs(r, Place::kAssociationEntry, at.AssociationEntry(), true);
  DropOurs(r, Place::kTypeIcon, at.TypeIcon(), true);
  DropOurs(r, Place::kMimePackage, at.MimePackage(), true);
  DropGeneratedDatabases(at, noted);
  const auto association_removed = [&r] {
    for (const Step& s : r.steps) {
      const bool association = s.place == Place::kMimePackage || s.place == Place::kAssociationEntry ||
                               s.place == Place::kTypeIcon || s.place == Place::kDefaultApplication;
      if (association && (s.outcome == Outcome::kRemoved || s.outcome == Outcome::kEntriesRemoved)) return true;
    }
    return false;
  };
  if (association_removed()) r.Append(RefreshDatabases(at));
  DropFolders(r, at, noted);
  return r;
}

}  // namespace vesk::shell
