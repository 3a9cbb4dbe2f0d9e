// The program's place in the desktop, per user and without root: the ".jmz"
// file type with its icon and this program as its default application, the
// file managers' context-menu items kEncryptItem and kDecryptItem (texts.h),
// and the removal of both.
//
// Everything is written where the freedesktop conventions put a user's own
// entries, under $XDG_DATA_HOME (default ~/.local/share) and
// $XDG_CONFIG_HOME (default ~/.config):
//
//   association    mime/packages/vesk-jmz.xml          the type application/x-vesk-jmz, glob *.jmz
//                  applications/vesk-jmz.desktop       opens a file with the program (hidden from menus)
//                  icons/hicolor/scalable/mimetypes/application-x-vesk-jmz.svg
//                  mimeapps.list (config)              our entry first among the type's defaults
//   context menu   icons/hicolor/scalable/apps/vesk.svg              the items' icon
//                  nautilus-python/extensions/vesk_menu.py           GNOME Files (python3-nautilus)
//                  nautilus/scripts/Vesk 文件加密                     GNOME Files without it ("Scripts")
//                  Thunar/uca.xml (config)                           Thunar: two actions merged in
//                  kservices5/ServiceMenus/vesk-{open,decrypt}.desktop   Dolphin on KDE Frameworks 5
//                  kio/servicemenus/vesk-{open,decrypt}.desktop          Dolphin on KDE Frameworks 6
//                  nemo/actions/vesk-{open,decrypt}.nemo_action      Nemo
//                  caja-python/extensions/vesk_menu.py               Caja (python3-caja)
//                  caja/scripts/Vesk 文件加密 (config)                Caja without it ("Scripts")
//
// Every file of ours carries the marker kMarker. A file at one of these
// places that does not carry it belongs to the user: registering refuses
// that place (and says so), removing leaves it. In the shared lists
// (mimeapps.list, uca.xml) only our entries are added and taken out, so the
// user's own stay byte for byte. Files are written under a staging name and
// renamed into place, so a failure leaves the old file. Folders made for our
// files are noted and removed again with them when empty, so that removing
// restores the folders as they were.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/texts.h"

namespace vesk::shell {

inline constexpr char kMimeType[] = "application/x-vesk-jmz";
// The window's switches the menu items start it with.
inline constexpr char kEncryptSwitch[] = "--encrypt";
inline constexpr char kDecryptSwitch[] = "--decrypt";
// The desktop-file ID of the entry that opens ".jmz" files.
inline constexpr char kAssociationEntry[] = "vesk-jmz.desktop";
// Written into every file of ours; nothing without it is ever replaced or removed.
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
  std::string ProgramIcon() const;
  std::string NautilusExtension() const;
  std::string NautilusScript() const;
  std::string ThunarActions() const;
  std::string DolphinMenu() const;         // KDE Frameworks 6 (and 5 from 5.85 on), encrypt
  std::string DolphinDecryptMenu() const;  // the same, decrypt
  std::string Dolphin5Menu() const;        // KDE Frameworks 5, encrypt
  std::string Dolphin5DecryptMenu() const;
  std::string NemoAction() const;
  std::string NemoDecryptAction() const;
  std::string CajaExtension() const;
  std::string CajaScript() const;
  // The note of the folders registration made (removed with the last file).
  std::string FolderNote() const;

  std::string MimeFolder() const;          // data_home/mime
  std::string ApplicationsFolder() const;  // data_home/applications
};

// What is installed on this computer that decides how a file manager gets
// its items.
struct Desktop {
  bool nautilus_python = false;  // python3-nautilus: GNOME Files loads Python extensions
  bool caja_python = false;      // python3-caja: Caja loads Python extensions
  // The system's Thunar actions a user without an own uca.xml sees
  // ($XDG_CONFIG_DIRS/Thunar/uca.xml); empty when there are none.
  std::string thunar_system_actions;

  // Looks at the installed libraries and the configuration folders.
  static Desktop OfThisComputer();
};

// ---- The typed result of a registration or a removal -------------------------

// The places a step concerns.
enum class Place {
  kProgram,            // the program the entries start
  kMimePackage,
  kTypeIcon,
  kAssociationEntry,
  kDefaultApplication,  // mimeapps.list
  kDatabases,           // update-mime-database, update-desktop-database
  kProgramIcon,
  kNautilus,
  kThunar,
  kDolphin5,
  kDolphin6,
  kNemo,
  kCaja,
  kFolders,             // the folders registration made
  kSettings,            // the window's settings (removed by the front ends)
};

enum class Outcome {
  kWritten,          // written (new, or our own file replaced)
  kUnchanged,        // already as it has to be
  kRemoved,          // ours was there and is gone
  kEntriesRemoved,   // our entries are gone from a list of the user's, which stays
  kAbsent,           // removal: nothing of ours was there
  kKeptForeign,      // removal: the file there is not ours and stays
  kRefusedForeign,   // registration: a file that is not ours is there; left as it is, nothing written
  kFallback,         // written in a simpler form, since a component is missing (`detail` names its package)
  kToolMissing,      // a tool is not installed, so this step did not run (`detail` names its package)
  kFailed,           // went wrong (`detail` says why)
  kSkipped,          // not tried, since a step it depends on did not succeed
};

struct Step {
  Place place;
  Outcome outcome;
  std::string path;    // the file or folder concerned; may be empty
  std::string detail;  // why, or which package
};

struct Result {
  std::vector<Step> steps;

  // Nothing failed, was refused or skipped (fallbacks and missing tools are
  // reported but do not make a registration fail).
  bool ok() const;
  // The steps that make ok() false.
  std::vector<Step> Problems() const;
  // The step of `place` (the last one when there are several); nullptr when none.
  const Step* Find(Place place) const;
  void Add(Place place, Outcome outcome, std::string path = {}, std::string detail = {});
  void Append(const Result& other);
};

// ---- The three actions ----------------------------------------------------------

// Registers ".jmz" files to open with `program` (an absolute path of an
// executable file): the MIME package, the icon, the desktop entry and our
// entry first in mimeapps.list, then the MIME and desktop databases are
// refreshed. A step that fails or is refused ends the registration there, so
// no default names an entry that is not ours.
Result RegisterAssociation(const Locations& at, const std::string& program);

// Adds kEncryptItem (any files and folders) and kDecryptItem (".jmz" and
// ".age" files) to every file manager's context menu, each starting
// `program --encrypt|--decrypt PATH...`. Each place is tried even when
// another one fails or is refused. Entries of an older registration that
// this one replaces (the "Scripts" entries once an extension is in place) go.
Result AddContextMenu(const Locations& at, const std::string& program, const Desktop& desktop);
Result AddContextMenu(const Locations& at, const std::string& program);

// Removes everything the two above wrote, restores the shared lists without
// our entries and removes the folders registration made when they are empty
// again, then refreshes the databases. Files that are not ours stay.
Result RemoveAll(const Locations& at);

// update-mime-database and update-desktop-database on the user's folders,
// each when its folder exists.
Result RefreshDatabases(const Locations& at);

// The program the entries of a running program start, from what
// /proc/self/exe reads (`link`): the path itself when an executable file is
// there; after the program was replaced or removed while running (the
// kernel adds " (deleted)"), its path name when a new program is there;
// nullopt when none is.
std::optional<std::string> ProgramPathName(const std::string& link);
// The same for the running program.
std::optional<std::string> RunningProgramPathName();

// ---- How the front ends present a result ---------------------------------------

enum class Action { kAssociate, kContextMenu, kUnregister };

// The name of a place as the messages show it (text::kPlaceThunar, ...).
std::string PlaceName(Place place);
// One line for one step: the place, what happened, the path and why.
std::string DescribeStep(const Step& step);
// One line for the status bar: what was done, and what could not be done and why.
std::string Summary(Action action, const Result& result);

// ---- The pieces, for the tests and the packaging ----------------------------

// `path` as one argument of a desktop entry's Exec key: in double quotes
// with the reserved characters escaped, "%" doubled, and the string value's
// backslashes doubled.
std::string DesktopExecArgument(std::string_view path);
// `text` in single quotes for a POSIX shell.
std::string ShellQuote(std::string_view text);
// mimeapps.list with `entry` first among the default applications of
// `type`, the other entries kept (the section and the line are added when
// missing). Only that line changes; WithoutDefaultApplication of the result
// gives `list` back.
std::string WithDefaultApplication(std::string_view list, std::string_view type, std::string_view entry);
// mimeapps.list without `entry` among the defaults of `type`; a line that
// names other entries too keeps them, a line or a section left empty goes.
std::string WithoutDefaultApplication(std::string_view list, std::string_view type, std::string_view entry);
// The type's icon (SVG).
std::string_view TypeIconSvg();

}  // namespace vesk::shell
