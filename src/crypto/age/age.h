// Encrypting and decrypting whole age v1 files, streaming.
//
//   X25519Identity id = *X25519Identity::Generate();
//   X25519Recipient to = id.ToRecipient();
//   std::atomic<bool> stop{false};
//   Result r = EncryptFd({&to}, in_fd, out_fd, {}, stop);
//   ...
//   Result r = DecryptFd({&id}, in_fd, out_fd, {}, stop);
//   if (r.ok()) { /* every chunk authenticated: keep the output */ }
//
// Decryption writes plaintext only after it authenticated, but a file may
// turn out damaged after some of it was written: keep the output staged
// (a temporary file) and publish it only when the call returns ok.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "crypto/age/header.h"
#include "crypto/age/io.h"
#include "crypto/age/keys.h"
#include "crypto/age/result.h"

namespace vesk::age {

struct EncryptOptions {
  bool armor = false;  // write ASCII armor instead of binary
  unsigned threads = 0;  // 0: one per processor
  // Called after each batch (a few MiB) with the input bytes consumed so far,
  // on the thread that writes the output (one call at a time, in order).
  std::function<void(uint64_t)> progress;
};

struct DecryptOptions {
  unsigned threads = 0;
  // As for encryption: bytes of the (possibly armored) file consumed so far.
  std::function<void(uint64_t)> progress;
};

// Whether `recipients` may share one file. Encrypt refuses every case but
// kFine with kInvalidArgument; callers that want to tell the cases apart
// ask first.
enum class RecipientMix {
  kFine,
  kNoRecipients,
  kMissingRecipient,        // a null pointer
  kPassphraseNotAlone,      // a passphrase must be the only recipient
  kPostQuantumWithClassic,  // the classic stanzas would leave the file open to a quantum computer
};
RecipientMix CheckRecipientMix(const std::vector<const Recipient*>& recipients);

// Encrypts everything `in` yields to `recipients` (one or more; a
// passphrase recipient must be the only one, post-quantum recipients
// come without classic ones) and writes the age file to
// `out`. Checks `stop` between batches (kCancelled).
Result Encrypt(const std::vector<const Recipient*>& recipients, Source& in, Sink& out, const EncryptOptions& options,
               const std::atomic<bool>& stop);
Result EncryptFd(const std::vector<const Recipient*>& recipients, int in_fd, int out_fd,
                 const EncryptOptions& options, const std::atomic<bool>& stop);

// Decrypts a binary or armored age file (detected) with the first of
// `identities` that opens it. Returns ok only once the final chunk has
// authenticated and all plaintext has been written to `out`.
Result Decrypt(const std::vector<const Identity*>& identities, Source& in, Sink& out, const DecryptOptions& options,
               const std::atomic<bool>& stop);
Result DecryptFd(const std::vector<const Identity*>& identities, int in_fd, int out_fd,
                 const DecryptOptions& options, const std::atomic<bool>& stop);

// What a file's header says, read without any key: whether to ask for a
// passphrase or for identities before decrypting.
struct FileInfo {
  bool armored = false;
  bool passphrase = false;          // an scrypt stanza (then the only one)
  int scrypt_log_n = 0;             // its work factor, when passphrase
  std::vector<std::string> types;   // the stanza types, in order
  bool post_quantum = false;        // every stanza is a post-quantum one
  // With `measure`: the header's size (binary), the payload's after it
  // (nonce and sealed chunks; decoded, for armor), and the plaintext that
  // payload holds if it is whole (the chunks' tags taken off).
  bool measured = false;
  uint64_t header_size = 0;
  uint64_t payload_size = 0;
  uint64_t plaintext_size = 0;
};
// `measure` reads the file to its end for the sizes; given the source's
// whole size (`size`, a regular file's), a binary file's sizes come from it
// without reading its payload, so a large file is measured at once.
Result Inspect(Source& in, FileInfo& info, bool measure = false, std::optional<uint64_t> size = std::nullopt);
// The plaintext a payload of `payload_size` bytes holds when whole.
uint64_t PlaintextSize(uint64_t payload_size);
// The payload (nonce and sealed chunks) that holds `plaintext_size` bytes.
uint64_t PayloadSize(uint64_t plaintext_size);

}  // namespace vesk::age
