#include "crypto/keyed/decrypt_engine.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "container_fixture.h"
#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/scripted_random.h"
#include "crypto/keyed/stored_extension.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "support/disk.h"
#include "support/faults.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::keyed {
namespace {

using fixture::AssembleContainer;
using fixture::MakeContainer;
using fixture::MakeHeader;
using fixture::Recipe;
using vesk::testing::ControlRecord;
using vesk::testing::FolderEntries;
using vesk::testing::RandomBytes;
using vesk::testing::ReadFile;
using vesk::testing::RecordingReporter;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

constexpr int64_t kFourGiB = int64_t{1} << 32;

const char kDone[] = "解密文件 ... 已完成。";
const char kCancelled[] = "解密文件已取消。";
const char kStopped[] = "解密文件出错!已停止。";
const char kEmptyKey[] = "不能解密!解密密钥是空的,请输入已加密文件的解密密钥。解密文件已取消。";
const char kKeyMismatch[] = "解密的密钥与加密的文件里的密钥不相同,不能解密!";
const char kKeyLength[] = "加密的文件(被破坏)密钥长度有误,不能解密!";
const char kOldCipher[] = "文件是由旧的加密算法加密的,不能解密!解密文件已取消。";
const char kNewerQuestion[] = "文件是由本软件的更高版本的加密算法加密的,是否尝试解密?";
const char kDamagedExt[] = "加密文件里保存的扩展名已被破坏,解密后请改正文件扩展名。";
const char kExtLength[] = "加密的文件(被破坏)保存的扩展名长度有误!";
const char kBadRatio[] = "压缩率记录错误, 文件可能被破坏!";
const char kNotOurs[] = "文件未经此软件加密或者是另外(不保存密钥)加密的，尝试解压缩。";
const char kSizeBelow1[] = "加密的文件(被破坏)保存的文件大小数据(错误)小于1字节！";
const char kSizeAbove4G[] = "加密的文件(被破坏)保存的文件大小数据(错误)大于4GB！";
const char kCheckBelow1[] = "加密的文件(被破坏)的大小效验(有误)小于1字节！";
const char kSizeMismatch[] = "加密的文件(被破坏)保存的文件大小数据(错误)与其文件大小不符。";
const char kMarkerMismatch[] = "加密的文件(被破坏)保存的文件标识不相符。解密文件已取消。";

std::string ReplaceQuestion(const std::string& path) { return path + " 文件已经存在,是否替换? 否 则不替换, 跳过这个文件。"; }
std::string ReplaceFailed(const std::string& path) {
  return "替换删除文件“" + path + "”失败！文件正在使用中或者有只读属性等。" + kCancelled;
}

// The window as the engine sees it besides the Reporter.
class FakeHost : public DecryptHost {
 public:
  struct Start {
    std::string source, dest;
    bool delete_after = false;
    std::string source_bytes;  // what the decompression would read
  };

  std::string DecryptionKey() override {
    ++key_reads;
    return key;
  }
  void SetHint(Hint h, const std::string& text) override { hints[h] = text; }
  void OutputChosen(const std::string& path) override { outputs.push_back(path); }
  bool StartDecompression(const std::string& source, const std::string& dest, bool delete_after) override {
    const bool small = FileExists(source) && FileSizeOf(source) < (int64_t{64} << 20);
    starts.push_back({source, dest, delete_after, small ? ReadFile(source) : std::string()});
    return start_ok;
  }

  std::string key = "secret";
  bool start_ok = true;
  int key_reads = 0;  // one per header attempt
  std::map<Hint, std::string> hints;
  std::vector<std::string> outputs;
  std::vector<Start> starts;
};

// One run of the engine with its own reporter and host.
struct Session {
  explicit Session(const std::string& source, const std::string& target, const std::string& key = "secret") {
    job.source_path = source;
    job.original_ext = ExtractFileExt(source);
    job.target_path = target;
    job.info_click_count = 8;
    host.key = key;
  }
  // Runs the engine as the window does: the command busy from the start;
  // at the end the command idle, the result recorded and its ending shown,
  // unless the run was stopped (the canceller restores the command) or
  // handed over to decompression.
  void Run() {
    r.SetCommandState(job.command, false);
    const StopToken stop = r.RunStopToken();
    RunContext context{r, r, stop};
    result = job.self_decrypt ? DecryptEmbedded(job, context, host) : DecryptFile(job, context, host);
    if (HandedOver(result) || (!result.Completed() && stop.StopRequested())) return;
    r.SetCommandState(job.command, true);
    r.Record(result);
    if (!job.self_decrypt) ShowEnding(result, r, r);  // the self-decrypt mode shows its own
  }
  // The user's cancel: the run's stop, and the flag of the self-decrypt mode.
  void Stop() {
    r.RequestRunStop();
  }
  bool Idle() {
    const ControlRecord& c = r.controls[ControlFor(job.command)];
    return c.tag == 0 && c.caption == IdleCaption(ControlFor(job.command));
  }
  bool Busy() { return r.controls[ControlFor(job.command)].tag == 1; }

  DecryptJob job;
  RecordingReporter r;
  FakeHost host;
  RunResult result;
};

class DecryptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_ = dir_.File("tmp");
    ASSERT_EQ(::mkdir(tmp_.c_str(), 0700), 0);
    if (const char* old = ::getenv("TMPDIR")) old_tmpdir_ = old;
    ::setenv("TMPDIR", tmp_.c_str(), 1);
  }
  void TearDown() override {
    if (old_tmpdir_.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    }
  }

  // Writes `bytes` as a file named `name` and returns its path.
  std::string Put(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.File(name);
    WriteFile(path, bytes);
    return path;
  }

  TempDir dir_;
  std::string tmp_;
  std::string old_tmpdir_;
};

// ---------------------------------------------------------------------------
// Refusals before the container is read.

TEST_F(DecryptTest, AnEmptyKeyIsRefusedOnlyForAContainer) {
  // A container, even one cut short after its header, is refused with an
  // empty key before anything is written; a compressed-only file needs no
  // key and goes to decompression, and so does a file of the retry sizes
  // whose bytes at 0 happen to hold no marker.
  const std::string cut = Put("cut.jmz", MakeContainer(Recipe{}, RandomBytes(50, 2)).substr(0, 14));
  {
    Session s(cut, dir_.File("out"), "");
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{kEmptyKey});
    EXPECT_EQ(s.r.Result().outcome, Outcome::kRefused);
    EXPECT_TRUE(s.host.starts.empty());
    EXPECT_TRUE(s.host.outputs.empty());
    EXPECT_EQ(s.r.beeps, 0);
    EXPECT_TRUE(s.Idle());
  }
  for (const std::string& zak : {Put("plain.zak", RandomBytes(300, 1)), Put("retry.zak", RandomBytes(2000, 3))}) {
    SCOPED_TRACE(zak);
    Session s(zak, dir_.File("out"), "");
    s.Run();
    EXPECT_TRUE(s.r.messages.empty());
    ASSERT_EQ(s.host.starts.size(), 1u);
    EXPECT_EQ(s.host.starts[0].source, zak);
    EXPECT_EQ(s.host.starts[0].dest, dir_.File("out"));
    EXPECT_FALSE(s.host.starts[0].delete_after);
  }
  {
    // A larger container keeps its header at 260: found there on the
    // second look, it is refused all the same.
    const std::string big = Put("big.jmz", MakeContainer(Recipe{}, RandomBytes(1500, 4)));
    Session s(big, dir_.File("out"), "");
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{kEmptyKey});
    EXPECT_TRUE(s.host.starts.empty());
    EXPECT_TRUE(s.Idle());
  }
}

TEST_F(DecryptTest, MissingEmptyAndOversizedFilesAreRefused) {
  {
    Session s(dir_.File("nothing.jmz"), dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.messages,
              std::vector<std::string>{"要解密的文件:“" + dir_.File("nothing.jmz") + "”不存在!" + kCancelled});
    EXPECT_TRUE(s.Idle());
  }
  {
    Session s(Put("empty.jmz", ""), dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{std::string("文件是空的!不需要解密。") + kCancelled});
    EXPECT_EQ(s.host.key_reads, 0);
    EXPECT_TRUE(s.Idle());
  }
  {
    // The longest container the encryption can write is taken (here it has
    // no marker and goes to decompression); one byte more is refused.
    const std::string big = dir_.File("big.jmz");
    fixture::WriteSparse(big, kMaxContainerSize, 0, "x");
    Session taken(big, dir_.File("out"));
    taken.Run();
    EXPECT_EQ(taken.host.key_reads, 1);
    EXPECT_EQ(taken.host.starts.size(), 1u);
    fixture::WriteSparse(big, kMaxContainerSize + 1, 0, "x");
    Session s(big, dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{std::string("不能解密大于4GB的文件!") + kCancelled});
    EXPECT_EQ(s.host.key_reads, 0);
    EXPECT_TRUE(s.Idle());
  }
}

TEST_F(DecryptTest, ContainersOfTheLargestPayloadAreReadBack) {
  // What the encryption writes for a 4 GiB file: with a short key and
  // extension (2^32 + 53 bytes), and with the longest of both, which is the
  // longest container there is. Sparse files: the blocks are real, the
  // payload a hole. Each run is cancelled at its first bar move.
  struct Case {
    std::string key, ext;
  };
  for (const Case& c : {Case{"secret", ".txt"}, Case{std::string(kMaxKeyBytes, 'K'), "." + std::string(214, 'e')}}) {
    SCOPED_TRACE(c.key.size());
    Recipe recipe;
    recipe.key = c.key;
    recipe.ext = c.ext;
    const Header h = MakeHeader(recipe, kMaxPayloadSize);
    const int64_t length = h.ContainerLength();
    EXPECT_GT(length, kFourGiB);
    EXPECT_LE(length, kMaxContainerSize);
    const ContainerLayout layout = h.Layout();
    const std::string big = dir_.File("big.jmz");
    const std::vector<uint8_t> lead = h.LeadBlocks();
    fixture::WriteSparse(big, length, layout.header_offset, std::string(lead.begin(), lead.end()));
    fixture::Overwrite(big, layout.key_check_offset, std::string(h.key_check.begin(), h.key_check.end()));
    fixture::Overwrite(big, layout.trailer_offset, std::string(h.trailer.begin(), h.trailer.end()));

    Session run(big, dir_.File("out"), c.key);
    run.r.on_bar_position = [&](int64_t) { run.Stop(); };
    run.Run();
    EXPECT_TRUE(run.r.messages.empty()) << run.r.messages.front();
    EXPECT_EQ(run.r.bar_ranges, std::vector<int64_t>{100});
    EXPECT_EQ(run.r.ProgressTotal(), kMaxPayloadSize);
    EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"big.jmz", "tmp"}));
  }
  // The size checks still warn about a file longer than its header allows.
  Recipe recipe;
  const Header h = MakeHeader(recipe, kMaxPayloadSize);
  const std::string big = dir_.File("big.jmz");
  const std::vector<uint8_t> lead = h.LeadBlocks();
  fixture::WriteSparse(big, kMaxContainerSize, h.Layout().header_offset, std::string(lead.begin(), lead.end()));
  fixture::Overwrite(big, h.Layout().key_check_offset, std::string(h.key_check.begin(), h.key_check.end()));
  Session run(big, dir_.File("out"));
  run.r.on_bar_position = [&](int64_t) { run.Stop(); };
  run.Run();
  EXPECT_EQ(run.r.messages, std::vector<std::string>{"加密的文件(被破坏)的大小效验(有误)大于4GB！"});
}

TEST_F(DecryptTest, FileOfExactlyFourGiBIsDecryptedAndACancelLeavesNoOutput) {
  // A split container of exactly 2^32 bytes: the blocks are real, the
  // payload is a hole of zeros. The run is cancelled at the first bar move.
  Recipe recipe;
  recipe.ext = "";
  const int64_t s = kFourGiB - 49;  // E = 0, L = 12
  const Header h = MakeHeader(recipe, s);
  ASSERT_EQ(h.ContainerLength(), kFourGiB);
  const ContainerLayout layout = h.Layout();
  const std::string big = dir_.File("big.jmz");
  const std::vector<uint8_t> lead = h.LeadBlocks();
  fixture::WriteSparse(big, kFourGiB, layout.header_offset, std::string(lead.begin(), lead.end()));
  fixture::Overwrite(big, layout.key_check_offset, std::string(h.key_check.begin(), h.key_check.end()));
  fixture::Overwrite(big, layout.trailer_offset, std::string(h.trailer.begin(), h.trailer.end()));

  Session run(big, dir_.File("out"));
  run.r.on_bar_position = [&](int64_t) { run.Stop(); };
  run.Run();
  EXPECT_EQ(run.host.key_reads, 1);  // tried at 260 directly
  EXPECT_EQ(run.host.outputs, std::vector<std::string>{dir_.File("out")});
  EXPECT_EQ(run.r.bar_ranges, std::vector<int64_t>{100});  // percent mode
  ASSERT_FALSE(run.r.bar_positions.empty());
  EXPECT_EQ(run.r.bar_positions.front(), 1);
  // A cancel is no failure: no message, the canceller restores the command.
  EXPECT_TRUE(run.r.messages.empty());
  EXPECT_FALSE(PathExists(dir_.File("out")));
  EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"big.jmz", "tmp"}));
  EXPECT_TRUE(run.Busy());
}

// ---------------------------------------------------------------------------
// Round trips of containers written by the encryption engine.

struct EngineCase {
  int64_t size;
  std::string key;
  std::string ext;
  uint8_t r2;
};

// Encrypts `plain` with the encryption engine under `recipe` and returns the
// container's path.
std::string EncryptWithEngine(const TempDir& dir, const std::string& plain, const Recipe& recipe) {
  const std::string source = dir.File("plain.bin");
  const std::string target = dir.File("sealed.jmz");
  WriteFile(source, plain);
  DeleteFile(target);
  EncryptJob job;
  job.key = recipe.key;
  job.source_path = source;
  job.target_path = target;
  job.original_ext = recipe.ext;
  job.layer_number = recipe.layer;
  RecordingReporter er;
  if (recipe.version != kVersionCurrent) {
    job.info_click_count = 8;
    er.QueueAnswers({true, recipe.version == kVersionOlder});
  }
  ScriptedRandom random(fixture::DrawValues(recipe));
  er.RunEngine([&](RunContext& context) { return EncryptEngine(job, context, random); });
  EXPECT_EQ(er.Status(), "加密文件 ... 已完成。");
  return target;
}

class EngineRoundTrip : public DecryptTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(EngineRoundTrip, ContainersOfEverySizeClassDecrypt) {
  const uint8_t version = GetParam();
  std::vector<EngineCase> cases = {
      {1, "k", ".txt", 40},   {3, "key", "", 7},         {4, "twelve bytes", ".a", 200}, {5, "secret", ".txt", 3},
      {1023, "secret", ".txt", 254},                      // header at 0, 1076 bytes: first attempt
      {1024, "secret", "", 1},                             // 1073 bytes, header at 260: second attempt
      {1000, std::string(63, 'q'), "", 90},                // 1100 bytes, header at 0
      {1051, "secret", "", 90},                            // 1100 bytes, header at 260
      {1000, std::string(2056, 'L'), ".long", 11},         // 3098 bytes, header at 0
      {3450, "secret", "", 123},                           // 3499 bytes: second attempt
      {3451, "secret", "", 124},                           // 3500 bytes: tried at 260 directly
      {9001, "a\r\nb", ".dat", 77},
      {(int64_t{1} << 20) + 1, "buffers", ".big", 250},  // more than one read buffer
  };
  // Containers of 1033 to 1072 bytes: in the window of the second attempt,
  // found at 0 on the first.
  for (int64_t s = 984; s <= 1023; ++s) cases.push_back({s, "secret", "", static_cast<uint8_t>(s % 255)});

  for (const EngineCase& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size) + ", key length " + std::to_string(c.key.size()));
    Recipe recipe;
    recipe.key = c.key;
    recipe.ext = c.ext;
    recipe.version = version;
    recipe.draws.r2 = c.r2;
    const std::string plain = RandomBytes(static_cast<std::size_t>(c.size), static_cast<uint32_t>(c.size));
    const std::string container = EncryptWithEngine(dir_, plain, recipe);
    const std::string bytes = ReadFile(container);
    // The engine and the test's assembler agree byte for byte.
    ASSERT_TRUE(bytes == MakeContainer(recipe, plain));
    const int64_t length = static_cast<int64_t>(bytes.size());
    const bool split = c.size >= 1024;

    const std::string target = dir_.File("restored");
    const std::string output = target + c.ext;
    DeleteFile(output);
    Session s(container, target, c.key);
    s.Run();
    EXPECT_TRUE(s.r.messages.empty()) << s.r.messages.front();
    EXPECT_EQ(s.r.Status(), kDone);
    EXPECT_TRUE(s.Idle());
    EXPECT_EQ(s.host.outputs, std::vector<std::string>{output});
    EXPECT_TRUE(s.host.starts.empty());
    const bool second_attempt = split && length >= 1033 && length <= 3499;
    EXPECT_EQ(s.host.key_reads, second_attempt ? 2 : 1);
    ASSERT_TRUE(FileExists(output));
    EXPECT_TRUE(ReadFile(output) == plain);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, EngineRoundTrip, ::testing::Values(kVersionCurrent, kVersionOld, kVersionOlder),
                         [](const ::testing::TestParamInfo<uint8_t>& info) {
                           return "V" + std::to_string(info.param);
                         });

TEST_F(DecryptTest, EveryEndingCarriesItsOutcomeAndReason) {
  // What a front end decides from: the outcome and its reason, never the text.
  const std::string plain = RandomBytes(800, 30);
  Header short_size = MakeHeader(Recipe{}, 800);
  fixture::SetStoredSize(short_size, 700);
  Header bad_length = MakeHeader(Recipe{}, 800);
  fixture::SetStoredKeyLength(bad_length, 0);
  Recipe older;
  older.version = kVersionOlder;
  struct Case {
    const char* name;
    std::string container;
    std::string key;
    uint8_t info_clicks;
    bool replace_answer;  // to the question for an existing output
    Outcome outcome;
    Reason code;
  };
  const std::vector<Case> cases = {
      {"done", MakeContainer(Recipe{}, plain), "secret", 8, true, Outcome::kDone, Reason::kNone},
      {"done after damage", AssembleContainer(short_size, plain), "secret", 8, true, Outcome::kDoneAfterDamage,
       Reason::kNone},
      {"wrong key", MakeContainer(Recipe{}, plain), "secreT", 8, true, Outcome::kRefused, Reason::kWrongKey},
      {"no key", MakeContainer(Recipe{}, plain), "", 8, true, Outcome::kRefused, Reason::kNoKey},
      {"damaged", AssembleContainer(bad_length, plain), "secret", 8, true, Outcome::kRefused, Reason::kDamaged},
      {"oldest cipher", MakeContainer(older, plain), "secret", 7, true, Outcome::kRefused, Reason::kUnsupported},
      {"output kept", MakeContainer(Recipe{}, plain), "secret", 8, false, Outcome::kCancelled, Reason::kTargetKept},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir_.File("out.txt"), "old output");
    Session s(Put("c.jmz", c.container), dir_.File("out"), c.key);
    s.job.info_click_count = c.info_clicks;
    s.r.QueueAnswers({c.replace_answer});
    s.Run();
    EXPECT_EQ(s.result.outcome, c.outcome);
    EXPECT_EQ(s.result.code, c.code);
    EXPECT_EQ(s.r.Result().outcome, c.outcome);
    EXPECT_TRUE(s.Idle());
  }
  // A stop ends the run as cancelled, and leaves the command to the canceller.
  Session s(Put("c.jmz", MakeContainer(Recipe{}, plain)), dir_.File("out"));
  s.r.QueueAnswers({true});
  s.r.on_question = [&](const std::string&) { s.Stop(); };
  s.Run();
  EXPECT_EQ(s.result.code, Reason::kCancelled);
  EXPECT_TRUE(s.Busy());
}

TEST_F(DecryptTest, SuccessfulRunSetsTheHintsAndStatuses) {
  Recipe recipe;
  const std::string source = Put("c.jmz", MakeContainer(recipe, RandomBytes(100, 3)));
  Session s(source, dir_.File("out"));
  s.Run();
  const std::string output = dir_.File("out.txt");
  EXPECT_EQ(s.host.hints[Hint::Output], "解密后的文件：" + output);
  EXPECT_EQ(s.host.hints[Hint::Source], "进行解密的文件：" + source);
  EXPECT_EQ(s.r.statuses, (std::vector<std::string>{"解密文件 ...", "进行解密文件...", kDone}));
}

// ---------------------------------------------------------------------------
// Progress: the bar moves exactly as one ProgressStep per unit would move it,
// with the input position after the skip over the header blocks.

struct ProgressCase {
  uint8_t version;
  uint8_t r2;
  int64_t size;
  std::string ext;
  int64_t start = 0;             // above 0: embedded after that many bytes
  bool moves_on_skips = false;   // the bar moves on the units that end at a skip
};

class ProgressPositions : public DecryptTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressPositions, MatchUnitByUnitSteps) {
  const ProgressCase& c = GetParam();
  Recipe recipe;
  recipe.version = c.version;
  recipe.draws.r2 = c.r2;
  recipe.ext = c.ext;
  const std::string plain = RandomBytes(static_cast<std::size_t>(c.size), 9);
  const std::string container = MakeContainer(recipe, plain);
  const std::string source = Put("c.jmz", RandomBytes(static_cast<std::size_t>(c.start), 10) + container);

  // Expected: walk the file unit by unit as the layout prescribes, with the
  // absolute input position after each unit and its skip test.
  const int64_t b = c.start;
  const int64_t e = static_cast<int64_t>(c.ext.size());
  const int64_t l = 12;
  const bool bytes = c.version <= 12;
  const int64_t unit = bytes ? 1 : 4;
  const int64_t g = bytes ? c.r2 : (c.r2 & 0xFC);
  const bool split = c.size > 1023;
  RecordingReporter oracle;
  oracle.ProgressStart(c.size);
  int64_t pos = b + (split ? 0 : 21 + e + l);
  bool skipped = !split;
  int moves_on_skips = 0;
  for (int64_t done = 0; done + unit <= (bytes ? c.size : c.size - c.size % 4); done += unit) {
    pos += unit;
    bool jumped = false;
    if (!skipped) {
      if (pos == b + 260) {
        pos = b + 281 + e;
        jumped = true;
      }
      if (pos == b + 281 + e + g) {
        pos += l;
        skipped = true;
        jumped = true;
      }
    }
    const std::size_t before = oracle.bar_positions.size();
    oracle.ProgressStep(pos, unit);
    if (jumped && oracle.bar_positions.size() > before) ++moves_on_skips;
  }
  if (c.moves_on_skips) {
    EXPECT_EQ(moves_on_skips, g == 0 ? 1 : 2);
  }

  Session s(source, dir_.File("out"));
  if (c.start > 0) {
    s.job.self_decrypt = true;
    s.job.command = Operation::SelfDecrypt;
    s.job.container_start = c.start;
    s.job.payload_size = static_cast<int64_t>(container.size());
  }
  s.Run();
  ASSERT_EQ(s.r.Status(), kDone);
  EXPECT_EQ(s.r.bar_ranges, std::vector<int64_t>{c.size});
  EXPECT_EQ(s.r.bar_positions, oracle.bar_positions);
  EXPECT_TRUE(ReadFile(dir_.File("out") + c.ext) == plain);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ProgressPositions,
    ::testing::Values(
        // 1700 bytes: the bar moves every fifth word; the skips at payload
        // offsets 260 and 300 both fall on a move.
        ProgressCase{33, 40, 1700, ".txt", 0, true},
        // g = 0: both skips in one test.
        ProgressCase{33, 2, 1700, ".txt", 0, true}, ProgressCase{18, 41, 1703, "", 0, true},
        // Byte cipher, 1950 bytes: every 20th byte moves the bar; P = 320.
        ProgressCase{11, 60, 1950, ".txt", 0, true}, ProgressCase{11, 0, 1950, ".ab", 0, true},
        // Header at 0.
        ProgressCase{33, 9, 900, ".txt"}, ProgressCase{11, 9, 1023, ".txt"},
        // Embedded after a program image.
        ProgressCase{33, 40, 1700, ".txt", 4321, true}, ProgressCase{11, 60, 1950, ".txt", 999, true},
        ProgressCase{33, 9, 900, ".txt", 777},
        // More than one read buffer.
        ProgressCase{33, 200, (int64_t{5} << 19) + 3, ".big"}, ProgressCase{11, 201, (int64_t{1} << 21) + 5, ""}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) {
      const ProgressCase& c = info.param;
      return "V" + std::to_string(c.version) + "_r2_" + std::to_string(c.r2) + "_S" + std::to_string(c.size) +
             "_at" + std::to_string(c.start);
    });

TEST_F(DecryptTest, KeyCheckRightAfterTheDescriptorWhenGIsZero) {
  // r2 of 0..3 gives g = 0 in word mode: the key-check block follows the
  // descriptor and both are skipped at 260. In byte mode g = r2.
  for (uint8_t version : {kVersionCurrent, kVersionOld, kVersionOlder}) {
    for (uint8_t r2 = 0; r2 <= 3; ++r2) {
      SCOPED_TRACE("version " + std::to_string(version) + ", r2 " + std::to_string(r2));
      Recipe recipe;
      recipe.version = version;
      recipe.draws.r2 = r2;
      const std::string plain = RandomBytes(1500 + r2, r2);
      const Header h = MakeHeader(recipe, static_cast<int64_t>(plain.size()));
      EXPECT_EQ(h.Layout().key_check_offset, 281 + 4 + (version == kVersionOlder ? r2 : 0));
      const std::string source = Put("g.jmz", AssembleContainer(h, plain));
      Session s(source, dir_.File("out"));
      s.Run();
      EXPECT_EQ(s.r.Status(), kDone);
      EXPECT_TRUE(ReadFile(dir_.File("out.txt")) == plain);
      DeleteFile(dir_.File("out.txt"));
    }
  }
}

// ---------------------------------------------------------------------------
// The key test.

TEST_F(DecryptTest, TypedKeyMustMatchTheStoredBlockWithinItsLength) {
  // Stored key "abc": the block holds the 12-byte padded key. A typed key of
  // 259 bytes (259 mod 256 = 3) whose first 12 bytes are that padded key
  // runs past the block and must fail.
  Recipe recipe;
  recipe.key = "abc";
  const std::string source = Put("c.jmz", MakeContainer(recipe, RandomBytes(200, 4)));
  const std::string padded = fixture::PaddedKey(recipe);
  ASSERT_EQ(padded.size(), 12u);
  for (const std::string& typed : {padded + std::string(247, 'x'), std::string("abd"), std::string("ab"),
                                   std::string("abc") + std::string(256, 'x')}) {
    SCOPED_TRACE(typed.size());
    Session s(source, dir_.File("out"), typed);
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{kKeyMismatch});
    EXPECT_TRUE(s.host.outputs.empty());
    EXPECT_FALSE(PathExists(dir_.File("out.txt")));
    EXPECT_TRUE(s.Idle());
  }
}

TEST_F(DecryptTest, OnlyTheWholeKeyDecrypts) {
  Recipe recipe;
  recipe.key = RandomBytes(300, 5);
  for (int64_t size : {int64_t{100}, int64_t{5000}}) {
    SCOPED_TRACE(size);
    const std::string plain = RandomBytes(static_cast<std::size_t>(size), 6);
    const std::string source = Put("c.jmz", MakeContainer(recipe, plain));
    {
      // The first 44 of 300 bytes agree with the stored length modulo 256,
      // but a prefix is not the key.
      Session s(source, dir_.File("out"), recipe.key.substr(0, 44));
      s.Run();
      EXPECT_EQ(s.r.messages, std::vector<std::string>{kKeyMismatch});
      EXPECT_FALSE(PathExists(dir_.File("out.txt")));
    }
    {
      Session s(source, dir_.File("out"), recipe.key);
      s.Run();
      EXPECT_TRUE(s.r.messages.empty());
      EXPECT_EQ(s.r.Status(), kDone);
      EXPECT_TRUE(ReadFile(dir_.File("out.txt")) == plain);
      DeleteFile(dir_.File("out.txt"));
    }
    {
      // All 300 stored bytes plus 256 more: 556 agrees modulo 256 but runs
      // past the block.
      Session s(source, dir_.File("out"), recipe.key + std::string(256, 'z'));
      s.Run();
      EXPECT_EQ(s.r.messages, std::vector<std::string>{kKeyMismatch});
    }
    {
      Session s(source, dir_.File("out"), recipe.key.substr(0, 43));
      s.Run();
      EXPECT_EQ(s.r.messages, std::vector<std::string>{kKeyMismatch});
    }
  }
}

TEST_F(DecryptTest, DamagedKeyLengthIsReported) {
  for (int n : {0, -5, 2057}) {
    SCOPED_TRACE(n);
    Header h = MakeHeader(Recipe{}, 100);
    fixture::SetStoredKeyLength(h, n);
    const std::string source = Put("c.jmz", AssembleContainer(h, RandomBytes(100, 7)));
    Session s(source, dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{kKeyLength});
    EXPECT_TRUE(s.Idle());
  }
}

// ---------------------------------------------------------------------------
// Versions.

TEST_F(DecryptTest, OlderCipherNeedsMoreThanSevenInformationClicks) {
  for (uint8_t version : {uint8_t{11}, uint8_t{12}}) {
    Recipe recipe;
    recipe.version = version;
    recipe.draws.r2 = 3;  // g = 3 in byte mode
    const std::string plain = RandomBytes(2000, version);
    const std::string source = Put("c.jmz", MakeContainer(recipe, plain));
    {
      Session s(source, dir_.File("out"));
      s.job.info_click_count = 7;
      s.Run();
      EXPECT_EQ(s.r.messages, std::vector<std::string>{kOldCipher});
      EXPECT_TRUE(s.host.outputs.empty());
      EXPECT_TRUE(s.Idle());
    }
    {
      Session s(source, dir_.File("out"));
      s.job.info_click_count = 8;
      s.Run();
      EXPECT_EQ(s.r.Status(), kDone);
      EXPECT_TRUE(ReadFile(dir_.File("out.txt")) == plain);
      DeleteFile(dir_.File("out.txt"));
    }
  }
}

TEST_F(DecryptTest, EveryVersionThresholdRoundTrips) {
  // 12/13 switch the cipher and g, 19/20 the key-check form and the step,
  // 29/30 the second masking of the length block; above 35 the user is asked.
  for (int version : {11, 12, 13, 18, 19, 20, 29, 30, 33, 35, 36, 200, 255}) {
    for (int64_t size : {int64_t{999}, int64_t{1999}}) {
      SCOPED_TRACE("version " + std::to_string(version) + ", size " + std::to_string(size));
      Recipe recipe;
      recipe.version = static_cast<uint8_t>(version);
      recipe.key = "k";  // short: filler bytes in the block
      recipe.draws.r2 = 3;
      const std::string plain = RandomBytes(static_cast<std::size_t>(size), static_cast<uint32_t>(version));
      const std::string source = Put("c.jmz", MakeContainer(recipe, plain));
      Session s(source, dir_.File("out"), "k");
      s.job.info_click_count = 0;
      s.r.default_answer = true;
      s.Run();
      if (version <= 12) {
        EXPECT_EQ(s.r.messages, std::vector<std::string>{kOldCipher});
        continue;
      }
      EXPECT_EQ(s.r.questions.size(), version > 35 ? 1u : 0u);
      EXPECT_EQ(s.r.Status(), kDone);
      EXPECT_TRUE(ReadFile(dir_.File("out.txt")) == plain);
      DeleteFile(dir_.File("out.txt"));
    }
  }
}

TEST_F(DecryptTest, NewerVersionAsksAndNoCancels) {
  Recipe recipe;
  recipe.version = 36;
  const std::string plain = RandomBytes(700, 8);
  const std::string source = Put("c.jmz", MakeContainer(recipe, plain));
  {
    Session s(source, dir_.File("out"));
    s.r.QueueAnswers({false});
    s.Run();
    ASSERT_EQ(s.r.questions.size(), 1u);
    EXPECT_EQ(s.r.questions[0].first, kNewerQuestion);
    EXPECT_EQ(s.r.questions[0].second, "尝试解密");
    EXPECT_TRUE(s.r.messages.empty());
    EXPECT_EQ(s.r.Status(), kCancelled);
    EXPECT_TRUE(s.Idle());
    EXPECT_FALSE(PathExists(dir_.File("out.txt")));
  }
  {
    Session s(source, dir_.File("out"));
    s.r.QueueAnswers({true});
    s.Run();
    EXPECT_EQ(s.r.Status(), kDone);
    EXPECT_TRUE(ReadFile(dir_.File("out.txt")) == plain);
  }
}

// ---------------------------------------------------------------------------
// The stored extension and the output name.

TEST_F(DecryptTest, EmptyExtensionGivesTheTargetPathExactly) {
  Recipe recipe;
  recipe.ext = "";
  const std::string plain = RandomBytes(321, 10);
  const std::string source = Put("c.jmz", MakeContainer(recipe, plain));
  Session s(source, dir_.File("exact.name"));
  s.Run();
  EXPECT_TRUE(s.r.messages.empty());
  EXPECT_EQ(s.host.outputs, std::vector<std::string>{dir_.File("exact.name")});
  EXPECT_TRUE(ReadFile(dir_.File("exact.name")) == plain);
}

TEST_F(DecryptTest, DamagedExtensionIsReportedAndDropped) {
  const std::string plain = RandomBytes(400, 11);
  for (const std::string& ext : {std::string("x"), std::string("."), std::string("ab"), std::string(".a/b"),
                                 std::string("/../../etc"), std::string(".a\0b", 4)}) {
    SCOPED_TRACE(ext);
    Recipe recipe;
    recipe.ext = ext;
    const std::string source = Put("c.jmz", MakeContainer(recipe, plain));
    Session s(source, dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{kDamagedExt});
    EXPECT_EQ(s.host.outputs, std::vector<std::string>{dir_.File("out")});
    EXPECT_EQ(s.r.Status(), kDone);
    EXPECT_TRUE(ReadFile(dir_.File("out")) == plain);
    DeleteFile(dir_.File("out"));
  }
}

TEST_F(DecryptTest, GbkExtensionIsConvertedForTheOutputName) {
  Recipe recipe;
  recipe.ext = Utf8ToGbk(".文档");
  const std::string plain = RandomBytes(64, 12);
  Session s(Put("c.jmz", MakeContainer(recipe, plain)), dir_.File("out"));
  s.Run();
  EXPECT_EQ(s.host.outputs, std::vector<std::string>{dir_.File("out.文档")});
  EXPECT_TRUE(ReadFile(dir_.File("out.文档")) == plain);
}

// The extension is data from inside the file: a line break or a terminal
// escape in it never reaches the output's name, here or in vesk-cli's "-o".
TEST_F(DecryptTest, ControlCharactersInTheExtensionAreReplacedInTheOutputName) {
  Recipe recipe;
  recipe.ext = ".t\nx\x1b]0;\x07";
  const std::string plain = RandomBytes(90, 14);
  const std::string source = Put("c.jmz", MakeContainer(recipe, plain));
  Session s(source, dir_.File("out"));
  s.Run();
  EXPECT_EQ(s.host.outputs, std::vector<std::string>{dir_.File("out.t_x_]0;_")});
  EXPECT_TRUE(ReadFile(dir_.File("out.t_x_]0;_")) == plain);
  EXPECT_EQ(keyed::StoredExtension(source), ".t_x_]0;_");
}

TEST_F(DecryptTest, OverlongExtensionLengthIsReportedAndReadAsFour) {
  Recipe recipe;
  recipe.ext = ".abc";
  const std::string plain = RandomBytes(2222, 13);
  Header h = MakeHeader(recipe, static_cast<int64_t>(plain.size()));
  fixture::SetStoredExtLength(h, 216);
  Session s(Put("c.jmz", AssembleContainer(h, plain)), dir_.File("out"));
  s.Run();
  EXPECT_EQ(s.r.messages, std::vector<std::string>{kExtLength});
  EXPECT_EQ(s.r.Status(), kDone);
  EXPECT_TRUE(ReadFile(dir_.File("out.abc")) == plain);
}

TEST(OutputPathFor, KeepsShortNames) {
  EXPECT_EQ(OutputPathFor("/d/name", ".txt"), "/d/name.txt");
  EXPECT_EQ(OutputPathFor("/d/name", ""), "/d/name");
  const std::string name211(211, 'n');
  EXPECT_EQ(OutputPathFor("/d/" + name211, ".txt"), "/d/" + name211 + ".txt");  // exactly 215
  EXPECT_EQ(OutputPathFor("name", ".a"), "name.a");
}

TEST(OutputPathFor, CutsNameAndExtensionTo213GbkBytes) {
  EXPECT_EQ(OutputPathFor("/d/" + std::string(212, 'n'), ".txt"), "/d/" + std::string(209, 'n') + ".txt");
  EXPECT_EQ(OutputPathFor("/d/" + std::string(216, 'n'), ""), "/d/" + std::string(213, 'n'));
  // Greek letters take two bytes in GBK and in UTF-8: 110 of them are 220
  // bytes; 211 bytes would split the 106th, so 105 are kept.
  std::string alphas, kept;
  for (int i = 0; i < 110; ++i) alphas += "α";
  for (int i = 0; i < 105; ++i) kept += "α";
  EXPECT_EQ(OutputPathFor("/d/" + alphas, ".t"), "/d/" + kept + ".t");
  // An extension of 213 bytes or more leaves no room for the name.
  const std::string ext = "." + std::string(214, 'e');
  EXPECT_EQ(OutputPathFor("/d/name", ext), "/d/" + ext);
}

TEST(OutputPathFor, NativeNameStaysWithin255Bytes) {
  // 100 Chinese characters: 200 GBK bytes (no cut) but 300 UTF-8 bytes.
  std::string name, kept;
  for (int i = 0; i < 100; ++i) name += "中";
  for (int i = 0; i < 83; ++i) kept += "中";
  const std::string out = OutputPathFor("/d/" + name, ".txt");
  EXPECT_EQ(out, "/d/" + kept + ".txt");
  EXPECT_LE(ExtractFileName(out).size(), 255u);
  // Cut by GBK first (12 ASCII + 101 characters = 214 bytes, + 3 > 215:
  // 12 + 99 characters kept), then by UTF-8 (12 + 3 x 80 + 3 = 255).
  const std::string mixed = std::string(12, 'm') + name + "中";
  std::string eighty;
  for (int i = 0; i < 80; ++i) eighty += "中";
  EXPECT_EQ(OutputPathFor("/d/" + mixed, ".gz"), "/d/" + std::string(12, 'm') + eighty + ".gz");
}

// ---------------------------------------------------------------------------
// Compressed payloads and files without a marker.

TEST_F(DecryptTest, CompressedPayloadGoesThroughATemporaryZakOfItsOwn) {
  // The user's own file of the name the temporary file once had is no
  // business of the run.
  WriteFile(tmp_ + "/out.zak", "the user's file");
  for (uint8_t z : {uint8_t{1}, uint8_t{2}, uint8_t{3}, uint8_t{7}}) {
    SCOPED_TRACE(static_cast<int>(z));
    Recipe recipe;
    recipe.pre_zip_level = z;
    recipe.ext = ".tar";
    const std::string payload = RandomBytes(1500, z);
    const std::string source = Put("c.jmz", MakeContainer(recipe, payload));
    Session s(source, dir_.File("out"));
    s.Run();
    if (z > 3) {
      EXPECT_EQ(s.r.messages, std::vector<std::string>{kBadRatio});
    } else {
      EXPECT_TRUE(s.r.messages.empty());
    }
    ASSERT_EQ(s.host.starts.size(), 1u);
    const std::string working = s.host.starts[0].source;
    EXPECT_EQ(ExtractFilePath(working), tmp_ + "/");
    EXPECT_EQ(ExtractFileName(working).substr(0, 5), "vesk-");
    EXPECT_EQ(ExtractFileExt(working), ".zak");
    struct stat st {};
    ASSERT_EQ(::stat(working.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(s.host.starts[0].dest, dir_.File("out.tar"));
    EXPECT_TRUE(s.host.starts[0].delete_after);
    EXPECT_TRUE(s.host.starts[0].source_bytes == payload);
    EXPECT_FALSE(PathExists(dir_.File("out.tar")));  // the decompression writes it
    EXPECT_TRUE(s.Busy());                           // until the decompression ends
    DeleteFile(working);                             // as the decompression's end does
  }
  EXPECT_EQ(FolderEntries(tmp_), std::vector<std::string>{"out.zak"});
  EXPECT_EQ(ReadFile(tmp_ + "/out.zak"), "the user's file");
}

TEST_F(DecryptTest, OutputInTheTemporaryFolderIsNeverTheTemporaryFile) {
  // The output lands where the temporary file was named after it.
  Recipe recipe;
  recipe.pre_zip_level = 2;
  recipe.ext = ".zak";
  const std::string payload = RandomBytes(700, 40);
  Session s(Put("c.jmz", MakeContainer(recipe, payload)), tmp_ + "/out");
  s.Run();
  ASSERT_EQ(s.host.starts.size(), 1u);
  EXPECT_EQ(s.host.starts[0].dest, tmp_ + "/out.zak");
  EXPECT_NE(s.host.starts[0].source, s.host.starts[0].dest);
  EXPECT_TRUE(s.host.starts[0].source_bytes == payload);
  EXPECT_FALSE(PathExists(tmp_ + "/out.zak"));
  EXPECT_TRUE(s.r.messages.empty());
}

TEST_F(DecryptTest, FailedDecompressionStartDeletesTheTemporaryZak) {
  Recipe recipe;
  recipe.pre_zip_level = 2;
  const std::string source = Put("c.jmz", MakeContainer(recipe, RandomBytes(100, 14)));
  Session s(source, dir_.File("out"));
  s.host.start_ok = false;
  s.Run();
  EXPECT_EQ(s.r.messages, std::vector<std::string>{source + " 文件解压缩出错！已停止。"});
  EXPECT_TRUE(FolderEntries(tmp_).empty());
  EXPECT_TRUE(s.Idle());
}

TEST_F(DecryptTest, FileWithoutMarkerIsHandedToDecompression) {
  struct Case {
    const char* name;
    bool warns;
  };
  for (const Case& c : {Case{"data.bin", true}, Case{"data.zak", false}, Case{"DATA.ZaK", false},
                        Case{"noext", true}, Case{"data.zak.bin", true}}) {
    SCOPED_TRACE(c.name);
    const std::string source = Put(c.name, RandomBytes(500, 15));
    Session s(source, dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.messages, c.warns ? std::vector<std::string>{kNotOurs} : std::vector<std::string>{});
    ASSERT_EQ(s.host.starts.size(), 1u);
    EXPECT_EQ(s.host.starts[0].source, source);
    EXPECT_EQ(s.host.starts[0].dest, dir_.File("out"));
    EXPECT_FALSE(s.host.starts[0].delete_after);
    EXPECT_EQ(s.host.hints[Hint::Output], "解压缩后的文件：" + dir_.File("out"));
    EXPECT_EQ(s.host.hints[Hint::Source], "进行解压缩的文件：" + source);
    EXPECT_TRUE(s.Busy());
  }
}

TEST_F(DecryptTest, DecompressionFallbackAsksBeforeReplacingAndNeverReplacesTheSource) {
  const std::string source = Put("data.zak", RandomBytes(500, 16));
  {
    WriteFile(dir_.File("out"), "old");
    Session s(source, dir_.File("out"));
    s.Run();  // default answer: No
    ASSERT_EQ(s.r.questions.size(), 1u);
    EXPECT_EQ(s.r.questions[0].first, ReplaceQuestion(dir_.File("out")));
    EXPECT_EQ(s.r.questions[0].second, "替换文件");
    EXPECT_TRUE(s.host.starts.empty());
    EXPECT_EQ(s.r.Status(), kCancelled);
    EXPECT_EQ(ReadFile(dir_.File("out")), "old");
    EXPECT_TRUE(s.Idle());
  }
  {
    Session s(source, source);
    s.r.QueueAnswers({true});
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{ReplaceFailed(source)});
    EXPECT_TRUE(s.host.starts.empty());
    EXPECT_TRUE(ReadFile(source) == RandomBytes(500, 16));
    EXPECT_TRUE(s.Idle());
  }
}

// ---------------------------------------------------------------------------
// Where the header is looked for.

TEST_F(DecryptTest, SecondAttemptOnlyForFilesOf1033To3499Bytes) {
  Recipe recipe;
  // A split container cut to the lengths around 1033: its header at 260 is
  // only found when a second attempt is made.
  const std::string split = MakeContainer(recipe, RandomBytes(1024, 17));
  for (int64_t length : {int64_t{1032}, int64_t{1033}}) {
    SCOPED_TRACE(length);
    Session s(Put("cut.jmz", split.substr(0, static_cast<std::size_t>(length))), dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.host.key_reads, length == 1032 ? 1 : 2);
    EXPECT_EQ(s.host.starts.size(), length == 1032 ? 1u : 0u);  // 1032: taken for a compressed file
  }
  // A container with its header at 0 padded to 3499 bytes is found at 0; at
  // 3500 bytes only 260 is tried.
  const std::string plain = RandomBytes(1000, 18);
  const std::string at0 = MakeContainer(recipe, plain);
  for (int64_t length : {int64_t{3499}, int64_t{3500}}) {
    SCOPED_TRACE(length);
    std::string padded = at0;
    padded.resize(static_cast<std::size_t>(length), '\0');
    Session s(Put("pad.jmz", padded), dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.host.key_reads, 1);
    if (length == 3499) {
      EXPECT_EQ(s.r.messages, std::vector<std::string>{kSizeMismatch});
      EXPECT_EQ(s.r.Status(), kDone);
      EXPECT_TRUE(ReadFile(dir_.File("out.txt")) == plain);
    } else {
      EXPECT_EQ(s.r.messages, std::vector<std::string>{kNotOurs});
      EXPECT_EQ(s.host.starts.size(), 1u);
    }
  }
}

TEST_F(DecryptTest, KeyFailureOfTheFirstAttemptIsShownWhenTheSecondFindsNoMarker) {
  Recipe recipe;
  const std::string plain = RandomBytes(1000, 19);
  const std::string source = Put("c.jmz", MakeContainer(recipe, plain));  // 1053 bytes, header at 0
  for (const std::string& key : {std::string("secreX"), std::string("other key")}) {
    SCOPED_TRACE(key);
    Session s(source, dir_.File("out"), key);
    s.Run();
    EXPECT_EQ(s.host.key_reads, 2);
    EXPECT_EQ(s.r.messages, std::vector<std::string>{kKeyMismatch});
    EXPECT_TRUE(s.host.starts.empty());  // not taken for a compressed file
    EXPECT_TRUE(s.Idle());
  }
  // The key-length message of the first attempt is the one shown.
  Header h = MakeHeader(recipe, 1000);
  fixture::SetStoredKeyLength(h, 3000);
  Session s(Put("n.jmz", AssembleContainer(h, plain)), dir_.File("out"));
  s.Run();
  EXPECT_EQ(s.host.key_reads, 2);
  EXPECT_EQ(s.r.messages, std::vector<std::string>{kKeyLength});
}

TEST_F(DecryptTest, KeyFailureAtZeroIsRetriedAt260) {
  // A split container whose first bytes carry the header of another key: the
  // first attempt fails on that key, the second finds the real header.
  Recipe inner;
  inner.key = "second-key";
  inner.ext = ".b";
  const std::string plain = RandomBytes(1500, 20);
  std::string bytes = MakeContainer(inner, plain);
  Recipe decoy;
  decoy.key = "first";
  const Header d = MakeHeader(decoy, 1000);
  std::vector<uint8_t> lead = d.LeadBlocks();
  lead.insert(lead.end(), d.key_check.begin(), d.key_check.end());
  bytes.replace(0, lead.size(), std::string(lead.begin(), lead.end()));

  Session s(Put("c.jmz", bytes), dir_.File("out"), "second-key");
  s.Run();
  EXPECT_EQ(s.host.key_reads, 2);
  EXPECT_TRUE(s.r.messages.empty());
  EXPECT_EQ(s.r.Status(), kDone);
  const std::string out = ReadFile(dir_.File("out.b"));
  ASSERT_EQ(out.size(), plain.size());
  // A damaged byte spoils its whole word (carries), so compare from the
  // first whole word after the decoy.
  const std::size_t clean = (lead.size() + 3) / 4 * 4;
  EXPECT_TRUE(out.substr(clean) == plain.substr(clean));
}

// ---------------------------------------------------------------------------
// Damaged sizes and short files.

TEST_F(DecryptTest, CutOffTrailerWarnsAndReducesTheSize) {
  // The size test counts on the 16 trailer bytes: whatever is cut from the
  // end is taken from the payload.
  Recipe recipe;
  struct Cut {
    int64_t size, cut;
    std::vector<std::string> messages;
  };
  for (const Cut& c : {Cut{500, 10, {kSizeMismatch}}, Cut{500, 16, {kSizeMismatch}},
                       Cut{500, 16 + 500, {kCheckBelow1, kSizeMismatch}}, Cut{2000, 20, {kSizeMismatch}},
                       Cut{2000, 17, {kSizeMismatch}}}) {
    SCOPED_TRACE("size " + std::to_string(c.size) + ", cut " + std::to_string(c.cut));
    const std::string plain = RandomBytes(static_cast<std::size_t>(c.size), 21);
    std::string bytes = MakeContainer(recipe, plain);
    bytes.resize(bytes.size() - static_cast<std::size_t>(c.cut));
    Session s(Put("c.jmz", bytes), dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.messages, c.messages);
    EXPECT_EQ(s.r.Status(), kDone);
    const auto kept = static_cast<std::size_t>(std::max<int64_t>(0, c.size - c.cut));
    const std::string out = ReadFile(dir_.File("out.txt"));
    ASSERT_EQ(out.size(), kept);
    // The last kept % 4 bytes were enciphered inside a word and now come out
    // of the tail rule; the whole words before them are intact.
    const std::size_t words = kept - kept % 4;
    EXPECT_TRUE(out.substr(0, words) == plain.substr(0, words));
    if (kept > 0) {
      EXPECT_EQ(s.r.bar_ranges, std::vector<int64_t>{static_cast<int64_t>(kept)});
    }
    DeleteFile(dir_.File("out.txt"));
  }
}

TEST_F(DecryptTest, DamagedSizeFieldWarnsAndTheFileLengthDecides) {
  struct Damage {
    int64_t size;
    uint64_t stored;
    std::vector<std::string> messages;
  };
  for (const Damage& d : {Damage{500, 0, {kSizeBelow1, kSizeMismatch}},
                          Damage{500, ~uint64_t{0}, {kSizeBelow1, kSizeMismatch}},
                          Damage{2000, (uint64_t{1} << 32) + 5, {kSizeAbove4G, kSizeMismatch}},
                          Damage{2000, 3000, {kSizeMismatch}}}) {
    SCOPED_TRACE(d.stored);
    const std::string plain = RandomBytes(static_cast<std::size_t>(d.size), 22);
    Header h = MakeHeader(Recipe{}, d.size);
    fixture::SetStoredSize(h, d.stored);
    Session s(Put("c.jmz", AssembleContainer(h, plain)), dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.messages, d.messages);
    EXPECT_EQ(s.r.Status(), kDone);
    EXPECT_TRUE(ReadFile(dir_.File("out.txt")) == plain);
    DeleteFile(dir_.File("out.txt"));
  }
}

TEST_F(DecryptTest, ReadingPastTheEndIsTheCatchAllFailure) {
  Recipe recipe;
  recipe.key = RandomBytes(300, 23);
  const std::string whole = MakeContainer(recipe, RandomBytes(10, 24));
  // Cut inside the key-check block, and inside the size field.
  for (std::size_t length : {std::size_t{125}, std::size_t{15}}) {
    SCOPED_TRACE(length);
    const std::string source = Put("c.jmz", whole.substr(0, length));
    Session s(source, dir_.File("out"), recipe.key);
    s.Run();
    ASSERT_FALSE(s.r.messages.empty());
    EXPECT_EQ(s.r.messages.back(), source + " 文件解密出错！已停止。");
    EXPECT_EQ(s.result.outcome, Outcome::kFailed);
    EXPECT_EQ(s.result.code, Reason::kNoSource);
    EXPECT_TRUE(s.Idle());
    EXPECT_TRUE(s.host.outputs.empty());
  }
}

// ---------------------------------------------------------------------------
// The output file.

TEST_F(DecryptTest, ReplaceQuestionGuardsAnExistingOutput) {
  const std::string plain = RandomBytes(800, 25);
  const std::string source = Put("c.jmz", MakeContainer(Recipe{}, plain));
  const std::string output = dir_.File("out.txt");
  WriteFile(output, "old contents");
  {
    Session s(source, dir_.File("out"));
    s.r.QueueAnswers({false});
    s.Run();
    ASSERT_EQ(s.r.questions.size(), 1u);
    EXPECT_EQ(s.r.questions[0].first, ReplaceQuestion(output));
    EXPECT_EQ(s.r.questions[0].second, "替换文件");
    EXPECT_EQ(s.r.Status(), kCancelled);
    EXPECT_TRUE(s.r.messages.empty());
    EXPECT_TRUE(s.host.outputs.empty());
    EXPECT_EQ(ReadFile(output), "old contents");
    EXPECT_TRUE(s.Idle());
  }
  {
    // Cancelled while the question is open: the run ends silently.
    Session s(source, dir_.File("out"));
    s.r.QueueAnswers({true});
    s.r.on_question = [&](const std::string&) { s.Stop(); };
    s.Run();
    EXPECT_TRUE(s.r.messages.empty());
    EXPECT_EQ(ReadFile(output), "old contents");
    EXPECT_TRUE(s.Busy());  // the canceller restores the command
  }
  {
    Session s(source, dir_.File("out"));
    s.r.QueueAnswers({true});
    s.Run();
    EXPECT_EQ(s.r.Status(), kDone);
    EXPECT_TRUE(ReadFile(output) == plain);
  }
}

TEST_F(DecryptTest, OutputThatIsTheSourceItselfIsRefused) {
  // An inner container keeps ".jmz" as its extension; decrypting the outer
  // one to its own name minus the extension names the source.
  for (uint8_t z : {uint8_t{0}, uint8_t{2}}) {
    SCOPED_TRACE(static_cast<int>(z));
    Recipe recipe;
    recipe.ext = ".jmz";
    recipe.pre_zip_level = z;
    const std::string bytes = MakeContainer(recipe, RandomBytes(1200, 26));
    const std::string source = Put("c.jmz", bytes);
    Session s(source, dir_.File("c"));
    s.r.QueueAnswers({true});
    s.Run();
    EXPECT_EQ(s.r.questions.size(), 1u);
    EXPECT_EQ(s.r.messages, std::vector<std::string>{ReplaceFailed(source)});
    EXPECT_TRUE(s.host.starts.empty());
    EXPECT_TRUE(ReadFile(source) == bytes);
    EXPECT_TRUE(s.Idle());
  }
}

// ---------------------------------------------------------------------------
// Self-decrypt mode: the container starts inside the program's own file.

TEST_F(DecryptTest, EmbeddedContainerNamesThePayloadAndNeedsItsMarker) {
  // Reading from the container start is covered by the progress cases; here
  // the self-decrypt texts.
  const std::string image = RandomBytes(5000, 27);
  const std::string plain = RandomBytes(3000, 28);
  const std::string container = MakeContainer(Recipe{}, plain);
  {
    Session s(Put("program", image + container), dir_.File("out"));
    s.job.command = Operation::SelfDecrypt;
    s.job.self_decrypt = true;
    s.job.container_start = static_cast<int64_t>(image.size());
    s.job.payload_size = static_cast<int64_t>(container.size());
    s.job.payload_name = "payload.jmz";
    s.Run();
    EXPECT_EQ(s.r.Status(), kDone);
    EXPECT_EQ(s.host.key_reads, 2);  // 3053 bytes: found at the start + 260
    EXPECT_EQ(s.host.hints[Hint::Source], "进行自解密的文件：payload.jmz");
    EXPECT_TRUE(ReadFile(dir_.File("out.txt")) == plain);
    EXPECT_TRUE(s.Idle());
  }
  Session s(Put("program", image), dir_.File("out"));
  s.job.command = Operation::SelfDecrypt;
  s.job.self_decrypt = true;
  s.job.container_start = 4000;
  s.job.payload_size = 1000;
  s.Run();
  EXPECT_EQ(s.r.messages, std::vector<std::string>{kMarkerMismatch});
  EXPECT_TRUE(s.host.starts.empty());
  EXPECT_TRUE(s.Idle());
}

// ---------------------------------------------------------------------------
// Outputs appear whole or not at all, and only where they may.

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

TEST_F(DecryptTest, WriteOrFlushFailureLeavesTheOldOutputAndNoFileBehind) {
  const std::string plain = RandomBytes(5000, 41);
  for (uint8_t z : {uint8_t{0}, uint8_t{2}}) {
    Recipe recipe;
    recipe.pre_zip_level = z;
    const std::string source = Put("c.jmz", MakeContainer(recipe, plain));
    // A payload write, the last byte, and the final flush.
    for (int64_t failing : {int64_t{1000}, int64_t{4999}, int64_t{5000}}) {
      SCOPED_TRACE("z " + std::to_string(z) + ", failing at " + std::to_string(failing));
      WriteFile(dir_.File("out.txt"), "old output");
      Session s(source, dir_.File("out"));
      s.r.QueueAnswers({true});
      s.job.faults.before_write = testing::faults::FailWriteAt(failing);
      s.Run();
      EXPECT_EQ(s.r.messages, std::vector<std::string>{kStopped});
      EXPECT_TRUE(s.host.starts.empty());
      EXPECT_EQ(ReadFile(dir_.File("out.txt")), "old output");
      EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"c.jmz", "out.txt", "tmp"}));
      EXPECT_TRUE(FolderEntries(tmp_).empty());
      EXPECT_EQ(s.result.code, Reason::kIo);
      EXPECT_TRUE(s.Idle());
    }
  }
}

TEST_F(DecryptTest, AContainerThatFailsOrEndsWhileItIsReadFailsTheRun) {
  const std::string plain = RandomBytes(5000, 42);
  for (uint8_t z : {uint8_t{0}, uint8_t{2}}) {
    Recipe recipe;
    recipe.pre_zip_level = z;
    const std::string source = Put("c.jmz", MakeContainer(recipe, plain));
    // In the lead-in, in the payload, and at its last byte (the reader
    // needs nothing of the trailer behind it).
    for (const ReadHook& fault : {testing::faults::FailReadAt(100, EIO), testing::faults::FailReadAt(3000, EIO),
                                  testing::faults::EndAt(5000 + 4 + 12 + 21 - 1)}) {
      SCOPED_TRACE("z " + std::to_string(z));
      WriteFile(dir_.File("out.txt"), "old output");
      Session s(source, dir_.File("out"));
      s.r.QueueAnswers({true});
      s.job.faults.before_read = fault;
      s.Run();
      EXPECT_EQ(s.r.messages, std::vector<std::string>{kStopped});
      EXPECT_TRUE(s.host.starts.empty());
      EXPECT_EQ(ReadFile(dir_.File("out.txt")), "old output");
      EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"c.jmz", "out.txt", "tmp"}));
      EXPECT_TRUE(FolderEntries(tmp_).empty());
      EXPECT_TRUE(s.Idle());
    }
  }
}

TEST_F(DecryptTest, MissingTemporaryFolderIsAnErrorOfTheRunNotOfTheContainer) {
  Recipe recipe;
  recipe.pre_zip_level = 1;
  const std::string source = Put("c.jmz", MakeContainer(recipe, RandomBytes(2000, 42)));
  ::setenv("TMPDIR", dir_.File("gone").c_str(), 1);
  Session s(source, dir_.File("out"));
  s.Run();
  EXPECT_EQ(s.r.messages, std::vector<std::string>{kStopped});
  EXPECT_EQ(s.r.beeps, 0);
  EXPECT_TRUE(s.host.starts.empty());
  EXPECT_FALSE(PathExists(dir_.File("gone")));
  EXPECT_TRUE(s.Idle());
}

TEST_F(DecryptTest, CancelDuringTheDecipherKeepsTheOldOutputAndSaysNothing) {
  for (uint8_t z : {uint8_t{0}, uint8_t{3}}) {
    SCOPED_TRACE(static_cast<int>(z));
    Recipe recipe;
    recipe.pre_zip_level = z;
    const std::string source = Put("c.jmz", MakeContainer(recipe, RandomBytes(3 << 20, 43)));
    WriteFile(dir_.File("out.txt"), "old output");
    Session s(source, dir_.File("out"));
    s.r.QueueAnswers({true});
    s.r.on_bar_position = [&](int64_t pos) {
      if (pos > (1 << 20)) s.Stop();
    };
    s.Run();
    EXPECT_TRUE(s.r.messages.empty());
    EXPECT_NE(s.r.Status(), kDone);
    EXPECT_TRUE(s.host.starts.empty());
    EXPECT_EQ(ReadFile(dir_.File("out.txt")), "old output");
    EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"c.jmz", "out.txt", "tmp"}));
    EXPECT_TRUE(FolderEntries(tmp_).empty());
    EXPECT_TRUE(s.Busy());  // the canceller restores the command
  }
}

TEST_F(DecryptTest, OutputThatIsALinkToTheSourceIsRefusedBeforeAnythingChanges) {
  for (uint8_t z : {uint8_t{0}, uint8_t{2}}) {
    Recipe recipe;
    recipe.pre_zip_level = z;
    const std::string bytes = MakeContainer(recipe, RandomBytes(1200, 44));
    const std::string source = Put("c.jmz", bytes);
    for (bool hard : {true, false}) {
      SCOPED_TRACE(std::string(hard ? "hard" : "symbolic") + " link, z " + std::to_string(z));
      const std::string output = dir_.File("out.txt");
      DeleteFile(output);
      ASSERT_EQ(hard ? ::link(source.c_str(), output.c_str()) : ::symlink("c.jmz", output.c_str()), 0);
      Session s(source, dir_.File("out"));
      s.r.QueueAnswers({true});
      s.Run();
      EXPECT_EQ(s.r.questions.size(), 1u);
      EXPECT_EQ(s.r.messages, std::vector<std::string>{ReplaceFailed(output)});
      EXPECT_TRUE(s.host.starts.empty());
      EXPECT_TRUE(ReadFile(source) == bytes);
      EXPECT_TRUE(ReadFile(output) == bytes);
      EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"c.jmz", "out.txt", "tmp"}));
      EXPECT_TRUE(FolderEntries(tmp_).empty());
      EXPECT_TRUE(s.Idle());
    }
    DeleteFile(dir_.File("out.txt"));
  }
}

TEST_F(DecryptTest, AnOutputThatAppearsAfterTheNameWasFoundFreeIsKept) {
  const std::string source = Put("c.jmz", MakeContainer(Recipe{}, RandomBytes(3000, 45)));
  const std::string output = dir_.File("out.txt");
  Session s(source, dir_.File("out"));
  s.job.faults.before_write = testing::faults::AtByte(0, [&] { WriteFile(output, "someone else's"); });
  s.Run();
  EXPECT_TRUE(s.r.questions.empty());
  EXPECT_EQ(s.r.messages, std::vector<std::string>{ReplaceFailed(output)});
  EXPECT_EQ(ReadFile(output), "someone else's");
  EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"c.jmz", "out.txt", "tmp"}));
  EXPECT_TRUE(s.Idle());
}

TEST_F(DecryptTest, OutputTakesThePermissionsOfItsContainer) {
  const std::string plain = RandomBytes(900, 46);
  const std::string source = Put("c.jmz", MakeContainer(Recipe{}, plain));
  for (mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0444}}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(::chmod(source.c_str(), mode), 0);
    DeleteFile(dir_.File("out.txt"));
    Session s(source, dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.Status(), kDone);
    EXPECT_EQ(ModeOf(dir_.File("out.txt")), mode);
  }
  // Replacing a more open file: the output is still as private as the container.
  ASSERT_EQ(::chmod(source.c_str(), 0600), 0);
  ASSERT_EQ(::chmod(dir_.File("out.txt").c_str(), 0666), 0);
  Session s(source, dir_.File("out"));
  s.r.QueueAnswers({true});
  s.Run();
  EXPECT_EQ(ModeOf(dir_.File("out.txt")), 0600u);
  EXPECT_TRUE(ReadFile(dir_.File("out.txt")) == plain);

  // A payload inside a program does not become a program.
  const std::string image = RandomBytes(4000, 47);
  const std::string container = MakeContainer(Recipe{}, plain);
  const std::string program = Put("program", image + container);
  ASSERT_EQ(::chmod(program.c_str(), 0750), 0);
  Session e(program, dir_.File("payload"));
  e.job.command = Operation::SelfDecrypt;
  e.job.self_decrypt = true;
  e.job.container_start = static_cast<int64_t>(image.size());
  e.job.payload_size = static_cast<int64_t>(container.size());
  e.Run();
  EXPECT_EQ(e.r.Status(), kDone);
  EXPECT_EQ(ModeOf(dir_.File("payload.txt")), 0640u);
}

TEST_F(DecryptTest, RealDiskFullFailsTheRunAndLeavesTheOldOutput) {
  testing::SmallDisk disk(256 << 10);
  if (!disk.Ready()) GTEST_SKIP() << "cannot mount a small tmpfs here";
  const std::string plain = RandomBytes(400 << 10, 48);
  {
    const std::string source = Put("c.jmz", MakeContainer(Recipe{}, plain));
    WriteFile(disk.File("out.txt"), "old output");
    Session s(source, disk.File("out"));
    s.r.QueueAnswers({true});
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{kStopped});
    EXPECT_EQ(ReadFile(disk.File("out.txt")), "old output");
    EXPECT_EQ(FolderEntries(disk.path()), std::vector<std::string>{"out.txt"});
  }
  {
    // The temporary folder is the one that fills up.
    Recipe recipe;
    recipe.pre_zip_level = 2;
    const std::string source = Put("z.jmz", MakeContainer(recipe, plain));
    ::setenv("TMPDIR", disk.path().c_str(), 1);
    Session s(source, dir_.File("out"));
    s.Run();
    EXPECT_EQ(s.r.messages, std::vector<std::string>{kStopped});
    EXPECT_TRUE(s.host.starts.empty());
    EXPECT_EQ(FolderEntries(disk.path()), std::vector<std::string>{"out.txt"});
  }
}

TEST_F(DecryptTest, TwoDecryptionsAtOnceNeverSeeEachOthersTemporaryFiles) {
  // Same temporary folder, outputs of the same name in two folders, both
  // compressed payloads; the runs meet mid-payload before either finishes.
  ASSERT_EQ(::mkdir(dir_.File("a").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dir_.File("b").c_str(), 0755), 0);
  Recipe recipe;
  recipe.pre_zip_level = 2;
  recipe.ext = ".tar";
  const std::string plain_a = RandomBytes(3 << 20, 49);
  const std::string plain_b = RandomBytes(3 << 20, 50);
  Session a(Put("a.jmz", MakeContainer(recipe, plain_a)), dir_.File("a/out"));
  Session b(Put("b.jmz", MakeContainer(recipe, plain_b)), dir_.File("b/out"));

  std::mutex mutex;
  std::condition_variable met;
  int arrived = 0;
  auto meet = [&](bool* done) {
    return [&, done](int64_t) {
      if (*done) return;
      *done = true;
      std::unique_lock lock(mutex);
      ++arrived;
      met.notify_all();
      met.wait_for(lock, std::chrono::seconds(10), [&] { return arrived == 2; });
    };
  };
  bool a_met = false, b_met = false;
  a.r.on_bar_position = meet(&a_met);
  b.r.on_bar_position = meet(&b_met);
  std::thread ta([&] { a.Run(); });
  std::thread tb([&] { b.Run(); });
  ta.join();
  tb.join();
  EXPECT_EQ(arrived, 2);

  for (Session* s : {&a, &b}) {
    EXPECT_TRUE(s->r.messages.empty());
    ASSERT_EQ(s->host.starts.size(), 1u);
    EXPECT_TRUE(s->host.starts[0].delete_after);
  }
  EXPECT_NE(a.host.starts[0].source, b.host.starts[0].source);
  EXPECT_EQ(a.host.starts[0].dest, dir_.File("a/out.tar"));
  EXPECT_EQ(b.host.starts[0].dest, dir_.File("b/out.tar"));
  EXPECT_TRUE(a.host.starts[0].source_bytes == plain_a);
  EXPECT_TRUE(b.host.starts[0].source_bytes == plain_b);
  EXPECT_TRUE(ReadFile(a.host.starts[0].source) == plain_a);
  EXPECT_TRUE(ReadFile(b.host.starts[0].source) == plain_b);
  EXPECT_EQ(FolderEntries(tmp_).size(), 2u);
  // The decompressions' end deletes each run's own file; nothing else is left.
  DeleteFile(a.host.starts[0].source);
  DeleteFile(b.host.starts[0].source);
  EXPECT_TRUE(FolderEntries(tmp_).empty());
}

// A real 4 GiB file through both engines: about a minute and 8 GiB of disk
// (the container and the decrypted file), so it runs only when
// VESK_BIG_TESTS is set (scripts/test.sh sets it) and the disk has room.
TEST_F(DecryptTest, FourGiBFileEncryptsAndDecryptsBack) {
  if (std::getenv("VESK_BIG_TESTS") == nullptr) GTEST_SKIP() << "set VESK_BIG_TESTS=1 to run";
  struct statvfs disk {};
  ASSERT_EQ(::statvfs(dir_.path().c_str(), &disk), 0);
  const int64_t free_bytes = static_cast<int64_t>(disk.f_bavail) * static_cast<int64_t>(disk.f_frsize);
  if (free_bytes < (int64_t{9} << 30)) {
    GTEST_SKIP() << "needs about 9 GiB free in " << dir_.path() << ", has " << (free_bytes >> 20) << " MiB";
  }
  const std::string plain = dir_.File("big.bin");
  fixture::WriteSparse(plain, kMaxPayloadSize, kMaxPayloadSize - 4, "tail");
  EncryptJob job;
  job.key = "secret";
  job.source_path = plain;
  job.target_path = dir_.File("big.jmz");
  job.original_ext = ".bin";
  RecordingReporter er;
  ScriptedRandom random(fixture::DrawValues(Recipe{}));
  er.RunEngine([&](RunContext& context) { return EncryptEngine(job, context, random); });
  ASSERT_EQ(er.Status(), "加密文件 ... 已完成。");
  EXPECT_EQ(FileSizeOf(dir_.File("big.jmz")), kMaxPayloadSize + 4 + 12 + 37);
  DeleteFile(plain);

  Session s(dir_.File("big.jmz"), dir_.File("back"));
  s.Run();
  EXPECT_TRUE(s.r.messages.empty());
  ASSERT_EQ(s.r.Status(), kDone);
  const std::string back = dir_.File("back.bin");
  ASSERT_EQ(FileSizeOf(back), kMaxPayloadSize);
  InputFile in(back);
  std::vector<char> buffer(1 << 20);
  int64_t nonzero_at = -1;
  for (int64_t pos = 0; pos < kMaxPayloadSize; pos += static_cast<int64_t>(buffer.size())) {
    in.ReadExact(buffer.data(), buffer.size());
    for (std::size_t i = 0; i < buffer.size() && nonzero_at < 0; ++i) {
      if (buffer[i] != 0) nonzero_at = pos + static_cast<int64_t>(i);
    }
  }
  EXPECT_EQ(nonzero_at, kMaxPayloadSize - 4);
  in.Seek(kMaxPayloadSize - 4);
  char tail[4];
  in.ReadExact(tail, 4);
  EXPECT_EQ(std::string(tail, 4), "tail");
}

}  // namespace
}  // namespace vesk::keyed
