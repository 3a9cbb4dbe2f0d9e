#include "crypto/age/secret.h"

#include <sodium.h>

#include <cstring>
#include <utility>

namespace vesk::age {

bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

void Wipe(void* p, std::size_t n) {
  if (p != nullptr && n > 0) sodium_memzero(p, n);
}

SecretBytes::SecretBytes(std::size_t n) : data_(n > 0 ? new uint8_t[n]() : nullptr), size_(n) {}

SecretBytes::SecretBytes(const void* data, std::size_t n) : SecretBytes(n) {
  if (n > 0) std::memcpy(data_, data, n);
}

SecretBytes::~SecretBytes() { Release(); }

SecretBytes::SecretBytes(SecretBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void SecretBytes::Release() {
  Wipe(data_, size_);
  delete[] data_;
  data_ = nullptr;
  size_ = 0;
}

}  // namespace vesk::age
