// vesk-cli's keyless-encrypt and keyless-decrypt: SOURCE..., -o, the key,
// --yes/--no, and --algorithm (encrypt) or --unpack (decrypt). The request is
// built from the arguments alone and run by the key-less command with a
// terminal; a signal stops the file at work and the files after it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/key_text.h"

namespace CLI {
class App;
}  // namespace CLI

namespace vesk::cli {

class KeylessCommand : public CliCommand {
 public:
  // Adds keyless-encrypt (`encrypt`) or keyless-decrypt to `app`.
  KeylessCommand(CLI::App& app, bool encrypt);

  bool Parsed() const override;
  int Run() override;

 private:
  bool encrypt_;
  CLI::App* sub_ = nullptr;
  std::vector<std::string> sources_;
  std::optional<std::string> output_;
  KeySource key_;
  int algorithm_ = 30;
  bool unpack_ = false;
  bool yes_ = false, no_ = false;
};

}  // namespace vesk::cli
