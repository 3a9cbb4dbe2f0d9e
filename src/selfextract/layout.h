// The self-decrypting executable: the program image, a 259-byte payload
// header right behind it, and a keyed container as payload.
//
//   offset              width          field
//   0                   image size     program image, unchanged
//   image               8              PayloadSize, signed 64-bit little-endian
//   image + 8           1              NameLength (1..250)
//   image + 9           250            PayloadName, GBK, zero-padded
//   image + 259         PayloadSize    the container, byte for byte
//
// Nothing follows the payload and the header has no checksum; the only
// consistency test is the stored size against the bytes actually present.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/progress.h"
#include "core/prompter.h"

namespace vesk::selfextract {

inline constexpr int64_t kNameFieldSize = 250;
inline constexpr int64_t kHeaderSize = 8 + 1 + kNameFieldSize;  // 259
inline constexpr int64_t kMaxPayloadSize = 4294967296;          // 4 GiB is still valid
// The smallest keyed container that can follow the header.
inline constexpr int64_t kSmallestKeyedContainer = 50;

inline constexpr int64_t PayloadOffset(int64_t image_size) { return image_size + kHeaderSize; }
// The smallest program file that carries a payload after an image of
// `image_size` bytes: below it the self-decrypt commands stay off.
inline constexpr int64_t SelfDecryptMinimum(int64_t image_size) {
  return PayloadOffset(image_size) + kSmallestKeyedContainer;
}

// The 259 header bytes for a payload of `payload_size` bytes named by the GBK
// bytes `gbk_name` (1..250 bytes; throws std::invalid_argument otherwise).
std::string EncodePayloadHeader(int64_t payload_size, std::string_view gbk_name);

// text::PayloadStatus, the status text that describes a carried payload,
// with control characters in the name shown as escapes.
std::string PayloadStatusText(const std::string& payload_name, int64_t payload_size);

// What the start-up reading found; the window applies it.
struct SelfDecryptInfo {
  int64_t OwnFileSize = 0;   // length of the program's file; 0 when it failed
  int64_t PayloadSize = 0;   // stored, or corrected to the bytes present
  std::string PayloadName;   // UTF-8 as stored, control characters included; may be empty
  bool CommandsEnabled = false;  // SelfDecryptButton and SeparateButton
  std::string StatusHint;    // hint for the status bar; empty: leave it
  bool Failed = false;       // the reading failed: the window beeps
  bool Damaged = false;      // the stored name or size was damaged (warned)
  int64_t ImageSize = 0;     // the program image's length, as measured
};

// Reads the payload header of the program file at `program_path`, whose
// program image is `image_size` bytes long: damage is warned about through
// `prompter` (and marked in Damaged), the payload's status text shown
// through `progress`. Never throws.
SelfDecryptInfo ReadSelfDecryptInfo(Progress& progress, Prompter& prompter, const std::string& program_path,
                                    int64_t image_size);
// The same for the running program, its image size measured from its file.
SelfDecryptInfo ReadRunningSelfDecryptInfo(Progress& progress, Prompter& prompter);

}  // namespace vesk::selfextract
