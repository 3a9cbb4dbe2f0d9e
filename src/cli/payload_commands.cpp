#include "cli/payload_commands.h"

#include <iostream>
#include <utility>

#include "cli/output_name.h"
#include "cli/texts.h"
#include "commands/self_extract_command.h"
#include "platform/file_io.h"
#include "selfextract/elf_image.h"
#include "selfextract/layout.h"
#include "selfextract/sfx_engine.h"

namespace vesk::cli {
namespace {

// Reading a file's payload header without running a command: damage reports
// go to standard error, the status text is kept.
class HeaderText final : public Progress, public Prompter {
 public:
  void ReportMessage(const std::string& text) override {
    if (!quiet) std::cerr << text << '\n';
  }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowStatus(const std::string& text) override { status = text; }
  std::string status;
  bool quiet = false;

 protected:
  void OnBarRange(int64_t) override {}
  void OnBarPosition(int64_t) override {}
};

}  // namespace

commands::OutputRule OutputRuleOf(const std::optional<std::string>& output) {
  if (!output) return commands::OutputRule::Proposed();
  if (auto folder = ExistingFolderOf(*output)) return commands::OutputRule::Folder(std::move(*folder));
  return commands::OutputRule::Exact(*output);
}

Answer AnswerOf(bool yes, bool no) { return yes ? Answer::kYes : no ? Answer::kNo : Answer::kAsk; }

PayloadCommand::PayloadCommand(CLI::App& app, std::string self, bool any_file)
    : self_(std::move(self)), any_file_(any_file) {
  auto add_answers = [this](CLI::App* sub) {
    auto* yes = sub->add_flag("--yes", yes_, text::kSfxAnswerYes);
    sub->add_flag("--no", no_, text::kSfxAnswerNo)->excludes(yes);
  };
  auto add_file = [this](CLI::App* sub) {
    if (any_file_) sub->add_option("FILE", file_, text::kSfxFileAny);
  };

  info_ = app.add_subcommand("sfx-info", any_file_ ? text::kSfxInfoAny : text::kSfxInfoOwn);
  add_file(info_);

  decrypt_ = app.add_subcommand("self-decrypt", any_file_ ? text::kSelfDecryptAny : text::kSelfDecryptOwn);
  add_file(decrypt_);
  decrypt_->add_option("-o,--output", target_, text::kSelfDecryptOutput);
  auto* file = decrypt_->add_option("--key-file", key_.file, text::kSelfDecryptKeyFile);
  decrypt_->add_option("--key-env", key_.env, text::kSelfDecryptKeyEnv)->excludes(file);
  decrypt_->add_flag("--legacy", legacy_, text::kSelfDecryptLegacy);
  add_answers(decrypt_);

  separate_ = app.add_subcommand("separate", any_file_ ? text::kSeparateAny : text::kSeparateOwn);
  add_file(separate_);
  separate_->add_option("-o,--output", target_, text::kSeparateOutput);
  add_answers(separate_);
}

bool PayloadCommand::Parsed() const { return info_->parsed() || decrypt_->parsed() || separate_->parsed(); }

int PayloadCommand::Run() {
  try {
    if (info_->parsed()) return Info();
    if (decrypt_->parsed()) return SelfDecrypt();
    if (separate_->parsed()) return Separate();
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return kExitFailed;
  }
  return kExitUsage;
}

bool PayloadCommand::OwnFileUsable() const {
  if (!file_.empty()) return true;
  HeaderText reader;
  reader.quiet = true;
  if (selfextract::ReadRunningSelfDecryptInfo(reader, reader).CommandsEnabled) return true;
  std::cerr << (any_file_ ? text::OwnFileNeeded(self_) : text::ProgramPartOnly(self_)) << '\n';
  return false;
}

int PayloadCommand::Info() const {
  if (!OwnFileUsable()) return kExitUsage;
  const std::string path = file_.empty() ? std::string(selfextract::kRunningProgramFile) : file_;
  const std::string shown = file_.empty() ? self_ : file_;
  if (!file_.empty() && !FileExists(file_)) {
    std::cerr << selfextract::text::FileMissing(file_) << '\n';
    return kExitFailed;
  }
  int64_t image_size = 0;
  try {
    image_size = selfextract::ImageSizeOf(path);
  } catch (const IoError&) {
    std::cerr << text::NoProgramImage(shown) << '\n';
    return kExitFailed;
  }
  HeaderText reader;
  const selfextract::SelfDecryptInfo info = selfextract::ReadSelfDecryptInfo(reader, reader, path, image_size);
  if (!info.CommandsEnabled) {
    std::cerr << selfextract::text::NotSelfDecrypting(shown) << '\n';
    return kExitFailed;
  }
  const int64_t offset = selfextract::PayloadOffset(image_size);
  InputFile in(path);
  const bool keyed = selfextract::CarriesKeyedMarker(in, offset, info.PayloadSize);
  std::cout << reader.status << '\n'
            << text::ImageAndOffset(image_size, offset) << '\n'
            << (keyed ? text::kPayloadKeyed : text::kPayloadNotKeyed) << '\n';
  return kExitDone;
}

int PayloadCommand::SelfDecrypt() const {
  if (!OwnFileUsable()) return kExitUsage;
  const auto key = ReadKey(key_, text::kSelfDecryptKeyPrompt, false);
  if (!key || key->empty()) {
    std::cerr << text::kSelfDecryptNoKey << '\n';
    return kExitFailed;
  }
  if (CharacterCount(*key) > kMaxKeyCharacters) {
    std::cerr << text::KeyTooLong(kMaxKeyCharacters) << '\n';
    return kExitFailed;
  }
  commands::PayloadRequest request;
  request.file = file_;
  request.output = OutputRuleOf(target_);
  request.key = SecretText(*key);
  request.allow_old_ciphers = legacy_;
  commands::SelfDecryptCommand command;
  return RunOnTerminal(command, request, AnswerOf(yes_, no_), text::kSelfDecryptCancelled);
}

int PayloadCommand::Separate() const {
  if (!OwnFileUsable()) return kExitUsage;
  commands::PayloadRequest request;
  request.file = file_;
  request.output = OutputRuleOf(target_);
  commands::SeparateCommand command;
  return RunOnTerminal(command, request, AnswerOf(yes_, no_), selfextract::text::kSeparateCancelled);
}

std::optional<int> DescribeOwnPayload(const std::string& invoked_as) {
  HeaderText reader;
  const selfextract::SelfDecryptInfo info = selfextract::ReadRunningSelfDecryptInfo(reader, reader);
  if (!info.CommandsEnabled) return std::nullopt;
  std::cout << reader.status << '\n' << text::OwnPayloadUsage(invoked_as, selfextract::kProgramPartName);
  return kExitDone;
}

}  // namespace vesk::cli
