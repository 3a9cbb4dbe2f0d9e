// Text that holds a key or a passphrase: wiped from memory when it goes, and
// copied only on purpose, so that a request can carry key material from the
// front end to the run without leaving copies behind.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace vesk {

// Overwrites the whole buffer of `text` in a way the compiler keeps (a short
// string keeps its bytes inside the object, a longer one beyond its size),
// then empties it.
inline void WipeString(std::string& text) {
  text.resize(text.capacity());
  volatile char* bytes = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
  text.clear();
}

class SecretText {
 public:
  SecretText() = default;
  explicit SecretText(std::string text) : text_(std::move(text)) {}
  ~SecretText() { Wipe(); }
  SecretText(SecretText&& other) noexcept : text_(std::move(other.text_)) { other.Wipe(); }
  SecretText& operator=(SecretText&& other) noexcept {
    if (this != &other) {
      Wipe();
      text_ = std::move(other.text_);
      other.Wipe();
    }
    return *this;
  }
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  SecretText Clone() const { return SecretText(text_); }

  const std::string& str() const { return text_; }
  std::string_view view() const { return text_; }
  bool empty() const { return text_.empty(); }

  // Overwrites the text in a way the compiler keeps, then empties it.
  void Wipe() { WipeString(text_); }

 private:
  std::string text_;
};

}  // namespace vesk
