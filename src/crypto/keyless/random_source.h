// Where the twelve random bytes of a key-less container come from: the
// kernel's entropy source in the program, a fixed script in tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/keyless/format.h"

namespace vesk::keyless {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // Fills `out` with n uniformly distributed bytes; throws when it cannot.
  virtual void Fill(uint8_t* out, std::size_t n) = 0;
};

// The process-wide system source.
RandomSource& DefaultRandom();

// Twelve bytes, each uniform over 0 .. 254: draws of 255 are discarded, so no
// value is favoured.
RandomBlock DrawRandomBlock(RandomSource& source);

}  // namespace vesk::keyless
