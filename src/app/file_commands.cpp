// The encrypt and decrypt buttons (and the folder item, which takes the
// encrypt button's way). The window's state and the dialogs' answers become
// one FileRequest; every chosen source is planned by the command of its
// format (keyed, compressed only or age; a file to decrypt by what it is)
// before anything runs, and the plan runs on a worker through the batch
// runner, whose results end the run. Among several files the outputs go
// beside their sources under the proposed names, the status line names the
// file at work, the bar runs over all of them, messages wait for a summary
// built from the results, and the replace question takes an answer for the
// rest.
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

#include "app/file_run.h"
#include "app/texts.h"
#include "app/window_logic.h"
#include "archive/texts.h"
#include "archive/tree_walk.h"
#include "commands/age_command.h"
#include "commands/batch_runner.h"
#include "commands/keyed_command.h"
#include "commands/zak_command.h"
#include "crypto/age_files/engine.h"
#include "crypto/age_files/key_files.h"
#include "crypto/age_files/texts.h"
#include "crypto/keyed/stored_extension.h"
#include "crypto/keyed/texts.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "selfextract/sfx_engine.h"
#include "threads/worker.h"

namespace vesk {
namespace {

namespace age_text = age_files::text;
using Command = commands::Command<commands::FileRequest>;

constexpr Tr kEncryptCancelled = text::kEncryptCancelledText;
constexpr Tr kDecryptCancelled = keyed::text::kDecryptCancelled;

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

bool IsAgeFile(const std::string& path) { return age_files::DetectFile(path) != age_files::FileKind::kNotAge; }

// The user answered No to replacing the item's target while it was planned.
bool KeptByAnswer(const commands::PlannedItem& item) {
  return item.refusal && item.refusal->code == Reason::kTargetKept;
}

}  // namespace

std::string WindowLogic::SourceLine(const std::vector<std::string>& paths) {
  if (paths.size() == 1) return paths.front();
  return text::FilesCount(paths.size());
}

std::vector<std::string> WindowLogic::PickSources(FileDialogSpec open) {
  if (!chosen_paths_.empty()) return std::exchange(chosen_paths_, {});
  return port_.OpenManyDialog(open);
}

std::shared_ptr<WindowLogic::FileRun> WindowLogic::CurrentFileRun() const {
  std::lock_guard lock(mutex_);
  return file_run_;
}

bool WindowLogic::InBatch() const {
  const std::shared_ptr<FileRun> run = CurrentFileRun();
  return run && run->batch;
}

// ---- Encrypt ------------------------------------------------------------------

std::string WindowLogic::FileAtWork() const {
  const std::shared_ptr<FileRun> run = CurrentFileRun();
  if (!run || run->sources.empty()) return "";
  std::lock_guard lock(run->mutex);
  return run->batch && run->begun ? run->sources[run->current] : SourceLine(run->sources);
}

void WindowLogic::CancelEncrypt() {
  const std::string source = FileAtWork();
  if (!AskToCancel(Control::EncryptButton, text::CancelEncryptQuestion(source), text::kCancelEncryptCaption)) return;
  CancelCommand(Control::EncryptButton);
}

bool WindowLogic::TakeAgeKeys(commands::KeyMaterial& keys) {
  // Recipients count for this command only: the next click asks again.
  keys.recipients = std::exchange(pending_recipients_, {});
  if (!keys.recipients.empty()) return true;
  std::string passphrase = port_.PassphraseText(Control::EncryptionKey);
  std::string confirmation = port_.PassphraseText(Control::DecryptionKey);
  const bool confirmed = passphrase == confirmation;
  age_files::WipeString(confirmation);
  keys.passphrase = SecretText(std::move(passphrase));
  const char* why = keys.passphrase.empty()                     ? age_text::kPassphraseEmpty.c_str()
                    : !confirmed                                ? age_text::kPassphraseMismatch.c_str()
                    : !age_files::IsUtf8(keys.passphrase.str()) ? age_text::kPassphraseNotUtf8.c_str()
                                                                : nullptr;
  if (why == nullptr) return AgePassphraseAccepted(keys.passphrase);
  RefuseRun(why);
  return false;
}

void WindowLogic::EncryptClicked() {
  if (Tag(Control::EncryptButton) != 0 || InBatch()) return CancelEncrypt();
  try {
    StopAllAndYield();
    BeginRun();
    auto run = std::make_shared<FileRun>();
    run->op = Operation::Encrypt;
    commands::FileRequest& request = run->request;
    // The strong format: its keys are checked (and a passphrase confirmed)
    // before the dialogs.
    const bool age = AgeFormatChosen() || !pending_recipients_.empty();
    if (age) {
      if (!TakeAgeKeys(request.keys)) return;
      request.format = commands::Format::kAge;
      request.armor = age_armor_;
      request.work_factor = age_work_factor_;
    } else {
      if (RefuseUnusableKey(Control::EncryptionKey)) return;
      request.keys.key = SecretText(port_.KeyText(Control::EncryptionKey));
      // Started to encrypt (the file managers' encrypt item), the window never silently only
      // compresses: an empty key box is asked for, and compressing without
      // a key happens only when the user says so.
      const bool asked_to_encrypt = passed_request_ && passed_request_->command == MenuCommand::kEncrypt;
      if (asked_to_encrypt && request.keys.key.empty() &&
          (RatioIndex() == 0 || !port_.CarefulQuestion(text::kCompressOnlyQuestion, text::kCompressOnlyCaption))) {
        EndRun(Outcome::kRefused, text::kKeyWanted);
        port_.FocusControl(Control::EncryptionKey);
        return ShowStatus(text::kKeyWanted);
      }
      // Without a key and without compression there is nothing to do: said
      // before the dialogs, not after them.
      if (RatioIndex() == 0 && request.keys.key.empty()) {
        return RefuseRun(std::string(text::kNothingToDo) + kEncryptCancelled);
      }
      request.format = request.keys.key.empty() ? commands::Format::kCompressed : commands::Format::kKeyed;
      request.keys.decrypt_key = SecretText(port_.KeyText(Control::DecryptionKey));
      request.level = RatioIndex();
      request.cipher = info_clicks_ > 7 ? commands::Cipher::kOld : commands::Cipher::kCurrent;
    }
    FileDialogSpec open{text::kAllFilesFilter, 1, "", age ? AgeEncryptOpenTitle() : text::kEncryptOpenTitle};
    PreselectFromHint(open);
    ShowStatus("");
    run->sources = PickSources(open);
    if (run->sources.empty()) return ShowStatus(kEncryptCancelled);
    if (run->sources.size() == 1) {
      // One source: its output is named in the save dialog.
      const std::optional<FileDialogSpec> save = EncryptSaveDialog(request, run->sources.front());
      if (!save) return;
      const auto saved = port_.SaveDialog(*save);
      if (!saved) return ShowStatus(kEncryptCancelled);
      request.output = commands::OutputRule::Exact(*saved);
    }
    request.sources = run->sources;
    request.faults = faults_;
    if (request.format == commands::Format::kKeyed) {
      run->commands.push_back(std::make_unique<commands::KeyedEncryptCommand>(*this, *random_));
    } else if (request.format == commands::Format::kCompressed) {
      run->commands.push_back(std::make_unique<commands::CompressCommand>(*this));
    } else {
      run->commands.push_back(std::make_unique<commands::AgeEncryptCommand>());
    }
    PlanFileRun(run);
    StartFileRun(run);
  } catch (...) {
    AbandonFileRun();
    ReportMessage(keyed::text::kEncryptFailed);
  }
}

std::optional<FileDialogSpec> WindowLogic::EncryptSaveDialog(const commands::FileRequest& request, const std::string& source) {
  const bool folder = DirectoryExists(source);
  const commands::OutputRule proposed = commands::OutputRule::Proposed();
  switch (request.format) {
    case commands::Format::kAge:
      // A folder becomes "DIR.tar.age"; a file keeps its whole name.
      return FileDialogSpec{age_text::kEncryptSaveFilter, 1,
                            folder ? vesk::FolderStem(source) + ".tar.age" : source + ".age", age_text::kEncryptSaveTitle};
    case commands::Format::kKeyed:
      if (folder) {
        return FileDialogSpec{text::kFolderJmzFilter, -1, commands::KeyedTarget(proposed, source), text::kFolderJmzSaveTitle};
      }
      return FileDialogSpec{text::kContainerSaveFilter, -1, commands::KeyedTarget(proposed, source), text::kEncryptSaveTitle};
    default:
      if (folder) {
        return FileDialogSpec{text::kFolderZakFilter, 1, commands::CompressedTarget(proposed, source),
                              text::kFolderZakSaveTitle};
      }
      return FileDialogSpec{text::kCompressedSaveFilter, 1, commands::CompressedTarget(proposed, source),
                            text::kCompressSaveTitle};
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
    chosen_paths_ = {*folder};
    EncryptClicked();
    // A refusal before the folder was taken leaves no choice behind for
    // the next command.
    chosen_paths_.clear();
  } catch (...) {
    chosen_paths_.clear();
    Beep();
  }
}

// ---- Decrypt ------------------------------------------------------------------

void WindowLogic::CancelDecrypt() {
  const std::string source = FileAtWork();
  if (!AskToCancel(Control::DecryptButton, text::CancelDecryptQuestion(source), text::kCancelDecryptCaption)) return;
  CancelCommand(Control::DecryptButton);
}

void WindowLogic::DecryptClicked() {
  if (Tag(Control::DecryptButton) != 0 || InBatch()) return CancelDecrypt();
  try {
    StopAllAndYield();
    BeginRun();
    auto run = std::make_shared<FileRun>();
    run->op = Operation::Decrypt;
    commands::FileRequest& request = run->request;
    FileDialogSpec open{AgeFormatChosen() ? text::kDecryptOpenFilterAgeFirst : text::kDecryptOpenFilter, 1, "",
                        text::kDecryptOpenTitle};
    PreselectFromHint(open);
    ShowStatus("");
    run->sources = PickSources(open);
    if (run->sources.empty()) return ShowStatus(kDecryptCancelled);
    // The right-hand box is the container's key or the age passphrase.
    request.keys.key = SecretText(port_.KeyText(Control::DecryptionKey));
    request.keys.passphrase = SecretText(port_.PassphraseText(Control::DecryptionKey));
    request.keys.identity_files = age_identity_files_;
    request.keys.identities = ReadAgeIdentities();
    request.max_work_factor = age_max_work_factor_;
    request.allow_old_ciphers = info_clicks_ > 7;
    request.sources = run->sources;
    auto keyed = std::make_unique<commands::KeyedDecryptCommand>(UnpackOffer());
    auto age = std::make_unique<commands::AgeDecryptCommand>();
    if (run->sources.size() == 1) {
      const std::string& source = run->sources.front();
      const bool is_age = IsAgeFile(source);
      // What the file needs is refused before the save dialog: a header no
      // key opens, a missing passphrase or identity, a key GBK cannot hold.
      if (is_age) {
        if (auto refusal = commands::AgeDecryptCommand::CheckKeys(request, source)) return RefuseRun(refusal->detail);
      } else if (IsKeyedContainerFile(source)) {
        // Only a container needs the key (a compressed file is
        // decompressed without one).
        if (RefuseUnusableKey(Control::DecryptionKey)) return;
        if (request.keys.key.empty()) return RefuseRun(keyed::text::kDecryptEmptyKey);
      }
      std::string proposal = is_age ? commands::AgePlainName(source)
                                    : commands::KeyedPlainTarget(commands::OutputRule::Proposed(), source);
      // A proposal that names a folder (a folder's container beside its
      // folder) would take the save dialog into that folder: a free name.
      if (DirectoryExists(proposal)) {
        const std::string stored = is_age ? std::string() : keyed::StoredExtension(source);
        proposal = commands::FreeName(proposal, [&stored](const std::string& path) {
          return PathExists(path) || (!stored.empty() && PathExists(path + stored));
        });
      }
      const FileDialogSpec save{text::kAllFilesFilter, -1, proposal, is_age ? age_text::kDecryptSaveTitle : text::kDecryptSaveTitle};
      const auto saved = port_.SaveDialog(save);
      if (!saved) return;
      request.output = commands::OutputRule::Exact(*saved);
    }
    run->commands.push_back(std::move(keyed));
    run->commands.push_back(std::move(age));
    PlanFileRun(run);
    StartFileRun(run);
  } catch (...) {
    AbandonFileRun();
    SetCommandState(Operation::Decrypt, true);
    Beep();
  }
}

commands::UnpackOffer WindowLogic::UnpackOffer() {
  commands::UnpackOffer offer;
  offer.ask = [this](const std::string& question, const std::string& caption) {
    return port_.UnpackQuestion(question, caption);
  };
  const auto free_name = [](const std::string& folder) {
    return commands::FreeName(folder, [](const std::string& path) { return PathExists(path); });
  };
  // The question names the tar file and the folder it goes to.
  offer.question = [free_name](const std::string& tar, const std::string& folder) {
    if (!PathExists(folder)) return text::UnpackQuestion(tar, folder);
    return text::UnpackQuestionTaken(tar, folder, free_name(folder));
  };
  // An existing folder is never merged into: another name, a free one
  // proposed, or nothing.
  offer.other_folder = [this, free_name](const std::string& taken) {
    return port_.NewFolderDialog({text::kAllFilesFilter, -1, free_name(taken), text::NewFolderTitle(taken)});
  };
  return offer;
}

// ---- Planning and running -------------------------------------------------------

void WindowLogic::PlanFileRun(const std::shared_ptr<FileRun>& shared) {
  FileRun& run = *shared;
  if (run.sources.size() > 1) {
    // Among several files the replace questions of the plan offer their
    // answers for the rest.
    run.batch = true;
    std::lock_guard lock(mutex_);
    file_run_ = shared;
  }
  const commands::FileRequest& request = run.request;
  if (run.op != Operation::Decrypt) {
    run.plan = run.commands.front()->MakePlan(request);
    if (request.format == commands::Format::kAge) {
      // A file that is not there has nothing to encrypt.
      for (commands::PlannedItem& item : run.plan.items) {
        if (!FileExists(item.source) && !DirectoryExists(item.source)) {
          item.refusal = commands::Refusal{Reason::kNoSource, age_text::EncryptSourceMissing(item.source)};
        }
      }
      commands::DecideAgeTargets(run.plan, request, true, *this);
    }
    run.command_of.assign(run.plan.items.size(), run.commands.front().get());
    return;
  }
  // Decrypting: each source planned by the command of what it is, in the
  // order chosen.
  commands::FileRequest keyed_request, age_request;
  std::vector<bool> is_age;
  for (const std::string& source : request.sources) {
    is_age.push_back(IsAgeFile(source));
    (is_age.back() ? age_request : keyed_request).sources.push_back(source);
  }
  for (commands::FileRequest* part : {&keyed_request, &age_request}) {
    part->output = request.output;
    part->max_work_factor = request.max_work_factor;
    part->keys.identity_files = request.keys.identity_files;
    if (!part->sources.empty()) part->keys.passphrase = request.keys.passphrase.Clone();
  }
  Command& keyed = *run.commands[0];
  Command& age = *run.commands[1];
  const commands::Plan keyed_plan = keyed.MakePlan(keyed_request);
  commands::Plan age_plan = age.MakePlan(age_request);
  commands::DecideAgeTargets(age_plan, age_request, false, *this);
  std::size_t next_age = 0, next_keyed = 0;
  for (const bool in_age : is_age) {
    run.plan.items.push_back(in_age ? age_plan.items[next_age++] : keyed_plan.items[next_keyed++]);
    run.command_of.push_back(in_age ? &age : &keyed);
  }
}

void WindowLogic::StartFileRun(const std::shared_ptr<FileRun>& run) {
  const bool single = run->sources.size() == 1;
  if (single) {
    // One file: a refusal of the plan is its ending, shown now.
    const commands::PlannedItem& item = run->plan.items.front();
    if (!item.Runs()) {
      const commands::Refusal& refusal = *item.refusal;
      if (refusal.code == Reason::kTargetKept) {
        EndRun(Outcome::kRefused, refusal.detail);
        return ShowStatus(refusal.detail);
      }
      return RefuseRun(refusal.detail);
    }
  } else {
    run->items.resize(run->sources.size());
    std::atomic<bool> keep{true};
    int64_t total = 0;
    for (const std::string& path : run->sources) {
      int64_t weight = 0;
      if (DirectoryExists(path)) {
        try {
          weight = archive::SurveyTree(path, "", keep).Weight();
        } catch (const std::exception&) {
          weight = 0;  // the packing itself will say why
        }
      } else {
        weight = std::max<int64_t>(FileSizeOf(path), 0);
      }
      run->weights.push_back(weight);
      total += weight;
    }
    run->total = std::max<int64_t>(total, 1);
    run->bar_max = BarMaxFor(run->total);
  }
  {
    std::lock_guard lock(mutex_);
    file_run_ = run;
  }
  ShowFileRunBusy(run->op);
  if (run->batch) {
    SetHintText(Hint::Source, SourceLine(run->sources));
    port_.SetBarRange(run->bar_max);
    port_.SetBarPosition(0);
  } else {
    SetBarPosition(0);
  }
  StartWorker([this, run] { RunFiles(run); });
}

RunResult WindowLogic::RunFileItem(FileRun& run, const commands::PlannedItem& item) {
  const std::size_t index = static_cast<std::size_t>(&item - run.plan.items.data());
  Command& command = *run.command_of[index];
  RunContext context{*this, *this, run.stop.Token()};
  RunResult result = command.Run(run.request, item, context);
  // The age commands leave their ending to the caller; a decrypted tar
  // file is offered for unpacking after it.
  if (dynamic_cast<commands::AgeEncryptCommand*>(&command) != nullptr ||
      dynamic_cast<commands::AgeDecryptCommand*>(&command) != nullptr) {
    if (!result.Completed() && run.stop.StopRequested()) return result;
    ShowEnding(result, *this, *this);
    if (run.op == Operation::Decrypt) result = commands::UnpackDecryptedTar(result, UnpackOffer(), context);
  }
  return result;
}

void WindowLogic::RunFiles(const std::shared_ptr<FileRun>& run) {
  const auto begin_item = [this, &run](std::size_t index) {
    std::lock_guard lock(run->mutex);
    run->current = index;
    run->begun = true;
    run->part_max = 1;
    run->shown = 0;
  };
  const auto end_item = [this, &run](std::size_t index) {
    {
      std::lock_guard lock(run->mutex);
      run->items[index].last_status = StatusText();
      run->done += run->weights[index];
      run->begun = false;
    }
    port_.SetBarPosition(run->bar_max == 100 ? PercentOf(run->done, run->total) : run->done);
  };
  commands::BatchSummary summary;
  if (!run->batch) {
    const commands::PlannedItem& item = run->plan.items.front();
    summary.items.push_back({item, RunFileItem(*run, item)});
  } else {
    summary = commands::BatchRunner().Run(
        run->plan,
        [&](const commands::PlannedItem& item) {
          const std::size_t index = static_cast<std::size_t>(&item - run->plan.items.data());
          begin_item(index);
          RunResult result = RunFileItem(*run, item);
          end_item(index);
          return result;
        },
        run->stop.Token(),
        [&](const commands::PlannedItem& item) {
          const std::size_t index = static_cast<std::size_t>(&item - run->plan.items.data());
          std::lock_guard lock(run->mutex);
          run->items[index].notes.push_back(item.refusal->detail);
        });
  }
  EndFileRun(run, summary);
}

void WindowLogic::EndFileRun(const std::shared_ptr<FileRun>& run, const commands::BatchSummary& summary) {
  {
    std::lock_guard lock(mutex_);
    if (file_run_ == run) file_run_.reset();
  }
  if (!run->batch) {
    const RunResult& result = summary.items.front().result;
    // A stopped run was ended by whoever stopped it: a cancel has shown the
    // command idle and said so, a new command has begun a run of its own.
    std::optional<std::string> held;
    {
      std::lock_guard lock(run->mutex);
      held = std::exchange(run->held_message, std::nullopt);
    }
    if (!result.Completed() && run->stop.StopRequested()) return;
    Record(result);
    // A source that could not be read at all: the beep goes with its
    // message; so do a key-less run without a usable key, a failed
    // key-less decryption and an internal failure.
    const bool keyless = run->op == Operation::KeylessEncrypt || run->op == Operation::KeylessDecrypt;
    const bool failed = result.outcome == Outcome::kFailed;
    if ((failed && result.code == Reason::kNoSource) ||
        (keyless && (result.code == Reason::kNoKey ||
                     (failed && (run->op == Operation::KeylessDecrypt || result.reason.empty()))))) {
      Beep();
    }
    ShowFileRunIdle(run->op);
    if (held) {
      ShowMessageNow(*held);
    } else if (result.Completed() && !result.written.empty()) {
      // The status line names what was written.
      ShowStatus(text::DoneWithOutput(result.reason.empty() ? StatusText() : result.reason, result.written.back()));
    }
    return;
  }
  ShowBatchSummary(*run, summary);
}

void WindowLogic::ShowBatchSummary(const FileRun& run, const commands::BatchSummary& summary) {
  std::vector<std::string> written;
  std::string done_lines, failed_lines, skipped_lines;
  int done = 0, failed = 0, skipped = 0;
  bool damaged = false;
  for (std::size_t i = 0; i < run.sources.size(); ++i) {
    const FileRun::Item& item = run.items[i];
    const RunResult& r = summary.items[i].result;
    // Why a file did not come through: the run's reason, else its last message.
    std::string why = r.reason.empty() && !item.notes.empty() ? item.notes.back() : r.reason;
    if (r.Completed()) {
      ++done;
      damaged = damaged || r.outcome == Outcome::kDoneAfterDamage;
      written.insert(written.end(), r.written.begin(), r.written.end());
      done_lines += "\n  " + run.sources[i] + " → " + (r.written.empty() ? std::string() : r.written.back());
      for (const std::string& note : item.notes) done_lines += "\n    " + note;
    } else if (r.outcome == Outcome::kFailed || (r.outcome == Outcome::kNone && !item.notes.empty()) ||
               (r.outcome == Outcome::kRefused && !KeptByAnswer(summary.items[i].item))) {
      // Refused or failed, or stopped with a message of why.
      ++failed;
      failed_lines += "\n  " + run.sources[i] + "：" + why;
    } else {
      // Cancelled, not replaced, or never begun.
      ++skipped;
      if (why.empty()) why = item.last_status;
      if (r.code == Reason::kCancelled && item.last_status.empty()) why = text::kNotBegun.str();
      if (why.empty()) why = text::kNotBegun.str();
      skipped_lines += "\n  " + run.sources[i] + "：" + why;
    }
  }
  std::string message = text::BatchHeadline(SourceLine(run.sources), done, failed, skipped);
  const std::string headline = message;
  if (done > 0) message += text::kBatchDone + done_lines;
  if (failed > 0) message += text::kBatchNotDone + failed_lines;
  if (skipped > 0) message += text::kBatchSkipped + skipped_lines;

  BeginRun();
  if (damaged) NoteDamage();
  if (failed == 0 && skipped == 0) {
    Complete(written);
  } else {
    EndRun(run.stop.StopRequested() ? Outcome::kCancelled : Outcome::kFailed, message);
  }
  ShowFileRunIdle(run.op);
  if (failed == 0 && skipped == 0) port_.SetBarPosition(run.bar_max);
  try {
    port_.MessageBox(message, kMessageCaption);
  } catch (...) {
    Beep();
  }
  ShowStatus(headline);
}

void WindowLogic::ShowFileRunBusy(Operation op) {
  if (op == Operation::KeylessEncrypt || op == Operation::KeylessDecrypt) {
    return ShowKeylessBusy(op == Operation::KeylessEncrypt);
  }
  SetCommandState(op, false);
}

void WindowLogic::ShowFileRunIdle(Operation op) {
  switch (op) {
    case Operation::KeylessEncrypt: return ResetKeylessEncryptItem();
    case Operation::KeylessDecrypt: return ResetKeylessDecryptItem();
    default: return SetCommandState(op, true);
  }
}

bool WindowLogic::HoldMessage(const std::string& text) {
  const std::shared_ptr<FileRun> run = CurrentFileRun();
  if (!run || run->batch || ui_.IsUiThread()) return false;
  std::optional<std::string> earlier;
  {
    std::lock_guard lock(run->mutex);
    earlier = std::exchange(run->held_message, text);
  }
  if (earlier) ShowMessageNow(*earlier);
  return true;
}

void WindowLogic::ShowHeldMessage() {
  const std::shared_ptr<FileRun> run = CurrentFileRun();
  if (!run) return;
  std::optional<std::string> held;
  {
    std::lock_guard lock(run->mutex);
    held = std::exchange(run->held_message, std::nullopt);
  }
  if (held) ShowMessageNow(*held);
}

void WindowLogic::AbandonFileRun() {
  std::lock_guard lock(mutex_);
  if (file_run_) file_run_->stop.RequestStop();
  file_run_.reset();
}

void WindowLogic::StopFileRun() {
  if (const std::shared_ptr<FileRun> run = CurrentFileRun()) run->stop.RequestStop();
}

// ---- What a batch shows -----------------------------------------------------------

std::optional<bool> WindowLogic::AskReplaceInBatch(const std::string& text, const std::string& caption) {
  const std::shared_ptr<FileRun> run = CurrentFileRun();
  if (!run || !run->batch) return std::nullopt;
  {
    std::lock_guard lock(run->mutex);
    if (run->replace_all) return *run->replace_all;
  }
  const WindowPort::ReplaceAnswer answer = port_.ReplaceQuestion(text, caption);
  std::lock_guard lock(run->mutex);
  switch (answer) {
    case WindowPort::ReplaceAnswer::kYesToAll: run->replace_all = true; return true;
    case WindowPort::ReplaceAnswer::kNoToAll: run->replace_all = false; return false;
    case WindowPort::ReplaceAnswer::kYes: return true;
    case WindowPort::ReplaceAnswer::kNo: break;
  }
  return false;
}

std::string WindowLogic::BatchStatus(const std::string& text) const {
  const std::shared_ptr<FileRun> run = CurrentFileRun();
  if (!run || !run->batch) return text;
  std::lock_guard lock(run->mutex);
  if (!run->begun) return text;
  return "(" + std::to_string(run->current + 1) + "/" + std::to_string(run->sources.size()) + ") " +
         ExtractFileName(run->sources[run->current]) + "：" + text;
}

bool WindowLogic::NoteInBatch(const std::string& text) {
  const std::shared_ptr<FileRun> run = CurrentFileRun();
  if (!run || !run->batch) return false;
  std::lock_guard lock(run->mutex);
  if (run->begun) run->items[run->current].notes.push_back(text);
  return true;
}

// The bar among several files: each file moves it across its share of the
// total, and never backwards.
void WindowLogic::OnBarRange(int64_t max) {
  ShowHeldMessage();
  const std::shared_ptr<FileRun> run = CurrentFileRun();
  if (!run || !run->batch) return port_.SetBarRange(max);
  std::lock_guard lock(run->mutex);
  run->part_max = std::max<int64_t>(max, 1);
}

void WindowLogic::OnBarPosition(int64_t position) {
  ShowHeldMessage();
  const std::shared_ptr<FileRun> run = CurrentFileRun();
  if (!run || !run->batch) return port_.SetBarPosition(position);
  int64_t at = 0;
  {
    std::lock_guard lock(run->mutex);
    if (!run->begun) return;
    const double fraction = std::clamp(static_cast<double>(position) / static_cast<double>(run->part_max), 0.0, 1.0);
    run->shown = std::max(run->shown, fraction);
    at = run->done + static_cast<int64_t>(run->shown * static_cast<double>(run->weights[run->current]));
  }
  port_.SetBarPosition(run->bar_max == 100 ? PercentOf(at, run->total) : at);
}

}  // namespace vesk
