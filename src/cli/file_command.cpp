#include "cli/file_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>

#include "cli/age_files_command.h"
#include "cli/exit_status.h"
#include "cli/keyed_files_command.h"

namespace vesk::cli {
namespace {

void AddKey(CLI::App* app, KeySource& key, const std::string& prefix, const std::string& what) {
  auto* file = app->add_option("--" + prefix + "key-file", key.file, what + "：从文件读取 (UTF-8)");
  app->add_option("--" + prefix + "key-env", key.env, what + "：从环境变量读取")->excludes(file);
}

const char* Description(Command command) {
  switch (command) {
    case Command::kEncrypt: return "用密钥加密文件为 .jmz (可先压缩)，或者 --format age 强加密为 .age";
    case Command::kDecrypt: return "解密 .jmz 文件或 age 文件 (没有加密标识的文件按 .zak 解压缩)";
    case Command::kCompress:
    case Command::kDecompress:
    case Command::kUnpack: break;  // ZakCommand's
  }
  return "";
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

FileCommand::FileCommand(CLI::App& app, Command command) {
  o_.command = command;
  sub_ = app.add_subcommand(std::string(NameOf(command)), Description(command));
  sub_->add_option("SOURCE", o_.sources, "要处理的文件 (可以是多个)")->required();
  sub_->add_option_function<std::string>("-o,--output", [this](const std::string& t) { o_.target = t; },
                                         "输出文件 (省略时按默认规则命名)，或者已有的文件夹");
  switch (command) {
    case Command::kEncrypt:
      jmz_only_.push_back(sub_->add_option("--level", o_.level, "先压缩的压缩率: 0 不压缩, 1 快速, 2 正常 (默认), 3 最大")
                              ->check(CLI::Range(0, 3)));
      jmz_only_.push_back(sub_->add_option("--algorithm", keyed_algorithm_, "加密算法版本: 33 (默认), 18 旧, 11 更旧")
                              ->check(CLI::IsMember({33, 18, 11})));
      AddKey(sub_, o_.key, "", "加密的密钥 (age: 密码)");
      AddKey(sub_, o_.decrypt_key, "decrypt-", "解密的密钥 (再次加密已加密的文件时用)");
      jmz_only_.push_back(sub_->get_option("--decrypt-key-file"));
      jmz_only_.push_back(sub_->get_option("--decrypt-key-env"));
      AddAgeEncryptOptions(sub_, o_.age);
      break;
    case Command::kDecrypt:
      AddKey(sub_, o_.key, "", "解密的密钥 (age: 密码)");
      sub_->add_flag("--legacy", o_.legacy, "接受最旧的加密算法");
      AddAgeDecryptOptions(sub_, o_.age);
      sub_->add_flag("--unpack", o_.unpack, "解密得到的 .tar 文件解开为文件夹 (已有的文件夹不会被合并)");
      break;
    case Command::kCompress:
    case Command::kDecompress:
    case Command::kUnpack: break;  // ZakCommand's
  }
  auto* yes = sub_->add_flag("--yes", yes_, "所有问题回答“是” (例如替换已有文件)");
  sub_->add_flag("--no", no_, "所有问题回答“否”")->excludes(yes);
}

bool FileCommand::Parsed() const { return sub_->parsed(); }

int FileCommand::Run() {
  if (o_.command == Command::kEncrypt) {
    o_.algorithm = keyed_algorithm_ == 18 ? Algorithm::kOld : keyed_algorithm_ == 11 ? Algorithm::kOlder : Algorithm::kCurrent;
    const bool jmz_given = std::any_of(jmz_only_.begin(), jmz_only_.end(), [](CLI::Option* opt) { return opt->count() > 0; });
    if (const auto error = AgeEncryptUsageError(o_.age, o_.key, jmz_given)) {
      std::cerr << *error << '\n';
      return kExitUsage;
    }
  }
  o_.answer = yes_ ? Answer::kYes : no_ ? Answer::kNo : Answer::kAsk;
  o_.output_folder = OutputFolderOf(o_);
  if (o_.sources.size() > 1 && o_.target && !o_.output_folder) {
    std::cerr << "多个文件时 -o 只能是已有的文件夹: " << *o_.target << '\n';
    return kExitUsage;
  }
  if (TakesAgeRoad(o_)) return RunAgeFiles(o_);
  if (TakesKeyedRoad(o_)) return RunKeyedFiles(o_);
  return RunMixedDecrypt(o_);
}

}  // namespace vesk::cli
