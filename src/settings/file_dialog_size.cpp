#include "settings/file_dialog_size.h"

#include <algorithm>

namespace vesk::settings {
namespace {

bool Kept(int side) { return side >= DialogSize::kMinimum && side <= DialogSize::kMaximum; }

}  // namespace

std::optional<DialogSize> StoredFileDialogSize(const ValueStore& values) {
  if (!values.Exists()) return std::nullopt;
  const StoredInteger width = values.ReadInteger(kFileDialogWidth);
  const StoredInteger height = values.ReadInteger(kFileDialogHeight);
  if (!width.ok() || !height.ok() || !Kept(width.value) || !Kept(height.value)) return std::nullopt;
  return DialogSize{width.value, height.value};
}

void StoreFileDialogSize(ValueStore& values, DialogSize size) {
  values.WriteInteger(kFileDialogWidth, std::clamp(size.width, DialogSize::kMinimum, DialogSize::kMaximum));
  values.WriteInteger(kFileDialogHeight, std::clamp(size.height, DialogSize::kMinimum, DialogSize::kMaximum));
}

}  // namespace vesk::settings
