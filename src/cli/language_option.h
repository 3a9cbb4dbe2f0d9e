// The language of a command-line program, chosen before its parser is built
// (the parser keeps the help texts): "--lang zh|en" among the options before
// the subcommand, else the desktop's language (platform/language.h).
#pragma once

#include <CLI/CLI.hpp>

#include "platform/language.h"

namespace vesk::cli {

// The language asked for, with every valid "--lang X" / "--lang=X" before
// the subcommand taken out of the arguments; an invalid one stays for the
// parser to refuse.
Language TakeLanguageOption(int& argc, char** argv);

// Lists "--lang" in the help and refuses a value other than zh and en.
void AddLanguageOption(CLI::App& app);

}  // namespace vesk::cli
