// Shared by the compression fuzz targets: a generator seeded by the input,
// so that each input is one reproducible case, and source data drawn from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesk::fuzz {

class Draw {
 public:
  explicit Draw(const uint8_t* data, std::size_t size) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
    s_ = h;
  }
  uint64_t Next() {
    uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next() % n); }
  // Mostly small, sometimes around the 64 KiB chunk, sometimes large.
  std::size_t Size() {
    switch (Below(4)) {
      case 0:
        return 1 + Below(16);
      case 1:
        return 1 + Below(4096);
      case 2:
        return 65535 + Below(5) - 2;
      default:
        return 1 + Below(1 << 20);
    }
  }

 private:
  uint64_t s_;
};

// Zeros, noise, or the input repeated with changes here and there (matches
// at every distance), mostly under 200 KB and now and then up to 600 KB.
inline std::string MakeData(const uint8_t* data, std::size_t size, Draw& draw) {
  const std::size_t n = draw.Below(8) == 0 ? draw.Below(600000) : draw.Size() % 200000;
  std::string out(n, '\0');
  switch (draw.Below(4)) {
    case 0:  // zeros
      break;
    case 1:  // noise
      for (auto& c : out) c = static_cast<char>(draw.Next());
      break;
    default:  // the input repeated, with changes here and there: matches at every distance
      for (std::size_t i = 0; i < n; ++i) {
        out[i] = size > 0 ? static_cast<char>(data[i % size]) : 'a';
        if (draw.Below(64) == 0) out[i] = static_cast<char>(draw.Next());
      }
      break;
  }
  return out;
}

}  // namespace vesk::fuzz
