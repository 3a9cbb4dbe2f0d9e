#include "platform/shell_integration.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "platform/file_io.h"
#include "platform/process.h"
#include "platform/staged_file.h"

namespace vesk::shell {

// Generated from packaging/vesk-jmz.xml and packaging/icons/vesk.svg, the
// files the package installs for every user.
extern const char kMimePackageXml[];
extern const char kIconSvg[];

namespace {

constexpr char kDefaultSection[] = "[Default Applications]";
constexpr char kIconName[] = "application-x-vesk-jmz";
// Files larger than this were not written by this program.
constexpr off_t kLargestOwnFile = 64 * 1024;

[[noreturn]] void Fail(const std::string& what, int error) { throw IoError(what + ": " + std::strerror(error)); }

std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(first, last - first + 1));
}

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

// A program path that every entry can carry: absolute, UTF-8 (desktop
// entries are UTF-8) and without control characters (no entry format can
// hold a line break inside a command).
void CheckProgramPath(const std::string& program) {
  if (program.empty() || program.front() != '/') throw std::runtime_error("the program path is not absolute: " + program);
  if (!IsUtf8(program)) throw std::runtime_error("the program path is not UTF-8");
  for (char c : program) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      throw std::runtime_error("the program path contains a control character");
    }
  }
}

// Creates the missing folders of `folder` (mode 0700, as the conventions
// ask for the user's base folders).
void MakeFolders(const std::string& folder) {
  std::string partial;
  std::size_t start = 0;
  while (start < folder.size()) {
    std::size_t end = folder.find('/', start);
    if (end == std::string::npos) end = folder.size();
    partial = folder.substr(0, end);
    start = end + 1;
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) == 0) continue;
    if (errno != EEXIST) Fail("cannot create " + partial, errno);
    if (!DirectoryExists(partial)) throw IoError(partial + " is not a folder");
  }
}

void WriteAtomically(const std::string& path, std::string_view content, mode_t mode) {
  MakeFolders(FolderOf(path));
  StagedOutput out;
  out.Open(path, mode);
  out.Write(content);
  out.Commit(/*replace=*/true);
}

// The whole of a small text file; nullopt when it is not there or not a
// regular file of a size this program writes.
std::optional<std::string> ReadSmallFile(const std::string& path, off_t limit) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    Fail("cannot examine " + path, errno);
  }
  if (!S_ISREG(st.st_mode) || st.st_size > limit) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path, errno);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) Fail("cannot read " + path, errno);
  return text.str();
}

// The list of default applications as it is now; nullopt when there is
// none. A list that is there but cannot be read whole (not a regular file,
// unreadable, unreasonably large) is a failure: writing ours would lose it.
std::optional<std::string> ReadMimeAppsList(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return std::nullopt;
    Fail("cannot examine " + path, errno);
  }
  constexpr off_t kLargest = 16 << 20;
  if (!S_ISREG(st.st_mode) || st.st_size > kLargest) throw IoError(path + " is not a list this program can edit");
  auto text = ReadSmallFile(path, kLargest);
  if (!text) throw IoError("cannot read " + path);
  return text;
}

// Deletes `path` when it is a file of ours.
void RemoveIfOurs(const std::string& path) {
  const auto text = ReadSmallFile(path, kLargestOwnFile);
  if (!text || text->find(kMarker) == std::string::npos) return;
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) Fail("cannot delete " + path, errno);
}

// `text` with an XML comment holding the marker after its first line (the
// XML declaration).
std::string WithXmlMarker(std::string_view text, const char* what) {
  const std::size_t eol = text.find('\n');
  const std::size_t cut = eol == std::string_view::npos ? text.size() : eol + 1;
  std::string out(text.substr(0, cut));
  out += "<!-- " + std::string(kMarker) + ": " + what + " (Vesk 文件加密) -->\n";
  out += text.substr(cut);
  return out;
}

// The Exec argument for Nemo, which unescapes the value like a desktop entry
// but substitutes its own tokens and knows no "%%".
std::string NemoExecArgument(std::string_view path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string out;
  for (char c : quoted) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

std::string AssociationEntryText(const std::string& program) {
  return std::string("[Desktop Entry]\n") +
         "Type=Application\n"
         "Version=1.4\n"
         "Name=Vesk 文件加密\n"
         "Comment=Open a .jmz file encrypted by Vesk\n"
         "Comment[zh_CN]=打开 Vesk 加密的 .jmz 文件\n"
         "Exec=" + DesktopExecArgument(program) + " %f\n"
         "Icon=" + kIconName + "\n"
         "Terminal=false\n"
         "NoDisplay=true\n"
         "MimeType=" + kMimeType + ";\n" +
         kMarker + "=association\n";
}

// A KIO service menu. KIO reads the actions of any desktop entry in
// kio/servicemenus that is executable; the entry itself is a hidden
// application so that it is a valid desktop entry as well.
std::string DolphinMenuText(const std::string& program) {
  const std::string exec = DesktopExecArgument(program) + " %f\n";
  return std::string("[Desktop Entry]\n") +
         "Type=Application\n"
         "Version=1.4\n"
         "Name=" + kMenuText + "\n"
         "Exec=" + exec +
         "Icon=" + kIconName + "\n"
         "NoDisplay=true\n"
         "MimeType=application/octet-stream;\n"
         "Actions=open-with-vesk;\n"
         "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
         "X-KDE-Priority=TopLevel\n" +
         kMarker + "=context-menu\n"
         "\n"
         "[Desktop Action open-with-vesk]\n"
         "Name=" + kMenuText + "\n"
         "Icon=" + kIconName + "\n"
         "Exec=" + exec;
}

// GNOME Files and Caja run the script with the selected files as arguments
// (names relative to the shown folder when it is local); the program gets
// the first one as an absolute path.
std::string ScriptText(const std::string& program) {
  return std::string("#!/bin/sh\n") + "# " + kMenuText + ": opens the selected file with the program.\n" + "# " + kMarker +
         ": context-menu\n" +
         "file=$1\n"
         "case $file in\n"
         "  '') exec " + ShellQuote(program) + " ;;\n"
         "  /*) ;;\n"
         "  *) file=$PWD/$file ;;\n"
         "esac\n"
         "exec " + ShellQuote(program) + " \"$file\"\n";
}

std::string NemoActionText(const std::string& program) {
  return std::string("[Nemo Action]\n") + "Name=" + kMenuText + "\n" +
         "Comment=用 Vesk 文件加密打开这个文件\n"
         "Exec=" + NemoExecArgument(program) + " %F\n"
         "Icon-Name=" + kIconName + "\n"
         "Selection=s\n"
         "Extensions=any;\n"
         "Quote=double\n" +
         kMarker + "=context-menu\n";
}

// The file a symbolic link at `path` leads to (so that a linked
// mimeapps.list, as dotfile managers keep it, stays a link), else `path`.
std::string ResolvedPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string out(real);
  std::free(real);
  return out;
}

// Runs the steps in order; the first failure is recorded and ends the run
// (`keep_going` runs the rest anyway).
void RunSteps(Result& result, bool keep_going, const std::vector<std::pair<const char*, std::function<void()>>>& steps) {
  for (const auto& [what, step] : steps) {
    try {
      step();
    } catch (const std::exception& e) {
      result.failures.push_back(std::string(what) + ": " + e.what());
      if (!keep_going) return;
    }
  }
}

void Append(Result& to, const Result& from) {
  to.failures.insert(to.failures.end(), from.failures.begin(), from.failures.end());
}

// One line of a key file split at its end.
struct Line {
  std::string text;
  std::string Key() const {
    const auto eq = text.find('=');
    return eq == std::string::npos ? std::string() : Trim(std::string_view(text).substr(0, eq));
  }
  std::string Value() const {
    const auto eq = text.find('=');
    return eq == std::string::npos ? std::string() : Trim(std::string_view(text).substr(eq + 1));
  }
  bool IsHeader() const {
    const std::string t = Trim(text);
    return !t.empty() && t.front() == '[';
  }
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back({std::string(text.substr(start, end - start))});
    start = end + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string out;
  for (const Line& l : lines) out += l.text + "\n";
  return out;
}

}  // namespace

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
std::string Locations::TypeIcon() const {
  return data_home + "/icons/hicolor/scalable/mimetypes/" + kIconName + ".svg";
}
std::string Locations::MimeAppsList() const { return config_home + "/mimeapps.list"; }
std::string Locations::DolphinMenu() const { return data_home + "/kio/servicemenus/vesk-open.desktop"; }
std::string Locations::NautilusScript() const { return data_home + "/nautilus/scripts/" + kMenuText; }
std::string Locations::NemoAction() const { return data_home + "/nemo/actions/vesk-open.nemo_action"; }
std::string Locations::CajaScript() const { return config_home + "/caja/scripts/" + kMenuText; }

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

// ---- mimeapps.list ----------------------------------------------------------------

std::string WithDefaultApplication(std::string_view list, std::string_view type, std::string_view entry) {
  std::vector<Line> lines = SplitLines(list);
  const Line ours{std::string(type) + "=" + std::string(entry) + ";"};
  bool in_section = false, seen_section = false, placed = false;
  std::size_t insert_at = 0;
  std::vector<Line> out;
  for (Line& line : lines) {
    if (line.IsHeader()) {
      if (in_section && !placed) {
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(insert_at), ours);
        placed = true;
      }
      in_section = Trim(line.text) == kDefaultSection;
      if (in_section) seen_section = true;
      out.push_back(line);
      if (in_section) insert_at = out.size();
      continue;
    }
    if (in_section && line.Key() == type) {
      // The first line of the type becomes ours; later ones (a key file
      // reader takes the last) go.
      if (!placed) out.push_back(ours);
      placed = true;
      continue;
    }
    out.push_back(line);
    if (in_section && !Trim(line.text).empty()) insert_at = out.size();
  }
  if (in_section && !placed) {
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(insert_at), ours);
    placed = true;
  }
  if (!seen_section) {
    out.push_back({kDefaultSection});
    out.push_back(ours);
  }
  return JoinLines(out);
}

std::string WithoutDefaultApplication(std::string_view list, std::string_view type, std::string_view entry) {
  std::vector<Line> out;
  bool in_section = false;
  for (const Line& line : SplitLines(list)) {
    if (line.IsHeader()) {
      in_section = Trim(line.text) == kDefaultSection;
      out.push_back(line);
      continue;
    }
    if (!in_section || line.Key() != type) {
      out.push_back(line);
      continue;
    }
    std::vector<std::string> kept;
    bool removed = false;
    const std::string value = line.Value();
    std::size_t start = 0;
    while (start <= value.size()) {
      std::size_t end = value.find(';', start);
      if (end == std::string::npos) end = value.size();
      const std::string item = Trim(std::string_view(value).substr(start, end - start));
      if (item == entry) {
        removed = true;
      } else if (!item.empty()) {
        kept.push_back(item);
      }
      start = end + 1;
    }
    if (!removed) {
      out.push_back(line);
    } else if (!kept.empty()) {
      std::string rewritten = std::string(type) + "=";
      for (const std::string& k : kept) rewritten += k + ";";
      out.push_back({rewritten});
    }
  }
  return JoinLines(out);
}

// ---- The three actions ------------------------------------------------------------

Result RefreshDatabases(const Locations& at) {
  Result r;
  const std::pair<const char*, std::string> tools[] = {{"update-mime-database", at.MimeFolder()},
                                                       {"update-desktop-database", at.ApplicationsFolder()}};
  for (const auto& [tool, folder] : tools) {
    const auto program = FindProgramOnPath(tool);
    if (!program || !DirectoryExists(folder)) continue;
    const int status = RunProgram({*program, folder});
    if (status != 0) r.failures.push_back(std::string(tool) + " " + folder + " failed (" + std::to_string(status) + ")");
  }
  return r;
}

Result RegisterAssociation(const Locations& at, const std::string& program) {
  Result r;
  const mode_t file_mode = DefaultFileMode();
  RunSteps(r, false,
           {{"program", [&] { CheckProgramPath(program); }},
            {"MIME package", [&] { WriteAtomically(at.MimePackage(), WithXmlMarker(kMimePackageXml, "association"), file_mode); }},
            {"icon", [&] { WriteAtomically(at.TypeIcon(), WithXmlMarker(kIconSvg, "association"), file_mode); }},
            {"desktop entry", [&] { WriteAtomically(at.AssociationEntry(), AssociationEntryText(program), file_mode); }},
            {"mimeapps.list", [&] {
               const std::string path = ResolvedPath(at.MimeAppsList());
               const std::string old = ReadMimeAppsList(path).value_or("");
               const std::string updated = WithDefaultApplication(old, kMimeType, kAssociationEntry);
               if (updated != old) WriteAtomically(path, updated, PermissionsOf(path));
             }}});
  Append(r, RefreshDatabases(at));
  return r;
}

Result AddContextMenu(const Locations& at, const std::string& program) {
  Result r;
  const mode_t file_mode = DefaultFileMode();
  const mode_t program_mode = DefaultProgramMode();
  RunSteps(r, false,
           {{"program", [&] { CheckProgramPath(program); }},
            {"Dolphin", [&] { WriteAtomically(at.DolphinMenu(), DolphinMenuText(program), program_mode); }},
            {"GNOME Files", [&] { WriteAtomically(at.NautilusScript(), ScriptText(program), program_mode); }},
            {"Nemo", [&] { WriteAtomically(at.NemoAction(), NemoActionText(program), file_mode); }},
            {"Caja", [&] { WriteAtomically(at.CajaScript(), ScriptText(program), program_mode); }}});
  return r;
}

Result RemoveAll(const Locations& at) {
  Result r;
  // Each removal is tried even when another failed: what can go, goes.
  RunSteps(r, true,
           {{"Dolphin", [&] { RemoveIfOurs(at.DolphinMenu()); }},
            {"GNOME Files", [&] { RemoveIfOurs(at.NautilusScript()); }},
            {"Nemo", [&] { RemoveIfOurs(at.NemoAction()); }},
            {"Caja", [&] { RemoveIfOurs(at.CajaScript()); }},
            {"mimeapps.list", [&] {
               const std::string path = ResolvedPath(at.MimeAppsList());
               const auto old = ReadMimeAppsList(path);
               if (!old) return;
               const std::string updated = WithoutDefaultApplication(*old, kMimeType, kAssociationEntry);
               if (updated == *old) return;
               // A list that held nothing but our line goes as a whole.
               if (Trim(updated) == kDefaultSection || Trim(updated).empty()) {
                 if (::unlink(path.c_str()) != 0 && errno != ENOENT) Fail("cannot delete " + path, errno);
                 return;
               }
               WriteAtomically(path, updated, PermissionsOf(path));
             }},
            {"desktop entry", [&] { RemoveIfOurs(at.AssociationEntry()); }},
            {"icon", [&] { RemoveIfOurs(at.TypeIcon()); }},
            {"MIME package", [&] { RemoveIfOurs(at.MimePackage()); }}});
  Append(r, RefreshDatabases(at));
  return r;
}

}  // namespace vesk::shell
