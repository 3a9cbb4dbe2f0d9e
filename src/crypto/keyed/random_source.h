// Random bytes for the keyed container: the filler bytes of a short key and
// the three salt bytes r1, r2, r3. Every value is drawn uniformly from 0..254;
// 255 never occurs, because the container's transforms rely on that range.
#pragma once

#include <cstdint>

namespace vesk::keyed {


// Largest value a RandomSource may return.
inline constexpr uint8_t kMaxRandomValue = 254;

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // Returns the next value, uniform over 0..254.
  virtual uint8_t Next() = 0;
};

}  // namespace vesk::keyed
