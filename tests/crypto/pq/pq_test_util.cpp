#include "pq_test_util.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/process.h"

namespace vesk::pq::testing {

std::string Hex(const uint8_t* data, std::size_t size) {
  static const char* kDigits = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::vector<uint8_t> Unhex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string DataFile(const std::string& name) { return std::string(VESK_PQ_TEST_DIR) + "/" + name; }

std::vector<std::map<std::string, std::string>> ReadVectors(const std::string& name) {
  std::ifstream in(DataFile(name));
  std::vector<std::map<std::string, std::string>> blocks(1);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '#') continue;
    if (line.empty()) {
      if (!blocks.back().empty()) blocks.emplace_back();
      continue;
    }
    const std::size_t space = line.find(' ');
    blocks.back()[line.substr(0, space)] = line.substr(space + 1);
  }
  if (blocks.back().empty()) blocks.pop_back();
  return blocks;
}

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

bool HavePythonMlKem() {
  static const bool have = [] {
    const std::string python = FindProgram("python3");
    return !python.empty() &&
           vesk::testing::RunProcess({python, "-c", "from cryptography.hazmat.primitives.asymmetric import mlkem"})
                   .status == 0;
  }();
  return have;
}

}  // namespace vesk::pq::testing
