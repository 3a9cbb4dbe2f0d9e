#include "container_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "crypto/keyed/scripted_random.h"

namespace vesk::keyed::fixture {

std::vector<uint8_t> DrawValues(const Recipe& recipe) {
  std::vector<uint8_t> values;
  for (std::size_t i = recipe.key.size(); i < kMinPaddedKeyBytes; ++i) {
    values.push_back(static_cast<uint8_t>((recipe.draws.filler + (i - recipe.key.size())) % 255));
  }
  values.push_back(recipe.draws.r1);
  values.push_back(recipe.draws.r2);
  values.push_back(recipe.draws.r3);
  return values;
}

namespace {

template <typename Block>
void Append(std::string& to, const Block& block) {
  to.append(reinterpret_cast<const char*>(block.data()), block.size());
}

void WriteAt(int fd, int64_t offset, std::string_view bytes) {
  if (::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("pwrite failed");
  }
}

}  // namespace

Header MakeHeader(const Recipe& recipe, int64_t payload_size) {
  ContainerParams params;
  params.key = recipe.key;
  params.version = recipe.version;
  params.layer = recipe.layer;
  params.pre_zip_level = recipe.pre_zip_level;
  params.ext = recipe.ext;
  params.payload_size = payload_size;
  ScriptedRandom random(DrawValues(recipe));
  return BuildHeader(params, random);
}

std::string PaddedKey(const Recipe& recipe) {
  std::string padded = recipe.key;
  const std::vector<uint8_t> draws = DrawValues(recipe);
  for (std::size_t i = 0; i + 3 < draws.size(); ++i) padded.push_back(static_cast<char>(draws[i]));
  return padded;
}

std::string AssembleContainer(const Header& h, std::string_view payload) {
  std::string c(payload.size(), '\0');
  PayloadCipher cipher = h.MakeCipher(CipherDirection::kEncrypt);
  cipher.TransformFinal(reinterpret_cast<const uint8_t*>(payload.data()), reinterpret_cast<uint8_t*>(c.data()),
                        c.size());
  std::string out;
  if (static_cast<int64_t>(payload.size()) < kSplitThreshold) {
    Append(out, h.LeadBlocks());
    Append(out, h.key_check);
    out += c;
  } else {
    const auto p = static_cast<std::size_t>(h.insertion_point);
    out += c.substr(0, kLeadInSize);
    Append(out, h.LeadBlocks());
    out += c.substr(kLeadInSize, p - kLeadInSize);
    Append(out, h.key_check);
    out += c.substr(p);
  }
  Append(out, h.trailer);
  return out;
}

std::string MakeContainer(const Recipe& recipe, std::string_view payload) {
  return AssembleContainer(MakeHeader(recipe, static_cast<int64_t>(payload.size())), payload);
}

void SetStoredSize(Header& h, uint64_t size) {
  const uint8_t m2 = h.salt[1], m3 = h.salt[2];
  for (std::size_t j = 0; j < 8; ++j) {
    h.descriptor[5 + j] = static_cast<uint8_t>(size >> (8 * j)) ^ m2 ^ static_cast<uint8_t>(31 * j) ^ m3;
  }
}

void SetStoredExtLength(Header& h, uint8_t length) {
  h.descriptor[13] = length ^ h.salt[1] ^ h.salt[2];
}

void SetStoredKeyLength(Header& h, int n) {
  const uint8_t m1 = h.salt[0], m2 = h.salt[1], m3 = h.salt[2];
  const bool twice = MasksLengthTwice(h.version);
  for (int b0 = 0; b0 < 256; ++b0) {
    for (int b1 = 0; b1 < 256; ++b1) {
      const uint8_t k = static_cast<uint8_t>(b0 ^ b1);
      const uint8_t r1 = m1 ^ k, r2 = m2 ^ k, r3 = m3 ^ k;
      const auto lo = static_cast<uint8_t>(((b0 ^ (twice ? r3 : 0)) ^ r2) - r1);
      const auto hi = static_cast<uint8_t>(((b1 ^ (twice ? r1 : 0)) ^ r3) - r2);
      if (static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8))) != n) continue;
      const auto b2 = static_cast<uint8_t>(static_cast<uint8_t>(h.pre_zip_level + r3) ^ r1);
      h.length = {static_cast<uint8_t>(b0), static_cast<uint8_t>(b1), b2};
      h.descriptor[1] = static_cast<uint8_t>('j' ^ b0);
      h.descriptor[2] = static_cast<uint8_t>('m' ^ b1);
      h.descriptor[3] = static_cast<uint8_t>('z' ^ b2);
      return;
    }
  }
  throw std::invalid_argument("no length block stores that key length");
}

void WriteSparse(const std::string& path, int64_t size, int64_t offset, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  const bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  if (ok) WriteAt(fd, offset, bytes);
  ::close(fd);
  if (!ok) throw std::runtime_error("ftruncate failed");
}

void Overwrite(const std::string& path, int64_t offset, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  WriteAt(fd, offset, bytes);
  ::close(fd);
}

}  // namespace vesk::keyed::fixture
