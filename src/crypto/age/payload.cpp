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

// Threads, each with a batch of its own in flight: as asked, else one per
// processor, at most kMaxThreads (writes into one file go one at a time, and
// a few threads already keep them busy; memory grows with every thread:
// 12 MiB of batches when encrypting, 24 MiB when decrypting).
constexpr unsigned kMaxThreads = 6;
unsigned ThreadCount(unsigned requested) {
  if (requested > 0) return std::min(requested, kMaxThreads);
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
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

// Runs the batches through the pipeline both directions share, on one
// thread per batch in `batches` (the calling one among them), each with a
// batch of its own. A thread takes the next batch in
// turn: fill(batch, ended) reads it (one thread at a time, in the input's
// order; ended: the input is done with it), job(batch, i, slot) processes
// each of its chunks i on that same thread, and once every earlier batch
// has been written, hand_over(batch, write) checks it and writes it with
// write(data, size, position) (one thread at a time, in order), which
// calls after_batch. A batch thus stays on one processor, in its caches,
// from the read through the cipher to the write, and threads wait for each
// other only for their turn to read or write. Stops at the first failure
// of any of them, or when `stop` is raised (seen before each read and each
// write); the failure of the earliest batch wins, and no batch after it is
// written.
template <typename Fill, typename Job, typename HandOver>
Result RunBatches(std::vector<Batch>& batches, Sink& out, const PayloadOptions& options,
                  const std::atomic<bool>& stop, Fill fill, Job job, HandOver hand_over) {
  std::mutex read_mutex, write_mutex;
  std::condition_variable written_cv;
  uint64_t next_turn = 0;   // the turn of the next batch read, under read_mutex
  bool reading_done = false;  // under read_mutex
  uint64_t written = 0;     // batches written, under write_mutex
  uint64_t failed_turn = UINT64_MAX;  // the earliest batch that failed, under write_mutex
  Result failure;
  std::atomic<bool> halted {false};  // a failure: read no more

  // Records a failure of batch `turn`; the caller holds write_mutex.
  auto fail_at = [&](uint64_t turn, Result r) {
    if (turn < failed_turn) {
      failed_turn = turn;
      failure = std::move(r);
    }
    halted = true;
    written_cv.notify_all();
  };
  auto write = [&](const uint8_t* data, std::size_t n, uint64_t position) -> Result {
    if (!out.Write(data, n)) return WriteFailure(out);
    if (options.after_batch) options.after_batch(position);
    return Result::Ok();
  };
  auto work = [&](unsigned slot, uint64_t& turn) {
    Batch& b = batches[slot];
    for (;;) {
      {
        std::lock_guard lock(read_mutex);
        if (reading_done || halted.load()) return;
        turn = next_turn++;
        bool ended = false;
        Result r = stop.load() ? Result::Fail(Status::kCancelled, "cancelled") : fill(b, ended);
        if (!r.ok()) {
          reading_done = true;
          std::lock_guard write_lock(write_mutex);
          fail_at(turn, std::move(r));
          return;
        }
        reading_done = ended;
      }
      for (std::size_t i = 0; i < b.count; ++i) job(b, i, slot);
      std::unique_lock lock(write_mutex);
      written_cv.wait(lock, [&] { return written == turn || failed_turn < turn; });
      if (failed_turn < turn) return;
      Result r = stop.load() ? Result::Fail(Status::kCancelled, "cancelled") : hand_over(b, write);
      written = turn + 1;
      if (!r.ok()) {
        fail_at(turn, std::move(r));
        return;
      }
      written_cv.notify_all();
    }
  };
  // A throw (a sink's or a progress callback's) fails the batch in hand
  // instead of ending the program from a helper thread.
  auto run = [&](unsigned slot) {
    uint64_t turn = 0;
    try {
      work(slot, turn);
    } catch (...) {
      std::lock_guard lock(write_mutex);
      fail_at(turn, Result::Fail(Status::kInternalError, "the age pipeline failed"));
    }
  };
  // Fewer threads (or only the calling one) if the system refuses to start
  // more; the result is the same, only slower.
  std::vector<std::thread> helpers;
  try {
    for (unsigned slot = 1; slot < batches.size(); ++slot) helpers.emplace_back(run, slot);
  } catch (const std::system_error&) {
  }
  run(0);
  for (auto& t : helpers) t.join();
  return failed_turn == UINT64_MAX ? Result::Ok() : failure;
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
  const unsigned threads = ThreadCount(options.threads);
  std::vector<Batch> batches(threads);
  for (Batch& b : batches) b.in.resize(per_batch * kSealedChunk);
  auto contexts = Contexts(threads);
  if (contexts.empty()) return CryptoFailure();
  if (!out.Write(nonce, sizeof nonce)) return WriteFailure(out);
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
  auto hand_over = [](Batch& b, const auto& write) -> Result {
    if (b.failed) return CryptoFailure();
    return write(b.in.data(), b.bytes, b.position);
  };
  return RunBatches(batches, out, options, stop, fill, seal, hand_over);
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
  const unsigned threads = ThreadCount(options.threads);
  std::vector<Batch> batches(threads);
  for (Batch& b : batches) {
    b.in.resize(per_batch * kSealedChunk);
    b.out.resize(per_batch * kChunkSize);
    b.opened.assign(per_batch, ChaChaPoly::Opened::kFailed);
  }
  // One more context for the second look at a failed chunk, which happens
  // in a batch's turn to be written, one at a time.
  auto contexts = Contexts(threads + 1);
  if (contexts.empty()) return CryptoFailure();
  ChaChaPoly& own = *contexts.back();
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
  // Writes a batch whose chunks have been opened if every one of them
  // authenticated; nothing of a batch with a bad chunk is written, but
  // whatever authenticated before it still is, first.
  auto hand_over = [&](Batch& b, const auto& write) -> Result {
    for (std::size_t i = 0; i < b.count; ++i) {
      if (b.opened[i] == ChaChaPoly::Opened::kFailed) return CryptoFailure();
      if (b.opened[i] != ChaChaPoly::Opened::kOk) return explain(b, i);
    }
    if (Result r = write(b.out.data(), b.bytes, b.position); !r.ok()) return r;
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
  return RunBatches(batches, out, options, stop, fill, open, hand_over);
}

}  // namespace vesk::age
