#include "cli/cli_port.h"

#include <algorithm>
#include <vector>

#include "cli/test_hold.h"
#include "platform/paths.h"

namespace vesk::cli {
namespace {

TerminalOptions OptionsOf(const PortConfig& config) {
  TerminalOptions options;
  options.answer = config.answer;
  options.algorithm = config.algorithm;
  options.interactive = config.interactive;
  options.progress = config.progress;
  return options;
}

}  // namespace

CliPort::CliPort(PortConfig config) : config_(std::move(config)), terminal_(OptionsOf(config_)) {}

CliPort::~CliPort() = default;

PortConfig::~PortConfig() {
  for (std::string* key : {&encrypt_key, &decrypt_key, &encrypt_passphrase, &decrypt_passphrase}) {
    // The whole buffer: a short string keeps its bytes inside the object
    // even after it was moved from.
    key->resize(key->capacity());
    volatile char* bytes = key->data();
    for (std::size_t i = 0; i < key->size(); ++i) bytes[i] = 0;
  }
}

void CliPort::MessageBox(const std::string& text, const std::string& /*caption*/) { terminal_.PrintLine(text); }

bool CliPort::Question(const std::string& text, const std::string& caption) { return terminal_.AskYesNo(text, caption); }

bool CliPort::UnpackQuestion(const std::string& text, const std::string& /*caption*/) {
  // Answered by --unpack, never asked.
  return terminal_.Answered(text, config_.unpack);
}

void CliPort::ArmTestHold(UiThread& ui, RunFlags& flags) {
  hold_run_ = CountHeldRun();
  hold_ui_ = &ui;
  hold_flags_ = &flags;
}

void CliPort::SetBarPosition(int64_t position) {
  RunFlags* flags = position > 0 ? hold_flags_.exchange(nullptr) : nullptr;  // a move to 0 is the reset before a run
  if (flags != nullptr) {
    // The flags set now; the run has been told to stop once one of them is clear.
    std::vector<std::atomic<bool>*> running;
    for (std::atomic<bool>* f : {&flags->KeepRunning, &flags->KeepDecrypting, &flags->KeepCreating,
                                 &flags->KeepSeparating, &flags->KeepShredding}) {
      if (*f) running.push_back(f);
    }
    UiThread* ui = hold_ui_;
    HoldUntilStopped(hold_run_, [&] {
      return ui->IsUiThread() || running.empty() ||
             !std::all_of(running.begin(), running.end(), [](auto* f) { return f->load(); });
    });
  }
  terminal_.DrawPosition(position);
}

std::string CliPort::KeyText(Control box) {
  return box == Control::EncryptionKey ? config_.encrypt_key : config_.decrypt_key;
}

std::string CliPort::PassphraseText(Control box) {
  return box == Control::EncryptionKey ? config_.encrypt_passphrase : config_.decrypt_passphrase;
}

std::optional<std::string> CliPort::OpenDialog(const FileDialogSpec& /*setup*/) { return config_.source; }

std::optional<std::string> CliPort::SaveDialog(const FileDialogSpec& setup) {
  if (config_.target) return *config_.target;
  if (config_.output_folder) return *config_.output_folder + ExtractFileName(setup.file_name);
  return setup.file_name;
}

}  // namespace vesk::cli
