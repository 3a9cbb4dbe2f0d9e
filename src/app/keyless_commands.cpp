// The key-less commands of the popup menu.
#include "app/window_logic.h"
#include "crypto/keyless/engine.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace vesk {
namespace {

const char kEncryptIdle[] = "创建不保存密钥的加密文件";
const char kDecryptIdle[] = "解密不保存密钥的加密文件";

}  // namespace

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
        SetControlCaption(Control::KeylessEncryptItem, kEncryptIdle);
        SetControlCaption(Control::KeylessDecryptItem, kDecryptIdle);
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
  auto& keep = Flags().KeepRunning;
  if (Tag(Control::KeylessEncryptItem) != 0 || InBatch()) {
    if (AskToCancel(Control::KeylessEncryptItem, "真的要取消加密：“" + SourcePath + "”吗?", "取消加密")) {
      CancelCommand(Control::KeylessEncryptItem);
    }
    return;
  }
  try {
    if (RefuseUnusableKey(Control::EncryptionKey)) return;
    if (KeyBytes(Control::EncryptionKey).empty()) return ReportMessage("密钥不能为空,请输入加密的密钥。");
    StopAll();
    ResetRunFlags();
    FileDialogSpec open{"全部文件(*.*)|*.*", -1, "", "选择文件进行不保存密钥加密"};
    PreselectFromHint(open);
    ShowStatus("");
    const std::vector<std::string> picked = PickSources(open);
    if (picked.empty()) return;
    if (picked.size() > 1) return StartBatch(BatchCommand::kKeylessEncrypt, picked);
    KeylessEncryptOne(picked.front(), true);
  } catch (...) {
    keep = false;
    ResetKeylessEncryptItem();
    Beep();
  }
}

void WindowLogic::KeylessEncryptOne(const std::string& picked, bool ask_target) {
  auto& keep = Flags().KeepRunning;
  try {
    SourcePath = picked;
    // A folder is packed into one container, named as a tar file would be.
    FolderSource = DirectoryExists(picked) ? picked : std::string();
    const std::string proposal = FolderSource.empty() ? picked + ".jmz" : FolderStem(picked) + ".tar.jmz";
    const FileDialogSpec save{"jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*", -1, proposal, "加密后的文件保存为"};
    const auto saved = ask_target ? port_.SaveDialog(save) : std::optional<std::string>(proposal);
    if (!saved) return;
    TargetPath = OutputPath = ChangeFileExt(*saved, ".jmz");
    ReplaceTarget = PathExists(TargetPath);
    if (ReplaceTarget && !AskYesNo(TargetPath + " 文件已经存在,是否替换? 否 则取消。", "替换文件")) {
      return ShowStatus("加密文件已取消。");
    }
    SetCommandState(Operation::MenuCommand, false);
    SetControlEnabled(Control::KeylessDecryptItem, false);
    keep = true;
    ShowStatus("进行不保存密钥加密文件...");
    SetBarPosition(0);
    SetHintText(Hint::Output, "加密后的文件：" + TargetPath);
    SetHintText(Hint::Source, "进行不保存密钥加密的文件：" + SourcePath);
    SetControlCaption(Control::KeylessEncryptItem, "取消加密");
    SetControlTag(Control::KeylessEncryptItem, 1);
    SetControlEnabled(Control::KeylessEncryptItem, true);  // the cancel
    SetControlEnabled(Control::EncryptionKey, false);
    if (FolderSource.empty()) {
      StartCommandWorker([this] { EncryptKeyless(); });
    } else {
      StartCommandWorker([this] { PackFolderWorker(true); });
    }
  } catch (...) {
    keep = false;
    ResetKeylessEncryptItem();
    Beep();
  }
}

void WindowLogic::KeylessDecryptCommand() {
  auto& keep = Flags().KeepDecrypting;
  if (Tag(Control::KeylessDecryptItem) != 0 || InBatch()) {
    if (AskToCancel(Control::KeylessDecryptItem, "真的要取消解密：“" + SourcePath + "”吗?", "取消解密")) {
      CancelCommand(Control::KeylessDecryptItem);
    }
    return;
  }
  try {
    if (RefuseUnusableKey(Control::DecryptionKey)) return;
    if (KeyBytes(Control::DecryptionKey).empty()) return ReportMessage("密钥不能为空,请输入解密的密钥。");
    StopAll();
    ResetRunFlags();
    FileDialogSpec open{"jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*", -1, "", "选择文件进行解密"};
    PreselectFromHint(open);
    ShowStatus("");
    const std::vector<std::string> picked = PickSources(open);
    if (picked.empty()) return;
    if (picked.size() > 1) return StartBatch(BatchCommand::kKeylessDecrypt, picked);
    KeylessDecryptOne(picked.front(), true);
    // A tar file decrypted: its folder is offered once the run is over.
    after_run_ = [this] { OfferUnpack(nullptr); };
    PostRunCheck();
  } catch (...) {
    keep = false;
    ResetKeylessDecryptItem();
    Beep();
  }
}

void WindowLogic::KeylessDecryptOne(const std::string& picked, bool ask_target) {
  auto& keep = Flags().KeepDecrypting;
  try {
    SourcePath = picked;
    const FileDialogSpec save{"全部文件(*.*)|*.*", -1, ChangeFileExt(picked, ""), "解密后的文件保存为"};
    const auto saved = ask_target ? port_.SaveDialog(save) : std::optional<std::string>(save.file_name);
    if (!saved) return;
    TargetPath = OutputPath = *saved;
    ReplaceTarget = PathExists(TargetPath);
    if (ReplaceTarget && !AskYesNo(TargetPath + " 文件已经存在,是否替换? 否 则取消。", "替换文件")) {
      return ShowStatus("解密文件已取消。");
    }
    SetCommandState(Operation::MenuCommand, false);
    SetControlEnabled(Control::KeylessEncryptItem, false);
    keep = true;
    ShowStatus("进行解密(不保存密钥)文件...");
    SetBarPosition(0);
    SetHintText(Hint::Output, "解密后的文件：" + TargetPath);
    SetHintText(Hint::Source, "进行解密(不保存密钥)的文件：" + SourcePath);
    SetControlCaption(Control::KeylessDecryptItem, "取消解密");
    SetControlTag(Control::KeylessDecryptItem, 1);
    SetControlEnabled(Control::KeylessDecryptItem, true);  // the cancel
    StartCommandWorker([this] { DecryptKeyless(); });
  } catch (...) {
    keep = false;
    ResetKeylessDecryptItem();
    Beep();
  }
}

void WindowLogic::ResetKeylessEncryptItem() {
  try {
    SetControlTag(Control::KeylessEncryptItem, 0);
    SetControlCaption(Control::KeylessEncryptItem, kEncryptIdle);
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
    SetControlCaption(Control::KeylessDecryptItem, kDecryptIdle);
    SetControlTag(Control::KeylessDecryptItem, 0);
    SetControlEnabled(Control::KeylessEncryptItem, true);
    SetCommandState(Operation::MenuCommand, true);
    ApplyKeylessRemoval();
  } catch (...) {
    Beep();
  }
}

void WindowLogic::EncryptKeyless() {
  keyless::KeylessJob job;
  job.key = KeyBytes(Control::EncryptionKey);
  job.source_path = SourcePath;
  job.target_path = TargetPath;
  job.info_click_count = InfoClickCount;
  job.replace_target = ReplaceTarget;
  job.reset_item = [this] { ResetKeylessEncryptItem(); };
  keyless::EncryptKeyless(job, *this);
}

void WindowLogic::DecryptKeyless() {
  keyless::KeylessJob job;
  job.key = KeyBytes(Control::DecryptionKey);
  job.source_path = SourcePath;
  job.target_path = TargetPath;
  job.info_click_count = InfoClickCount;
  job.replace_target = ReplaceTarget;
  job.reset_item = [this] { ResetKeylessDecryptItem(); };
  keyless::DecryptKeyless(job, *this);
}

}  // namespace vesk
