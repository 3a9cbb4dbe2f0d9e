#include "app/window_logic.h"

#include "app/batch_state.h"
#include "app/texts.h"

#include "selfextract/layout.h"

#include <utility>

#include "archive/texts.h"
#include "core/run_context.h"
#include "crypto/age_files/engine.h"
#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/stored_extension.h"
#include "crypto/keyed/system_random.h"
#include "crypto/keyed/reencryption_check.h"
#include "crypto/keyed/texts.h"
#include "selfextract/sfx_engine.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/staged_file.h"

namespace vesk {
namespace {

using keyed::text::kDecryptCancelled;
using keyed::text::kEncryptCancelled;
using keyed::text::kReplaceCaption;
using keyed::text::ReplaceFailed;
using keyed::text::ReplaceQuestion;

const char* const kSelfDecryptCancelled = text::kSelfDecryptCancelledText;

// Whether the file carries the marker of a keyed container where its
// header must be; false for a file that cannot be read (the engine reports
// that).
bool IsKeyedContainerFile(const std::string& path) {
  try {
    InputFile in(path);
    return selfextract::CarriesKeyedMarker(in, 0, in.Size());
  } catch (...) {
    return false;
  }
}

}  // namespace

WindowLogic::WindowLogic(WindowPort& port, UiThread& ui)
    : Compression(ui), port_(port), ui_(ui), random_(std::make_unique<keyed::SystemRandom>()) {
  Compression.OnBegin = [this](int64_t n) { CompressionBegan(n); };
  Compression.OnProcess = [this](int64_t n) { CompressionProgressed(n); };
  Compression.OnEnd = [this](bool normal, float rate) { CompressionEnded(normal, rate); };
  Compression.OnCheck = [this](int64_t checked, int64_t size) { CompressionChecked(checked, size); };
}

WindowLogic::~WindowLogic() {
  Compression.OnBegin = nullptr;
  Compression.OnProcess = nullptr;
  Compression.OnEnd = nullptr;
  Compression.OnCheck = nullptr;
}

void WindowLogic::ShowStatus(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    status_text_ = text;
  }
  port_.SetStatusText(InBatch() ? BatchStatus(text) : text);
}

bool WindowLogic::AskYesNo(const std::string& text, const std::string& caption) {
  if (InBatch() && caption == kReplaceCaption) return AskReplaceInBatch(text, caption);
  return port_.Question(text, caption);
}

ReplaceAnswer WindowLogic::AskReplace(const std::string& text, const std::string& caption) {
  // Among several files the answer for all of them is kept for the rest.
  const bool yes = InBatch() ? AskReplaceInBatch(text, caption) : port_.Question(text, caption);
  return yes ? ReplaceAnswer::kYes : ReplaceAnswer::kNo;
}

int WindowLogic::Tag(Control c) const {
  std::lock_guard lock(mutex_);
  auto it = tags_.find(c);
  return it == tags_.end() ? 0 : it->second;
}

void WindowLogic::SetControlTag(Control c, int tag) {
  {
    std::lock_guard lock(mutex_);
    tags_[c] = tag;
  }
  // The command is idle again: its run is over, and so is the question
  // whether to cancel it.
  if (tag == 0) CloseCancelQuestion(c);
}

void WindowLogic::OnRunEnded() { CloseCancelQuestion(std::nullopt); }

void WindowLogic::CloseCancelQuestion(std::optional<Control> busy) {
  {
    std::lock_guard lock(mutex_);
    if (!cancel_question_ || (busy && *busy != *cancel_question_)) return;
    cancel_question_.reset();
  }
  try {
    port_.CloseQuestion();
  } catch (...) {
    Beep();  // the window is closing: its questions are answered already
  }
}

bool WindowLogic::AskToCancel(Control busy, const std::string& text, const std::string& caption) {
  {
    // Taken together with the tag, so that a run ending from here on closes
    // the question.
    std::lock_guard lock(mutex_);
    if (tags_[busy] == 0) return false;
    cancel_question_ = busy;
  }
  const bool yes = port_.Question(text, caption);
  std::lock_guard lock(mutex_);
  const bool closed = cancel_question_ != busy;
  cancel_question_.reset();
  return yes && !closed && tags_[busy] != 0;
}

std::string WindowLogic::StatusText() const {
  std::lock_guard lock(mutex_);
  return status_text_;
}

std::string WindowLogic::HintText(Hint h) const {
  std::lock_guard lock(mutex_);
  return h == Hint::Output ? progress_hint_ : status_hint_;
}

void WindowLogic::SetHintText(Hint h, const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    (h == Hint::Output ? progress_hint_ : status_hint_) = text;
  }
  port_.SetHint(h, text);
}

void WindowLogic::SetRatioIndex(int index) {
  if (index < 0 || index > 3) index = 2;
  Compression.ZipLevel = static_cast<TCompressionLevel>(index);
}

std::string WindowLogic::KeyBytes(Control box) const { return Utf8ToGbkStrict(port_.KeyText(box)).value_or(""); }

void WindowLogic::RefuseRun(const std::string& text) {
  EndRun(Outcome::kRefused, text);
  ReportMessage(text);
}

bool WindowLogic::RefuseUnusableKey(Control box) {
  if (Utf8ToGbkStrict(port_.KeyText(box))) return false;
  // Stored as anything else, such a key would be opened by other keys.
  RefuseRun(box == Control::EncryptionKey ? std::string(text::kEncryptionKeyNotGbk) + kEncryptCancelled
                                          : std::string(text::kDecryptionKeyNotGbk) + kDecryptCancelled);
  return true;
}

void WindowLogic::SetCommandState(Operation op, bool enabled) {
  // Among several files the command stays busy from the first to the last.
  if (enabled && InBatch()) return;
  try {
    ApplyCommandState(*this, op, enabled, OwnFileSize() >= selfextract::SelfDecryptMinimum(ImageSize()));
  } catch (...) {
    Beep();
  }
}

void WindowLogic::SetControlEnabled(Control c, bool enabled) {
  port_.SetEnabled(c, enabled);
  if (c != Control::ShredItem) return;
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

void WindowLogic::PreselectFromHint(FileDialogSpec& setup) const {
  if (const std::string hint = HintText(Hint::Source); !hint.empty() && FileExists(hint)) setup.file_name = hint;
}

// StopAll stops a compression on purpose (closing, a new command): its end
// cleans up without a failure report, as after the user's cancel. A key-less
// run, which polls its own stop instead of the run flags, stops with it.
void WindowLogic::StopCompression() {
  StopZipForCancel();
  StopSelfExtract();
  StopKeylessRun();
}

void WindowLogic::ProcessPendingMessages() {
  if (ui_.IsUiThread()) ui_.ProcessPending();
  port_.ProcessPendingMessages();
}

// ---- Encrypt command ------------------------------------------------------

void WindowLogic::CancelEncrypt() {
  if (!AskToCancel(Control::EncryptButton, text::CancelEncryptQuestion(ChosenFile), text::kCancelEncryptCaption)) return;
  CancelCommand(Control::EncryptButton);
}

bool WindowLogic::CancelCommand(Control busy) {
  // Among several files, the files not yet begun are skipped.
  if (InBatch()) MarkBatchCancelled();
  // A run that ended while the question was open keeps its outcome.
  if (Tag(busy) == 0) return false;
  switch (busy) {
    case Control::EncryptButton:
      EndRun(Outcome::kCancelled, kEncryptCancelled);
      Flags().KeepRunning = false;
      RequestRunStop();
      StopZipForCancel();
      SetCommandState(Operation::Encrypt, true);
      ShowStatus(kEncryptCancelled);
      break;
    case Control::DecryptButton:
      EndRun(Outcome::kCancelled, kDecryptCancelled);
      decrypt_cancelled_ = true;
      Flags().KeepDecrypting = false;
      RequestRunStop();
      StopZipForCancel();
      SetCommandState(Operation::Decrypt, true);
      ShowStatus(kDecryptCancelled);
      break;
    case Control::SelfDecryptButton:
      // As the decrypt button's cancel: the stopped stage deletes what it
      // made (the temporary compressed copy too) and shows nothing.
      EndRun(Outcome::kCancelled, kSelfDecryptCancelled);
      StopSelfExtract();
      decrypt_cancelled_ = true;
      Flags().KeepDecrypting = false;
      StopZipForCancel();
      SetCommandState(Operation::SelfDecrypt, true);
      ShowStatus(kSelfDecryptCancelled);
      break;
    case Control::KeylessEncryptItem:
      EndRun(Outcome::kCancelled, kEncryptCancelled);
      StopKeylessRun();
      ResetKeylessEncryptItem();
      ShowStatus(kEncryptCancelled);
      break;
    case Control::KeylessDecryptItem:
      EndRun(Outcome::kCancelled, kDecryptCancelled);
      StopKeylessRun();
      ResetKeylessDecryptItem();
      ShowStatus(kDecryptCancelled);
      break;
    default:
      return false;
  }
  return true;
}

void WindowLogic::EncryptClicked() {
  if (Tag(Control::EncryptButton) != 0 || InBatch()) return CancelEncrypt();
  auto& keep = Flags().KeepRunning;
  try {
    StopAllAndYield();
    ResetRunFlags();
    // The strong format: its keys are checked (and a passphrase confirmed)
    // before the dialogs.
    const bool age = AgeFormatChosen() || !AgeRecipients.empty();
    if (age) {
      if (!TakeAgeKeys()) return;
    } else {
      if (RefuseUnusableKey(Control::EncryptionKey)) return;
      // Without a key and without compression there is nothing to do: said
      // before the dialogs, not after them.
      if (RatioIndex() == 0 && KeyBytes(Control::EncryptionKey).empty()) {
        return RefuseRun(std::string(text::kNothingToDo) + kEncryptCancelled);
      }
    }
    FileDialogSpec open{text::kAllFilesFilter, 1, "", age ? AgeEncryptOpenTitle() : text::kEncryptOpenTitle};
    PreselectFromHint(open);
    ShowStatus("");
    const std::vector<std::string> picked = PickSources(open);
    if (picked.empty()) {
      age_keys_.reset();
      return ShowStatus(kEncryptCancelled);
    }
    if (picked.size() > 1) return StartBatch(BatchCommand::kEncrypt, picked);
    EncryptOne(picked.front(), true);
    age_keys_.reset();
  } catch (...) {
    age_keys_.reset();
    keep = false;
    compressing_for_encryption_ = false;
    ReportMessage(keyed::text::kEncryptFailed);
  }
}

void WindowLogic::EncryptOne(const std::string& picked_path, bool ask_target) {
  if (age_keys_) return AgeEncryptOne(picked_path, ask_target);
  if (DirectoryExists(picked_path)) return EncryptFolder(picked_path, ask_target);
  auto& keep = Flags().KeepRunning;
  try {
    const std::optional<std::string> picked = picked_path;
    FolderSource.clear();
    ChosenFile = SourcePath = *picked;
    OriginalExt = ExtractFileExt(*picked);
    LayerNumber = 1;
    keep = true;

    CheckReencryption(*picked);
    if (!keep) return;

    const bool has_key = !KeyBytes(Control::EncryptionKey).empty();
    const int level = RatioIndex();
    if (level != 0) Compression.SourceFile = *picked;

    FileDialogSpec save;
    if (has_key) {
      save = {text::kContainerSaveFilter, -1, ChangeFileExt(*picked, ".jmz"), text::kEncryptSaveTitle};
    } else {
      save = {text::kCompressedSaveFilter, 1, *picked + ".zak", text::kCompressSaveTitle};
    }
    const auto saved = ask_target ? port_.SaveDialog(save) : std::optional<std::string>(save.file_name);
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
        ReportMessage(text::ExtensionNotGbk(OriginalExt));
      }
    } else {
      keep = false;
    }

    SetCommandState(Operation::Encrypt, false);
    ShowStatus(text::kEncryptStarting);
    SetBarPosition(0);
    SetHintText(Hint::Output, text::EncryptOutputHint(TargetPath));
    SetHintText(Hint::Source, text::EncryptSourceHint(SourcePath));

    if (level != 0) {
      if (!has_key) {
        SourcePath = OutputPath = zak;
        SetHintText(Hint::Output, text::CompressOutputHint(zak));
        if (PathExists(zak)) {
          if (!AskYesNo(ReplaceQuestion(zak), kReplaceCaption)) {
            ShowStatus(kEncryptCancelled);
            SetCommandState(Operation::Encrypt, true);
            return;
          }
          replace = true;
        }
      }
      ShowStatus(text::kCompressRunning);
      PreZipLevel = static_cast<uint8_t>(level);
      ZipRun run;
      if (!has_key) {
        run.target = zak;
        run.mode = PermissionsOf(*picked);  // the compressed copy is as private as its source
        run.replace = replace;
      } else {
        // One bar over both stages, by the bytes each reads: the compression
        // reads the source, the encryption its compressed copy, which is
        // taken to be as large (it is known only once written).
        const int64_t size = FileSizeOf(*picked);
        PlanStages({size, size});
      }
      StartCompression(*picked, run);
      return;
    }

    PreZipLevel = 0;
    if (has_key) {
      StartCommandWorker([this, stop = RunStopToken()] { EncryptEngine(stop); });
    } else {
      keep = false;
      SetCommandState(Operation::Encrypt, true);
      RefuseRun(std::string(text::kNothingToDo) + kEncryptCancelled);
    }
  } catch (...) {
    keep = false;
    compressing_for_encryption_ = false;
    ReportMessage(keyed::text::kEncryptFailed);
  }
}

void WindowLogic::CheckReencryption(const std::string& path) {
  const keyed::ReencryptionResult check = keyed::CheckReencryption(path, KeyBytes(Control::DecryptionKey), *this);
  // A container warned about as damaged makes its next layer a run after damage.
  if (check.damage_warned) NoteDamage();
  if (check.Refused()) {
    Flags().KeepRunning = false;
    return EndEngineRun(check.ending, Operation::Encrypt);
  }
  LayerNumber = check.layer_number;
}

void WindowLogic::EncryptEngine(const StopToken& stop) {
  keyed::EncryptJob job;
  job.key = KeyBytes(Control::EncryptionKey);
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
  // The source may be the temporary compressed copy (0600): the container
  // takes the bits of the file the user chose.
  job.target_mode = PermissionsOf(ChosenFile);
  RunContext context{*this, *this, stop};
  EndKeyedRun(keyed::EncryptEngine(job, context, *random_), Operation::Encrypt, stop);
}

// ---- Decrypt command ------------------------------------------------------

void WindowLogic::EndEngineRun(const RunResult& result, Operation op) {
  try {
    SetCommandState(op, true);
  } catch (...) {
    Beep();
  }
  Record(result);
  ShowEnding(result, *this, *this);
}

void WindowLogic::CancelDecrypt() {
  if (!AskToCancel(Control::DecryptButton, text::CancelDecryptQuestion(SourcePath), text::kCancelDecryptCaption)) return;
  CancelCommand(Control::DecryptButton);
}

void WindowLogic::ReportStoppedByFailure(const std::string& text) {
  // After the user's cancel the decryption engine still reports its stop as
  // a failure; the cancel has said what happened.
  if (decrypt_cancelled_) return;
  Reporter::ReportStoppedByFailure(text);
}

void WindowLogic::SettleEndedRun() {
  if (Result().outcome == Outcome::kNone) return;
  // The engines give their command back after their last message; the
  // window shows it idle already while that message is open.
  static constexpr std::pair<Control, Operation> kCommands[] = {
      {Control::EncryptButton, Operation::Encrypt},
      {Control::DecryptButton, Operation::Decrypt},
      {Control::CreateSelfDecryptingButton, Operation::CreateSelfDecrypting},
      {Control::SelfDecryptButton, Operation::SelfDecrypt},
      {Control::SeparateButton, Operation::Separate},
  };
  for (const auto& [control, op] : kCommands) {
    if (Tag(control) != 0) SetCommandState(op, true);
  }
  if (Tag(Control::KeylessEncryptItem) != 0) ResetKeylessEncryptItem();
  if (Tag(Control::KeylessDecryptItem) != 0) ResetKeylessDecryptItem();
}

void WindowLogic::ReportMessage(const std::string& text) {
  // Among several files a message waits for the summary at the end.
  if (InBatch()) {
    NoteInBatch(text);
    return ShowStatus(text);
  }
  try {
    SettleEndedRun();
    port_.MessageBox(text, kMessageCaption);
    ShowStatus(text);
  } catch (...) {
    Beep();
  }
}

void WindowLogic::DecryptClicked() {
  if (Tag(Control::DecryptButton) != 0 || InBatch()) return CancelDecrypt();
  try {
    StopAllAndYield();
    ResetRunFlags();
    FileDialogSpec open{text::kDecryptOpenFilter, 1, "", text::kDecryptOpenTitle};
    PreselectFromHint(open);
    ShowStatus("");
    const std::vector<std::string> picked = PickSources(open);
    if (picked.empty()) return ShowStatus(kDecryptCancelled);
    if (picked.size() > 1) return StartBatch(BatchCommand::kDecrypt, picked);
    DecryptOne(picked.front(), true);
    // A tar file decrypted: its folder is offered once the run is over.
    after_run_ = [this] { OfferUnpack(nullptr); };
    PostRunCheck();
  } catch (...) {
    Flags().KeepDecrypting = false;
    Compression.Stop();
    SetCommandState(Operation::Decrypt, true);
    Beep();
  }
}

void WindowLogic::DecryptOne(const std::string& picked, bool ask_target) {
  try {
    if (age_files::DetectFile(picked) != age_files::FileKind::kNotAge) return AgeDecryptChosen(picked, ask_target);
    SourcePath = picked;
    OriginalExt = ExtractFileExt(picked);
    // Only a container needs the key (a compressed file is decompressed
    // without one): a key it cannot use is refused before the save dialog.
    if (IsKeyedContainerFile(picked)) {
      if (RefuseUnusableKey(Control::DecryptionKey)) return;
      if (KeyBytes(Control::DecryptionKey).empty()) return RefuseRun(keyed::text::kDecryptEmptyKey);
    }
    // The decryption appends the stored extension: "a.tar.jmz" of a folder
    // proposes "a", which becomes "a.tar".
    std::string proposal = ChangeFileExt(SourcePath, "");
    const std::string stored = keyed::StoredExtension(SourcePath);
    if (!stored.empty() && proposal.size() > stored.size() &&
        proposal.compare(proposal.size() - stored.size(), stored.size(), stored) == 0) {
      proposal.resize(proposal.size() - stored.size());
    }
    FileDialogSpec save{text::kAllFilesFilter, -1, proposal, text::kDecryptSaveTitle};
    const auto saved = ask_target ? port_.SaveDialog(save) : std::optional<std::string>(save.file_name);
    if (!saved) return;
    TargetPath = *saved;
    Flags().KeepDecrypting = true;
    SetCommandState(Operation::Decrypt, false);
    SetBarPosition(0);
    StartCommandWorker([this, stop = RunStopToken()] { DecryptFile(stop); });
  } catch (...) {
    Flags().KeepDecrypting = false;
    Compression.Stop();
    SetCommandState(Operation::Decrypt, true);
    Beep();
  }
}

void WindowLogic::DecompressCommand(const std::string& source, const std::string& target) {
  StopAllAndYield();
  ResetRunFlags();
  SourcePath = source;
  OriginalExt = ExtractFileExt(source);
  TargetPath = OutputPath = target;
  if (!FileExists(source)) {
    return ReportMessage(keyed::text::DecryptSourceMissing(source));
  }
  if (PathExists(target) && !AskYesNo(ReplaceQuestion(target), kReplaceCaption)) return ShowStatus(kDecryptCancelled);
  if (SameFile(source, target)) return ReportMessage(ReplaceFailed(target, kDecryptCancelled));
  Flags().KeepDecrypting = true;
  SetCommandState(Operation::Decrypt, false);
  SetBarPosition(0);
  SetHintText(Hint::Output, keyed::text::DecompressOutputHint(target));
  SetHintText(Hint::Source, keyed::text::DecompressSourceHint(source));
  if (!StartDecompression(source, target, false)) {
    Flags().KeepDecrypting = false;
    SetCommandState(Operation::Decrypt, true);
    ReportMessage(keyed::text::DecompressSourceFailed(source));
  }
}

void WindowLogic::DecryptFile(const StopToken& stop) {
  keyed::DecryptJob job;
  job.command = Operation::Decrypt;
  job.source_path = SourcePath;
  job.original_ext = OriginalExt;
  job.target_path = TargetPath;
  job.info_click_count = InfoClickCount;
  RunContext context{*this, *this, stop};
  EndKeyedRun(keyed::DecryptFile(job, context, *this), Operation::Decrypt, stop);
}

void WindowLogic::EndKeyedRun(const RunResult& result, Operation op, const StopToken& stop) {
  // The decompression the engine started ends the run; the command stays
  // busy until then.
  if (keyed::HandedOver(result)) return;
  // A stopped run was ended by whoever stopped it: a cancel has shown the
  // command idle and said so, a new command has begun a run of its own.
  if (!result.Completed() && stop.StopRequested()) return;
  if (op == Operation::Encrypt) {
    Flags().KeepRunning = false;
  } else if (!result.Completed()) {
    Flags().KeepDecrypting = false;
    if (result.outcome == Outcome::kFailed) Flags().KeepRunning = false;
  }
  // A source that could not be read at all: the beep goes with its message.
  if (result.outcome == Outcome::kFailed && result.code == Reason::kNoSource) Beep();
  EndEngineRun(result, op);
}

}  // namespace vesk
