// Packs a folder into a POSIX pax tar stream with libarchive: names as they
// are on disk (UTF-8, or marked binary when they are not), folders, files
// with their data, symbolic links as links (never followed), a file with
// several names once and its other names as hard links, permission bits and
// modification times (to the nanosecond), owners by number. Sockets, devices
// and FIFOs are skipped and listed. The stream goes to a sink as it is made;
// nothing of it is kept on disk here.
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

// Where a stream goes, in order. It throws to stop the packing.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const void* data, std::size_t n) = 0;
};

struct PackStats {
  int64_t files = 0;    // regular files with their data
  int64_t folders = 0;  // the top folder included
  int64_t links = 0;    // symbolic and hard links
  int64_t bytes = 0;    // data of the regular files
  std::vector<std::string> skipped;  // sockets, devices and FIFOs, by stored name
  bool stopped = false;  // the run flag turned false; the stream is incomplete
};

// A file that could not be read, or that changed while it was packed (the
// stream would then hold something the file never held), or a refusal of
// the library. `name` is the entry's stored name.
class PackError : public std::runtime_error {
 public:
  enum class Kind { kUnreadable, kChanged, kLibrary };
  PackError(Kind kind, std::string name, const std::string& detail);
  const Kind kind;
  const std::string name;
};

struct PackControl {
  // Polled between entries and between pieces of data; false stops.
  const std::atomic<bool>* keep = nullptr;
  StopToken stop;  // polled with it; a requested stop stops
  // After each entry and each piece of data: progress in the units of
  // TreeTotals::Weight() (data bytes, and 512 per entry), done so far and
  // just now.
  std::function<void(int64_t done, int64_t delta)> progress;
};

// Packs `folder` (a link to a folder is followed: the user named it) with
// its entries named `top`, `top/a`, `top/a/b`, ... Throws PackError, and
// whatever the sink throws.
PackStats PackTree(const std::string& folder, const std::string& top, ByteSink& sink, const PackControl& control);

}  // namespace vesk::archive
