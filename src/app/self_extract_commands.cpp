// The self-decrypting executable commands of the window: create
// (text::kCreateSelfDecryptingButton), self-decrypt and separate. A click asks
// its dialogs and questions on the user-interface thread, builds the
// command's request from the answers, shows the command busy and runs the
// command (commands/self_extract_command.h) on a worker; the run's result
// decides how the command ends.
#include <deque>
#include <mutex>
#include <optional>

#include "app/texts.h"
#include "app/window_logic.h"
#include "commands/self_extract_command.h"
#include "core/stop.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "selfextract/elf_image.h"
#include "selfextract/layout.h"
#include "selfextract/sfx_engine.h"
#include "selfextract/texts.h"
#include "threads/worker.h"

namespace vesk {

// The family's state: the file the payload commands read and what its
// header says, the program part new files get, and the stop of the run.
struct WindowLogic::SelfExtractRun {
  std::mutex mutex;  // guards `stop`
  StopSource stop;
  selfextract::SelfDecryptInfo info;
  std::string own_path;    // empty: the running program
  std::string own_folder;  // where the save dialogs propose, with its final "/"
  OwnFile sfx_program;     // empty path: vesk-sfx beside the running program
  std::string source;      // the container of the running create command

  StopToken NewRun() {
    std::lock_guard lock(mutex);
    stop = StopSource();
    return stop.Token();
  }
  void Stop() {
    std::lock_guard lock(mutex);
    stop.RequestStop();
  }
};

// The window as the progress and questions of one run on a worker. The
// message a run shows last waits until the run's end is recorded and its
// command shown idle, as the window shows every ending message; any other
// message is shown before the run goes on.
class WindowLogic::SelfExtractContext final : public Progress, public Prompter {
 public:
  explicit SelfExtractContext(WindowLogic& window) : window_(window) {}

  void ReportMessage(const std::string& text) override {
    Flush();
    pending_ = text;
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    Flush();
    return window_.AskYesNo(text, caption);
  }
  void ShowStatus(const std::string& text) override {
    Flush();
    window_.ShowStatus(text);
  }
  void ShowHint(Hint which, const std::string& text) override {
    Flush();
    window_.SetHintText(which, text);
  }
  // Shows a message held back.
  void Flush() {
    if (auto text = std::exchange(pending_, std::nullopt)) window_.ReportMessage(*text);
  }

 protected:
  void OnBarRange(int64_t max) override { window_.OnBarRange(max); }
  void OnBarPosition(int64_t position) override { window_.OnBarPosition(position); }

 private:
  WindowLogic& window_;
  std::optional<std::string> pending_;
};

WindowLogic::SelfExtractRun& WindowLogic::SelfExtract() {
  std::lock_guard lock(mutex_);
  if (!self_extract_) self_extract_ = std::make_shared<SelfExtractRun>();
  return *self_extract_;
}

const selfextract::SelfDecryptInfo& WindowLogic::OwnPayload() { return SelfExtract().info; }

void WindowLogic::SetSfxProgram(const OwnFile& program) { SelfExtract().sfx_program = program; }

std::string WindowLogic::OwnProgramFile() {
  const std::string& path = SelfExtract().own_path;
  return path.empty() ? std::string(selfextract::kRunningProgramFile) : path;
}

void WindowLogic::SetOwnFile(const std::string& path, const selfextract::SelfDecryptInfo& info) {
  SelfExtractRun& run = SelfExtract();
  run.info = info;
  run.own_path = path;
  if (!path.empty()) {
    run.own_folder = ExtractFilePath(path);
    return;
  }
  try {
    run.own_folder = ExtractFilePath(selfextract::RunningProgramPath());
  } catch (...) {
    run.own_folder.clear();
  }
}

void WindowLogic::StopSelfExtract() {
  if (self_extract_) self_extract_->Stop();
}

void WindowLogic::EndSelfExtractRun(Operation op, const RunResult& result, SelfExtractContext& context) {
  if (result.Completed()) {
    if (result.outcome == Outcome::kDoneAfterDamage) NoteDamage();
    Complete(result.written);
  } else {
    EndRun(result.outcome == Outcome::kNone ? Outcome::kRefused : result.outcome, result.reason);
  }
  // A cancelled run leaves its command alone: the canceller has set it idle,
  // and another command may run now.
  if (result.outcome != Outcome::kCancelled) SetCommandState(op, true);
  // The status line names what was written (the create command's own
  // ending names its file already).
  if (result.Completed() && op != Operation::CreateSelfDecrypting && !result.written.empty()) {
    std::string written;
    for (const std::string& path : result.written) written += (written.empty() ? "" : ", ") + path;
    ShowStatus(text::DoneWithOutput(result.reason.empty() ? StatusText() : result.reason, written));
  }
  context.Flush();
}

template <class Request>
void WindowLogic::StartSelfExtractRun(Operation op, commands::Command<Request>& command, Request request,
                                      commands::PlannedItem item) {
  const StopToken stop = SelfExtract().NewRun();
  SetCommandState(op, false);
  try {
    // Shared: a request may hold a key, which is never copied.
    auto shared = std::make_shared<Request>(std::move(request));
    StartWorker([this, op, &command, shared, item = std::move(item), stop] {
      SelfExtractContext context(*this);
      RunContext run{context, context, stop};
      RunResult result;
      try {
        result = command.Run(*shared, item, run);
      } catch (...) {
        result = RunResult::Ended(Outcome::kFailed, Reason::kIo);
      }
      EndSelfExtractRun(op, result, context);
    });
  } catch (...) {
    SetCommandState(op, true);
    Beep();
  }
}

void WindowLogic::CancelSelfExtractRun(Control button, Operation op, const std::string& question, const char* caption,
                                       const char* cancelled) {
  if (!AskToCancel(button, question, caption)) return;
  SelfExtract().Stop();
  SetCommandState(op, true);
  EndRun(Outcome::kCancelled, cancelled);
  ShowStatus(cancelled);
}

// ---- Create ------------------------------------------------------------------

void WindowLogic::CreateSelfDecryptingClicked() {
  SelfExtractRun& run = SelfExtract();
  if (Tag(Control::CreateSelfDecryptingButton) != 0) {
    return CancelSelfExtractRun(Control::CreateSelfDecryptingButton, Operation::CreateSelfDecrypting,
                                text::CreateCancelQuestion(run.source), text::kCreateCancelCaption,
                                selfextract::text::kCreateCancelled);
  }
  static commands::CreateSfxCommand command;
  try {
    StopAllAndYield();
    BeginRun();
    commands::CreateSfxRequest request;
    request.program = run.sfx_program.path;
    request.image_size = run.sfx_program.image_size;
    request.own_file = OwnProgramFile();
    // Without its program part no file could be made: nothing is asked.
    if (auto refusal = commands::CreateSfxCommand::CheckProgram(request, request.program, request.image_size)) {
      return RefuseRun(refusal->detail);
    }
    FileDialogSpec open{text::kCreateOpenFilter, 1, "", text::kCreateOpenTitle};
    PreselectFromHint(open);
    ShowStatus("");
    const auto picked = port_.OpenDialog(open);
    if (!picked) return;
    request.container = *picked;
    if (auto refusal = commands::CreateSfxCommand::CheckContainer(*picked)) return ReportMessage(refusal->detail);

    FileDialogSpec save{text::kCreateSaveFilter, 1, ChangeFileExt(*picked, selfextract::kSelfDecryptingExt),
                        text::kCreateSaveTitle};
    const auto saved = port_.SaveDialog(save);
    if (!saved) return ShowStatus(selfextract::text::kCreateCancelled);
    request.output = commands::OutputRule::Exact(*saved);
    commands::Plan plan = command.MakePlan(request);
    commands::PlannedItem& item = plan.items.front();
    if (item.refusal) return ReportMessage(item.refusal->detail);
    // The replace question and the refusals, before the command shows busy.
    RunContext asking{*this, *this, StopToken()};
    if (commands::CreateSfxCommand::Confirm(request, item, asking)) return;
    request.overwrite = commands::OverwritePolicy::kReplace;  // agreed, or nothing there
    run.source = request.container;
    StartSelfExtractRun(Operation::CreateSelfDecrypting, command, std::move(request), std::move(item));
  } catch (...) {
    Beep();
  }
}

// ---- Self-decrypt --------------------------------------------------------------

void WindowLogic::SelfDecryptClicked() {
  SelfExtractRun& run = SelfExtract();
  if (Tag(Control::SelfDecryptButton) != 0) {
    if (AskToCancel(Control::SelfDecryptButton, text::SelfDecryptCancelQuestion(selfextract::ShownPayloadName(run.info.PayloadName)),
                    text::kSelfDecryptCancelCaption)) {
      CancelCommand(Control::SelfDecryptButton);
    }
    return;
  }
  static commands::SelfDecryptCommand command;
  try {
    StopAllAndYield();
    BeginRun();
    if (run.info.Damaged) NoteDamage();
    if (run.info.PayloadName.empty()) run.info.PayloadName = selfextract::kUnnamedPayload;
    ShowStatus(selfextract::PayloadStatusText(run.info.PayloadName, run.info.PayloadSize));
    const std::string proposal = run.own_folder + selfextract::SafePayloadName(run.info.PayloadName);
    FileDialogSpec save{text::kSelfDecryptSaveFilter, 1, ChangeFileExt(proposal, ""), text::kSelfDecryptSaveTitle};
    const auto saved = port_.SaveDialog(save);
    if (!saved) return;
    commands::PayloadRequest request;
    request.file = run.own_path;
    request.info = run.info;
    request.output = commands::OutputRule::Exact(*saved);
    request.key = SecretText(port_.KeyText(Control::DecryptionKey));
    request.allow_old_ciphers = info_clicks_ > 7;
    commands::Plan plan = command.MakePlan(request);
    SetBarPosition(0);
    StartSelfExtractRun(Operation::SelfDecrypt, command, std::move(request), std::move(plan.items.front()));
  } catch (...) {
    SetCommandState(Operation::SelfDecrypt, true);
    Beep();
  }
}

// ---- Separate ------------------------------------------------------------------

void WindowLogic::SeparateClicked() {
  SelfExtractRun& run = SelfExtract();
  if (Tag(Control::SeparateButton) != 0) {
    return CancelSelfExtractRun(Control::SeparateButton, Operation::Separate,
                                text::SeparateCancelQuestion(selfextract::ShownPayloadName(run.info.PayloadName)),
                                text::kSeparateCancelCaption, selfextract::text::kSeparateCancelled);
  }
  static commands::SeparateCommand command;
  try {
    StopAllAndYield();
    BeginRun();
    if (run.info.Damaged) NoteDamage();
    if (run.info.PayloadName.empty()) run.info.PayloadName = selfextract::kUnnamedPayload;
    ShowStatus(selfextract::PayloadStatusText(run.info.PayloadName, run.info.PayloadSize));
    FileDialogSpec save{text::kSeparateSaveFilter, 1, run.own_folder + selfextract::SafePayloadName(run.info.PayloadName),
                        text::kSeparateSaveTitle};
    const auto saved = port_.SaveDialog(save);
    if (!saved) return;
    // The replace questions and the refusals, before the command shows busy.
    RunContext asking{*this, *this, StopToken()};
    const selfextract::SeparatePlan plan = selfextract::PlanSeparate(
        OwnProgramFile(), ImageSize(), run.info.PayloadSize, *saved, asking, [this](const std::string& path) {
          return AskReplace(selfextract::text::ReplaceQuestion(path), selfextract::text::kReplaceCaption) ==
                 ReplaceAnswer::kYes;
        });
    if (!plan.go) return;
    commands::PayloadRequest request;
    request.file = run.own_path;
    request.info = run.info;
    request.output = commands::OutputRule::Exact(*saved);
    request.overwrite = commands::OverwritePolicy::kReplace;  // agreed, or nothing there
    commands::Plan planned = command.MakePlan(request);
    StartSelfExtractRun(Operation::Separate, command, std::move(request), std::move(planned.items.front()));
  } catch (...) {
    Beep();
  }
}

}  // namespace vesk
