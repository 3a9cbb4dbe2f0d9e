// The key-less commands of the popup menu. The items build the key-less
// commands' requests from the key boxes and the dialogs' answers, show their
// busy state here and run the commands on a worker; each run has a stop of
// its own, which the item's cancel requests.
#include <memory>

#include "app/texts.h"
#include "app/window_logic.h"
#include "archive/texts.h"
#include "commands/keyless_command.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace vesk {

// The run of one key-less item: its request, the command and the planned
// item, and its stop.
struct WindowLogic::KeylessRun {
  commands::FileRequest request;
  std::unique_ptr<commands::Command<commands::FileRequest>> command;
  commands::PlannedItem item;
  StopSource stop;
};

using namespace text;

bool WindowLogic::KeylessItemsShown() const {
  std::lock_guard lock(mutex_);
  return keyless_shown_;
}

void WindowLogic::RevealKeylessItems() {
  try {
    ++InfoClickCount;
    if (InfoClickCount > 12) {
      InfoClickCount = 0;
      {
        std::lock_guard lock(mutex_);
        if (keyless_shown_) keyless_removal_pending_ = true;
      }
      // While one of the items' operations runs the items stay until it ends,
      // so that its cancel and reset still find them.
      ApplyKeylessRemoval();
    }
    if (InfoClickCount == 6) {
      bool show = false;
      {
        std::lock_guard lock(mutex_);
        keyless_removal_pending_ = false;
        show = !keyless_shown_;
        keyless_shown_ = true;
      }
      if (show) {
        bool idle = false;
        {
          std::lock_guard lock(mutex_);
          idle = commands_idle_;
        }
        port_.SetKeylessItemsVisible(true);
        SetControlCaption(Control::KeylessEncryptItem, kKeylessEncryptIdle);
        SetControlCaption(Control::KeylessDecryptItem, kKeylessDecryptIdle);
        // Shown while another command runs, they wait for it like the others.
        SetControlEnabled(Control::KeylessEncryptItem, idle);
        SetControlEnabled(Control::KeylessDecryptItem, idle);
      }
    }
  } catch (...) {
    Beep();
  }
}

void WindowLogic::ApplyKeylessRemoval() {
  if (Tag(Control::KeylessEncryptItem) != 0 || Tag(Control::KeylessDecryptItem) != 0) return;
  {
    std::lock_guard lock(mutex_);
    if (!keyless_removal_pending_) return;
    keyless_removal_pending_ = false;
    keyless_shown_ = false;
  }
  port_.SetKeylessItemsVisible(false);
}

void WindowLogic::KeylessEncryptCommand() {
  if (Tag(Control::KeylessEncryptItem) != 0 || InBatch()) {
    const std::string source = keyless_run_ ? keyless_run_->item.source : std::string();
    if (AskToCancel(Control::KeylessEncryptItem, KeylessEncryptCancelQuestion(source), kKeylessEncryptCancelCaption)) {
      CancelCommand(Control::KeylessEncryptItem);
    }
    return;
  }
  try {
    if (RefuseUnusableKey(Control::EncryptionKey)) return;
    if (KeyBytes(Control::EncryptionKey).empty()) return ReportMessage(kKeylessEncryptNoKey);
    StopAll();
    ResetRunFlags();
    FileDialogSpec open{kKeylessEncryptOpenFilter, -1, "", kKeylessEncryptOpenTitle};
    PreselectFromHint(open);
    ShowStatus("");
    const std::vector<std::string> picked = PickSources(open);
    if (picked.empty()) return;
    if (picked.size() > 1) return StartBatch(BatchCommand::kKeylessEncrypt, picked);
    KeylessEncryptOne(picked.front(), true);
  } catch (...) {
    ResetKeylessEncryptItem();
    Beep();
  }
}

void WindowLogic::KeylessEncryptOne(const std::string& picked, bool ask_target) {
  try {
    // A folder is packed into one container, named as a tar file would be.
    const FileDialogSpec save{kKeylessSaveFilter, -1, commands::KeylessEncryptedName(picked), kKeylessEncryptSaveTitle};
    const auto saved = ask_target ? port_.SaveDialog(save) : std::optional<std::string>(save.file_name);
    if (!saved) return;
    auto run = std::make_shared<KeylessRun>();
    run->request.format = commands::Format::kKeyless;
    run->request.sources = {picked};
    run->request.output = commands::OutputRule::Exact(*saved);
    run->request.keys.key = SecretText(port_.KeyText(Control::EncryptionKey));
    run->command = std::make_unique<commands::KeylessEncryptCommand>(*this, InfoClickCount > 7);
    if (!StartKeylessRun(run)) return;
    SetCommandState(Operation::MenuCommand, false);
    SetControlEnabled(Control::KeylessDecryptItem, false);
    SetBarPosition(0);
    SetControlCaption(Control::KeylessEncryptItem, kKeylessEncryptCancelCaption);
    SetControlTag(Control::KeylessEncryptItem, 1);
    SetControlEnabled(Control::KeylessEncryptItem, true);  // the cancel
    SetControlEnabled(Control::EncryptionKey, false);
    RunKeyless(run, true);
  } catch (...) {
    ResetKeylessEncryptItem();
    Beep();
  }
}

void WindowLogic::KeylessDecryptCommand() {
  if (Tag(Control::KeylessDecryptItem) != 0 || InBatch()) {
    const std::string source = keyless_run_ ? keyless_run_->item.source : std::string();
    if (AskToCancel(Control::KeylessDecryptItem, KeylessDecryptCancelQuestion(source), kKeylessDecryptCancelCaption)) {
      CancelCommand(Control::KeylessDecryptItem);
    }
    return;
  }
  try {
    if (RefuseUnusableKey(Control::DecryptionKey)) return;
    if (KeyBytes(Control::DecryptionKey).empty()) return ReportMessage(kKeylessDecryptNoKey);
    StopAll();
    ResetRunFlags();
    FileDialogSpec open{kKeylessSaveFilter, -1, "", kKeylessDecryptOpenTitle};
    PreselectFromHint(open);
    ShowStatus("");
    const std::vector<std::string> picked = PickSources(open);
    if (picked.empty()) return;
    if (picked.size() > 1) return StartBatch(BatchCommand::kKeylessDecrypt, picked);
    KeylessDecryptOne(picked.front(), true);
  } catch (...) {
    ResetKeylessDecryptItem();
    Beep();
  }
}

void WindowLogic::KeylessDecryptOne(const std::string& picked, bool ask_target) {
  try {
    const FileDialogSpec save{kKeylessAnyFilter, -1, commands::KeylessDecryptedName(picked), kKeylessDecryptSaveTitle};
    const auto saved = ask_target ? port_.SaveDialog(save) : std::optional<std::string>(save.file_name);
    if (!saved) return;
    auto run = std::make_shared<KeylessRun>();
    run->request.format = commands::Format::kKeyless;
    run->request.sources = {picked};
    run->request.output = commands::OutputRule::Exact(*saved);
    run->request.keys.key = SecretText(port_.KeyText(Control::DecryptionKey));
    // A tar file decrypted: its folder is offered, another name asked for
    // when that folder is there.
    commands::KeylessDecryptCommand::Unpacking unpacking;
    unpacking.ask = [this](const std::string& question, const std::string& caption) {
      return port_.UnpackQuestion(question, caption);
    };
    unpacking.other_folder = [this](const std::string& taken) {
      return port_.NewFolderDialog({kKeylessAnyFilter, -1, taken, archive::text::kNewFolderTitle});
    };
    run->command = std::make_unique<commands::KeylessDecryptCommand>(*this, std::move(unpacking));
    if (!StartKeylessRun(run)) return;
    SetCommandState(Operation::MenuCommand, false);
    SetControlEnabled(Control::KeylessEncryptItem, false);
    SetBarPosition(0);
    SetControlCaption(Control::KeylessDecryptItem, kKeylessDecryptCancelCaption);
    SetControlTag(Control::KeylessDecryptItem, 1);
    SetControlEnabled(Control::KeylessDecryptItem, true);  // the cancel
    RunKeyless(run, false);
  } catch (...) {
    ResetKeylessDecryptItem();
    Beep();
  }
}

bool WindowLogic::StartKeylessRun(const std::shared_ptr<KeylessRun>& run) {
  // The plan asks the replace question; a No calls the run off.
  commands::Plan plan = run->command->MakePlan(run->request);
  run->item = plan.items.front();
  if (!run->item.Runs()) {
    ShowStatus(run->item.refusal->detail);
    return false;
  }
  std::lock_guard lock(mutex_);
  keyless_run_ = run;
  return true;
}

void WindowLogic::RunKeyless(const std::shared_ptr<KeylessRun>& run, bool encrypt) {
  StartCommandWorker([this, run, encrypt] {
    RunContext context{*this, *this, run->stop.Token()};
    const RunResult result = run->command->Run(run->request, run->item, context);
    run->request.keys.key.Wipe();  // the run object outlives its run
    if (result.Completed()) {
      Complete(result.written);
    } else if (result.outcome != Outcome::kNone) {
      EndRun(result.outcome, result.reason);
    }
    // A run without a usable key, a failed decryption and an internal
    // failure are signalled as well.
    if (result.code == Reason::kNoKey || (result.outcome == Outcome::kFailed && (!encrypt || result.reason.empty()))) {
      Beep();
    }
    if (encrypt) {
      ResetKeylessEncryptItem();
    } else {
      ResetKeylessDecryptItem();
    }
  });
}

void WindowLogic::StopKeylessRun() {
  std::shared_ptr<KeylessRun> run;
  {
    std::lock_guard lock(mutex_);  // StopAll comes from workers too
    run = keyless_run_;
  }
  if (run) run->stop.RequestStop();
}

void WindowLogic::ResetKeylessEncryptItem() {
  try {
    SetControlTag(Control::KeylessEncryptItem, 0);
    SetControlCaption(Control::KeylessEncryptItem, kKeylessEncryptIdle);
    SetControlEnabled(Control::KeylessDecryptItem, true);
    SetCommandState(Operation::MenuCommand, true);
    SetControlEnabled(Control::EncryptionKey, true);
    ApplyKeylessRemoval();
  } catch (...) {
    Beep();
  }
}

void WindowLogic::ResetKeylessDecryptItem() {
  try {
    SetControlCaption(Control::KeylessDecryptItem, kKeylessDecryptIdle);
    SetControlTag(Control::KeylessDecryptItem, 0);
    SetControlEnabled(Control::KeylessEncryptItem, true);
    SetCommandState(Operation::MenuCommand, true);
    ApplyKeylessRemoval();
  } catch (...) {
    Beep();
  }
}

}  // namespace vesk
