#include "core/reporting.h"

#include <cmath>
#include <thread>

#include "platform/file_io.h"

namespace vesk {

const char* IdleCaption(Control c) {
  switch (c) {
    case Control::EncryptButton: return "加密文件";
    case Control::DecryptButton: return "解密文件";
    case Control::CreateSelfDecryptingButton: return "创建自解密";
    case Control::SelfDecryptButton: return "自解密";
    case Control::SeparateButton: return "分离";
    default: return "";
  }
}

const char* BusyCaption(Control c) {
  switch (c) {
    case Control::EncryptButton: return "取消加密";
    case Control::DecryptButton: return "取消解密";
    case Control::CreateSelfDecryptingButton: return "取消创建";
    case Control::SelfDecryptButton:
    case Control::SeparateButton: return "取消";
    default: return "";
  }
}

void Reporter::ProgressStart(int64_t total) {
  if (total > 0) {
    progress_total_ = total;
    SetBarRange(BarMaxFor(total));
    progress_quantum_ = total / 100;
  }
  progress_pending_ = -1;
}

int64_t Reporter::PercentOf(int64_t position, int64_t total) {
  if (position == 0 || total == 0) return 0;
  if (position == total) return 100;
  // nearbyint rounds to nearest with ties to even in the default mode.
  return static_cast<int64_t>(std::nearbyint(static_cast<double>(position) / (static_cast<double>(total) / 100.0)));
}

void Reporter::MoveBar(int64_t position) {
  OnBarPosition(BarPositionFor(position));
  progress_pending_ = -1;
}

void Reporter::ProgressSteps(int64_t first_position, int64_t unit, int64_t count) {
  int64_t done = 0;  // calls accounted for
  while (done < count) {
    // Calls still needed before the pending count reaches the quantum.
    int64_t gap = progress_quantum_ - progress_pending_;
    int64_t needed = gap <= 0 ? 1 : (gap + unit - 1) / unit;
    if (needed > count - done) {
      progress_pending_ += unit * (count - done);
      return;
    }
    done += needed;
    progress_pending_ += unit * needed;
    MoveBar(first_position + (done - 1) * unit);
  }
}

void Reporter::ProgressComplete() { OnBarPosition(bar_max_); }

void Reporter::RestoreItem(const std::function<void()>& reset, Control button) {
  try {
    if (reset) {
      reset();
    } else {
      SetCommandState(button, true);
    }
  } catch (...) {
    Beep();
  }
}

void Reporter::SetCommandState(Control button, bool enabled) {
  try {
    SetControlEnabled(Control::EncryptButton, enabled);
    SetControlEnabled(Control::DecryptButton, enabled);
    SetControlEnabled(Control::CreateSelfDecryptingButton, enabled);
    const bool self_decrypt = enabled && own_file_size_ >= SelfDecryptMinimumFor(image_size_);
    SetControlEnabled(Control::SelfDecryptButton, self_decrypt);
    SetControlEnabled(Control::SeparateButton, self_decrypt);
    SetControlEnabled(button, true);
    SetControlTag(button, enabled ? 0 : 1);
    SetControlEnabled(Control::ShredItem, enabled);
    if (button == Control::EncryptButton) SetControlEnabled(Control::EncryptionKey, enabled);
    SetControlEnabled(Control::DecryptionKey, enabled);
    const char* caption = enabled ? IdleCaption(button) : BusyCaption(button);
    if (*caption != '\0') SetControlCaption(button, caption);
  } catch (...) {
    Beep();
  }
}

bool Reporter::DeleteIfExists(const std::string& path) {
  if (!PathExists(path)) return true;
  return DeleteFile(path);
}

void Reporter::StopAll() {
  try {
    flags_.KeepDecrypting = false;
    flags_.KeepRunning = false;
    flags_.KeepCreating = false;
    flags_.KeepSeparating = false;
    StopCompression();
    flags_.KeepShredding = false;
  } catch (...) {
    Beep();
  }
}

void Reporter::StopAllAndYield() {
  StopAll();
  ProcessPendingMessages();
  if (yield_pause_.count() > 0) std::this_thread::sleep_for(yield_pause_);
}

}  // namespace vesk
