#include "support/desktop_entry.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vesk::testing {

KeyFile ReadKeyFile(const std::string& text) {
  KeyFile groups;
  std::istringstream in(text);
  std::string line, group;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      group = line.substr(1, line.find(']') - 1);
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value;
    for (std::size_t i = eq + 1; i < line.size(); ++i) {
      if (line[i] != '\\' || i + 1 == line.size()) {
        value += line[i];
        continue;
      }
      const char c = line[++i];
      value += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    groups[group][line.substr(0, eq)] = value;
  }
  return groups;
}

std::vector<std::string> ExecArguments(const std::string& exec, const std::string& file) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < exec.size()) {
    if (exec[i] == ' ') {
      ++i;
      continue;
    }
    std::string arg;
    if (exec[i] == '"') {
      for (++i; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        arg += exec[i];
      }
      if (i == exec.size()) throw std::runtime_error("unterminated quote in " + exec);
      ++i;
    } else {
      while (i < exec.size() && exec[i] != ' ') arg += exec[i++];
    }
    if (arg == "%f" || arg == "%F") {
      args.push_back(file);
      continue;
    }
    std::string expanded;
    for (std::size_t k = 0; k < arg.size(); ++k) {
      expanded += arg[k];
      if (arg[k] == '%' && k + 1 < arg.size() && arg[k + 1] == '%') ++k;
    }
    args.push_back(expanded);
  }
  return args;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace vesk::testing
