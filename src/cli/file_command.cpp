#include "cli/file_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>

#include "cli/age_files_command.h"
#include "cli/exit_status.h"
#include "cli/keyed_files_command.h"
#include "cli/streams.h"
#include "cli/texts.h"

namespace vesk::cli {
namespace {

void AddKey(CLI::App* app, KeySource& key, const std::string& prefix, const std::string& what) {
  auto* file = app->add_option("--" + prefix + "key-file", key.file, what + text::kKeyFileHelpTail);
  app->add_option("--" + prefix + "key-env", key.env, what + text::kKeyEnvHelpTail)->excludes(file);
}

std::string_view NameOf(Command command) {
  for (const auto& [name, c] : FileCommand::Names()) {
    if (c == command) return name;
  }
  return {};
}

}  // namespace

const std::vector<std::pair<std::string_view, Command>>& FileCommand::Names() {
  static const std::vector<std::pair<std::string_view, Command>> kNames = {
      {"encrypt", Command::kEncrypt},
      {"compress", Command::kCompress},
      {"decrypt", Command::kDecrypt},
      {"decompress", Command::kDecompress},
      {"unpack", Command::kUnpack},
  };
  return kNames;
}

FileCommand::FileCommand(CLI::App& app, Command command, const char* description) {
  o_.command = command;
  sub_ = app.add_subcommand(std::string(NameOf(command)), description);
  sub_->add_option("SOURCE", o_.sources, text::kFileSourceHelp)->required();
  sub_->add_option_function<std::string>("-o,--output", [this](const std::string& t) { o_.target = t; },
                                         text::kFileOutputHelp);
}

void FileCommand::AddAnswers() {
  auto* yes = sub_->add_flag("--yes", yes_, text::kYesHelp);
  sub_->add_flag("--no", no_, text::kNoHelp)->excludes(yes);
}

bool FileCommand::Parsed() const { return sub_->parsed(); }

EncryptCommand::EncryptCommand(CLI::App& app) : FileCommand(app, Command::kEncrypt, text::kEncryptHelp) {
  jmz_only_.push_back(sub_->add_option("--level", o_.level, text::kEncryptLevelHelp)->check(CLI::Range(0, 3)));
  jmz_only_.push_back(
      sub_->add_option("--algorithm", keyed_algorithm_, text::kAlgorithmHelp)->check(CLI::IsMember({33, 18, 11})));
  AddKey(sub_, o_.key, "", text::kEncryptKeyHelp);
  AddKey(sub_, o_.decrypt_key, "decrypt-", text::kEncryptDecryptKeyHelp);
  jmz_only_.push_back(sub_->get_option("--decrypt-key-file"));
  jmz_only_.push_back(sub_->get_option("--decrypt-key-env"));
  AddAgeEncryptOptions(sub_, o_.age);
  AddAnswers();
}

int EncryptCommand::Run() {
  o_.algorithm = keyed_algorithm_ == 18 ? Algorithm::kOld : keyed_algorithm_ == 11 ? Algorithm::kOlder : Algorithm::kCurrent;
  const bool jmz_given = std::any_of(jmz_only_.begin(), jmz_only_.end(), [](CLI::Option* opt) { return opt->count() > 0; });
  if (const auto error = AgeEncryptUsageError(o_.age, o_.key, jmz_given)) {
    std::cerr << *error << '\n';
    return kExitUsage;
  }
  return RunRoads();
}

DecryptCommand::DecryptCommand(CLI::App& app) : FileCommand(app, Command::kDecrypt, text::kDecryptHelp) {
  AddKey(sub_, o_.key, "", text::kDecryptKeyHelp);
  sub_->add_flag("--legacy", o_.legacy, text::kLegacyHelp);
  AddAgeDecryptOptions(sub_, o_.age);
  sub_->add_flag("--unpack", o_.unpack, text::kDecryptUnpackHelp);
  AddAnswers();
}

int DecryptCommand::Run() { return RunRoads(); }

int FileCommand::RunRoads() {
  if (const auto error = KeyFilesUsageError(o_.age)) {
    std::cerr << *error << '\n';
    return kExitUsage;
  }
  o_.answer = yes_ ? Answer::kYes : no_ ? Answer::kNo : Answer::kAsk;
  if (UsesStreams(o_)) {
    // Only the age road streams; binary ciphertext never lands on a terminal unasked.
    StreamRules rules;
    rules.can_stream = TakesAgeRoad(o_);
    rules.binary_output = o_.command == Command::kEncrypt && !o_.age.armor;
    if (const auto status = PrepareStreams(o_, rules)) return *status;
  }
  o_.output_folder = OutputFolderOf(o_);
  if (o_.sources.size() > 1 && o_.target && !o_.output_folder) {
    std::cerr << text::kOutputNotFolder << *o_.target << '\n';
    return kExitUsage;
  }
  if (TakesAgeRoad(o_)) return RunAgeFiles(o_);
  if (TakesKeyedRoad(o_)) return RunKeyedFiles(o_);
  return RunMixedDecrypt(o_);
}

}  // namespace vesk::cli
