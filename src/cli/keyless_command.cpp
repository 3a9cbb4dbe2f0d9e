#include "cli/keyless_command.h"

#include <CLI/CLI.hpp>

#include <iostream>

#include "cli/batch_on_terminal.h"
#include "cli/exit_status.h"
#include "cli/output_name.h"
#include "cli/signals.h"
#include "cli/terminal.h"
#include "cli/streams.h"
#include "cli/texts.h"
#include "commands/batch_runner.h"
#include "commands/keyless_command.h"
#include "platform/gbk.h"

namespace vesk::cli {
namespace {

// The run of one request on the terminal (batch_on_terminal.h).
int RunKeyless(commands::Command<commands::FileRequest>& command, const commands::FileRequest& request,
       Terminal& terminal) {
  BatchOnTerminal batch(terminal);
  const commands::Plan plan = command.MakePlan(request);
  return batch.Run(plan, [&](const commands::PlannedItem& item, RunContext& context) {
    return command.Run(request, item, context);
  });
}

}  // namespace

KeylessCommand::KeylessCommand(CLI::App& app, bool encrypt) : encrypt_(encrypt) {
  sub_ = app.add_subcommand(encrypt ? "keyless-encrypt" : "keyless-decrypt",
                            encrypt ? text::kKeylessEncryptHelp : text::kKeylessDecryptHelp);
  sub_->add_option("SOURCE", sources_, text::kKeylessSourceHelp)->required();
  sub_->add_option_function<std::string>("-o,--output", [this](const std::string& t) { output_ = t; },
                                         text::kKeylessOutputHelp);
  if (encrypt) {
    sub_->add_option("--algorithm", algorithm_, text::kKeylessAlgorithmHelp)->check(CLI::IsMember({30, 20, 0}));
  }
  const std::string what = encrypt ? text::kKeylessEncryptKeyHelp : text::kKeylessDecryptKeyHelp;
  auto* file = sub_->add_option("--key-file", key_.file, what + text::kKeylessKeyFileHelp);
  sub_->add_option("--key-env", key_.env, what + text::kKeylessKeyEnvHelp)->excludes(file);
  if (!encrypt) sub_->add_flag("--unpack", unpack_, text::kKeylessUnpackHelp);
  auto* yes = sub_->add_flag("--yes", yes_, text::kKeylessYesHelp);
  sub_->add_flag("--no", no_, text::kKeylessNoHelp)->excludes(yes);
}

bool KeylessCommand::Parsed() const { return sub_->parsed(); }

int KeylessCommand::Run() {
  {
    // Key-less containers do not stream: "-" and -o onto a FIFO or a device are refused.
    Options streams;
    streams.sources = sources_;
    streams.target = output_;
    if (UsesStreams(streams)) return PrepareStreams(streams, StreamRules{}).value_or(kExitFailed);
  }
  commands::FileRequest request;
  request.format = commands::Format::kKeyless;
  request.sources = sources_;
  if (output_) {
    if (const auto folder = ExistingFolderOf(*output_)) {
      request.output = commands::OutputRule::Folder(*folder);
    } else if (sources_.size() > 1) {
      std::cerr << text::kKeylessOutputNotFolder << *output_ << '\n';
      return kExitUsage;
    } else {
      request.output = commands::OutputRule::Exact(*output_);
    }
  }
  request.cipher = algorithm_ == 20 ? commands::Cipher::kOld
                   : algorithm_ == 0 ? commands::Cipher::kOlder
                                     : commands::Cipher::kCurrent;
  request.unpack = unpack_;
  // The replace questions are asked, and --yes/--no answer them on the
  // terminal, each with its answer shown.
  request.overwrite = commands::OverwritePolicy::kAsk;

  try {
    auto key = ReadKey(key_, encrypt_ ? text::kKeylessEncryptPrompt : text::kKeylessDecryptPrompt, encrypt_);
    if (!key || key->empty()) {
      std::cerr << (encrypt_ ? text::kKeylessNoEncryptKey : text::kKeylessNoDecryptKey) << '\n';
      return kExitFailed;
    }
    request.keys.key = SecretText(std::move(*key));
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return kExitFailed;
  }
  if (CharacterCount(request.keys.key.str()) > kMaxKeyCharacters) {
    std::cerr << text::kKeylessKeyTooLong << kMaxKeyCharacters << text::kKeylessKeyTooLongTail << '\n';
    return kExitFailed;
  }

  Terminal terminal(TerminalOptions::ForThisProcess(yes_ ? Answer::kYes : no_ ? Answer::kNo : Answer::kAsk));
  if (!Utf8ToGbkStrict(request.keys.key.view())) {
    // Stored as anything else, such a key would be opened by other keys.
    for (std::size_t i = 0; i < sources_.size(); ++i) {
      terminal.ReportMessage(encrypt_ ? text::kKeylessEncryptKeyNotGbk : text::kKeylessDecryptKeyNotGbk);
    }
    return kExitFailed;
  }
  if (encrypt_) {
    commands::KeylessEncryptCommand command(terminal);
    return RunKeyless(command, request, terminal);
  }
  commands::KeylessDecryptCommand::Unpacking unpacking;
  // Answered by --unpack, never asked; an existing folder is never merged
  // into, so there is no other name.
  unpacking.ask = [&](const std::string& question, const std::string&) { return terminal.Answered(question, unpack_); };
  commands::KeylessDecryptCommand command(terminal, std::move(unpacking));
  return RunKeyless(command, request, terminal);
}

}  // namespace vesk::cli
