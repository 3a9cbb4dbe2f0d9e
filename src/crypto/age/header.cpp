#include "crypto/age/header.h"

#include <openssl/crypto.h>

#include "crypto/age/encoding.h"
#include "crypto/age/kdf.h"

namespace vesk::age {
namespace {

constexpr std::string_view kVersionPrefix = "age-encryption.org/";
constexpr std::size_t kColumns = 64;

Result Invalid(std::string text) { return Result::Fail(Status::kHeaderInvalid, std::move(text)); }

Result ReadFailure(const BufferedReader& in) {
  return in.failure().ok() ? Result::Fail(Status::kIoError, "reading the header failed") : in.failure();
}

bool IsVchar(char c) { return c >= 0x21 && c <= 0x7E; }

// Splits "a b c" on single spaces; false for empty or invalid arguments.
bool SplitArguments(std::string_view text, std::vector<std::string>& out) {
  out.clear();
  std::size_t at = 0;
  for (;;) {
    const std::size_t space = text.find(' ', at);
    const std::string_view arg = text.substr(at, space == std::string_view::npos ? space : space - at);
    if (!IsValidArgument(arg)) return false;
    out.emplace_back(arg);
    if (space == std::string_view::npos) return true;
    at = space + 1;
  }
}

}  // namespace

bool IsValidArgument(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (!IsVchar(c)) return false;
  }
  return true;
}

std::string SerializeWithoutMac(const Header& header) {
  std::string out(kVersionLine);
  for (const Stanza& s : header.stanzas) out += SerializeStanza(s);
  out += "---";
  return out;
}

std::string SerializeStanza(const Stanza& s) {
  std::string out = "-> ";
  out += s.type;
  for (const std::string& a : s.args) {
    out += ' ';
    out += a;
  }
  out += '\n';
  const std::string body = EncodeBase64Raw(s.body);
  for (std::size_t i = 0; i < body.size(); i += kColumns) {
    out.append(body, i, kColumns);
    out += '\n';
  }
  // The body ends with a line shorter than 64 columns, empty if need be.
  if (body.size() % kColumns == 0) out += '\n';
  return out;
}

bool ParseStanzaLine(std::string_view line, Stanza& out) {
  out = Stanza{};
  std::vector<std::string> args;
  if (line.rfind("-> ", 0) != 0 || !SplitArguments(line.substr(3), args)) return false;
  out.type = std::move(args.front());
  out.args.assign(std::make_move_iterator(args.begin() + 1), std::make_move_iterator(args.end()));
  return true;
}

bool AddStanzaBodyLine(std::string_view line, Stanza& s, bool& last) {
  std::vector<uint8_t> piece;
  if (line.size() > kColumns || !DecodeBase64Raw(line, piece)) return false;
  s.body.insert(s.body.end(), piece.begin(), piece.end());
  last = line.size() < kColumns;
  return true;
}

std::string Serialize(const Header& header) {
  return SerializeWithoutMac(header) + " " + EncodeBase64Raw(header.mac) + "\n";
}

std::optional<std::array<uint8_t, 32>> HeaderMac(const SecretBytes& file_key, std::string_view without_mac) {
  uint8_t key[32];
  std::array<uint8_t, 32> mac {};
  const bool ok =
      HkdfSha256(file_key.span(), {}, "header", key) &&
      HmacSha256(key, {reinterpret_cast<const uint8_t*>(without_mac.data()), without_mac.size()}, mac.data());
  Wipe(key, sizeof key);
  if (!ok) return std::nullopt;
  return mac;
}

bool SealHeader(Header& header, const SecretBytes& file_key) {
  const auto mac = HeaderMac(file_key, SerializeWithoutMac(header));
  if (!mac) return false;
  header.mac = *mac;
  return true;
}

MacCheck CheckHeaderMac(const Header& header, const SecretBytes& file_key) {
  const auto expected = HeaderMac(file_key, SerializeWithoutMac(header));
  if (!expected) return MacCheck::kFailed;
  return CRYPTO_memcmp(expected->data(), header.mac.data(), expected->size()) == 0 ? MacCheck::kMatches
                                                                                   : MacCheck::kDiffers;
}

Result ReadHeader(BufferedReader& in, Header& header) {
  header = Header {};
  std::size_t total = 0;
  std::string line;
  // One line ending in '\n'; anything else is a reason to stop. A line may
  // be as long as the room the header has left (plugins' stanzas can carry
  // long arguments); a header beyond that room is too large for us, which
  // says nothing about whether it is damaged.
  auto next_line = [&](const char* what) -> Result {
    const auto status = in.ReadLine(line, kMaxHeaderSize - total);
    if (status == BufferedReader::LineStatus::kFailed) return ReadFailure(in);
    if (status == BufferedReader::LineStatus::kTooLong)
      return Result::Fail(Status::kHeaderTooLarge, "the header is larger than " +
                                                       std::to_string(kMaxHeaderSize >> 20) + " MiB");
    if (status == BufferedReader::LineStatus::kEnd) return Invalid(std::string("the header ends inside ") + what);
    total += line.size();
    line.pop_back();  // the '\n'
    return Result::Ok();
  };

  // A file that does not even start like age is simply not one.
  const auto start = in.Peek(kVersionPrefix.size());
  if (in.failed()) return ReadFailure(in);
  if (std::string_view(reinterpret_cast<const char*>(start.data()), start.size()) != kVersionPrefix)
    return Invalid("not an age file");
  if (Result r = next_line("the version line"); !r.ok()) return r;
  if (line + "\n" != kVersionLine) {
    const std::string version = line.substr(kVersionPrefix.size());
    if (IsValidArgument(version))
      return Result::Fail(Status::kUnsupportedVersion, "unsupported age version " + version);
    return Invalid("malformed version line");
  }

  for (;;) {
    if (Result r = next_line("a stanza or the MAC line"); !r.ok()) return r;
    if (line.rfind("---", 0) == 0) {
      if (line.size() < 4 || line[3] != ' ') return Invalid("malformed MAC line");
      std::vector<uint8_t> mac;
      if (!DecodeBase64Raw(std::string_view(line).substr(4), mac) || mac.size() != 32)
        return Invalid("malformed MAC line");
      if (header.stanzas.empty()) return Invalid("the header has no recipient stanzas");
      std::copy(mac.begin(), mac.end(), header.mac.begin());
      return Result::Ok();
    }
    if (line.rfind("-> ", 0) != 0) return Invalid("expected a stanza or the MAC line");
    Stanza stanza;
    if (!ParseStanzaLine(line, stanza)) return Invalid("malformed stanza arguments");
    for (bool last = false; !last;) {
      if (Result r = next_line("a stanza body"); !r.ok()) return r;
      if (line.size() > kColumns) return Invalid("a stanza body line is longer than 64 columns");
      if (!AddStanzaBodyLine(line, stanza, last)) return Invalid("a stanza body is not canonical base64");
    }
    header.stanzas.push_back(std::move(stanza));
  }
}

Result ParseHeader(std::span<const uint8_t> bytes, Header& header, std::size_t& consumed) {
  MemorySource source(bytes);
  BufferedReader in(source, 4096);
  Result r = ReadHeader(in, header);
  consumed = r.ok() ? static_cast<std::size_t>(in.position()) : 0;
  return r;
}

}  // namespace vesk::age
