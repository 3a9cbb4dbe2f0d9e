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
  bool state_first = false;  // the size refusals set the state before they show the text
};

class Check {
 public:
  Check(InputFile& in, const std::string& key, Reporter& r) : in_(in), key_(key), r_(r), size_(in.Size()) {}

  ReencryptionResult Run() {
    try {
      Attempt(FirstHeaderOffset(size_));
    } catch (const Refusal& refusal) {
      Abort(refusal);
    } catch (...) {
      Abort({text::kReencryptMarkerCheckFailed});
    }
    return result_;
  }

 private:
  bool RetryWindow() const { return HeaderMayBeAtEither(size_) && !retried_; }
  void Abort(const Refusal& refusal) {
    r_.EndRun(Outcome::kRefused, refusal.text);
    if (!refusal.state_first) r_.ReportMessage(refusal.text);
    r_.Flags().KeepRunning = false;
    r_.SetCommandState(Operation::Encrypt, true);
    if (refusal.state_first) r_.ReportMessage(refusal.text);
    result_.refused = true;
    result_.layer_number = 1;
  }
  void KeyFailure(const std::string& text) {
    if (RetryWindow()) {
      retried_ = true;
      deferred_ = text;
      return Attempt(kLeadInSize);
    }
    throw Refusal{text};
  }
  void Attempt(int64_t at);

  InputFile& in_;
  const std::string& key_;
  Reporter& r_;
  const int64_t size_;
  bool retried_ = false;
  std::string deferred_;
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
    if (retried_ && !deferred_.empty()) throw Refusal{deferred_};
    result_.layer_number = 1;
    return;  // not a keyed container
  }
  if (key_.empty()) throw Refusal{text::kReencryptEmptyKey};
  const uint8_t v = f.version;
  if (v > 35) throw Refusal{text::kReencryptNewerVersion};
  const uint8_t x1 = f.r2;

  // The stored extension itself is not needed here: only its length, which
  // places the key-check block.
  if (header.Unreadable(HeaderPart::kSizeField) || header.Unreadable(HeaderPart::kExtensionLength)) {
    throw Refusal{text::kReencryptMarkerCheckFailed};
  }
  const auto plain = static_cast<uint64_t>(f.payload_size);
  const auto e = static_cast<int64_t>(header.extension_length);
  if (header.extension_length_damaged) r_.WarnDamage(text::kExtensionLengthDamaged);
  if (plain < 1) throw Refusal{text::kReencryptSizeBelowOneByte, true};
  if (plain > static_cast<uint64_t>(kFourGiB)) throw Refusal{text::kReencryptSizeAboveFourGiB, true};
  const uint8_t layer = static_cast<uint8_t>(f.layer + 1);
  result_.layer_number = layer;
  if (layer > 12) throw Refusal{text::kReencryptLayerLimit};

  const int l = f.key_length;
  if (l < 1 || l > 2056) return KeyFailure(text::kReencryptKeyLengthDamaged);
  if (static_cast<std::size_t>(l) != key_.size()) return KeyFailure(text::kReencryptKeyMismatch);

  const int64_t g = v > 12 ? (x1 & 0xFC) : x1;
  in_.Seek(plain >= 1024 ? 281 + e + g : 21 + e);
  std::vector<uint8_t> region(static_cast<std::size_t>(std::max(l, 12)));
  in_.ReadExact(region.data(), region.size());
  // The stored padded key; the key box must hold exactly its first l bytes.
  const std::vector<uint8_t> padded = DecodeKeyCheck(region, x1, f.m1, f.m3, v);
  for (int i = 0; i < l; ++i) {
    if (padded[static_cast<std::size_t>(i)] != static_cast<uint8_t>(key_[static_cast<std::size_t>(i)])) {
      return KeyFailure(text::kReencryptKeyMismatch);
    }
  }
  result_.layer_number = layer;  // passed
}

}  // namespace

ReencryptionResult CheckReencryption(const std::string& path, const std::string& key, Reporter& reporter) {
  InputFile in(path);
  return Check(in, key, reporter).Run();
}

}  // namespace vesk::keyed
