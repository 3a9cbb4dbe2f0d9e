// The popup command that shreds a file: the item ShredItem starts a run or
// stops the running one; its worker asks, overwrites and deletes.
#include "app/window_logic.h"
#include "shred/shredder.h"

namespace vesk {

void WindowLogic::ShredClicked() {
  if (Tag(Control::ShredItem) != 0) {
    StopShredding();
    ShredPath.clear();
    return;
  }
  try {
    const FileDialogSpec open{"全部文件(*.*)|*.*", -1, "", shred::text::kDialogTitle};
    ShredPath.clear();
    const auto picked = port_.OpenDialog(open);
    if (!picked) return ShowStatus(shred::text::kDialogCancelled);
    ShredPath = *picked;
    StopAllAndYield();
    BeginRun();
    StartWorker([this] { ShredFile(); });
  } catch (...) {
    Beep();
  }
}

void WindowLogic::StopShredding() {
  ++shred_run_;
  Flags().KeepShredding = false;
  ResetShredItem();
  ShowStatus(shred::text::kStopped);
}

void WindowLogic::ResetShredItem() {
  try {
    SetControlTag(Control::ShredItem, 0);
    SetControlCaption(Control::ShredItem, shred::text::kIdleCaption);
    SetCommandState(Operation::MenuCommand, true);  // the key-less items follow
  } catch (...) {
    Beep();
  }
}

void WindowLogic::ShredFile() {
  // A run stopped by the user stays stopped, even when a later run has set
  // KeepShredding again while this one was still inside a slow write; and
  // such a run no longer touches the item, which belongs to the later run.
  const uint64_t run = shred_run_.load();
  const auto current = [this, run] { return shred_run_.load() == run; };
  shred::ShredJob job;
  job.path = ShredPath;
  job.stopped = [current] { return !current(); };
  job.set_progress_hint = [this](const std::string& text) { SetHintText(Hint::Output, text); };
  job.mark_busy = [this, current] {
    if (!current()) return;
    SetControlTag(Control::ShredItem, 1);
    // The item alone becomes the stop; the other commands stay locked.
    Port().SetEnabled(Control::ShredItem, true);
    SetControlCaption(Control::ShredItem, shred::text::kBusyCaption);
  };
  job.reset_item = [this, current] {
    if (current()) ResetShredItem();
  };
  shred::ShredFile(job, *this);
}

}  // namespace vesk
