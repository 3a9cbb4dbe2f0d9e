#include "crypto/keyed/container_stream.h"

#include <algorithm>
#include <cstring>

namespace vesk::keyed {
namespace {

// Bytes per buffer of the streamed part; a multiple of 4, so that every
// buffer but the last holds whole words.
constexpr std::size_t kBuffer = std::size_t{1} << 20;

}  // namespace

ContainerStreamWriter::ContainerStreamWriter(ContainerParams params, RandomSource& random, StagedOutput& out)
    : params_(std::move(params)), random_(random), out_(out) {
  held_.reserve(static_cast<std::size_t>(kSplitThreshold));
}

ContainerStreamWriter::~ContainerStreamWriter() = default;

void ContainerStreamWriter::Write(const void* data, std::size_t n) {
  if (n == 0) return;
  if (static_cast<int64_t>(n) > kMaxPayloadSize - size_) throw PayloadTooLarge();
  const auto* p = static_cast<const uint8_t*>(data);
  size_ += static_cast<int64_t>(n);
  if (!header_) {
    const std::size_t take = std::min(n, static_cast<std::size_t>(kSplitThreshold) - held_.size());
    held_.insert(held_.end(), p, p + take);
    p += take;
    n -= take;
    if (held_.size() < static_cast<std::size_t>(kSplitThreshold)) return;
    StartSplit();
  }
  while (n > 0) {
    const std::size_t take = std::min(n, kBuffer - filled_);
    std::memcpy(buffer_ + filled_, p, take);
    filled_ += take;
    p += take;
    n -= take;
    if (filled_ == kBuffer) {
      SealBuffer(kBuffer, false);
      buffer_ = behind_->Next();
      filled_ = 0;
    }
  }
}

// The payload has reached 1024 bytes: the split layout, with a provisional
// size that Finish corrects. Its lead-in (up to the insertion point P, at
// most 514 bytes) goes out piece by piece around the header blocks; the rest
// of what is held starts the first streamed buffer.
void ContainerStreamWriter::StartSplit() {
  ContainerParams params = params_;
  params.payload_size = kSplitThreshold;
  header_ = BuildHeader(params, random_);
  const Header& h = *header_;
  cipher_.emplace(h.MakeCipher(CipherDirection::kEncrypt));
  const auto p = static_cast<std::size_t>(h.insertion_point);
  cipher_->Transform(held_.data(), held_.data(), p);
  out_.Write(held_.data(), static_cast<std::size_t>(kLeadInSize));
  out_.Write(h.salt);
  out_.Write(h.length);
  out_.Write(h.descriptor);
  out_.Write(held_.data() + kLeadInSize, p - static_cast<std::size_t>(kLeadInSize));
  out_.Write(h.key_check);
  behind_ = std::make_unique<WriteBehind>([this](const uint8_t* data, std::size_t n) { out_.Write(data, n); }, kBuffer);
  buffer_ = behind_->Next();
  filled_ = held_.size() - p;
  std::memcpy(buffer_, held_.data() + p, filled_);
  held_.clear();
  held_.shrink_to_fit();
}

// Enciphers and queues the first `n` bytes of the buffer being filled; the
// last buffer of a word-cipher payload ends with its tail of S mod 4 bytes.
void ContainerStreamWriter::SealBuffer(std::size_t n, bool last) {
  if (last) {
    cipher_->TransformFinal(buffer_, buffer_, n);
  } else {
    cipher_->Transform(buffer_, buffer_, n);
  }
  behind_->Commit(n);
}

void ContainerStreamWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  if (!header_) {
    // A payload below 1024 bytes: header, payload, trailer, as the
    // encryption engine writes a small file (BuildHeader refuses an empty one).
    ContainerParams params = params_;
    params.payload_size = size_;
    const Header h = BuildHeader(params, random_);
    PayloadCipher cipher = h.MakeCipher(CipherDirection::kEncrypt);
    cipher.TransformFinal(held_.data(), held_.data(), held_.size());
    out_.Write(h.salt);
    out_.Write(h.length);
    out_.Write(h.descriptor);
    out_.Write(h.key_check);
    out_.Write(held_);
    out_.Write(h.trailer);
    return;
  }
  SealBuffer(filled_, true);
  behind_->Flush();
  behind_.reset();
  out_.Write(header_->trailer);
  const std::array<uint8_t, 8> size = EncodeSizeField(size_, header_->salt[1], header_->salt[2]);
  out_.WriteAt(kSplitSizeFieldOffset, size.data(), size.size());
}

}  // namespace vesk::keyed
