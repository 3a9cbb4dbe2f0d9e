// The self-decrypting executable commands of the window: create
// ("创建自解密"), self-decrypt ("自解密") and separate ("分离"). The handlers
// ask their questions on the user-interface thread and hand a prepared job,
// with the file they opened, to the worker that runs the copy.
#include <mutex>

#include "app/window_logic.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "selfextract/elf_image.h"
#include "selfextract/layout.h"
#include "selfextract/sfx_engine.h"

namespace vesk {

struct WindowLogic::SelfExtractRun {
  struct PendingCreate {
    selfextract::CreateJob job;
    InputFile container;
  };
  struct PendingSeparate {
    selfextract::SeparateJob job;
    InputFile program;
  };

  InputFile SourceStream;  // the container while the create command checks it
  std::mutex mutex;        // guards the two jobs, taken by the workers
  std::unique_ptr<PendingCreate> create;
  std::unique_ptr<PendingSeparate> separate;
};

namespace {

constexpr int64_t kFourGiB = int64_t{1} << 32;

const char kCreateCancelled[] = "创建自解密文件已取消。";
using selfextract::text::kReplaceCaption;
using selfextract::text::kSeparateCancelled;
using selfextract::text::kSeparateFailed;
using selfextract::text::ReplaceFailed;
using selfextract::text::ReplaceQuestion;

// An existing target that a completed output cannot be renamed over, or that
// is one of the files the command reads.
bool CannotReplace(const std::string& target, const std::string& a, const std::string& b = {}) {
  return DirectoryExists(target) || SameFile(target, a) || (!b.empty() && SameFile(target, b));
}

}  // namespace

WindowLogic::SelfExtractRun& WindowLogic::SelfExtract() {
  std::lock_guard lock(mutex_);
  if (!self_extract_) self_extract_ = std::make_shared<SelfExtractRun>();
  return *self_extract_;
}

void WindowLogic::SetOwnFile(const std::string& path) {
  if (!path.empty()) {
    OwnFilePath = path;
    OwnFileFolder = ExtractFilePath(path);
    return;
  }
  // The running program is read through its process entry, which stays the
  // file that was started even when an update has replaced it on the disk.
  OwnFilePath = selfextract::kRunningProgramFile;
  try {
    OwnFileFolder = ExtractFilePath(selfextract::RunningProgramPath());
  } catch (...) {
    OwnFileFolder.clear();
  }
}

// ---- Create ------------------------------------------------------------------

void WindowLogic::CreateSelfDecryptingClicked() {
  auto& keep = Flags().KeepCreating;
  if (Tag(Control::CreateSelfDecryptingButton) != 0) {
    if (!AskToCancel(Control::CreateSelfDecryptingButton, "真的要取消：“" + SourcePath + "”" + "创建自解密" + "文件吗?",
                     "取消创建")) {
      return;
    }
    keep = false;
    SetCommandState(Operation::CreateSelfDecrypting, true);
    EndRun(Outcome::kCancelled, kCreateCancelled);
    ShowStatus(kCreateCancelled);
    return;
  }
  SelfExtractRun& run = SelfExtract();
  try {
    StopAllAndYield();
    BeginRun();
    // Without its program part no file could be made: nothing is asked.
    const std::string program =
        SfxProgram.path.empty() ? selfextract::SfxProgramBesideRunningProgram() : SfxProgram.path;
    if (!FileExists(program)) return RefuseRun(selfextract::text::SfxProgramMissing(program));
    int64_t image_size = SfxProgram.image_size;
    if (image_size <= 0) {
      try {
        image_size = selfextract::ImageSizeOf(program);
      } catch (const IoError&) {
        return RefuseRun(selfextract::text::SfxProgramUnreadable(program));
      }
    }
    FileDialogSpec open{"jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*", 1, "", "选择已加密文件创建自解密文件"};
    PreselectFromHint(open);
    ShowStatus("");
    const auto picked = port_.OpenDialog(open);
    if (!picked) return;
    SourcePath = *picked;
    StoredName = ExtractFileName(*picked);
    keep = false;
    run.SourceStream.Open(SourcePath);
    const int64_t length = run.SourceStream.Size();
    const char* refusal = nullptr;
    if (length < 1) {
      refusal = "文件是空的，不需要创建自解密文件!创建自解密文件已取消。";
    } else if (length > kFourGiB) {
      refusal = "文件大于4GB，不能创建自解密文件!创建自解密文件已取消。";
    } else {
      IsKeyedContainer();
      if (!keep) refusal = "文件未经此软件加密或者是另外(不保存密钥)加密的，不能创建自解密文件!";
    }
    if (refusal != nullptr) {
      run.SourceStream.Close();
      return ReportMessage(refusal);
    }

    FileDialogSpec save{"自解密文件(*.run)|*.run|全部文件(*.*)|*.*", 1,
                        ChangeFileExt(SourcePath, selfextract::kSelfDecryptingExt), "创建自解密后的文件保存为"};
    const auto saved = port_.SaveDialog(save);
    if (!saved) {
      keep = false;
      run.SourceStream.Close();
      return ShowStatus(kCreateCancelled);
    }
    TargetPath = ChangeFileExt(*saved, selfextract::kSelfDecryptingExt);
    OutputPath = TargetPath;
    const bool exists = PathExists(TargetPath);
    if (exists && !AskYesNo(ReplaceQuestion(TargetPath), kReplaceCaption)) {
      ShowStatus(kCreateCancelled);
      run.SourceStream.Close();
      keep = false;
      return;
    }
    // Nor may the new file replace the running program's own file.
    const std::string own = OwnFilePath.empty() ? std::string(selfextract::kRunningProgramFile) : OwnFilePath;
    if (exists && (CannotReplace(TargetPath, SourcePath, program) || SameFile(TargetPath, own))) {
      keep = false;
      run.SourceStream.Close();
      return ReportMessage(ReplaceFailed(TargetPath, kCreateCancelled));
    }

    auto pending = std::make_unique<SelfExtractRun::PendingCreate>();
    pending->job = {program, image_size, TargetPath, exists, StoredName, length};
    pending->container = std::move(run.SourceStream);
    {
      std::lock_guard lock(run.mutex);
      run.create = std::move(pending);
    }
    SetCommandState(Operation::CreateSelfDecrypting, false);
    keep = true;
    ShowStatus("进行创建自解密文件...");
    SetHintText(Hint::Output, "创建自解密后的文件：" + TargetPath);
    SetBarPosition(0);
    SetHintText(Hint::Source, "进行创建自解密的文件：" + SourcePath);
    try {
      StartWorker([this] { CreateSelfDecrypting(); });
    } catch (...) {
      keep = false;
      {
        std::lock_guard lock(run.mutex);
        run.create.reset();
      }
      SetCommandState(Operation::CreateSelfDecrypting, true);
      ReportMessage("创建自解密文件“" + TargetPath + "”出错!已停止。");
    }
  } catch (...) {
    keep = false;
    run.SourceStream.Close();
    Beep();
  }
}

void WindowLogic::IsKeyedContainer() {
  try {
    InputFile& source = SelfExtract().SourceStream;
    if (selfextract::CarriesKeyedMarker(source, 0, source.Size())) Flags().KeepCreating = true;
  } catch (...) {
    Flags().KeepCreating = false;
    Beep();
  }
}

void WindowLogic::CreateSelfDecrypting() {
  SelfExtractRun& run = SelfExtract();
  std::unique_ptr<SelfExtractRun::PendingCreate> pending;
  {
    std::lock_guard lock(run.mutex);
    pending = std::move(run.create);
  }
  if (pending) selfextract::CreateSelfDecrypting(pending->job, pending->container, *this);
}

// ---- Self-decrypt --------------------------------------------------------------

void WindowLogic::SelfDecryptClicked() {
  if (Tag(Control::SelfDecryptButton) != 0) {
    if (AskToCancel(Control::SelfDecryptButton, "真的要取消自解密：“" + selfextract::ShownPayloadName(PayloadName) + "”吗?", "取消自解密")) {
      CancelCommand(Control::SelfDecryptButton);
    }
    return;
  }
  try {
    StopAllAndYield();
    BeginRun();
    if (PayloadDamaged) NoteDamage();
    if (PayloadName.empty()) PayloadName = selfextract::kUnnamedPayload;
    ShowStatus(selfextract::PayloadStatusText(PayloadName, PayloadSize));
    TargetPath = OwnFileFolder + selfextract::SafePayloadName(PayloadName);
    FileDialogSpec save{"全部文件(*.*)|*.*", 1, ChangeFileExt(TargetPath, ""), "解密后的文件保存为"};
    const auto saved = port_.SaveDialog(save);
    if (!saved) return;
    TargetPath = *saved;
    SetBarPosition(0);
    SetCommandState(Operation::SelfDecrypt, false);
    Flags().KeepDecrypting = true;
    StartWorker([this] { RunSelfDecrypt(); });
  } catch (...) {
    Flags().KeepDecrypting = false;
    SetCommandState(Operation::SelfDecrypt, true);
    Beep();
  }
}

void WindowLogic::RunSelfDecrypt() {
  keyed::DecryptJob job;
  job.command = Operation::SelfDecrypt;
  job.source_path = OwnFilePath.empty() ? std::string(selfextract::kRunningProgramFile) : OwnFilePath;
  job.target_path = TargetPath;
  job.info_click_count = InfoClickCount;
  job.self_decrypt = true;
  job.container_start = selfextract::PayloadOffset(ImageSize());
  job.payload_size = PayloadSize;
  job.payload_name = selfextract::ShownPayloadName(PayloadName);
  keyed::DecryptEmbedded(job, *this, *this);
}

// ---- Separate ------------------------------------------------------------------

void WindowLogic::SeparateClicked() {
  auto& keep = Flags().KeepSeparating;
  if (Tag(Control::SeparateButton) != 0) {
    if (!AskToCancel(Control::SeparateButton, "真的要取消分离自解密文件：“" + selfextract::ShownPayloadName(PayloadName) + "”吗?", "取消分离")) return;
    keep = false;
    SetCommandState(Operation::Separate, true);
    EndRun(Outcome::kCancelled, kSeparateCancelled);
    ShowStatus(kSeparateCancelled);
    return;
  }
  SelfExtractRun& run = SelfExtract();
  try {
    StopAllAndYield();
    BeginRun();
    if (PayloadDamaged) NoteDamage();
    if (PayloadName.empty()) PayloadName = selfextract::kUnnamedPayload;
    ShowStatus(selfextract::PayloadStatusText(PayloadName, PayloadSize));
    TargetPath = OwnFileFolder + selfextract::SafePayloadName(PayloadName);
    FileDialogSpec save{"jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*", 1, TargetPath, "分离后的文件保存为"};
    const auto saved = port_.SaveDialog(save);
    if (!saved) return;

    const std::string own = OwnFilePath.empty() ? std::string(selfextract::kRunningProgramFile) : OwnFilePath;
    selfextract::SeparatePlan plan = selfextract::PlanSeparate(own, ImageSize(), PayloadSize, *saved, *this);
    ProgramPartPath = plan.job.program_part_path;
    TargetPath = plan.job.target_path;
    OutputPath = TargetPath;
    if (!plan.go) return;

    keep = true;
    SetCommandState(Operation::Separate, false);
    const std::string shown = selfextract::ShownPayloadName(PayloadName);
    ShowStatus(selfextract::text::SeparateRunning(shown));
    SetHintText(Hint::Output, "分离自解密后的已加密文件：" + TargetPath);
    SetBarPosition(0);
    SetHintText(Hint::Source, "进行分离自解密里的已加密文件：" + shown);

    auto pending = std::make_unique<SelfExtractRun::PendingSeparate>();
    pending->job = std::move(plan.job);
    try {
      selfextract::BeginSeparate(pending->job, own, ImageSize(), pending->program);
      {
        std::lock_guard lock(run.mutex);
        run.separate = std::move(pending);
      }
      StartWorker([this] { SeparatePayload(); });
    } catch (...) {
      // Without this the command would stay busy with no worker to end it.
      keep = false;
      {
        std::lock_guard lock(run.mutex);
        run.separate.reset();
      }
      SetCommandState(Operation::Separate, true);
      ReportMessage(kSeparateFailed);
    }
  } catch (...) {
    keep = false;
    Beep();
  }
}

void WindowLogic::SeparatePayload() {
  SelfExtractRun& run = SelfExtract();
  std::unique_ptr<SelfExtractRun::PendingSeparate> pending;
  {
    std::lock_guard lock(run.mutex);
    pending = std::move(run.separate);
  }
  if (pending) selfextract::SeparatePayload(pending->job, pending->program, *this);
}

}  // namespace vesk
