#include "crypto/keyed/container.h"

#include <algorithm>
#include <stdexcept>

namespace vesk::keyed {
namespace {

// Position counter c(i) of byte i.
uint8_t Counter(std::size_t i) { return static_cast<uint8_t>(i + 1); }

uint8_t SizeMask(std::size_t j, uint8_t m2, uint8_t m3) {
  return static_cast<uint8_t>(m2 ^ static_cast<uint8_t>(31 * j) ^ m3);
}

// The marker bytes of the descriptor spell ".jmz" under t, b0, b1, b2.
constexpr std::array<uint8_t, 4> kJmz = {0x2E, 0x6A, 0x6D, 0x7A};

void RequireSize(std::span<const uint8_t> bytes, std::size_t size, const char* what) {
  if (bytes.size() < size) throw std::invalid_argument(what);
}

}  // namespace

ContainerLayout ComputeLayout(int64_t payload_size, std::size_t ext_length, std::size_t padded_key_length,
                              int64_t insertion_point) {
  const auto e = static_cast<int64_t>(ext_length);
  const auto l = static_cast<int64_t>(padded_key_length);
  const int64_t lead = static_cast<int64_t>(kFixedBlocksSize) + e;  // salt + length + descriptor
  ContainerLayout layout;
  layout.split = payload_size >= kSplitThreshold;
  if (layout.split) {
    layout.header_offset = kLeadInSize;
    layout.key_check_offset = insertion_point + lead;
    layout.payload_offset = 0;
  } else {
    layout.header_offset = 0;
    layout.key_check_offset = lead;
    layout.payload_offset = lead + l;
  }
  layout.trailer_offset = payload_size + lead + l;
  layout.total_length = layout.trailer_offset + static_cast<int64_t>(kTrailerSize);
  return layout;
}

int64_t Header::ContainerLength() const { return Layout().total_length; }

ContainerLayout Header::Layout() const {
  return ComputeLayout(payload_size, ExtensionLength(), PaddedKeyLength(), insertion_point);
}

std::vector<uint8_t> Header::LeadBlocks() const {
  std::vector<uint8_t> bytes;
  bytes.reserve(kSaltSize + kLengthSize + descriptor.size());
  bytes.insert(bytes.end(), salt.begin(), salt.end());
  bytes.insert(bytes.end(), length.begin(), length.end());
  bytes.insert(bytes.end(), descriptor.begin(), descriptor.end());
  return bytes;
}

PayloadCipher Header::MakeCipher(CipherDirection direction) const {
  return PayloadCipher(direction, key_stream, version, first_key_byte);
}

std::vector<uint8_t> BuildKeyStream(std::span<const uint8_t> padded_key, uint8_t r1, uint8_t r2, uint8_t r3) {
  std::vector<uint8_t> k(padded_key.size());
  for (std::size_t i = 0; i < k.size(); ++i) {
    k[i] = static_cast<uint8_t>((static_cast<uint8_t>((padded_key[i] ^ r1) + Counter(i)) + r2) ^ r3);
  }
  return k;
}

std::vector<uint8_t> EncodeKeyCheck(std::span<const uint8_t> padded_key, uint8_t r2, uint8_t m1, uint8_t m3,
                                    uint8_t version) {
  const bool xor_form = UsesXorKeyCheck(version);
  std::vector<uint8_t> block(padded_key.size());
  for (std::size_t i = 0; i < block.size(); ++i) {
    uint8_t d = xor_form ? static_cast<uint8_t>(padded_key[i] ^ Counter(i))
                         : static_cast<uint8_t>(padded_key[i] + Counter(i));
    d ^= r2;
    d = xor_form ? static_cast<uint8_t>((d ^ m1) + m3) : static_cast<uint8_t>((d + m1) ^ m3);
    block[i] = d;
  }
  return block;
}

std::vector<uint8_t> DecodeKeyCheck(std::span<const uint8_t> block, uint8_t r2, uint8_t m1, uint8_t m3,
                                    uint8_t version) {
  const bool xor_form = UsesXorKeyCheck(version);
  std::vector<uint8_t> padded_key(block.size());
  for (std::size_t i = 0; i < block.size(); ++i) {
    uint8_t d = xor_form ? static_cast<uint8_t>((block[i] - m3) ^ m1)
                         : static_cast<uint8_t>((block[i] ^ m3) - m1);
    d ^= r2;
    padded_key[i] = xor_form ? static_cast<uint8_t>(d ^ Counter(i)) : static_cast<uint8_t>(d - Counter(i));
  }
  return padded_key;
}

std::array<uint8_t, 8> EncodeSizeField(int64_t payload_size, uint8_t m2, uint8_t m3) {
  const auto size = static_cast<uint64_t>(payload_size);
  std::array<uint8_t, 8> field{};
  for (std::size_t j = 0; j < 8; ++j) field[j] = static_cast<uint8_t>(size >> (8 * j)) ^ SizeMask(j, m2, m3);
  return field;
}

std::vector<uint8_t> EncodeExtension(std::span<const uint8_t> ext, uint8_t m1, uint8_t m2) {
  std::vector<uint8_t> stored(ext.size());
  for (std::size_t i = 0; i < ext.size(); ++i) {
    stored[i] = static_cast<uint8_t>(ext[i] ^ m1 ^ static_cast<uint8_t>(i + 1) ^ m2);
  }
  return stored;
}

std::string DecodeExtension(std::span<const uint8_t> stored, uint8_t m1, uint8_t m2) {
  const std::vector<uint8_t> plain = EncodeExtension(stored, m1, m2);
  return std::string(plain.begin(), plain.end());
}

std::array<uint8_t, kTrailerSize> BuildTrailer(const std::array<uint8_t, kSaltSize>& salt,
                                               const std::array<uint8_t, kLengthSize>& length, uint8_t e) {
  std::array<uint8_t, kTrailerSize> trailer{};
  for (std::size_t i = 0; i < kSaltSize; ++i) trailer[i] = salt[i] ^ 0x1F;
  for (std::size_t i = 0; i < kLengthSize; ++i) trailer[kSaltSize + i] = length[i] ^ 0x1F;
  trailer[7] = e ^ 0x1F;
  const uint8_t mask = salt[0] ^ salt[1] ^ salt[2];
  for (std::size_t i = 0; i < kMarkerText.size(); ++i) trailer[8 + i] = kMarkerText[i] ^ mask;
  return trailer;
}

Header BuildHeader(const ContainerParams& params, RandomSource& random) {
  const std::size_t n = params.key.size();
  if (n < 1 || n > kMaxKeyBytes) throw std::invalid_argument("key must have 1 to 2056 bytes");
  if (params.payload_size < 1 || params.payload_size > kMaxPayloadSize) {
    throw std::invalid_argument("payload size must be 1 to 4294967296 bytes");
  }

  Header h;
  h.version = params.version;
  h.layer = params.layer;
  h.pre_zip_level = params.pre_zip_level;
  h.payload_size = params.payload_size;
  h.key_length = n;
  h.first_key_byte = static_cast<uint8_t>(params.key[0]);

  // Padded key; the filler bytes are the first draws.
  std::vector<uint8_t> padded(params.key.begin(), params.key.end());
  while (padded.size() < kMinPaddedKeyBytes) padded.push_back(random.Next());

  h.r1 = random.Next();
  h.r2 = random.Next();
  h.r3 = random.Next();
  const uint8_t r1 = h.r1, r2 = h.r2, r3 = h.r3;
  h.key_stream = BuildKeyStream(padded, r1, r2, r3);

  // Length block.
  const auto n_low = static_cast<uint8_t>(n);
  const auto n_high = static_cast<uint8_t>(n >> 8);
  uint8_t b0 = static_cast<uint8_t>(n_low + r1) ^ r2;
  uint8_t b1 = static_cast<uint8_t>(n_high + r2) ^ r3;
  if (MasksLengthTwice(h.version)) {
    b0 ^= r3;
    b1 ^= r1;
  }
  const uint8_t b2 = static_cast<uint8_t>(params.pre_zip_level + r3) ^ r1;
  h.length = {b0, b1, b2};

  // Masking and salt block.
  const uint8_t k = b0 ^ b1;
  const uint8_t m1 = r1 ^ k, m2 = r2 ^ k, m3 = r3 ^ k;
  const uint8_t t = params.layer ^ m2 ^ m1;
  h.salt = {m1, m2, m3, t};

  h.key_check = EncodeKeyCheck(padded, r2, m1, m3, h.version);
  std::fill(padded.begin(), padded.end(), 0);

  // Descriptor block. An extension longer than readers accept would make the
  // container unreadable, so it is left out.
  std::span<const uint8_t> ext(reinterpret_cast<const uint8_t*>(params.ext.data()), params.ext.size());
  if (ext.size() > kMaxStoredExtension) {
    ext = {};
    h.extension_dropped = true;
  }
  const auto ext_length = static_cast<uint8_t>(ext.size());
  const uint8_t e = ext_length ^ m2 ^ m3;
  h.descriptor.reserve(kDescriptorFixedSize + ext.size());
  h.descriptor.push_back(kJmz[0] ^ t);
  h.descriptor.push_back(kJmz[1] ^ b0);
  h.descriptor.push_back(kJmz[2] ^ b1);
  h.descriptor.push_back(kJmz[3] ^ b2);
  h.descriptor.push_back(m1 ^ h.version);
  const std::array<uint8_t, 8> size_field = EncodeSizeField(params.payload_size, m2, m3);
  h.descriptor.insert(h.descriptor.end(), size_field.begin(), size_field.end());
  h.descriptor.push_back(e);
  const std::vector<uint8_t> stored_ext = EncodeExtension(ext, m1, m2);
  h.descriptor.insert(h.descriptor.end(), stored_ext.begin(), stored_ext.end());

  h.trailer = BuildTrailer(h.salt, h.length, e);
  h.insertion_point = InsertionPoint(r2, h.version);
  return h;
}

HeaderPrefix ParseHeaderPrefix(std::span<const uint8_t> bytes) {
  RequireSize(bytes, kHeaderPrefixSize, "header prefix needs 12 bytes");
  HeaderPrefix p;
  p.m1 = bytes[0];
  p.m2 = bytes[1];
  p.m3 = bytes[2];
  p.t = bytes[3];
  p.b0 = bytes[4];
  p.b1 = bytes[5];
  p.b2 = bytes[6];
  p.marker_ok = (bytes[7] ^ p.t) == kJmz[0] && (bytes[8] ^ p.b0) == kJmz[1] &&
                (bytes[9] ^ p.b1) == kJmz[2] && (bytes[10] ^ p.b2) == kJmz[3];
  const uint8_t k = p.b0 ^ p.b1;
  p.r1 = p.m1 ^ k;
  p.r2 = p.m2 ^ k;
  p.r3 = p.m3 ^ k;
  p.version = bytes[11] ^ p.m1;
  p.layer = p.t ^ p.m2 ^ p.m1;

  const bool twice = MasksLengthTwice(p.version);
  const auto n_low = static_cast<uint8_t>(((p.b0 ^ (twice ? p.r3 : 0)) ^ p.r2) - p.r1);
  const auto n_high = static_cast<uint8_t>(((p.b1 ^ (twice ? p.r1 : 0)) ^ p.r3) - p.r2);
  p.key_length = static_cast<int16_t>(static_cast<uint16_t>(n_low | (n_high << 8)));
  p.pre_zip_level = static_cast<uint8_t>((p.b2 ^ p.r1) - p.r3);
  return p;
}

FixedBlocks ParseFixedBlocks(std::span<const uint8_t> bytes) {
  RequireSize(bytes, kFixedBlocksSize, "fixed header blocks need 21 bytes");
  FixedBlocks f;
  static_cast<HeaderPrefix&>(f) = ParseHeaderPrefix(bytes);
  uint64_t size = 0;
  for (std::size_t j = 0; j < 8; ++j) {
    const uint8_t byte = bytes[kHeaderPrefixSize + j] ^ SizeMask(j, f.m2, f.m3);
    size |= static_cast<uint64_t>(byte) << (8 * j);
  }
  f.payload_size = static_cast<int64_t>(size);
  f.e = bytes[20];
  f.ext_length = f.e ^ f.m2 ^ f.m3;
  return f;
}

TrailerFields ParseTrailer(std::span<const uint8_t> bytes) {
  RequireSize(bytes, kTrailerSize, "trailer needs 16 bytes");
  TrailerFields tr;
  for (std::size_t i = 0; i < kSaltSize; ++i) tr.salt[i] = bytes[i] ^ 0x1F;
  for (std::size_t i = 0; i < kLengthSize; ++i) tr.length[i] = bytes[kSaltSize + i] ^ 0x1F;
  tr.e = bytes[7] ^ 0x1F;
  const uint8_t mask = tr.salt[0] ^ tr.salt[1] ^ tr.salt[2];
  tr.marker_ok = true;
  for (std::size_t i = 0; i < kMarkerText.size(); ++i) {
    if ((bytes[8 + i] ^ mask) != kMarkerText[i]) tr.marker_ok = false;
  }
  return tr;
}

bool TrailerMatches(const TrailerFields& trailer, const FixedBlocks& fixed) {
  return trailer.marker_ok && trailer.salt == std::array<uint8_t, kSaltSize>{fixed.m1, fixed.m2, fixed.m3, fixed.t} &&
         trailer.length == std::array<uint8_t, kLengthSize>{fixed.b0, fixed.b1, fixed.b2} && trailer.e == fixed.e;
}

}  // namespace vesk::keyed
