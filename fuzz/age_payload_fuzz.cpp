// The payload reader with a fixed file key. The first byte chooses the
// case: odd, the rest of the input is read as a payload (it must never
// crash); even, the input seeds a generator that seals a plaintext and then
// cuts, flips, extends or reorders the result. A changed payload must be
// refused and may only have produced a prefix of the plaintext made of
// whole authenticated chunks; an unchanged one must open to the plaintext.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "crypto/age/payload.h"
#include "fuzz_draw.h"

namespace {

using namespace vesk::age;

const SecretBytes& Key() {
  static const SecretBytes key("YELLOW SUBMARINE", 16);
  return key;
}

Result Open(const std::string& payload, std::size_t batch, unsigned threads, std::string& out) {
  MemorySource src(payload);
  BufferedReader in(src);
  StringSink sink;
  std::atomic<bool> stop {false};
  PayloadOptions options;
  options.batch_chunks = batch;
  options.threads = threads;
  Result r = DecryptPayload(in, sink, Key(), options, stop);
  out = std::move(sink.out);
  return r;
}

void Mutate(std::string& p, vesk::fuzz::Draw& draw) {
  constexpr std::size_t kSealed = kChunkSize + kTagSize;
  const std::size_t chunks = p.size() > 16 ? (p.size() - 16 + kSealed - 1) / kSealed : 0;
  switch (draw.Below(7)) {
    case 0:  // flip a bit
      if (!p.empty()) p[draw.Below(p.size())] ^= static_cast<char>(1 << draw.Below(8));
      break;
    case 1:  // cut anywhere
      p.resize(draw.Below(p.size() + 1));
      break;
    case 2:  // cut at or next to a chunk boundary
      if (chunks > 0) p.resize(std::min(p.size(), 16 + draw.Below(chunks + 1) * kSealed + draw.Below(3) - 1));
      break;
    case 3:  // append bytes
      for (std::size_t n = 1 + draw.Below(40); n > 0; --n) p += static_cast<char>(draw.Next());
      break;
    case 4:  // duplicate a chunk at the end
      if (chunks > 0) p += p.substr(16 + draw.Below(chunks) * kSealed, kSealed);
      break;
    case 5:  // swap two chunks
      if (chunks > 2) {
        const std::size_t a = draw.Below(chunks - 1), b = draw.Below(chunks - 1);
        const std::string ca = p.substr(16 + a * kSealed, kSealed), cb = p.substr(16 + b * kSealed, kSealed);
        p.replace(16 + a * kSealed, kSealed, cb);
        p.replace(16 + b * kSealed, kSealed, ca);
      }
      break;
    default:  // drop a chunk
      if (chunks > 1) p.erase(16 + draw.Below(chunks - 1) * kSealed, kSealed);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::string out;
  if (data[0] & 1) {
    Open(std::string(reinterpret_cast<const char*>(data + 1), size - 1), 1 + data[0] % 3, 1 + (data[0] >> 7), out);
    return 0;
  }
  vesk::fuzz::Draw draw(data, size);
  const std::string plain = vesk::fuzz::MakeData(data, size, draw);
  std::string sealed;
  {
    MemorySource src(plain);
    BufferedReader in(src);
    StringSink sink;
    std::atomic<bool> stop {false};
    PayloadOptions options;
    options.batch_chunks = 1 + draw.Below(3);
    options.threads = 1;
    if (!EncryptPayload(in, sink, Key(), options, stop).ok()) std::abort();
    sealed = std::move(sink.out);
  }
  std::string changed = sealed;
  for (std::size_t n = draw.Below(3); n > 0; --n) Mutate(changed, draw);
  const Result r = Open(changed, 1 + draw.Below(4), 1 + static_cast<unsigned>(draw.Below(2)), out);
  if (changed == sealed) {
    if (!r.ok() || out != plain) std::abort();
  } else {
    if (r.ok()) std::abort();  // a forgery, or a cut that went unnoticed
    if (out.size() % kChunkSize != 0 || plain.compare(0, out.size(), out) != 0) std::abort();
  }
  return 0;
}
