// Random bytes for the keyed container: the filler bytes of a short key and
// the three salt bytes r1, r2, r3. Every value is drawn uniformly from 0..254;
// 255 never occurs, because the container's transforms rely on that range.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace vesk::keyed {

// Largest value a RandomSource may return.
inline constexpr uint8_t kMaxRandomValue = 254;

class RandomSource {
 public:
  virtual ~RandomSource();
  // Returns the next value, uniform over 0..254.
  virtual uint8_t Next() = 0;
};

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

// Returns a fixed sequence of values, for reproducible containers in tests.
// Every value must be 0..254 (std::invalid_argument otherwise); drawing past
// the end throws std::out_of_range.
class ScriptedRandom : public RandomSource {
 public:
  explicit ScriptedRandom(std::vector<uint8_t> values);
  ScriptedRandom(std::initializer_list<uint8_t> values);
  uint8_t Next() override;
  // Number of values drawn so far.
  std::size_t Drawn() const { return next_; }

 private:
  std::vector<uint8_t> values_;
  std::size_t next_ = 0;
};

}  // namespace vesk::keyed
