// Arbitrary bytes as the stanzas of an age header and as post-quantum key
// texts. The header is parsed with the mlkem768x25519 checks and every
// stanza it accepts goes to a hybrid identity's unwrapping: nothing may
// crash, a stanza the checks pass must have the shape they promise, and a
// key text that parses must encode back to the very same text.
//
// The input is spliced after the version line, so the fuzzer works on the
// stanza lines directly; a seed like
//   -> mlkem768x25519 <1494 base64 characters>\n<43 base64 characters>\n--- <43>\n
// reaches the decapsulation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "crypto/age/encoding.h"
#include "crypto/age/header.h"
#include "crypto/age/hybrid_keys.h"

namespace {

using namespace vesk::age;

const HybridIdentity& Identity() {
  static const HybridIdentity id = *HybridIdentity::FromSecret(SecretBytes(std::string(32, 'k').data(), 32));
  return id;
}

void Stanzas(const uint8_t* data, std::size_t size) {
  std::string text(kVersionLine);
  text.append(reinterpret_cast<const char*>(data), size);
  Header header;
  std::size_t used = 0;
  if (!ParseHeader({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, header, used).ok()) return;
  for (const Stanza& s : header.stanzas) {
    if (s.type != kHybridStanzaType || !CheckHybridStanza(s).ok()) continue;
    std::vector<uint8_t> enc;
    if (s.args.size() != 1 || !DecodeBase64Raw(s.args[0], enc) || enc.size() != 1120 || s.body.size() != 32)
      std::abort();
  }
  if (!CheckStanzas(header.stanzas).ok()) return;
  SecretBytes file_key;
  const Unwrapped u = Identity().Unwrap(header.stanzas, file_key);
  if (u.kind == Unwrapped::Kind::kFileKey && file_key.size() != kFileKeySize) std::abort();
  if (u.kind == Unwrapped::Kind::kFailed && u.result.ok()) std::abort();
}

void KeyTexts(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4000));
  if (auto r = HybridRecipient::Parse(text); r && r->Encode() != text) std::abort();
  if (auto id = HybridIdentity::Parse(text); id && id->Encode().view() != text) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Stanzas(data, size);
  KeyTexts(data, size);
  return 0;
}
