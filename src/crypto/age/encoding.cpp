#include "crypto/age/encoding.h"

#include <array>
#include <cstring>

#include "crypto/age/secret.h"

namespace vesk::age {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0..63 for alphabet characters, 64 for everything else.
constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> t {};
  for (auto& v : t) v = 64;
  for (int i = 0; i < 64; ++i) t[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
  return t;
}
constexpr std::array<uint8_t, 256> kDecode = MakeDecodeTable();

std::string Encode(std::span<const uint8_t> data, bool pad) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    const uint32_t v = uint32_t {data[i]} << 16 | uint32_t {data[i + 1]} << 8 | data[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = data.size() - i;
  if (rest == 1) {
    const uint32_t v = uint32_t {data[i]} << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    if (pad) out += "==";
  } else if (rest == 2) {
    const uint32_t v = uint32_t {data[i]} << 16 | uint32_t {data[i + 1]} << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    if (pad) out += '=';
  }
  return out;
}

// Decodes `text` (alphabet characters only, length % 4 != 1) into `out`,
// which has room for the result; -1 if a character is outside the alphabet
// or the last character carries non-zero unused bits.
long DecodeUnpadded(std::string_view text, uint8_t* out) {
  const std::size_t n = text.size();
  if (n % 4 == 1) return -1;
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  std::size_t o = 0, i = 0;
  for (; i + 4 <= n; i += 4) {
    const uint8_t a = kDecode[s[i]], b = kDecode[s[i + 1]], c = kDecode[s[i + 2]], d = kDecode[s[i + 3]];
    if ((a | b | c | d) & 64) return -1;
    const uint32_t v = uint32_t {a} << 18 | uint32_t {b} << 12 | uint32_t {c} << 6 | d;
    out[o++] = static_cast<uint8_t>(v >> 16);
    out[o++] = static_cast<uint8_t>(v >> 8);
    out[o++] = static_cast<uint8_t>(v);
  }
  const std::size_t rest = n - i;
  if (rest == 2) {
    const uint8_t a = kDecode[s[i]], b = kDecode[s[i + 1]];
    if ((a | b) & 64 || (b & 0x0F) != 0) return -1;
    out[o++] = static_cast<uint8_t>(a << 2 | b >> 4);
  } else if (rest == 3) {
    const uint8_t a = kDecode[s[i]], b = kDecode[s[i + 1]], c = kDecode[s[i + 2]];
    if ((a | b | c) & 64 || (c & 0x03) != 0) return -1;
    out[o++] = static_cast<uint8_t>(a << 2 | b >> 4);
    out[o++] = static_cast<uint8_t>(b << 4 | c >> 2);
  }
  return static_cast<long>(o);
}

}  // namespace

std::string EncodeBase64Raw(std::span<const uint8_t> data) { return Encode(data, false); }
std::string EncodeBase64Padded(std::span<const uint8_t> data) { return Encode(data, true); }

std::size_t Base64RawDecodedSize(std::size_t chars) {
  if (chars % 4 == 1) return SIZE_MAX;
  return chars / 4 * 3 + (chars % 4 == 0 ? 0 : chars % 4 - 1);
}

bool DecodeBase64Raw(std::string_view text, std::vector<uint8_t>& out) {
  out.clear();
  const std::size_t size = Base64RawDecodedSize(text.size());
  if (size == SIZE_MAX) return false;
  out.resize(size);
  const long n = DecodeUnpadded(text, out.data());
  if (n < 0) {
    out.clear();
    return false;
  }
  return true;
}

long DecodeBase64PaddedInto(std::string_view text, uint8_t* out) {
  if (text.size() % 4 != 0) return -1;
  std::size_t body = text.size();
  if (body > 0 && text[body - 1] == '=') --body;
  if (body > 0 && text[body - 1] == '=') --body;
  // The padding must be exactly what the unpadded length needs (a group of
  // 3 characters takes one '=', a group of 2 takes two, a group of 1 is
  // never valid).
  if (text.size() - body != (4 - body % 4) % 4) return -1;
  return DecodeUnpadded(text.substr(0, body), out);
}

bool DecodeBase64Padded(std::string_view text, std::vector<uint8_t>& out) {
  out.assign(text.size() / 4 * 3, 0);
  const long n = DecodeBase64PaddedInto(text, out.data());
  if (n < 0) {
    out.clear();
    return false;
  }
  out.resize(static_cast<std::size_t>(n));
  return true;
}

// ---- Bech32 (BIP 173) ----

namespace {

constexpr char kBech32Charset[] = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";

uint32_t Polymod(const std::vector<uint8_t>& values) {
  constexpr uint32_t kGen[5] = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd, 0x2a1462b3};
  uint32_t chk = 1;
  for (const uint8_t v : values) {
    const uint32_t top = chk >> 25;
    chk = (chk & 0x1ffffff) << 5 ^ v;
    for (int i = 0; i < 5; ++i) chk ^= ((top >> i) & 1) ? kGen[i] : 0;
  }
  return chk;
}

// hrp expanded as BIP 173 wants it, followed by `data`.
std::vector<uint8_t> Expanded(std::string_view hrp, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> v;
  v.reserve(hrp.size() * 2 + 1 + data.size() + 6);
  for (const char c : hrp) v.push_back(static_cast<uint8_t>(c) >> 5);
  v.push_back(0);
  for (const char c : hrp) v.push_back(static_cast<uint8_t>(c) & 31);
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string Bech32Encode(std::string_view hrp_in, std::span<const uint8_t> data) {
  std::string hrp;
  for (const char c : hrp_in) hrp += Lower(c);
  std::vector<uint8_t> five;
  five.reserve(data.size() * 8 / 5 + 1);
  uint32_t acc = 0;
  int bits = 0;
  for (const uint8_t b : data) {
    acc = (acc << 8 | b) & 0xFFF;
    bits += 8;
    while (bits >= 5) {
      bits -= 5;
      five.push_back(static_cast<uint8_t>((acc >> bits) & 31));
    }
  }
  if (bits > 0) five.push_back(static_cast<uint8_t>((acc << (5 - bits)) & 31));
  std::vector<uint8_t> values = Expanded(hrp, five);
  values.insert(values.end(), 6, 0);
  const uint32_t mod = Polymod(values) ^ 1;
  std::string out = hrp + '1';
  for (const uint8_t v : five) out += kBech32Charset[v];
  for (int i = 0; i < 6; ++i) out += kBech32Charset[(mod >> (5 * (5 - i))) & 31];
  Wipe(values.data(), values.size());
  Wipe(five.data(), five.size());
  return out;
}

bool Bech32Decode(std::string_view text, std::string& hrp, std::vector<uint8_t>& data) {
  hrp.clear();
  data.clear();
  bool lower = false, upper = false;
  for (const char c : text) {
    if (c >= 'a' && c <= 'z') lower = true;
    if (c >= 'A' && c <= 'Z') upper = true;
  }
  if (lower && upper) return false;
  const std::size_t sep = text.rfind('1');
  if (sep == std::string_view::npos || sep < 1 || sep + 7 > text.size()) return false;
  for (std::size_t i = 0; i < sep; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 33 || c > 126) return false;
  }
  std::string lower_hrp;
  for (std::size_t i = 0; i < sep; ++i) lower_hrp += Lower(text[i]);
  std::vector<uint8_t> five;
  five.reserve(text.size() - sep - 1);
  for (std::size_t i = sep + 1; i < text.size(); ++i) {
    const char* at = std::strchr(kBech32Charset, Lower(text[i]));
    if (text[i] == '\0' || at == nullptr) return false;
    five.push_back(static_cast<uint8_t>(at - kBech32Charset));
  }
  std::vector<uint8_t> values = Expanded(lower_hrp, five);
  const bool checksum_ok = Polymod(values) == 1;
  Wipe(values.data(), values.size());
  if (!checksum_ok) {
    Wipe(five.data(), five.size());
    return false;
  }
  five.resize(five.size() - 6);
  uint32_t acc = 0;
  int bits = 0;
  for (const uint8_t v : five) {
    acc = (acc << 5 | v) & 0xFFF;
    bits += 5;
    if (bits >= 8) {
      bits -= 8;
      data.push_back(static_cast<uint8_t>((acc >> bits) & 0xFF));
    }
  }
  Wipe(five.data(), five.size());
  // No padding of 5 bits or more, and the padding bits must be zero.
  if (bits >= 5 || ((acc << (8 - bits)) & 0xFF) != 0) {
    Wipe(data.data(), data.size());
    data.clear();
    return false;
  }
  acc = 0;
  hrp.assign(text.substr(0, sep));
  return true;
}

}  // namespace vesk::age
