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

namespace vesk::compress {
namespace {

constexpr int kMemLevel = 8;
// Beyond this many threads the memory held grows while a disk rarely keeps up.
constexpr int kMaxThreads = 64;

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

}  // namespace

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
    streams.resize(static_cast<std::size_t>(threads));  // never resized again: zlib keeps pointers into them
    for (z_stream& z : streams) {
      // Raw deflate (negative window bits): the zlib framing is written here.
      const int rc = deflateInit2(&z, level, Z_DEFLATED, -15, kMemLevel, Z_DEFAULT_STRATEGY);
      if (rc != Z_OK) {
        EndStreams();
        throw ZlibError(std::string("cannot start compression: ") + zError(rc));
      }
      ++initialised;
    }
    try {
      for (z_stream& z : streams) workers.emplace_back([this, &z] { Work(z); });
      unsigned char header[2];
      ZlibHeader(level, header);
      out(header, sizeof header);
      bytes_out = sizeof header;
    } catch (...) {
      StopWorkers();
      EndStreams();
      throw;
    }
  }

  ~Impl() {
    StopWorkers();
    EndStreams();
  }

  void StopWorkers() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    work_ready.notify_all();
    for (std::thread& t : workers) t.join();
    workers.clear();
  }

  void EndStreams() {
    for (std::size_t i = 0; i < initialised; ++i) deflateEnd(&streams[i]);
    initialised = 0;
  }

  void Work(z_stream& z) {
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
        Deflate(z, *slot);
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

  // One block as raw deflate data, primed with its dictionary, ended on a
  // byte boundary (sync flush) or, for the last block, with the final block.
  static void Deflate(z_stream& z, Slot& s) {
    if (deflateReset(&z) != Z_OK) throw ZlibError("cannot restart compression");
    if (s.dict_len > 0 && deflateSetDictionary(&z, s.dict.data(), static_cast<uInt>(s.dict_len)) != Z_OK) {
      throw ZlibError("cannot set the compression dictionary");
    }
    // The bound covers the data; the flush adds at most a few bytes more.
    const std::size_t bound = deflateBound(&z, static_cast<uLong>(s.in_len)) + 64;
    if (s.out.size() < bound) s.out.resize(bound);
    z.next_in = s.in.data();
    z.avail_in = static_cast<uInt>(s.in_len);
    z.next_out = s.out.data();
    z.avail_out = static_cast<uInt>(s.out.size());
    const int flush = s.last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      const int rc = deflate(&z, flush);
      if (rc == Z_STREAM_ERROR) throw ZlibError("compression failed");
      // A flush is complete when deflate leaves room in the output.
      if (s.last ? rc == Z_STREAM_END : z.avail_out > 0) break;
      if (z.avail_out == 0) {
        const std::size_t used = s.out.size();
        s.out.resize(used * 2);
        z.next_out = s.out.data() + used;
        z.avail_out = static_cast<uInt>(s.out.size() - used);
      }
    }
    s.out_len = z.total_out;
    s.adler = adler32_z(1, s.in.data(), s.in_len);
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

  std::vector<z_stream> streams;  // one per worker
  std::size_t initialised = 0;
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
