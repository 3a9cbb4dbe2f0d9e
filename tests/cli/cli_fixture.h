// vesk-cli run as a separate process in fresh folders: one for the files,
// one as the temporary folder the program sees.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk::testing {

class CliTest : public ::testing::Test {
 protected:
  ProcessResult Cli(std::vector<std::string> args, std::map<std::string, std::string> env = {},
                    ProcessOptions options = {}) {
    args.insert(args.begin(), VESK_CLI_PATH);
    env.emplace("TMPDIR", tmp_.path());
    env.emplace("VESK_KEY", "口令 secret");
    for (const auto& [name, value] : env) options.env[name] = value;
    return RunProcess(args, options);
  }
  static std::size_t FilesIn(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
  }

  TempDir dir_;
  TempDir tmp_;  // the temporary folder the program sees
};

}  // namespace vesk::testing
