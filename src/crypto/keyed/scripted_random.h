// A fixed sequence of the keyed container's random values, for reproducible
// containers in tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "crypto/keyed/random_source.h"

namespace vesk::keyed {

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
