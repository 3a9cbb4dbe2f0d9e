#include "compress/parallel_deflate.h"

#include <sched.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "compress/deflate_writer.h"
#include "compress/inflate_codecs.h"

namespace vesk::compress {
namespace {

// Beyond this many threads the memory held grows while a disk rarely keeps up.
constexpr int kMaxThreads = 64;
constexpr int kKeepWay = 3;

// The two header bytes zlib's deflate writes for `level` with a 32 KiB
// window: method 8, window 7, the level's class, and the check bits.
void ZlibHeader(int level, unsigned char header[2]) {
  if (level == Z_DEFAULT_COMPRESSION) level = 6;
  const unsigned level_class = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned value = (0x78u << 8) | (level_class << 6);
  value += 31 - value % 31;
  header[0] = static_cast<unsigned char>(value >> 8);
  header[1] = static_cast<unsigned char>(value & 0xFF);
}

class ZlibBlockDeflater : public BlockDeflater {
 public:
  explicit ZlibBlockDeflater(int level) {
    // Raw deflate (negative window bits): the zlib framing is the writer's.
    const int rc = deflateInit2(&z_, level, Z_DEFLATED, -kZlibWindowBits, kZlibMemLevel, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) throw ZlibError(std::string("cannot start compression: ") + zError(rc));
  }
  ~ZlibBlockDeflater() override { deflateEnd(&z_); }
  ZlibBlockDeflater(const ZlibBlockDeflater&) = delete;
  ZlibBlockDeflater& operator=(const ZlibBlockDeflater&) = delete;

  std::size_t Deflate(int /*way*/, const unsigned char* dict, std::size_t dict_len, const unsigned char* in,
                      std::size_t in_len, bool last, std::vector<unsigned char>& out) override {
    if (deflateReset(&z_) != Z_OK) throw ZlibError("cannot restart compression");
    if (dict_len > 0 && deflateSetDictionary(&z_, dict, static_cast<uInt>(dict_len)) != Z_OK) {
      throw ZlibError("cannot set the compression dictionary");
    }
    // The bound covers the data; the flush adds at most a few bytes more.
    const std::size_t bound = deflateBound(&z_, static_cast<uLong>(in_len)) + 64;
    if (out.size() < bound) out.resize(bound);
    // zlib does not write through next_in; the cast only satisfies its API.
    z_.next_in = const_cast<Bytef*>(in);
    z_.avail_in = static_cast<uInt>(in_len);
    z_.next_out = out.data();
    z_.avail_out = static_cast<uInt>(out.size());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      const int rc = deflate(&z_, flush);
      if (rc == Z_STREAM_ERROR) throw ZlibError("compression failed");
      // A flush is complete when deflate leaves room in the output.
      if (last ? rc == Z_STREAM_END : z_.avail_out > 0) break;
      if (z_.avail_out == 0) {
        const std::size_t used = out.size();
        out.resize(used * 2);
        z_.next_out = out.data() + used;
        z_.avail_out = static_cast<uInt>(out.size() - used);
      }
    }
    return z_.total_out;
  }

 private:
  z_stream z_{};
};

}  // namespace

std::unique_ptr<BlockDeflater> NewZlibBlockDeflater(int level) { return std::make_unique<ZlibBlockDeflater>(level); }

int CompressionThreads() {
  if (const char* pinned = std::getenv("VESK_THREADS")) {
    char* end = nullptr;
    const long n = std::strtol(pinned, &end, 10);
    if (end != pinned && *end == '\0' && n >= 1 && n <= kMaxThreads) return static_cast<int>(n);
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::clamp(CPU_COUNT(&set), 1, kMaxThreads);
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads);
}

// One block on its way: filled by the writer's thread, deflated by a worker,
// then written by the writer's thread. The hand-overs go through the mutex.
struct Slot {
  std::vector<unsigned char> in;
  std::size_t in_len = 0;
  std::vector<unsigned char> dict;  // the source just before this block
  std::size_t dict_len = 0;
  std::vector<unsigned char> out;
  std::size_t out_len = 0;
  uLong adler = 1;
  int way = 0;            // the deflater's way for this block (BlockDeflater::Choose)
  bool last = false;
  bool done = false;      // guarded by the mutex
  std::string error;      // a failure of the library while deflating
};

struct ParallelDeflateWriter::Impl {
  Impl(CompressedSink sink, int level_in, int threads, std::size_t block)
      : out(std::move(sink)), level(level_in), block_size(std::max(block, kDeflateWindow)) {
    threads = std::clamp(threads, 1, kMaxThreads);
    // Two blocks per worker in flight keep every worker fed while the
    // oldest block waits to be written, and one more is being filled.
    slots.resize(2 * static_cast<std::size_t>(threads) + 1);
    for (Slot& s : slots) s.in.resize(block_size);
    window.resize(kDeflateWindow);
    for (int i = 0; i < threads; ++i) deflaters.push_back(ChooseBlockDeflater(level, NewZlibBlockDeflater(level)));
    chooser = ChooseBlockDeflater(level, NewZlibBlockDeflater(level));
    try {
      for (auto& d : deflaters) workers.emplace_back([this, &d] { Work(*d); });
      unsigned char header[2];
      ZlibHeader(level, header);
      out(header, sizeof header);
      bytes_out = sizeof header;
    } catch (...) {
      StopWorkers();
      throw;
    }
  }

  ~Impl() { StopWorkers(); }

  void StopWorkers() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    work_ready.notify_all();
    for (std::thread& t : workers) t.join();
    workers.clear();
  }

  void Work(BlockDeflater& deflater) {
    for (;;) {
      Slot* slot;
      {
        std::unique_lock lock(mutex);
        work_ready.wait(lock, [&] { return stopping || !queue.empty(); });
        if (stopping) return;
        slot = &slots[queue.front()];
        queue.pop_front();
      }
      try {
        slot->out_len = deflater.Deflate(slot->way, slot->dict.data(), slot->dict_len, slot->in.data(),
                                         slot->in_len, slot->last, slot->out);
        slot->adler = Adler32(slot->in.data(), slot->in_len);
      } catch (const std::exception& e) {
        slot->error = e.what();
      }
      {
        std::lock_guard lock(mutex);
        slot->done = true;
      }
      block_done.notify_all();
    }
  }

  void Write(const unsigned char* data, std::size_t n) {
    while (n > 0) {
      Slot& s = slots[filling];
      const std::size_t take = std::min(n, block_size - s.in_len);
      std::memcpy(s.in.data() + s.in_len, data, take);
      s.in_len += take;
      bytes_in += static_cast<int64_t>(take);
      data += take;
      n -= take;
      if (s.in_len == block_size) HandOver(false);
    }
  }

  void HandOver(bool last) {
    Slot& s = slots[filling];
    s.last = last;
    s.done = false;
    s.error.clear();
    if (window_len > 0) {  // none before the first block
      s.dict.resize(kDeflateWindow);
      std::memcpy(s.dict.data(), window.data(), window_len);
    }
    s.dict_len = window_len;
    // A way the deflater calls lasting, chosen for two sampled blocks in a
    // row, is kept for the kKeepWay blocks after the second: a sample costs
    // the fast level a sixth of its time, and a run of text stays text,
    // where in programs and other binary data the best way changes from
    // block to block. Chosen here, in the blocks' order, so that the stream
    // does not depend on which worker takes which block; a choice that fails
    // fails the stream here.
    if (kept_for == 0) {
      const int chosen = chooser->Choose(s.dict.data(), s.dict_len, s.in.data(), s.in_len);
      kept_for = chosen == way && chooser->Lasting(chosen) ? kKeepWay : 0;
      way = chosen;
    } else {
      --kept_for;
    }
    s.way = way;
    // Every block but the last fills the window on its own (blocks are at
    // least as large as the window), so the next dictionary is its end.
    if (s.in_len >= kDeflateWindow) {
      std::memcpy(window.data(), s.in.data() + s.in_len - kDeflateWindow, kDeflateWindow);
      window_len = kDeflateWindow;
    }
    {
      std::lock_guard lock(mutex);
      queue.push_back(filling);
    }
    work_ready.notify_one();
    ++in_flight;
    filling = (filling + 1) % slots.size();
    // The next slot to fill must be written out first if still in flight.
    WriteBlocks(slots.size() - 1);
    slots[filling].in_len = 0;
  }

  // Writes finished blocks in order; waits for the oldest while more than
  // `max_in_flight` are in flight.
  void WriteBlocks(std::size_t max_in_flight) {
    while (in_flight > 0) {
      Slot& s = slots[oldest];
      {
        std::unique_lock lock(mutex);
        if (!s.done) {
          if (in_flight <= max_in_flight) return;
          block_done.wait(lock, [&] { return s.done; });
        }
      }
      if (!s.error.empty()) throw ZlibError(s.error);
      out(s.out.data(), s.out_len);
      bytes_out += static_cast<int64_t>(s.out_len);
      adler = adler32_combine(adler, s.adler, static_cast<z_off_t>(s.in_len));
      oldest = (oldest + 1) % slots.size();
      --in_flight;
    }
  }

  void Finish() {
    HandOver(true);
    WriteBlocks(0);
    const unsigned char trailer[4] = {static_cast<unsigned char>(adler >> 24), static_cast<unsigned char>(adler >> 16),
                                      static_cast<unsigned char>(adler >> 8), static_cast<unsigned char>(adler)};
    out(trailer, sizeof trailer);
    bytes_out += sizeof trailer;
  }

  const CompressedSink out;
  const int level;
  const std::size_t block_size;

  // The writer's thread only.
  std::vector<Slot> slots;  // a ring: oldest .. oldest + in_flight - 1 in flight, then the one filling
  std::size_t filling = 0;
  std::size_t oldest = 0;
  std::size_t in_flight = 0;
  std::vector<unsigned char> window;  // the last 32 KiB of source handed over
  std::size_t window_len = 0;
  int64_t bytes_in = 0;
  int64_t bytes_out = 0;
  uLong adler = 1;
  bool finished = false;
  int way = -1;                             // the last choice; none yet
  int kept_for = 0;                         // blocks it is still kept for
  std::unique_ptr<BlockDeflater> chooser;  // makes the choices, on the writer's thread

  std::vector<std::unique_ptr<BlockDeflater>> deflaters;  // one per worker
  std::vector<std::thread> workers;

  std::mutex mutex;
  std::condition_variable work_ready;
  std::condition_variable block_done;
  std::deque<std::size_t> queue;  // slots handed over and not yet taken, guarded by the mutex
  bool stopping = false;          // guarded by the mutex
};

ParallelDeflateWriter::ParallelDeflateWriter(OutputFile& out, int level, int threads, std::size_t block_size)
    : ParallelDeflateWriter([&out](const void* data, std::size_t n) { out.Write(data, n); }, level, threads,
                            block_size) {}

ParallelDeflateWriter::ParallelDeflateWriter(CompressedSink out, int level, int threads, std::size_t block_size)
    : impl_(std::make_unique<Impl>(std::move(out), level, threads, block_size)) {}

ParallelDeflateWriter::~ParallelDeflateWriter() = default;

void ParallelDeflateWriter::Write(const void* data, std::size_t n) {
  impl_->Write(static_cast<const unsigned char*>(data), n);
}

void ParallelDeflateWriter::Finish() {
  if (impl_->finished) return;
  impl_->Finish();
  impl_->finished = true;
}

int64_t ParallelDeflateWriter::BytesIn() const { return impl_->bytes_in; }

int64_t ParallelDeflateWriter::BytesOut() {
  impl_->WriteBlocks(0);
  return impl_->bytes_out;
}

}  // namespace vesk::compress
