// The files each file manager reads its context-menu items from, as this
// program writes them: every one carries the marker kMarker and starts
// `program --encrypt PATH...` or `program --decrypt PATH...`.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesk::shell::menus {

// The Python extension for GNOME Files ("Nautilus", "4.0") or Caja
// ("Caja", "2.0"). `program` must be UTF-8 without control characters.
std::string PythonExtension(std::string_view module, std::string_view version, const std::string& program);
// The executable script of the "Scripts" submenu, for a file manager
// without its Python extensions: decrypt when every selected file is a
// ".jmz" or ".age" file, else encrypt.
std::string MenuScript(const std::string& program);
// A Dolphin service menu: `kf5` for KDE Frameworks 5's kservices5 folder
// (with the service type it looks for), else for kio/servicemenus.
std::string DolphinMenu(bool kf5, bool decrypt, const std::string& program);
std::string NemoAction(bool decrypt, const std::string& program);
// Our two actions for Thunar's uca.xml, each ending with a line break.
std::string ThunarActions(const std::string& program);

// ---- uca.xml ---------------------------------------------------------------

// The actions Thunar shows a user who has no uca.xml of their own, when the
// system has none either.
std::string_view EmptyThunarActions();
// `existing` (nullopt: the user has no uca.xml, and Thunar shows `base`)
// with our actions in place of any earlier ones of ours, before the closing
// "</actions>". Throws std::runtime_error when `existing` is no list of
// actions this program can add to.
std::string WithThunarActions(const std::optional<std::string>& existing, std::string_view base,
                              std::string_view ours);
// `text` without our actions. nullopt when the file should go: this program
// made it from `base` (or from the empty list) and nothing else was added.
std::optional<std::string> WithoutThunarActions(const std::string& text, std::string_view base);
// Whether `text` holds an action of ours.
bool HasThunarActions(std::string_view text);

}  // namespace vesk::shell::menus
