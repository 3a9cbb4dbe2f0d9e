#include "compress/decompress_file.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "compress/texts.h"
#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "samples.h"

namespace vesk::compress {
namespace {

using vesk::testing::Prose;
using vesk::testing::ReadFile;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

class Recorder final : public Progress, public Prompter {
 public:
  void ReportMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowStatus(const std::string& text) override { status = text; }
  std::vector<std::string> messages;
  std::string status;
  std::function<void()> on_bar;

 protected:
  void OnBarRange(int64_t) override {}
  void OnBarPosition(int64_t) override {
    if (on_bar) on_bar();
  }
};

std::string Compressed(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                      data.size(), 6),
            Z_OK);
  out.resize(size);
  return out;
}

// Every ending of the run: what it returns and shows, what is left at the
// target, and that the run's own source is gone in every case.
TEST(DecompressFile, EachEndingLeavesTheTargetWholeOrAsItWas) {
  const std::string plain = Prose(3 << 20, 5);
  const std::string stream = Compressed(plain);
  struct Case {
    const char* what;
    std::string source;
    bool target_there;
    bool replace;
    bool stop;
    Outcome outcome;
    bool message;
    std::string target_after;  // "old": as before
  } cases[] = {
      {"complete", stream, false, false, false, Outcome::kDone, false, plain},
      {"replacing", stream, true, true, false, Outcome::kDone, false, plain},
      {"not a stream", plain.substr(0, 5000), true, true, false, Outcome::kFailed, true, "old"},
      {"cut short", stream.substr(0, stream.size() - 3), false, false, false, Outcome::kFailed, true, ""},
      {"a file appeared at the target", stream, true, false, false, Outcome::kFailed, true, "old"},
      {"stopped", stream, true, true, true, Outcome::kCancelled, false, "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir.File("copy.zak"), c.source);
    if (c.target_there) WriteFile(dir.File("out.txt"), "old");
    Recorder recorder;
    StopSource stop;
    if (c.stop) recorder.on_bar = [&stop] { stop.RequestStop(); };
    RunContext context{recorder, recorder, stop.Token()};
    const RunResult result =
        DecompressFile({dir.File("copy.zak"), dir.File("out.txt"), 0600, c.replace, true}, context);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(recorder.messages.size(), c.message ? 1u : 0u);
    if (c.message) {
      EXPECT_EQ(recorder.messages[0].rfind(text::kDecompressing.c_str(), 0), 0u);
    }
    if (c.outcome == Outcome::kDone) {
      EXPECT_EQ(result.written, std::vector<std::string>{dir.File("out.txt")});
      EXPECT_EQ(recorder.status, text::kDecryptedDone);
    }
    if (c.target_after.empty()) {
      EXPECT_FALSE(PathExists(dir.File("out.txt")));
    } else {
      EXPECT_EQ(ReadFile(dir.File("out.txt")), c.target_after == "old" ? "old" : plain);
    }
    // Nothing else: no staging file, and the source was the run's own.
    const auto left = std::distance(std::filesystem::directory_iterator(dir.path()), {});
    EXPECT_EQ(left, PathExists(dir.File("out.txt")) ? 1 : 0);
  }
}

}  // namespace
}  // namespace vesk::compress
