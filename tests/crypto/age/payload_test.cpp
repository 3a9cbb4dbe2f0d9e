// The chunked payload: its layout checked against libcrypto's cipher used
// directly, and
// every way a payload can be cut, altered or extended refused without a
// byte of unauthenticated plaintext reaching the sink.
#include "crypto/age/payload.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "age_test_util.h"
#include "crypto/age/kdf.h"
#include "support/temp_dir.h"

namespace vesk::age {
namespace {

using testing::FixedFileKey;
using testing::SealPayload;

constexpr std::size_t kSealed = kChunkSize + kTagSize;

struct Opened {
  Result result;
  std::string out;
};

Opened Open(const std::string& payload, std::size_t batch = 64, unsigned threads = 0) {
  MemorySource src(payload);
  BufferedReader in(src);
  StringSink out;
  std::atomic<bool> stop {false};
  PayloadOptions options;
  options.batch_chunks = batch;
  options.threads = threads;
  Result r = DecryptPayload(in, out, FixedFileKey(), options, stop);
  return {r, out.out};
}

// Seals one chunk the way the format describes, with a fresh libcrypto
// cipher context of its own (not the library's wrapper).
std::string SealChunk(const std::string& payload_nonce, uint64_t index, bool final, const std::string& plain) {
  uint8_t key[32];
  EXPECT_TRUE(HkdfSha256(FixedFileKey().span(), {reinterpret_cast<const uint8_t*>(payload_nonce.data()), 16},
                         "payload", key));
  uint8_t nonce[12] = {};
  for (int i = 0; i < 8; ++i) nonce[10 - i] = static_cast<uint8_t>(index >> (8 * i));
  nonce[11] = final ? 1 : 0;
  std::string out(plain.size() + kTagSize, '\0');
  auto* data = reinterpret_cast<unsigned char*>(out.data());
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int len = 0, tail = 0;
  const bool ok = ctx != nullptr && EVP_EncryptInit_ex(ctx, EVP_chacha20_poly1305(), nullptr, key, nonce) == 1 &&
                  EVP_EncryptUpdate(ctx, data, &len, reinterpret_cast<const unsigned char*>(plain.data()),
                                    static_cast<int>(plain.size())) == 1 &&
                  EVP_EncryptFinal_ex(ctx, data + len, &tail) == 1 &&
                  EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, data + plain.size()) == 1;
  EVP_CIPHER_CTX_free(ctx);
  EXPECT_TRUE(ok && static_cast<std::size_t>(len + tail) == plain.size());
  return out;
}

TEST(Payload, LayoutMatchesTheFormatChunkByChunk) {
  // Sizes around the chunk boundaries: n chunks, the last one short or
  // full, an empty file being a single empty final chunk.
  for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 131072u, 131073u}) {
    const std::string plain = vesk::testing::RandomBytes(size, static_cast<uint32_t>(size));
    const std::string payload = SealPayload(plain, FixedFileKey());
    const std::size_t chunks = size == 0 ? 1 : (size + kChunkSize - 1) / kChunkSize;
    ASSERT_EQ(payload.size(), 16 + size + chunks * kTagSize) << size;
    const std::string nonce = payload.substr(0, 16);
    std::string expected = nonce;
    for (std::size_t i = 0; i < chunks; ++i) {
      expected += SealChunk(nonce, i, i + 1 == chunks, plain.substr(i * kChunkSize, kChunkSize));
    }
    EXPECT_TRUE(payload == expected) << size;
    const Opened o = Open(payload);
    EXPECT_TRUE(o.result.ok()) << size << " " << o.result.detail;
    EXPECT_TRUE(o.out == plain);
  }
}

// The whole payload rebuilt chunk by chunk from its nonce.
std::string ExpectedPayload(const std::string& nonce, const std::string& plain) {
  const std::size_t chunks = plain.empty() ? 1 : (plain.size() + kChunkSize - 1) / kChunkSize;
  std::string expected = nonce;
  for (std::size_t i = 0; i < chunks; ++i)
    expected += SealChunk(nonce, i, i + 1 == chunks, plain.substr(i * kChunkSize, kChunkSize));
  return expected;
}

TEST(Payload, LayoutMatchesTheFormatAcrossBatchBoundaries) {
  // Sizes a chunk either side of one, two and three batches, written with
  // small batches on one and on two workers, and with the default batch.
  const std::size_t default_batch = PayloadOptions {}.batch_chunks;
  struct Case {
    std::size_t batch;
    unsigned threads;
  };
  for (const Case c : {Case {3, 1}, Case {3, 2}, Case {4, 2}, Case {default_batch, 0}}) {
    std::vector<std::size_t> ks = {c.batch - 1, c.batch, c.batch + 1, 2 * c.batch, 2 * c.batch + 1, 3 * c.batch};
    if (c.batch == default_batch) ks = {c.batch, 2 * c.batch + 1};  // large: the boundaries that matter most
    std::vector<std::size_t> sizes;
    for (std::size_t k : ks) {
      for (std::size_t size : {k * kChunkSize - 1, k * kChunkSize, k * kChunkSize + 1}) sizes.push_back(size);
    }
    for (const std::size_t size : sizes) {
      SCOPED_TRACE(::testing::Message() << "batch " << c.batch << ", threads " << c.threads << ", size " << size);
      const std::string plain = vesk::testing::RandomBytes(size, static_cast<uint32_t>(size + c.batch));
      MemorySource src(plain);
      BufferedReader in(src);
      StringSink out;
      std::atomic<bool> stop {false};
      PayloadOptions options;
      options.batch_chunks = c.batch;
      options.threads = c.threads;
      ASSERT_TRUE(EncryptPayload(in, out, FixedFileKey(), options, stop).ok());
      ASSERT_GE(out.out.size(), 16u);
      EXPECT_TRUE(out.out == ExpectedPayload(out.out.substr(0, 16), plain));
      const Opened o = Open(out.out, c.batch, c.threads);
      EXPECT_TRUE(o.result.ok()) << o.result.detail;
      EXPECT_TRUE(o.out == plain);
    }
  }
}

TEST(Payload, BatchesAndThreadsDoNotChangeTheResult) {
  const std::string plain = vesk::testing::RandomBytes(9 * kChunkSize + 123, 5);
  const std::string payload = SealPayload(plain, FixedFileKey(), 2);
  const std::string nonce = payload.substr(0, 16);
  EXPECT_TRUE(payload.substr(16 + 4 * kSealed, kSealed) == SealChunk(nonce, 4, false, plain.substr(4 * kChunkSize, kChunkSize)));
  for (std::size_t batch : {1u, 2u, 3u, 64u}) {
    for (unsigned threads : {1u, 3u}) {
      const Opened o = Open(payload, batch, threads);
      EXPECT_TRUE(o.result.ok()) << batch << "/" << threads << " " << o.result.detail;
      EXPECT_TRUE(o.out == plain);
    }
  }
}

TEST(Payload, EveryTruncationIsRefused) {
  const std::string plain = vesk::testing::RandomBytes(2 * kChunkSize + 1, 9);
  const std::string payload = SealPayload(plain, FixedFileKey());
  std::vector<std::size_t> cuts = {0, 1, 15, 16, 17, 16 + kTagSize - 1, 16 + kTagSize};
  for (std::size_t chunk = 1; chunk <= 2; ++chunk) {
    const std::size_t boundary = 16 + chunk * kSealed;
    for (std::size_t c : {boundary - kTagSize - 1, boundary - kTagSize, boundary - 1, boundary, boundary + 1,
                          boundary + kTagSize - 1, boundary + kTagSize}) {
      cuts.push_back(c);
    }
  }
  cuts.push_back(payload.size() - 1);
  for (std::size_t batch : {1u, 64u}) {
    for (const std::size_t cut : cuts) {
      const Opened o = Open(payload.substr(0, cut), batch);
      EXPECT_FALSE(o.result.ok()) << "cut at " << cut;
      EXPECT_TRUE(o.result.status == Status::kTruncated || o.result.status == Status::kDamaged) << cut;
      // What was written is an authenticated prefix of whole chunks.
      EXPECT_TRUE(o.out == plain.substr(0, o.out.size()));
      EXPECT_EQ(o.out.size() % kChunkSize, 0u);
    }
    // Cut exactly after a full chunk: provably the end is missing.
    EXPECT_EQ(Open(payload.substr(0, 16 + kSealed), batch).result.status, Status::kTruncated);
    EXPECT_EQ(Open(payload.substr(0, 16 + 2 * kSealed), batch).result.status, Status::kTruncated);
  }
}

TEST(Payload, EveryFlippedBitIsRefusedBeforeItsChunkIsWritten) {
  const std::string plain = vesk::testing::RandomBytes(2 * kChunkSize + 100, 3);
  const std::string payload = SealPayload(plain, FixedFileKey());
  // The nonce, then the start, middle and tag of each chunk.
  std::vector<std::size_t> spots = {0, 15};
  for (std::size_t chunk = 0; chunk < 3; ++chunk) {
    const std::size_t start = 16 + chunk * kSealed;
    const std::size_t end = std::min(start + kSealed, payload.size());
    for (std::size_t at : {start, start + 1000, end - kTagSize, end - 1}) {
      if (at < end) spots.push_back(at);
    }
  }
  // One chunk per batch on several threads: the batches after the damaged
  // one may be opened before it, but never written.
  for (const unsigned threads : {1u, 3u}) {
    for (const std::size_t at : spots) {
      std::string bad = payload;
      bad[at] ^= 0x04;
      const Opened o = Open(bad, 1, threads);
      EXPECT_EQ(o.result.status, Status::kDamaged) << at;
      const std::size_t damaged_chunk = at < 16 ? 0 : (at - 16) / kSealed;
      EXPECT_TRUE(o.out == plain.substr(0, damaged_chunk * kChunkSize)) << at << "/" << threads;
    }
  }
}

TEST(Payload, ReorderedExtendedOrRestructuredPayloadsAreRefused) {
  const std::string plain = vesk::testing::RandomBytes(3 * kChunkSize + 7, 4);
  const std::string payload = SealPayload(plain, FixedFileKey());
  const std::string nonce = payload.substr(0, 16);
  const std::string c0 = payload.substr(16, kSealed), c1 = payload.substr(16 + kSealed, kSealed);
  EXPECT_EQ(Open(nonce + c1 + c0 + payload.substr(16 + 2 * kSealed)).result.status, Status::kDamaged);
  EXPECT_EQ(Open(payload + "x").result.status, Status::kDamaged);
  EXPECT_EQ(Open(payload + payload.substr(16 + 3 * kSealed)).result.status, Status::kDamaged);
  EXPECT_EQ(Open(payload + std::string(kSealed, '\0')).result.status, Status::kDamaged);

  // A full final chunk followed by anything: detected as data after the end.
  const std::string one = vesk::testing::RandomBytes(kChunkSize, 8);
  const std::string sealed_one = SealPayload(one, FixedFileKey());
  const Opened extra = Open(sealed_one + SealChunk(sealed_one.substr(0, 16), 1, true, "x"));
  EXPECT_EQ(extra.result.status, Status::kDamaged);
  EXPECT_TRUE(extra.out.empty());

  // A full chunk and then an empty final chunk: only an empty file may
  // end with an empty chunk.
  const std::string empty_last = nonce + SealChunk(nonce, 0, false, one) + SealChunk(nonce, 1, true, "");
  EXPECT_EQ(Open(empty_last).result.status, Status::kDamaged);
  // The same chunks with the first marked final: the second is extra.
  EXPECT_EQ(Open(nonce + SealChunk(nonce, 0, true, one) + SealChunk(nonce, 1, true, "")).result.status,
            Status::kDamaged);
  // Nothing after the nonce, or a short final chunk that claims not to be.
  EXPECT_EQ(Open(nonce).result.status, Status::kTruncated);
  EXPECT_EQ(Open(nonce + SealChunk(nonce, 0, false, "abc")).result.status, Status::kDamaged);
  EXPECT_TRUE(Open(nonce + SealChunk(nonce, 0, true, "abc")).result.ok());
  EXPECT_TRUE(Open(nonce + SealChunk(nonce, 0, true, "")).result.ok());
}

TEST(Payload, StopsWhenAskedReportsProgressAndPassesOnIoErrors) {
  const std::string plain = vesk::testing::RandomBytes(5 * kChunkSize, 6);
  const std::string payload = SealPayload(plain, FixedFileKey());
  std::atomic<bool> stop {true};
  {
    MemorySource src(payload);
    BufferedReader in(src);
    StringSink out;
    EXPECT_EQ(DecryptPayload(in, out, FixedFileKey(), {}, stop).status, Status::kCancelled);
    MemorySource src2(plain);
    BufferedReader in2(src2);
    EXPECT_EQ(EncryptPayload(in2, out, FixedFileKey(), {}, stop).status, Status::kCancelled);
  }
  stop = false;
  {
    // Stop raised after the second batch: the third is never written.
    MemorySource src(payload);
    BufferedReader in(src);
    StringSink out;
    PayloadOptions options;
    options.batch_chunks = 1;
    int batches = 0;
    options.after_batch = [&](uint64_t) {
      if (++batches == 2) stop = true;
    };
    EXPECT_EQ(DecryptPayload(in, out, FixedFileKey(), options, stop).status, Status::kCancelled);
    EXPECT_TRUE(out.out == plain.substr(0, 2 * kChunkSize));
    stop = false;
  }
  {
    MemorySource src(payload);
    BufferedReader in(src);
    CallbackSink failing([](const uint8_t*, std::size_t) { return false; });
    EXPECT_EQ(DecryptPayload(in, failing, FixedFileKey(), {}, stop).status, Status::kIoError);
    std::size_t served = 0;
    CallbackSource broken([&](uint8_t* buf, std::size_t n) -> long {
      if (served > 100000) return -1;
      const std::size_t k = std::min(n, payload.size() - served);
      std::memcpy(buf, payload.data() + served, k);
      served += k;
      return static_cast<long>(k);
    });
    BufferedReader in2(broken);
    StringSink out;
    EXPECT_EQ(DecryptPayload(in2, out, FixedFileKey(), {}, stop).status, Status::kIoError);
  }
  // A sink or a progress callback that throws, on any of the threads,
  // fails the run instead of ending the program.
  for (const bool in_sink : {true, false}) {
    MemorySource src(payload);
    BufferedReader in(src);
    CallbackSink throwing([&](const uint8_t*, std::size_t) -> bool {
      if (in_sink) throw std::runtime_error("sink");
      return true;
    });
    PayloadOptions options;
    options.batch_chunks = 1;
    options.threads = 3;
    options.after_batch = [](uint64_t) { throw std::runtime_error("progress"); };
    EXPECT_EQ(DecryptPayload(in, throwing, FixedFileKey(), options, stop).status, Status::kInternalError) << in_sink;
  }
}

// The file sink writes every byte whether it writes whole or in pieces, at
// any starting offset (the pieces follow the file's own 32 KiB boundaries).
TEST(FdSink, WritesEveryByteWholeOrInPiecesFromAnyOffset) {
  vesk::testing::TempDir dir;
  const std::string bytes = vesk::testing::RandomBytes((1 << 20) + 17, 11);
  for (const bool pieces : {false, true}) {
    for (const std::size_t offset : {std::size_t{0}, std::size_t{1}, std::size_t{32767}, std::size_t{32773}}) {
      SCOPED_TRACE(std::to_string(pieces) + " " + std::to_string(offset));
      const std::string path = dir.File("out");
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ASSERT_GE(fd, 0);
      const std::string head(offset, 'h');
      ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
      FdSink sink(fd);
      if (pieces) sink.SetInPieces();
      std::size_t at = 0;
      for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{32767}, std::size_t{32769},
                                  std::size_t{300000}, bytes.size()}) {
        const std::size_t take = std::min(n, bytes.size() - at);
        ASSERT_TRUE(sink.Write(reinterpret_cast<const uint8_t*>(bytes.data()) + at, take));
        at += take;
      }
      ::close(fd);
      EXPECT_TRUE(vesk::testing::ReadFile(path) == head + bytes.substr(0, at));
    }
  }
}

}  // namespace
}  // namespace vesk::age
