// Test data for the compression tests: prose-like text that deflate finds
// matches in at all distances and lengths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vesk::testing {

// Appends `word`, then `mark` when it is not 0, then a space or, once the
// line is past 70 columns, a line break.
inline void AppendWord(std::string& out, std::size_t& column, const std::string& word, char mark) {
  out += word;
  column += 1 + word.size();
  if (mark != 0) out += mark;
  if (column > 70) {
    out += '\n';
    column = 0;
  } else {
    out += ' ';
  }
}

// Words with punctuation and line breaks, drawn unevenly from a vocabulary,
// as prose is.
inline std::string Prose(std::size_t n, uint32_t seed) {
  static const char* const kWords[] = {"the",  "of",     "and",   "a",      "to",     "in",    "is",
                                       "file", "key",    "stream", "window", "cipher", "block", "header",
                                       "data", "length", "check", "which",  "before", "after", "across"};
  constexpr std::size_t kCount = sizeof(kWords) / sizeof(kWords[0]);
  std::string out;
  out.reserve(n + 16);
  uint32_t x = seed * 2654435761u + 1;
  std::size_t column = 0;
  while (out.size() < n) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    const std::size_t pick = (x % kCount) * ((x >> 8) % kCount) / kCount;  // favours the first words
    const char mark = (x >> 20) % 11 == 0 ? ((x >> 24) % 3 == 0 ? '.' : ',') : 0;
    AppendWord(out, column, kWords[pick], mark);
  }
  out.resize(n);
  return out;
}

// Text closer to a real document: a vocabulary of a few thousand words made
// of syllables, drawn with falling frequencies, in lines of about 70 columns.
// Deflate leaves roughly a third of it, and level 9 runs at a usual speed.
inline std::string Text(std::size_t n, uint32_t seed) {
  static const char* const kSyllables[] = {"ka", "ne", "ri", "to", "sa", "mo", "lu", "pe", "di", "an",
                                           "or", "es", "in", "th", "er", "st", "al", "ou", "ve", "ly",
                                           "ch", "ing", "ed", "re", "co", "ma", "ti", "on", "pa", "gr"};
  constexpr uint32_t kSyllableCount = sizeof(kSyllables) / sizeof(kSyllables[0]);
  constexpr uint32_t kVocabulary = 3000;
  uint64_t x = 0x9E3779B97F4A7C15ull ^ (uint64_t{seed} << 32 | seed);
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  std::vector<std::string> words(kVocabulary);
  for (auto& word : words) {
    const int syllables = 1 + static_cast<int>(next() % 4);
    for (int i = 0; i < syllables; ++i) word += kSyllables[next() % kSyllableCount];
  }
  std::string out;
  out.reserve(n + 64);
  std::size_t column = 0;
  while (out.size() < n) {
    // The product of two uniform picks favours small indices, as word use does.
    const uint64_t r = next();
    const uint32_t a = static_cast<uint32_t>(r % kVocabulary);
    const uint32_t b = static_cast<uint32_t>((r >> 24) % kVocabulary);
    const char mark = (r >> 50) % 9 == 0 ? ((r >> 56) % 3 == 0 ? '.' : ',') : 0;
    AppendWord(out, column, words[static_cast<uint64_t>(a) * b / kVocabulary], mark);
  }
  out.resize(n);
  return out;
}

}  // namespace vesk::testing
