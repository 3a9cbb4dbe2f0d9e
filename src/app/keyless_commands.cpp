// The key-less commands of the popup menu. The items build the key-less
// commands' requests from the key boxes and the dialogs' answers, show their
// busy state here and run the commands on a worker; each run has a stop of
// its own, which the item's cancel requests.
#include <memory>

#include "app/file_run.h"
#include "app/texts.h"
#include "app/window_logic.h"
#include "archive/texts.h"
#include "commands/keyless_command.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace vesk {

using namespace text;

bool WindowLogic::KeylessItemsShown() const {
  std::lock_guard lock(mutex_);
  return keyless_shown_;
}

void WindowLogic::RevealKeylessItems() {
  try {
    ++info_clicks_;
    if (info_clicks_ > 12) {
      info_clicks_ = 0;
      {
        std::lock_guard lock(mutex_);
        if (keyless_shown_) keyless_removal_pending_ = true;
      }
      // While one of the items' operations runs the items stay until it ends,
      // so that its cancel and reset still find them.
      ApplyKeylessRemoval();
    }
    if (info_clicks_ == 6) {
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

void WindowLogic::KeylessEncryptCommand() { KeylessClicked(true); }
void WindowLogic::KeylessDecryptCommand() { KeylessClicked(false); }

void WindowLogic::KeylessClicked(bool encrypt) {
  const Control item = encrypt ? Control::KeylessEncryptItem : Control::KeylessDecryptItem;
  if (Tag(item) != 0 || InBatch()) {
    const std::string source = FileAtWork();
    if (AskToCancel(item, encrypt ? KeylessEncryptCancelQuestion(source) : KeylessDecryptCancelQuestion(source),
                    encrypt ? kKeylessEncryptCancelCaption : kKeylessDecryptCancelCaption)) {
      CancelCommand(item);
    }
    return;
  }
  const Control box = encrypt ? Control::EncryptionKey : Control::DecryptionKey;
  try {
    if (RefuseUnusableKey(box)) return;
    if (KeyBytes(box).empty()) return ReportMessage(encrypt ? kKeylessEncryptNoKey : kKeylessDecryptNoKey);
    StopAll();
    BeginRun();
    auto run = std::make_shared<FileRun>();
    run->op = encrypt ? Operation::KeylessEncrypt : Operation::KeylessDecrypt;
    FileDialogSpec open{encrypt ? kKeylessEncryptOpenFilter : kKeylessSaveFilter, -1, "",
                        encrypt ? kKeylessEncryptOpenTitle : kKeylessDecryptOpenTitle};
    PreselectFromHint(open);
    ShowStatus("");
    run->sources = PickSources(open);
    if (run->sources.empty()) return;
    commands::FileRequest& request = run->request;
    request.format = commands::Format::kKeyless;
    request.sources = run->sources;
    request.keys.key = SecretText(port_.KeyText(box));
    if (run->sources.size() == 1) {
      const std::string& picked = run->sources.front();
      // A folder is packed into one container, named as a tar file would be.
      const FileDialogSpec save =
          encrypt ? FileDialogSpec{kKeylessSaveFilter, -1, commands::KeylessEncryptedName(picked), kKeylessEncryptSaveTitle}
                  : FileDialogSpec{kKeylessAnyFilter, -1, commands::KeylessDecryptedName(picked), kKeylessDecryptSaveTitle};
      const auto saved = port_.SaveDialog(save);
      if (!saved) return;
      request.output = commands::OutputRule::Exact(*saved);
    }
    if (encrypt) {
      run->commands.push_back(std::make_unique<commands::KeylessEncryptCommand>(*this, info_clicks_ > 7));
    } else {
      // A tar file decrypted: its folder is offered, another name asked for
      // when that folder is there.
      run->commands.push_back(std::make_unique<commands::KeylessDecryptCommand>(*this, UnpackOffer()));
    }
    PlanFileRun(run);
    StartFileRun(run);
  } catch (...) {
    AbandonFileRun();
    if (encrypt) {
      ResetKeylessEncryptItem();
    } else {
      ResetKeylessDecryptItem();
    }
    Beep();
  }
}

void WindowLogic::ShowKeylessBusy(bool encrypt) {
  SetCommandState(Operation::MenuCommand, false);
  const Control item = encrypt ? Control::KeylessEncryptItem : Control::KeylessDecryptItem;
  SetControlEnabled(encrypt ? Control::KeylessDecryptItem : Control::KeylessEncryptItem, false);
  SetBarPosition(0);
  SetControlCaption(item, encrypt ? kKeylessEncryptCancelCaption : kKeylessDecryptCancelCaption);
  SetControlTag(item, 1);
  SetControlEnabled(item, true);  // the cancel
  if (encrypt) SetControlEnabled(Control::EncryptionKey, false);
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
