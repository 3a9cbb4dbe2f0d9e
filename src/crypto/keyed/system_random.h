// The keyed container's random values from the kernel's entropy.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/keyed/random_source.h"

namespace vesk::keyed {

// Kernel entropy through getrandom(2), read in blocks. Bytes equal to 255 are
// rejected and replaced by further bytes, so the 255 accepted values are
// exactly uniform. Throws std::system_error when the kernel refuses to
// deliver entropy.
class SystemRandom : public RandomSource {
 public:
  SystemRandom();
  ~SystemRandom() override;
  uint8_t Next() override;

 protected:
  // Fills `block` completely with raw random bytes (0..255). Overridable so
  // that the rejection of 255 can be observed with known raw input.
  virtual void Refill(std::span<uint8_t> block);

 private:
  std::array<uint8_t, 256> buffer_{};
  std::size_t used_ = 0;  // index of the next unread byte of buffer_
};

}  // namespace vesk::keyed
