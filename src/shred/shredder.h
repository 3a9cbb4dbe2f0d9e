// The file shredder: after a confirmation it overwrites one regular file once
// with zero bytes, every stretch that holds data from its first byte to its
// last (the holes of a sparse file have no blocks and stay holes), without
// changing its length, pushes the zeros to the device, deletes the file,
// then creates, fills with one zero byte and deletes a file of the same
// name.
//
// It runs from start to end on the caller's thread (a worker in the window),
// talks to the user only through the run's context (its progress and its
// prompter) and polls the context's stop token before every block. Anything
// but a regular file (a symbolic link, a directory, a device, a FIFO, a
// socket), a file whose owner has taken its write permission away and a file
// another process holds locked (flock, or a record lock on any part of it)
// are refused and left untouched.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/run_context.h"
#include "core/run_result.h"
#include "platform/fault_hooks.h"
#include "shred/texts.h"

namespace vesk::shred {

// The zero block written again and again; the last write takes its first
// bytes only.
inline constexpr std::size_t kZeroBlockSize = 65535;

// What the shred command hands to the engine when it starts it.
struct ShredJob {
  std::string path;  // the file to shred
  // Called once, after the confirmation, when the file is open and its
  // overwriting begins (the window turns its item into the stop then). May
  // be empty.
  std::function<void()> overwriting;
  // Tests: called before each write of zeros, and with size 0 before they
  // are pushed to the device (fault_hooks.h).
  FaultHooks faults{};
};

// The whole command from the confirmation on. Done (nothing written) when
// the file was overwritten and deleted, also when the stop came once every
// byte was zeroed; refused when the file could not be opened for it;
// cancelled when the question was answered No or the stop came before the
// last block (the file keeps its name, its length and its unwritten bytes);
// failed otherwise. Every ending but a stop is shown as a message.
RunResult ShredFile(const ShredJob& job, RunContext& context);

// Where one pass of zeros cannot reach the old data.
struct Reach {
  bool copy_on_write = false;  // the file system writes the zeros elsewhere
  nlink_t links = 1;           // names of the file, this one included
};
// Looks at the file at `path` (not through a symbolic link); a path that is
// no regular file gets the defaults.
Reach ReachOf(const std::string& path);
// True for the copy-on-write file systems btrfs, ZFS and bcachefs, by the
// file system type that statfs reports.
bool IsCopyOnWriteFileSystem(uint64_t fs_type);
// The confirmation question, with one more line for each way the old data
// or the file's other names may survive.
std::string Confirmation(const std::string& path, const Reach& reach);

}  // namespace vesk::shred
