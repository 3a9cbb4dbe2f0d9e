#include "app/tysjm.h"

#include <utility>

#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/reencryption_check.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"

namespace vesk {
namespace {

const char kEncryptCancelled[] = "加密文件已取消。";
const char kDecryptCancelled[] = "解密文件已取消。";
const char kReplaceCaption[] = "替换文件";

std::string ReplaceQuestion(const std::string& path) { return path + " 文件已经存在,是否替换? 否 则取消。"; }

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

void Tysjm::ReportMessage(const std::string& text) {
  try {
    port_.MessageBox(text, kMessageCaption);
    ShowStatus(text);
  } catch (...) {
    Beep();
  }
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

std::string Tysjm::KeyBytes(Control box) const { return Utf8ToGbk(port_.KeyText(box)); }

void Tysjm::PreselectFromHint(FileDialogSpec& setup) const {
  if (const std::string hint = HintText(Hint::StatusBar1); !hint.empty() && FileExists(hint)) setup.file_name = hint;
}

void Tysjm::StopCompression() { ZnZip1.Stop(); }

void Tysjm::ProcessPendingMessages() {
  if (ui_.IsUiThread()) ui_.ProcessPending();
  port_.ProcessPendingMessages();
}

// ---- Encrypt command ------------------------------------------------------

void Tysjm::CancelEncrypt() {
  if (!AskYesNo("真的要取消加密：“" + ChosenFile + "”吗?", "取消加密")) return;
  Flags().KeepRunning = false;
  SetCommandState(Control::Button1, true);
  ShowStatus(kEncryptCancelled);
}

void Tysjm::Button1Click() {
  if (Tag(Control::Button1) != 0) return CancelEncrypt();
  auto& keep = Flags().KeepRunning;
  try {
    StopAllAndYield();
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

    if (has_key) {
      if (FileExists(TargetPath) && !AskYesNo(ReplaceQuestion(TargetPath), kReplaceCaption)) {
        ShowStatus(kEncryptCancelled);
        keep = false;
        return;
      }
      keep = true;
    } else {
      keep = false;
    }

    SetCommandState(Control::Button1, false);
    ShowStatus("加密文件 ...");
    SetBarPosition(0);
    SetHintText(Hint::ProgressBar1, "加密后的文件：" + TargetPath);
    SetHintText(Hint::StatusBar1, "进行加密的文件：" + SourcePath);

    if (level != 0) {
      SourcePath = ChangeFileExt(ChangeFileExt(ChangeFileExt(*saved, ""), ""), OriginalExt + ".zak");
      if (has_key) SourcePath = TempFolderPath() + ChangeFileExt(ExtractFileName(*saved), ".zak");
      ZnZip1.DestFile = SourcePath;
      if (!has_key) OutputPath = SourcePath;
      if (!has_key) SetHintText(Hint::ProgressBar1, "压缩后的文件：" + SourcePath);
      if (FileExists(ZnZip1.DestFile) && !AskYesNo(ReplaceQuestion(ZnZip1.DestFile), kReplaceCaption)) {
        ShowStatus(kEncryptCancelled);
        SetCommandState(Control::Button1, true);
        return;
      }
      ShowStatus("进行压缩文件...");
      PreZipLevel = static_cast<uint8_t>(level);
      compressing_for_encryption_ = has_key;
      ZnZip1.Compress();
      if (!ZnZip1.Busy()) {
        // The component ignores a start it cannot make (the source vanished
        // meanwhile); without this the command would stay busy for ever.
        keep = false;
        SetCommandState(Control::Button1, true);
        ReportMessage("加密文件出错!已停止。");
      }
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
  job.original_ext = Utf8ToGbk(OriginalExt);
  job.pre_zip_level = PreZipLevel;
  job.layer_number = LayerNumber;
  job.info_click_count = InfoClickCount;
  keyed::EncryptEngine(job, *this, *random_);
}

// ---- Decrypt command ------------------------------------------------------

void Tysjm::CancelDecrypt() {
  if (!AskYesNo("真的要取消解密：“" + SourcePath + "”吗?", "取消解密")) return;
  Flags().KeepDecrypting = false;
  ZnZip1.Stop();
  SetCommandState(Control::Button2, true);
  ShowStatus(kDecryptCancelled);
}

void Tysjm::Button2Click() {
  if (Tag(Control::Button2) != 0) return CancelDecrypt();
  try {
    StopAllAndYield();
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
  SourcePath = source;
  OriginalExt = ExtractFileExt(source);
  TargetPath = OutputPath = target;
  if (!FileExists(source)) {
    return ReportMessage("要解密的文件:“" + source + "”" + "不存在!" + kDecryptCancelled);
  }
  if (PathExists(target) && !AskYesNo(ReplaceQuestion(target), kReplaceCaption)) return ShowStatus(kDecryptCancelled);
  if (SameFile(source, target)) {
    return ReportMessage("替换删除文件“" + target + "”失败！文件正在使用中或者有只读属性等。" + kDecryptCancelled);
  }
  Flags().KeepDecrypting = true;
  SetCommandState(Control::Button2, false);
  SetBarPosition(0);
  SetHintText(Hint::ProgressBar1, "解压缩后的文件：" + target);
  SetHintText(Hint::StatusBar1, "进行解压缩的文件：" + source);
  if (!StartDecompression(source, target, false)) {
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

bool Tysjm::StartDecompression(const std::string& source, const std::string& dest, bool delete_zak_after) {
  bool started = false;
  ui_.Synchronize([&] {
    DeleteZakAfterUnzip = delete_zak_after;
    ZnZip1.SourceFile = source;
    ZnZip1.DestFile = dest;
    Flags().KeepRunning = false;
    ShowStatus("进行解压缩文件...");
    ZnZip1.Decompress();
    started = ZnZip1.Busy();
  });
  return started;
}

// ---- Compression events ---------------------------------------------------

void Tysjm::ZnZip1Begin(int64_t nMax) {
  SetProgressTotal(nMax);
  SetBarRange(BarMaxFor(nMax));
}

void Tysjm::ZnZip1Process(int64_t nHasDone) { SetBarPosition(BarPositionFor(nHasDone)); }

void Tysjm::ZnZip1End(bool nNormal, float /*nZipRate*/) {
  const bool for_encryption = std::exchange(compressing_for_encryption_, false);
  if (nNormal && Flags().KeepRunning) {
    Tjmfes::Start(1, *this);
    return;
  }
  // An encryption cancelled while its copy was being compressed: the copy is
  // the plain text, merely compressed, and must not stay in the shared
  // temporary folder.
  if (nNormal && for_encryption) DeleteIfExists(ZnZip1.DestFile);
  if (!nNormal) {
    DeleteIfExists(ZnZip1.DestFile);
    ReportMessage(StatusText() + "不能完成！已经取消。可能文件未经此软件压缩过。");
  } else {
    ShowStatus(StatusText() + " 已完成。");
  }
  SetControlCaption(Control::Button2, IdleCaption(Control::Button2));
  SetControlCaption(Control::Button7, IdleCaption(Control::Button7));
  SetControlTag(Control::Button2, 0);
  SetControlTag(Control::Button7, 0);
  SetCommandState(Control::Button1, true);
  if (DeleteZakAfterUnzip && ExtractFileExt(ZnZip1.SourceFile) == ".zak") {
    DeleteZakAfterUnzip = false;
    DeleteIfExists(ZnZip1.SourceFile);
    if (nNormal) ShowStatus("解密文件 ... 已完成。");
  }
}

}  // namespace vesk
