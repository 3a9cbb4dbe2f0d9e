#include "crypto/keyed/reencryption_check.h"

#include <algorithm>
#include <vector>

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
      in_.Seek(size_ < 3500 ? 0 : 260);
      Attempt();
    } catch (const Refusal& refusal) {
      Abort(refusal);
    } catch (...) {
      Abort({text::kReencryptMarkerCheckFailed});
    }
    return result_;
  }

 private:
  bool RetryWindow() const { return size_ > 1032 && size_ < 3500 && !retried_; }
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
      in_.Seek(260);
      deferred_ = text;
      return Attempt();
    }
    throw Refusal{text};
  }
  uint8_t ReadByte() {
    uint8_t b = 0;
    in_.Read(&b, 1);  // past the end: nothing read, no error
    return b;
  }
  void Attempt();

  InputFile& in_;
  const std::string& key_;
  Reporter& r_;
  const int64_t size_;
  bool retried_ = false;
  std::string deferred_;
  ReencryptionResult result_;
};

void Check::Attempt() {
  uint8_t b[12];
  for (uint8_t& byte : b) byte = ReadByte();
  if ((b[7] ^ b[3]) != '.' || (b[8] ^ b[4]) != 'j' || (b[9] ^ b[5]) != 'm' || (b[10] ^ b[6]) != 'z') {
    if (RetryWindow()) {
      retried_ = true;
      in_.Seek(260);
      return Attempt();
    }
    if (retried_ && !deferred_.empty()) throw Refusal{deferred_};
    result_.layer_number = 1;
    return;  // not a keyed container
  }
  if (key_.empty()) throw Refusal{text::kReencryptEmptyKey};
  const uint8_t v = b[11] ^ b[0];
  if (v > 35) throw Refusal{text::kReencryptNewerVersion};
  const uint8_t x0 = b[0] ^ b[4] ^ b[5], x1 = b[1] ^ b[4] ^ b[5], x2 = b[2] ^ b[4] ^ b[5];

  uint8_t s[8];
  in_.ReadExact(s, 8);
  uint64_t plain = 0;
  for (int i = 7; i >= 0; --i) plain = (plain << 8) | static_cast<uint8_t>(s[i] ^ b[2] ^ static_cast<uint8_t>(31 * i) ^ b[1]);
  int64_t e = static_cast<uint8_t>(ReadByte() ^ b[2] ^ b[1]);
  if (e > 215) {
    r_.WarnDamage(text::kExtensionLengthDamaged);
    e = 4;
  }
  if (plain < 1) throw Refusal{text::kReencryptSizeBelowOneByte, true};
  if (plain > static_cast<uint64_t>(kFourGiB)) throw Refusal{text::kReencryptSizeAboveFourGiB, true};
  const uint8_t layer = static_cast<uint8_t>((b[3] ^ b[0] ^ b[1]) + 1);
  result_.layer_number = layer;
  if (layer > 12) throw Refusal{text::kReencryptLayerLimit};

  uint8_t lo = b[4];
  if (v >= 30) lo ^= x2;
  lo ^= x1;
  lo = static_cast<uint8_t>(lo - x0);
  uint8_t hi = b[5];
  if (v >= 30) hi ^= x0;
  hi ^= x2;
  hi = static_cast<uint8_t>(hi - x1);
  const int l = static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
  if (l < 1 || l > 2056) return KeyFailure(text::kReencryptKeyLengthDamaged);
  if (static_cast<std::size_t>(l) != key_.size()) return KeyFailure(text::kReencryptKeyMismatch);

  const int64_t g = v > 12 ? (x1 & 0xFC) : x1;
  in_.Seek(plain >= 1024 ? 281 + e + g : 21 + e);
  std::vector<uint8_t> region(static_cast<std::size_t>(std::max(l, 12)));
  in_.ReadExact(region.data(), region.size());
  for (int i = 0; i < l; ++i) {
    const uint8_t d = v > 19 ? static_cast<uint8_t>((region[i] - b[2]) ^ b[0])
                             : static_cast<uint8_t>((region[i] ^ b[2]) - b[0]);
    const uint8_t t = static_cast<uint8_t>(i + 1);
    const uint8_t c = static_cast<uint8_t>(key_[static_cast<std::size_t>(i)]);
    const uint8_t enc = static_cast<uint8_t>((v < 20 ? static_cast<uint8_t>(c + t) : static_cast<uint8_t>(c ^ t)) ^ x1);
    if (enc != d) return KeyFailure(text::kReencryptKeyMismatch);
  }
  result_.layer_number = layer;  // passed
}

}  // namespace

ReencryptionResult CheckReencryption(const std::string& path, const std::string& key, Reporter& reporter) {
  InputFile in(path);
  return Check(in, key, reporter).Run();
}

}  // namespace vesk::keyed
