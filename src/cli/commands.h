// The subcommands of the command-line front end. Each one drives the window
// logic exactly as a user at the window would: the options answer its
// dialogs and questions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/age_command.h"
#include "cli/cli_port.h"
#include "cli/key_text.h"

namespace vesk::cli {

enum class Command { kEncrypt, kCompress, kDecrypt, kDecompress, kUnpack };

struct Options {
  Command command = Command::kEncrypt;
  std::vector<std::string> sources;
  std::optional<std::string> target;  // "-o": a file for one source, or an existing folder
  // The folder of "-o", with its final "/", when it names an existing one:
  // each output goes there under the name it would have beside its source.
  std::optional<std::string> output_folder;
  int level = 2;
  Algorithm algorithm = Algorithm::kCurrent;
  bool legacy = false;
  bool unpack = false;  // a decrypted tar file is unpacked into its folder
  Answer answer = Answer::kAsk;
  KeySource key;
  KeySource decrypt_key;
  AgeOptions age;  // the strong format: --format age and its keys
};

// The folder "-o" names, when it names an existing one.
std::optional<std::string> OutputFolderOf(const Options& options);

// Runs the command on each source in turn, to its end; a failure on one
// file is reported and the others still run. Exit status: 0 when every file
// completed cleanly, 3 when all completed but one only after warnings that
// its source is damaged, 1 when any was refused, cancelled or failed.
int RunCommand(const Options& options);

}  // namespace vesk::cli
