// The program's place in the desktop, per user and without root: the ".jmz"
// file type with its icon and this program as its default application, the
// "Vesk 文件加密" entry of the file managers' context menus for every file,
// and the removal of both.
//
// Everything is written where the freedesktop conventions put a user's own
// entries, under $XDG_DATA_HOME (default ~/.local/share) and
// $XDG_CONFIG_HOME (default ~/.config):
//
//   association    mime/packages/vesk-jmz.xml          the type application/x-vesk-jmz, glob *.jmz
//                  applications/vesk-jmz.desktop       opens a file with the program (hidden from menus)
//                  icons/hicolor/scalable/mimetypes/application-x-vesk-jmz.svg
//                  mimeapps.list (config)              one line: the type's default application
//   context menu   kio/servicemenus/vesk-open.desktop  Dolphin (executable, as KIO requires)
//                  nautilus/scripts/Vesk 文件加密      GNOME Files (executable script)
//                  nemo/actions/vesk-open.nemo_action  Nemo
//                  caja/scripts/Vesk 文件加密 (config) Caja (executable script)
//
// Every file carries the marker kMarker, so that removing takes away only
// files this program wrote; in mimeapps.list only the type's line that names
// our entry is removed. Files are written under a staging name and renamed
// into place, so a failure leaves the old file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesk::shell {

inline constexpr char kMimeType[] = "application/x-vesk-jmz";
inline constexpr char kMenuText[] = "Vesk 文件加密";
// The desktop-file ID of the entry that opens ".jmz" files.
inline constexpr char kAssociationEntry[] = "vesk-jmz.desktop";
// Written into every file of ours; nothing without it is ever removed.
inline constexpr char kMarker[] = "X-Vesk-Integration";

// The two base folders, absolute, without a final "/".
struct Locations {
  std::string data_home;
  std::string config_home;

  // $XDG_DATA_HOME and $XDG_CONFIG_HOME when they are absolute paths (the
  // conventions ignore relative ones), else ~/.local/share and ~/.config.
  // Throws std::runtime_error when the home folder is unknown.
  static Locations ForUser();

  std::string MimePackage() const;
  std::string AssociationEntry() const;
  std::string TypeIcon() const;
  std::string MimeAppsList() const;
  std::string DolphinMenu() const;
  std::string NautilusScript() const;
  std::string NemoAction() const;
  std::string CajaScript() const;

  std::string MimeFolder() const;          // data_home/mime
  std::string ApplicationsFolder() const;  // data_home/applications
};

// What went wrong, one line each; empty on success.
struct Result {
  std::vector<std::string> failures;
  bool ok() const { return failures.empty(); }
};

// Registers ".jmz" files to open with `program` (an absolute path): the MIME
// package, the desktop entry, the icon and the mimeapps.list default, then
// the MIME and desktop databases are refreshed. Registering again replaces
// every entry, so the last program registered wins.
Result RegisterAssociation(const Locations& at, const std::string& program);

// Adds the context-menu entry "Vesk 文件加密" for every file to Dolphin,
// GNOME Files, Nemo and Caja; each opens the selected file with `program`.
Result AddContextMenu(const Locations& at, const std::string& program);

// Removes everything the two above wrote, then refreshes the databases.
// Files of the same name that are not ours stay.
Result RemoveAll(const Locations& at);

// update-mime-database and update-desktop-database on the user's folders,
// each when it is installed and its folder exists.
Result RefreshDatabases(const Locations& at);

// ---- The pieces, for the tests and the packaging ----------------------------

// `path` as one argument of a desktop entry's Exec key: in double quotes
// with the reserved characters escaped, "%" doubled, and the string value's
// backslashes doubled.
std::string DesktopExecArgument(std::string_view path);
// `text` in single quotes for a POSIX shell.
std::string ShellQuote(std::string_view text);
// mimeapps.list with the default application of `type` set to `entry`
// (only that line changes; the section is added when missing).
std::string WithDefaultApplication(std::string_view list, std::string_view type, std::string_view entry);
// mimeapps.list without `entry` as the default of `type`; a line that names
// other entries too keeps them.
std::string WithoutDefaultApplication(std::string_view list, std::string_view type, std::string_view entry);
// The type's icon (SVG).
std::string_view TypeIconSvg();

}  // namespace vesk::shell
