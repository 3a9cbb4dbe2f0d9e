// vesk-cli: the encrypt, compress, decrypt and decompress commands of the
// window, for scripts and machines without a display.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "cli/signals.h"
#include "cli/shred_command.h"
#include "cli/desktop_command.h"
#include "cli/sfx_command.h"

namespace {

using vesk::cli::Answer;
using vesk::cli::Command;
using vesk::cli::Options;

struct Flags {
  bool yes = false;
  bool no = false;
};

void AddTarget(CLI::App* app, Options& o) {
  app->add_option("SOURCE", o.sources, "要处理的文件 (可以是多个)")->required();
  app->add_option_function<std::string>("-o,--output", [&o](const std::string& t) { o.target = t; },
                                        "输出文件 (省略时按默认规则命名)，或者已有的文件夹");
}

void AddAnswers(CLI::App* app, Flags& f) {
  auto* yes = app->add_flag("--yes", f.yes, "所有问题回答“是” (例如替换已有文件)");
  app->add_flag("--no", f.no, "所有问题回答“否”")->excludes(yes);
}

void AddKey(CLI::App* app, vesk::cli::KeySource& key, const std::string& prefix, const std::string& what) {
  auto* file = app->add_option("--" + prefix + "key-file", key.file, what + "：从文件读取 (UTF-8)");
  app->add_option("--" + prefix + "key-env", key.env, what + "：从环境变量读取")->excludes(file);
}

bool Parsed(const CLI::App* sub) { return sub != nullptr && sub->parsed(); }

// Which subcommands a command line needs: only the one it starts with when
// that is a subcommand's name, else all of them.
class Wanted {
 public:
  explicit Wanted(std::string first) : first_(std::move(first)) {
    static constexpr std::array<std::string_view, 16> kNames = {
        "encrypt",   "compress",     "decrypt",    "decompress", "keyless-encrypt", "keyless-decrypt", "shred",
        "associate", "context-menu", "unregister", "make-sfx",   "sfx-info",        "self-decrypt",    "separate",
        "keygen",    "unpack"};
    if (std::find(kNames.begin(), kNames.end(), first_) == kNames.end()) first_.clear();
  }
  // True when `name` is wanted; a group of subcommands built together is
  // wanted when any of its names is.
  bool operator()(std::string_view name) const { return first_.empty() || first_ == name; }

 private:
  std::string first_;
};

}  // namespace

int main(int argc, char** argv) {
  // Before any thread exists: every subcommand cancels cleanly on a signal.
  vesk::cli::WatchSignals();
  if (argc == 1) {
    if (auto shown = vesk::cli::DescribeOwnPayload(argv[0])) return *shown;
  }
  CLI::App app{"Vesk 文件加密 — 命令行版本\n加密、压缩、解密、解压缩文件。", "vesk-cli"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "vesk-cli 2.8.63");
  Options o;
  Flags f;
  // Building the parser of every subcommand costs more than the whole run
  // of a small file, so a command line that starts with a subcommand's name
  // gets that subcommand only; anything else (help, --version, a mistake)
  // gets them all.
  const Wanted wanted(argc > 1 ? argv[1] : "");
  // A file command: its sources and -o, what only it takes, then --yes/--no.
  auto file_command = [&](const char* name, const char* description, auto&& own_options) -> CLI::App* {
    if (!wanted(name)) return nullptr;
    CLI::App* command = app.add_subcommand(name, description);
    AddTarget(command, o);
    own_options(command);
    AddAnswers(command, f);
    return command;
  };

  int keyed_algorithm = 33, keyless_algorithm = 30;
  std::vector<CLI::Option*> jmz_only;  // the options --format age does not take
  auto* encrypt = file_command("encrypt", "用密钥加密文件为 .jmz (可先压缩)，或者 --format age 强加密为 .age", [&](CLI::App* c) {
    jmz_only.push_back(
        c->add_option("--level", o.level, "先压缩的压缩率: 0 不压缩, 1 快速, 2 正常 (默认), 3 最大")->check(CLI::Range(0, 3)));
    jmz_only.push_back(c->add_option("--algorithm", keyed_algorithm, "加密算法版本: 33 (默认), 18 旧, 11 更旧")
                           ->check(CLI::IsMember({33, 18, 11})));
    AddKey(c, o.key, "", "加密的密钥 (age: 密码)");
    AddKey(c, o.decrypt_key, "decrypt-", "解密的密钥 (再次加密已加密的文件时用)");
    jmz_only.push_back(c->get_option("--decrypt-key-file"));
    jmz_only.push_back(c->get_option("--decrypt-key-env"));
    vesk::cli::AddAgeEncryptOptions(c, o.age);
  });
  auto* compress = file_command("compress", "只压缩文件为 .zak (不加密)", [&](CLI::App* c) {
    c->add_option("--level", o.level, "压缩率: 1 快速, 2 正常 (默认), 3 最大")->check(CLI::Range(1, 3));
    AddKey(c, o.decrypt_key, "decrypt-", "解密的密钥 (压缩已加密的文件时用)");
  });
  auto* decrypt = file_command("decrypt", "解密 .jmz 文件或 age 文件 (没有加密标识的文件按 .zak 解压缩)", [&](CLI::App* c) {
    AddKey(c, o.key, "", "解密的密钥 (age: 密码)");
    c->add_flag("--legacy", o.legacy, "接受最旧的加密算法");
    vesk::cli::AddAgeDecryptOptions(c, o.age);
    c->add_flag("--unpack", o.unpack, "解密得到的 .tar 文件解开为文件夹 (已有的文件夹不会被合并)");
  });
  auto* decompress = file_command("decompress", "解压缩 .zak 文件", [](CLI::App*) {});
  auto* keyless_encrypt =
      file_command("keyless-encrypt", "加密为不保存密钥的 .jmz 文件 (a.txt → a.txt.jmz)", [&](CLI::App* c) {
        c->add_option("--algorithm", keyless_algorithm, "加密算法版本: 30 (默认), 20 旧, 0 更旧")
            ->check(CLI::IsMember({30, 20, 0}));
        AddKey(c, o.key, "", "加密的密钥");
      });
  auto* keyless_decrypt = file_command("keyless-decrypt", "解密不保存密钥的 .jmz 文件 (a.txt.jmz → a.txt)", [&](CLI::App* c) {
    AddKey(c, o.key, "", "解密的密钥");
    c->add_flag("--unpack", o.unpack, "解密得到的 .tar 文件解开为文件夹 (已有的文件夹不会被合并)");
  });
  auto* unpack = file_command("unpack", "把 .tar 文件解开为旁边的文件夹 (X.tar → X/，已有的文件夹不会被合并)",
                              [](CLI::App*) {});

  std::optional<vesk::cli::ShredCommand> shred;
  if (wanted("shred")) shred.emplace(app);
  std::unique_ptr<vesk::cli::DesktopCommands> desktop;
  if (wanted("associate") || wanted("context-menu") || wanted("unregister")) desktop = vesk::cli::AddDesktopCommands(app);
  std::optional<vesk::cli::SfxCommands> sfx;
  if (wanted("make-sfx") || wanted("sfx-info") || wanted("self-decrypt") || wanted("separate")) sfx.emplace(app);
  std::optional<vesk::cli::KeygenCommand> keygen;
  if (wanted("keygen")) keygen.emplace(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (desktop) {
    if (const auto status = vesk::cli::RunDesktopCommand(*desktop)) return *status;
  }

  if (shred && shred->Parsed()) return shred->Run();
  if (sfx && sfx->Parsed()) return sfx->Run();
  if (keygen && keygen->Parsed()) return keygen->Run();
  if (Parsed(encrypt)) o.command = Command::kEncrypt;
  if (Parsed(compress)) o.command = Command::kCompress;
  if (Parsed(decrypt)) o.command = Command::kDecrypt;
  if (Parsed(decompress)) o.command = Command::kDecompress;
  if (Parsed(keyless_encrypt)) o.command = Command::kKeylessEncrypt;
  if (Parsed(keyless_decrypt)) o.command = Command::kKeylessDecrypt;
  if (Parsed(unpack)) o.command = Command::kUnpack;
  using vesk::cli::Algorithm;
  if (Parsed(encrypt)) {
    o.algorithm = keyed_algorithm == 18 ? Algorithm::kOld : keyed_algorithm == 11 ? Algorithm::kOlder : Algorithm::kCurrent;
  }
  if (Parsed(keyless_encrypt)) {
    o.algorithm = keyless_algorithm == 20 ? Algorithm::kOld : keyless_algorithm == 0 ? Algorithm::kOlder : Algorithm::kCurrent;
  }
  if (Parsed(encrypt)) {
    const bool jmz_given = std::any_of(jmz_only.begin(), jmz_only.end(), [](CLI::Option* opt) { return opt->count() > 0; });
    if (const auto error = vesk::cli::AgeEncryptUsageError(o.age, o.key, jmz_given)) {
      std::cerr << *error << '\n';
      return 2;
    }
  }
  o.answer = f.yes ? Answer::kYes : f.no ? Answer::kNo : Answer::kAsk;
  o.output_folder = vesk::cli::OutputFolderOf(o);
  if (o.sources.size() > 1 && o.target && !o.output_folder) {
    std::cerr << "多个文件时 -o 只能是已有的文件夹: " << *o.target << '\n';
    return 2;
  }
  return vesk::cli::RunCommand(o);
}
