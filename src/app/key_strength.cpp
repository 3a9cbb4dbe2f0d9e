#include "app/key_strength.h"

#include <zxcvbn.h>

#include <cmath>

namespace vesk {
namespace {

constexpr std::size_t kLookedAt = 128;

// The longest start of `text` of at most `n` bytes that ends on a whole
// UTF-8 character.
std::string Start(const std::string& text, std::size_t n) {
  if (text.size() <= n) return text;
  std::size_t end = n;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

int ScoreForBits(double bits) {
  const double guesses_log10 = bits * std::log10(2.0);
  if (guesses_log10 < 3) return 0;
  if (guesses_log10 < 6) return 1;
  if (guesses_log10 < 8) return 2;
  if (guesses_log10 < 10) return 3;
  return 4;
}

int EstimateKeyStrength(const std::string& passphrase) {
  if (passphrase.empty()) return 0;
  std::string start = Start(passphrase, kLookedAt);
  const int score = ScoreForBits(ZxcvbnMatch(start.c_str(), nullptr, nullptr));
  volatile char* bytes = start.data();
  for (std::size_t i = 0; i < start.size(); ++i) bytes[i] = 0;
  return score;
}

}  // namespace vesk
