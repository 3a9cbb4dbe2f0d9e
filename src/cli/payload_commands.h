// The commands that read a self-decrypting file: sfx-info, self-decrypt and
// separate. vesk-cli offers them on any such file, and the small program part
// of a self-decrypting file (vesk-sfx) on itself. They drive the selfextract
// and keyed decryption engines directly, without the window logic, so that a
// program built on them needs nothing beyond the C and C++ runtimes and zlib.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "cli/key_text.h"

namespace vesk::cli {

class PayloadCommands {
 public:
  // Adds the three subcommands to `app`; the object must outlive the parse.
  // `self` names the running program in messages. With `any_file` each
  // takes an optional FILE (without it: the running program); else they act
  // on the running program only.
  PayloadCommands(CLI::App& app, std::string self, bool any_file);
  PayloadCommands(const PayloadCommands&) = delete;
  PayloadCommands& operator=(const PayloadCommands&) = delete;

  // True when the parsed command line named one of them.
  bool Parsed() const;
  // Runs it: 0 when it completed, 3 when it completed after warnings about
  // a damaged file, 1 on a refusal, cancel or failure, 2 on a usage error.
  int Run() const;

 private:
  int Info() const;
  int SelfDecrypt() const;
  int Separate() const;
  // Without a FILE the commands act on the running program, which must then
  // carry a payload; false (a usage error, said) when it does not.
  bool OwnFileUsable() const;

  std::string self_;
  bool any_file_ = false;
  CLI::App* info_ = nullptr;
  CLI::App* decrypt_ = nullptr;
  CLI::App* separate_ = nullptr;
  std::string file_;
  std::optional<std::string> target_;
  bool yes_ = false;
  bool no_ = false;
  bool legacy_ = false;
  KeySource key_;
};

// When the running program carries a payload: prints what it carries and how
// to self-decrypt or separate it (`invoked_as` is the name it was started
// by) and returns 0. nullopt when it is a plain program.
std::optional<int> DescribeOwnPayload(const std::string& invoked_as);

}  // namespace vesk::cli
