// Reading the desktop's own file formats the way the desktop does, so that
// the tests can run an entry's command as a file manager would.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vesk::testing {

// A key file (desktop entry, Nemo action): group -> key -> value, with the
// string escapes (\s \n \t \r \\) undone.
using KeyFile = std::map<std::string, std::map<std::string, std::string>>;
KeyFile ReadKeyFile(const std::string& text);

// The arguments of an Exec value as a launcher forms them: split at blanks,
// double-quoted arguments with \" \` \$ \\ undone, "%%" as "%", and %f/%F
// replaced by `file`.
std::vector<std::string> ExecArguments(const std::string& exec, const std::string& file);

// The lines of a small text file; none when it is not there.
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace vesk::testing
