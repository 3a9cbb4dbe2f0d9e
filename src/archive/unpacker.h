// Unpacks a tar stream into a new folder, safely whatever the stream holds.
//
// The folder is built under a hidden unique name beside the target and
// renamed to the target only once the whole stream has been unpacked; a
// stream that is damaged, cut short, stopped or refused leaves nothing
// behind, and an existing target is never merged into. Every entry is made
// relative to descriptors of folders this run created, never through a path
// of the file system, so that nothing can reach outside:
//  - names that are absolute or hold a ".." are refused, as is an entry whose
//    folder is a symbolic link or a file (an earlier entry of the stream);
//  - a name that comes twice is refused instead of replacing the first;
//  - a hard link must name a regular file unpacked before it;
//  - devices, FIFOs and sockets are skipped and listed;
//  - set-user-ID and set-group-ID bits are cleared and listed; owners are
//    never set (everything belongs to the user who unpacks).
// Symbolic links are made as they are stored and never followed here.
//
// When every entry lies in one top folder (as in the streams the packer
// makes, and in most), that folder becomes the target; otherwise the
// entries become the target's contents.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/stop.h"

namespace vesk::archive {

// Where a stream comes from, in order; 0 at its end. It throws to stop.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t Read(void* data, std::size_t n) = 0;
};

struct UnpackStats {
  int64_t files = 0;
  int64_t folders = 0;  // those stored in the stream
  int64_t links = 0;    // symbolic and hard links
  int64_t bytes = 0;    // data of the regular files
  std::vector<std::string> skipped;  // devices, FIFOs and sockets, by stored name
  std::vector<std::string> cleared;  // entries whose set-user-ID or set-group-ID bit was cleared
  bool stopped = false;  // the run flag turned false; nothing was kept
};

class UnpackError : public std::runtime_error {
 public:
  enum class Kind {
    kExists,    // the target is there already
    kUnsafe,    // an entry that would reach outside, go through a link or come twice
    kDamaged,   // not a tar stream, damaged, or cut short
    kWrite,     // the folder could not be written (the disk is full, say)
  };
  UnpackError(Kind kind, std::string name, const std::string& detail, int error_number = 0);
  const Kind kind;
  const std::string name;  // the entry's stored name, or the target
  const int error_number;  // the system's error of a failed write (ENOSPC, ENAMETOOLONG, ...), else 0
};

struct UnpackControl {
  const std::atomic<bool>* keep = nullptr;  // polled between entries and pieces of data
  StopToken stop;                           // polled with it; a requested stop stops
  std::function<void(int64_t consumed)> progress;  // bytes of the stream read so far
};

// Unpacks `source` into the new folder `target` (no final "/"). Throws
// UnpackError, and whatever the source throws; either way nothing is left.
UnpackStats UnpackTree(ByteSource& source, const std::string& target, const UnpackControl& control);

}  // namespace vesk::archive
