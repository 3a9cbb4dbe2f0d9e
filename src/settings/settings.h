// The six user choices that survive restarts (compression ratio, window
// colour, brand-label colour, key masking, window size, encryption format), stored as 32-bit
// integers in the user's settings store, and the handlers of the ratio radio
// group `RatioGroup`, the masking check box `KeyMasking` and the size button `ResizeButton` that
// change them.
//
// The functions work on WindowSettings, a plain copy of the window's settable
// state; the window applies the fields to its widgets afterwards. Store
// failures never reach the user except as the beep callback.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "settings/window_size.h"
#include "settings/value_store.h"

namespace vesk::settings {

// Value names in the store.
inline constexpr char kRatio[] = "zzll";         // RatioGroup item 0..3
inline constexpr char kWindowColour[] = "ctbjc"; // 0x00BBGGRR
inline constexpr char kBrandColour[] = "vkys";   // font colour of BrandLabel
inline constexpr char kKeyMasking[] = "pbmy";    // 1 masked, 0 plain
inline constexpr char kSizeState[] = "ctsf";     // ResizeButton cycle state 0..5
inline constexpr char kFormat[] = "jmgs";        // format of the encrypt button: 0 .jmz, 1 .age

inline constexpr uint32_t kSkyBlue = 0xF0CAA6;  // designed window colour
inline constexpr uint32_t kAqua = 0xFFFF00;     // designed brand colour
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr uint32_t kBlack = 0x000000;
inline constexpr int kDesignedRatio = 2;        // the normal-compression choice

// The compression component's level, in the order of its level type
// (clNone, clFastest, clDefault, clMax), so a static_cast converts.
enum class ZipLevel { None = 0, Fastest = 1, Default = 2, Max = 3 };

// The format the encrypt button writes: the compatible keyed container, or
// an age v1 file (strong encryption).
enum class FileFormat { Jmz = 0, Age = 1 };

struct KeyBoxLook {
  uint32_t FontColour = kBlack;
  uint32_t Background = kWhite;
};

struct WindowSettings {
  int RatioIndex = kDesignedRatio;      // RatioGroup item; -1 when none is selected
  ZipLevel Level = ZipLevel::Default;   // Compression.ZipLevel
  uint32_t WindowColour = kSkyBlue;
  uint32_t BrandColour = kAqua;         // BrandLabel font colour
  bool KeysMasked = false;              // KeyMasking checked
  KeyBoxLook EncryptionKey;                       // encryption key box
  KeyBoxLook DecryptionKey;                       // decryption key box
  WindowSize Size;                      // ResizeButton state, window height, ResizeButton caption
  FileFormat Format = FileFormat::Jmz;  // the format choice
};

class SettingsStore {
 public:
  // `beep` signals a swallowed store failure; it may be empty.
  explicit SettingsStore(ValueStore& values, std::function<void()> beep = {});

  // Writes `value` as an integer, creating the store; a value that is not
  // an integer is replaced. False (after a beep) on failure.
  bool StoreSetting(std::string_view name, int32_t value);

  // The start-up reading. Without a store nothing is read and `w` keeps its
  // designed values. Selections that change the ratio or the masking run
  // their handlers, which store them again.
  void LoadSettings(WindowSettings& w);

  // The ratio item `w.RatioIndex` was selected: sets the compression level
  // and, when the event has a sender, stores the index.
  void RatioSelected(WindowSettings& w, bool has_sender = true);
  // The masking box was toggled to `w.KeysMasked`: masked key boxes take
  // their font colour as background, plain ones are black on white. Stores
  // the choice.
  void KeyMaskingToggled(WindowSettings& w);
  // The user chose the format `w.Format`: stores it.
  void FormatSelected(WindowSettings& w);
  // One step of the size cycle; a user's click (has_sender) stores it.
  void ResizeClicked(WindowSettings& w, bool has_sender);

  // Selecting in code, as the radio group and the check box behave: an index
  // below -1 counts as -1, above 3 as 3; only a change runs the handler.
  void SelectRatio(WindowSettings& w, int index);
  void SetKeysMasked(WindowSettings& w, bool checked);

 private:
  void Beep();

  ValueStore& values_;
  std::function<void()> beep_;
};

// The size state that the start-up restore sets before its one step of the
// cycle, for the stored "ctsf" value (nullopt when absent; an unreadable
// value counts as 0). The step then gives: 0 -> 0, 1 -> 1, 2 -> 4, 3 -> 4,
// 4 -> 4, 5 -> 5, 6 and above -> 0, below 0 or absent -> 0.
int SizeStateBeforeRestore(std::optional<int32_t> stored);

}  // namespace vesk::settings
