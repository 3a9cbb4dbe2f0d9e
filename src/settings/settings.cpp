#include "settings/settings.h"

#include <algorithm>
#include <utility>

namespace vesk::settings {

SettingsStore::SettingsStore(ValueStore& values, std::function<void()> beep)
    : values_(values), beep_(std::move(beep)) {}

void SettingsStore::Beep() {
  if (beep_) beep_();
}

bool SettingsStore::StoreSetting(std::string_view name, int32_t value) {
  try {
    // One write replaces a value of any kind, so there is no moment in which
    // the setting is missing from the store.
    values_.WriteInteger(name, value);
    return true;
  } catch (...) {
    Beep();
    return false;
  }
}

int SizeStateBeforeRestore(std::optional<int32_t> stored) {
  if (!stored) return 5;
  const int32_t b = *stored;
  if (b == 2 || b == 3) return 3;  // the smallest window is never restored
  if (b < 1) return 5;
  return b - 1;
}

void SettingsStore::LoadSettings(WindowSettings& w) {
  try {
    if (!values_.Exists()) return;

    const StoredInteger ratio = values_.ReadInteger(kRatio);
    SelectRatio(w, ratio.ok() ? ratio.value : kDesignedRatio);

    const StoredInteger window_colour = values_.ReadInteger(kWindowColour);
    if (window_colour.status != ReadStatus::Absent) {
      w.WindowColour = window_colour.ok() ? static_cast<uint32_t>(window_colour.value) : kSkyBlue;
    }

    const StoredInteger brand_colour = values_.ReadInteger(kBrandColour);
    if (brand_colour.status != ReadStatus::Absent) {
      w.BrandColour = brand_colour.ok() ? static_cast<uint32_t>(brand_colour.value) : kAqua;
    }

    const StoredInteger masking = values_.ReadInteger(kKeyMasking);
    SetKeysMasked(w, masking.ok() && masking.value == 1);

    const StoredInteger size = values_.ReadInteger(kSizeState);
    std::optional<int32_t> stored_size;
    if (size.status != ReadStatus::Absent) stored_size = size.ok() ? size.value : 0;
    w.Size.SizeState = SizeStateBeforeRestore(stored_size);
    ResizeClicked(w, /*has_sender=*/false);

    // Anything but the strong format's value is the compatible default.
    const StoredInteger format = values_.ReadInteger(kFormat);
    w.Format = format.ok() && format.value == static_cast<int32_t>(FileFormat::Age) ? FileFormat::Age : FileFormat::Jmz;
  } catch (...) {
    Beep();
  }
}

void SettingsStore::RatioSelected(WindowSettings& w, bool has_sender) {
  switch (w.RatioIndex) {
    case 0: w.Level = ZipLevel::None; break;
    case 1: w.Level = ZipLevel::Fastest; break;
    case 2: w.Level = ZipLevel::Default; break;
    case 3: w.Level = ZipLevel::Max; break;
    default: break;  // no item selected: the level stays
  }
  if (has_sender) StoreSetting(kRatio, w.RatioIndex);
}

void SettingsStore::KeyMaskingToggled(WindowSettings& w) {
  for (KeyBoxLook* box : {&w.EncryptionKey, &w.DecryptionKey}) {
    if (w.KeysMasked) {
      box->Background = box->FontColour;  // the text becomes invisible
    } else {
      box->Background = kWhite;
      box->FontColour = kBlack;
    }
  }
  StoreSetting(kKeyMasking, w.KeysMasked ? 1 : 0);
}

void SettingsStore::FormatSelected(WindowSettings& w) { StoreSetting(kFormat, static_cast<int32_t>(w.Format)); }

void SettingsStore::ResizeClicked(WindowSettings& w, bool has_sender) {
  StepSizeCycle(w.Size);
  if (has_sender) StoreSetting(kSizeState, w.Size.SizeState);
}

void SettingsStore::SelectRatio(WindowSettings& w, int index) {
  index = std::clamp(index, -1, 3);
  if (index == w.RatioIndex) return;
  w.RatioIndex = index;
  // A selection made in code reaches the handler with the radio group as
  // sender, so it is stored like a user's choice.
  RatioSelected(w, /*has_sender=*/true);
}

void SettingsStore::SetKeysMasked(WindowSettings& w, bool checked) {
  if (checked == w.KeysMasked) return;
  w.KeysMasked = checked;
  KeyMaskingToggled(w);
}

}  // namespace vesk::settings
