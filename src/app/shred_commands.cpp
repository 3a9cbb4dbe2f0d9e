// The popup command that shreds a file: the item ShredItem asks for a file
// and runs the shred command on a worker, or stops the running one. The
// item turns into the stop once the file's overwriting begins and back when
// the run ends.
#include "app/texts.h"
#include "app/window_logic.h"
#include "commands/shred_command.h"
#include "shred/texts.h"

namespace vesk {

void WindowLogic::ShredClicked() {
  if (Tag(Control::ShredItem) != 0) return StopShredding();
  try {
    const FileDialogSpec open{text::kShredFilter, -1, "", shred::text::kDialogTitle};
    const auto picked = port_.OpenDialog(open);
    if (!picked) return ShowStatus(shred::text::kDialogCancelled);
    StopAllAndYield();
    BeginRun();
    StartShred(*picked);
  } catch (...) {
    Beep();
  }
}

void WindowLogic::StopShredding() {
  ++shred_run_;
  {
    std::lock_guard lock(mutex_);
    shred_stop_.RequestStop();
  }
  ResetShredItem();
  ShowStatus(shred::text::kStopped);
}

void WindowLogic::StopRuns() {
  std::lock_guard lock(mutex_);
  shred_stop_.RequestStop();
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

void WindowLogic::StartShred(const std::string& file) {
  // Each run has its own stop. A run the user stopped no longer touches the
  // item, which belongs to a later run from then on.
  const StopSource stop;
  {
    std::lock_guard lock(mutex_);
    shred_stop_ = stop;
  }
  const uint64_t run = shred_run_.load();
  const auto current = [this, run] { return shred_run_.load() == run; };
  const auto busy = std::make_shared<std::atomic<bool>>(false);
  auto request = std::make_shared<commands::ShredRequest>();
  request->files = {file};
  request->overwriting = [this, current, busy] {
    if (!current()) return;
    *busy = true;
    SetCommandState(Operation::MenuCommand, false);
    SetControlTag(Control::ShredItem, 1);
    // The item alone becomes the stop; the other commands stay locked.
    Port().SetEnabled(Control::ShredItem, true);
    SetControlCaption(Control::ShredItem, shred::text::kBusyCaption);
  };
  StartWorker([this, request, stop, current, busy] {
    commands::ShredCommand command;
    const commands::Plan plan = command.MakePlan(*request);
    RunContext context{*this, *this, stop.Token()};
    const RunResult result = command.Run(*request, plan.items.front(), context);
    if (*busy && current()) ResetShredItem();
    if (result.Completed()) {
      Complete(result.written);
    } else {
      EndRun(result.outcome, result.reason);
      if (result.outcome == Outcome::kRefused || result.outcome == Outcome::kFailed) Beep();
    }
  });
}

}  // namespace vesk
