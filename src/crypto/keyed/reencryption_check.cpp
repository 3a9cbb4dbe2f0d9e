#include "crypto/keyed/reencryption_check.h"

#include <algorithm>
#include <vector>

#include "crypto/keyed/header_reader.h"
#include "crypto/keyed/texts.h"
#include "platform/file_io.h"

namespace vesk::keyed {
namespace {

constexpr int64_t kFourGiB = int64_t{1} << 32;

struct Refusal {
  std::string text;
  Reason code = Reason::kUnspecified;
};

class Check {
 public:
  Check(InputFile& in, const std::string& key, Prompter& prompter)
      : in_(in), key_(key), prompter_(prompter), size_(in.Size()) {}

  ReencryptionResult Run() {
    try {
      Attempt(FirstHeaderOffset(size_));
    } catch (const Refusal& refusal) {
      Abort(refusal);
    } catch (...) {
      Abort({text::kReencryptMarkerCheckFailed, Reason::kIo});
    }
    return result_;
  }

 private:
  bool RetryWindow() const { return HeaderMayBeAtEither(size_) && !retried_; }
  void Abort(const Refusal& refusal) {
    result_.ending = RunResult::Ended(Outcome::kRefused, refusal.code, refusal.text);
    result_.layer_number = 1;
  }
  void KeyFailure(const std::string& text, Reason code) {
    if (RetryWindow()) {
      retried_ = true;
      deferred_ = {text, code};
      return Attempt(kLeadInSize);
    }
    throw Refusal{text, code};
  }
  void Attempt(int64_t at);

  InputFile& in_;
  const std::string& key_;
  Prompter& prompter_;
  const int64_t size_;
  bool retried_ = false;
  Refusal deferred_;
  ReencryptionResult result_;
};

void Check::Attempt(int64_t at) {
  const HeaderRead header = ReadHeaderAt(in_, at);
  const FixedBlocks& f = header.fields;
  if (!header.HasMarker()) {
    if (RetryWindow()) {
      retried_ = true;
      return Attempt(kLeadInSize);
    }
    if (retried_ && !deferred_.text.empty()) throw deferred_;
    result_.layer_number = 1;
    return;  // not a keyed container
  }
  if (key_.empty()) throw Refusal{text::kReencryptEmptyKey, Reason::kNoKey};
  const uint8_t v = f.version;
  if (v > 35) throw Refusal{text::kReencryptNewerVersion, Reason::kUnsupported};
  const uint8_t x1 = f.r2;

  // The stored extension itself is not needed here: only its length, which
  // places the key-check block.
  if (header.Unreadable(HeaderPart::kSizeField) || header.Unreadable(HeaderPart::kExtensionLength)) {
    throw Refusal{text::kReencryptMarkerCheckFailed, Reason::kIo};
  }
  const auto plain = static_cast<uint64_t>(f.payload_size);
  const auto e = static_cast<int64_t>(header.extension_length);
  if (header.extension_length_damaged) {
    result_.damage_warned = true;
    prompter_.ReportMessage(text::kExtensionLengthDamaged);
  }
  if (plain < 1) throw Refusal{text::kReencryptSizeBelowOneByte, Reason::kDamaged};
  if (plain > static_cast<uint64_t>(kFourGiB)) throw Refusal{text::kReencryptSizeAboveFourGiB, Reason::kDamaged};
  const uint8_t layer = static_cast<uint8_t>(f.layer + 1);
  result_.layer_number = layer;
  if (layer > 12) throw Refusal{text::kReencryptLayerLimit, Reason::kUnsupported};

  const int l = f.key_length;
  if (l < 1 || l > 2056) return KeyFailure(text::kReencryptKeyLengthDamaged, Reason::kDamaged);
  if (static_cast<std::size_t>(l) != key_.size()) return KeyFailure(text::kReencryptKeyMismatch, Reason::kWrongKey);

  const int64_t g = v > 12 ? (x1 & 0xFC) : x1;
  in_.Seek(plain >= 1024 ? 281 + e + g : 21 + e);
  std::vector<uint8_t> region(static_cast<std::size_t>(std::max(l, 12)));
  in_.ReadExact(region.data(), region.size());
  // The stored padded key; the key box must hold exactly its first l bytes.
  const std::vector<uint8_t> padded = DecodeKeyCheck(region, x1, f.m1, f.m3, v);
  for (int i = 0; i < l; ++i) {
    if (padded[static_cast<std::size_t>(i)] != static_cast<uint8_t>(key_[static_cast<std::size_t>(i)])) {
      return KeyFailure(text::kReencryptKeyMismatch, Reason::kWrongKey);
    }
  }
  result_.layer_number = layer;  // passed
}

}  // namespace

ReencryptionResult CheckReencryption(const std::string& path, const std::string& key, Prompter& prompter) {
  InputFile in(path);
  return Check(in, key, prompter).Run();
}

}  // namespace vesk::keyed
