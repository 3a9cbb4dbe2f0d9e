// The subcommands of the command-line front end. Each one drives the window
// logic exactly as a user at the window would: the options answer its
// dialogs and questions.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_port.h"
#include "cli/key_text.h"

namespace vesk::cli {

enum class Command { kEncrypt, kCompress, kDecrypt, kDecompress, kKeylessEncrypt, kKeylessDecrypt };

struct Options {
  Command command = Command::kEncrypt;
  std::string source;
  std::optional<std::string> target;
  int level = 2;
  Algorithm algorithm = Algorithm::kCurrent;
  bool legacy = false;
  Answer answer = Answer::kAsk;
  KeySource key;
  KeySource decrypt_key;
};

// Runs one command to its end. Exit status: 0 when it completed, 1 on a
// refusal, cancel or failure.
int RunCommand(const Options& options);

}  // namespace vesk::cli
