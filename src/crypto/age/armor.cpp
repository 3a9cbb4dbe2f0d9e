#include "crypto/age/armor.h"

#include <algorithm>
#include <cstring>

#include "crypto/age/encoding.h"

namespace vesk::age {
namespace {

constexpr std::size_t kLineBytes = 48;    // 64 base64 columns
constexpr std::size_t kBatchBytes = kLineBytes * 1024;

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool ArmorSink::Write(const uint8_t* data, std::size_t n) {
  if (!started_) {
    started_ = true;
    const std::string begin = std::string(kArmorBegin) + "\n";
    if (!out_.Write(reinterpret_cast<const uint8_t*>(begin.data()), begin.size())) return Fail(Status::kIoError, out_.failure().detail);
  }
  pending_.insert(pending_.end(), data, data + n);
  return pending_.size() < kBatchBytes || Flush(false);
}

// Encodes whole lines of pending bytes (all of them when `all`, the last
// line possibly short) and writes them.
bool ArmorSink::Flush(bool all) {
  const std::size_t usable = all ? pending_.size() : pending_.size() / kLineBytes * kLineBytes;
  text_.clear();
  for (std::size_t at = 0; at < usable; at += kLineBytes) {
    const std::size_t n = std::min(kLineBytes, usable - at);
    text_ += EncodeBase64Padded(std::span(pending_).subspan(at, n));
    text_ += '\n';
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(usable));
  if (!out_.Write(reinterpret_cast<const uint8_t*>(text_.data()), text_.size()))
    return Fail(Status::kIoError, out_.failure().detail);
  return true;
}

bool ArmorSink::Finish() {
  if (!started_ && !Write(nullptr, 0)) return false;
  if (!Flush(true)) return false;
  const std::string end = std::string(kArmorEnd) + "\n";
  if (!out_.Write(reinterpret_cast<const uint8_t*>(end.data()), end.size()))
    return Fail(Status::kIoError, out_.failure().detail);
  return true;
}

InputKind DetectArmor(BufferedReader& in) {
  bool skipped = false;
  for (;;) {
    const auto b = in.Peek(256);
    if (in.failed()) return InputKind::kFailed;
    std::size_t n = 0;
    while (n < b.size() && IsSpace(b[n])) ++n;
    in.Consume(n);
    skipped = skipped || n > 0;
    if (n < b.size() || b.empty()) break;
  }
  const auto start = in.Peek(kArmorBegin.size());
  if (in.failed()) return InputKind::kFailed;
  if (std::string_view(reinterpret_cast<const char*>(start.data()), start.size()) == kArmorBegin)
    return InputKind::kArmored;
  return skipped ? InputKind::kNotAge : InputKind::kBinary;
}

// Reads the next armor line into line_ without its line end; -1 on failure.
long ArmorSource::NextLine() {
  const auto status = in_.ReadLine(line_, 80);
  if (status == BufferedReader::LineStatus::kFailed) return Fail(Status::kIoError, in_.failure().detail);
  if (status == BufferedReader::LineStatus::kTooLong) return Fail(Status::kArmorInvalid, "an armor line is too long");
  if (status == BufferedReader::LineStatus::kEnd) {
    // Only the END line may go without a line end, at the very end.
    if (line_ == kArmorEnd && state_ == State::kBody) return 0;
    return Fail(Status::kArmorInvalid, "the armor ends without its END line");
  }
  line_.pop_back();
  const bool cr = !line_.empty() && line_.back() == '\r';
  if (cr) line_.pop_back();
  if (state_ == State::kBegin) crlf_ = cr;
  if (cr != crlf_) return Fail(Status::kArmorInvalid, "the armor mixes line ends");
  return 0;
}

long ArmorSource::Read(uint8_t* buf, std::size_t n) {
  if (state_ == State::kBegin) {
    if (NextLine() < 0) return -1;
    if (line_ != kArmorBegin) return Fail(Status::kArmorInvalid, "malformed armor BEGIN line");
    state_ = State::kBody;
  }
  std::size_t done = 0;
  while (done < n) {
    if (decoded_at_ < decoded_end_) {
      const std::size_t k = std::min(n - done, decoded_end_ - decoded_at_);
      std::memcpy(buf + done, decoded_ + decoded_at_, k);
      decoded_at_ += k;
      done += k;
      continue;
    }
    if (state_ == State::kDone) break;
    if (NextLine() < 0) return -1;
    if (line_ == kArmorEnd) {
      if (decoded_end_ == 0) return Fail(Status::kArmorInvalid, "the armor holds no data");
      // After the END line: whitespace only, up to the end of the input.
      for (;;) {
        const auto b = in_.Peek(4096);
        if (in_.failed()) return Fail(Status::kIoError, in_.failure().detail);
        if (b.empty()) break;
        if (!std::all_of(b.begin(), b.end(), IsSpace)) return Fail(Status::kArmorInvalid, "data after the armor");
        in_.Consume(b.size());
      }
      state_ = State::kDone;
      continue;
    }
    // A line shorter than 64 columns (or one with padding) must be the last.
    if (decoded_end_ > 0 && decoded_end_ < kLineBytes)
      return Fail(Status::kArmorInvalid, "an armor line after the short last line");
    if (line_.empty() || line_.size() > 64) return Fail(Status::kArmorInvalid, "an armor line of the wrong length");
    const long got = DecodeBase64PaddedInto(line_, decoded_);
    if (got < 0) return Fail(Status::kArmorInvalid, "armor line is not canonical base64");
    // A full-length line with padding decodes short and so must be the last too.
    decoded_at_ = 0;
    decoded_end_ = static_cast<std::size_t>(got);
  }
  return static_cast<long>(done);
}

}  // namespace vesk::age
