// How every age operation ends: a typed status and a sentence for people.
// Bad input never throws; it comes back as one of these.
#pragma once

#include <string>

namespace vesk::age {

enum class Status {
  kOk,
  kWrongPassphrase,      // the passphrase does not open the file's scrypt stanza
  kPassphraseRequired,   // the file is passphrase-encrypted but no passphrase was given
  kNoMatchingIdentity,   // none of the given identities opens any stanza
  kWorkFactorTooHigh,    // the scrypt work factor is above the caller's limit
  kUnsupportedVersion,   // an age header of a version other than v1
  kHeaderInvalid,        // not an age file, a malformed header, or a header MAC mismatch
  kHeaderTooLarge,       // a header larger than kMaxHeaderSize: maybe valid, but not read
  kArmorInvalid,         // ASCII armor that is not strictly well-formed
  kDamaged,              // a payload chunk failed authentication, or data follows the end
  kTruncated,            // the payload ends before its final chunk
  kIoError,              // reading the input or writing the output failed
  kCancelled,            // the stop flag was raised
  kInvalidArgument,      // the caller's request cannot work (no recipients, bad mix, ...)
  kBadKey,               // an identity or recipient string or file could not be read
  kInternalError,        // the system failed us (no memory for scrypt, no randomness)
  kMixedRecipients,      // post-quantum recipients together with classic ones in one file
  kKeyLocked,            // a protected key or identity file that its passphrase did not open
};

// A short stable name for logs and tests ("ok", "wrong-passphrase", ...).
const char* StatusName(Status status);

struct Result {
  Status status = Status::kOk;
  std::string detail;  // empty when ok

  bool ok() const { return status == Status::kOk; }
  static Result Ok() { return {}; }
  static Result Fail(Status s, std::string text) { return {s, std::move(text)}; }
};

}  // namespace vesk::age
