#include "support/known_answers.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

namespace vesk::testing {
namespace {

[[noreturn]] void Malformed(const std::string& file, const std::string& what) {
  throw std::runtime_error(file + ": " + what);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string FromHex(const std::string& file, const std::string& hex) {
  if (hex.size() % 2 != 0) Malformed(file, "odd number of hex digits");
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) Malformed(file, "not a hex digit in " + hex.substr(i, 2));
    bytes.push_back(static_cast<char>(hi * 16 + lo));
  }
  return bytes;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// A quoted string as Python prints it: '...' or "...", with backslash escapes.
std::string Unquote(const std::string& file, const std::string& quoted) {
  if (quoted.size() < 2 || (quoted.front() != '\'' && quoted.front() != '"') || quoted.back() != quoted.front()) {
    Malformed(file, "key text is not a quoted string: " + quoted);
  }
  const std::string body = quoted.substr(1, quoted.size() - 2);
  std::string out;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '\\') {
      out.push_back(body[i]);
      continue;
    }
    if (++i == body.size()) Malformed(file, "key text ends in a backslash");
    const char c = body[i];
    auto hex_code = [&](std::size_t digits) {
      if (i + digits >= body.size()) Malformed(file, "short escape in key text");
      uint32_t cp = 0;
      for (std::size_t k = 1; k <= digits; ++k) {
        const int d = HexDigit(body[i + k]);
        if (d < 0) Malformed(file, "bad escape in key text");
        cp = cp * 16 + static_cast<uint32_t>(d);
      }
      i += digits;
      AppendUtf8(out, cp);
    };
    switch (c) {
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case '\\': case '\'': case '"': out.push_back(c); break;
      case 'x': hex_code(2); break;
      case 'u': hex_code(4); break;
      case 'U': hex_code(8); break;
      default: Malformed(file, std::string("unknown escape \\") + c);
    }
  }
  return out;
}

// The field name without its explanation in brackets: "key bytes (code page
// 936, hex)" is "key bytes".
std::string FieldName(const std::string& label) {
  std::string name = label.substr(0, label.find(" ("));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

std::map<std::string, std::string> ReadFields(const std::filesystem::path& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::map<std::string, std::string> fields;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    // Labels contain no colon; the value may.
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) Malformed(path.string(), "line without a field: " + line);
    std::string value = line.substr(colon + 1);
    if (!value.empty() && value.front() == ' ') value.erase(0, 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\r')) value.pop_back();
    if (!fields.emplace(FieldName(line.substr(0, colon)), value).second) {
      Malformed(path.string(), "field given twice: " + line.substr(0, colon));
    }
  }
  return fields;
}

const std::string& Field(const std::map<std::string, std::string>& fields, const std::string& file,
                         const std::string& name) {
  const auto it = fields.find(name);
  if (it == fields.end()) Malformed(file, "no field \"" + name + "\"");
  return it->second;
}

int64_t Number(const std::map<std::string, std::string>& fields, const std::string& file, const std::string& name) {
  const std::string& text = Field(fields, file, name);
  std::size_t used = 0;
  const long long value = std::stoll(text, &used);
  if (used != text.size()) Malformed(file, "\"" + name + "\" is not a number: " + text);
  return value;
}

KnownAnswer Parse(const std::filesystem::path& path) {
  const std::string file = path.filename().string();
  const auto fields = ReadFields(path);
  KnownAnswer v;
  v.name = path.stem().string();
  v.kind = Field(fields, file, "kind");
  v.version = static_cast<int>(Number(fields, file, "version"));
  v.key_text = Unquote(file, Field(fields, file, "key text"));
  v.key = FromHex(file, Field(fields, file, "key bytes"));
  v.payload = FromHex(file, Field(fields, file, "payload"));
  v.plaintext_sha256 = Field(fields, file, "plaintext sha256");
  v.container = FromHex(file, Field(fields, file, "container"));
  if (static_cast<int64_t>(v.payload.size()) != Number(fields, file, "payload length")) {
    Malformed(file, "payload length does not match the payload");
  }
  if (static_cast<int64_t>(v.container.size()) != Number(fields, file, "container length")) {
    Malformed(file, "container length does not match the container");
  }
  if (v.kind == "keyed") {
    const std::string filler = FromHex(file, Field(fields, file, "filler"));
    v.draws.assign(filler.begin(), filler.end());
    for (const char* r : {"r1", "r2", "r3"}) v.draws.push_back(static_cast<uint8_t>(Number(fields, file, r)));
    v.compression = static_cast<int>(Number(fields, file, "compression flag z"));
    v.layer = static_cast<int>(Number(fields, file, "layer"));
    v.ext = FromHex(file, Field(fields, file, "stored extension"));
    const std::string& older = Field(fields, file, "reading needs the older-algorithm choice");
    if (older != "yes" && older != "no") Malformed(file, "older-algorithm choice is neither yes nor no");
    v.needs_older_choice = older == "yes";
    v.header_offset = Number(fields, file, "header offset");
  } else if (v.kind == "keyless") {
    const std::string r = FromHex(file, Field(fields, file, "R"));
    if (r.size() != 12) Malformed(file, "R is not 12 bytes");
    v.draws.assign(r.begin(), r.end());
  } else {
    Malformed(file, "unknown kind " + v.kind);
  }
  return v;
}

}  // namespace

std::vector<KnownAnswer> LoadKnownAnswers(std::string_view kind) {
  const std::filesystem::path folder = std::filesystem::path(VESK_TEST_DATA_DIR) / std::string(kind);
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".vec") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<KnownAnswer> answers;
  for (const auto& path : files) {
    answers.push_back(Parse(path));
    if (answers.back().kind != kind) Malformed(path.string(), "filed under the wrong kind");
  }
  return answers;
}

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 failed");
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 15]);
  }
  return hex;
}

std::string ZlibInflate(std::string_view stream) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit failed");
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  std::string out;
  char buffer[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  inflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("not one complete zlib stream");
  return out;
}

}  // namespace vesk::testing
