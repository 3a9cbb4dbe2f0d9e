// Where tests put faults into the file input and output of a run: a write or
// a flush that fails, a read that fails, comes back short or finds the file
// ended. Every job struct carries one FaultHooks; the file handles call the
// hooks they are given. Unset hooks cost a test of an empty std::function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vesk {

// Called before each write to an output with the file offset and the size of
// the data, and with size 0 before the output's final flush or close. Throws
// (an IoError) to make that write or flush fail.
using WriteHook = std::function<void(int64_t offset, std::size_t size)>;

// Called before each read system call of an input with the file offset and
// the number of bytes asked for. Returns how many of them the call may
// deliver: fewer is a short read, 0 the end of the file. Throws (an IoError)
// to make the read fail.
using ReadHook = std::function<std::size_t(int64_t offset, std::size_t size)>;

struct FaultHooks {
  WriteHook before_write;  // on the run's output (or its temporary file)
  ReadHook before_read;    // on the run's source
};

}  // namespace vesk
