// Writes a key-less container around a payload that arrives piece by piece
// (a folder packed on the fly): the header, the payload through the word
// cipher in fixed buffers, the tail bytes and the trailer. The container is
// byte for byte what EncryptToContainer makes of the whole payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "crypto/keyless/cipher.h"
#include "crypto/keyless/format.h"
#include "platform/staged_file.h"
#include "platform/write_behind.h"

namespace vesk::keyless {

class StreamWriter {
 public:
  // `key`: GBK bytes, not empty. Writes the header at once; `out` must stay
  // open until Finish has returned.
  StreamWriter(const std::string& key, Version version, const RandomBlock& r, StagedOutput& out);
  ~StreamWriter();
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;

  // The next `n` payload bytes; throws PayloadTooLarge past 4 GiB and what
  // the output throws.
  void Write(const void* data, std::size_t n);
  // The last part word and the trailer; once. Throws std::invalid_argument
  // for an empty payload, which no reader would take for a container.
  void Finish();

  int64_t PayloadSize() const { return size_; }

 private:
  StagedOutput& out_;
  RandomBlock r_;
  KeyStream k_;
  std::optional<WordCipher> cipher_;
  WriteBehind behind_;
  uint8_t* buffer_ = nullptr;
  std::size_t filled_ = 0;
  int64_t size_ = 0;
  bool finished_ = false;
};

// The payload grew past what a key-less container holds (4 GiB).
class PayloadTooLarge : public std::runtime_error {
 public:
  PayloadTooLarge() : std::runtime_error("the payload is larger than a container holds") {}
};

}  // namespace vesk::keyless
