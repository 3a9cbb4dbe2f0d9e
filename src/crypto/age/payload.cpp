#include "crypto/age/payload.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
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

// One batch of chunks in flight.
struct Batch {
  std::vector<uint8_t> in, out;
  std::size_t count = 0;      // chunks to process
  std::size_t last_size = 0;  // bytes of the last chunk (sealed size when decrypting)
  bool ends = false;          // the last chunk is the final one
  uint64_t first = 0;         // index of the first chunk
  std::vector<ChaChaPoly::Opened> opened;  // per chunk, when decrypting
  std::atomic<bool> failed {false};         // libcrypto failed on a chunk
  Result tail;                // a problem with the data after the processed chunks
  std::size_t bytes = 0;      // bytes to write
};

}  // namespace

Result EncryptPayload(BufferedReader& in, Sink& out, const SecretBytes& file_key, const PayloadOptions& options,
                      const std::atomic<bool>& stop) {
  if (!CryptoReady()) return Result::Fail(Status::kInternalError, "OpenSSL's libcrypto lacks an algorithm age needs");
  uint8_t nonce[kPayloadNonceSize];
  if (!RandomBytes(nonce, sizeof nonce)) return Result::Fail(Status::kInternalError, "the system has no random bytes");
  const SecretBytes key = PayloadKey(file_key, nonce);
  if (key.empty()) return Result::Fail(Status::kInternalError, "HKDF failed");

  const std::size_t per_batch = std::max<std::size_t>(1, options.batch_chunks);
  Batch batches[2];
  for (Batch& b : batches) b.in.resize(per_batch * kSealedChunk);
  Workers workers(ThreadCount(options.threads));
  auto contexts = Contexts(workers.slots());
  if (contexts.empty()) return CryptoFailure();
  if (!out.Write(nonce, sizeof nonce)) return WriteFailure(out);
  Batch* prev = nullptr;
  uint64_t next_index = 0;
  bool ended = false;

  // Seals batch b's chunks in place: plaintext at i * kSealedChunk, the tag
  // right after it, so that the sealed batch is contiguous.
  auto seal = [&key, &contexts](Batch* b) {
    return [&key, &contexts, b](std::size_t i, unsigned slot) {
      uint8_t* chunk = b->in.data() + i * kSealedChunk;
      const std::size_t size = i + 1 == b->count ? b->last_size : kChunkSize;
      uint8_t n[12];
      ChunkNonce(b->first + i, b->ends && i + 1 == b->count, n);
      if (!contexts[slot]->Seal(key.data(), n, chunk, size, chunk, chunk + size)) b->failed = true;
    };
  };
  // Writes the previous batch (already sealed) while the workers seal the next.
  auto write_prev = [&]() -> Result {
    if (prev != nullptr) {
      if (prev->failed) return CryptoFailure();
      if (!out.Write(prev->in.data(), prev->bytes)) return WriteFailure(out);
      if (options.after_batch) options.after_batch();
    }
    return Result::Ok();
  };

  for (int turn = 0; !ended; turn ^= 1) {
    if (stop.load()) {
      workers.Wait();
      return Result::Fail(Status::kCancelled, "cancelled");
    }
    Batch& b = batches[turn];
    b.count = 0;
    b.ends = false;
    for (std::size_t i = 0; i < per_batch; ++i) {
      const long got = in.ReadFull(b.in.data() + i * kSealedChunk, kChunkSize);
      if (got < 0) {
        workers.Wait();
        return ReadFailure(in);
      }
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
      if (in.failed()) {
        workers.Wait();
        return ReadFailure(in);
      }
    }
    if (b.count == 0) {
      // A full batch was followed by more data that has now vanished.
      workers.Wait();
      return Result::Fail(Status::kIoError, "the input changed while it was read");
    }
    ended = b.ends;
    b.first = next_index;
    next_index += b.count;
    b.bytes = (b.count - 1) * kSealedChunk + b.last_size + kTagSize;
    b.failed = false;
    workers.Wait();
    workers.Start(b.count, seal(&b));
    if (Result r = write_prev(); !r.ok()) return r;
    prev = &b;
  }
  workers.Wait();
  return write_prev();
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
  Batch batches[2];
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
  Batch* prev = nullptr;
  uint64_t next_index = 0;
  bool ended = false;

  auto chunk_size = [](const Batch& b, std::size_t i) { return i + 1 == b.count ? b.last_size : kSealedChunk; };
  auto try_open = [&key](ChaChaPoly& aead, const Batch& b, std::size_t i, std::size_t size, bool final,
                         uint8_t* plain) {
    const uint8_t* sealed = b.in.data() + i * kSealedChunk;
    uint8_t n[12];
    ChunkNonce(b.first + i, final, n);
    return aead.Open(key.data(), n, sealed, size - kTagSize, sealed + size - kTagSize, plain);
  };
  auto open = [&](Batch* b) {
    return [&, b](std::size_t i, unsigned slot) {
      b->opened[i] = try_open(*contexts[slot], *b, i, chunk_size(*b, i), b->ends && i + 1 == b->count,
                              b->out.data() + i * kChunkSize);
    };
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
  // After Wait(): whether every chunk of the previous batch authenticated.
  auto check_prev = [&]() -> Result {
    if (prev == nullptr) return Result::Ok();
    for (std::size_t i = 0; i < prev->count; ++i) {
      if (prev->opened[i] == ChaChaPoly::Opened::kFailed) return CryptoFailure();
      if (prev->opened[i] != ChaChaPoly::Opened::kOk) return explain(*prev, i);
    }
    return Result::Ok();
  };
  // Writes the previous batch (checked) while the workers open the next.
  auto write_prev = [&]() -> Result {
    if (prev == nullptr) return Result::Ok();
    if (!out.Write(prev->out.data(), prev->bytes)) return WriteFailure(out);
    if (options.after_batch) options.after_batch();
    return prev->tail;
  };

  for (int turn = 0; !ended; turn ^= 1) {
    if (stop.load()) {
      workers.Wait();
      return Result::Fail(Status::kCancelled, "cancelled");
    }
    Batch& b = batches[turn];
    const long got = in.ReadFull(b.in.data(), b.in.size());
    if (got < 0) {
      workers.Wait();
      return ReadFailure(in);
    }
    b.ends = static_cast<std::size_t>(got) < b.in.size() || in.AtEnd();
    if (in.failed()) {
      workers.Wait();
      return ReadFailure(in);
    }
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
    workers.Wait();
    if (Result r = check_prev(); !r.ok()) return r;
    workers.Start(b.count, open(&b));
    if (Result r = write_prev(); !r.ok()) return r;
    prev = &b;
  }
  workers.Wait();
  if (Result r = check_prev(); !r.ok()) return r;
  return write_prev();
}

}  // namespace vesk::age
