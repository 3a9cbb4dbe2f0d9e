// vesk-cli's encrypt of files into keyed containers and decrypt of them, run as the keyed
// command (commands/keyed_command.h) with a terminal: the request is built
// from the arguments alone, every source is planned before the first run
// (the encryption decides its targets then, the decryption's engine asks
// once it knows the stored extension), and the exit status comes from the
// results.
#pragma once

#include "cli/commands.h"

namespace vesk::cli {

// Whether the command line goes the keyed commands' way: an encryption
// into ".jmz" containers (folders as tar files), or a
// decryption of sources none of which is an age file.
bool TakesKeyedRoad(const Options& options);

// Runs it to its end: the exit status.
int RunKeyedFiles(const Options& options);

// A decryption of age files and keyed containers (or files that are not
// there) together: each source runs as its own command, in the order given.
int RunMixedDecrypt(const Options& options);

}  // namespace vesk::cli
