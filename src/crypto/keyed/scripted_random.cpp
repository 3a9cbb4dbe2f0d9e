#include "crypto/keyed/scripted_random.h"

#include <stdexcept>
#include <utility>

namespace vesk::keyed {

ScriptedRandom::ScriptedRandom(std::vector<uint8_t> values) : values_(std::move(values)) {
  for (uint8_t v : values_) {
    if (v > kMaxRandomValue) throw std::invalid_argument("scripted random value above 254");
  }
}

ScriptedRandom::ScriptedRandom(std::initializer_list<uint8_t> values)
    : ScriptedRandom(std::vector<uint8_t>(values)) {}

uint8_t ScriptedRandom::Next() {
  if (next_ >= values_.size()) throw std::out_of_range("scripted random values exhausted");
  return values_[next_++];
}

}  // namespace vesk::keyed
