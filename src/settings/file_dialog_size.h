// The size the file dialogs were last left at, kept with the other settings
// so that the dialogs open at it again.
#pragma once

#include <optional>

#include "settings/value_store.h"

namespace vesk::settings {

// Value names in the store.
inline constexpr char kFileDialogWidth[] = "wjkkd";
inline constexpr char kFileDialogHeight[] = "wjkgd";

// What is kept: neither side below kMinimum nor above kMaximum pixels.
struct DialogSize {
  static constexpr int kMinimum = 200;
  static constexpr int kMaximum = 16384;
  int width = 0;
  int height = 0;
  bool operator==(const DialogSize&) const = default;
};

// The stored size; nullopt when either side is absent, unreadable or
// outside the kept range (a hand-edited or damaged file).
std::optional<DialogSize> StoredFileDialogSize(const ValueStore& values);

// Stores `size`, each side brought into the kept range. Throws as the
// store's WriteInteger does.
void StoreFileDialogSize(ValueStore& values, DialogSize size);

}  // namespace vesk::settings
