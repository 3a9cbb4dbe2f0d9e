// The key-less container's random bytes from the kernel's entropy.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/keyless/random_source.h"

namespace vesk::keyless {

// getrandom(2) from the kernel's non-blocking pool.
class SystemRandom final : public RandomSource {
 public:
  void Fill(uint8_t* out, std::size_t n) override;
};

}  // namespace vesk::keyless
