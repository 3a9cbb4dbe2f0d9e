#include "compress/compressor.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "support/faults.h"
#include "support/temp_dir.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"
#include "zlib_oracle.h"

namespace vesk {
namespace {

using std::chrono::milliseconds;
using testing::ReadFile;
using testing::ZlibCompress;
using testing::ZlibUncompress;
using testing::WriteFile;

// Data that compresses well but not trivially.
std::string Text(std::size_t n) {
  std::string out;
  for (uint32_t i = 0; out.size() < n; ++i) out += "line " + std::to_string(i % 977) + " of the sample text\n";
  out.resize(n);
  return out;
}

// Pins the number of compression threads for one scope.
class ThreadsPinned {
 public:
  explicit ThreadsPinned(const char* count) {
    if (const char* old = std::getenv("VESK_THREADS")) saved_ = old;
    ::setenv("VESK_THREADS", count, 1);
  }
  ~ThreadsPinned() {
    if (saved_) {
      ::setenv("VESK_THREADS", saved_->c_str(), 1);
    } else {
      ::unsetenv("VESK_THREADS");
    }
  }

 private:
  std::optional<std::string> saved_;
};

class CompressorTest : public ::testing::Test {
 protected:
  CompressorTest() { Hook(zip); }

  void Hook(Compressor& z) {
    z.OnBegin = [this](int64_t n) { events.push_back("begin " + std::to_string(n)); };
    z.OnProcess = [this](int64_t n) {
      events.push_back("process " + std::to_string(n));
      last_done = n;
    };
    z.OnEnd = [this](bool normal, float rate) {
      events.push_back(std::string("end ") + (normal ? "true" : "false"));
      ++ends;
      last_rate = rate;
    };
  }

  void RunToEnd(int count = 1) { ASSERT_TRUE(ui.RunUntil([&] { return ends >= count; }, milliseconds(20000))); }

  void Compress(const std::string& src, const std::string& dst, TCompressionLevel level = TCompressionLevel::clDefault) {
    zip.SourceFile = src;
    zip.DestFile = dst;
    zip.ZipLevel = level;
    zip.Compress();
  }
  void Decompress(const std::string& src, const std::string& dst) {
    zip.SourceFile = src;
    zip.DestFile = dst;
    zip.Decompress();
  }
  int ProcessEvents() const {
    int n = 0;
    for (const auto& e : events) n += e.rfind("process", 0) == 0;
    return n;
  }

  // Destroyed last: workers that ended may still be leaving their threads.
  struct Drain {
    ~Drain() { WaitForWorkers(milliseconds(5000)); }
  } drain;
  QueuedUiThread ui;
  testing::TempDir dir;
  std::vector<std::string> events;
  int ends = 0;
  int64_t last_done = -1;
  float last_rate = -1;
  Compressor zip{ui};
};

TEST_F(CompressorTest, EmptySourceGivesTheEightByteStreamAndBack) {
  WriteFile(dir.File("empty"), "");
  Compress(dir.File("empty"), dir.File("empty.zak"));
  EXPECT_TRUE(zip.Busy());
  RunToEnd();
  EXPECT_FALSE(zip.Busy());
  EXPECT_EQ(events, (std::vector<std::string>{"begin 0", "end true"}));
  EXPECT_EQ(last_rate, 0.0f);
  EXPECT_EQ(ReadFile(dir.File("empty.zak")), std::string("\x78\x9C\x03\x00\x00\x00\x00\x01", 8));

  events.clear();
  WriteFile(dir.File("out"), "old content is replaced");
  Decompress(dir.File("empty.zak"), dir.File("out"));
  RunToEnd(2);
  EXPECT_EQ(events, (std::vector<std::string>{"begin 0", "end true"}));
  EXPECT_TRUE(FileExists(dir.File("out")));
  EXPECT_EQ(ReadFile(dir.File("out")), "");
}

TEST_F(CompressorTest, ChunksAre65535BytesBothWays) {
  // Zeros make a stream of a few bytes whose end the decoder reaches with
  // output still to give: it must not be taken for a cut-short stream.
  for (const auto& [size, zeros] : {std::pair{65535u, false}, {65536u, false}, {65536u, true}, {131071u, true}}) {
    events.clear();
    const std::string data = zeros ? std::string(size, '\0') : testing::RandomBytes(size, 7);
    WriteFile(dir.File("in"), data);
    Compress(dir.File("in"), dir.File("in.zak"));
    RunToEnd(ends + 1);
    Decompress(dir.File("in.zak"), dir.File("back"));
    RunToEnd(ends + 1);
    std::vector<std::string> run = {"begin " + std::to_string(size)};
    for (std::size_t done = 65535; done < size + 65535; done += 65535) {
      run.push_back("process " + std::to_string(std::min<std::size_t>(done, size)));
    }
    run.push_back("end true");
    std::vector<std::string> both = run;
    both.insert(both.end(), run.begin(), run.end());
    EXPECT_EQ(events, both);
    EXPECT_EQ(ReadFile(dir.File("back")), data);
  }
}

TEST_F(CompressorTest, EveryLevelAndThreadCountRoundTrips) {
  const std::string data = Text(300000) + testing::RandomBytes(70000, 3);
  WriteFile(dir.File("in"), data);
  const struct {
    TCompressionLevel level;
    int zlib_level;
  } cases[] = {{TCompressionLevel::clNone, 0},
               {TCompressionLevel::clFastest, 1},
               {TCompressionLevel::clDefault, 6},
               {TCompressionLevel::clMax, 9}};
  for (const char* threads : {"1", "3"}) {
    ThreadsPinned pin(threads);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(threads) + " threads, level " + std::to_string(c.zlib_level));
      events.clear();
      Compress(dir.File("in"), dir.File("in.zak"), c.level);
      RunToEnd(ends + 1);
      ASSERT_EQ(events.back(), "end true");
      EXPECT_EQ(ProcessEvents(), 6);  // 370000 bytes: five full chunks and one part
      const std::string stream = ReadFile(dir.File("in.zak"));
      EXPECT_EQ(ZlibUncompress(stream, data.size()), data);
      if (c.zlib_level == 0) {
        // Stored blocks: zlib header 78 01, then a block header of type 00.
        EXPECT_EQ(stream.substr(0, 2), "\x78\x01");
        EXPECT_EQ(static_cast<unsigned char>(stream[2]) & 0x06, 0);
        EXPECT_GT(stream.size(), data.size());
      } else {
        // One thread writes exactly zlib's stream; more stay within 1 % of it.
        const std::string zlib = ZlibCompress(data, c.zlib_level);
        if (threads[0] == '1') {
          EXPECT_EQ(stream, zlib);
        }
        EXPECT_LE(static_cast<double>(stream.size()), 1.01 * static_cast<double>(zlib.size()));
        EXPECT_GT(last_rate, 50.0f);
        EXPECT_LT(last_rate, 100.0f);
      }

      Decompress(dir.File("in.zak"), dir.File("back"));
      RunToEnd(ends + 1);
      EXPECT_EQ(events.back(), "end true");
      EXPECT_EQ(last_rate, 0.0f);
      EXPECT_EQ(last_done, static_cast<int64_t>(data.size()));
      EXPECT_EQ(ReadFile(dir.File("back")), data);
    }
  }
}

TEST_F(CompressorTest, DecompressionEndsAtTheStreamEnd) {
  const std::string data = Text(200000);
  const std::string stream = ZlibCompress(data, 6);
  // Bytes behind a complete stream are not data, not even a second stream.
  for (const std::string& behind :
       {"garbage behind the stream" + std::string(70000, 'x'), ZlibCompress("a second stream", 6)}) {
    events.clear();
    WriteFile(dir.File("trailing.zak"), stream + behind);
    Decompress(dir.File("trailing.zak"), dir.File("a"));
    RunToEnd(ends + 1);
    EXPECT_EQ(events.front(), "begin " + std::to_string(data.size()));
    EXPECT_EQ(events.back(), "end true");
    EXPECT_EQ(ProcessEvents(), 4);  // 200000 bytes: three full chunks and one part
    EXPECT_EQ(last_done, static_cast<int64_t>(data.size()));
    EXPECT_EQ(ReadFile(dir.File("a")), data);
  }
}

TEST_F(CompressorTest, AnythingButOneCompleteStreamFailsBeforeBeginAndLeavesAnEmptyDest) {
  const std::string stream = ZlibCompress(Text(200000), 6);
  std::string bad_check = stream;
  bad_check.back() ^= 0x01;  // the Adler-32 no longer matches
  std::string bad_data = stream;
  bad_data[stream.size() / 2] ^= 0x10;
  std::string bad_header = stream;
  bad_header[1] ^= 0x01;  // the header's own check fails
  // Large enough that the output pass has written megabytes when the
  // length pass refuses the stream.
  std::string large = ZlibCompress(Text(6 << 20) + testing::RandomBytes(1 << 20, 4), 1);
  std::string large_bad_check = large;
  large_bad_check[large.size() - 2] ^= 0x40;
  const struct {
    const char* what;
    std::string source;
  } cases[] = {
      {"plain text", "this is plain text, not a compressed stream"},
      {"empty file", ""},
      {"header only", stream.substr(0, 2)},
      {"cut in the middle", stream.substr(0, stream.size() / 2)},
      {"no trailer", stream.substr(0, stream.size() - 4)},
      {"one trailer byte missing", stream.substr(0, stream.size() - 1)},
      {"bad Adler-32", bad_check},
      {"damaged data", bad_data},
      {"bad header", bad_header},
      {"large, one trailer byte missing", large.substr(0, large.size() - 1)},
      {"large, bad Adler-32", large_bad_check},
  };
  for (const char* threads : {"1", "2"}) {
    ThreadsPinned pin(threads);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", " + threads + " threads");
      events.clear();
      WriteFile(dir.File("foreign"), c.source);
      WriteFile(dir.File("out"), "previous");
      Decompress(dir.File("foreign"), dir.File("out"));
      RunToEnd(ends + 1);
      EXPECT_EQ(events, (std::vector<std::string>{"end false"}));
      EXPECT_EQ(last_rate, 0.0f);
      ASSERT_TRUE(FileExists(dir.File("out")));  // the handler decides what to do with it
      EXPECT_EQ(ReadFile(dir.File("out")), "");
    }
  }
}

TEST_F(CompressorTest, StopDeliversTheEndWhileWaitingAndLeavesACompleteShorterStream) {
  const std::string data = testing::RandomBytes(3 << 20, 11);
  WriteFile(dir.File("big"), data);
  for (const char* threads : {"1", "4"}) {
    SCOPED_TRACE(std::string(threads) + " threads");
    ThreadsPinned pin(threads);
    events.clear();
    const int before = ends;
    Compress(dir.File("big"), dir.File("big.zak"));
    ASSERT_TRUE(ui.RunUntil([&] { return ProcessEvents() >= 2; }, milliseconds(20000)));
    zip.Stop();
    EXPECT_EQ(ends, before + 1);
    EXPECT_EQ(events.back(), "end false");
    EXPECT_EQ(last_rate, 0.0f);
    EXPECT_FALSE(zip.Busy());
    ASSERT_LT(last_done, static_cast<int64_t>(data.size()));
    EXPECT_EQ(ZlibUncompress(ReadFile(dir.File("big.zak")), data.size()), data.substr(0, last_done));

    zip.Stop();  // idle: nothing happens
    EXPECT_EQ(ends, before + 1);
  }
}

TEST_F(CompressorTest, StopFromAnotherThreadOrFromInsideAHandlerDoesNotDeadlock) {
  const std::string data = testing::RandomBytes(1 << 20, 5);
  WriteFile(dir.File("in"), data);

  Compress(dir.File("in"), dir.File("a.zak"));
  ASSERT_TRUE(ui.RunUntil([&] { return ProcessEvents() >= 1; }, milliseconds(20000)));
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    zip.Stop();
    stopped = true;
    ui.Wake();
  });
  ASSERT_TRUE(ui.RunUntil([&] { return stopped.load(); }, milliseconds(20000)));
  stopper.join();
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(events.back(), "end false");

  // Stop inside OnProcess only asks; the end follows after the handler.
  events.clear();
  zip.OnProcess = [this](int64_t n) {
    events.push_back("process " + std::to_string(n));
    zip.Stop();
  };
  Compress(dir.File("in"), dir.File("b.zak"));
  RunToEnd(2);
  EXPECT_EQ(events, (std::vector<std::string>{"begin " + std::to_string(data.size()), "process 65535", "end false"}));
  EXPECT_EQ(ZlibUncompress(ReadFile(dir.File("b.zak")), data.size()), data.substr(0, 65535));

  // A stopped decompression leaves what it wrote, the chunk reported and,
  // when the output pass ran ahead of the length pass, a little more of the
  // same output; the end handler decides.
  events.clear();
  Decompress(dir.File("a.zak"), dir.File("c"));
  RunToEnd(3);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1], "process 65535");
  EXPECT_EQ(events.back(), "end false");
  const std::string left = ReadFile(dir.File("c"));
  EXPECT_GE(left.size(), 65535u);
  EXPECT_TRUE(data.compare(0, left.size(), left) == 0);
}

TEST_F(CompressorTest, StartsAreIgnoredWhileRunningOrWithoutSource) {
  Compress(dir.File("missing"), dir.File("x.zak"));
  EXPECT_FALSE(zip.Busy());
  Decompress(dir.File("missing"), dir.File("x"));
  EXPECT_FALSE(zip.Busy());
  Compress(dir.path(), dir.File("x.zak"));  // a folder is no source either
  EXPECT_FALSE(zip.Busy());

  const std::string data = Text(500000);
  WriteFile(dir.File("in"), data);
  Compress(dir.File("in"), dir.File("in.zak"));
  // The worker cannot end before this thread pumps, so it is still running.
  zip.DestFile = dir.File("other.zak");
  zip.Compress();
  zip.Decompress();
  EXPECT_TRUE(zip.Busy());
  RunToEnd();
  // Idle after its end: no second worker was started, and what is still
  // queued is all there will be.
  EXPECT_FALSE(zip.Busy());
  ui.ProcessPending();
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(events.front(), "begin " + std::to_string(data.size()));
  EXPECT_FALSE(FileExists(dir.File("other.zak")));
  EXPECT_FALSE(FileExists(dir.File("x.zak")));
  EXPECT_EQ(ZlibUncompress(ReadFile(dir.File("in.zak")), data.size()), data);
}

TEST_F(CompressorTest, EndHandlerCanStartTheNextRun) {
  const std::string data = Text(150000);
  WriteFile(dir.File("in"), data);
  bool busy_in_handler = true;
  zip.OnEnd = [&](bool normal, float) {
    ++ends;
    events.push_back(std::string("end ") + (normal ? "true" : "false"));
    if (ends == 1) {
      busy_in_handler = zip.Busy();
      Decompress(dir.File("in.zak"), dir.File("back"));
    }
  };
  Compress(dir.File("in"), dir.File("in.zak"));
  RunToEnd(2);
  EXPECT_FALSE(busy_in_handler);
  EXPECT_EQ(events.back(), "end true");
  EXPECT_EQ(ReadFile(dir.File("back")), data);
}

TEST_F(CompressorTest, DestructionWhileRunningDeliversNoEvents) {
  const std::string data = testing::RandomBytes(1 << 20, 9);
  WriteFile(dir.File("in"), data);
  {
    Compressor other(ui);
    Hook(other);
    other.SourceFile = dir.File("in");
    other.DestFile = dir.File("in.zak");
    other.Compress();
    ASSERT_TRUE(ui.RunUntil([&] { return ProcessEvents() >= 1; }, milliseconds(20000)));
    events.clear();
  }
  // The destructor has waited for the worker; the calls it left queued are harmless.
  ui.ProcessPending();
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(ends, 0);
  EXPECT_TRUE(FileExists(dir.File("in.zak")));  // never deleted by the component
}

TEST_F(CompressorTest, AFailingHandlerEndsTheRunAsAFailure) {
  WriteFile(dir.File("in"), Text(200000));
  zip.OnProcess = [](int64_t) { throw std::runtime_error("handler failed"); };
  Compress(dir.File("in"), dir.File("in.zak"));
  RunToEnd();
  EXPECT_EQ(events, (std::vector<std::string>{"begin 200000", "end false"}));
}

TEST_F(CompressorTest, ReadAndWriteFaultsFailTheRunAndShortReadsChangeNothing) {
  const std::string data = Text(300000);
  WriteFile(dir.File("in"), data);
  // Short reads: still one stream of the whole file, as zlib reads it.
  zip.Faults.before_read = testing::faults::ShortReads(1000);
  Compress(dir.File("in"), dir.File("in.zak"), TCompressionLevel::clMax);
  RunToEnd();
  EXPECT_EQ(events.back(), "end true");
  EXPECT_EQ(ZlibUncompress(ReadFile(dir.File("in.zak")), data.size()), data);

  // A source that fails or ends early, a write or the close of the stream that fails.
  const std::vector<FaultHooks> faults = {{nullptr, testing::faults::FailReadAt(200000)},
                                          {nullptr, testing::faults::EndAt(100000)},
                                          {testing::faults::FailWriteAt(10, ENOSPC), nullptr},
                                          {testing::faults::FailOnFlush(EIO), nullptr}};
  for (const FaultHooks& fault : faults) {
    events.clear();
    zip.Faults = fault;
    Compress(dir.File("in"), dir.File("out.zak"), TCompressionLevel::clMax);
    RunToEnd(ends + 1);
    EXPECT_EQ(events.back(), "end false");
  }

  // Decompressing: a stream that cannot be read, one cut short, an output that fails.
  const std::vector<FaultHooks> back_faults = {{nullptr, testing::faults::FailReadAt(50)},
                                               {nullptr, testing::faults::EndAt(100)},
                                               {testing::faults::FailWriteAt(150000, ENOSPC), nullptr}};
  for (const FaultHooks& fault : back_faults) {
    events.clear();
    zip.Faults = fault;
    Decompress(dir.File("in.zak"), dir.File("back"));
    RunToEnd(ends + 1);
    EXPECT_EQ(events.back(), "end false");
  }
  zip.Faults = {nullptr, testing::faults::ShortReads(7)};
  Decompress(dir.File("in.zak"), dir.File("back"));
  RunToEnd(ends + 1);
  EXPECT_EQ(events.back(), "end true");
  EXPECT_TRUE(ReadFile(dir.File("back")) == data);
}

// The file being written holds plaintext (a decompression) or its
// compressed copy: only its owner may read it while it is written, wherever
// it is, whatever the bits of the source.
TEST_F(CompressorTest, TheDestIsPrivateWhileWritten) {
  WriteFile(dir.File("in"), Text(100000));
  ASSERT_EQ(::chmod(dir.File("in").c_str(), 0644), 0);
  mode_t seen = 0;
  zip.Faults.before_write = [&](int64_t, std::size_t) {
    struct stat st {};
    if (seen == 0 && ::stat(zip.DestFile.c_str(), &st) == 0) seen = st.st_mode & 0777;
  };
  Compress(dir.File("in"), dir.File("in.zak"));
  RunToEnd();
  EXPECT_EQ(seen, 0600u);
  seen = 0;
  Decompress(dir.File("in.zak"), dir.File("out"));
  RunToEnd(2);
  EXPECT_EQ(seen, 0600u);
}

}  // namespace
}  // namespace vesk
