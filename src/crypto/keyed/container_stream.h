// Writes a keyed container around a payload that arrives piece by piece and
// whose length is known only at its end (a folder packed on the fly, say).
//
// The first 1024 payload bytes are held back. A payload that ends before
// them gets its header in front, as a container of a small file does. A
// longer one is split as every container of 1024 bytes or more is: its
// header blocks go in after the first 260 bytes with a provisional size,
// which Finish replaces with the real one once the last byte is through.
// The result is byte for byte the container the encryption engine writes
// for the same payload and the same random draws. Everything else streams
// through a few fixed buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "crypto/keyed/container.h"
#include "crypto/keyed/random_source.h"
#include "platform/staged_file.h"
#include "platform/write_behind.h"

namespace vesk::keyed {

// The payload grew past what a container can hold (4 GiB).
class PayloadTooLarge : public std::runtime_error {
 public:
  PayloadTooLarge() : std::runtime_error("the payload is larger than a container holds") {}
};

class ContainerStreamWriter {
 public:
  // `params.payload_size` is ignored. The header (and with it every random
  // draw) is made once, when the payload reaches 1024 bytes or ends. `out`
  // must stay open until Finish has returned.
  ContainerStreamWriter(ContainerParams params, RandomSource& random, StagedOutput& out);
  ~ContainerStreamWriter();
  ContainerStreamWriter(const ContainerStreamWriter&) = delete;
  ContainerStreamWriter& operator=(const ContainerStreamWriter&) = delete;

  // The next `n` payload bytes. Throws PayloadTooLarge past 4 GiB and what
  // the output throws.
  void Write(const void* data, std::size_t n);
  // The rest of the payload, the trailer and the real size; once. Throws
  // std::invalid_argument for an empty payload.
  void Finish();

  int64_t PayloadSize() const { return size_; }

 private:
  void StartSplit();
  void SealBuffer(std::size_t n, bool last);

  ContainerParams params_;
  RandomSource& random_;
  StagedOutput& out_;
  int64_t size_ = 0;
  std::vector<uint8_t> held_;  // the first payload bytes, until the layout is known
  std::optional<Header> header_;
  std::optional<PayloadCipher> cipher_;
  std::unique_ptr<WriteBehind> behind_;
  uint8_t* buffer_ = nullptr;  // being filled, from behind_
  std::size_t filled_ = 0;
  bool finished_ = false;
};

}  // namespace vesk::keyed
