#include "cli/zak_command.h"

#include <CLI/CLI.hpp>

#include <iostream>

#include "cli/batch_on_terminal.h"
#include "cli/exit_status.h"
#include "cli/output_name.h"
#include "cli/signals.h"
#include "cli/streams.h"
#include "cli/terminal.h"
#include "cli/texts.h"
#include "commands/batch_runner.h"
#include "commands/zak_command.h"
#include "platform/file_io.h"

namespace vesk::cli {
namespace {

const char* NameOf(Command command) {
  switch (command) {
    case Command::kCompress: return "compress";
    case Command::kDecompress: return "decompress";
    default: return "unpack";
  }
}

const char* HelpOf(Command command) {
  switch (command) {
    case Command::kCompress: return text::kCompressHelp;
    case Command::kDecompress: return text::kDecompressHelp;
    default: return text::kUnpackHelp;
  }
}

// The run of one request on the terminal (batch_on_terminal.h).
int RunZak(commands::Command<commands::FileRequest>& command, const commands::FileRequest& request,
       Terminal& terminal) {
  BatchOnTerminal batch(terminal);
  const commands::Plan plan = command.MakePlan(request);
  return batch.Run(
      plan, [&](const commands::PlannedItem& item, RunContext& context) { return command.Run(request, item, context); },
      [&](const commands::PlannedItem& item) {
        const commands::Refusal& refusal = *item.refusal;
        terminal.ShowStatus(refusal.detail);
        // A keyed container that may not be compressed did not come through.
        const bool named = refusal.code == Reason::kNoSource || refusal.code == Reason::kSameFile ||
                           refusal.code == Reason::kTargetKept;
        if (request.sources.size() > 1 && !named) std::cerr << text::NotCompleted(item.source) << '\n';
      });
}

}  // namespace

ZakCommand::ZakCommand(CLI::App& app, Command command) {
  o_.command = command;
  sub_ = app.add_subcommand(NameOf(command), HelpOf(command));
  sub_->add_option("SOURCE", o_.sources, text::kFileSourceHelp)->required();
  sub_->add_option_function<std::string>("-o,--output", [this](const std::string& t) { o_.target = t; },
                                         text::kFileOutputHelp);
  if (command == Command::kCompress) {
    sub_->add_option("--level", o_.level, text::kCompressLevelHelp)->check(CLI::Range(1, 3));
    const std::string what = text::kCompressDecryptKeyHelp;
    auto* file = sub_->add_option("--decrypt-key-file", o_.decrypt_key.file, what + text::kKeyFileHelpTail);
    sub_->add_option("--decrypt-key-env", o_.decrypt_key.env, what + text::kKeyEnvHelpTail)->excludes(file);
  }
  auto* yes = sub_->add_flag("--yes", yes_, text::kYesHelp);
  sub_->add_flag("--no", no_, text::kNoHelp)->excludes(yes);
}

bool ZakCommand::Parsed() const { return sub_->parsed(); }

int ZakCommand::Run() {
  o_.answer = yes_ ? Answer::kYes : no_ ? Answer::kNo : Answer::kAsk;
  if (UsesStreams(o_)) {
    // Compression streams (a keyed container compressed again does not);
    // unpacking makes a folder.
    StreamRules rules;
    rules.can_stream = o_.command != Command::kUnpack && o_.decrypt_key.file.empty() && o_.decrypt_key.env.empty();
    rules.binary_output = o_.command == Command::kCompress;
    if (const auto status = PrepareStreams(o_, rules)) return *status;
  }
  o_.output_folder = OutputFolderOf(o_);
  if (o_.sources.size() > 1 && o_.target && !o_.output_folder) {
    std::cerr << text::kOutputNotFolder << *o_.target << '\n';
    return kExitUsage;
  }
  commands::FileRequest request;
  if (o_.command == Command::kCompress && (!o_.decrypt_key.file.empty() || !o_.decrypt_key.env.empty())) {
    // Compressing a keyed container checks it with its decryption key.
    try {
      std::string key = ReadKey(o_.decrypt_key, "", false).value_or("");
      request.keys.decrypt_key = SecretText(key);
      key.assign(key.size(), '\0');
    } catch (const std::exception& e) {
      std::cerr << e.what() << '\n';
      return kExitFailed;
    }
    if (CharacterCount(request.keys.decrypt_key.str()) > kMaxKeyCharacters) {
      std::cerr << text::KeyTooLong(kMaxKeyCharacters) << '\n';
      return kExitFailed;
    }
  }
  request.format = commands::Format::kCompressed;
  request.sources = o_.sources;
  request.level = o_.level;
  if (o_.output_folder) {
    request.output = commands::OutputRule::Folder(*o_.output_folder);
  } else if (o_.target) {
    request.output = commands::OutputRule::Exact(*o_.target);
  }
  // The replace questions are asked, and --yes/--no answer them on the
  // terminal, each with its answer shown.
  request.overwrite = commands::OverwritePolicy::kAsk;
  Terminal terminal(TerminalOptions::ForThisProcess(o_.answer));
  switch (o_.command) {
    case Command::kCompress: {
      commands::CompressCommand command(terminal, &terminal);
      return RunZak(command, request, terminal);
    }
    case Command::kDecompress: {
      commands::DecompressCommand command(terminal);
      return RunZak(command, request, terminal);
    }
    default: {
      commands::UnpackCommand command;
      return RunZak(command, request, terminal);
    }
  }
}

}  // namespace vesk::cli
