// The window's small behaviours: colour choices for the window and the brand
// label, the label's colour effect, the key-length hints, the soft keyboard,
// clearing the key boxes and the clipboard, the bundled web pages and the
// About box.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "app/window_logic.h"
#include "app/texts.h"
#include "platform/colours.h"
#include "platform/language.h"

namespace vesk {
namespace {

// The English version of a bundled page: "-en" before the extension of its
// file name ("/jmz/Help.htm" -> "/jmz/Help-en.htm", "/" -> "/index-en.html").
std::string EnglishPagePath(std::string path) {
  if (path.empty() || path.back() == '/') path += "index.html";
  const std::size_t name = path.rfind('/') + 1;
  const std::size_t dot = path.rfind('.');
  path.insert(dot == std::string::npos || dot < name ? path.size() : dot, "-en");
  return path;
}

// The draw of the brand effect: the generator is reseeded from the clock on
// every move, so that moves keep giving new colours without a stored state.
uint32_t ClockSeededDraw() {
  std::mt19937 generator(static_cast<std::mt19937::result_type>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  return std::uniform_int_distribution<uint32_t>(0, 0xFFFFFFFEu)(generator);
}

// Colours the brand label never takes: black, fuchsia and the system colours
// 6, 7, 8, 18 and 23 (frame and texts), which would hide it.
bool IsRefusedBrandColour(uint32_t c) {
  return c == kColourBlack || c == kColourFuchsia || c == SystemColourValue(6) || c == SystemColourValue(7) ||
         c == SystemColourValue(8) || c == SystemColourValue(18) || c == SystemColourValue(23);
}

bool IsUfoColour(uint32_t c) {
  return c == kColourRed || c == kColourLime || c == kColourYellow || c == kColourAqua;
}

bool IsExecutableFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

// ---- Colours ----------------------------------------------------------------

void WindowLogic::WindowDoubleClicked() {
  try {
    if (const auto chosen = port_.ColourDialog()) {
      settings_.WindowColour = *chosen;
      SettingsChanged();
    }
    // A cancelled dialog stores the current colour again.
    StoreSetting(settings::kWindowColour, static_cast<int32_t>(settings_.WindowColour));
  } catch (...) {
    Beep();
  }
}

void WindowLogic::BrandDoubleClicked() {
  try {
    if (const auto chosen = port_.ColourDialog()) {
      settings_.BrandColour = *chosen;
      SettingsChanged();
    }
    StoreSetting(settings::kBrandColour, static_cast<int32_t>(settings_.BrandColour));
  } catch (...) {
    Beep();
  }
}

void WindowLogic::BrandClicked() {
  try {
    port_.PopupMenuAt(kBrandMenuDx, kBrandMenuDy);
  } catch (...) {
    Beep();
  }
}

void WindowLogic::BrandHovered() {
  try {
    std::this_thread::sleep_for(kBrandPause);
    uint32_t r = brand_draw_ ? brand_draw_() : ClockSeededDraw();
    // The upper half of the draws folds into the values with the top bit
    // set, the system colours.
    if (r > 0x7FFFFFFFu) r = 0x7FFFFFFFu - r;
    if (IsRefusedBrandColour(r)) {
      port_.SetBrandCaption("Vesk");
      return;
    }
    settings_.BrandColour = r;
    SettingsChanged();
    if (IsUfoColour(r)) port_.SetBrandCaption("UFO");
  } catch (...) {
    Beep();
  }
}

// ---- Key-length hints ---------------------------------------------------------

void WindowLogic::ShowKeyLength(Control box, const char* unit) {
  try {
    port_.SetKeyHint(box, text::KeyLength(KeyBytes(box).size(), unit));
  } catch (...) {
    Beep();
  }
}

void WindowLogic::EncryptionKeyClicked() { ShowKeyLength(Control::EncryptionKey, text::kBytesClicked); }
void WindowLogic::EncryptionKeyHovered() { ShowKeyLength(Control::EncryptionKey, text::kBytesHovered); }
void WindowLogic::DecryptionKeyClicked() { ShowKeyLength(Control::DecryptionKey, text::kBytesClicked); }
void WindowLogic::DecryptionKeyHovered() { ShowKeyLength(Control::DecryptionKey, text::kBytesHovered); }

// ---- Soft keyboard --------------------------------------------------------------

const std::vector<std::string>& WindowLogic::OnScreenKeyboards() {
  static const std::vector<std::string> programs = {"onboard", "florence", "matchbox-keyboard", "squeekboard",
                                                    "kvkbd"};
  return programs;
}

std::optional<std::string> WindowLogic::FindOnScreenKeyboard(std::string_view path_variable) {
  std::vector<std::string_view> folders;
  for (std::size_t start = 0; start <= path_variable.size();) {
    const std::size_t end = std::min(path_variable.find(':', start), path_variable.size());
    if (end > start) folders.push_back(path_variable.substr(start, end - start));
    start = end + 1;
  }
  for (const std::string& program : OnScreenKeyboards()) {
    for (std::string_view folder : folders) {
      const std::filesystem::path candidate = std::filesystem::path(folder) / program;
      if (IsExecutableFile(candidate)) return candidate.string();
    }
  }
  return std::nullopt;
}

void WindowLogic::SoftKeyboardClicked() {
  try {
    const char* path = std::getenv("PATH");
    const auto keyboard = FindOnScreenKeyboard(path != nullptr ? path : "");
    // A keyboard that is there but does not start helps the user no more
    // than a missing one.
    if (!keyboard || !port_.StartProgram(*keyboard)) ReportMessage(text::kNoSoftKeyboard);
  } catch (...) {
    Beep();
  }
}

// ---- Clearing -----------------------------------------------------------------

void WindowLogic::ClearKeysClicked() {
  try {
    // A key box that a running command has disabled holds the key that
    // command is still going to read; it keeps it.
    for (Control box : {Control::EncryptionKey, Control::DecryptionKey}) {
      if (port_.ControlEnabled(box)) port_.SetKeyText(box, "");
    }
  } catch (...) {
    Beep();
  }
}

void WindowLogic::ClearClipboardClicked() {
  try {
    port_.ClearClipboardText();
  } catch (...) {
    Beep();
  }
}

// ---- Web pages, About, status bar -------------------------------------------

void WindowLogic::OpenPage(const char* path) {
  try {
    // The English window opens the English page where one is installed,
    // else the Chinese one rather than nothing.
    std::string page = path;
    if (ShownLanguage() == Language::kEnglish) {
      const std::string english = EnglishPagePath(page);
      const std::string file = port_.SitePageFile(english);
      std::error_code ec;
      if (!file.empty() && std::filesystem::is_regular_file(file, ec)) page = english;
    }
    if (!port_.OpenSitePage(page)) PageNotOpened(page);
  } catch (...) {
    Beep();
  }
}

void WindowLogic::PageNotOpened(const std::string& path) {
  try {
    std::string file = port_.SitePageFile(path);
    if (file.empty()) file = path == "/" ? "index.html" : path.substr(path.find_first_not_of('/'));
    // Without a browser the user can still read the page: say where it is.
    ReportMessage(text::PageNotOpened(file));
  } catch (...) {
    Beep();
  }
}

void WindowLogic::HelpClicked() {
  OpenPage("/jmz/Help.htm");
  RevealKeylessItems();
}

void WindowLogic::CheckForUpdatesClicked() {
  // Nothing is fetched from the network: the item only opens the bundled
  // page, and says so.
  ShowStatus(text::kNoOnlineUpdateCheck);
  OpenPage("/jmz/Index.htm");
  RevealKeylessItems();
}

void WindowLogic::HomePageClicked() { OpenPage("/"); }

std::string WindowLogic::AboutText() {
  return std::string(text::kAboutHead) + VESK_VERSION_TEXT;
}

void WindowLogic::AboutClicked() {
  try {
    port_.InformationBox(AboutText(), kAboutCaption);
  } catch (...) {
    Beep();
  }
  RevealKeylessItems();
}

void WindowLogic::StatusBarDoubleClicked() {
  try {
    ReportMessage(port_.StatusPanelText().value_or(StatusText()));
  } catch (...) {
    Beep();
  }
}

}  // namespace vesk
