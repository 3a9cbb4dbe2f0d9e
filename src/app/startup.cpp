// The main window's start-up, command line, dropped files, close handling,
// settings handlers and size cycle: the parts of WindowLogic that every front end
// with a window shares. Toolkit services (drop registration, cursor, bringing
// the window to the front, moving it) stay with the front end.
#include <cctype>
#include <limits>

#include "app/window_logic.h"
#include "platform/file_io.h"
#include "selfextract/elf_image.h"
#include "selfextract/layout.h"

namespace vesk {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool StartsWithNoCase(const std::string& s, std::string_view prefix) {
  return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == Lower(std::string(prefix));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A 32-bit integer as the colour switch writes it: an optional sign, then
// decimal digits, or hexadecimal ones after "$" (or "0x"). Hexadecimal takes
// up to eight digits, so "$FF000005" names a system colour; decimal must fit
// a signed 32-bit integer.
std::optional<uint32_t> ParseColourNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int d = base == 16 ? HexDigit(text[i]) : (std::isdigit(static_cast<unsigned char>(text[i])) ? text[i] - '0' : -1);
    if (d < 0) return std::nullopt;
    value = value * base + d;
    if (value > 0xFFFFFFFFLL) return std::nullopt;
  }
  if (base == 10) {
    const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()} : std::numeric_limits<int32_t>::max();
    if (value > limit) return std::nullopt;
  }
  if (negative) value = -value;
  return static_cast<uint32_t>(value);  // modulo 2^32, as the colour value is held
}

}  // namespace

// ---- settings_ -------------------------------------------------------------

void WindowLogic::UseSettingsStore(settings::ValueStore& values) {
  values_ = &values;
  store_.reset();
}

settings::SettingsStore& WindowLogic::Store() {
  if (!store_) {
    settings::ValueStore& values = values_ != nullptr ? *values_ : memory_values_;
    store_ = std::make_unique<settings::SettingsStore>(values, [this] { Beep(); });
  }
  return *store_;
}

void WindowLogic::StoreSetting(std::string_view name, int32_t value) { Store().StoreSetting(name, value); }

void WindowLogic::SettingsChanged() {
  SetRatioIndex(static_cast<int>(settings_.Level));
  if (OnSettingsChanged) OnSettingsChanged(settings_);
}

void WindowLogic::LoadSettings() {
  Store().LoadSettings(settings_);
  SettingsChanged();
}

void WindowLogic::RatioSelected(int index) {
  try {
    settings_.RatioIndex = index;
    Store().RatioSelected(settings_, /*has_sender=*/true);
    SettingsChanged();
  } catch (...) {
    Beep();
  }
}

void WindowLogic::KeyMaskingToggled(bool checked) {
  try {
    settings_.KeysMasked = checked;
    Store().KeyMaskingToggled(settings_);
    SettingsChanged();
  } catch (...) {
    Beep();
  }
}

void WindowLogic::ResizeClicked(bool has_sender) {
  try {
    Store().ResizeClicked(settings_, has_sender);
    SettingsChanged();
  } catch (...) {
    Beep();
  }
}

// ---- Start-up ---------------------------------------------------------------

void WindowLogic::ResetFields() {
  info_clicks_ = 0;
  SetOwnFile({}, {});
  settings_ = settings::WindowSettings{};
  SettingsChanged();
}

bool WindowLogic::MeasureImageSize() {
  try {
    SetImageSize(selfextract::RunningImageSize());
    return true;
  } catch (...) {
    return false;
  }
}

void WindowLogic::ReadSelfDecryptInfo(const std::optional<OwnFile>& own) {
  selfextract::SelfDecryptInfo info;
  if (own) {
    int64_t image_size = own->image_size;
    if (image_size <= 0) {
      try {
        image_size = selfextract::ImageSizeOf(own->path);
      } catch (...) {
        image_size = 0;  // the reader then fails and beeps below
      }
    }
    if (image_size > 0) SetImageSize(image_size);
    info = selfextract::ReadSelfDecryptInfo(*this, *this, own->path, image_size);
  } else {
    info = selfextract::ReadRunningSelfDecryptInfo(*this, *this);
    if (info.ImageSize > 0) SetImageSize(info.ImageSize);
  }
  // The own file's length decides, with the image's, whether the payload
  // commands are offered.
  SetOwnFileSize(info.OwnFileSize);
  // Greyed for want of a payload, the two buttons say so.
  const bool payload = OwnFileSize() >= selfextract::SelfDecryptMinimum(ImageSize());
  for (Control c : {Control::SelfDecryptButton, Control::SeparateButton}) {
    port_.SetControlHint(c, payload ? std::string() : text::kNoPayloadHint);
  }
  if (info.Damaged) NoteDamage();
  SetOwnFile(own ? own->path : std::string(), info);
  if (!info.StatusHint.empty()) SetHintText(Hint::Source, info.StatusHint);
  // OwnFileSize is measured now: the idle command state enables SelfDecryptButton and
  // SeparateButton exactly when a payload follows the program image.
  SetCommandState(Operation::MenuCommand, true);
  if (info.Failed) Beep();
}

void WindowLogic::ApplyCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return;
  auto& store = Store();
  for (const std::string& arg : args) {
    const std::string lower = Lower(arg);
    if (lower == "/ysl3") {
      store.SelectRatio(settings_, 3);
    } else if (lower == "/ysl1") {
      store.SelectRatio(settings_, 1);
    } else if (lower == "/ysl2") {
      store.SelectRatio(settings_, 2);
    } else if (lower == "/ysl0") {
      store.SelectRatio(settings_, 0);
    }
    if (lower == "/pbmy") store.SetKeysMasked(settings_, true);
    if (arg == ">>>") {
      StepSizeCycleFrom(settings_.Size, 3);
    }
    if (arg == ">>>>") {
      StepSizeCycleFrom(settings_.Size, 4);
    }
    if (StartsWithNoCase(arg, "Color")) {
      settings_.WindowColour = ParseColourNumber(std::string_view(arg).substr(5)).value_or(settings::kSkyBlue);
    }
  }
  SettingsChanged();

  // An unquoted path with blanks arrives as several arguments.
  std::string path = args.front();
  for (std::size_t i = 1; i < args.size(); ++i) path += " " + args[i];
  if (FileExists(path)) {
    ShowStatus(path);
    SetHintText(Hint::Source, path);
    return;
  }
  // Else every argument that names a file or a folder (the desktop's menus
  // pass all the chosen ones): the next file command takes them.
  std::vector<std::string> chosen;
  for (const std::string& arg : args) {
    if (FileExists(arg) || DirectoryExists(arg)) chosen.push_back(arg);
  }
  if (chosen.size() == 1 && FileExists(chosen.front())) {
    ShowStatus(chosen.front());
    SetHintText(Hint::Source, chosen.front());
  } else if (!chosen.empty()) {
    chosen_paths_ = chosen;
    ShowStatus(SourceLine(chosen));
    SetHintText(Hint::Source, SourceLine(chosen));
  }
}

void WindowLogic::StartUp(const std::vector<std::string>& args, const std::optional<OwnFile>& own) {
  try {
    ResetFields();
  } catch (...) {
    Beep();
  }
  try {
    SetCommandState(Operation::MenuCommand, true);
    StopAll();
  } catch (...) {
    Beep();
  }
  try {
    ReadSelfDecryptInfo(own);
  } catch (...) {
    port_.SetEnabled(Control::SelfDecryptButton, false);
    port_.SetEnabled(Control::SeparateButton, false);
    Beep();
  }
  try {
    LoadSettings();
  } catch (...) {
    Beep();
  }
  try {
    ApplyCommandLine(args);
  } catch (...) {
    Beep();
  }
}

// ---- Dropped files and closing ------------------------------------------------

bool WindowLogic::DropFiles(const std::vector<std::string>& paths) {
  try {
    // One file is shown and preselected in the next open dialog.
    if (paths.size() == 1 && FileExists(paths.front())) {
      chosen_paths_.clear();
      ShowStatus(paths.front());
      SetHintText(Hint::Source, paths.front());
      return true;
    }
    // Several, or a folder: the next file command takes them all.
    std::vector<std::string> chosen;
    for (const std::string& path : paths) {
      if (FileExists(path) || DirectoryExists(path)) chosen.push_back(path);
    }
    if (chosen.empty()) return false;
    chosen_paths_ = chosen;
    ShowStatus(SourceLine(chosen));
    SetHintText(Hint::Source, SourceLine(chosen));
    return true;
  } catch (...) {
    Beep();
    return false;
  }
}

void WindowLogic::CloseRequested() {
  try {
    // Among several files, none after the one at work begins (StopAll
    // stops the run).
    StopAllAndYield();
  } catch (...) {
    Beep();
  }
}

void WindowLogic::Closing() {
  try {
    StopAllAndYield();
  } catch (...) {
    Beep();
  }
}

void WindowLogic::ShutDown() {
  try {
    StopAll();
  } catch (...) {
    Beep();
  }
}

bool WindowLogic::WaitForOperationsToEnd(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    // Again on every round: a decryption may hand its file to the compression
    // component before it sees its cleared flag. Stopping a compression runs
    // its end handler, which deletes the partial output.
    StopAll();
    if (RunningWorkers() == 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ui_.ProcessPending();
    port_.ProcessPendingMessages();
    WaitForWorkers(std::chrono::milliseconds(10));
  }
}

}  // namespace vesk
