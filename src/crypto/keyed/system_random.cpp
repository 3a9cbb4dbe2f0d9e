#include "crypto/keyed/system_random.h"

#include <sys/random.h>

#include <cerrno>
#include <system_error>

namespace vesk::keyed {

SystemRandom::SystemRandom() : used_(buffer_.size()) {}

SystemRandom::~SystemRandom() {
  // The buffer may still hold bytes that become key material; clear it.
  volatile uint8_t* p = buffer_.data();
  for (std::size_t i = 0; i < buffer_.size(); ++i) p[i] = 0;
}

uint8_t SystemRandom::Next() {
  for (;;) {
    if (used_ == buffer_.size()) {
      Refill(buffer_);
      used_ = 0;
    }
    const uint8_t value = buffer_[used_++];
    if (value <= kMaxRandomValue) return value;
  }
}

void SystemRandom::Refill(std::span<uint8_t> block) {
  std::size_t filled = 0;
  while (filled < block.size()) {
    const ssize_t got = getrandom(block.data() + filled, block.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    filled += static_cast<std::size_t>(got);
  }
}

}  // namespace vesk::keyed
