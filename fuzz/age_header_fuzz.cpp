// Arbitrary bytes as the text parts of an age file: the header parser, the
// ASCII armor reader and the Bech32 key decoder must never crash, and
// whatever they accept must serialise back to exactly the bytes they read
// (for armor: up to the whitespace allowed around it and CRLF line ends).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "crypto/age/armor.h"
#include "crypto/age/encoding.h"
#include "crypto/age/header.h"
#include "crypto/age/keys.h"

namespace {

using namespace vesk::age;

void HeaderRoundTrip(const uint8_t* data, std::size_t size) {
  Header header;
  std::size_t used = 0;
  if (!ParseHeader({data, size}, header, used).ok()) return;
  const std::string again = Serialize(header);
  if (again.size() != used || again.compare(0, used, reinterpret_cast<const char*>(data), used) != 0) std::abort();
  CheckStanzas(header.stanzas);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void ArmorRoundTrip(const uint8_t* data, std::size_t size) {
  MemorySource src({data, size});
  BufferedReader in(src, 4096);
  if (DetectArmor(in) != InputKind::kArmored) return;
  ArmorSource armor(in);
  std::string decoded;
  uint8_t buf[1000];
  for (;;) {
    const long n = armor.Read(buf, sizeof buf);
    if (n < 0) return;  // refused: fine
    if (n == 0) break;
    decoded.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
  }
  // Accepted: the canonical form of the input is what the writer makes.
  std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t b = 0, e = text.size();
  while (b < e && IsSpace(text[b])) ++b;
  while (e > b && IsSpace(text[e - 1])) --e;
  std::string canonical;
  for (std::size_t i = b; i < e; ++i) {
    if (text[i] == '\r' && i + 1 < e && text[i + 1] == '\n') continue;
    canonical += text[i];
  }
  canonical += '\n';
  StringSink out;
  ArmorSink writer(out);
  if (!writer.Write(reinterpret_cast<const uint8_t*>(decoded.data()), decoded.size()) || !writer.Finish()) std::abort();
  if (out.out != canonical) std::abort();
}

void Bech32RoundTrip(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 400));
  std::string hrp;
  std::vector<uint8_t> bytes;
  if (!Bech32Decode(text, hrp, bytes)) return;
  std::string lower = text;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (Bech32Encode(hrp, bytes) != lower) std::abort();
  if (auto r = X25519Recipient::Parse(text); r && r->Encode() != text) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  HeaderRoundTrip(data, size);
  ArmorRoundTrip(data, size);
  Bech32RoundTrip(data, size);
  std::vector<X25519Identity> ids;
  ParseIdentityFile({reinterpret_cast<const char*>(data), size}, ids);
  return 0;
}
