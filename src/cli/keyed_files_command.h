// vesk-cli's encrypt of files into keyed containers, run as the keyed
// command (commands/keyed_command.h) with a terminal: the request is built
// from the arguments alone, every target is planned and decided before the
// first run, and the exit status comes from the results.
#pragma once

#include "cli/commands.h"

namespace vesk::cli {

// Whether the command line goes the keyed command's way: an encryption
// into ".jmz" containers of sources none of which is a folder.
bool TakesKeyedRoad(const Options& options);

// Runs it to its end: the exit status.
int RunKeyedFiles(const Options& options);

}  // namespace vesk::cli
