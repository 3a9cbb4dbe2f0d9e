#include "crypto/keyless/stream_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vesk::keyless {
namespace {

constexpr std::size_t kBuffer = std::size_t{1} << 20;  // a multiple of 4
constexpr int64_t kMaxPayload = int64_t{1} << 32;

}  // namespace

StreamWriter::StreamWriter(const std::string& key, Version version, const RandomBlock& r, StagedOutput& out)
    : out_(out), r_(r), behind_([this](const uint8_t* data, std::size_t n) { out_.Write(data, n); }, kBuffer) {
  if (key.empty()) throw std::invalid_argument("a key-less container needs a key");
  const Variant variant = VariantFor(version);
  k_ = DeriveKeyStream(Selector(key, r), key, r);
  if (variant.fold) k_ = FoldKeyStream(std::move(k_), r);
  cipher_.emplace(Direction::kEncrypt, variant.words, StepValue(variant.step, KeyDigit(key)), k_);
  out_.Write(BuildHeader(version, r));
  buffer_ = behind_.Next();
}

StreamWriter::~StreamWriter() { std::fill(k_.begin(), k_.end(), 0); }

void StreamWriter::Write(const void* data, std::size_t n) {
  if (static_cast<int64_t>(n) > kMaxPayload - size_) throw PayloadTooLarge();
  const auto* p = static_cast<const uint8_t*>(data);
  size_ += static_cast<int64_t>(n);
  while (n > 0) {
    const std::size_t take = std::min(n, kBuffer - filled_);
    std::memcpy(buffer_ + filled_, p, take);
    filled_ += take;
    p += take;
    n -= take;
    if (filled_ == kBuffer) {
      cipher_->Transform(std::span(buffer_, kBuffer));
      behind_.Commit(kBuffer);
      buffer_ = behind_.Next();
      filled_ = 0;
    }
  }
}

void StreamWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  if (size_ == 0) throw std::invalid_argument("an empty payload");
  const std::size_t whole = filled_ / 4 * 4;
  cipher_->Transform(std::span(buffer_, whole));
  TransformTail(Direction::kEncrypt, k_, std::span(buffer_ + whole, filled_ - whole));
  behind_.Commit(filled_);
  behind_.Flush();
  out_.Write(BuildTrailer(r_));
}

}  // namespace vesk::keyless
