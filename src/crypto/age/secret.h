// Secret bytes (passphrases, file keys, private keys) that are wiped from
// memory when their holder goes away, the system's random bytes, and the
// one-time check that OpenSSL's libcrypto has every algorithm age needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vesk::age {

// Initialises libcrypto once and checks that its providers offer
// ChaCha20-Poly1305, X25519, HMAC, HKDF, scrypt and SHA-256; false if any
// is missing (a stripped-down or FIPS-only configuration).
bool CryptoReady();

// Frees what libcrypto keeps for the calling thread (its error queue and
// random generators). The thread's exit would free it too, but a process
// that ends while one of its threads is still exiting loses it; libcrypto
// makes it again if the thread goes on using it.
void ReleaseThreadState();

// Calls ReleaseThreadState when it goes. Work on the worker threads begins
// with one: those threads report their end before the thread itself is
// gone, so the process may exit while such a thread is still freeing
// libcrypto's state for it, and that state is then lost. Released as the
// work returns, on every path, the thread's exit has nothing of libcrypto's
// left to do.
class ThreadStateRelease {
 public:
  ThreadStateRelease() = default;
  ~ThreadStateRelease() { ReleaseThreadState(); }
  ThreadStateRelease(const ThreadStateRelease&) = delete;
  ThreadStateRelease& operator=(const ThreadStateRelease&) = delete;
};

// Fills `n` bytes at `p` from the system's random generator; false if it
// cannot deliver (then `p` must not be used).
[[nodiscard]] bool RandomBytes(void* p, std::size_t n);

// Overwrites `n` bytes at `p` in a way the compiler keeps.
void Wipe(void* p, std::size_t n);

// A heap buffer of secret bytes, wiped on destruction and on move-from.
// It cannot be copied by accident: Clone() makes a deliberate copy.
class SecretBytes {
 public:
  SecretBytes() = default;
  explicit SecretBytes(std::size_t n);  // n zero bytes
  SecretBytes(const void* data, std::size_t n);
  static SecretBytes FromString(std::string_view s) { return SecretBytes(s.data(), s.size()); }
  ~SecretBytes();

  SecretBytes(SecretBytes&& other) noexcept;
  SecretBytes& operator=(SecretBytes&& other) noexcept;
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;

  SecretBytes Clone() const { return SecretBytes(data_, size_); }

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::span<const uint8_t> span() const { return {data_, size_}; }
  std::string_view view() const { return {reinterpret_cast<const char*>(data_), size_}; }

 private:
  void Release();
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace vesk::age
