// vesk-cli's encrypt --format age and decrypt of age files, run as the age
// commands (commands/age_command.h) with a terminal: the request is built
// from the arguments alone, every target is planned and decided before the
// first run, and the exit status comes from the results.
#pragma once

#include "cli/commands.h"

namespace vesk::cli {

// Whether the command line goes the age commands' way: an age encryption of
// files (a folder still takes the folder road), or a decryption whose every
// source is an age file.
bool TakesAgeRoad(const Options& options);

// Runs it to its end: the exit status.
int RunAgeFiles(const Options& options);

}  // namespace vesk::cli
