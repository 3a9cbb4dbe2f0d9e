#include "app/tysjm.h"

#include <utility>

#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/reencryption_check.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/staged_file.h"

namespace vesk {
namespace {

const char kEncryptCancelled[] = "加密文件已取消。";
const char kDecryptCancelled[] = "解密文件已取消。";
const char kReplaceCaption[] = "替换文件";

std::string ReplaceQuestion(const std::string& path) { return path + " 文件已经存在,是否替换? 否 则取消。"; }

// The refusal of a target that is the source itself, or that cannot be replaced.
std::string ReplaceFailed(const std::string& path, const char* cancelled) {
  return "替换删除文件“" + path + "”失败！文件正在使用中或者有只读属性等。" + cancelled;
}

}  // namespace

Tysjm::Tysjm(WindowPort& port, UiThread& ui)
    : ZnZip1(ui), port_(port), ui_(ui), random_(std::make_unique<keyed::SystemRandom>()) {
  ZnZip1.OnBegin = [this](int64_t n) { ZnZip1Begin(n); };
  ZnZip1.OnProcess = [this](int64_t n) { ZnZip1Process(n); };
  ZnZip1.OnEnd = [this](bool normal, float rate) { ZnZip1End(normal, rate); };
}

Tysjm::~Tysjm() {
  ZnZip1.OnBegin = nullptr;
  ZnZip1.OnProcess = nullptr;
  ZnZip1.OnEnd = nullptr;
}

void Tysjm::ShowStatus(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    status_text_ = text;
  }
  port_.SetStatusText(text);
}

bool Tysjm::AskYesNo(const std::string& text, const std::string& caption) { return port_.Question(text, caption); }

int Tysjm::Tag(Control c) const {
  std::lock_guard lock(mutex_);
  auto it = tags_.find(c);
  return it == tags_.end() ? 0 : it->second;
}

void Tysjm::SetControlTag(Control c, int tag) {
  std::lock_guard lock(mutex_);
  tags_[c] = tag;
}

std::string Tysjm::StatusText() const {
  std::lock_guard lock(mutex_);
  return status_text_;
}

std::string Tysjm::HintText(Hint h) const {
  std::lock_guard lock(mutex_);
  return h == Hint::ProgressBar1 ? progress_hint_ : status_hint_;
}

void Tysjm::SetHintText(Hint h, const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    (h == Hint::ProgressBar1 ? progress_hint_ : status_hint_) = text;
  }
  port_.SetHint(h, text);
}

void Tysjm::SetRatioIndex(int index) {
  if (index < 0 || index > 3) index = 2;
  ZnZip1.ZipLevel = static_cast<TCompressionLevel>(index);
}

std::string Tysjm::KeyBytes(Control box) const { return Utf8ToGbkStrict(port_.KeyText(box)).value_or(""); }

bool Tysjm::RefuseUnusableKey(Control box) {
  if (Utf8ToGbkStrict(port_.KeyText(box))) return false;
  // Stored as anything else, such a key would be opened by other keys.
  ReportMessage(box == Control::jm1 ? std::string("加密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。") + kEncryptCancelled
                                    : std::string("解密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。") + kDecryptCancelled);
  return true;
}

void Tysjm::SetControlEnabled(Control c, bool enabled) {
  port_.SetEnabled(c, enabled);
  if (c != Control::delfl) return;
  // The shred item follows the command state like every command item; so do
  // the key-less items, except that a running one stays usable as its cancel.
  {
    std::lock_guard lock(mutex_);
    commands_idle_ = enabled;
  }
  for (Control item : {Control::KeylessEncryptItem, Control::KeylessDecryptItem}) {
    port_.SetEnabled(item, enabled || Tag(item) != 0);
  }
}

void Tysjm::PreselectFromHint(FileDialogSpec& setup) const {
  if (const std::string hint = HintText(Hint::StatusBar1); !hint.empty() && FileExists(hint)) setup.file_name = hint;
}

// StopAll stops a compression on purpose (closing, a new command): its end
// cleans up without a failure report, as after the user's cancel.
void Tysjm::StopCompression() { StopZipForCancel(); }

void Tysjm::ProcessPendingMessages() {
  if (ui_.IsUiThread()) ui_.ProcessPending();
  port_.ProcessPendingMessages();
}

// ---- Encrypt command ------------------------------------------------------

void Tysjm::CancelEncrypt() {
  if (!AskYesNo("真的要取消加密：“" + ChosenFile + "”吗?", "取消加密")) return;
  CancelCommand(Control::Button1);
}

bool Tysjm::CancelCommand(Control busy) {
  // A run that ended while the question was open keeps its outcome.
  if (Tag(busy) == 0) return false;
  switch (busy) {
    case Control::Button1:
      Flags().KeepRunning = false;
      StopZipForCancel();
      SetCommandState(Control::Button1, true);
      ShowStatus(kEncryptCancelled);
      break;
    case Control::Button2:
      decrypt_cancelled_ = true;
      Flags().KeepDecrypting = false;
      StopZipForCancel();
      SetCommandState(Control::Button2, true);
      ShowStatus(kDecryptCancelled);
      break;
    case Control::KeylessEncryptItem:
      Flags().KeepRunning = false;
      ResetKeylessEncryptItem();
      ShowStatus(kEncryptCancelled);
      break;
    case Control::KeylessDecryptItem:
      Flags().KeepDecrypting = false;
      ResetKeylessDecryptItem();
      ShowStatus(kDecryptCancelled);
      break;
    default:
      return false;
  }
  return true;
}

void Tysjm::Button1Click() {
  if (Tag(Control::Button1) != 0) return CancelEncrypt();
  auto& keep = Flags().KeepRunning;
  try {
    StopAllAndYield();
    ResetRunFlags();
    if (RefuseUnusableKey(Control::jm1)) return;
    FileDialogSpec open{"全部文件(*.*)|*.*", 1, "", "选择要加密的文件进行加密"};
    PreselectFromHint(open);
    ShowStatus("");
    const auto picked = port_.OpenDialog(open);
    if (!picked) return ShowStatus(kEncryptCancelled);
    ChosenFile = SourcePath = *picked;
    OriginalExt = ExtractFileExt(*picked);
    LayerNumber = 1;
    keep = true;

    CheckReencryption(*picked);
    if (!keep) return;

    const bool has_key = !KeyBytes(Control::jm1).empty();
    const int level = RatioIndex();
    if (level != 0) ZnZip1.SourceFile = *picked;

    FileDialogSpec save;
    if (has_key) {
      save = {"jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*", -1, ChangeFileExt(*picked, ".jmz"), "加密后的文件保存为"};
    } else {
      save = {"zak文件(*.zak)|*.zak|全部文件(*.*)|*.*", 1, *picked + ".zak", "压缩后的文件保存为"};
    }
    const auto saved = port_.SaveDialog(save);
    if (!saved) return ShowStatus(kEncryptCancelled);
    TargetPath = ChangeFileExt(*saved, ".jmz");
    OutputPath = TargetPath;

    // The compress-only road writes the ".zak" named after the save name.
    std::string zak;
    if (!has_key && level != 0) {
      zak = SaveNameIsFinal ? *saved : ChangeFileExt(ChangeFileExt(ChangeFileExt(*saved, ""), ""), OriginalExt + ".zak");
    }
    const std::string& written = has_key ? TargetPath : zak;
    // Nothing is asked or deleted for an output that is the source itself.
    if (!written.empty() && SameFile(*picked, written)) {
      keep = false;
      return ReportMessage(ReplaceFailed(written, kEncryptCancelled));
    }
    bool replace = false;
    if (has_key) {
      ReplaceTarget = PathExists(TargetPath);
      if (ReplaceTarget && !AskYesNo(ReplaceQuestion(TargetPath), kReplaceCaption)) {
        ShowStatus(kEncryptCancelled);
        keep = false;
        return;
      }
      keep = true;
      if (!Utf8ToGbkStrict(OriginalExt)) {
        ReportMessage("文件扩展名“" + OriginalExt + "”中有GBK编码不能表示的字符，加密的文件里不保存扩展名，解密后请改正文件扩展名。");
      }
    } else {
      keep = false;
    }

    SetCommandState(Control::Button1, false);
    ShowStatus("加密文件 ...");
    SetBarPosition(0);
    SetHintText(Hint::ProgressBar1, "加密后的文件：" + TargetPath);
    SetHintText(Hint::StatusBar1, "进行加密的文件：" + SourcePath);

    if (level != 0) {
      if (!has_key) {
        SourcePath = OutputPath = zak;
        SetHintText(Hint::ProgressBar1, "压缩后的文件：" + zak);
        if (PathExists(zak)) {
          if (!AskYesNo(ReplaceQuestion(zak), kReplaceCaption)) {
            ShowStatus(kEncryptCancelled);
            SetCommandState(Control::Button1, true);
            return;
          }
          replace = true;
        }
      }
      ShowStatus("进行压缩文件...");
      PreZipLevel = static_cast<uint8_t>(level);
      ZipRun run;
      if (!has_key) {
        run.target = zak;
        run.mode = PermissionsOf(*picked);  // the compressed copy is as private as its source
        run.replace = replace;
      }
      StartCompression(*picked, run);
      return;
    }

    PreZipLevel = 0;
    if (has_key) {
      Tjmfes::Start(1, *this);
    } else {
      keep = false;
      SetCommandState(Control::Button1, true);
      ReportMessage(std::string("请选择文件压缩率进行压缩或者输入密钥进行加密。") + kEncryptCancelled);
    }
  } catch (...) {
    keep = false;
    compressing_for_encryption_ = false;
    ReportMessage("加密文件出错!已停止。");
  }
}

void Tysjm::CheckReencryption(const std::string& path) {
  keyed::ReencryptionResult result = keyed::CheckReencryption(path, KeyBytes(Control::jm2), *this);
  if (result.refused) {
    return;  // the check has reported, cleared KeepRunning and set Button1 idle
  }
  LayerNumber = result.layer_number;
}

void Tysjm::EncryptEngine() {
  keyed::EncryptJob job;
  job.key = KeyBytes(Control::jm1);
  job.source_path = SourcePath;
  job.target_path = TargetPath;
  // An extension GBK cannot hold is stored empty (the command has warned).
  job.original_ext = Utf8ToGbkStrict(OriginalExt).value_or("");
  job.pre_zip_level = PreZipLevel;
  job.layer_number = LayerNumber;
  job.info_click_count = InfoClickCount;
  // Replace only what the user agreed to replace: a file that appeared at the
  // target while the copy was being compressed is kept.
  job.replace_target = ReplaceTarget;
  keyed::EncryptEngine(job, *this, *random_);
}

// ---- Decrypt command ------------------------------------------------------

void Tysjm::CancelDecrypt() {
  if (!AskYesNo("真的要取消解密：“" + SourcePath + "”吗?", "取消解密")) return;
  CancelCommand(Control::Button2);
}

void Tysjm::ReportMessage(const std::string& text) {
  // After the user's cancel the decryption engine still reports its stop as
  // a failure; the cancel has said what happened.
  if (decrypt_cancelled_ && text == "解密文件出错!已停止。") return;
  try {
    port_.MessageBox(text, kMessageCaption);
    ShowStatus(text);
  } catch (...) {
    Beep();
  }
}

void Tysjm::Button2Click() {
  if (Tag(Control::Button2) != 0) return CancelDecrypt();
  try {
    StopAllAndYield();
    ResetRunFlags();
    if (RefuseUnusableKey(Control::jm2)) return;
    FileDialogSpec open{"jmz文件(*.jmz)|*.jmz|zak文件(*.zak)|*.zak|全部文件(*.*)|*.*", 1, "", "选择要解密的文件进行解密"};
    PreselectFromHint(open);
    ShowStatus("");
    const auto picked = port_.OpenDialog(open);
    if (!picked) return ShowStatus(kDecryptCancelled);
    SourcePath = *picked;
    OriginalExt = ExtractFileExt(*picked);
    FileDialogSpec save{"全部文件(*.*)|*.*", -1, ChangeFileExt(SourcePath, ""), "解密后的文件保存为"};
    const auto saved = port_.SaveDialog(save);
    if (!saved) return;
    TargetPath = *saved;
    Flags().KeepDecrypting = true;
    SetCommandState(Control::Button2, false);
    SetBarPosition(0);
    Tjmfes::Start(0, *this);
  } catch (...) {
    Flags().KeepDecrypting = false;
    ZnZip1.Stop();
    SetCommandState(Control::Button2, true);
    Beep();
  }
}

void Tysjm::DecompressCommand(const std::string& source, const std::string& target) {
  StopAllAndYield();
  ResetRunFlags();
  SourcePath = source;
  OriginalExt = ExtractFileExt(source);
  TargetPath = OutputPath = target;
  if (!FileExists(source)) {
    return ReportMessage("要解密的文件:“" + source + "”" + "不存在!" + kDecryptCancelled);
  }
  if (PathExists(target) && !AskYesNo(ReplaceQuestion(target), kReplaceCaption)) return ShowStatus(kDecryptCancelled);
  if (SameFile(source, target)) return ReportMessage(ReplaceFailed(target, kDecryptCancelled));
  Flags().KeepDecrypting = true;
  SetCommandState(Control::Button2, false);
  SetBarPosition(0);
  SetHintText(Hint::ProgressBar1, "解压缩后的文件：" + target);
  SetHintText(Hint::StatusBar1, "进行解压缩的文件：" + source);
  if (!StartDecompression(source, target, false)) {
    Flags().KeepDecrypting = false;
    SetCommandState(Control::Button2, true);
    ReportMessage(source + " 文件解压缩出错！已停止。");
  }
}

void Tysjm::DecryptFile() {
  keyed::DecryptJob job;
  job.command = Control::Button2;
  job.source_path = SourcePath;
  job.original_ext = OriginalExt;
  job.target_path = TargetPath;
  job.info_click_count = InfoClickCount;
  keyed::DecryptFile(job, *this, *this);
}

}  // namespace vesk
