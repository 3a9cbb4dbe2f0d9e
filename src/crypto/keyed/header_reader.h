// Reading a keyed container's header from a file: where it may stand, and
// its salt, length and descriptor blocks decoded, or why they could not be
// read. What counts as damage, and what to say about it, stays with each
// reader of containers; this only reads and decodes.
#pragma once

#include <cstdint>
#include <string>

#include "crypto/keyed/container.h"
#include "platform/input_file.h"

namespace vesk::keyed {

// A container shorter than this keeps its header at offset 0 (or, from
// kEitherPlaceFrom bytes on, possibly at kLeadInSize); a longer one at
// kLeadInSize.
inline constexpr int64_t kSmallContainerLimit = 3500;
inline constexpr int64_t kEitherPlaceFrom = 1033;

// The offset, from the container start, of the first place to look for the
// header of a container of `size` bytes.
constexpr int64_t FirstHeaderOffset(int64_t size) { return size < kSmallContainerLimit ? 0 : kLeadInSize; }
// True when a header not found (or not usable) at offset 0 may stand at
// kLeadInSize instead.
constexpr bool HeaderMayBeAtEither(int64_t size) { return size >= kEitherPlaceFrom && size < kSmallContainerLimit; }

enum class HeaderFault : uint8_t {
  kNone,
  kNoMarker,    // fewer than 11 bytes there, or the marker bytes do not decode to ".jmz"
  kCut,         // the file ends inside `part`
  kReadFailed,  // a read of `part` failed
};

// The part of the header that was cut or could not be read.
enum class HeaderPart : uint8_t {
  kSizeField,        // the 8 bytes of the payload size
  kExtensionLength,  // the byte e (read failures only: past the end it reads as 0)
  kExtension,        // the E stored extension bytes
};

struct HeaderRead {
  HeaderFault fault = HeaderFault::kNone;
  HeaderPart part = HeaderPart::kSizeField;  // where a kCut or kReadFailed happened
  int64_t offset = 0;                        // file offset of the salt block
  // The decoded blocks, as far as they were read (missing bytes count as 0).
  FixedBlocks fields;
  // E as stored is over kMaxStoredExtension: the extension is read as 4 bytes.
  bool extension_length_damaged = false;
  std::size_t extension_length = 0;  // E, or 4 when damaged
  std::string extension;             // the decoded extension bytes (GBK), unchecked

  bool HasMarker() const { return fault != HeaderFault::kNoMarker; }
  // True when `which` was cut short or could not be read.
  bool Unreadable(HeaderPart which) const {
    return (fault == HeaderFault::kCut || fault == HeaderFault::kReadFailed) && part == which;
  }
  // True when the extension, as read, is one to append to a file name: a
  // dot, at least one more byte, and no '/' or NUL that could name another
  // folder or end the name early.
  bool ExtensionUsable() const;
};

// Reads the header whose salt block is at file offset `at`: the prefix, the
// size field, e and the stored extension, leaving the position after the
// extension. A failure to read the first 12 bytes throws IoError; a later
// one is reported as kReadFailed, so that a reader can take the steps that
// come before it first.
HeaderRead ReadHeaderAt(InputFile& in, int64_t at);

// The header of the container of `size` bytes at `start`: at its first
// place, or, when that carries no marker and the size allows both places,
// at the second. Throws IoError as ReadHeaderAt.
HeaderRead ReadHeader(InputFile& in, int64_t start, int64_t size);

}  // namespace vesk::keyed
