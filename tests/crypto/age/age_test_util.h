// Helpers the age tests share: crafting files from known parts, and the
// real age programs for the interoperability tests.
#pragma once

#include <openssl/evp.h>

#include <atomic>
#include <string>
#include <vector>

#include "crypto/age/header.h"
#include "crypto/age/io.h"
#include "crypto/age/payload.h"

namespace vesk::age::testing {

inline std::string Sha256Hex(std::string_view data) {
  uint8_t h[32];
  unsigned int len = 0;
  if (EVP_Digest(data.data(), data.size(), h, &len, EVP_sha256(), nullptr) != 1 || len != sizeof h) return "";
  static const char* kHex = "0123456789abcdef";
  std::string out;
  for (const uint8_t b : h) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

inline SecretBytes FixedFileKey() { return SecretBytes("YELLOW SUBMARINE", 16); }

// The payload (nonce and chunks) of `plain` under `file_key`.
inline std::string SealPayload(const std::string& plain, const SecretBytes& file_key, std::size_t batch = 64) {
  MemorySource src(plain);
  BufferedReader in(src);
  StringSink out;
  std::atomic<bool> stop {false};
  PayloadOptions options;
  options.batch_chunks = batch;
  if (!EncryptPayload(in, out, file_key, options, stop).ok()) return "";
  return out.out;
}

// A whole file: the given stanzas under a header MAC made with `file_key`
// (unless `seal` is false), then the payload of `plain`.
inline std::string CraftFile(std::vector<Stanza> stanzas, const SecretBytes& file_key, const std::string& plain,
                             bool seal = true) {
  Header h;
  h.stanzas = std::move(stanzas);
  if (seal) SealHeader(h, file_key);
  return Serialize(h) + SealPayload(plain, file_key);
}

// The full path of a program on PATH, or "".
std::string FindProgram(const std::string& name);

}  // namespace vesk::age::testing
