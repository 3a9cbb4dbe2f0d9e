// ASCII armor for age files: strict PEM (RFC 7468) with the label
// "AGE ENCRYPTED FILE" and padded base64 in lines of 64 columns.
//
// Writing produces exactly one form: LF line ends, every line of 64
// columns but the last, no blank lines, a final LF after the END line.
// Reading allows whitespace before the BEGIN line and after the END line
// and CRLF line ends (used for every line then), and nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/age/io.h"

namespace vesk::age {

inline constexpr std::string_view kArmorBegin = "-----BEGIN AGE ENCRYPTED FILE-----";
inline constexpr std::string_view kArmorEnd = "-----END AGE ENCRYPTED FILE-----";

// Armors everything written to it into `out`; Finish() writes the last line
// and the END line and must be called once after the last Write.
class ArmorSink : public Sink {
 public:
  explicit ArmorSink(Sink& out) : out_(out) {}
  bool Write(const uint8_t* data, std::size_t n) override;
  bool Finish();

 private:
  bool Flush(bool all);
  Sink& out_;
  bool started_ = false;
  std::vector<uint8_t> pending_;  // bytes not yet encoded (a partial line, then up to a batch)
  std::string text_;
};

// Skips the whitespace allowed before armor and reports whether the input
// is armored (the BEGIN line follows). `failed` is set on a read failure.
// Whitespace followed by anything but armor is not an age file.
enum class InputKind { kBinary, kArmored, kNotAge, kFailed };
InputKind DetectArmor(BufferedReader& in);

// Decodes the armored data after DetectArmor() said kArmored. A malformed
// armor fails the read with kArmorInvalid.
class ArmorSource : public Source {
 public:
  explicit ArmorSource(BufferedReader& in) : in_(in) {}
  long Read(uint8_t* buf, std::size_t n) override;

 private:
  long NextLine();
  BufferedReader& in_;
  enum class State { kBegin, kBody, kDone } state_ = State::kBegin;
  bool crlf_ = false;
  std::string line_;
  uint8_t decoded_[48];
  std::size_t decoded_at_ = 0, decoded_end_ = 0;
};

}  // namespace vesk::age
