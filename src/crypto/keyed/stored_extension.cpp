#include "crypto/keyed/stored_extension.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/control_characters.h"
#include "platform/file_io.h"
#include "platform/gbk.h"

namespace vesk::keyed {
namespace {

constexpr int64_t kSecondOffset = 260;     // header of a container with 1024 payload bytes or more
constexpr int64_t kSmallContainers = 3500;  // below this, the header may also be at offset 0
constexpr int64_t kBothPlaces = 1033;       // from this size on, at either place
constexpr std::size_t kMaxExtension = 215;

// The stored extension of a header at `offset`, or nothing when no header
// marker is there.
std::optional<std::string> ExtensionAt(InputFile& in, int64_t offset) {
  std::array<uint8_t, 21> h{};
  in.Seek(offset);
  if (in.Read(h.data(), h.size()) != h.size()) return std::nullopt;
  const uint8_t m1 = h[0], m2 = h[1], m3 = h[2], t = h[3], b0 = h[4], b1 = h[5], b2 = h[6];
  if ((h[7] ^ t) != '.' || (h[8] ^ b0) != 'j' || (h[9] ^ b1) != 'm' || (h[10] ^ b2) != 'z') return std::nullopt;
  const std::size_t e = static_cast<uint8_t>(h[20] ^ m3 ^ m2);  // after the version byte and the 8-byte size
  if (e > kMaxExtension) return std::string();
  std::string ext(e, '\0');
  if (in.Read(ext.data(), e) != e) return std::string();
  for (std::size_t i = 0; i < e; ++i) {
    ext[i] = static_cast<char>(static_cast<uint8_t>(ext[i]) ^ m2 ^ static_cast<uint8_t>(i + 1) ^ m1);
  }
  if (ext.size() < 2 || ext[0] != '.' || ext.find('/') != std::string::npos || ext.find('\0') != std::string::npos) {
    return std::string();  // damaged: the decryption stores nothing either
  }
  // As the decryption names its output: control characters replaced.
  return ReplaceControlCharacters(GbkToUtf8(ext));
}

}  // namespace

std::string StoredExtension(const std::string& path) {
  try {
    InputFile in(path);
    const int64_t size = in.Size();
    std::vector<int64_t> places;
    if (size < kSmallContainers) places.push_back(0);
    if (size >= kBothPlaces) places.push_back(kSecondOffset);
    for (int64_t offset : places) {
      if (auto ext = ExtensionAt(in, offset)) return *ext;
    }
  } catch (const IoError&) {
  }
  return {};
}

}  // namespace vesk::keyed
