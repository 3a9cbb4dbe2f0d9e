#include "crypto/keyed/header_reader.h"

#include <array>

#include "platform/file_io.h"

namespace vesk::keyed {
namespace {

constexpr std::size_t kMarkerEnd = 11;           // salt, length, the four marker bytes
constexpr std::size_t kSizeFieldSize = 8;
constexpr std::size_t kDamagedExtensionLength = 4;  // what a damaged E is read as

}  // namespace

bool HeaderRead::ExtensionUsable() const {
  return extension.size() >= 2 && extension[0] == '.' && extension.find('/') == std::string::npos &&
         extension.find('\0') == std::string::npos;
}

HeaderRead ReadHeaderAt(InputFile& in, int64_t at) {
  HeaderRead h;
  h.offset = at;
  std::array<uint8_t, kFixedBlocksSize> bytes{};
  in.Seek(at);
  const std::size_t got = in.Read(bytes.data(), kHeaderPrefixSize);
  h.fields = ParseFixedBlocks(bytes);
  if (got < kMarkerEnd || !h.fields.marker_ok) {
    h.fault = HeaderFault::kNoMarker;
    return h;
  }
  // Each later part is read on its own, so that a reader can tell which of
  // them it could not have.
  const auto fail = [&h](HeaderFault fault, HeaderPart part) {
    h.fault = fault;
    h.part = part;
    return h;
  };
  try {
    if (in.Read(bytes.data() + kHeaderPrefixSize, kSizeFieldSize) != kSizeFieldSize) {
      h.fields = ParseFixedBlocks(bytes);
      return fail(HeaderFault::kCut, HeaderPart::kSizeField);
    }
  } catch (const IoError&) {
    return fail(HeaderFault::kReadFailed, HeaderPart::kSizeField);
  }
  try {
    in.Read(bytes.data() + kHeaderPrefixSize + kSizeFieldSize, 1);  // past the end: 0
  } catch (const IoError&) {
    h.fields = ParseFixedBlocks(bytes);
    return fail(HeaderFault::kReadFailed, HeaderPart::kExtensionLength);
  }
  h.fields = ParseFixedBlocks(bytes);
  h.extension_length_damaged = h.fields.ext_length > kMaxStoredExtension;
  h.extension_length = h.extension_length_damaged ? kDamagedExtensionLength : h.fields.ext_length;
  if (h.extension_length == 0) return h;
  std::string stored(h.extension_length, '\0');
  try {
    if (in.Read(stored.data(), stored.size()) != stored.size()) return fail(HeaderFault::kCut, HeaderPart::kExtension);
  } catch (const IoError&) {
    return fail(HeaderFault::kReadFailed, HeaderPart::kExtension);
  }
  h.extension = DecodeExtension(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()),
                                h.fields.m1, h.fields.m2);
  return h;
}

HeaderRead ReadHeader(InputFile& in, int64_t start, int64_t size) {
  HeaderRead h = ReadHeaderAt(in, start + FirstHeaderOffset(size));
  if (!h.HasMarker() && HeaderMayBeAtEither(size)) h = ReadHeaderAt(in, start + kLeadInSize);
  return h;
}

}  // namespace vesk::keyed
