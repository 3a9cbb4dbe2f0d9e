// Throughput of the keyed payload cipher on one core.
//
//   * Streaming: a 64 MiB buffer enciphered into another in 1 MiB pieces; the
//     memory bandwidth bounds this one.
//   * InPlace: one 1 MiB buffer enciphered in place over and over, the way an
//     engine transforms each buffer it has just read while it is still in the
//     cache; this is the cipher's own speed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "crypto/keyed/cipher.h"

namespace {

using vesk::keyed::CipherDirection;
using vesk::keyed::PayloadCipher;

constexpr std::size_t kBufferBytes = 64u << 20;
constexpr std::size_t kPieceBytes = 1u << 20;

std::vector<uint8_t> Pseudo(std::size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> b(n);
  for (auto& x : b) x = static_cast<uint8_t>(gen());
  return b;
}

void Streaming(benchmark::State& state, CipherDirection direction, uint8_t version) {
  const auto key_length = static_cast<std::size_t>(state.range(0));
  const std::vector<uint8_t> key_stream = Pseudo(key_length, 1);
  const std::vector<uint8_t> in = Pseudo(kBufferBytes, 2);
  std::vector<uint8_t> out(kBufferBytes);
  for (auto _ : state) {
    PayloadCipher cipher(direction, key_stream, version, key_stream[0]);
    for (std::size_t at = 0; at < kBufferBytes; at += kPieceBytes) {
      cipher.Transform(in.data() + at, out.data() + at, kPieceBytes);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBufferBytes));
}

void InPlace(benchmark::State& state, CipherDirection direction, uint8_t version) {
  const auto key_length = static_cast<std::size_t>(state.range(0));
  const std::vector<uint8_t> key_stream = Pseudo(key_length, 1);
  std::vector<uint8_t> buffer = Pseudo(kPieceBytes, 2);
  PayloadCipher cipher(direction, key_stream, version, key_stream[0]);
  for (auto _ : state) {
    cipher.Transform(buffer.data(), buffer.data(), kPieceBytes);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPieceBytes));
}

void BM_WordCipherEncrypt(benchmark::State& state) { Streaming(state, CipherDirection::kEncrypt, 33); }
void BM_WordCipherDecrypt(benchmark::State& state) { Streaming(state, CipherDirection::kDecrypt, 33); }
void BM_ByteCipherEncrypt(benchmark::State& state) { Streaming(state, CipherDirection::kEncrypt, 11); }
void BM_WordCipherEncryptInPlace(benchmark::State& state) { InPlace(state, CipherDirection::kEncrypt, 33); }
void BM_WordCipherDecryptInPlace(benchmark::State& state) { InPlace(state, CipherDirection::kDecrypt, 33); }

BENCHMARK(BM_WordCipherEncrypt)->Arg(12)->Arg(13)->Arg(2056)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WordCipherDecrypt)->Arg(12)->Arg(2056)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteCipherEncrypt)->Arg(12)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WordCipherEncryptInPlace)->Arg(12)->Arg(13)->Arg(2056)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WordCipherDecryptInPlace)->Arg(12)->Arg(2056)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
