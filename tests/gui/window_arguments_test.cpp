// The window program as a desktop starts it: a file named on its command
// line, in whatever bytes the file system holds its name.
#include <string>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ProcessOptions;
using testing::ProcessResult;
using testing::RunProcess;
using testing::TempDir;
using testing::WriteFile;

TEST(WindowArguments, AFileNameThatIsNotUtf8IsTakenByteForByte) {
  TempDir dir;
  // "bericht-äöü.txt" in Latin-1: three bytes that are no UTF-8.
  const std::string file = dir.File("bericht-\xE4\xF6\xFC.txt");
  WriteFile(file, "x");
  ProcessOptions options;
  options.env = {{"QT_QPA_PLATFORM", "offscreen"}, {"VESK_ECHO_STATUS", "1"}, {"XDG_CONFIG_HOME", dir.path()},
                 {"XDG_RUNTIME_DIR", dir.path()}};
  options.stop_when = [](const std::string& err) { return err.find("bericht-") != std::string::npos; };
  options.stop_after = std::chrono::milliseconds(15000);
  // Qt's own options come first and are no part of the file name.
  const ProcessResult window = RunProcess({VESK_WINDOW_PATH, "-platform", "offscreen", file}, options);
  // The status line names the file only when it was found under that name.
  EXPECT_NE(window.err.find(dir.path() + "/bericht-"), std::string::npos) << window.err;
}

}  // namespace
}  // namespace vesk
