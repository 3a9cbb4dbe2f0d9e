// The faults the tests put into a run's files, through the FaultHooks every
// job struct carries (platform/fault_hooks.h): a write or a flush that fails
// with a chosen errno, a read that fails, comes back short or finds the file
// ended, and a write that lets the test act at a chosen byte. A full disk of
// its own is SmallDisk (support/disk.h).
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/fault_hooks.h"

namespace vesk::testing::faults {

// Fails (throws the IoError the file handles throw for `error`) the write
// that would hold byte `byte` of the output; at the output's end, the final
// flush.
WriteHook FailWriteAt(int64_t byte, int error = ENOSPC);
// Fails the final flush (or close) of the output, every write going through.
WriteHook FailOnFlush(int error = EIO);
// Runs `action` once, before the first write that holds byte `byte` (or
// before the final flush when none does). For changing the world mid-run.
WriteHook AtByte(int64_t byte, std::function<void()> action);
// Records every write (offset, size), the final flush as size 0.
class WriteLog {
 public:
  WriteHook Hook();
  std::vector<std::pair<int64_t, std::size_t>> Writes() const;  // without the flushes
  int Flushes() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<int64_t, std::size_t>> writes_;
  int flushes_ = 0;
};

// Every read system call delivers at most `most` bytes (a reader must loop).
ReadHook ShortReads(std::size_t most);
// The input ends at byte `byte`, as a file cut short while it is read.
ReadHook EndAt(int64_t byte);
// The read that would deliver byte `byte` fails with `error`.
ReadHook FailReadAt(int64_t byte, int error = EIO);

}  // namespace vesk::testing::faults
