// The options of vesk-cli's file subcommands (encrypt, decrypt, compress,
// decompress, unpack) as parsed from the command line; each subcommand
// builds its command's request from them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/age_command.h"
#include "cli/terminal.h"
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

}  // namespace vesk::cli
