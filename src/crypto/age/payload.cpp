#include "crypto/age/payload.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "crypto/age/aead.h"
#include "crypto/age/kdf.h"

namespace vesk::age {
namespace {

constexpr std::size_t kSealedChunk = kChunkSize + kTagSize;

// A fixed set of threads that runs one parallel loop at a time:
// Start(count, job) calls job(0..count-1, slot) across the threads and
// returns at once; Wait() returns when every call has finished. `slot`
// (below slots()) names the thread making the call, so that each can keep
// state of its own. With no threads the loop runs inside Wait(), slot 0.
class Workers {
 public:
  explicit Workers(unsigned threads) {
    // Fewer threads (or none: everything on the caller's) if the system
    // refuses to start more; the result is the same, only slower.
    try {
      for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this, i] { Loop(i); });
    } catch (const std::system_error&) {
    }
  }
  ~Workers() {
    Wait();
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
  }
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  std::size_t slots() const { return std::max<std::size_t>(1, threads_.size()); }

  void Start(std::size_t count, std::function<void(std::size_t, unsigned)> job) {
    std::lock_guard lock(mutex_);
    job_ = std::move(job);
    count_ = count;
    next_ = 0;
    if (threads_.empty()) {
      inline_pending_ = true;
      return;
    }
    busy_ = threads_.size();
    ++generation_;
    wake_.notify_all();
  }

  void Wait() {
    if (threads_.empty()) {
      if (inline_pending_) {
        inline_pending_ = false;
        for (std::size_t i = 0; i < count_; ++i) job_(i, 0);
      }
      return;
    }
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return busy_ == 0; });
  }

 private:
  void Loop(unsigned slot) {
    uint64_t seen = 0;
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
        if (quit_) return;
        seen = generation_;
      }
      for (std::size_t i; (i = next_.fetch_add(1)) < count_;) job_(i, slot);
      std::lock_guard lock(mutex_);
      if (--busy_ == 0) done_.notify_all();
    }
  }

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::function<void(std::size_t, unsigned)> job_;
  std::size_t count_ = 0;
  std::atomic<std::size_t> next_ {0};
  std::size_t busy_ = 0;
  uint64_t generation_ = 0;
  bool quit_ = false;
  bool inline_pending_ = false;
};

unsigned ThreadCount(unsigned requested) {
  if (requested > 0) return std::min(requested, 64u);
  return std::clamp(std::thread::hardware_concurrency(), 1u, 64u);
}

// The ChaCha20-Poly1305 nonce of chunk `index`.
void ChunkNonce(uint64_t index, bool final, uint8_t nonce[12]) {
  std::memset(nonce, 0, 12);
  for (int i = 0; i < 8; ++i) nonce[10 - i] = static_cast<uint8_t>(index >> (8 * i));
  nonce[11] = final ? 1 : 0;
}

// The payload key, or an empty one if libcrypto fails.
SecretBytes PayloadKey(const SecretBytes& file_key, const uint8_t nonce[kPayloadNonceSize]) {
  SecretBytes key(kAeadKeySize);
  if (!HkdfSha256(file_key.span(), {nonce, kPayloadNonceSize}, "payload", {key.data(), key.size()})) return {};
  return key;
}

// One cipher context per worker slot, or none if libcrypto cannot make them.
std::vector<std::unique_ptr<ChaChaPoly>> Contexts(std::size_t n) {
  std::vector<std::unique_ptr<ChaChaPoly>> out;
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(std::make_unique<ChaChaPoly>());
    if (!out.back()->ready()) return {};
  }
  return out;
}

Result CryptoFailure() { return Result::Fail(Status::kInternalError, "ChaCha20-Poly1305 failed in libcrypto"); }

Result ReadFailure(const BufferedReader& in) {
  return in.failure().ok() ? Result::Fail(Status::kIoError, "reading the input failed") : in.failure();
}

Result WriteFailure(const Sink& out) {
  return out.failure().ok() ? Result::Fail(Status::kIoError, "writing the output failed") : out.failure();
}

// Writes batches on a thread of its own, in the order they are handed
// over, so that writing overlaps reading and the cryptography. Before each
// write it checks `stop`; after each it calls after_batch (on its thread).
// If the system refuses the thread, Push() writes on the caller's thread.
class BatchWriter {
 public:
  BatchWriter(Sink& out, const PayloadOptions& options, const std::atomic<bool>& stop)
      : out_(out), options_(options), stop_(stop) {
    try {
      thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
    }
  }
  ~BatchWriter() { Finish(); }
  BatchWriter(const BatchWriter&) = delete;
  BatchWriter& operator=(const BatchWriter&) = delete;

  // Queues `n` bytes at `data`, which must stay unchanged until written()
  // has counted this push. `position` is passed on to after_batch.
  void Push(const uint8_t* data, std::size_t n, uint64_t position) {
    if (!thread_.joinable()) {
      Write({data, n, position});
      ++written_;
      return;
    }
    {
      std::lock_guard lock(mutex_);
      queue_.push_back({data, n, position});
    }
    wake_.notify_one();
  }

  // Waits until `count` pushes have been written or writing has stopped;
  // false if it has stopped (failure() says why).
  bool WaitWritten(uint64_t count) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return written_ >= count || !failure_.ok(); });
    return failure_.ok();
  }

  // Waits for every push to be written (or writing to stop) and returns
  // the first failure: kCancelled, or the sink's.
  Result Finish() {
    if (thread_.joinable()) {
      {
        std::lock_guard lock(mutex_);
        quit_ = true;
      }
      wake_.notify_one();
      thread_.join();
    }
    return failure_;
  }

 private:
  struct Piece {
    const uint8_t* data;
    std::size_t size;
    uint64_t position;
  };

  // Writes one piece unless writing has stopped; records why it stops.
  void Write(const Piece& p) {
    if (!failure_.ok()) return;
    Result r;
    if (stop_.load()) {
      r = Result::Fail(Status::kCancelled, "cancelled");
    } else if (!out_.Write(p.data, p.size)) {
      r = WriteFailure(out_);
    } else if (options_.after_batch) {
      options_.after_batch(p.position);
    }
    if (!r.ok()) {
      std::lock_guard lock(mutex_);
      failure_ = std::move(r);
    }
  }

  void Loop() {
    for (;;) {
      Piece p {};
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
        if (queue_.empty()) return;  // quit_ and nothing left
        p = queue_.front();
        queue_.pop_front();
      }
      Write(p);
      {
        std::lock_guard lock(mutex_);
        ++written_;
      }
      done_.notify_all();
    }
  }

  Sink& out_;
  const PayloadOptions& options_;
  const std::atomic<bool>& stop_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<Piece> queue_;
  uint64_t written_ = 0;
  bool quit_ = false;
  Result failure_;  // written by the writing thread under mutex_ (or by Push without a thread)
};

// Batches in flight: one being read, one in the workers' hands, and the
// rest queued for the writer.
constexpr std::size_t kBatchesInFlight = 4;

// A batch's buffer, left uninitialised: only the bytes read into it or
// written by the cipher are ever used, and the pages a short input never
// reaches are never touched (zeroing the full buffers of all batches cost
// a small file far more than its cryptography).
class ChunkBuffer {
 public:
  void resize(std::size_t n) {
    data_ = std::make_unique_for_overwrite<uint8_t[]>(n);
    size_ = n;
  }
  uint8_t* data() { return data_.get(); }
  const uint8_t* data() const { return data_.get(); }
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  std::size_t size_ = 0;
};

// One batch of chunks in flight.
struct Batch {
  ChunkBuffer in, out;
  std::size_t count = 0;      // chunks to process
  std::size_t last_size = 0;  // bytes of the last chunk (sealed size when decrypting)
  bool ends = false;          // the last chunk is the final one
  uint64_t first = 0;         // index of the first chunk
  std::vector<ChaChaPoly::Opened> opened;  // per chunk, when decrypting
  std::atomic<bool> failed {false};         // libcrypto failed on a chunk
  Result tail;                // a problem with the data after the processed chunks
  std::size_t bytes = 0;      // bytes to write
  uint64_t position = 0;      // the input position once the batch was read
};

uint64_t InputPosition(const BufferedReader& in, const PayloadOptions& options) {
  return options.input_position ? options.input_position() : in.position();
}

// The writer's failure if it has one, else `r`.
Result FirstFailure(BatchWriter& writer, Result r) {
  Result w = writer.Finish();
  return w.ok() ? r : w;
}

// Runs the batches through the pipeline both directions share. Each turn,
// on this thread, fill(batch, ended) reads the next batch (ended: the input
// is done with it) while the workers run job(batch, i, slot) for each chunk
// i of the batch before it; once they are done, hand_over(batch) passes that
// one to the writer. A batch is filled again only once the writer is done
// with it. Stops at the first failure of any of them, or when `stop` is
// raised between batches; the writer's failure, which came first, wins.
template <typename Fill, typename Job, typename HandOver>
Result RunBatches(Batch (&batches)[kBatchesInFlight], Workers& workers, BatchWriter& writer,
                  const std::atomic<bool>& stop, Fill fill, Job job, HandOver hand_over) {
  Batch* prev = nullptr;
  auto hand_over_prev = [&] { return prev == nullptr ? Result::Ok() : hand_over(*prev); };
  auto fail = [&](Result r) {
    workers.Wait();
    return FirstFailure(writer, std::move(r));
  };
  bool ended = false;
  for (uint64_t turn = 0; !ended; ++turn) {
    // The batch filled now was last used kBatchesInFlight turns ago.
    if (turn >= kBatchesInFlight && !writer.WaitWritten(turn - kBatchesInFlight + 1)) return fail(Result::Ok());
    if (stop.load()) return fail(Result::Fail(Status::kCancelled, "cancelled"));
    Batch& b = batches[turn % kBatchesInFlight];
    if (Result r = fill(b, ended); !r.ok()) return fail(r);
    workers.Wait();
    if (Result r = hand_over_prev(); !r.ok()) return fail(r);
    workers.Start(b.count, [&job, &b](std::size_t i, unsigned slot) { job(b, i, slot); });
    prev = &b;
  }
  workers.Wait();
  if (Result r = hand_over_prev(); !r.ok()) return fail(r);
  return writer.Finish();
}

}  // namespace

Result EncryptPayload(BufferedReader& in, Sink& out, const SecretBytes& file_key, const PayloadOptions& options,
                      const std::atomic<bool>& stop) {
  if (!CryptoReady()) return Result::Fail(Status::kInternalError, "OpenSSL's libcrypto lacks an algorithm age needs");
  uint8_t nonce[kPayloadNonceSize];
  if (!RandomBytes(nonce, sizeof nonce)) return Result::Fail(Status::kInternalError, "the system has no random bytes");
  const SecretBytes key = PayloadKey(file_key, nonce);
  if (key.empty()) return Result::Fail(Status::kInternalError, "HKDF failed");

  const std::size_t per_batch = std::max<std::size_t>(1, options.batch_chunks);
  Batch batches[kBatchesInFlight];
  for (Batch& b : batches) b.in.resize(per_batch * kSealedChunk);
  Workers workers(ThreadCount(options.threads));
  auto contexts = Contexts(workers.slots());
  if (contexts.empty()) return CryptoFailure();
  if (!out.Write(nonce, sizeof nonce)) return WriteFailure(out);
  BatchWriter writer(out, options, stop);
  uint64_t next_index = 0;

  // Reads up to per_batch chunks of plaintext into b, each at i *
  // kSealedChunk so that it is sealed in place.
  auto fill = [&](Batch& b, bool& ended) -> Result {
    b.count = 0;
    b.ends = false;
    for (std::size_t i = 0; i < per_batch; ++i) {
      const long got = in.ReadFull(b.in.data() + i * kSealedChunk, kChunkSize);
      if (got < 0) return ReadFailure(in);
      if (got == 0 && (i > 0 || next_index > 0)) {
        // The previous chunk, a full one, was the last.
        b.ends = true;
        break;
      }
      b.count = i + 1;
      b.last_size = static_cast<std::size_t>(got);
      if (got < static_cast<long>(kChunkSize)) {
        b.ends = true;
        break;
      }
    }
    if (!b.ends) {
      b.ends = in.AtEnd();
      if (in.failed()) return ReadFailure(in);
    }
    // A full batch was followed by more data that has now vanished.
    if (b.count == 0) return Result::Fail(Status::kIoError, "the input changed while it was read");
    ended = b.ends;
    b.first = next_index;
    next_index += b.count;
    b.bytes = (b.count - 1) * kSealedChunk + b.last_size + kTagSize;
    b.position = InputPosition(in, options);
    b.failed = false;
    return Result::Ok();
  };
  // Seals chunk i of b in place: the tag right after its plaintext, so that
  // the sealed batch is contiguous.
  auto seal = [&key, &contexts](Batch& b, std::size_t i, unsigned slot) {
    uint8_t* chunk = b.in.data() + i * kSealedChunk;
    const std::size_t size = i + 1 == b.count ? b.last_size : kChunkSize;
    uint8_t n[12];
    ChunkNonce(b.first + i, b.ends && i + 1 == b.count, n);
    if (!contexts[slot]->Seal(key.data(), n, chunk, size, chunk, chunk + size)) b.failed = true;
  };
  auto hand_over = [&writer](Batch& b) -> Result {
    if (b.failed) return CryptoFailure();
    writer.Push(b.in.data(), b.bytes, b.position);
    return Result::Ok();
  };
  return RunBatches(batches, workers, writer, stop, fill, seal, hand_over);
}

Result DecryptPayload(BufferedReader& in, Sink& out, const SecretBytes& file_key, const PayloadOptions& options,
                      const std::atomic<bool>& stop) {
  if (!CryptoReady()) return Result::Fail(Status::kInternalError, "OpenSSL's libcrypto lacks an algorithm age needs");
  uint8_t nonce[kPayloadNonceSize];
  const long got_nonce = in.ReadFull(nonce, sizeof nonce);
  if (got_nonce < 0) return ReadFailure(in);
  if (got_nonce < static_cast<long>(sizeof nonce))
    return Result::Fail(Status::kTruncated, "the file ends before its payload starts");
  const SecretBytes key = PayloadKey(file_key, nonce);
  if (key.empty()) return Result::Fail(Status::kInternalError, "HKDF failed");

  const std::size_t per_batch = std::max<std::size_t>(1, options.batch_chunks);
  Batch batches[kBatchesInFlight];
  for (Batch& b : batches) {
    b.in.resize(per_batch * kSealedChunk);
    b.out.resize(per_batch * kChunkSize);
    b.opened.assign(per_batch, ChaChaPoly::Opened::kFailed);
  }
  Workers workers(ThreadCount(options.threads));
  // One more context for this thread's second look at a failed chunk.
  auto contexts = Contexts(workers.slots() + 1);
  if (contexts.empty()) return CryptoFailure();
  ChaChaPoly& own = *contexts.back();
  BatchWriter writer(out, options, stop);
  uint64_t next_index = 0;

  auto chunk_size = [](const Batch& b, std::size_t i) { return i + 1 == b.count ? b.last_size : kSealedChunk; };
  auto try_open = [&key](ChaChaPoly& aead, const Batch& b, std::size_t i, std::size_t size, bool final,
                         uint8_t* plain) {
    const uint8_t* sealed = b.in.data() + i * kSealedChunk;
    uint8_t n[12];
    ChunkNonce(b.first + i, final, n);
    return aead.Open(key.data(), n, sealed, size - kTagSize, sealed + size - kTagSize, plain);
  };
  auto open = [&](Batch& b, std::size_t i, unsigned slot) {
    b.opened[i] = try_open(*contexts[slot], b, i, chunk_size(b, i), b.ends && i + 1 == b.count,
                           b.out.data() + i * kChunkSize);
  };
  // Why chunk i of b failed: the same bytes tried with the other final flag
  // tell a cut at a chunk boundary or data after the end from damage.
  auto explain = [&](const Batch& b, std::size_t i) -> Result {
    const std::size_t size = chunk_size(b, i);
    const bool final = b.ends && i + 1 == b.count;
    std::vector<uint8_t> scratch(kChunkSize);
    ChaChaPoly::Opened second = ChaChaPoly::Opened::kForged;
    if (size > kTagSize) second = try_open(own, b, i, size, !final, scratch.data());
    Wipe(scratch.data(), scratch.size());
    if (second == ChaChaPoly::Opened::kFailed) return CryptoFailure();
    const bool other = second == ChaChaPoly::Opened::kOk;
    const std::string where = "chunk " + std::to_string(b.first + i);
    // A full chunk that is valid as a middle one, at the end: the rest is missing.
    if (other && final && size == kSealedChunk)
      return Result::Fail(Status::kTruncated, "the file ends before its final chunk");
    if (other && final) return Result::Fail(Status::kDamaged, "the last " + where + " is short but not final");
    if (other) return Result::Fail(Status::kDamaged, "data follows the final chunk (" + where + ")");
    if (final && size < kSealedChunk)
      return Result::Fail(Status::kDamaged, "the last " + where + " does not authenticate (damaged or cut short)");
    return Result::Fail(Status::kDamaged, where + " does not authenticate");
  };
  // Hands a batch whose chunks have been opened to the writer if every one
  // of them authenticated; nothing of a batch with a bad chunk is written,
  // but whatever authenticated before it still is, first.
  auto hand_over = [&](Batch& b) -> Result {
    for (std::size_t i = 0; i < b.count; ++i) {
      if (b.opened[i] == ChaChaPoly::Opened::kFailed) return CryptoFailure();
      if (b.opened[i] != ChaChaPoly::Opened::kOk) return explain(b, i);
    }
    writer.Push(b.out.data(), b.bytes, b.position);
    return b.tail;
  };
  // Reads up to per_batch sealed chunks into b and notes what is wrong with
  // the data after them, if anything.
  auto fill = [&](Batch& b, bool& ended) -> Result {
    const long got = in.ReadFull(b.in.data(), b.in.size());
    if (got < 0) return ReadFailure(in);
    b.ends = static_cast<std::size_t>(got) < b.in.size() || in.AtEnd();
    if (in.failed()) return ReadFailure(in);
    const auto size = static_cast<std::size_t>(got);
    b.tail = Result::Ok();
    b.first = next_index;
    b.count = (size + kSealedChunk - 1) / kSealedChunk;
    b.last_size = size - (b.count > 0 ? (b.count - 1) * kSealedChunk : 0);
    if (b.count == 0) {
      b.tail = Result::Fail(Status::kTruncated,
                            next_index == 0 ? "the payload has no chunks" : "the input changed while it was read");
    } else if (b.ends && b.last_size < kTagSize) {
      b.tail = Result::Fail(Status::kTruncated, "the file ends inside the tag of its last chunk");
      --b.count;
    } else if (b.ends && b.last_size == kTagSize && b.first + b.count - 1 != 0) {
      b.tail = Result::Fail(Status::kDamaged, "the final chunk is empty, which only an empty file may have");
      --b.count;
    }
    if (!b.tail.ok()) {
      // The chunks before the bad tail are not final; say so, then stop
      // after they have been checked (their failure is the better report).
      b.ends = false;
      if (b.count > 0) b.last_size = kSealedChunk;
    }
    ended = b.ends || !b.tail.ok();
    next_index += b.count;
    b.bytes = b.count == 0 ? 0 : (b.count - 1) * kChunkSize + b.last_size - kTagSize;
    b.position = InputPosition(in, options);
    return Result::Ok();
  };
  return RunBatches(batches, workers, writer, stop, fill, open, hand_over);
}

}  // namespace vesk::age
