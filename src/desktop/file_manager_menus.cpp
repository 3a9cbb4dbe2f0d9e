#include "desktop/file_manager_menus.h"

#include <cstdio>
#include <stdexcept>

#include "desktop/shell_integration.h"
#include "desktop/texts.h"

namespace vesk::shell {

// Generated from src/desktop/menu_extension.py.
extern const char kMenuExtensionPy[];

namespace menus {
namespace {

constexpr char kIconName[] = "vesk";
// Thunar's ids of our two actions; every id of ours starts so.
constexpr char kThunarIdPrefix[] = "vesk-";
constexpr std::string_view kCreatedComment = "<!-- X-Vesk-Integration: this file was made from the system's actions -->\n";
constexpr std::string_view kThunarSkeleton = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// `bytes` as a Python bytes literal that holds exactly these bytes.
std::string PythonBytes(std::string_view bytes) {
  std::string out = "b\"";
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || std::string_view("/._-+,:@ ").find(c) != std::string_view::npos) {
      out += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      out += hex;
    }
  }
  return out + "\"";
}

std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
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

// The span of `text` from the start of the line of `from` (when only blanks
// precede it there) to the end of the line of `to` (when only blanks follow).
std::pair<std::size_t, std::size_t> WholeLines(std::string_view text, std::size_t from, std::size_t to) {
  std::size_t begin = from;
  while (begin > 0 && (text[begin - 1] == ' ' || text[begin - 1] == '\t')) --begin;
  if (begin > 0 && text[begin - 1] != '\n') begin = from;
  std::size_t end = to;
  while (end < text.size() && (text[end] == ' ' || text[end] == '\t' || text[end] == '\r')) ++end;
  if (end < text.size() && text[end] == '\n') {
    ++end;
  } else if (end < text.size()) {
    end = to;
  }
  return {begin, end};
}

// The spans of our <action> elements.
std::vector<std::pair<std::size_t, std::size_t>> OurActions(std::string_view text) {
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  std::size_t at = 0;
  for (;;) {
    const std::size_t open = text.find("<action>", at);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find("</action>", open);
    if (close == std::string_view::npos) break;
    const std::size_t stop = close + std::string_view("</action>").size();
    const std::string_view element = text.substr(open, stop - open);
    if (element.find(std::string("<unique-id>") + kThunarIdPrefix) != std::string_view::npos) {
      spans.push_back(WholeLines(text, open, stop));
    }
    at = stop;
  }
  return spans;
}

std::string WithoutSpans(std::string_view text, const std::vector<std::pair<std::size_t, std::size_t>>& spans) {
  std::string out;
  std::size_t at = 0;
  for (const auto& [begin, end] : spans) {
    out.append(text.substr(at, begin - at));
    at = end;
  }
  out.append(text.substr(at));
  return out;
}

std::string ThunarAction(const char* id, const char* name, const char* tip, const std::string& command,
                         const char* patterns, bool directories) {
  std::string out = "<action>\n";
  out += std::string("\t<icon>") + kIconName + "</icon>\n";
  out += std::string("\t<name>") + name + "</name>\n";
  out += "\t<submenu></submenu>\n";
  out += std::string("\t<unique-id>") + id + "</unique-id>\n";
  out += "\t<command>" + XmlEscaped(command) + "</command>\n";
  out += std::string("\t<description>") + tip + "</description>\n";
  out += "\t<range></range>\n";
  out += std::string("\t<patterns>") + patterns + "</patterns>\n";
  if (directories) out += "\t<directories/>\n";
  out += "\t<audio-files/>\n\t<image-files/>\n\t<other-files/>\n\t<text-files/>\n\t<video-files/>\n";
  out += "</action>\n";
  return out;
}

}  // namespace

std::string PythonExtension(std::string_view module, std::string_view version, const std::string& program) {
  std::string out = kMenuExtensionPy;
  // The texts first: the program's path, put in last, may hold anything.
  ReplaceAll(out, "@PROGRAM_NAME@", kProgramName);
  ReplaceAll(out, "@ENCRYPT_ITEM@", kEncryptItem);
  ReplaceAll(out, "@DECRYPT_ITEM@", kDecryptItem);
  ReplaceAll(out, "@ENCRYPT_TIP@", text::kExtensionEncryptTip);
  ReplaceAll(out, "@DECRYPT_TIP@", text::kExtensionDecryptTip);
  ReplaceAll(out, "@ENCRYPT_ITEM_EN@", kEncryptItemEnglish);
  ReplaceAll(out, "@DECRYPT_ITEM_EN@", kDecryptItemEnglish);
  ReplaceAll(out, "@ENCRYPT_TIP_EN@", text::kExtensionEncryptTipEnglish);
  ReplaceAll(out, "@DECRYPT_TIP_EN@", text::kExtensionDecryptTipEnglish);
  ReplaceAll(out, "@CONTEXT_MENU_BUTTON@", text::kContextMenuButton);
  ReplaceAll(out, "@UNREGISTER_BUTTON@", text::kUnregisterButton);
  ReplaceAll(out, "@FILE_MANAGER@", module == "Nautilus" ? "GNOME Files" : module);
  ReplaceAll(out, "@MODULE@", module);
  ReplaceAll(out, "@VERSION@", version);
  ReplaceAll(out, "@PROGRAM@", PythonBytes(program));
  return out;
}

std::string MenuScript(const std::string& program) {
  return std::string("#!/bin/sh\n") + "# " + kMenuText + ": " + kEncryptItem + " / " + kDecryptItem +
         " (the file manager has no Python extensions).\n" + "# " + kMarker +
         ": context-menu\n"
         "# The selected files arrive as arguments, named relative to the shown folder\n"
         "# when it is local; the program gets their whole paths.\n"
         "switch=--decrypt\n"
         "[ $# -gt 0 ] || switch=--encrypt\n"
         "for file; do\n"
         "  case $file in\n"
         "    *.[jJ][mM][zZ] | *.[aA][gG][eE]) [ -d \"$file\" ] && switch=--encrypt ;;\n"
         "    *) switch=--encrypt ;;\n"
         "  esac\n"
         "done\n"
         "for file; do\n"
         "  shift\n"
         "  case $file in\n"
         "    /*) set -- \"$@\" \"$file\" ;;\n"
         "    *) set -- \"$@\" \"$PWD/$file\" ;;\n"
         "  esac\n"
         "done\n"
         "exec " + ShellQuote(program) + " \"$switch\" \"$@\"\n";
}

std::string DolphinMenu(bool kf5, bool decrypt, const std::string& program) {
  const char* action = decrypt ? "vesk-decrypt" : "vesk-encrypt";
  const char* name = decrypt ? kDecryptItemEnglish : kEncryptItemEnglish;
  const char* chinese_name = decrypt ? kDecryptItem : kEncryptItem;
  const std::string exec = DesktopExecArgument(program) + " " + (decrypt ? kDecryptSwitch : kEncryptSwitch) + " %F\n";
  std::string out = "[Desktop Entry]\n";
  // Frameworks 5 builds a service of every file in its service menu folder
  // and drops one that is not of the type Service. Frameworks 6 reads the
  // file as a hidden application, which keeps it a valid desktop entry; it
  // reads only the actions and the keys that filter them.
  out += kf5 ? "Type=Service\n" : "Type=Application\n";
  out += "Version=1.4\n";
  out += std::string("Name=") + name + "\n";
  out += std::string("Name[zh_CN]=") + chinese_name + "\n";
  out += "Exec=" + exec;
  out += std::string("Icon=") + kIconName + "\n";
  out += "NoDisplay=true\n";
  if (kf5) {
    // Frameworks 5 finds service menus by this service type in its service
    // database; the types after it filter the items ("all/all": files and
    // folders).
    out += std::string("X-KDE-ServiceTypes=KonqPopupMenu/Plugin,") + (decrypt ? kMimeType : "all/all") + "\n";
  } else {
    out += std::string("MimeType=") + (decrypt ? std::string(kMimeType) + ";" : "application/octet-stream;inode/directory;") + "\n";
  }
  out += std::string("Actions=") + action + ";\n";
  out += "X-KDE-Priority=TopLevel\n";
  out += "X-KDE-Protocols=file\n";
  out += std::string(kMarker) + "=context-menu\n";
  out += std::string("\n[Desktop Action ") + action + "]\n";
  out += std::string("Name=") + name + "\n";
  out += std::string("Name[zh_CN]=") + chinese_name + "\n";
  out += std::string("Icon=") + kIconName + "\n";
  out += "Exec=" + exec;
  return out;
}

std::string NemoAction(bool decrypt, const std::string& program) {
  std::string out = "[Nemo Action]\n";
  out += std::string("Name=") + (decrypt ? kDecryptItemEnglish : kEncryptItemEnglish) + "\n";
  out += std::string("Name[zh_CN]=") + (decrypt ? kDecryptItem : kEncryptItem) + "\n";
  out += std::string("Comment=") + (decrypt ? text::kDecryptTipEnglish : text::kEncryptTipEnglish) + "\n";
  out += std::string("Comment[zh_CN]=") + (decrypt ? text::kDecryptTip : text::kEncryptTip) + "\n";
  out += "Exec=" + NemoExecArgument(program) + " " + (decrypt ? kDecryptSwitch : kEncryptSwitch) + " %F\n";
  out += std::string("Icon-Name=") + kIconName + "\n";
  out += "Selection=notnone\n";
  if (decrypt) {
    out += std::string("Mimetypes=") + kMimeType + ";\n";
    out += "Extensions=jmz;age;\n";
  } else {
    out += "Extensions=any;\n";
  }
  out += "Quote=double\n";
  out += std::string(kMarker) + "=context-menu\n";
  return out;
}

std::string ThunarActions(const std::string& program) {
  const std::string shell_program = ShellQuote(program);
  // Thunar's actions hold one language: the one shown when registering.
  const bool english = ShownLanguage() == Language::kEnglish;
  return ThunarAction("vesk-encrypt", ShownEncryptItem(), english ? text::kEncryptTipEnglish : text::kEncryptTip, shell_program + " " + kEncryptSwitch + " %F", "*",
                      true) +
         ThunarAction("vesk-decrypt", ShownDecryptItem(), english ? text::kDecryptTipEnglish : text::kDecryptTip, shell_program + " " + kDecryptSwitch + " %F",
                      "*.jmz;*.JMZ;*.age;*.AGE", false);
}

std::string_view EmptyThunarActions() { return kThunarSkeleton; }

bool HasThunarActions(std::string_view text) { return !OurActions(text).empty(); }

std::string WithThunarActions(const std::optional<std::string>& existing, std::string_view base, std::string_view ours) {
  std::string text;
  if (existing) {
    text = WithoutSpans(*existing, OurActions(*existing));
  } else {
    text = base.empty() ? std::string(kThunarSkeleton) : std::string(base);
    // Noted, so that removing knows the file may go again.
    std::size_t after = 0;
    if (text.rfind("<?xml", 0) == 0) after = text.find('\n') == std::string::npos ? text.size() : text.find('\n') + 1;
    text.insert(after, kCreatedComment);
  }
  const std::size_t close = text.rfind("</actions>");
  if (close == std::string::npos || text.find("<actions") == std::string::npos) {
    throw std::runtime_error(text::kNotThunarActions.str());
  }
  const std::size_t insert_at = WholeLines(text, close, close).first;
  if (insert_at > 0 && text[insert_at - 1] != '\n') {
    text.insert(insert_at, "\n" + std::string(ours));
  } else {
    text.insert(insert_at, ours);
  }
  return text;
}

std::optional<std::string> WithoutThunarActions(const std::string& text, std::string_view base) {
  std::string out = WithoutSpans(text, OurActions(text));
  const std::size_t comment = out.find(kCreatedComment);
  if (comment == std::string::npos) return out;
  out.erase(comment, kCreatedComment.size());
  if (out == kThunarSkeleton || (!base.empty() && out == base)) return std::nullopt;
  return out;
}

}  // namespace menus
}  // namespace vesk::shell
