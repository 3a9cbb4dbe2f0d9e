// Folders: encrypting one into a single container, offering to unpack the
// tar file a decryption wrote, the unpack command, and the follow-ups that
// wait until every part of a run has ended.
#include <climits>
#include <cstdlib>
#include <utility>

#include "app/window_logic.h"
#include "app/texts.h"
#include "archive/folder_engine.h"
#include "archive/texts.h"
#include "crypto/keyless/random_source.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace vesk {
namespace {

const char* const kEncryptCancelled = text::kEncryptCancelledText;
const char* const kReplaceCaption = text::kReplaceCaptionText;

std::string ReplaceQuestion(const std::string& path) { return text::ReplaceQuestionText(path); }

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

// ---- What follows a run ------------------------------------------------------

void WindowLogic::StartCommandWorker(std::function<void()> body) {
  ++command_workers_;
  StartWorker([this, body = std::move(body)] {
    try {
      body();
    } catch (...) {
      // The engines report their own failures.
    }
    --command_workers_;
    PostRunCheck();
  });
}

void WindowLogic::PostRunCheck() {
  ui_.Post([this, alive = std::weak_ptr<char>(alive_)] {
    if (alive.lock()) RunCheck();
  });
}

void WindowLogic::RunCheck() {
  if (!after_run_ || command_workers_ > 0 || Compression.Busy()) return;
  auto next = std::exchange(after_run_, nullptr);
  next();
}

bool WindowLogic::FollowUpPending() const { return static_cast<bool>(after_run_) || batch_ != nullptr; }

// ---- Encrypting a folder -----------------------------------------------------

std::string WindowLogic::FolderStem(const std::string& folder) { return vesk::FolderStem(folder); }

void WindowLogic::EncryptFolder(const std::string& folder, bool ask_target) {
  auto& keep = Flags().KeepRunning;
  try {
    ChosenFile = SourcePath = FolderSource = folder;
    OriginalExt = ".tar";
    LayerNumber = 1;
    const bool has_key = !KeyBytes(Control::EncryptionKey).empty();
    const int level = RatioIndex();
    if (!has_key && level == 0) {
      return ReportMessage(std::string(text::kFolderNoKeyNoLevel) + kEncryptCancelled);
    }
    const std::string stem = FolderStem(folder);
    const FileDialogSpec save = has_key
                                    ? FileDialogSpec{text::kFolderJmzFilter, -1, stem + ".tar.jmz", text::kFolderJmzSaveTitle}
                                    : FileDialogSpec{text::kFolderZakFilter, 1, stem + ".tar.zak", text::kFolderZakSaveTitle};
    const auto saved = ask_target ? port_.SaveDialog(save) : std::optional<std::string>(save.file_name);
    if (!saved) return ShowStatus(kEncryptCancelled);
    if (has_key) {
      TargetPath = ChangeFileExt(*saved, ".jmz");
    } else {
      TargetPath = EndsWith(*saved, ".zak") ? *saved : *saved + ".zak";
    }
    OutputPath = TargetPath;
    ReplaceTarget = PathExists(TargetPath);
    if (ReplaceTarget && AskReplace(ReplaceQuestion(TargetPath), kReplaceCaption) != ReplaceAnswer::kYes) {
      return ShowStatus(kEncryptCancelled);
    }
    PreZipLevel = static_cast<uint8_t>(level);
    SetCommandState(Operation::Encrypt, false);
    ShowStatus(text::kFolderEncrypting);
    SetBarPosition(0);
    SetHintText(Hint::Output, text::FolderOutputHint(has_key, TargetPath));
    SetHintText(Hint::Source, text::FolderSourceHint(folder));
    keep = true;
    StartCommandWorker([this] { PackFolderWorker(); });
  } catch (...) {
    keep = false;
    SetCommandState(Operation::Encrypt, true);
    ReportMessage(text::kFolderEncryptFailed);
  }
}

void WindowLogic::EncryptFolderClicked() {
  try {
    // The item waits, as the buttons do, while a command runs.
    if (Tag(Control::EncryptButton) != 0 || Tag(Control::DecryptButton) != 0 || InBatch()) return Beep();
    FileDialogSpec open{"", -1, "", text::kFolderChooserTitle};
    PreselectFromHint(open);
    const auto folder = port_.FolderDialog(open);
    if (!folder) return ShowStatus(kEncryptCancelled);
    ChosenPaths = {*folder};
    EncryptClicked();
    // A refusal before the folder was taken leaves no choice behind for
    // the next command.
    ChosenPaths.clear();
  } catch (...) {
    ChosenPaths.clear();
    Beep();
  }
}

void WindowLogic::PackFolderWorker() {
  archive::PackJob job;
  job.folder = FolderSource;
  job.target_path = TargetPath;
  job.key = KeyBytes(Control::EncryptionKey);
  job.info_click_count = InfoClickCount;
  job.replace_target = ReplaceTarget;
  job.road = job.key.empty() ? archive::Road::kCompressed : archive::Road::kKeyed;
  job.level = PreZipLevel;
  job.command = Operation::Encrypt;
  archive::PackFolder(job, *this, *random_, keyless::DefaultRandom());
}

// ---- Unpacking ---------------------------------------------------------------

void WindowLogic::OfferUnpack(std::function<void()> then) {
  auto next = [&then] {
    if (then) then();
  };
  const std::string tar = OutputPath;
  if (!Result().Completed() || ExtractFileExt(tar) != ".tar" || !FileExists(tar)) return next();
  if (!port_.UnpackQuestion(archive::text::kUnpackQuestion, archive::text::kUnpackCaption)) return next();
  // An existing folder is never merged into: another name, or nothing.
  std::string folder = ChangeFileExt(tar, "");
  while (PathExists(folder)) {
    const auto other = port_.NewFolderDialog({text::kAllFilesFilter, -1, folder, archive::text::kNewFolderTitle});
    if (!other) {
      const bool damaged = DamageWarned();
      BeginRun();
      if (damaged) NoteDamage();
      EndRun(Outcome::kRefused, archive::text::FolderExists(folder));
      ReportMessage(archive::text::FolderExists(folder));
      return next();
    }
    folder = *other;
  }
  StartUnpack(tar, folder, true);
  after_run_ = std::move(then);
  PostRunCheck();
}

void WindowLogic::StartUnpack(const std::string& tar, const std::string& folder, bool remove_tar) {
  // A new run, which keeps the damage warnings of the decryption before it.
  const bool damaged = DamageWarned();
  BeginRun();
  if (damaged) NoteDamage();
  SourcePath = tar;
  OutputPath = folder;
  Flags().KeepDecrypting = true;
  SetCommandState(Operation::Decrypt, false);
  SetBarPosition(0);
  SetHintText(Hint::Output, text::UnpackOutputHint(folder));
  SetHintText(Hint::Source, text::UnpackSourceHint(tar));
  StartCommandWorker([this, job = archive::UnpackJob{tar, folder, Operation::Decrypt, nullptr, remove_tar}] {
    archive::UnpackFolder(job, *this);
  });
}

void WindowLogic::UnpackCommand(const std::string& source, const std::string& target) {
  StopAllAndYield();
  ResetRunFlags();
  SourcePath = source;
  TargetPath = OutputPath = target;
  if (!FileExists(source)) {
    EndRun(Outcome::kRefused, archive::text::UnpackSourceMissing(source));
    return ReportMessage(archive::text::UnpackSourceMissing(source));
  }
  StartUnpack(source, target, false);
}

}  // namespace vesk
