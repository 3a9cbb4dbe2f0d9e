// Standard input and output on vesk-cli's file subcommands: "-" as the one
// source reads standard input, "-o -" (or "-" as the source without -o)
// writes standard output, and -o naming a FIFO or a device writes into it
// (platform/stream_target.h). Formats that cannot be streamed are refused
// before anything is read or written.
#pragma once

#include <optional>
#include <string>

#include "cli/commands.h"

namespace vesk::cli {

struct StreamRules {
  bool can_stream = false;     // the command's format streams
  bool binary_output = false;  // what it writes is binary (refused on a terminal unless -o is given)
};

// Whether the command line reads standard input or writes a stream.
bool UsesStreams(const Options& options);

// Checks the use of "-" and of stream targets, and names standard output
// as the target of "-" without -o. Nullopt to go on; else the exit status
// (the reason printed). Standard input that is the data makes questions
// and passphrase prompts go to the terminal itself (/dev/tty).
std::optional<int> PrepareStreams(Options& options, const StreamRules& rules);

// Whether a completed output's path is printed on standard output: not for
// a stream, which may be standard output itself.
bool PrintsPath(const std::string& target);

}  // namespace vesk::cli
