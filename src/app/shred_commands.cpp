// The popup command that shreds a file: the item ShredItem asks for a file
// and runs the shred command on a worker, or stops the running one. The
// item turns into the stop once the file's overwriting begins and back when
// the run ends.
#include <algorithm>
#include <atomic>

#include "app/texts.h"
#include "app/window_logic.h"
#include "commands/shred_command.h"
#include "shred/texts.h"

namespace vesk {
namespace {

// A shred run's progress and questions: the window's, except that the
// confirmation has No as its default answer, and that the bar's reach is
// kept for the message of a stopped run.
class ShredContext final : public Progress, public Prompter {
 public:
  explicit ShredContext(WindowLogic& window) : window_(window) {}

  void ReportMessage(const std::string& text) override { window_.ReportMessage(text); }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    return window_.Port().CarefulQuestion(text, caption);
  }
  void ShowStatus(const std::string& text) override { window_.ShowStatus(text); }
  void ShowHint(Hint which, const std::string& text) override { window_.SetHintText(which, text); }
  // How much of the file the zeros covered, as the bar last showed it.
  int64_t PercentReached() const { return PercentOf(reached_.load(), std::max<int64_t>(range_.load(), 1)); }

 protected:
  void OnBarRange(int64_t max) override {
    range_ = max;
    window_.SetBarRange(max);
  }
  void OnBarPosition(int64_t position) override {
    reached_ = position;
    window_.SetBarPosition(position);
  }

 private:
  WindowLogic& window_;
  std::atomic<int64_t> range_{1}, reached_{0};
};

}  // namespace

void WindowLogic::ShredClicked(bool shown_as_stop) {
  if (Tag(Control::ShredItem) != 0) return StopShredding();
  // The user chose the item while it was the stop, and the run ended
  // before the click arrived: there is nothing to stop and nothing new was
  // asked for.
  if (shown_as_stop) return;
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
  StartWorker([this, request, stop, current, busy, file] {
    commands::ShredCommand command;
    const commands::Plan plan = command.MakePlan(*request);
    ShredContext shred(*this);
    RunContext context{shred, shred, stop.Token()};
    const RunResult result = command.Run(*request, plan.items.front(), context);
    if (*busy && current()) ResetShredItem();
    if (result.Completed()) {
      Complete(result.written);
    } else if (*busy && result.code == Reason::kCancelled && stop.StopRequested()) {
      // Stopped while the zeros were written: the file is there, but partly
      // destroyed, which the user must know before relying on it.
      const std::string why = text::ShredStoppedPartly(file, shred.PercentReached());
      EndRun(Outcome::kCancelled, why);
      ReportMessage(why);
    } else {
      EndRun(result.outcome, result.reason);
      if (result.outcome == Outcome::kRefused || result.outcome == Outcome::kFailed) Beep();
    }
  });
}

}  // namespace vesk
