#include "platform/control_characters.h"

#include <cstdint>
#include <cstdio>

namespace vesk {
namespace {

// One piece of the text: a character (or a stray byte) and its length.
struct Piece {
  uint32_t code = 0;
  std::size_t length = 1;
  bool valid = true;
};

// Decodes the UTF-8 sequence at `at`; a byte that starts no valid sequence
// is a piece of its own, marked invalid.
Piece Next(std::string_view s, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b = byte(at);
  if (b < 0x80) return {b, 1, true};
  std::size_t n = 0;
  uint32_t code = 0, least = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2, code = b & 0x1F, least = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3, code = b & 0x0F, least = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4, code = b & 0x07, least = 0x10000;
  } else {
    return {b, 1, false};
  }
  if (at + n > s.size()) return {b, 1, false};
  for (std::size_t i = 1; i < n; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {b, 1, false};
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {b, 1, false};
  return {code, n, true};
}

bool IsControl(const Piece& p) {
  if (!p.valid) return true;
  const uint32_t c = p.code;
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

template <typename OnControl>
std::string Rewrite(std::string_view s, OnControl on_control) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t at = 0; at < s.size();) {
    const Piece p = Next(s, at);
    if (IsControl(p)) {
      on_control(p, out);
    } else {
      out.append(s.substr(at, p.length));
    }
    at += p.length;
  }
  return out;
}

}  // namespace

std::string ReplaceControlCharacters(std::string_view utf8, std::string_view replacement) {
  return Rewrite(utf8, [&](const Piece&, std::string& out) { out.append(replacement); });
}

std::string EscapeControlCharacters(std::string_view utf8) {
  return Rewrite(utf8, [](const Piece& p, std::string& out) {
    char buf[16];
    if (p.code < 0x100) {
      std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(p.code));
    } else {
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(p.code));
    }
    out.append(buf);
  });
}

}  // namespace vesk
